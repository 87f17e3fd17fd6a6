"""CPython's ast trees and this parser's tree dumps, reduced to one shape.

The parser's dump (parse_check --expression-trees / --module-tree, the same
text as the golden files) has one line "Kind start..end" per node, indented
two spaces a level. This module builds the same kind of tree from a CPython
ast, with byte offsets, and reduces both sides to the nodes they have in
common, so that two lists of lines can be compared directly.

Normalisations (what is changed or dropped before comparing, on which side):
  1. Positions: CPython's (lineno, col_offset) become byte offsets into the
     UTF-8 text (col_offset already counts UTF-8 bytes; lines end at "\\r\\n",
     "\\r" or "\\n", as CPython's tokenizer reads them).
  2. Kinds: CPython's classes are named by this parser's records (BinOp is
     ExprBinOp, Constant is ExprStringLiteral, ExprBytesLiteral,
     ExprNumberLiteral, ExprBooleanLiteral, ExprNoneLiteral or
     ExprEllipsisLiteral by its value, JoinedStr is ExprFString, a format
     specification's JoinedStr is InterpolatedStringFormatSpec, FormattedValue
     is InterpolatedStringElementInterpolation, arg is Parameter, ...).
  3. Children in this parser's field order: ExprIf is test, body, orelse; a
     dict's keys and values are interleaved (a "**" entry has no key); a
     parameter's default follows the parameter; a call's arguments are its
     positional then its keyword arguments.
  4. Nodes only this parser has are spliced out on its side (their children
     take their place): Identifier, Arguments, Parameters,
     ParameterWithDefault, Comprehension, Decorator, WithItem, MatchCase,
     PatternArguments, PatternKeyword, TypeParams, and the parts of string
     values (StringLiteral, BytesLiteral, FString, TString). Literal elements
     of f-strings (InterpolatedStringElementLiteral here, Constant inside a
     JoinedStr there) are dropped on both sides: CPython merges adjacent
     literal text across parts and gives the pieces positions of its own.
  5. Elif and else: CPython nests an `elif` as an If in the orelse; it
     becomes an ElifElseClause from `elif` to the end of its own body, and a
     plain else block an ElifElseClause from `else` to the end of the block.
  6. Decorated definitions start at their first "@" (CPython starts them at
     `def`, `async` or `class`), and "*args" and "**kwargs" parameters at
     their star (CPython starts them at the name).
  7. The root: ModModule covers the whole text; ModExpression is compared by
     kind only (CPython's Expression has no position).
  8. A generator expression that is the only argument of a call, written
     without parentheses of its own, ranges from its element to the end of
     its last clause (CPython gives it the call's parentheses).
  9. A format specification starts after its colon (CPython starts it at
     the colon).
What remains different is for each test to list as its intended
differences.
"""

import ast
import bisect
import dataclasses
import io
import os
import re
import subprocess
import tempfile
import tokenize

# Record kinds spliced out of this parser's dumps (normalisation 4).
SPLICED = frozenset({
    "Identifier", "Arguments", "Parameters", "ParameterWithDefault",
    "Comprehension", "Decorator", "WithItem", "MatchCase", "PatternArguments",
    "PatternKeyword", "TypeParams", "StringLiteral", "BytesLiteral",
    "FString", "TString",
})
# Record kinds dropped with everything below them (normalisation 4).
DROPPED = frozenset({"InterpolatedStringElementLiteral"})


@dataclasses.dataclass
class Node:
    kind: str
    start: int | None
    end: int | None
    children: list = dataclasses.field(default_factory=list)


def render(root):
    """The lines "Kind start..end" of a tree, indented two spaces a level,
    parents first. A node without a range prints its kind alone."""
    lines = []
    stack = [(root, 0)]
    while stack:
        node, depth = stack.pop()
        text = node.kind if node.start is None else (
            f"{node.kind} {node.start}..{node.end}")
        lines.append("  " * depth + text)
        stack.extend((child, depth + 1) for child in reversed(node.children))
    return lines


