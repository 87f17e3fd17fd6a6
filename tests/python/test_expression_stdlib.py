"""Every expression of CPython 3.13's standard library, parsed on its own in
expression mode here, against the tree that CPython's ast gives it inside
its file.

The expressions are the value of each expression statement, assignment
(plain, augmented and annotated), return statement, and each positional
and keyword argument of every call, wherever they stand in a file. Each is
cut out of its file by its byte range and parsed alone (its offsets count
from its own first byte); CPython's subtree is reduced by ast_compare with
its offsets moved by the same amount. Texts that occur more than once in a
file are parsed once.

Intended differences (what the comparison allows for on purpose):
  1. Cut out of its file, an expression loses the brackets around it:
     the parentheses of a call around an argument, and those of
     `x = (a +\n b)`, which CPython's range leaves out. Inside them its text
     may run over several lines, and a call argument may be an
     unparenthesized assignment expression (`f(x := 1)`); the expression
     entry, which reads what an expression statement reads, accepts
     neither. So every text but a tuple's and a starred expression's is
     parsed inside one pair of parentheses, its offsets moved by one: the
     parenthesized form gives back the inner expression with its own range,
     so the tree to compare is the same.
  2. A starred call argument (`f(*a or b)`) has its operand read at the
     conditional level; the expression entry reads a starred operand at the
     bitwise-or level. So a starred argument is parsed as the sole argument
     of a call `_(...)`, and that call and its name are put above CPython's
     tree.
The generator expression that is a call's only argument and the format
specification are normalised by ast_compare (its normalisations 8 and 9).
"""

import ast
import io
import os
import tokenize
import unittest

import ast_compare
import stdlib_corpus

# Files whose expressions are given to one run of parse_check.
BATCH = 20


def read_source(path):
    """The file's text decoded by its own encoding declaration, or None."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        encoding, _ = tokenize.detect_encoding(io.BytesIO(data).readline)
        text = data.decode(encoding)
        text.encode("utf-8")
    except (SyntaxError, UnicodeError, LookupError):
        return None
    if text.startswith("\ufeff"):
        text = text[1:]
    return text


def expressions(tree):
    """The expressions the comparison takes from a module, in walk order."""
    for node in ast.walk(tree):
        if isinstance(node, (ast.Expr, ast.Assign, ast.AugAssign,
                             ast.AnnAssign, ast.Return)):
            if node.value is not None:
                yield node.value
        elif isinstance(node, ast.Call):
            yield from node.args
            for keyword in node.keywords:
                yield keyword.value


def shift_lines(lines, base):
    """Dump-shaped lines with every range moved back by `base`."""
    out = []
    for line in lines:
        stripped = line.lstrip(" ")
        kind, _, span = stripped.partition(" ")
        if not span:
            out.append(line)
            continue
        start, _, end = span.partition("..")
        start, end = int(start), int(end)
        out.append("%s%s %d..%d" % (line[:len(line) - len(stripped)], kind,
                                     start - base, end - base))
    return out


def compare_files(paths):
    """compare_file of every path, with parse_check run once for them all."""
    prepared = [cpython_snippets(path) for path in paths]
    texts = [snippet for found in prepared if isinstance(found, tuple)
             for snippet in found[1]]
    results = iter(ast_compare.expression_trees(texts))
    return [compare_file(path, found, results)
            for path, found in zip(paths, prepared)]


def cpython_snippets(path):
    """(expressions, {text: CPython's reduced lines}) of one file, or the
    status of a file that is not compared."""
    text = read_source(path)
    if text is None:
        return "undecodable"
    try:
        tree = ast.parse(text)
    except (SyntaxError, ValueError):
        return "refused by CPython"
    offsets = ast_compare.Offsets(text)
    reduce_cpython = ast_compare.cpython_reducer(offsets)
    data = offsets.data
    snippets = {}  # text -> CPython's reduced lines
    count = 0
    for node in expressions(tree):
        start, end = offsets.range(node)
        snippet = data[start:end].decode("utf-8")
        base = start
        if isinstance(node, ast.Starred):
            snippet = "_(" + snippet + ")"  # intended difference 2
            base -= 2
        elif not isinstance(node, ast.Tuple):
            snippet = "(" + snippet + ")"  # intended difference 1
            base -= 1
        count += 1
        if snippet in snippets or "\0" in snippet:
            continue
        theirs = shift_lines(reduce_cpython(ast.Expression(body=node)), base)
        if isinstance(node, ast.Starred):
            size = len(snippet.encode("utf-8"))
            theirs = ([theirs[0], f"  ExprCall 0..{size}", "    ExprName 0..1"]
                      + ["  " + line for line in theirs[1:]])
        snippets[snippet] = theirs
    return count, snippets


def compare_file(path, prepared, results):
    """(status, expressions, texts parsed, differences) for one file, its
    snippets' Results taken from `results` in order."""
    if not isinstance(prepared, tuple):
        return prepared, 0, 0, []
    count, snippets = prepared
    differences = []
    for snippet in snippets:
        result = next(results)
        where = f"{os.path.relpath(path, stdlib_corpus.STDLIB)}: {snippet!r}"
        if result.panic is not None:
            differences.append(f"{where}: panic {result.panic}")
        elif result.error is not None:
            differences.append(f"{where}: we report {result.error}")
        else:
            found = ast_compare.first_difference(
                ast_compare.reduce_ours(result.lines), snippets[snippet])
            if found is not None:
                differences.append(f"{where}: {found}")
    return "compared", count, len(snippets), differences


@unittest.skipUnless(os.environ.get("TRELK_PARSE_CHECK"),
                     "TRELK_PARSE_CHECK names the parse_check tool")
class ExpressionStdlibTest(unittest.TestCase):

    def test_every_expression_agrees_with_cpython(self):
        files, statuses, (count, parsed), differences = (
            stdlib_corpus.compare_corpus(compare_files, batch=BATCH))
        print(f"\nstandard library expressions: {len(files)} files "
              f"{statuses}, {count} expressions, {parsed} texts parsed and "
              f"compared, {len(differences)} differences")
        self.assertEqual(differences, [], "\n\n".join(differences[:20]))
        if "TRELK_STDLIB" not in os.environ:
            # The whole library, not a corpus that failed to load.
            self.assertGreater(parsed, 100000)


if __name__ == "__main__":
    unittest.main()
