"""The parser against CPython 3.13's own parser over its standard library.

1. The gate: every .py file of the standard library (tests included) that
   holds no match statement is read as UTF-8 and checked by `parse_check
   FILE...` (path in TRELK_PARSE_CHECK), which parses it with parse_module.
   Every file that CPython's ast.parse accepts must give "ok"; every file it
   rejects must give an error.
2. Positions: on the same files (those that parse), every statement's range,
   the range of each function's and class's name, of each parameter and of
   each decorator equal CPython's ast positions, converted to byte offsets
   (parse_check --module-tree, reduced by ast_compare).

Intended differences and normalisations (the only ones applied):
  1. Files that are not valid UTF-8 are not parsed by either side: they
     must be reported "unreadable: stream did not contain valid UTF-8".
     Coding declarations are not interpreted here: a file is its UTF-8
     text.
  2. A file that starts with a UTF-8 byte-order mark: the lexer skips the
     mark, as CPython's does when it reads bytes; ast.parse is given the
     text after it, and CPython's offsets are moved by the mark's 3 bytes.
     (ast.parse of the decoded text with the mark would reject U+FEFF.)
  3. Files with a match statement are left to test_parse_match_stdlib.
  4. The normalisations of ast_compare: positions as byte offsets, a
     decorated definition starting at its first "@", an `elif` or `else` as
     a clause from its keyword to the end of its block (compared with the
     statements), "*args" and "**kwargs" parameters starting at their star.
  5. A block whose last line ends with ";" (`return x;`): CPython's range
     of the compound statement (and of a clause) takes the ";" in; here a
     node ends at its last token that is not a semicolon. CPython's end is
     moved back over the ";" and the blanks before it.
  6. Names: CPython gives a definition's name no position; its range is the
     token after `def` or `class`. Decorators: CPython gives the expression
     only; a decorator's range runs from its "@" to the expression's end.
"""

import ast
import bisect
import os
import re
import subprocess
import unittest

import ast_compare
from stdlib_corpus import map_files, stdlib_files

PARSE_CHECK = os.environ.get("TRELK_PARSE_CHECK")
BOM = b"\xef\xbb\xbf"
# Files given to one run of parse_check.
BATCH = 50
# Node kinds compared as statements, besides every kind starting "Stmt".
CLAUSES = frozenset({"ElifElseClause", "ExceptHandlerExceptHandler"})
# The nodes that hold blocks of statements, or are statements.
BLOCK_NODES = (ast.stmt, ast.excepthandler, ast.match_case)
# In ASCII text a match statement's keyword starts a line after blanks only;
# a file without such a line needs no walk of its tree to find one.
MATCH_LINE = re.compile(r"(?:^|\r)[ \t\f]*match\b", re.MULTILINE)