# ---------------------------------------------------------------------------
# This parser's side.

@dataclasses.dataclass
class Result:
    """One parse by parse_check: the dump's lines, the first error's text
    ("message at byte range s..e") or None, and the text of a broken
    invariant or None."""
    lines: list
    error: str | None
    panic: str | None


def _split_result(text):
    lines, error, panic = [], None, None
    for line in text.split("\n"):
        if not line:
            continue
        if line.startswith("error: "):
            error = line[len("error: "):]
        elif line.startswith("panic: "):
            panic = line[len("panic: "):]
        else:
            lines.append(line)
    return Result(lines, error, panic)


def parse_check_path():
    return os.environ["TRELK_PARSE_CHECK"]


def expression_trees(sources):
    """Parses every text of `sources` as one expression in a single run of
    parse_check; one Result per text, in order. REQUIRES: no text holds a NUL
    byte, and TRELK_PARSE_CHECK names the tool."""
    if not sources:
        return []
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "inputs")
        with open(path, "wb") as f:
            f.write(b"\0".join(s.encode("utf-8") for s in sources))
        out = subprocess.run([parse_check_path(), "--expression-trees", path],
                             capture_output=True, check=True).stdout
    records = out.decode("utf-8", "surrogateescape").split("\0\n")
    if records and records[-1] == "":
        records.pop()
    if len(records) != len(sources):
        raise AssertionError(
            f"parse_check printed {len(records)} trees for "
            f"{len(sources)} inputs")
    return [_split_result(r) for r in records]


def module_tree(path):
    """Parses the file at `path` as a module with parse_check."""
    out = subprocess.run([parse_check_path(), "--module-tree", path],
                         capture_output=True, check=True).stdout
    return _split_result(out.decode("utf-8", "surrogateescape"))


def module_trees(paths):
    """module_tree of every path, from one run of parse_check; a file that
    cannot be parsed to its end is a Result whose panic says why."""
    results = []
    for text, failure in tool_outputs("--module-tree", paths):
        results.append(_split_result(text) if failure is None else
                       Result([], None, failure))
    return results


def _run_alone(mode, path):
    run = subprocess.run([parse_check_path(), mode, path], capture_output=True)
    if run.returncode == 0:
        return run.stdout.decode("utf-8", "surrogateescape"), None
    stderr = run.stderr.decode("utf-8", "replace")
    if run.returncode == 1:
        return None, "unreadable: " + stderr.strip()
    return None, f"exit {run.returncode}: {stderr[-300:]}"


def tool_outputs(mode, paths):
    """parse_check's output in `mode` ("--tokens", "--strings", "--comments"
    or "--module-tree") for each path, from one run of the tool: a pair
    (text, None) per path, or (None, why) for a file that could not be read
    ("unreadable: ...") or that broke the tool. When the run breaks down,
    each file is run alone, so that the one that breaks it is named."""
    if len(paths) == 1:
        return [_run_alone(mode, paths[0])]
    run = subprocess.run([parse_check_path(), mode, *paths],
                         capture_output=True)
    records = run.stdout.decode("utf-8", "surrogateescape").split("\0\n")
    if records and records[-1] == "":
        records.pop()
    if run.returncode not in (0, 1) or len(records) != len(paths):
        return [_run_alone(mode, path) for path in paths]
    outputs = []
    for record in records:
        if record.startswith("unreadable: "):
            outputs.append((None, record.rstrip("\n")))
        elif record.startswith("panic: ") or "\npanic: " in record:
            outputs.append((None, record[record.index("panic: "):].strip()))
        else:
            outputs.append((record, None))
    return outputs


def parse_dump(lines):
    """The tree of dump lines (without error lines)."""
    root = None
    path = []  # (depth, node) from the root down
    for line in lines:
        stripped = line.lstrip(" ")
        depth = (len(line) - len(stripped)) // 2
        kind, _, span = stripped.partition(" ")
        start, _, end = span.partition("..")
        node = Node(kind, int(start), int(end))
        del path[depth:]
        if path:
            path[-1].children.append(node)
        else:
            root = node
        path.append(node)
    return root


