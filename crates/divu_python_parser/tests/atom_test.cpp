// Atoms, postfix forms, call arguments, slices, displays and comprehensions.
// Tree shapes are in the golden files (testdata/expressions_atoms); here are
// the messages with their exact ranges, the version gates, and the fields a
// dump does not show: contexts, marks, texts and literal values.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "parse_module.h"
#include "parser.h"
#include "parser_test_support.h"
#include "tree_dump.h"

namespace divu {
namespace {

using test_support::check_expression_messages;
using test_support::expression_error_texts;
using test_support::gate;
using test_support::GateCase;
using test_support::MessageCase;

using Errors = std::vector<std::string>;

TEST(AtomMessageTest, AtomsNamesAndIdentifiers) {
  check_expression_messages({
      // The missing operand is reported at `)`, which is not consumed; the
      // entry's own complaint about `)` starts there too and is dropped.
      {.source = "a + )",
       .errors = {"Expected an expression at byte range 4..5"}},
      {.source = "if",
       .errors = {"Expected an identifier, but found a keyword `if` that "
                  "cannot be used here at byte range 0..2"}},
      {.source = "x.class",
       .errors = {"Expected an identifier, but found a keyword `class` that "
                  "cannot be used here at byte range 2..7"}},
      {.source = "x.", .errors = {"Expected an identifier at byte range 2..2"}},
      {.source = "x.)",
       .errors = {"Expected an identifier at byte range 2..3"}},
      // Soft keywords are names wherever an atom or a name stands.
      {.source = "match.type.case(type)", .errors = {}},
      {.source = "x.match", .errors = {}},
      {.source = "None.x, True[0], ...()", .errors = {}},
  });
}

TEST(AtomMessageTest, Subscripts) {
  check_expression_messages({
      {.source = "x[]",
       .errors = {"Expected index or slice expression at byte range 2..3"}},
      {.source = "x[a:=1:2]",
       .errors = {"Unparenthesized named expression cannot be used here at "
                  "byte range 2..6"}},
      {.source = "x[(a:=1):2]", .errors = {}},
      {.source = "x[a:=1]", .errors = {}},
      {.source = "x[*a:2]",
       .errors = {"Starred expression cannot be used here at byte range "
                  "2..4"}},
      {.source = "x[*a, *b]", .errors = {}},
      {.source = "x[a:b:c, ::, :]", .errors = {}},
      {.source = "x[a b]",
       .errors = {"Expected `:`, found name at byte range 4..5"}},
      {.source = "x[a, b c]",
       .errors = {"Expected `:`, found name at byte range 7..8"}},
      {.source = "x[1:2)",
       .errors = {"Expected `]`, found `)` at byte range 5..6"}},
      // An upper bound is a conditional expression: no starred form.
      {.source = "x[:*a]",
       .errors = {"Starred expression cannot be used here at byte range "
                  "3..5"}},
  });
}

TEST(AtomMessageTest, ArgumentOrder) {
  check_expression_messages({
      {.source = "f(a, *b, c=1, **d)", .errors = {}},
      {.source = "f(c=1, *b)", .errors = {}},
      {.source = "f(c=1, a)",
       .errors = {"Positional argument cannot follow keyword argument at "
                  "byte range 7..8"}},
      {.source = "f(**d, a)",
       .errors = {"Positional argument cannot follow keyword argument "
                  "unpacking at byte range 7..8"}},
      {.source = "f(**d, *b)",
       .errors = {"Iterable argument unpacking cannot follow keyword "
                  "argument unpacking at byte range 7..9"}},
      // A parenthesized starred argument is reported where it stands, and
      // the ordering error at the same start is dropped.
      {.source = "f(**d, (*b))",
       .errors = {"Starred expression cannot be used here at byte range "
                  "8..10"}},
      {.source = "f(**d, (b))",
       .errors = {"Positional argument cannot follow keyword argument "
                  "unpacking at byte range 8..9"}},
      {.source = "f(a=1, **d, b=2)", .errors = {}},
      {.source = "f(a.b=1)",
       .errors = {"Expected a parameter name at byte range 2..5"}},
      {.source = "f(1=1)",
       .errors = {"Expected a parameter name at byte range 2..3"}},
      {.source = "f((a)=1)", .errors = {}},
      {.source = "f(a b)",
       .errors = {"Expected `,`, found name at byte range 4..5"}},
      // A token that neither continues nor ends the list is skipped with
      // the missing comma reported; the closing `)` is then missing at the
      // same place as the next complaint, and dropped.
      {.source = "f(a]",
       .errors = {"Expected `,`, found `]` at byte range 3..4",
                  "Expected `,`, found newline at byte range 4..4"}},
      {.source = "f(yield)",
       .errors = {"Yield expression cannot be used here at byte range "
                  "2..7"}},
      // A star applies to a plain operand only.
      {.source = "f(* *a)",
       .errors = {"Starred expression cannot be used here at byte range "
                  "4..6"}},
      {.source = "f(*(*a,))", .errors = {}},
  });
}

TEST(AtomMessageTest, DuplicateKeywords) {
  check_expression_messages({
      {.source = "f(a=1, a=2, a=3)",
       .errors = {"Duplicate keyword argument \"a\" at byte range 7..10",
                  "Duplicate keyword argument \"a\" at byte range 12..15"}},
      {.source = "f(a=1, **a, b=2, a=3)",
       .errors = {"Duplicate keyword argument \"a\" at byte range 17..20"}},
      {.source = "f(a=1, b=2)", .errors = {}},
  });
}

TEST(AtomMessageTest, DuplicatesAmongManyKeywordsInSourceOrder) {
  // Enough keywords to take the sorted scan: repeats of two names, each
  // reported at its own keyword, in the order they stand.
  std::string source = "f(";
  std::vector<std::string> expected;
  for (int index = 0; index < 40; ++index) {
    const int name = index % 20 == 7 ? 3 : index % 20 == 11 ? 0 : index;
    const std::string keyword = "k" + std::to_string(name) + "=1";
    if (index > 0) {
      source += ", ";
    }
    const std::size_t start = source.size();
    source += keyword;
    if (index == 7 || index == 11 || index == 27 || index == 31) {
      expected.push_back("Duplicate keyword argument \"k" +
                         std::to_string(name) + "\" at byte range " +
                         std::to_string(start) + ".." +
                         std::to_string(source.size()));
    }
  }
  source += ")";
  SCOPED_TRACE(source);
  EXPECT_EQ(expression_error_texts(source), expected);
}

TEST(AtomMessageTest, GeneratorArguments) {
  check_expression_messages({
      {.source = "f(x for x in y)", .errors = {}},
      {.source = "f((x for x in y), 1)", .errors = {}},
      {.source = "f(x for x in y, 1)",
       .errors = {"Unparenthesized generator expression cannot be used here "
                  "at byte range 2..14"}},
      {.source = "f(x for x in y,)",
       .errors = {"Unparenthesized generator expression cannot be used here "
                  "at byte range 2..14"}},
      {.source = "f(1, x for x in y)",
       .errors = {"Unparenthesized generator expression cannot be used here "
                  "at byte range 5..17"}},
      {.source = "f(x for x in y, *z, x for x in y)",
       .errors = {"Unparenthesized generator expression cannot be used here "
                  "at byte range 2..14",
                  "Unparenthesized generator expression cannot be used here "
                  "at byte range 20..32"}},
      {.source = "f(a=1, x for x in y)",
       .errors = {"Positional argument cannot follow keyword argument at "
                  "byte range 7..19"}},
      {.source = "f(*x for x in y)",
       .errors = {"Iterable unpacking cannot be used in a comprehension at "
                  "byte range 2..4"}},
  });
}

TEST(AtomMessageTest, DisplaysAndComprehensions) {
  check_expression_messages({
      {.source = "[*a for a in b]",
       .errors = {"Iterable unpacking cannot be used in a comprehension at "
                  "byte range 1..3"}},
      {.source = "{*a for a in b}",
       .errors = {"Iterable unpacking cannot be used in a comprehension at "
                  "byte range 1..3"}},
      {.source = "(*a for a in b)",
       .errors = {"Iterable unpacking cannot be used in a comprehension at "
                  "byte range 1..3"}},
      {.source = "[(*a) for a in b]",
       .errors = {"Starred expression cannot be used here at byte range "
                  "2..4"}},
      {.source = "(*a)",
       .errors = {"Starred expression cannot be used here at byte range "
                  "1..3"}},
      {.source = "(*a,)", .errors = {}},
      {.source = "a[* *b]",
       .errors = {"Starred expression cannot be used here at byte range "
                  "4..6"}},
      {.source = "(yield)", .errors = {}},
      {.source = "(yield) < x", .errors = {}},
      // A bare yield followed by an operator would be its operand.
      {.source = "(yield @t)",
       .errors = {"Yield expression cannot be used here at byte range "
                  "1..6"}},
      {.source = "(yield < x)",
       .errors = {"Yield expression cannot be used here at byte range "
                  "1..6"}},
      {.source = "(yield if x else y)",
       .errors = {"Yield expression cannot be used here at byte range "
                  "1..6"}},
      {.source = "(yield -x)", .errors = {}},
      {.source = "{*a: 1}",
       .errors = {"Starred expression cannot be used here at byte range "
                  "1..3"}},
      {.source = "{a := 1: 2}",
       .errors = {"Unparenthesized named expression cannot be used here at "
                  "byte range 1..7"}},
      {.source = "{(a := 1): 2, **b}", .errors = {}},
      {.source = "{a: 1, *b: 2}",
       .errors = {"Starred expression cannot be used here at byte range "
                  "7..9"}},
      {.source = "{a: 1 b: 2}",
       .errors = {"Expected `,`, found name at byte range 6..7"}},
      {.source = "{a: 1, b}",
       .errors = {"Expected `:`, found `}` at byte range 8..9"}},
      {.source = "[a b]",
       .errors = {"Expected `,`, found name at byte range 3..4"}},
      {.source = "{a b}",
       .errors = {"Expected `,`, found name at byte range 3..4"}},
      {.source = "(a b)",
       .errors = {"Expected `)`, found name at byte range 3..4"}},
      {.source = "[x for x a]",
       .errors = {"Expected `in`, found name at byte range 9..10"}},
      {.source = "[x async x in a]",
       .errors = {"Expected `for`, found name at byte range 9..10"}},
      {.source = "[x for x in a if b if c]", .errors = {}},
      {.source = "[x async for x in a for y in x if y]", .errors = {}},
      {.source = "[x for x in a if b else c]",
       .errors = {"Expected `]`, found `else` at byte range 19..23"}},
      // The iterable is read at the operator level: no bare lambda.
      {.source = "[x for x in lambda: y]",
       .errors = {"Lambda expression cannot be used here at byte range "
                  "12..21"}},
      {.source = "[x for 1 in y]",
       .errors = {"Invalid assignment target at byte range 7..8"}},
      {.source = "[x for a, *b in y]", .errors = {}},
  });
}

TEST(AtomMessageTest, UnclosedBracketHintsAtTheLineEnd) {
  // A bracket opened last in an interpolation is followed by the line end.
  // The lexer's error at the same offset wins the merge, so the hints are
  // looked for among the parser's own errors.
  struct Case {
    std::string_view source;
    std::string_view hint;
  };
  constexpr Case kCases[] = {
      {.source = "f'{[",
       .hint = "missing closing bracket `]` at byte range 4..4"},
      {.source = "f'{(",
       .hint = "missing closing parenthesis `)` at byte range 4..4"},
      {.source = "f'{ {",
       .hint = "missing closing brace `}` at byte range 5..5"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.mode = Mode::Expression});
    parser.parse_expression_body();
    Errors texts;
    for (const ParseError& error : parser.errors()) {
      texts.push_back(error.to_string());
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), c.hint), texts.end())
        << testing::PrintToString(texts);
  }
  // Anything else after the bracket, the end-of-file token included, gives
  // no hint.
  check_expression_messages({
      {.source = "[",
       .errors = {"unexpected EOF while parsing at byte range 1..1"}},
  });
}

