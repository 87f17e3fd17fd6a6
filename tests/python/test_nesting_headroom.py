"""The nesting bound against CPython's standard library: no file comes near
it.

The parser counts its recursion at its re-entry points and gives up past
Parser::kMaxNesting (read from parser.h). Over every file of the standard
library, the expressions of every statement are ranked by the depth of
their ast, and for the deepest ones the counted depth is measured exactly:
each is wrapped in parentheses, which cost a known two counted levels a
pair, and the most pairs it still parses inside without the overflow error
give its own count, to which the statements around it add one counted
level each (taken from the ast, an `elif` being no nesting here). The test
requires the deepest of these, and the deepest statement nesting, to stay
within a third of the bound, and prints the figures.
"""

import ast
import os
import re
import unittest

import ast_compare
import stdlib_corpus

OVERFLOW = "Parser stack overflowed - Python source too complex to parse"
# Counted levels per pair of parentheses around an expression: the
# conditional level and the operand level.
LEVELS_PER_PAREN = 2
CANDIDATES = 400
PER_FILE = 8


def max_nesting():
    header = os.path.join(os.path.dirname(__file__), "..", "..", "crates",
                          "divu_python_parser", "internal", "parser.h")
    with open(header, encoding="utf-8") as f:
        found = re.search(r"kMaxNesting = (\d+);", f.read())
    return int(found.group(1))


def expression_depth(node):
    """The longest chain of nested expressions below `node`, iteratively."""
    deepest = 0
    stack = [(node, 1)]
    while stack:
        current, depth = stack.pop()
        deepest = max(deepest, depth)
        for child in ast.iter_child_nodes(current):
            step = 1 if isinstance(child, ast.expr) else 0
            stack.append((child, depth + step))
    return deepest


def survey(path):
    """(deepest statement nesting, [(ast depth, statement nesting, source
    text)] of the file's deepest statement-level expressions)."""
    try:
        with open(path, "rb") as f:
            data = f.read()
        tree = ast.parse(data)
    except (SyntaxError, ValueError):
        return 0, []
    offsets = ast_compare.Offsets(data)
    deepest_statement = 0
    found = []
    stack = [(tree, 0)]
    while stack:
        node, depth = stack.pop()
        for child in ast.iter_child_nodes(node):
            if isinstance(child, ast.stmt):
                # An `elif` is a clause of its `if` here, not a nested
                # statement as in CPython's tree.
                start = offsets.range(child)[0]
                nested = not (isinstance(child, ast.If) and
                              offsets.data.startswith(b"elif", start))
                deepest_statement = max(deepest_statement, depth + nested)
                stack.append((child, depth + nested))
            elif isinstance(child, ast.expr) and isinstance(node, ast.stmt):
                found.append((expression_depth(child), depth, child))
            elif not isinstance(child, ast.expr):
                stack.append((child, depth))
    found.sort(key=lambda item: -item[0])
    texts = []
    for depth, statements, node in found[:PER_FILE]:
        start, end = offsets.range(node)
        text = data[start:end].decode("utf-8", "replace")
        if "\0" not in text:
            texts.append((depth, statements, text))
    return deepest_statement, texts


def wrapped(text, pairs):
    return "(" * pairs + text + "\n" + ")" * pairs


def overflowed(result):
    return result.error is not None and result.error.startswith(OVERFLOW)


@unittest.skipUnless(os.environ.get("TRELK_PARSE_CHECK"),
                     "TRELK_PARSE_CHECK names the parse_check tool")
class NestingHeadroomTest(unittest.TestCase):

    def test_standard_library_stays_far_below_the_bound(self):
        bound = max_nesting()
        files = stdlib_corpus.stdlib_files()
        deepest_statement = 0
        candidates = []
        for statement_depth, found in stdlib_corpus.map_files(survey, files):
            deepest_statement = max(deepest_statement, statement_depth)
            candidates.extend(found)
        candidates.sort(key=lambda item: -item[0])
        texts = [text for _, _, text in candidates[:CANDIDATES]]
        statements = [depth for _, depth, _ in candidates[:CANDIDATES]]
        # Those that parse here at all (the others are not expressions on
        # their own, such as a starred assignment value).
        plain = ast_compare.expression_trees(texts)
        kept = [i for i, r in enumerate(plain)
                if r.error is None and r.panic is None]
        texts = [texts[i] for i in kept]
        statements = [statements[i] for i in kept]
        self.assertGreater(len(texts), CANDIDATES // 2)
        # For each text, the most pairs of parentheses it parses inside.
        low = [0] * len(texts)
        high = [bound // LEVELS_PER_PAREN + 1] * len(texts)
        while any(h - l > 1 for l, h in zip(low, high)):
            middles = [(l + h) // 2 for l, h in zip(low, high)]
            results = ast_compare.expression_trees(
                [wrapped(t, m) for t, m in zip(texts, middles)])
            for index, (middle, result) in enumerate(zip(middles, results)):
                if low[index] + 1 >= high[index]:
                    continue
                if overflowed(result):
                    high[index] = middle
                else:
                    low[index] = middle
        counts = [bound - LEVELS_PER_PAREN * pairs for pairs in low]
        deepest = max(range(len(texts)), key=lambda i: counts[i])
        # An expression's count in its file adds the statements around it.
        in_file = max(c + s for c, s in zip(counts, statements))
        print(f"\nnesting: bound {bound}; {len(files)} files; deepest "
              f"expression {counts[deepest]} counted levels "
              f"({texts[deepest][:60]!r}...); deepest statement nesting "
              f"{deepest_statement}; deepest expression with its "
              f"statements {in_file}")
        self.assertLessEqual(max(in_file, deepest_statement), bound // 3)


if __name__ == "__main__":
    unittest.main()
