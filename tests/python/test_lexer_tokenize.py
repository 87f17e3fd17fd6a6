"""Differential test: our lexer against CPython 3.13's tokenize module.

Every .py file of the interpreter's standard library is lexed by
`parse_check --tokens` (path in TRELK_PARSE_CHECK) and by
`tokenize.generate_tokens`, and the two token streams are compared token by
token: kind, text, start and end byte offset. The lexer must report no
error on a file that tokenize accepts. The comment ranges built from our
token list (`parse_check --comments`) must equal tokenize's COMMENT tokens,
each with the right own-line mark (only blanks before it on its line).

Known, intended differences (the only normalisations applied):

1. Positions: tokenize gives 1-based rows and 0-based columns in
   characters; they are turned into byte offsets. A row one past the last
   line (ENDMARKER, final DEDENTs) is the end of the text.
2. Kinds: tokenize's NAME is our keyword or soft keyword kind when its
   text is that word as written, otherwise Name; NUMBER is Int, Float or Complex; OP is the operator kind of its text;
   NEWLINE is Newline and NL is NonLogicalNewline. tokenize emits no token
   for ENCODING on text input, and we emit none either.
3. tokenize adds an NL token with empty text at the end of a file whose
   last line (a comment or blanks) has no line break; we emit none, so it
   is dropped.
4. At the end of a file whose last logical line has no line break,
   tokenize reports the NEWLINE (empty text) one column long; ours is empty.
   Newline tokens are therefore compared by start and text only.
5. tokenize splits an f-string's literal part after each doubled brace
   and reports each piece without the dropped brace. Consecutive
   FSTRING_MIDDLE tokens are merged: the merged text is compared with our
   middle's source text with doubled braces reduced, and its end with the
   start of the token that follows it.
6. tokenize emits an FSTRING_MIDDLE with empty text where a format
   specification's literal part is empty (after a nested field, as in
   f"{x:>{w}}"); we make no token for an empty literal part, so it is
   dropped.
7. Files that are not UTF-8, and files that tokenize rejects (test data
   with deliberate syntax errors), are not compared; they are counted.
   tokenize passes a character that cannot start an identifier (such as
   the euro sign) as a NAME and leaves the error to the compiler; a file
   with such a NAME counts as rejected. On every rejected file our lexer
   must report an error too.
"""

import io
import os
import sys
import tokenize
import unittest

import ast_compare
from stdlib_corpus import compare_corpus

PARSE_CHECK = os.environ.get("TRELK_PARSE_CHECK")
# Files given to one run of parse_check.
BATCH = 50

KEYWORDS = (
    "And As Assert Async Await Break Class Continue Def Del Elif Else Except "
    "False Finally For From Global If Import In Is Lambda None Nonlocal Not Or "
    "Pass Raise Return True Try While With Yield Case Match Type"
).split()
# The source text of each keyword kind: "False", "None" and "True" as
# written, every other word in lower case.
KEYWORD_KINDS = {
    (k if k in ("False", "None", "True") else k.lower()): k for k in KEYWORDS
}
NUMBER_KINDS = frozenset(["Int", "Float", "Complex"])
OPERATORS = {
    "?": "Question", "!": "Exclamation", "(": "Lpar", ")": "Rpar",
    "[": "Lsqb", "]": "Rsqb", ":": "Colon", ",": "Comma", ";": "Semi",
    "+": "Plus", "-": "Minus", "*": "Star", "/": "Slash", "|": "Vbar",
    "&": "Amper", "<": "Less", ">": "Greater", "=": "Equal", ".": "Dot",
    "%": "Percent", "{": "Lbrace", "}": "Rbrace", "==": "EqEqual",
    "!=": "NotEqual", "<=": "LessEqual", ">=": "GreaterEqual", "~": "Tilde",
    "^": "CircumFlex", "<<": "LeftShift", ">>": "RightShift",
    "**": "DoubleStar", "**=": "DoubleStarEqual", "+=": "PlusEqual",
    "-=": "MinusEqual", "*=": "StarEqual", "/=": "SlashEqual",
    "%=": "PercentEqual", "&=": "AmperEqual", "|=": "VbarEqual",
    "^=": "CircumflexEqual", "<<=": "LeftShiftEqual", ">>=": "RightShiftEqual",
    "//": "DoubleSlash", "//=": "DoubleSlashEqual", ":=": "ColonEqual",
    "@": "At", "@=": "AtEqual", "->": "Rarrow", "...": "Ellipsis",
}
SIMPLE_KINDS = {
    tokenize.STRING: "String", tokenize.COMMENT: "Comment",
    tokenize.NEWLINE: "Newline", tokenize.NL: "NonLogicalNewline",
    tokenize.INDENT: "Indent", tokenize.DEDENT: "Dedent",
    tokenize.FSTRING_START: "FStringStart",
    tokenize.FSTRING_MIDDLE: "FStringMiddle",
    tokenize.FSTRING_END: "FStringEnd", tokenize.ENDMARKER: "EndOfFile",
}


def expected_kinds(tok):
    if tok.type == tokenize.NAME:
        return frozenset([KEYWORD_KINDS.get(tok.string, "Name")])
    if tok.type == tokenize.NUMBER:
        return NUMBER_KINDS
    if tok.type == tokenize.OP:
        return frozenset([OPERATORS[tok.string]])
    return frozenset([SIMPLE_KINDS[tok.type]])


class Positions:
    """Turns tokenize's (row, character column) into byte offsets."""

    def __init__(self, lines, base):
        self.lines = lines
        self.starts = []
        offset = base
        for line in lines:
            self.starts.append(offset)
            offset += len(line.encode("utf-8"))
        self.end = offset

    def offset(self, row, col):
        if row - 1 >= len(self.lines):
            return self.end
        line = self.lines[row - 1]
        start = self.starts[row - 1]
        if line.isascii():
            return start + col
        return start + len(line[:col].encode("utf-8"))