// ---------------------------------------------------------------------------
// Version gates.

TEST(AtomGateTest, RecordsAtTheirRanges) {
  constexpr PythonVersion k37{3, 7};
  constexpr PythonVersion k38{3, 8};
  constexpr PythonVersion k310{3, 10};
  using K = UnsupportedSyntaxKind;
  const auto named = [](UnparenthesizedNamedExpressionKind where) {
    return static_cast<std::uint8_t>(where);
  };
  const std::vector<GateCase> cases = {
      {.source = "x[*a]",
       .target = k310,
       .gates = {gate(K::StarredSubscriptIndex, TextRange(2, 4), k310)}},
      {.source = "x[a, *b, *c]",
       .target = k310,
       .gates = {gate(K::StarredSubscriptIndex, TextRange(5, 7), k310),
                 gate(K::StarredSubscriptIndex, TextRange(9, 11), k310)}},
      {.source = "x[*a]", .target = {3, 11}, .gates = {}},
      {.source = "x[(*a, b)]", .target = k310, .gates = {}},
      {.source = "x[a:=1]", .target = k310, .gates = {}},
      {.source = "x[a:=1, b]",
       .target = k38,
       .gates = {gate(
           K::UnparenthesizedNamedExpression, TextRange(2, 6), k38,
           named(UnparenthesizedNamedExpressionKind::SubscriptIndex))}},
      {.source = "x[(a:=1)]", .target = k38, .gates = {}},
      {.source = "{a := 1, (b := 2), c := 3}",
       .target = k38,
       .gates = {gate(K::UnparenthesizedNamedExpression, TextRange(1, 7), k38,
                      named(UnparenthesizedNamedExpressionKind::SetLiteral)),
                 gate(K::UnparenthesizedNamedExpression, TextRange(19, 25), k38,
                      named(UnparenthesizedNamedExpressionKind::SetLiteral))}},
      {.source = "{a := 1 for a in b}",
       .target = k38,
       .gates = {gate(
           K::UnparenthesizedNamedExpression, TextRange(1, 7), k38,
           named(UnparenthesizedNamedExpressionKind::SetComprehension))}},
      {.source = "{a := 1}", .target = {3, 9}, .gates = {}},
      {.source = "f((a)=1)",
       .target = k310,
       .gates = {gate(K::ParenthesizedKeywordName, TextRange(3, 4), k310)}},
      {.source = "f((a)=1)", .target = k37, .gates = {}},
      {.source = "f(a=1)", .target = k310, .gates = {}},
  };
  for (const GateCase& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.mode = Mode::Expression,
                                         .target_version = c.target});
    parser.parse_expression_body();
    EXPECT_EQ(parser.errors().size(), 0u);
    EXPECT_EQ(parser.unsupported_syntax_errors(), c.gates);
  }
}

