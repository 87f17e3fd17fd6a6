"""Differential test: function extraction against CPython 3.13's ast over
its standard library.

`extract_dump` (path in TRELK_EXTRACT_DUMP) reads, parses and extracts every
.py file of the interpreter's standard library in one run. The run must end
with no internal failure, and every file that CPython parses must parse.
For every function CPython finds (FunctionDef and AsyncFunctionDef at any
depth), extraction must find one at the same place, with the same name
location, the same parameters with the same locations and annotations, the
same return annotation and the same body range, all as 0-based lines and
Unicode-scalar columns. CPython gives no location for a function's name:
it is taken as the identifier after `def` in the source.

Known, intended differences (the only normalisations applied):

1. A "*" or "**" parameter's location begins at its star here, at its name
   in CPython; what stands between must be the stars and white space.
2. A body whose first statement is a decorated definition begins at its
   first "@" here, at `def` or `class` in CPython.
3. A body whose last statement is a compound statement whose own last
   statement is followed by ";" ends before the ";" here: no node's range
   takes in a trailing semicolon. CPython ends the compound statement after
   it (and the simple statement itself before it, as here).
4. Files that are not UTF-8, or that CPython refuses, are not compared;
   they are counted.
"""

import ast
import bisect
import os
import re
import subprocess
import tempfile
import unittest
import warnings

from stdlib_corpus import STDLIB, compare_corpus, stdlib_files

EXTRACT_DUMP = os.environ.get("TRELK_EXTRACT_DUMP")
LINE_BREAK = re.compile(r"\r\n|\r|\n")
DEF_KEYWORDS = re.compile(r"(?:async(?:[ \t\f]|\\\r?\n)+)?def(?:[ \t\f]|\\\r?\n)+")
IDENTIFIER = re.compile(r"\w+")
SEMICOLON = re.compile(r"[ \t\f]*;\Z")
STARS = re.compile(r"\*\*?(?:\s|\\\r?\n|#[^\r\n]*)*\Z")
LOCATION = re.compile(r"(\d+):(\d+)-(\d+):(\d+)")


def location(text):
    """'L:C-L:C' as a tuple of four ints, '-' as None."""
    if text == "-":
        return None
    return tuple(int(g) for g in LOCATION.fullmatch(text).groups())


def parse_dump(lines):
    """The functions of one file's dump, in source order."""
    functions = []
    for line in lines:
        words = line.split(" ")
        if line.startswith("function "):
            functions.append({"name": words[1], "at": location(words[2]),
                              "args": {}, "order": []})
        elif line.startswith("  args"):
            functions[-1]["order"] = words[3:]
        elif line.startswith("  arg "):
            functions[-1]["args"][words[3]] = (location(words[4]),
                                               location(words[6]))
        elif line.startswith("  returns "):
            functions[-1]["returns"] = location(words[3])
        elif line.startswith("  body "):
            functions[-1]["body"] = location(words[3])
    return functions


class Source:
    """A file's text with CPython's byte positions turned into ours."""

    def __init__(self, text):
        self.text = text
        self.line_starts = [0]
        for match in LINE_BREAK.finditer(text):
            self.line_starts.append(match.end())
        self.bom = 1 if text.startswith("\ufeff") else 0

    def position(self, lineno, col_offset):
        """(0-based line, character) of a 1-based line and byte column."""
        start = self.line_starts[lineno - 1] + (self.bom if lineno == 1 else 0)
        line = self.text[start:self.line_starts[lineno]
                         if lineno < len(self.line_starts) else None]
        column = len(line.encode("utf-8")[:col_offset].decode("utf-8"))
        return lineno - 1, column

    def offset(self, line, character):
        return (self.line_starts[line] + character
                + (self.bom if line == 0 else 0))

    def at(self, offset):
        """(0-based line, character) of a character offset."""
        line = bisect.bisect_right(self.line_starts, offset) - 1
        return line, offset - self.line_starts[line] - (
            self.bom if line == 0 else 0)

    def span(self, node):
        return (self.position(node.lineno, node.col_offset)
                + self.position(node.end_lineno, node.end_col_offset))


