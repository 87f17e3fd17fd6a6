"""Differential test over the snippets of CPython's own syntax tests.

The test modules of CPython 3.13 named in TEST_MODULES hand source texts to
the compiler, most of them to check that it rejects them. This test reads
those modules with `ast` (it runs none of them), collects every snippet whose
text is written out in the module, and checks that our parser accepts
exactly the snippets that CPython's parser accepts: a snippet is accepted by
CPython when `ast.parse` reads it without error (so errors that CPython only
reports after parsing, in its compiler or symbol table, such as `return`
outside a function or `nonlocal` at module level, don't count), and by us
when `parse_check` (path in TRELK_PARSE_CHECK) reports no error for it.

Where the snippets are found:
  1. The first string argument of a call to compile, exec, eval or ast.parse,
     or of one of the tests' own helpers that compile their argument
     (SNIPPET_HELPERS), and the string elements of a list or tuple passed to
     one (assertAllRaise). `assertRaises(SyntaxError, compile, "...")` and the
     like pass the snippet after the function.
  2. The examples of the doctests in test_syntax's module docstring, which
     doctest compiles one by one.
A snippet's text is its string literal, with `+` concatenation, `*`
repetition and textwrap.dedent or inspect.cleandoc applied as the call
writes them; a snippet whose text is computed otherwise is not collected.

How a snippet is read: as an expression when it goes to eval, to
compile(..., "eval") or to a helper that evals it, otherwise as a module.
compile(..., "single") and doctest examples are read as modules: the one
difference of "single" (it takes only one statement) matters to none of
them.

Intended differences (INTENDED below, each with its reason) are the only
snippets on which the two parsers may disagree; a disagreement not listed
there fails the test, and so does a listed one that no longer occurs.
"""

import ast
import concurrent.futures
import doctest
import inspect
import os
import subprocess
import sysconfig
import tempfile
import textwrap
import unittest
import warnings

import ast_compare

PARSE_CHECK = os.environ.get("TRELK_PARSE_CHECK")
TEST_DIR = os.path.join(sysconfig.get_paths()["stdlib"], "test")
TEST_MODULES = ("test_syntax", "test_grammar", "test_patma", "test_fstring",
                "test_exceptions")

# Functions that compile a source text, with the mode they read it in.
COMPILERS = {"compile": None, "exec": "exec", "eval": "eval", "parse": None}
# The test modules' own helpers that compile their first string argument
# (or each string of a list argument), with the mode they compile it in.
SNIPPET_HELPERS = {
    "_check_error": "exec",          # test_syntax
    "check_syntax_error": "exec",    # test.support, test_grammar
    "check_syntax_warning": "exec",  # test_grammar
    "assert_syntax_error": "exec",   # test_patma, after inspect.cleandoc
    "assertAllRaise": "eval",        # test_fstring: eval of each string
    "check": "exec",                 # test_exceptions, test_grammar
}

_STAR_STAR_WILDCARD = (
    "`**` in a mapping pattern takes any identifier, `_` included; "
    "CPython's grammar refuses the wildcard there")
_AS_WILDCARD = (
    "`as` after a pattern takes any identifier, `_` included; CPython's "
    "grammar refuses the wildcard as a target")
_EXCEPT_TYPES = (
    "unparenthesized except types are accepted with a version gate record "
    "(new in 3.14), never an error")
_DUPLICATE_KEYWORD = (
    "a repeated keyword argument is a parse error here (\"Duplicate keyword "
    "argument\"); CPython's parser accepts it and its compiler refuses it")
_YIELD_IN_TUPLE = (
    "an expression statement reads every element of its tuple with yield "
    "allowed; CPython's grammar allows a bare yield only as the whole "
    "statement")