// ---------------------------------------------------------------------------
// Fields a dump does not show.

// Parses one expression, expecting no error, and keeps it alive.
class ParsedBody {
 public:
  explicit ParsedBody(std::string_view source)
      : parsed_(parse_expression(source)) {
    for (const ParseError& error : parsed_.errors()) {
      ADD_FAILURE() << source << ": " << error.to_string();
    }
  }
  const Expr& body() const { return *parsed_.syntax().body; }

 private:
  Parsed<ModExpression> parsed_;
};

TEST(AtomFieldTest, ComprehensionTargetsAreStoresAndSubscriptValuesLoads) {
  ParsedBody parsed("[a for b, [*c, d.e] in f if g]");
  const auto& comp = parsed.body().as<ExprListComp>();
  ASSERT_EQ(comp.generators.size(), 1u);
  const Comprehension& clause = comp.generators[0];
  EXPECT_FALSE(clause.is_async);
  const auto& target = clause.target->as<ExprTuple>();
  EXPECT_EQ(target.ctx, ExprContext::Store);
  EXPECT_FALSE(target.parenthesized);
  EXPECT_EQ(target.elts[0]->as<ExprName>().ctx, ExprContext::Store);
  const auto& inner = target.elts[1]->as<ExprList>();
  EXPECT_EQ(inner.ctx, ExprContext::Store);
  EXPECT_EQ(inner.elts[0]->as<ExprStarred>().ctx, ExprContext::Store);
  EXPECT_EQ(inner.elts[0]->as<ExprStarred>().value->as<ExprName>().ctx,
            ExprContext::Store);
  const auto& attribute = inner.elts[1]->as<ExprAttribute>();
  EXPECT_EQ(attribute.ctx, ExprContext::Store);
  // Only the target itself is stored into: the value it reads is loaded.
  EXPECT_EQ(attribute.value->as<ExprName>().ctx, ExprContext::Load);
  EXPECT_EQ(clause.iter->as<ExprName>().ctx, ExprContext::Load);
  EXPECT_EQ(comp.elt->as<ExprName>().ctx, ExprContext::Load);

  ParsedBody async_clause("(x async for x in y)");
  const auto& generator = async_clause.body().as<ExprGenerator>();
  EXPECT_TRUE(generator.parenthesized);
  EXPECT_TRUE(generator.generators[0].is_async);
}