def reduce_ours(lines):
    """This parser's dump lines, normalised (4 and 7) as lines."""
    root = parse_dump(lines)
    if root is None:
        return []
    return render(reduce_tree(root))


def reduce_tree(root):
    """This parser's tree (from parse_dump) normalised (4 and 7) in place;
    returns the root."""
    if root.kind == "ModExpression":
        root.start = root.end = None

    def reduced_children(node):
        out = []
        stack = list(reversed(node.children))
        while stack:
            child = stack.pop()
            if child.kind in DROPPED:
                continue
            if child.kind in SPLICED:
                stack.extend(reversed(child.children))
                continue
            out.append(child)
        return out

    work = [root]
    while work:
        node = work.pop()
        node.children = reduced_children(node)
        work.extend(node.children)
    return root


# ---------------------------------------------------------------------------
# CPython's side.

# A line ends at "\r\n", "\r" or "\n", as CPython's tokenizer reads it.
_LINE_END = re.compile(rb"\r\n?|\n")


class Offsets:
    """(lineno, col_offset) of CPython to byte offsets into the UTF-8 text."""

    def __init__(self, source):
        self.data = source.encode("utf-8") if isinstance(source, str) else (
            source)
        self.line_starts = [0] + [
            match.end() for match in _LINE_END.finditer(self.data)]
        self._tokens = None

    def of(self, lineno, col):
        return self.line_starts[lineno - 1] + col

    def range(self, node):
        return (self.of(node.lineno, node.col_offset),
                self.of(node.end_lineno, node.end_col_offset))

    def tokens(self):
        """(byte start, byte end, text) of every token that tokenize finds,
        comments and line ends left out, in order; computed once."""
        if self._tokens is None:
            text = self.data.decode("utf-8")
            # tokenize numbers rows by the lines readline gives.
            lines = list(io.StringIO(text))
            row_starts = [0]
            for line in lines:
                row_starts.append(row_starts[-1] + len(line.encode("utf-8")))
            rows = len(lines)
            # Columns count characters: on an ASCII line they are bytes.
            # Most files are ASCII throughout, and their offsets are summed
            # in the loop below, without a call per token.
            wide_rows = None if text.isascii() else {
                row for row, line in enumerate(lines, 1)
                if not line.isascii()}

            def offset(row, col):
                if row > rows:
                    return row_starts[row - 1]
                if wide_rows is None or row not in wide_rows:
                    return row_starts[row - 1] + col
                line = lines[row - 1]
                return row_starts[row - 1] + len(line[:col].encode("utf-8"))

            skipped = {tokenize.COMMENT, tokenize.NL, tokenize.NEWLINE,
                       tokenize.INDENT, tokenize.DEDENT, tokenize.ENDMARKER}
            found = []
            try:
                for kind, string, (row, col), (end_row, end_col), _ in (
                        tokenize.generate_tokens(io.StringIO(text).readline)):
                    if kind in skipped:
                        continue
                    if (wide_rows is None and row <= rows and
                            end_row <= rows):
                        found.append((row_starts[row - 1] + col,
                                      row_starts[end_row - 1] + end_col,
                                      string))
                    else:
                        found.append((offset(row, col),
                                      offset(end_row, end_col), string))
            except (tokenize.TokenError, SyntaxError):
                pass
            self._tokens = found
            self._token_starts = [start for start, _, _ in found]
        return self._tokens

    def last_token_before(self, offset, texts):
        """The start of the last token before `offset` whose text is in
        `texts`, or None."""
        tokens = self.tokens()
        index = bisect.bisect_left(self._token_starts, offset)
        while index > 0:
            index -= 1
            if tokens[index][2] in texts:
                return tokens[index][0]
        return None

    def inside_brackets(self, start, end):
        """(start of the token after the one at `start`, end of the token
        before the one ending at `end`), or None when no tokens start and
        end there with something between them."""
        tokens = self.tokens()
        first = bisect.bisect_left(self._token_starts, start)
        last = bisect.bisect_left(self._token_starts, end) - 1
        if (first >= last or tokens[first][0] != start or
                tokens[last][1] != end):
            return None
        return tokens[first + 1][0], tokens[last - 1][1]


