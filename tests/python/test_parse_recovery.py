"""Error recovery over broken copies of the standard library.

A sample of the standard library's files (those ast.parse accepts) is
broken in two ways: each file is cut at a few random points, and
separately one random line is deleted. Every copy is parsed by
`parse_check --module-tree` (path in TRELK_PARSE_CHECK), which prints the
parser's own tree even when the parse has errors. The parse must end on
every copy (no crash, no broken invariant), and the tree must still hold
every top-level function and class of the original file that lies wholly
before the cut (or before the deleted line), with the same range and the
same name. (After a deleted line only the start and the name must be the
same, and the end no earlier: deleting the line that ended a definition's
block lets the indented lines after it join that block.)

CPython's side: the top-level FunctionDef, AsyncFunctionDef and ClassDef of
the original file, a decorated one starting at its first "@" (as
ast_compare normalises it), its name the token after `def` or `class`. A
block whose last line ends with ";" ends before the ";" here (CPython's
range takes it in), so CPython's end is moved back over it.
Files with a byte-order mark are left out (their offsets differ by the
mark), as are files that are not UTF-8.

The cuts and lines are drawn from a generator with a fixed seed, so a
failure can be replayed.
"""

import ast
import os
import random
import tempfile
import unittest

import ast_compare
from stdlib_corpus import map_files, stdlib_files

PARSE_CHECK = os.environ.get("TRELK_PARSE_CHECK")
SEED = 20261210
SAMPLE = 1200
CUTS_PER_FILE = 3
# Files whose copies are given to one run of parse_check.
BATCH = 10


def definitions(data):
    """(start, end, name) of the top-level definitions of a file that
    ast.parse accepts, or None for a file left out."""
    if data.startswith(b"\xef\xbb\xbf"):
        return None
    try:
        text = data.decode("utf-8")
        tree = ast.parse(text)
    except (UnicodeDecodeError, SyntaxError, ValueError):
        return None
    offsets = ast_compare.Offsets(text)
    found = []
    for node in tree.body:
        if not isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef,
                                 ast.ClassDef)):
            continue
        start, end = offsets.range(node)
        if node.decorator_list:
            first = offsets.range(node.decorator_list[0])[0]
            at = offsets.last_token_before(first, {"@"})
            if at is not None:
                start = at
        if data[end - 1:end] == b";":
            end -= 1
            while data[end - 1:end] in (b" ", b"\t"):
                end -= 1
        found.append((start, end, node.name))
    return found


def char_boundary(data, offset):
    """`offset` moved back to the start of the UTF-8 character it is in."""
    while 0 < offset < len(data) and (data[offset] & 0xC0) == 0x80:
        offset -= 1
    return offset


def our_definitions(lines, data):
    """(start, end, name) of the top-level definitions in our dump: the
    name is the text of the definition's first Identifier child."""
    # Only the root, its children and theirs are looked at: the lines
    # indented deeper are not read into the tree.
    root = ast_compare.parse_dump(
        [line for line in lines if not line.startswith("      ")])
    found = []
    for node in root.children if root is not None else []:
        if node.kind not in ("StmtFunctionDef", "StmtClassDef"):
            continue
        name = next((child for child in node.children
                     if child.kind == "Identifier"), None)
        text = (data[name.start:name.end].decode("utf-8", "replace")
                if name is not None else "")
        found.append((node.start, node.end, text))
    return found


def copies_of(path, seed):
    """The file's data, its definitions and its broken copies (what, data,
    limit, exact), or None for a file left out."""
    with open(path, "rb") as f:
        data = f.read()
    expected_all = definitions(data)
    if expected_all is None or not data:
        return None
    rng = random.Random(seed)
    copies = []
    for _ in range(CUTS_PER_FILE):
        cut = char_boundary(data, rng.randrange(len(data) + 1))
        copies.append((f"cut at {cut}", data[:cut], cut, True))
    lines = data.splitlines(keepends=True)
    index = rng.randrange(len(lines))
    line_start = sum(len(line) for line in lines[:index])
    copies.append((f"line {index + 1} deleted",
                   b"".join(lines[:index] + lines[index + 1:]), line_start,
                   False))
    return expected_all, copies


def check_files(jobs):
    """check_file of every (path, seed), with all their copies parsed by one
    run of parse_check."""
    prepared = [copies_of(path, seed) for path, seed in jobs]
    with tempfile.TemporaryDirectory() as scratch:
        paths = []
        for number, found in enumerate(prepared):
            for copy_number, (_, copy, _, _) in enumerate(
                    found[1] if found is not None else []):
                paths.append(os.path.join(scratch,
                                          f"{number}-{copy_number}.py"))
                with open(paths[-1], "wb") as f:
                    f.write(copy)
        trees = iter(ast_compare.module_trees(paths) if paths else [])
    return [check_file(path, found, trees)
            for (path, _), found in zip(jobs, prepared)]


def check_file(path, prepared, trees):
    """(copies parsed, definitions expected, definitions kept, failures)
    for one file, its copies' Results taken from `trees` in order."""
    if prepared is None:
        return 0, 0, 0, []
    expected_all, copies = prepared
    parsed = expected = kept = 0
    failures = []
    for what, copy, limit, exact in copies:
        result = next(trees)
        if result.panic is not None:
            failures.append(f"{path} ({what}): {result.panic}")
            continue
        parsed += 1
        wanted = [d for d in expected_all if d[1] <= limit]
        found = our_definitions(result.lines, copy)
        expected += len(wanted)
        missing = [d for d in wanted if not any(
            f == d if exact else
            (f[0], f[2]) == (d[0], d[2]) and f[1] >= d[1]
            for f in found)]
        kept += len(wanted) - len(missing)
        if missing:
            failures.append(f"{path} ({what}): lost {missing[:3]}")
    return parsed, expected, kept, failures


@unittest.skipUnless(PARSE_CHECK, "TRELK_PARSE_CHECK names the parse_check tool")
class RecoveryTest(unittest.TestCase):

    def test_definitions_before_the_damage_survive(self):
        files = stdlib_files()
        rng = random.Random(SEED)
        sample = sorted(rng.sample(files, min(SAMPLE, len(files))))
        jobs = [(path, rng.randrange(1 << 30)) for path in sample]
        parsed = expected = kept = 0
        failures = []
        used = 0
        for copies, wanted, found, failed in map_files(check_files, jobs,
                                                       BATCH):
            used += 1 if copies else 0
            parsed += copies
            expected += wanted
            kept += found
            failures.extend(failed)
        share = kept / expected if expected else 1.0
        print(f"\nrecovery: {used} files, {parsed} copies parsed, "
              f"{kept} of {expected} definitions kept ({share:.4%})")
        self.assertGreaterEqual(used, 1000)
        self.assertEqual(failures, [], "\n".join(failures[:20]))


if __name__ == "__main__":
    unittest.main()