TEST(AtomFieldTest, ParenthesizedMarksAndTupleFlags) {
  ParsedBody empty("()");
  EXPECT_TRUE(empty.body().as<ExprTuple>().parenthesized);
  EXPECT_TRUE(empty.body().as<ExprTuple>().elts.empty());

  ParsedBody one("(a,)");
  EXPECT_TRUE(one.body().as<ExprTuple>().parenthesized);
  EXPECT_EQ(one.body().as<ExprTuple>().elts.size(), 1u);

  ParsedBody slice("x[a, b]");
  const auto& index = slice.body().as<ExprSubscript>().slice->as<ExprTuple>();
  EXPECT_FALSE(index.parenthesized);
  EXPECT_EQ(index.ctx, ExprContext::Load);

  ParsedBody argument("f(x for x in y)");
  const auto& call = argument.body().as<ExprCall>();
  EXPECT_FALSE(call.arguments.args[0]->as<ExprGenerator>().parenthesized);

  // The parenthesized form gives back the inner expression, marked, with
  // its own range; the parentheses belong to nothing.
  Parser parser("(a)", ParseOptions{.mode = Mode::Expression});
  const ParsedExpr inner = parser.parse_atom(0);
  EXPECT_TRUE(inner.is_parenthesized);
  EXPECT_EQ(inner.expr->range, TextRange(1, 2));
  // Postfix forms keep the mark of their atom.
  Parser postfix("(a).b[0]()", ParseOptions{.mode = Mode::Expression});
  const ParsedExpr chain = postfix.parse_atom_and_postfix(0, {});
  EXPECT_TRUE(chain.is_parenthesized);
  EXPECT_EQ(chain.expr->range, TextRange(0, 10));
  Parser list("[a]", ParseOptions{.mode = Mode::Expression});
  EXPECT_FALSE(list.parse_atom(0).is_parenthesized);
}