# Snippets on which our parser and CPython's disagree on purpose, each with
# the reason: {snippet text: reason}.
INTENDED = {
    "match ...:\n    case {**_}:\n       ...\n": _STAR_STAR_WILDCARD,
    "match ...:\n    case {**_}:\n        pass": _STAR_STAR_WILDCARD,
    "match ...:\n  case 42 as _:\n    ...\n": _AS_WILDCARD,
    "match ...:\n    case 42 as _:\n        pass": _AS_WILDCARD,
    "match ...:\n    case {f\"\": _}:\n        pass": (
        "a mapping pattern's elements start only with the tokens of its "
        "recovery list, which has no f-string start; CPython's parser reads "
        "an f-string key and only its compiler refuses it (\"patterns may "
        "only match literals and attribute lookups\")"),
    "f((x)=2)\n": (
        "a parenthesized keyword name is accepted with a version gate record "
        "(accepted up to 3.7), never an error"),
    "try:\n  pass\nexcept A, B:\n  pass\n": _EXCEPT_TYPES,
    "try:\n  pass\nexcept A, B, C:\n  pass\n": _EXCEPT_TYPES,
    "try:\n  pass\nexcept* A, B:\n  pass\n": _EXCEPT_TYPES,
    "try:\n  pass\nexcept* A, B, C:\n  pass\n": _EXCEPT_TYPES,
    "f(a=23, a=234)\n": _DUPLICATE_KEYWORD,
    "call(\na=1,\na=1\n)": _DUPLICATE_KEYWORD,
    "f(1, x=2, *(3,4), x=5)": _DUPLICATE_KEYWORD,
    "def g(): 1, yield 1": _YIELD_IN_TUPLE,
    "def g(): 1, yield from ()": _YIELD_IN_TUPLE,
    "f\"{1+2:{1+2:{1+1:{1}}}}\"": (
        "format specifications nest to any depth; CPython's tokenizer stops "
        "at two levels of nested replacement fields"),
    "\ufeff#coding: utf8\nprint('\u6211')\n": (
        "the lexer skips a byte-order mark at the start of the text; "
        "CPython's ast.parse refuses U+FEFF in a str source (it takes the "
        "mark only from bytes)"),
}


class _Unknown(Exception):
    """The text of an argument is not written out in the module."""


def _text(node):
    """The text an argument expression evaluates to, where it is written
    out: a literal, `+` and `*` of such, and dedent/cleandoc of one."""
    if isinstance(node, ast.Constant) and isinstance(node.value, (str, bytes)):
        return node.value
    if isinstance(node, ast.BinOp) and isinstance(node.op, ast.Add):
        return _text(node.left) + _text(node.right)
    if isinstance(node, ast.BinOp) and isinstance(node.op, ast.Mult):
        if isinstance(node.right, ast.Constant) and isinstance(
                node.right.value, int):
            return _text(node.left) * node.right.value
        raise _Unknown
    if isinstance(node, ast.Call) and len(node.args) == 1:
        name = _name(node.func)
        if name == "dedent":
            return textwrap.dedent(_text(node.args[0]))
        if name == "cleandoc":
            return inspect.cleandoc(_text(node.args[0]))
    raise _Unknown


def _name(func):
    if isinstance(func, ast.Attribute):
        return func.attr
    if isinstance(func, ast.Name):
        return func.id
    return None


def _keyword(call, name):
    for keyword in call.keywords:
        if keyword.arg == name and isinstance(keyword.value, ast.Constant):
            return keyword.value.value
    return None


def _mode_of_compile(call, rest):
    mode = _keyword(call, "mode")
    if mode is None and len(rest) >= 3 and isinstance(rest[2], ast.Constant):
        mode = rest[2].value
    return "eval" if mode == "eval" else "exec"


def _snippets_of_call(call):
    """(text, mode) of the snippets a call compiles."""
    name = _name(call.func)
    args = list(call.args)
    # assertRaises(SyntaxError, compile, "...", ...): the function and its
    # arguments follow the exception.
    for index, arg in enumerate(args):
        if isinstance(arg, ast.Name) and arg.id in ("compile", "exec",
                                                    "eval"):
            rest = args[index + 1:]
            mode = (_mode_of_compile(call, [None] + rest)
                    if arg.id == "compile" else arg.id)
            return _first_text(rest, mode)
    if name in COMPILERS:
        mode = COMPILERS[name]
        if mode is None:
            mode = _mode_of_compile(call, args)
        return _first_text(args, mode)
    if name in SNIPPET_HELPERS:
        mode = _keyword(call, "mode") or SNIPPET_HELPERS[name]
        mode = "eval" if mode == "eval" else "exec"
        out = []
        for arg in args:
            if isinstance(arg, (ast.List, ast.Tuple)):
                for element in arg.elts:
                    out += _first_text([element], mode)
                break
        else:
            out = _first_text(args, mode)
        if name == "assert_syntax_error":
            out = [(inspect.cleandoc(text), mode) for text, mode in out]
        return out
    return []