def reference(path):
    """(CPython's verdict, its tree or None) where the verdict is
    "accepted", "rejected", "match" (accepted, with a match statement) or
    "not-utf8"."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return "not-utf8", None
    if text.startswith("\ufeff"):
        text = text[1:]
    try:
        tree = ast.parse(text)
    except (SyntaxError, ValueError):
        return "rejected", None
    if not text.isascii() or MATCH_LINE.search(text):
        if any(isinstance(node, ast.Match) for node in ast.walk(tree)):
            return "match", tree
    return "accepted", tree


def verdict(path):
    return reference(path)[0]


def check_batch(paths):
    """parse_check's result text for each path ("ok", "error: ...",
    "unreadable: ..."). A run that breaks down is repeated file by file, so
    that a file which crashes the tool is named: "crash: ..."."""
    run = subprocess.run([PARSE_CHECK, *paths], capture_output=True)
    lines = run.stdout.decode("utf-8", "surrogateescape").splitlines()
    if run.returncode not in (0, 1) or len(lines) != len(paths):
        if len(paths) == 1:
            return [f"crash: exit {run.returncode}: "
                    f"{run.stderr.decode('utf-8', 'replace')[-300:]}"]
        return [result for path in paths for result in check_batch([path])]
    results = []
    for path, line in zip(paths, lines):
        prefix = path + ": "
        if not line.startswith(prefix):
            raise AssertionError(f"parse_check printed {line!r} for {path}")
        results.append(line[len(prefix):])
    return results


def check_batch_job(paths):
    """(path, verdict, parse_check's result, position comparison) of each
    path, the comparison (nodes compared, differences) made for the files
    that both sides accept, or None."""
    references = [reference(path) for path in paths]
    checked = [path for path, (verdict, _) in zip(paths, references)
               if verdict != "match"]
    results = dict(zip(checked, check_batch(checked)))
    compared = [(path, tree) for path, (verdict, tree) in
                zip(paths, references)
                if verdict == "accepted" and results[path] == "ok"]
    trees = ast_compare.module_trees([path for path, _ in compared])
    positions = {path: compare_positions(path, tree, ours)
                 for (path, tree), ours in zip(compared, trees)}
    return [(path, verdict, results.get(path), positions.get(path))
            for path, (verdict, _) in zip(paths, references)]


# ---------------------------------------------------------------------------
# Positions.

def preorder(root):
    stack = [root]
    while stack:
        node = stack.pop()
        yield node
        stack.extend(reversed(node.children))


def span(node):
    return f"{node.kind} {node.start}..{node.end}"


def statements_and_parameters(root, data=None):
    """The statement and parameter lines of a reduced tree; given the text,
    ends are moved back over a final ";" (normalisation 5)."""
    statements, parameters = [], []
    for node in preorder(root):
        if node.kind.startswith("Stmt") or node.kind in CLAUSES:
            if data is not None and data[node.end - 1:node.end] == b";":
                node.end -= 1
                while data[node.end - 1:node.end] in (b" ", b"\t"):
                    node.end -= 1
            statements.append(span(node))
        elif node.kind == "Parameter":
            parameters.append(span(node))
    return statements, parameters


def our_names_and_decorators(root):
    """From our raw dump: each definition's name (its first Identifier
    child) and each Decorator, in tree order."""
    names, decorators = [], []
    for node in preorder(root):
        if node.kind in ("StmtFunctionDef", "StmtClassDef"):
            for child in node.children:
                if child.kind == "Decorator":
                    decorators.append(span(child))
                elif child.kind == "Identifier":
                    names.append(f"Identifier {child.start}..{child.end}")
                    break
    return names, decorators


def cpython_names_and_decorators(tree, offsets, shift):
    """The same from CPython's tree (normalisation 5), in the same order."""
    # Each token is (start, ..., text).
    tokens = offsets.tokens()
    starts = [token[0] for token in tokens]
    names, decorators = [], []

    def visit(node):
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef,
                             ast.ClassDef)):
            for decorator in node.decorator_list:
                start, end = offsets.range(decorator)
                at = offsets.last_token_before(start, {"@"})
                decorators.append(f"Decorator {at + shift}..{end + shift}")
            start = offsets.range(node)[0]
            index = bisect.bisect_left(starts, start)
            while tokens[index][-1] not in ("def", "class"):
                index += 1
            name_start, text = tokens[index + 1][0], tokens[index + 1][-1]
            name_end = name_start + len(text.encode("utf-8"))
            names.append(f"Identifier {name_start + shift}..{name_end + shift}")
        for child in ast.iter_child_nodes(node):
            if isinstance(child, BLOCK_NODES):
                visit(child)

    # Definitions nest only as deep as the file's blocks, far below the
    # interpreter's recursion limit. They stand only in blocks, never inside
    # an expression, so the walk leaves expressions out.
    visit(tree)
    return names, decorators


def shifted(lines, shift):
    if not shift:
        return lines
    out = []
    for line in lines:
        kind, _, rest = line.partition(" ")
        start, _, end = rest.partition("..")
        out.append(f"{kind} {int(start) + shift}..{int(end) + shift}")
    return out