TEST(AtomFieldTest, NamesKeepTheirTextAndMissingOnesAreInvalid) {
  ParsedBody soft("type(match)");
  const auto& call = soft.body().as<ExprCall>();
  EXPECT_EQ(call.func->as<ExprName>().id, "type");
  EXPECT_EQ(call.arguments.args[0]->as<ExprName>().id, "match");
  // The soft keywords read as names are listed as Name tokens.
  Parsed<ModExpression> tokens = parse_expression("type(match)");
  EXPECT_EQ(tokens.tokens()[0].kind, TokenKind::Name);
  EXPECT_EQ(tokens.tokens()[2].kind, TokenKind::Name);

  // A hard keyword is reported, read with its text, and keeps its kind.
  Parsed<ModExpression> keyword = parse_expression("x.class");
  const auto& attribute = keyword.syntax().body->as<ExprAttribute>();
  EXPECT_EQ(attribute.attr.id, "class");
  EXPECT_TRUE(attribute.attr.is_valid());
  EXPECT_EQ(keyword.tokens()[2].kind, TokenKind::Class);
  Parsed<ModExpression> bare = parse_expression("if");
  EXPECT_EQ(bare.syntax().body->as<ExprName>().id, "if");
  EXPECT_EQ(bare.syntax().body->as<ExprName>().ctx, ExprContext::Load);

  Parsed<ModExpression> missing = parse_expression("x.");
  const auto& empty = missing.syntax().body->as<ExprAttribute>().attr;
  EXPECT_FALSE(empty.is_valid());
  EXPECT_EQ(empty.range, TextRange(2, 2));

  Parsed<ModExpression> nothing = parse_expression("f(a, )[)");
  const auto& subscript = nothing.syntax().body->as<ExprSubscript>();
  // `[)`: no lower bound, and an upper bound that was required but
  // missing stands in as the placeholder name.
  const auto& placeholder = subscript.slice->as<ExprSlice>();
  EXPECT_EQ(placeholder.lower, nullptr);
  EXPECT_EQ(placeholder.upper->as<ExprName>().ctx, ExprContext::Invalid);
  EXPECT_EQ(placeholder.step, nullptr);

  Parsed<ModExpression> empty_slice = parse_expression("x[]");
  const auto& name =
      empty_slice.syntax().body->as<ExprSubscript>().slice->as<ExprName>();
  EXPECT_EQ(name.ctx, ExprContext::Invalid);
  EXPECT_TRUE(name.id.empty());
  EXPECT_EQ(name.range, TextRange(2, 3));

  // An identifier normalised by the lexer keeps its normalised text.
  ParsedBody normalised("\xef\xac\x81x.\xe2\x84\x8c");  // "ﬁx.ℌ"
  const auto& ligature = normalised.body().as<ExprAttribute>();
  EXPECT_EQ(ligature.value->as<ExprName>().id, "fix");
  EXPECT_EQ(ligature.attr.id, "H");
}