_EXPR_KINDS = {
    "BoolOp": "ExprBoolOp", "NamedExpr": "ExprNamed", "BinOp": "ExprBinOp",
    "UnaryOp": "ExprUnaryOp", "Lambda": "ExprLambda", "IfExp": "ExprIf",
    "Dict": "ExprDict", "Set": "ExprSet", "ListComp": "ExprListComp",
    "SetComp": "ExprSetComp", "DictComp": "ExprDictComp",
    "GeneratorExp": "ExprGenerator", "Await": "ExprAwait",
    "Yield": "ExprYield", "YieldFrom": "ExprYieldFrom",
    "Compare": "ExprCompare", "Call": "ExprCall", "JoinedStr": "ExprFString",
    "Attribute": "ExprAttribute", "Subscript": "ExprSubscript",
    "Starred": "ExprStarred", "Name": "ExprName", "List": "ExprList",
    "Tuple": "ExprTuple", "Slice": "ExprSlice",
    "FormattedValue": "InterpolatedStringElementInterpolation",
}
_STMT_KINDS = {
    "FunctionDef": "StmtFunctionDef", "AsyncFunctionDef": "StmtFunctionDef",
    "ClassDef": "StmtClassDef", "Return": "StmtReturn",
    "Delete": "StmtDelete", "TypeAlias": "StmtTypeAlias",
    "Assign": "StmtAssign", "AugAssign": "StmtAugAssign",
    "AnnAssign": "StmtAnnAssign", "For": "StmtFor", "AsyncFor": "StmtFor",
    "While": "StmtWhile", "If": "StmtIf", "With": "StmtWith",
    "AsyncWith": "StmtWith", "Match": "StmtMatch", "Raise": "StmtRaise",
    "Try": "StmtTry", "TryStar": "StmtTry", "Assert": "StmtAssert",
    "Import": "StmtImport", "ImportFrom": "StmtImportFrom",
    "Global": "StmtGlobal", "Nonlocal": "StmtNonlocal", "Expr": "StmtExpr",
    "Pass": "StmtPass", "Break": "StmtBreak", "Continue": "StmtContinue",
    "MatchValue": "PatternMatchValue",
    "MatchSingleton": "PatternMatchSingleton",
    "MatchSequence": "PatternMatchSequence",
    "MatchMapping": "PatternMatchMapping", "MatchClass": "PatternMatchClass",
    "MatchStar": "PatternMatchStar", "MatchAs": "PatternMatchAs",
    "MatchOr": "PatternMatchOr", "TypeVar": "TypeParamTypeVar",
    "TypeVarTuple": "TypeParamTypeVarTuple", "ParamSpec": "TypeParamParamSpec",
    "ExceptHandler": "ExceptHandlerExceptHandler", "alias": "Alias",
    "keyword": "Keyword", "arg": "Parameter",
}


def _constant_kind(value):
    if isinstance(value, bool):
        return "ExprBooleanLiteral"
    if value is None:
        return "ExprNoneLiteral"
    if value is Ellipsis:
        return "ExprEllipsisLiteral"
    if isinstance(value, str):
        return "ExprStringLiteral"
    if isinstance(value, bytes):
        return "ExprBytesLiteral"
    return "ExprNumberLiteral"


