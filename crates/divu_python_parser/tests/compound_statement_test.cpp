// Compound statements and definitions: every message with its byte range,
// the version gates with their ranges and payloads, and the decision that
// `with (` makes by parsing ahead and rewinding.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "parse_module.h"
#include "parser.h"
#include "parser_test_support.h"

namespace divu {
namespace {

using test_support::check_messages;
using test_support::error_texts;
using test_support::MessageCase;

// The module's one statement, parsed without errors.
template <class T>
const T& only_statement(const Parsed<ModModule>& parsed) {
  EXPECT_TRUE(parsed.errors().empty()) << parsed.errors().front().to_string();
  EXPECT_EQ(parsed.syntax().body.size(), 1u);
  return parsed.syntax().body.front()->as<T>();
}

TEST(CompoundStatementTest, TryMessages) {
  check_messages({
      {.source = "try:\n  pass\nexcept*:\n  pass\n",
       .errors = {"Expected one or more exception types at byte range "
                  "19..20"}},
      {.source = "try:\n  pass\nexcept as e:\n  pass\n",
       .errors = {"Expected one or more exception types at byte range "
                  "19..21"}},
      // A bare `except:` is fine; so is `except (A, B) as e:`.
      {.source = "try:\n  pass\nexcept:\n  pass\n", .errors = {}},
      {.source = "try:\n  pass\nexcept (A, B) as e:\n  pass\n", .errors = {}},
      {.source = "try:\n  pass\nexcept A, B as e:\n  pass\n",
       .errors = {"Multiple exception types must be parenthesized when using "
                  "`as` at byte range 19..23"}},
      {.source = "try:\n  pass\nexcept A as :\n  pass\n",
       .errors = {"Expected name after `as` at byte range 24..25"}},
      // The first handler decides; each one that differs is reported.
      {.source = "try:\n  pass\nexcept A:\n  pass\nexcept* B:\n  pass\n"
                 "except C:\n  pass\nexcept* D:\n  pass\n",
       .errors = {"Cannot have both 'except' and 'except*' on the same 'try' "
                  "at byte range 29..46",
                  "Cannot have both 'except' and 'except*' on the same 'try' "
                  "at byte range 64..81"}},
      // The `else` is left to the statement list, which reports its colon.
      {.source = "try:\n  pass\nfinally:\n  pass\nelse: pass\n",
       .errors = {"`else` block must come before `finally` block at byte "
                  "range 28..32",
                  "Expected a statement at byte range 32..33"}},
      {.source = "try:\n  pass\nelse:\n  pass\n",
       .errors = {"Expected `except` or `finally` after `try` block at byte "
                  "range 25..25"}},
      {.source = "try:\n  pass\nx = 1\n",
       .errors = {"Expected `except` or `finally` after `try` block at byte "
                  "range 12..13"}},
      {.source = "try:\n  pass\nfinally:\n  pass\n", .errors = {}},
      // An `else` block needs handlers even when a `finally` block follows,
      // as in Python.
      {.source = "try:\n  pass\nelse:\n  pass\nfinally:\n  pass\n",
       .errors = {"Expected `except` or `finally` after `try` block at byte "
                  "range 12..16"}},
  });
}

TEST(CompoundStatementTest, TryIsStarFollowsTheFirstHandler) {
  struct Case {
    std::string_view source;
    bool is_star;
    std::size_t handlers;
  };
  const Case cases[] = {
      {.source = "try:\n  pass\nexcept* A:\n  pass\n",
       .is_star = true,
       .handlers = 1},
      {.source = "try:\n  pass\nexcept A:\n  pass\nexcept* B:\n  pass\n",
       .is_star = false,
       .handlers = 2},
      {.source = "try:\n  pass\nexcept* A:\n  pass\nexcept B:\n  pass\n",
       .is_star = true,
       .handlers = 2},
      {.source = "try:\n  pass\nfinally:\n  pass\n",
       .is_star = false,
       .handlers = 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    const auto& stmt = parsed.syntax().body.front()->as<StmtTry>();
    EXPECT_EQ(stmt.is_star, c.is_star);
    EXPECT_EQ(stmt.handlers.size(), c.handlers);
  }
}

TEST(CompoundStatementTest, WithMessages) {
  check_messages({
      {.source = "with :\n  pass\n",
       .errors = {"Expected the start of an expression after `with` keyword "
                  "at byte range 5..6"}},
      {.source = "with a,:\n  pass\n",
       .errors = {"Trailing comma not allowed at byte range 6..7"}},
      {.source = "with a, b,:\n  pass\n",
       .errors = {"Trailing comma not allowed at byte range 9..10"}},
      // After a rewind the items are read as a parenthesized expression
      // followed by more items, where no trailing comma may stand either.
      {.source = "with (a, b), c,:\n  pass\n",
       .errors = {"Trailing comma not allowed at byte range 14..15"}},
      {.source = "with (a, b,):\n  pass\n", .errors = {}},
      {.source = "with (open(f) as g, yield x):\n  pass\n",
       .errors = {"Yield expression cannot be used here at byte range "
                  "20..27"}},
      {.source = "with (a as b, yield from x):\n  pass\n",
       .errors = {"Yield expression cannot be used here at byte range "
                  "14..26"}},
      {.source = "with (a as b, c := d):\n  pass\n",
       .errors = {"Unparenthesized named expression cannot be used here at "
                  "byte range 14..20"}},
      {.source = "with (a as b, *c):\n  pass\n",
       .errors = {"Starred expression cannot be used here at byte range "
                  "14..16"}},
      // Parenthesized, each of them is a fine context expression.
      {.source = "with (a as b, (yield x), (c := d)):\n  pass\n", .errors = {}},
      {.source = "with a as f():\n  pass\n",
       .errors = {"Invalid assignment target at byte range 10..13"}},
      {.source = "with (a as 1, b):\n  pass\n",
       .errors = {"Invalid assignment target at byte range 11..12"}},
      {.source = "with a as b\n  pass\n",
       .errors = {"Expected `:`, found newline at byte range 11..12"}},
      {.source = "with (a as b:\n  pass\n",
       .errors = {"Expected `)`, found `:` at byte range 12..13"}},
  });
}

TEST(CompoundStatementTest, LoopAndIfMessages) {
  check_messages({
      {.source = "for f() in y:\n  pass\n",
       .errors = {"Invalid assignment target at byte range 4..7"}},
      {.source = "for a, (b, 1) in y:\n  pass\n",
       .errors = {"Invalid assignment target at byte range 11..12"}},
      {.source = "for x y:\n  pass\n",
       .errors = {"Expected `in`, found name at byte range 6..7"}},
      {.source = "for x in y\n  pass\n",
       .errors = {"Expected `:`, found newline at byte range 10..11"}},
      {.source = "while x\n  pass\n",
       .errors = {"Expected `:`, found newline at byte range 7..8"}},
      {.source = "if x:\n  pass\nelif y\n  pass\n",
       .errors = {"Expected `:`, found newline at byte range 19..20"}},
      {.source = "if x:\n  pass\nelse\n  pass\n",
       .errors = {"Expected `:`, found newline at byte range 17..18"}},
  });
}

// Each block is read for its own clause, named in the error when the block
// is missing.
TEST(CompoundStatementTest, MissingBlockNamesTheClause) {
  check_messages({
      {.source = "if x:\n",
       .errors = {"Expected an indented block after `if` statement at byte "
                  "range 5..6"}},
      {.source = "if x:\n  pass\nelif y:\n",
       .errors = {"Expected an indented block after `elif` clause at byte "
                  "range 20..21"}},
      {.source = "if x:\n  pass\nelse:\n",
       .errors = {"Expected an indented block after `else` clause at byte "
                  "range 18..19"}},
      {.source = "while x:\n",
       .errors = {"Expected an indented block after `while` statement at "
                  "byte range 8..9"}},
      {.source = "while x:\n  pass\nelse:\n",
       .errors = {"Expected an indented block after `else` clause at byte "
                  "range 21..22"}},
      {.source = "for x in y:\n",
       .errors = {"Expected an indented block after `for` statement at byte "
                  "range 11..12"}},
      {.source = "async for x in y:\n",
       .errors = {"Expected an indented block after `for` statement at byte "
                  "range 17..18"}},
      {.source = "with x:\n",
       .errors = {"Expected an indented block after `with` statement at "
                  "byte range 7..8"}},
      {.source = "try:\n",
       .errors = {"Expected an indented block after `try` statement at byte "
                  "range 4..5",
                  "Expected `except` or `finally` after `try` block at byte "
                  "range 5..5"}},
      {.source = "try:\n  pass\nexcept:\n",
       .errors = {"Expected an indented block after `except` clause at byte "
                  "range 19..20"}},
      {.source = "try:\n  pass\nfinally:\n",
       .errors = {"Expected an indented block after `finally` clause at "
                  "byte range 20..21"}},
      {.source = "def f():\n",
       .errors = {"Expected an indented block after function definition at "
                  "byte range 8..9"}},
      {.source = "class C:\n",
       .errors = {"Expected an indented block after `class` definition at "
                  "byte range 8..9"}},
  });
}

TEST(DefinitionTest, Messages) {
  check_messages({
      {.source = "@dec\nx = 1\n",
       .errors = {"Expected class, function definition or async function "
                  "definition after decorator at byte range 5..6"}},
      // An `async` that does not begin `async def` is left in place.
      {.source = "@dec\nasync with x:\n  pass\n",
       .errors = {"Expected class, function definition or async function "
                  "definition after decorator at byte range 5..10"}},
      {.source = "@\ndef f():\n  pass\n",
       .errors = {"Expected an expression at byte range 1..2"}},
      {.source = "@def f():\n  pass\n",
       .errors = {"Expected an identifier at byte range 1..4"}},
      {.source = "@dec def f():\n  pass\n",
       .errors = {"Expected newline, found `def` at byte range 5..8"}},
      {.source = "def f() -> a, b:\n  pass\n",
       .errors = {"Multiple return types must be parenthesized at byte range "
                  "11..15"}},
      {.source = "def f() -> (a, b):\n  pass\n", .errors = {}},
      {.source = "def f() -> :\n  pass\n",
       .errors = {"Expected an expression at byte range 11..12"}},
      {.source = "def f()\n  pass\n",
       .errors = {"Expected `:`, found newline at byte range 7..8"}},
      {.source = "def (): pass\n",
       .errors = {"Expected an identifier at byte range 4..5"}},
      {.source = "class C[]: pass\n",
       .errors = {"Type parameter list cannot be empty at byte range 8..9"}},
      {.source = "def f[T: ](): pass\n",
       .errors = {"Expected an expression at byte range 9..10"}},
      {.source = "def f[T = ](): pass\n",
       .errors = {"Expected an expression at byte range 10..11"}},
      {.source = "def f[*Ts = ](): pass\n",
       .errors = {"Expected an expression at byte range 12..13"}},
      {.source = "def f[**P = ](): pass\n",
       .errors = {"Expected an expression at byte range 12..13"}},
      {.source = "class C[T: int = str, *Ts = *tuple[int], **P = [int]](B):"
                 " pass\n",
       .errors = {}},
      // A class's bases are no call: a lone generator needs parentheses
      // of its own, as in Python.
      {.source = "class C(x for x in y): pass\n",
       .errors = {"Unparenthesized generator expression cannot be used here "
                  "at byte range 8..20"}},
      {.source = "class C((x for x in y)): pass\n", .errors = {}},
      {.source = "class C(x for x in y, z): pass\n",
       .errors = {"Unparenthesized generator expression cannot be used here "
                  "at byte range 8..20"}},
      {.source = "class C[T(B): pass\n",
       .errors = {"Expected `]`, found `(` at byte range 9..10"}},
  });
}

TEST(DefinitionTest, DecoratedDefinitionsStartAtTheFirstAt) {
  const Parsed<ModModule> parsed =
      parse_module_with_errors("@a\n@b.c(1)\nasync def f(): pass\n");
  const auto& function = only_statement<StmtFunctionDef>(parsed);
  EXPECT_TRUE(function.is_async);
  EXPECT_EQ(function.range, TextRange(0, 30));
  ASSERT_EQ(function.decorator_list.size(), 2u);
  EXPECT_EQ(function.decorator_list[1].range, TextRange(3, 10));
  EXPECT_EQ(function.name.id, "f");
}

TEST(DefinitionTest, NothingToDecorateKeepsTheDecorators) {
  const Parsed<ModModule> parsed = parse_module_with_errors("@dec\nx = 1\n");
  ASSERT_EQ(parsed.syntax().body.size(), 2u);
  const auto& function = parsed.syntax().body[0]->as<StmtFunctionDef>();
  EXPECT_EQ(function.range, TextRange(0, 4));
  EXPECT_EQ(function.decorator_list.size(), 1u);
  EXPECT_FALSE(function.name.is_valid());
  EXPECT_EQ(function.name.range, TextRange(4, 4));
  EXPECT_EQ(function.parameters->range, TextRange(4, 4));
  EXPECT_TRUE(function.body.empty());
  EXPECT_EQ(parsed.syntax().body[1]->range, TextRange(5, 10));
}

TEST(DefinitionTest, ClassArgumentsAreAbsentWithoutParentheses) {
  {
    const Parsed<ModModule> parsed =
        parse_module_with_errors("class C: pass\n");
    EXPECT_EQ(only_statement<StmtClassDef>(parsed).arguments, nullptr);
  }
  {
    const Parsed<ModModule> parsed =
        parse_module_with_errors("class C(): pass\n");
    const StmtClassDef& cls = only_statement<StmtClassDef>(parsed);
    ASSERT_NE(cls.arguments, nullptr);
    EXPECT_EQ(cls.arguments->range, TextRange(7, 9));
  }
}

// What `with (...)` holds: the items, each shown as its context expression
// and target, "expr" or "expr as target" in source text.
struct WithCase {
  std::string_view source;
  std::vector<std::string> items;
};

std::vector<std::string> with_items(std::string_view source) {
  const Parsed<ModModule> parsed = parse_module_with_errors(source);
  const auto& stmt = only_statement<StmtWith>(parsed);
  std::vector<std::string> items;
  for (const WithItem& item : stmt.items) {
    std::string text(item.context_expr->range.slice(source));
    if (item.optional_vars != nullptr) {
      text += " as ";
      text += item.optional_vars->range.slice(source);
    }
    items.push_back(text);
  }
  return items;
}

TEST(WithStatementTest, ParenthesisOpensItemsOrAnExpression) {
  const WithCase cases[] = {
      {.source = "with (a, b): pass\n", .items = {"a", "b"}},
      {.source = "with (a, b,): pass\n", .items = {"a", "b"}},
      {.source = "with (a): pass\n", .items = {"a"}},
      {.source = "with (a,): pass\n", .items = {"a"}},
      {.source = "with (a, b) as c: pass\n", .items = {"(a, b) as c"}},
      {.source = "with (a, b), c: pass\n", .items = {"(a, b)", "c"}},
      {.source = "with (a, b).c: pass\n", .items = {"(a, b).c"}},
      {.source = "with (a as b, c): pass\n", .items = {"a as b", "c"}},
      {.source = "with (a, b as c,): pass\n", .items = {"a", "b as c"}},
      {.source = "with (yield x): pass\n", .items = {"yield x"}},
      {.source = "with (yield x) as y: pass\n", .items = {"yield x as y"}},
      {.source = "with (a := b): pass\n", .items = {"a := b"}},
      {.source = "with (a := b, c): pass\n", .items = {"(a := b, c)"}},
      {.source = "with (*a, b): pass\n", .items = {"(*a, b)"}},
      {.source = "with ((a := b)): pass\n", .items = {"a := b"}},
      {.source = "with (): pass\n", .items = {"()"}},
      {.source = "with (x for x in y): pass\n", .items = {"(x for x in y)"}},
      {.source = "with (a, b)\\\n    : pass\n", .items = {"a", "b"}},
      {.source = "with (a): (b)\n", .items = {"a"}},
      {.source = "with a as (b, c), d: pass\n", .items = {"a as (b, c)", "d"}},
  };
  for (const WithCase& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(with_items(c.source), c.items);
  }
}

TEST(WithStatementTest, ItemRangesAndTargetContext) {
  const Parsed<ModModule> parsed =
      parse_module_with_errors("with (a as b, c as (d, e)):\n  pass\n");
  const auto& stmt = only_statement<StmtWith>(parsed);
  ASSERT_EQ(stmt.items.size(), 2u);
  EXPECT_EQ(stmt.items[0].range, TextRange(6, 12));
  EXPECT_EQ(stmt.items[1].range, TextRange(14, 25));
  const auto& target = stmt.items[1].optional_vars->as<ExprTuple>();
  EXPECT_EQ(target.ctx, ExprContext::Store);
  EXPECT_EQ(target.elts[0]->as<ExprName>().ctx, ExprContext::Store);
  EXPECT_EQ(stmt.range, TextRange(0, 34));
}

// A speculative parse that is abandoned leaves nothing behind: no error, no
// gate record and no token of its own.
TEST(WithStatementTest, RewindDropsWhatTheSpeculativeParseRecorded) {
  struct Case {
    std::string_view source;
    PythonVersion target;
    std::size_t records;
  };
  const Case cases[] = {
      // The named expression is read twice, once as a speculative item; one
      // record stays.
      {.source = "with (a := b, c) as d: pass\n",
       .target = {3, 7},
       .records = 1},
      {.source = "with (yield x): pass\n", .target = {3, 7}, .records = 0},
      {.source = "with (a, b) as c: pass\n", .target = {3, 8}, .records = 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.target_version = c.target});
    parser.parse_module_body();
    EXPECT_TRUE(parser.errors().empty()) << parser.errors()[0].to_string();
    EXPECT_EQ(parser.unsupported_syntax_errors().size(), c.records);
    const TokenList& tokens = parser.token_source().tokens();
    for (std::size_t index = 1; index < tokens.size(); ++index) {
      EXPECT_LE(tokens[index - 1].range.end(), tokens[index].range.start())
          << "token " << index;
    }
  }
}

// Version gates: each record with its range and, for decorators, the text
// naming the offending part (empty for a call).
struct GateCase {
  std::string_view source;
  PythonVersion target = {3, 8};
  std::vector<std::pair<UnsupportedSyntaxKind, TextRange>> records;
  std::string_view description = {};
};

TEST(GateTest, CompoundStatementsAndDefinitions) {
  using K = UnsupportedSyntaxKind;
  const GateCase cases[] = {
      {.source = "for x in *a, *b: pass\n",
       .records = {{K::UnparenthesizedForIterableUnpacking, {9, 11}},
                   {K::UnparenthesizedForIterableUnpacking, {13, 15}}}},
      {.source = "for x in *a, *b: pass\n", .target = {3, 9}, .records = {}},
      {.source = "for x in (*a, *b): pass\n", .records = {}},
      {.source = "with (a, b): pass\n",
       .records = {{K::ParenthesizedWithItems, {5, 6}}}},
      {.source = "with (a,): pass\n",
       .records = {{K::ParenthesizedWithItems, {5, 6}}}},
      {.source = "with (a as b): pass\n", .records = {}},
      {.source = "with (a): pass\n", .records = {}},
      {.source = "with (a, b): pass\n", .target = {3, 9}, .records = {}},
      {.source = "try:\n  pass\nexcept* A:\n  pass\n",
       .records = {{K::ExceptStarClause, {18, 19}}}},
      {.source = "try:\n  pass\nexcept* A:\n  pass\n",
       .target = {3, 11},
       .records = {}},
      {.source = "try:\n  pass\nexcept A, B:\n  pass\n",
       .target = {3, 13},
       .records = {{K::UnparenthesizedExceptTypes, {19, 23}}}},
      {.source = "try:\n  pass\nexcept A, B:\n  pass\n",
       .target = {3, 14},
       .records = {}},
      {.source = "def f[T](): pass\n",
       .records = {{K::TypeParameterList, {5, 8}}}},
      {.source = "class C[T = int]: pass\n",
       .records = {{K::TypeParameterDefault, {10, 15}},
                   {K::TypeParameterList, {7, 16}}}},
      {.source = "class C[T = int]: pass\n", .target = {3, 13}, .records = {}},
      // Defaults of `*` and `**` parameters are not gated.
      {.source = "class C[*Ts = int, **P = int]: pass\n",
       .target = {3, 12},
       .records = {}},
      {.source = "@a.b.c(1)\ndef f(): pass\n", .records = {}},
      {.source = "@a\ndef f(): pass\n", .records = {}},
      {.source = "@a[0]\ndef f(): pass\n",
       .records = {{K::RelaxedDecoratorExpression, {1, 5}}},
       .description = "subscript expression"},
      {.source = "@a[0]\ndef f(): pass\n", .target = {3, 9}, .records = {}},
      {.source = "@a().b\ndef f(): pass\n",
       .records = {{K::RelaxedDecoratorExpression, {1, 4}}},
       .description = ""},
      {.source = "@a.b[1].c(2)\ndef f(): pass\n",
       .records = {{K::RelaxedDecoratorExpression, {1, 7}}},
       .description = "subscript expression"},
      {.source = "@x + y\nclass C: pass\n",
       .records = {{K::RelaxedDecoratorExpression, {1, 6}}},
       .description = "binary-operation expression"},
      {.source = "@1.5\ndef f(): pass\n",
       .records = {{K::RelaxedDecoratorExpression, {1, 4}}},
       .description = "a float literal"},
      {.source = "@(a if b else c)\ndef f(): pass\n",
       .records = {{K::RelaxedDecoratorExpression, {2, 15}}},
       .description = "conditional expression"},
      {.source = "@lambda f: f\ndef f(): pass\n",
       .records = {{K::RelaxedDecoratorExpression, {1, 12}}},
       .description = "lambda expression"},
      {.source = "@None\ndef f(): pass\n",
       .records = {{K::RelaxedDecoratorExpression, {1, 5}}},
       .description = "a `None` literal"},
  };
  for (const GateCase& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.target_version = c.target});
    parser.parse_module_body();
    EXPECT_TRUE(parser.errors().empty()) << parser.errors()[0].to_string();
    std::vector<std::pair<UnsupportedSyntaxKind, TextRange>> records;
    for (const UnsupportedSyntaxError& record :
         parser.unsupported_syntax_errors()) {
      records.emplace_back(record.kind.kind, record.range);
      if (record.kind.kind == K::RelaxedDecoratorExpression) {
        EXPECT_EQ(record.kind.description, c.description);
        // A call is the one form named by the mark instead of a text.
        EXPECT_EQ(record.kind.variant != 0, c.description.empty());
      }
    }
    EXPECT_EQ(records, c.records);
  }
}

}  // namespace
}  // namespace divu