TEST(AtomFieldTest, KeywordArgumentsAndTheirNames) {
  ParsedBody parsed("f(a, *b, c=1, (d)=2, **e)");
  const Arguments& arguments = parsed.body().as<ExprCall>().arguments;
  ASSERT_EQ(arguments.args.size(), 2u);
  ASSERT_EQ(arguments.keywords.size(), 3u);
  EXPECT_EQ(arguments.range, TextRange(1, 25));
  EXPECT_EQ(arguments.keywords[0].arg->id, "c");
  EXPECT_EQ(arguments.keywords[0].arg->range, TextRange(9, 10));
  EXPECT_EQ(arguments.keywords[1].arg->id, "d");
  EXPECT_EQ(arguments.keywords[1].arg->range, TextRange(15, 16));
  EXPECT_EQ(arguments.keywords[1].range, TextRange(14, 19));
  EXPECT_EQ(arguments.keywords[2].arg, nullptr);
  EXPECT_EQ(arguments.keywords[2].range, TextRange(21, 24));

  Parsed<ModExpression> bad = parse_expression("f(a.b=1)");
  const Keyword& keyword =
      bad.syntax().body->as<ExprCall>().arguments.keywords[0];
  ASSERT_NE(keyword.arg, nullptr);
  EXPECT_FALSE(keyword.arg->is_valid());
  EXPECT_EQ(keyword.arg->range, TextRange(2, 5));
}

TEST(AtomFieldTest, LiteralValues) {
  ParsedBody parsed(
      "[True, False, 0x_ff, 1_000_000_000_000_000_000_000, 1.5e3, 2j, "
      "18446744073709551616]");
  const auto& elts = parsed.body().as<ExprList>().elts;
  ASSERT_EQ(elts.size(), 7u);
  EXPECT_TRUE(elts[0]->as<ExprBooleanLiteral>().value);
  EXPECT_FALSE(elts[1]->as<ExprBooleanLiteral>().value);
  const NumberLiteralValue& hex = elts[2]->as<ExprNumberLiteral>().value;
  ASSERT_NE(hex.as_int(), nullptr);
  EXPECT_EQ(hex.as_int()->small_value(), 255u);
  // A big decimal with underscores has text of its own: it outlives the
  // token value it came in.
  const NumberLiteralValue& big = elts[3]->as<ExprNumberLiteral>().value;
  ASSERT_NE(big.as_int(), nullptr);
  ASSERT_TRUE(big.as_int()->is_big());
  EXPECT_EQ(big.as_int()->big_text(), "1000000000000000000000");
  EXPECT_EQ(*elts[4]->as<ExprNumberLiteral>().value.as_float(), 1500.0);
  const auto* complex = elts[5]->as<ExprNumberLiteral>().value.as_complex();
  ASSERT_NE(complex, nullptr);
  EXPECT_EQ(complex->real, 0.0);
  EXPECT_EQ(complex->imag, 2.0);
  const NumberLiteralValue& past = elts[6]->as<ExprNumberLiteral>().value;
  ASSERT_TRUE(past.as_int()->is_big());
  EXPECT_EQ(past.as_int()->big_text(), "18446744073709551616");
}

