"""Match statements, and `match` as a name, against CPython 3.13's parser.

1. The gate and the positions of test_parse_stdlib, on the files that it
   leaves out: every .py file of the standard library that holds a match
   statement must give "ok" from `parse_check FILE...` (path in
   TRELK_PARSE_CHECK), and its statements, parameters, definition names
   and decorators must lie where CPython's ast puts them, with the
   normalisations and intended differences written in test_parse_stdlib.
   test_patma.py, CPython's own test of pattern matching, is among the files
   and is required to be.
2. Match statements node for node: in every file with a line that starts
   with the word `match` (a match statement, or `match` as an ordinary name:
   `match = ...`, `match.group(0)`, `match(x)`), both trees are reduced by
   ast_compare to one shape, and every statement that starts at such a word
   must agree in kind and byte range; for a match statement, so must its
   subject and every pattern and guard of its cases, with everything below
   them. The statements inside the cases are left to (1).

Known, intended differences: those of test_parse_stdlib and the
normalisations of ast_compare; a difference beyond these is a fault.
"""

import ast
import os
import re
import unittest

import ast_compare
import test_parse_stdlib as gate
from stdlib_corpus import map_files, stdlib_files

PARSE_CHECK = os.environ.get("TRELK_PARSE_CHECK")

# A line whose first word is `match`, however it goes on.
MATCH_LINE = re.compile(rb"^[ \t]*match\b", re.MULTILINE)


def match_files():
    """The files of the standard library with a line that starts with the
    word `match`."""
    found = []
    for path in stdlib_files():
        with open(path, "rb") as f:
            if MATCH_LINE.search(f.read()):
                found.append(path)
    return found


def _match_statements(lines, offsets):
    """The lines that describe the statements starting at `offsets` in a
    reduced tree: each statement's own line and, for a match statement, its
    subject, patterns and guards with everything below them (the statements
    of its cases left out)."""
    out = []
    stack = [ast_compare.parse_dump(lines)]
    while stack:
        node = stack.pop()
        if node.kind.startswith("Stmt") and node.start in offsets:
            out.append(f"{node.kind} {node.start}..{node.end}")
            if node.kind == "StmtMatch":
                for child in node.children:
                    if not child.kind.startswith("Stmt"):
                        out.extend("  " + line
                                   for line in ast_compare.render(child))
        stack.extend(reversed(node.children))
    return out


def compare_file(path):
    """(status, match statements, `match` lines, differences) of one
    file."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        source = data.decode("utf-8")
        tree = ast.parse(data)
    except (UnicodeDecodeError, SyntaxError, ValueError):
        return "rejected", 0, 0, []
    statements = sum(isinstance(n, ast.Match) for n in ast.walk(tree))
    lines = len(MATCH_LINE.findall(data))
    ours = ast_compare.module_tree(path)
    if ours.panic is not None:
        return "panic", statements, lines, [f"{path}: panic: {ours.panic}"]
    if ours.error is not None:
        return "error", statements, lines, [f"{path}: error: {ours.error}"]
    offsets = {m.end() - len(b"match") for m in MATCH_LINE.finditer(data)}
    difference = ast_compare.first_difference(
        _match_statements(ast_compare.reduce_ours(ours.lines), offsets),
        _match_statements(ast_compare.reduce_cpython(tree, source), offsets))
    if difference is not None:
        return "differs", statements, lines, [f"{path}: {difference}"]
    return "agrees", statements, lines, []


@unittest.skipUnless(PARSE_CHECK, "TRELK_PARSE_CHECK is not set")
class MatchStatementsInTheStandardLibrary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = match_files()
        # The files of the gate's verdict "match": accepted by CPython,
        # with a match statement.
        cls.with_statements = [
            path for path, verdict in zip(cls.files,
                                          map_files(gate.verdict, cls.files))
            if verdict == "match"]

    def test_gate(self):
        names = {os.path.basename(path) for path in self.with_statements}
        self.assertIn("test_patma.py", names)
        results = gate.check_batch(self.with_statements)
        wrong = [f"{path}: {result}"
                 for path, result in zip(self.with_statements, results)
                 if result != "ok"]
        print(f"\ngate: {len(self.with_statements)} files with a match "
              f"statement, {len(wrong)} wrong")
        self.assertGreater(len(self.with_statements), 10)
        self.assertEqual(wrong, [])

    def test_positions(self):
        compared = 0
        differences = []
        for count, found in map_files(gate.positions, self.with_statements):
            compared += count
            differences.extend(found)
        print(f"\npositions: {compared} nodes compared in "
              f"{len(self.with_statements)} files with a match statement")
        self.assertGreater(compared, 10000)
        self.assertEqual(differences, [], "\n".join(differences[:10]))

    def test_match_statements_and_names(self):
        files = self.files
        statuses = {}
        statements = lines = 0
        differences = []
        for status, found_statements, found_lines, found in map_files(
                compare_file, files):
            statuses[status] = statuses.get(status, 0) + 1
            statements += found_statements
            lines += found_lines
            differences.extend(found)
        print(f"\n{len(files)} files, {statements} match statements, "
              f"{lines} lines starting with `match`: {statuses}")
        self.assertEqual(differences[:10], [])
        # Enough of the grammar is seen for the comparison to mean something.
        self.assertGreater(statuses.get("agrees", 0), 90)
        self.assertGreater(statements, 250)


if __name__ == "__main__":
    unittest.main()
