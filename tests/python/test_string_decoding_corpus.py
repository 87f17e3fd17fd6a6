"""Differential test: string decoding against CPython 3.13 over its stdlib.

Every .py file of the interpreter's standard library is lexed and its string
literals decoded by `parse_check --strings` (path in TRELK_PARSE_CHECK). For
each String token the decoded value must equal `ast.literal_eval` of the
token's text, and for each f-string middle it must equal the value CPython
gives the same literal text as an f-string of its own. A token that CPython
rejects must be rejected by us too, and the other way round.

Known, intended differences (the only normalisations applied):

1. A lone surrogate in CPython's value (from an escape such as \\udc80) is
   U+FFFD in ours: our values are UTF-8 text.
2. Files that are not UTF-8 or on which our lexer reports an error are not
   compared; they are counted.
3. A middle is evaluated with a replacement field "{0}" after it, so that a
   backslash or quote at its end stays what it was in the source (a
   backslash before a field, a quote before the closing quotes); the
   field's "0" is removed from CPython's value.
"""

import ast
import os
import sys
import unittest
import warnings

import ast_compare
from stdlib_corpus import compare_corpus

PARSE_CHECK = os.environ.get("TRELK_PARSE_CHECK")
# Files given to one run of parse_check.
BATCH = 50
SURROGATES = {c: "\ufffd" for c in range(0xD800, 0xE000)}


def as_utf8(value):
    if isinstance(value, bytes):
        return value
    return value.translate(SURROGATES).encode("utf-8")


def cpython_string(text):
    """The value of a string token's text, or None when CPython rejects it."""
    try:
        return as_utf8(ast.literal_eval(text))
    except (SyntaxError, ValueError):
        return None


def cpython_middle(start_text, middle_text):
    """The value of an f-string's literal part, or None when rejected."""
    prefix = start_text.rstrip("'\"")
    quote = start_text[len(prefix):]
    try:
        value = eval(compile(prefix + quote + middle_text + "{0}" + quote,
                             "<middle>", "eval"), {})
    except (SyntaxError, ValueError):
        return None
    return as_utf8(value[:-1])


def compare_files(paths):
    """compare_file of every path, with parse_check run once for them all."""
    strings = ast_compare.tool_outputs("--strings", paths)
    tokens = ast_compare.tool_outputs("--tokens", paths)
    return [compare_file(*job) for job in zip(paths, strings, tokens)]


def compare_file(path, string_output, token_output):
    """Returns (status, strings compared, middles compared, differences)."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        data.decode("utf-8")
    except UnicodeDecodeError:
        return "not-utf8", 0, 0, []
    output, failure = string_output
    if failure is not None:
        return "bad", 0, 0, [f"{path}: parse_check failed: {failure!r}"]
    tokens = token_output[0] or ""
    if "\nerror: " in tokens or tokens.startswith("error: "):
        return "lex-error", 0, 0, []
    diffs = []
    strings = middles = 0
    starts = []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for line in output.splitlines():
            kind, span, *rest = line.split(" ", 2)
            start, end = (int(n) for n in span.split(".."))
            text = data[start:end].decode("utf-8")
            if kind in ("FStringStart", "TStringStart"):
                starts.append(text)
                continue
            if kind in ("FStringEnd", "TStringEnd"):
                starts.pop()
                continue
            got = rest[0] if rest else ""
            ours = None if got.startswith("error: ") else bytes.fromhex(got)
            if kind == "String":
                strings += 1
                expected = cpython_string(text)
            else:
                middles += 1
                expected = cpython_middle(starts[-1], text)
            if ours != expected:
                diffs.append(f"{path}: {kind} {span} {text[:60]!r}: "
                             f"expected {expected!r}, got {got[:120]}")
    return "compared", strings, middles, diffs


@unittest.skipUnless(PARSE_CHECK, "TRELK_PARSE_CHECK is not set")
class StringDecodingMatchesCPython(unittest.TestCase):
    def test_standard_library(self):
        files, counts, (strings, middles), diffs = compare_corpus(
            compare_files, batch=BATCH)
        self.assertGreater(len(files), 1000)
        print(f"\nfiles: {len(files)} ({counts}), strings compared: "
              f"{strings}, f-string middles compared: {middles}, "
              f"differences: {len(diffs)}", file=sys.stderr)
        self.assertGreater(strings, 100000)
        self.assertEqual(diffs, [], "\n".join(diffs[:20]))


if __name__ == "__main__":
    unittest.main()