TEST(AtomFieldTest, EscapeCommandsAreValuesInIpythonModeOnly) {
  struct Case {
    Mode mode;
    std::string_view source;
    IpyEscapeKind kind;
    std::string_view value;
    Errors errors;
  };
  const std::vector<Case> cases = {
      {.mode = Mode::Ipython,
       .source = "x = !ls -l\n",
       .kind = IpyEscapeKind::Shell,
       .value = "ls -l",
       .errors = {}},
      {.mode = Mode::Ipython,
       .source = "x = %time f()\n",
       .kind = IpyEscapeKind::Magic,
       .value = "time f()",
       .errors = {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.mode = c.mode});
    const ModModule* module = parser.parse_module_body();
    ASSERT_EQ(module->body.size(), 1u);
    const auto& command =
        module->body[0]->as<StmtAssign>().value->as<ExprIpyEscapeCommand>();
    EXPECT_EQ(command.kind, c.kind);
    EXPECT_EQ(command.value, c.value);
    EXPECT_EQ(command.range,
              TextRange(4, static_cast<TextSize>(c.source.size() - 1)));
    auto [tokens, errors] = std::move(parser).finish();
    Errors texts;
    for (const ParseError& error : errors) {
      texts.push_back(error.to_string());
    }
    EXPECT_EQ(texts, c.errors);
  }
}

// A missing operand's placeholder sits at the end of the token before it;
// where that token is followed by space, the node that begins with the
// missing operand still holds it (found by the expression fuzzer).
TEST(AtomFieldTest, NodesHoldTheirMissingFirstOperands) {
  struct Case {
    std::string_view source;
    std::string_view dump;
  };
  constexpr Case kCases[] = {
      {.source = "not .b",
       .dump = "ModExpression 0..6\n"
               "  ExprUnaryOp 0..6\n"
               "    ExprAttribute 3..6\n"
               "      ExprName 3..3\n"
               "      Identifier 5..6\n"},
      {.source = "x[ **a:]",
       .dump = "ModExpression 0..8\n"
               "  ExprSubscript 0..8\n"
               "    ExprName 0..1\n"
               "    ExprSlice 2..7\n"
               "      ExprBinOp 2..6\n"
               "        ExprName 2..2\n"
               "        ExprName 5..6\n"},
      {.source = "x[ **a, b]",
       .dump = "ModExpression 0..10\n"
               "  ExprSubscript 0..10\n"
               "    ExprName 0..1\n"
               "    ExprTuple 2..9\n"
               "      ExprBinOp 2..6\n"
               "        ExprName 2..2\n"
               "        ExprName 5..6\n"
               "      ExprName 8..9\n"},
      {.source = "[x for //x, y in z]",
       .dump = "ModExpression 0..19\n"
               "  ExprListComp 0..19\n"
               "    ExprName 1..2\n"
               "    Comprehension 3..18\n"
               "      ExprTuple 6..13\n"
               "        ExprBinOp 6..10\n"
               "          ExprName 6..6\n"
               "          ExprName 9..10\n"
               "        ExprName 12..13\n"
               "      ExprName 17..18\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    Parsed<ModExpression> parsed = parse_expression(c.source);
    EXPECT_FALSE(parsed.errors().empty());
    EXPECT_EQ(dump_tree(parsed.syntax()), c.dump);
  }
}

// ---------------------------------------------------------------------------
// Postfix chains are loops, not nesting: no length reaches the bound.

TEST(PostfixChainTest, LongChainsAreNotBoundedByTheNesting) {
  constexpr int kLinks = 20000;
  std::string source = "a";
  for (int index = 0; index < kLinks; ++index) {
    source += index % 3 == 0 ? ".b" : index % 3 == 1 ? "(c)" : "[d]";
  }
  Parsed<ModExpression> parsed = parse_expression(source);
  EXPECT_TRUE(parsed.errors().empty()) << parsed.errors().front().to_string();
  const Expr* expr = parsed.syntax().body;
  int links = 0;
  while (true) {
    EXPECT_EQ(expr->range.start(), 0u);
    if (const auto* attribute = expr->dyn_cast<ExprAttribute>()) {
      expr = attribute->value;
    } else if (const auto* call = expr->dyn_cast<ExprCall>()) {
      expr = call->func;
    } else if (const auto* subscript = expr->dyn_cast<ExprSubscript>()) {
      expr = subscript->value;
    } else {
      break;
    }
    ++links;
  }
  EXPECT_EQ(links, kLinks);
  EXPECT_EQ(parsed.syntax().body->range.end(), source.size());
}

}  // namespace
}  // namespace divu