class _Builder:
    def __init__(self, source):
        self.offsets = source if isinstance(source, Offsets) else Offsets(
            source)

    def node(self, kind, ast_node, children):
        start, end = self.offsets.range(ast_node)
        return Node(kind, start, end, children)

    def many(self, items):
        return [self.build(i) for i in items if i is not None]

    def parameters(self, args):
        """An `arguments` node as this parser's parameter sequence."""
        out = []
        positional = args.posonlyargs + args.args
        defaults = [None] * (len(positional) - len(args.defaults)) + list(
            args.defaults)
        for param, default in zip(positional, defaults):
            out.append(self.build(param))
            if default is not None:
                out.append(self.build(default))
        if args.vararg is not None:
            out.append(self.starred_parameter(args.vararg, {"*"}))
        for param, default in zip(args.kwonlyargs, args.kw_defaults):
            out.append(self.build(param))
            if default is not None:
                out.append(self.build(default))
        if args.kwarg is not None:
            out.append(self.starred_parameter(args.kwarg, {"**"}))
        return out

    def starred_parameter(self, param, stars):
        node = self.build(param)
        star = self.offsets.last_token_before(node.start, stars)
        if star is not None:
            node.start = star
        return node

    def decorated(self, node, built):
        if node.decorator_list:
            first = self.offsets.range(node.decorator_list[0])[0]
            at = self.offsets.last_token_before(first, {"@"})
            if at is not None:
                built.start = at
        return built

    def if_clauses(self, orelse):
        """The ElifElseClause nodes of an orelse list (normalisation 5)."""
        clauses = []
        while orelse:
            first = orelse[0]
            is_elif = (len(orelse) == 1 and isinstance(first, ast.If) and
                       self.offsets.data.startswith(
                           b"elif", self.offsets.range(first)[0]))
            if is_elif:
                body = self.many(first.body)
                start = self.offsets.range(first)[0]
                end = body[-1].end if body else self.offsets.range(first)[1]
                clauses.append(Node("ElifElseClause", start, end,
                                    [self.build(first.test)] + body))
                orelse = first.orelse
                continue
            body = self.many(orelse)
            start = self.offsets.last_token_before(body[0].start, {"else"})
            clauses.append(Node("ElifElseClause",
                                start if start is not None else body[0].start,
                                body[-1].end, body))
            break
        return clauses

    def generator_in_call(self, generator, call_end):
        """Normalisation 8, for the only argument of a call ending at
        `call_end`."""
        if generator.end != call_end:
            return
        # With parentheses of its own, `f((x for x in y))`, it ends before
        # the call does.
        inner = self.offsets.inside_brackets(generator.start, generator.end)
        if inner is not None:
            generator.start, generator.end = inner

    def fstring_values(self, values):
        return [self.build(v) for v in values
                if not isinstance(v, ast.Constant)]

    def build(self, n):
        name = type(n).__name__
        b = self.build
        many = self.many
        if isinstance(n, ast.Module):
            return Node("ModModule", 0, len(self.offsets.data), many(n.body))
        if isinstance(n, ast.Expression):
            return Node("ModExpression", None, None, [b(n.body)])
        if isinstance(n, ast.Constant):
            return self.node(_constant_kind(n.value), n, [])
        if isinstance(n, ast.JoinedStr):
            return self.node("ExprFString", n, self.fstring_values(n.values))
        if isinstance(n, ast.FormattedValue):
            children = [b(n.value)]
            if n.format_spec is not None:
                spec = self.node("InterpolatedStringFormatSpec",
                                 n.format_spec,
                                 self.fstring_values(n.format_spec.values))
                if self.offsets.data[spec.start:spec.start + 1] == b":":
                    spec.start += 1
                children.append(spec)
            return self.node(_EXPR_KINDS[name], n, children)
        if isinstance(n, ast.Dict):
            children = []
            for key, value in zip(n.keys, n.values):
                if key is not None:
                    children.append(b(key))
                children.append(b(value))
            return self.node("ExprDict", n, children)
        if isinstance(n, ast.IfExp):
            return self.node("ExprIf", n, [b(n.test), b(n.body), b(n.orelse)])
        if isinstance(n, ast.Lambda):
            return self.node("ExprLambda", n,
                             self.parameters(n.args) + [b(n.body)])
        if isinstance(n, ast.Call):
            args = many(n.args)
            if (len(args) == 1 and not n.keywords and
                    isinstance(n.args[0], ast.GeneratorExp)):
                self.generator_in_call(args[0], self.offsets.range(n)[1])
            return self.node("ExprCall", n,
                             [b(n.func)] + args + many(n.keywords))
        if isinstance(n, (ast.ListComp, ast.SetComp, ast.GeneratorExp)):
            return self.node(_EXPR_KINDS[name], n,
                             [b(n.elt)] + self.generators(n.generators))
        if isinstance(n, ast.DictComp):
            return self.node("ExprDictComp", n, [b(n.key), b(n.value)] +
                             self.generators(n.generators))
        if isinstance(n, (ast.FunctionDef, ast.AsyncFunctionDef)):
            children = (many(n.decorator_list) + many(n.type_params) +
                        self.parameters(n.args) + many([n.returns]) +
                        many(n.body))
            return self.decorated(n, self.node(_STMT_KINDS[name], n, children))
        if isinstance(n, ast.ClassDef):
            children = (many(n.decorator_list) + many(n.type_params) +
                        many(n.bases) + many(n.keywords) + many(n.body))
            return self.decorated(n, self.node("StmtClassDef", n, children))
        if isinstance(n, ast.If):
            return self.node("StmtIf", n, [b(n.test)] + many(n.body) +
                             self.if_clauses(n.orelse))
        if isinstance(n, (ast.With, ast.AsyncWith)):
            children = []
            for item in n.items:
                children += many([item.context_expr, item.optional_vars])
            return self.node("StmtWith", n, children + many(n.body))
        if isinstance(n, ast.Match):
            children = [b(n.subject)]
            for case in n.cases:
                children += many([case.pattern, case.guard]) + many(case.body)
            return self.node("StmtMatch", n, children)
        if isinstance(n, ast.MatchClass):
            return self.node("PatternMatchClass", n, [b(n.cls)] +
                             many(n.patterns) + many(n.kwd_patterns))
        if isinstance(n, ast.ExceptHandler):
            return self.node("ExceptHandlerExceptHandler", n,
                             many([n.type]) + many(n.body))
        if isinstance(n, ast.arg):
            return self.node("Parameter", n, many([n.annotation]))
        kind = _EXPR_KINDS.get(name) or _STMT_KINDS.get(name)
        if kind is None:
            raise ValueError(f"no record kind for CPython's {name}")
        return self.node(kind, n, self.fields(n))

    def generators(self, generators):
        out = []
        for g in generators:
            out += [self.build(g.target), self.build(g.iter)] + self.many(
                g.ifs)
        return out

    def fields(self, n):
        """The children of the nodes whose fields need no reordering."""
        out = []
        for field in n._fields:
            value = getattr(n, field)
            if isinstance(value, ast.AST) and not isinstance(
                    value, (ast.expr_context, ast.operator, ast.unaryop,
                            ast.cmpop, ast.boolop)):
                out.append(self.build(value))
            elif isinstance(value, list):
                out += [self.build(v) for v in value
                        if isinstance(v, ast.AST) and not isinstance(
                            v, ast.cmpop)]
        return out


def reduce_cpython(tree, source):
    """A CPython ast (of mode "exec" or "eval") of `source` (str or UTF-8
    bytes), normalised as lines."""
    return cpython_reducer(source)(tree)


def cpython_tree(tree, offsets):
    """reduce_cpython's tree itself, for `offsets` made from the source."""
    return _Builder(offsets).build(tree)


def cpython_reducer(source):
    """reduce_cpython for any number of trees or subtrees of one `source`
    (or of the Offsets made from it): the text's line starts and tokens are
    found once, not once a tree."""
    builder = _Builder(source)
    return lambda tree: render(builder.build(tree))


def first_difference(ours, theirs):
    """None when the two lists of lines are equal; otherwise a short text
    showing where they part."""
    if ours == theirs:
        return None
    index = 0
    while index < min(len(ours), len(theirs)) and ours[index] == theirs[index]:
        index += 1
    lo = max(0, index - 3)
    return ("line %d\n--- ours\n%s\n--- CPython\n%s" % (
        index, "\n".join(ours[lo:index + 3]),
        "\n".join(theirs[lo:index + 3])))
