"""The precedence matrix: every pair of operator forms, in both nestings,
parsed as one expression here and by CPython 3.13's ast.parse(mode="eval").

Each form (a binary, comparison or boolean operator, a unary operator, a
conditional, lambda, assignment, await, yield, yield-from or starred
expression) is put into each operand slot of every form, the other slots
holding plain names, and each text is tried as written, inside one pair
of parentheses, and as the first element of a tuple. Where CPython accepts the text, the trees must agree in
shape and in every node's byte range (see ast_compare for the
normalisations); where CPython refuses it, this parser must report an error.

Intended differences (what the comparison allows for on purpose):
  1. The expression entry reads what an expression statement reads, so a
     top-level starred expression, a tuple holding one, and a top-level
     yield are accepted, where CPython's eval mode refuses them. Such a text
     is compared with the value of CPython's exec-mode expression statement.
"""

import ast
import itertools
import os
import unittest

import ast_compare

BINARY = ["+", "-", "*", "@", "/", "%", "//", "**", "<<", ">>", "&", "^", "|"]
COMPARISON = ["==", "!=", "<", "<=", ">", ">=", "in", "not in", "is",
              "is not"]
BOOLEAN = ["and", "or"]
# Each form with its operand slots written as {}.
FORMS = (
    ["{} %s {}" % op for op in BINARY + COMPARISON + BOOLEAN] +
    ["not {}", "+{}", "-{}", "~{}", "{} if {} else {}", "lambda: {}",
     "lambda x: {}", "x := {}", "await {}", "yield {}", "yield from {}",
     "*{}"])


def fill(form, names):
    return form.format(*(next(names) for _ in range(form.count("{}"))))


def matrix():
    """Every text of the matrix, once each, in a stable order."""
    texts = {}
    for outer, inner in itertools.product(FORMS, repeat=2):
        for slot in range(outer.count("{}")):
            names = iter("abcdefghijklmnopqrstuvw")
            parts = []
            for index in range(outer.count("{}")):
                parts.append(fill(inner, names) if index == slot
                             else next(names))
            text = outer.format(*parts)
            texts.setdefault(text, None)
            texts.setdefault("(" + text + ")", None)
            texts.setdefault(text + ", z", None)
    return list(texts)


def cpython_lines(text):
    """CPython's reduced tree of `text`, or None when it refuses it."""
    try:
        return ast_compare.reduce_cpython(ast.parse(text, mode="eval"), text)
    except SyntaxError:
        pass
    try:
        module = ast.parse(text, mode="exec")
    except SyntaxError:
        return None
    # Intended difference 1: the value of the one expression statement.
    if len(module.body) != 1 or not isinstance(module.body[0], ast.Expr):
        return None
    return ast_compare.reduce_cpython(
        ast.Expression(body=module.body[0].value), text)


@unittest.skipUnless(os.environ.get("TRELK_PARSE_CHECK"),
                     "TRELK_PARSE_CHECK names the parse_check tool")
class PrecedenceMatrixTest(unittest.TestCase):

    def test_matrix_agrees_with_cpython(self):
        texts = matrix()
        results = ast_compare.expression_trees(texts)
        compared = refused = 0
        differences = []
        for text, result in zip(texts, results):
            if result.panic is not None:
                differences.append(f"{text!r}: panic {result.panic}")
                continue
            theirs = cpython_lines(text)
            if theirs is None:
                refused += 1
                if result.error is None:
                    differences.append(
                        f"{text!r}: CPython refuses it, we accept it")
                continue
            compared += 1
            if result.error is not None:
                differences.append(
                    f"{text!r}: CPython accepts it, we report {result.error}")
                continue
            found = ast_compare.first_difference(
                ast_compare.reduce_ours(result.lines), theirs)
            if found is not None:
                differences.append(f"{text!r}: {found}")
        print(f"\nprecedence matrix: {len(texts)} texts, {compared} trees "
              f"compared, {refused} refused by both, "
              f"{len(differences)} differences")
        self.assertEqual(differences, [], "\n".join(differences[:20]))


if __name__ == "__main__":
    unittest.main()