def compare_positions(path, tree, ours):
    """(nodes compared, differences) of one file, given CPython's tree of
    its text and our parse_check --module-tree Result."""
    with open(path, "rb") as f:
        data = f.read()
    shift = len(BOM) if data.startswith(BOM) else 0
    text = data[shift:].decode("utf-8")
    if ours.panic is not None or ours.error is not None:
        return 0, [f"{path}: {ours.panic or ours.error}"]
    raw = ast_compare.parse_dump(ours.lines)
    # Names and decorators come from the raw tree, before it is reduced in
    # place.
    our_names, our_decorators = our_names_and_decorators(raw)
    reduced = ast_compare.reduce_tree(raw)
    offsets = ast_compare.Offsets(text)
    theirs = ast_compare.cpython_tree(tree, offsets)
    our_statements, our_parameters = statements_and_parameters(reduced)
    their_statements, their_parameters = statements_and_parameters(
        theirs, offsets.data)
    their_names, their_decorators = cpython_names_and_decorators(
        tree, offsets, shift)
    pairs = [
        ("statements", our_statements, shifted(their_statements, shift)),
        ("parameters", our_parameters, shifted(their_parameters, shift)),
        ("names", our_names, their_names),
        ("decorators", our_decorators, their_decorators),
    ]
    compared = 0
    differences = []
    for what, mine, cpython in pairs:
        compared += len(cpython)
        where = ast_compare.first_difference(mine, cpython)
        if where is not None:
            differences.append(f"{path}: {what}: {where}")
    return compared, differences


def positions(path):
    """compare_positions of one file that CPython accepts, parsed by both
    sides here."""
    return compare_positions(path, reference(path)[1],
                             ast_compare.module_tree(path))


@unittest.skipUnless(PARSE_CHECK, "TRELK_PARSE_CHECK names the parse_check tool")
class StdlibParseTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        # One pass: each file is read and parsed by CPython once, for its
        # verdict and for its positions.
        cls.verdicts = {}
        cls.results = {}
        cls.positions = {}
        for path, verdict, result, positions in map_files(
                check_batch_job, stdlib_files(), BATCH):
            cls.verdicts[path] = verdict
            if result is not None:
                cls.results[path] = result
            if positions is not None:
                cls.positions[path] = positions

    def test_gate(self):
        counts = {}
        wrong = []
        for path, result in self.results.items():
            verdict = self.verdicts[path]
            counts[verdict] = counts.get(verdict, 0) + 1
            if verdict == "accepted":
                ok = result == "ok"
            elif verdict == "rejected":
                ok = result.startswith("error: ")
            else:
                ok = result == "unreadable: stream did not contain valid UTF-8"
            if not ok:
                wrong.append(f"{path}: CPython {verdict}, parse_check {result}")
        print(f"\nstdlib gate: {len(self.results)} files parsed; "
              f"{counts.get('accepted', 0)} accepted by ast.parse and ok here, "
              f"{counts.get('rejected', 0)} rejected, "
              f"{counts.get('not-utf8', 0)} not UTF-8; "
              f"{sum(1 for v in self.verdicts.values() if v == 'match')} "
              f"with a match statement left out; {len(wrong)} wrong")
        self.assertGreater(counts.get("accepted", 0), 1000)
        self.assertEqual(wrong, [], "\n".join(wrong[:20]))

    def test_positions(self):
        files = [path for path, verdict in self.verdicts.items()
                 if verdict == "accepted" and self.results.get(path) == "ok"]
        self.assertEqual(sorted(files), sorted(self.positions))
        compared = 0
        differences = []
        for count, found in self.positions.values():
            compared += count
            differences.extend(found)
        print(f"\npositions: {compared} nodes compared in {len(files)} files;"
              f" {len(differences)} files differ")
        self.assertGreater(compared, 100000)
        self.assertEqual(differences, [], "\n".join(differences[:10]))


if __name__ == "__main__":
    unittest.main()