def cpython_tokens(text, base):
    """tokenize's tokens as (kinds, type, text, start, end), normalised, and
    its comments as (start, end, own line)."""
    lines = io.StringIO(text, newline="").readlines()
    positions = Positions(lines, base)
    raw = list(tokenize.generate_tokens(io.StringIO(text, newline="").readline))
    result = []
    comments = []
    i = 0
    while i < len(raw):
        tok = raw[i]
        if tok.type in (tokenize.NL, tokenize.FSTRING_MIDDLE) and not tok.string:
            i += 1
            continue
        if tok.type == tokenize.NAME and not tok.string.isidentifier():
            raise SyntaxError(f"invalid character in identifier {tok.string!r}")
        start = positions.offset(*tok.start)
        end = positions.offset(*tok.end)
        string = tok.string
        if tok.type == tokenize.FSTRING_MIDDLE:
            while (i + 1 < len(raw)
                   and raw[i + 1].type == tokenize.FSTRING_MIDDLE):
                i += 1
                string += raw[i].string
            end = positions.offset(*raw[i + 1].start)
        if tok.type == tokenize.COMMENT:
            before = lines[tok.start[0] - 1][:tok.start[1]]
            if tok.start[0] == 1:
                before = before.lstrip("\ufeff")
            comments.append((start, end, before.strip(" \t\f") == ""))
        result.append((expected_kinds(tok), tok.type, string, start, end))
        i += 1
    return result, comments


def our_comments(output):
    comments = []
    for line in output.splitlines():
        span, where = line.split(" ")
        start, end = span.split("..")
        comments.append((int(start), int(end), where == "own-line"))
    return comments


def our_tokens(output):
    """(tokens, error lines) of parse_check's --tokens output, or (None,
    why) for a file it could not read."""
    text, failure = output
    if failure is not None:
        return None, failure
    tokens, errors = [], []
    for line in text.splitlines():
        if line.startswith("error: "):
            errors.append(line)
            continue
        kind, span = line.split(" ")
        start, end = span.split("..")
        tokens.append((kind, int(start), int(end)))
    return tokens, errors


def reduce_braces(text):
    return text.replace("{{", "{").replace("}}", "}")


def compare_files(paths):
    """compare_file of every path, with parse_check run once for them all."""
    tokens = ast_compare.tool_outputs("--tokens", paths)
    comments = ast_compare.tool_outputs("--comments", paths)
    return [compare_file(*job) for job in zip(paths, tokens, comments)]


def compare_file(path, token_output, comment_output):
    """Returns (status, tokens compared, comments compared, differences)."""
    with open(path, "rb") as file:
        data = file.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        tokens, _ = our_tokens(token_output)
        if tokens is not None:
            return "bad", 0, 0, [f"{path}: not UTF-8 but accepted"]
        return "not-utf8", 0, 0, []
    base = 0
    if text.startswith("\ufeff"):
        text, base = text[1:], 3
    try:
        expected, expected_comments = cpython_tokens(text, base)
    except (SyntaxError, tokenize.TokenError):
        tokens, errors = our_tokens(token_output)
        if tokens is None or not errors:
            return "bad", 0, 0, [f"{path}: rejected by tokenize, no error "
                                 f"from the lexer"]
        return "rejected", 0, 0, []
    ours, errors = our_tokens(token_output)
    if ours is None:
        return "bad", 0, 0, [f"{path}: parse_check failed: {errors}"]
    diffs = [f"{path}: {e}" for e in errors]
    if comment_output[1] is not None:
        return "bad", 0, 0, [f"{path}: parse_check failed: "
                             f"{comment_output[1]}"]
    comments = our_comments(comment_output[0])
    if comments != expected_comments:
        diffs.append(f"{path}: comment ranges differ: "
                     f"{set(comments) ^ set(expected_comments)}")
    for index, (exp, got) in enumerate(zip(expected, ours)):
        kinds, tok_type, string, start, end = exp
        kind, got_start, got_end = got
        got_text = data[got_start:got_end].decode("utf-8", "replace")
        ok = kind in kinds and got_start == start
        if tok_type in (tokenize.NEWLINE, tokenize.NL):
            ok = ok and got_text == string
        elif tok_type == tokenize.FSTRING_MIDDLE:
            ok = ok and got_end == end and (
                reduce_braces(got_text) == string or got_text == string)
        elif tok_type in (tokenize.DEDENT, tokenize.ENDMARKER):
            ok = ok and got_end == got_start
        else:
            ok = ok and got_end == end and got_text == string
        if not ok:
            diffs.append(
                f"{path}: token {index}: expected {sorted(kinds)[0]} "
                f"{string!r} {start}..{end}, got {kind} {got_text!r} "
                f"{got_start}..{got_end}")
            break
    else:
        if len(expected) != len(ours):
            diffs.append(f"{path}: {len(expected)} tokens expected, "
                         f"{len(ours)} lexed")
    return "compared", len(expected), len(comments), diffs


@unittest.skipUnless(PARSE_CHECK, "TRELK_PARSE_CHECK is not set")
class LexerMatchesTokenize(unittest.TestCase):
    def test_standard_library(self):
        files, counts, (tokens, comments), diffs = compare_corpus(
            compare_files, batch=BATCH)
        self.assertGreater(len(files), 1000)
        print(f"\nfiles: {len(files)} ({counts}), tokens compared: {tokens}, "
              f"comments: {comments}, differences: {len(diffs)}",
              file=sys.stderr)
        self.assertEqual(diffs, [], "\n".join(diffs[:20]))


if __name__ == "__main__":
    unittest.main()