def expected_function(source, node):
    start = source.offset(*source.position(node.lineno, node.col_offset))
    keywords = DEF_KEYWORDS.match(source.text, start)
    name_start = keywords.end()
    name_end = IDENTIFIER.match(source.text, name_start).end()
    args = {}
    order = []
    arguments = node.args
    starred = {id(a) for a in (arguments.vararg, arguments.kwarg) if a}
    for arg in (arguments.posonlyargs + arguments.args
                + ([arguments.vararg] if arguments.vararg else [])
                + arguments.kwonlyargs
                + ([arguments.kwarg] if arguments.kwarg else [])):
        order.append(arg.arg)
        args[arg.arg] = (source.span(arg),
                         source.span(arg.annotation) if arg.annotation
                         else None, id(arg) in starred)
    first = node.body[0]
    body_start = source.position(first.lineno, first.col_offset)
    if getattr(first, "decorator_list", None):
        decorator = first.decorator_list[0]
        at = source.offset(*source.position(decorator.lineno,
                                            decorator.col_offset))
        at = source.text.rindex("@", 0, at)
        body_start = source.at(at)
    last = node.body[-1]
    return {
        "name": node.name,
        "at": source.at(name_start) + source.at(name_end),
        "order": order,
        "args": args,
        "returns": source.span(node.returns) if node.returns else None,
        "body": body_start + source.position(last.end_lineno,
                                             last.end_col_offset),
    }


def compare_file(item):
    """Returns (status, functions compared, parameters compared, diffs)."""
    path, lines = item
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return "not-utf8", 0, 0, []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            tree = ast.parse(data)
        except (SyntaxError, ValueError):
            return "cpython-refuses", 0, 0, []
    if lines and lines[0].startswith(("error: ", "panic: ")):
        return "ours-fails", 0, 0, [f"{path}: {lines[0]}"]
    source = Source(text)
    expected = [expected_function(source, node) for node in ast.walk(tree)
                if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef))]
    expected.sort(key=lambda f: f["at"])
    ours = sorted(parse_dump(lines), key=lambda f: f["at"])
    diffs = []
    if [f["name"] for f in ours] != [f["name"] for f in expected]:
        return "compared", 0, 0, [f"{path}: functions differ"]
    parameters = 0
    for mine, theirs in zip(ours, expected):
        where = f"{path}: {theirs['name']} at {theirs['at']}"
        body = mine.get("body")
        if body and body[:3] == theirs["body"][:3] and SEMICOLON.match(
                source.text[source.offset(*body[2:]):
                            source.offset(*theirs["body"][2:])]):
            mine["body"] = theirs["body"]
        for key in ("at", "order", "returns", "body"):
            if mine.get(key) != theirs[key]:
                diffs.append(f"{where}: {key} {mine.get(key)} != {theirs[key]}")
        for name, (span, annotation, starred) in theirs["args"].items():
            parameters += 1
            got_span, got_annotation = mine["args"].get(name, (None, None))
            if starred and got_span and got_span[2:] == span[2:]:
                between = source.text[source.offset(*got_span[:2]):
                                      source.offset(*span[:2])]
                if STARS.match(between):
                    got_span = span
            if (got_span, got_annotation) != (span, annotation):
                diffs.append(f"{where}: parameter {name} "
                             f"{(got_span, got_annotation)} != "
                             f"{(span, annotation)}")
    return "compared", len(expected), parameters, diffs


def run_extract_dump(test, root, files, scratch):
    """Runs extract_dump over `files` of the project at `root`, its list
    written into the directory `scratch`: the run's summary line, checked to
    report no internal failure, and each file's dump lines by path."""
    listing = os.path.join(scratch, "trelk_files.txt")
    with open(listing, "w") as f:
        f.write("\n".join(files) + "\n")
    try:
        run = subprocess.run([EXTRACT_DUMP, "--root", root, "--files-from",
                              listing], capture_output=True)
    finally:
        os.unlink(listing)
    test.assertEqual(run.returncode, 0, run.stderr)
    summary = run.stderr.decode().strip().splitlines()[-1]
    test.assertIn(" panics 0 ", summary)
    dumps = {}
    lines = None
    for line in run.stdout.decode("utf-8").splitlines():
        if line.startswith("file "):
            lines = dumps.setdefault(line[5:], [])
        else:
            lines.append(line)
    return summary, dumps


@unittest.skipUnless(EXTRACT_DUMP, "TRELK_EXTRACT_DUMP is not set")
class ExtractionStdlibTest(unittest.TestCase):
    def test_functions_match_cpython(self):
        files = stdlib_files()
        with tempfile.TemporaryDirectory() as scratch:
            summary, dumps = run_extract_dump(self, STDLIB, files, scratch)
        print(f"\nextraction: {summary}")
        _, statuses, (compared, parameters), diffs = compare_corpus(
            compare_file, [(path, dumps[path]) for path in files])
        print(f"files by status: {statuses}; functions compared: {compared}; "
              f"parameters compared: {parameters}")
        self.assertGreater(compared, 50000)
        self.maxDiff = None
        self.assertEqual(diffs[:20], [])
        self.assertEqual(len(diffs), 0)


if __name__ == "__main__":
    unittest.main()