def _first_text(args, mode):
    for arg in args:
        if arg is None:
            continue
        try:
            text = _text(arg)
        except _Unknown:
            if isinstance(arg, (ast.Constant, ast.BinOp, ast.Call)):
                return []
            continue
        if isinstance(text, bytes):
            try:
                text = text.decode("utf-8")
            except UnicodeDecodeError:
                return []
        return [(text, mode)]
    return []


def collect_snippets():
    """{module: [(text, mode), ...]} in source order, without repeats."""
    found = {}
    for module in TEST_MODULES:
        path = os.path.join(TEST_DIR, module + ".py")
        with open(path, "rb") as f:
            tree = ast.parse(f.read())
        snippets = []
        docstring = ast.get_docstring(tree, clean=False)
        if module == "test_syntax" and docstring:
            for example in doctest.DocTestParser().get_examples(docstring):
                snippets.append((example.source, "exec"))
        for node in ast.walk(tree):
            if isinstance(node, ast.Call):
                snippets += _snippets_of_call(node)
        seen = set()
        found[module] = [s for s in snippets
                         if not (s in seen or seen.add(s))]
    return found


def cpython_accepts(text, mode):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            ast.parse(text, mode=mode)
        except (SyntaxError, ValueError, MemoryError, RecursionError):
            return False
    return True


def _module_result(text):
    with tempfile.NamedTemporaryFile("wb", suffix=".py") as f:
        f.write(text.encode("utf-8", "surrogatepass"))
        f.flush()
        return ast_compare.module_tree(f.name)


def our_results(snippets):
    """One ast_compare.Result per (text, mode), in order."""
    results = [None] * len(snippets)
    expressions = [i for i, (text, mode) in enumerate(snippets)
                   if mode == "eval" and "\0" not in text]
    for index, result in zip(expressions, ast_compare.expression_trees(
            [snippets[i][0] for i in expressions])):
        results[index] = result
    modules = [i for i in range(len(snippets)) if results[i] is None]
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        for index, result in zip(modules, pool.map(
                lambda i: _module_result(snippets[i][0]), modules)):
            results[index] = result
    return results


@unittest.skipUnless(PARSE_CHECK, "TRELK_PARSE_CHECK is not set")
class SyntaxSnippets(unittest.TestCase):
    def test_snippets_accepted_as_cpython_accepts_them(self):
        found = collect_snippets()
        snippets = [s for module in TEST_MODULES for s in found[module]]
        results = our_results(snippets)
        panics = []
        disagreements = {}
        agreements = 0
        accepted = 0
        for (text, mode), result in zip(snippets, results):
            if result.panic is not None:
                panics.append((text, result.panic))
                continue
            theirs = cpython_accepts(text, mode)
            ours = result.error is None
            accepted += theirs
            if ours == theirs:
                agreements += 1
            else:
                disagreements[text] = (
                    f"{mode}: CPython {'accepts' if theirs else 'rejects'}, "
                    f"we {'accept' if ours else 'reject'}"
                    + ("" if ours else f" ({result.error})"))
        counts = ", ".join(f"{m} {len(found[m])}" for m in TEST_MODULES)
        print(f"\n{len(snippets)} snippets ({counts}); CPython accepts "
              f"{accepted}; {agreements} agreements, "
              f"{len(disagreements)} disagreements "
              f"({len(INTENDED)} intended), {len(panics)} panics")
        self.assertEqual(panics, [])
        unexpected = {text: why for text, why in disagreements.items()
                      if text not in INTENDED}
        self.assertEqual(unexpected, {})
        self.assertEqual(sorted(set(INTENDED) - set(disagreements)), [])
        self.assertGreater(len(snippets), 800)


if __name__ == "__main__":
    unittest.main()
