// Statements: the dispatch, the `async` prefix, what may follow a simple
// statement on its line, blocks, every simple statement's messages with
// their byte ranges, the fields the dumps do not show (names, contexts,
// levels, operators), the version gates, IPython escapes, and what the
// parse entry returns.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "parse_module.h"
#include "parser.h"
#include "parser_test_support.h"

namespace divu {
namespace {

using test_support::check_messages;
using test_support::error_texts;
using test_support::MessageCase;

// The kinds and ranges of the module's top-level statements.
std::vector<std::string> top_level(const Parsed<ModModule>& parsed) {
  std::vector<std::string> statements;
  for (const Stmt* stmt : parsed.syntax().body) {
    statements.push_back(std::string(node_kind_name(stmt->kind())) + " " +
                         stmt->range.to_string());
  }
  return statements;
}

// The module's one statement, parsed without errors.
template <class T>
const T& only_statement(const Parsed<ModModule>& parsed) {
  EXPECT_TRUE(parsed.errors().empty()) << parsed.errors().front().to_string();
  EXPECT_EQ(parsed.syntax().body.size(), 1u);
  return parsed.syntax().body.front()->as<T>();
}

std::string_view name_of(const Expr* expr) {
  return expr->as<ExprName>().id.as_str();
}

TEST(StatementTest, BlockMessages) {
  check_messages({
      // At the end of the file the current token is empty: the header's
      // line end is blamed.
      {.source = "if x:\n",
       .errors = {"Expected an indented block after `if` statement at byte "
                  "range 5..6"}},
      {.source = "if x:\npass\n",
       .errors = {"Expected an indented block after `if` statement at byte "
                  "range 6..10"}},
      // A Dedent is empty too.
      {.source = "def f():\n  while x:\ny\n",
       .errors = {"Expected an indented block after `while` statement at "
                  "byte range 19..20"}},
      {.source = "class C:\n",
       .errors = {"Expected an indented block after `class` definition at "
                  "byte range 8..9"}},
      {.source = "def f():\nx\n",
       .errors = {"Expected an indented block after function definition at "
                  "byte range 9..10"}},
      {.source = "if x: a b\n",
       .errors = {"Simple statements must be separated by newlines or "
                  "semicolons at byte range 8..9"}},
      {.source = "if x: pass; for y in z: pass\n",
       .errors = {"Compound statements are not allowed on the same line as "
                  "simple statements at byte range 12..15"}},
      {.source = "if x: pass )\n",
       .errors = {"Expected newline, found `)` at byte range 11..12",
                  "Expected a statement at byte range 12..13"}},
      {.source = "if x: if y: pass\n",
       .errors = {"Expected a simple statement at byte range 6..8"}},
      {.source = "  x = 1\n",
       .errors = {"Unexpected indentation at byte range 0..2",
                  "Expected a statement at byte range 8..8"}},
  });
}

TEST(StatementTest, SameLineRules) {
  check_messages({
      {.source = "x = 1; if y: pass\n",
       .errors = {"Compound statements are not allowed on the same line as "
                  "simple statements at byte range 7..9"}},
      {.source = "a b\n",
       .errors = {"Simple statements must be separated by newlines or "
                  "semicolons at byte range 2..3"}},
      {.source = "a class\n",
       .errors = {"Compound statements are not allowed on the same line as "
                  "simple statements at byte range 2..7",
                  "Expected an identifier at byte range 7..8"}},
      {.source = "a; @d\ndef f(): pass\n",
       .errors = {"Compound statements are not allowed on the same line as "
                  "simple statements at byte range 3..4"}},
      {.source = "a = b c\n",
       .errors = {"Simple statements must be separated by newlines or "
                  "semicolons at byte range 6..7"}},
      {.source = "a; b\n", .errors = {}},
      {.source = "a;\n", .errors = {}},
      // A `match` after `;` is a compound statement only where a match
      // statement starts, as Python reads it.
      {.source = "a; match = 1\n", .errors = {}},
      {.source = "a; match(x)\n", .errors = {}},
      {.source = "x = 1; match.group(1)\n", .errors = {}},
      {.source = "a; match[x]: int\n", .errors = {}},
      {.source = "a; match x:\n    case 1: pass\n",
       .errors = {"Compound statements are not allowed on the same line as "
                  "simple statements at byte range 3..8"}},
      {.source = "a; match (x):\n    case 1: pass\n",
       .errors = {"Compound statements are not allowed on the same line as "
                  "simple statements at byte range 3..8"}},
      {.source = "if x: a; match = 1\n", .errors = {}},
  });
}

TEST(StatementTest, StatementsOfALine) {
  struct Case {
    std::string_view source;
    std::vector<std::string> statements;
  };
  const Case cases[] = {
      {.source = "a; b\n", .statements = {"StmtExpr 0..1", "StmtExpr 3..4"}},
      {.source = "a;\n", .statements = {"StmtExpr 0..1"}},
      {.source = "a; match = 1\n",
       .statements = {"StmtExpr 0..1", "StmtAssign 3..12"}},
      {.source = "x = 1; match.group(1)\n",
       .statements = {"StmtAssign 0..5", "StmtExpr 7..21"}},
      {.source = "a; match x:\n    case 1: pass\n",
       .statements = {"StmtExpr 0..1", "StmtMatch 3..28"}},
      {.source = "x = 1; if y: pass\n",
       .statements = {"StmtAssign 0..5", "StmtIf 7..17"}},
      {.source = "if x: pass; for y in z: pass\n",
       .statements = {"StmtIf 0..10", "StmtFor 12..28"}},
      {.source = "if x: if y: pass\n",
       .statements = {"StmtIf 0..5", "StmtIf 6..16"}},
      {.source = "if x:\npass\n",
       .statements = {"StmtIf 0..5", "StmtPass 6..10"}},
      // The mended bare raise: `;` ends it.
      {.source = "raise; x = 1\n",
       .statements = {"StmtRaise 0..5", "StmtAssign 7..12"}},
      {.source = "match(x)\nmatch = 3\nmatch.x\nmatch[x]\n",
       .statements = {"StmtExpr 0..8", "StmtAssign 9..18", "StmtExpr 19..26",
                      "StmtExpr 27..35"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(top_level(parse_module_with_errors(c.source)), c.statements);
  }
}

TEST(StatementTest, SameLineBodyKeepsEveryStatement) {
  const Parsed<ModModule> parsed = parse_module_with_errors("if x: a; b; c\n");
  const auto& stmt = only_statement<StmtIf>(parsed);
  ASSERT_EQ(stmt.body.size(), 3u);
  EXPECT_EQ(name_of(stmt.body[2]->as<StmtExpr>().value), "c");

  const Parsed<ModModule> two = parse_module_with_errors("if x: a b\n");
  ASSERT_EQ(two.syntax().body.size(), 1u);
  EXPECT_EQ(two.syntax().body[0]->as<StmtIf>().body.size(), 2u);

  const Parsed<ModModule> empty = parse_module_with_errors("if x:\n");
  ASSERT_EQ(empty.syntax().body.size(), 1u);
  EXPECT_TRUE(empty.syntax().body[0]->as<StmtIf>().body.empty());
}

TEST(StatementTest, AsyncPrefix) {
  check_messages({
      {.source = "async x = 1\n",
       .errors = {"Expected `def`, `with` or `for` to follow `async`, found "
                  "name at byte range 6..7"}},
      {.source = "async async def f(): pass\n",
       .errors = {"Expected `def`, `with` or `for` to follow `async`, found "
                  "`async` at byte range 6..11"}},
      {.source = "async class C: pass\n",
       .errors = {"Expected `def`, `with` or `for` to follow `async`, found "
                  "`class` at byte range 6..11"}},
  });
  // `async` leaves nothing: the assignment starts at `x`.
  EXPECT_EQ(top_level(parse_module_with_errors("async x = 1\n")),
            std::vector<std::string>{"StmtAssign 6..11"});

  struct Case {
    std::string_view source;
    std::string range;
  };
  const Case cases[] = {
      {.source = "async def f(): pass\n", .range = "0..19"},
      {.source = "async with a: pass\n", .range = "0..18"},
      {.source = "async for a in b: pass\n", .range = "0..22"},
      // The second `async` is the one the statement starts at.
      {.source = "async async def f(): pass\n", .range = "6..25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    ASSERT_EQ(parsed.syntax().body.size(), 1u);
    const Stmt* stmt = parsed.syntax().body[0];
    EXPECT_EQ(stmt->range.to_string(), c.range);
    bool is_async = false;
    if (const auto* function = stmt->dyn_cast<StmtFunctionDef>()) {
      is_async = function->is_async;
    } else if (const auto* with = stmt->dyn_cast<StmtWith>()) {
      is_async = with->is_async;
    } else if (const auto* loop = stmt->dyn_cast<StmtFor>()) {
      is_async = loop->is_async;
    }
    EXPECT_TRUE(is_async);
  }
}

TEST(StatementTest, NestedBlocksStopAtTheNestingBound) {
  // One block per counted level, past the bound of this build.
  const std::size_t depth = Parser::kMaxNesting + 100;
  std::string source;
  for (std::size_t level = 0; level < depth; ++level) {
    source += std::string(level, ' ') + "if x:\n";
  }
  source += std::string(depth, ' ') + "pass\n";
  const Parsed<ModModule> parsed = parse_module_with_errors(source);
  ASSERT_FALSE(parsed.errors().empty());
  EXPECT_EQ(parsed.errors().front().error.to_string(),
            "Parser stack overflowed - Python source too complex to parse");
}

TEST(SimpleStatementTest, Messages) {
  check_messages({
      {.source = "raise from x\n",
       .errors = {"Exception missing in `raise` statement with cause at byte "
                  "range 6..10"}},
      {.source = "raise a, b\n",
       .errors = {"Unparenthesized tuple expression cannot be used here at "
                  "byte range 6..10"}},
      {.source = "raise X from a, b\n",
       .errors = {"Unparenthesized tuple expression cannot be used here at "
                  "byte range 13..17"}},
      {.source = "raise X from\n",
       .errors = {"Expected an expression at byte range 12..13"}},
      {.source = "raise (a, b)\n", .errors = {}},
      {.source = "assert x,\n",
       .errors = {"Expected an expression at byte range 9..10"}},
      {.source = "del\n",
       .errors = {"Delete statement must have at least one target at byte "
                  "range 3..4"}},
      {.source = "del *a\n",
       .errors = {"Invalid delete target at byte range 4..6"}},
      {.source = "del f()\n",
       .errors = {"Invalid delete target at byte range 4..7"}},
      {.source = "del [a, (b, f())]\n",
       .errors = {"Invalid delete target at byte range 12..15"}},
      {.source = "del (a, b), c[0]\n", .errors = {}},
      {.source = "del a,\n", .errors = {}},
      {.source = "global\n",
       .errors = {"Global statement must have at least one name at byte "
                  "range 6..7"}},
      {.source = "nonlocal\n",
       .errors = {"Nonlocal statement must have at least one name at byte "
                  "range 8..9"}},
      {.source = "global a,\n",
       .errors = {"Trailing comma not allowed at byte range 8..9"}},
      {.source = "import\n",
       .errors = {"Expected one or more symbol names after import at byte "
                  "range 6..7"}},
      {.source = "from m import\n",
       .errors = {"Expected one or more symbol names after import at byte "
                  "range 13..14"}},
      {.source = "import a,\n",
       .errors = {"Trailing comma not allowed at byte range 8..9"}},
      {.source = "from a import c,\n",
       .errors = {"Trailing comma not allowed at byte range 15..16"}},
      {.source = "from a.b import (c as d, e,)\n", .errors = {}},
      {.source = "from import x\n",
       .errors = {"Expected a module name at byte range 5..11"}},
      {.source = "from . import x\n", .errors = {}},
      {.source = "from a import *, b\n",
       .errors = {"Star import must be the only import at byte range "
                  "14..18"}},
      // Parenthesized, the range runs from the `(` to the last name.
      {.source = "from a import (b, *)\n",
       .errors = {"Star import must be the only import at byte range "
                  "14..19"}},
      {.source = "import a as\n",
       .errors = {"Expected symbol after `as` at byte range 11..12"}},
      {.source = "from a import b as 1\n",
       .errors = {"Expected symbol after `as` at byte range 19..20"}},
      {.source = "[a, b]: int\n",
       .errors = {"Only single target (not list) can be annotated at byte "
                  "range 0..6"}},
      {.source = "a, b: int\n",
       .errors = {"Only single target (not tuple) can be annotated at byte "
                  "range 0..4"}},
      {.source = "*a: int\n",
       .errors = {"Invalid annotated assignment target at byte range 0..2"}},
      {.source = "f(): int\n",
       .errors = {"Invalid annotated assignment target at byte range 0..3"}},
      {.source = "x: int =\n",
       .errors = {"Expected an expression at byte range 8..9"}},
      {.source = "a + 1 += 2\n",
       .errors = {"Invalid augmented assignment target at byte range 0..5"}},
      {.source = "(a) += 1\n", .errors = {}},
      {.source = "a.b[c] **= 2\n", .errors = {}},
      {.source = "f() = 1\n",
       .errors = {"Invalid assignment target at byte range 0..3"}},
      {.source = "[a, f()] = x\n",
       .errors = {"Invalid assignment target at byte range 4..7"}},
      {.source = "*a, b = x\n", .errors = {}},
      {.source = "a, *(b, c) = x\n", .errors = {}},
      {.source = "x = 1 = 2\n",
       .errors = {"Invalid assignment target at byte range 4..5"}},
      // Every invalid part of a target is reported.
      {.source = "(f(), g()) = x\n",
       .errors = {"Invalid assignment target at byte range 1..4",
                  "Invalid assignment target at byte range 6..9"}},
      {.source = "a = b = 1 +\n",
       .errors = {"Expected an expression at byte range 11..12"}},
      {.source = "x = yield\nx: int = yield y\nx += yield\n", .errors = {}},
  });
}

TEST(SimpleStatementTest, AssignmentTargetsAndContexts) {
  const Parsed<ModModule> chain = parse_module_with_errors("a = b = c\n");
  const auto& assign = only_statement<StmtAssign>(chain);
  ASSERT_EQ(assign.targets.size(), 2u);
  EXPECT_EQ(name_of(assign.targets[0]), "a");
  EXPECT_EQ(name_of(assign.targets[1]), "b");
  EXPECT_EQ(assign.targets[0]->as<ExprName>().ctx, ExprContext::Store);
  EXPECT_EQ(assign.targets[1]->as<ExprName>().ctx, ExprContext::Store);
  EXPECT_EQ(name_of(assign.value), "c");
  EXPECT_EQ(assign.value->as<ExprName>().ctx, ExprContext::Load);

  const Parsed<ModModule> starred = parse_module_with_errors("*a, b = x\n");
  const auto& tuple =
      only_statement<StmtAssign>(starred).targets[0]->as<ExprTuple>();
  EXPECT_EQ(tuple.ctx, ExprContext::Store);
  EXPECT_EQ(tuple.elts[0]->as<ExprStarred>().value->as<ExprName>().ctx,
            ExprContext::Store);

  const Parsed<ModModule> deleted = parse_module_with_errors("del a, b.c\n");
  const auto& del = only_statement<StmtDelete>(deleted);
  ASSERT_EQ(del.targets.size(), 2u);
  EXPECT_EQ(del.targets[0]->as<ExprName>().ctx, ExprContext::Del);
  EXPECT_EQ(del.targets[1]->as<ExprAttribute>().ctx, ExprContext::Del);
}

TEST(SimpleStatementTest, AnnotatedAssignments) {
  struct Case {
    std::string_view source;
    bool simple;
    bool has_value;
  };
  const Case cases[] = {
      {.source = "x: int\n", .simple = true, .has_value = false},
      {.source = "(x): int\n", .simple = false, .has_value = false},
      {.source = "x: int = 1\n", .simple = true, .has_value = true},
      {.source = "a.b: int = 1, 2\n", .simple = false, .has_value = true},
      {.source = "a[0]: int\n", .simple = false, .has_value = false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    const auto& stmt = only_statement<StmtAnnAssign>(parsed);
    EXPECT_EQ(stmt.simple, c.simple);
    EXPECT_EQ(stmt.value != nullptr, c.has_value);
  }
}

TEST(SimpleStatementTest, AugmentedOperators) {
  struct Case {
    std::string_view source;
    Operator op;
  };
  const Case cases[] = {
      {"a += 1\n", Operator::Add},       {"a -= 1\n", Operator::Sub},
      {"a *= 1\n", Operator::Mult},      {"a @= 1\n", Operator::MatMult},
      {"a /= 1\n", Operator::Div},       {"a %= 1\n", Operator::Mod},
      {"a **= 1\n", Operator::Pow},      {"a <<= 1\n", Operator::LShift},
      {"a >>= 1\n", Operator::RShift},   {"a |= 1\n", Operator::BitOr},
      {"a ^= 1\n", Operator::BitXor},    {"a &= 1\n", Operator::BitAnd},
      {"a //= 1\n", Operator::FloorDiv},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    const auto& stmt = only_statement<StmtAugAssign>(parsed);
    EXPECT_EQ(stmt.op, c.op);
    EXPECT_EQ(stmt.target->as<ExprName>().ctx, ExprContext::Store);
  }
}

TEST(SimpleStatementTest, ImportNamesAndLevels) {
  struct Case {
    std::string_view source;
    std::uint32_t level;
    std::string_view module;         // "-" when absent
    std::vector<std::string> names;  // "name" or "name as asname"
  };
  const Case cases[] = {
      {.source = "from . import x\n",
       .level = 1,
       .module = "-",
       .names = {"x"}},
      {.source = "from ... import x\n",
       .level = 3,
       .module = "-",
       .names = {"x"}},
      // An Ellipsis, then a Dot.
      {.source = "from .... import x\n",
       .level = 4,
       .module = "-",
       .names = {"x"}},
      {.source = "from .a.b import c as d, e\n",
       .level = 1,
       .module = "a.b",
       .names = {"c as d", "e"}},
      {.source = "from a import *\n",
       .level = 0,
       .module = "a",
       .names = {"*"}},
      // Spaces, comments and line continuations do not reach the name.
      {.source = "from a . b import (c)\n",
       .level = 0,
       .module = "a.b",
       .names = {"c"}},
      {.source = "from a.\\\n  b import c\n",
       .level = 0,
       .module = "a.b",
       .names = {"c"}},
      {.source = "from match.type import case\n",
       .level = 0,
       .module = "match.type",
       .names = {"case"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    const auto& stmt = only_statement<StmtImportFrom>(parsed);
    EXPECT_EQ(stmt.level, c.level);
    EXPECT_EQ(stmt.module == nullptr ? std::string_view("-")
                                     : stmt.module->id.as_str(),
              c.module);
    std::vector<std::string> names;
    for (const Alias& alias : stmt.names) {
      std::string text(alias.name.id.as_str());
      if (alias.asname != nullptr) {
        text += " as " + std::string(alias.asname->id.as_str());
      }
      names.push_back(text);
    }
    EXPECT_EQ(names, c.names);
  }
}

TEST(SimpleStatementTest, DottedNames) {
  struct Case {
    std::string_view source;
    std::string_view name;
    std::string range;
  };
  const Case cases[] = {
      {.source = "import a.b.c as d\n", .name = "a.b.c", .range = "7..12"},
      {.source = "import a . b\n", .name = "a.b", .range = "7..12"},
      {.source = "import a.\n", .name = "a.", .range = "7..9"},
      {.source = "import a..b\n", .name = "a..b", .range = "7..11"},
      // Identifiers are normalised (NFKC) before they are joined.
      {.source = "import \xef\xbd\x81.b\n", .name = "a.b", .range = "7..12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    ASSERT_EQ(parsed.syntax().body.size(), 1u);
    const auto& stmt = parsed.syntax().body[0]->as<StmtImport>();
    ASSERT_EQ(stmt.names.size(), 1u);
    EXPECT_EQ(stmt.names[0].name.id.as_str(), c.name);
    EXPECT_EQ(stmt.names[0].name.range.to_string(), c.range);
  }
}

TEST(SimpleStatementTest, TypeIsAKeywordOnlyBeforeANameAndEqualOrBracket) {
  EXPECT_EQ(top_level(parse_module_with_errors(
                "type X[T] = list[T]\ntype = 3\ntype(x)\ntype.x = 1\n"
                "type X = int\ntype match = case\n")),
            (std::vector<std::string>{
                "StmtTypeAlias 0..19", "StmtAssign 20..28", "StmtExpr 29..36",
                "StmtAssign 37..47", "StmtTypeAlias 48..60",
                "StmtTypeAlias 61..78"}));
  const Parsed<ModModule> parsed =
      parse_module_with_errors("type X[T] = list[T]\n");
  const auto& alias = only_statement<StmtTypeAlias>(parsed);
  EXPECT_EQ(name_of(alias.name), "X");
  EXPECT_EQ(alias.name->as<ExprName>().ctx, ExprContext::Store);
  ASSERT_NE(alias.type_params, nullptr);
  EXPECT_EQ(alias.type_params->type_params.size(), 1u);
}

TEST(SimpleStatementTest, RaiseAndReturnOperands) {
  struct Case {
    std::string_view source;
    bool exc;
    bool cause;
  };
  const Case cases[] = {
      {.source = "raise\n", .exc = false, .cause = false},
      {.source = "raise;\n", .exc = false, .cause = false},
      {.source = "raise X\n", .exc = true, .cause = false},
      {.source = "raise X from Y\n", .exc = true, .cause = true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    const auto& stmt = only_statement<StmtRaise>(parsed);
    EXPECT_EQ(stmt.exc != nullptr, c.exc);
    EXPECT_EQ(stmt.cause != nullptr, c.cause);
  }
  const Parsed<ModModule> bare = parse_module_with_errors("return\n");
  EXPECT_EQ(only_statement<StmtReturn>(bare).value, nullptr);
  const Parsed<ModModule> assert_stmt =
      parse_module_with_errors("assert x, 'm'\n");
  EXPECT_NE(only_statement<StmtAssert>(assert_stmt).msg, nullptr);
}

// Parses `source` as a module for `target` and lists the version gates as
// "kind variant start..end".
std::vector<std::string> gates(std::string_view source, PythonVersion target) {
  Parser parser(source, ParseOptions{.target_version = target});
  parser.parse_module_body();
  std::vector<std::string> records;
  for (const UnsupportedSyntaxError& error :
       parser.unsupported_syntax_errors()) {
    records.push_back(std::to_string(static_cast<int>(error.kind.kind)) + " " +
                      std::to_string(error.kind.variant) + " " +
                      error.range.to_string());
  }
  return records;
}

TEST(SimpleStatementTest, VersionGates) {
  const std::string starred_return =
      std::to_string(
          static_cast<int>(UnsupportedSyntaxKind::StarredTupleValue)) +
      " " + std::to_string(static_cast<int>(StarredTupleKind::ReturnValue));
  const std::string starred_yield =
      std::to_string(
          static_cast<int>(UnsupportedSyntaxKind::StarredTupleValue)) +
      " " + std::to_string(static_cast<int>(StarredTupleKind::YieldValue));
  const std::string for_iterable = std::to_string(static_cast<int>(
      UnsupportedSyntaxKind::UnparenthesizedForIterableUnpacking));
  const std::string type_alias = std::to_string(
      static_cast<int>(UnsupportedSyntaxKind::TypeAliasStatement));
  struct Case {
    std::string_view source;
    PythonVersion target;
    std::vector<std::string> records;
  };
  const Case cases[] = {
      {.source = "return *a, b, *c\n",
       .target = {3, 7},
       .records = {starred_return + " 7..9", starred_return + " 14..16"}},
      {.source = "return *a, b\n", .target = {3, 10}, .records = {}},
      {.source = "return (*a, b)\n", .target = {3, 7}, .records = {}},
      {.source = "def f():\n    yield *a, b\n",
       .target = {3, 7},
       .records = {starred_yield + " 19..21"}},
      {.source = "for x in *a, b: pass\n",
       .target = {3, 8},
       .records = {for_iterable + " 0 9..11"}},
      {.source = "for x in *a, b: pass\n", .target = {3, 9}, .records = {}},
      {.source = "type X = int\n",
       .target = {3, 11},
       .records = {type_alias + " 0 0..4"}},
      {.source = "type X = int\n", .target = {3, 12}, .records = {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(gates(c.source, c.target), c.records);
  }
}

TEST(SimpleStatementTest, IpythonEscapes) {
  struct Case {
    std::string_view source;
    IpyEscapeKind kind;
    std::string_view value;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {.source = "!ls -la\n",
       .kind = IpyEscapeKind::Shell,
       .value = "ls -la",
       .errors = {}},
      {.source = "a.b[0]??\n",
       .kind = IpyEscapeKind::Help2,
       .value = "a.b[0]",
       .errors = {}},
      {.source = "a[0x10]?\n",
       .kind = IpyEscapeKind::Help,
       .value = "a[16]",
       .errors = {}},
      {.source = "(a)?\n",
       .kind = IpyEscapeKind::Help,
       .value = "a",
       .errors = {"Help end escape command cannot be applied on a "
                  "parenthesized expression at byte range 3..4"}},
      {.source = "f(x)?\n",
       .kind = IpyEscapeKind::Help,
       .value = "",
       .errors = {"Expected name, subscript or attribute expression in help "
                  "end escape command at byte range 0..4"}},
      {.source = "a[b]?\n",
       .kind = IpyEscapeKind::Help,
       .value = "a[b]",
       .errors = {"Only integer literals are allowed in subscript "
                  "expressions in help end escape command at byte range "
                  "2..3"}},
      {.source = "x???\n",
       .kind = IpyEscapeKind::Help2,
       .value = "x",
       .errors = {"Maximum of 2 `?` tokens are allowed in help end escape "
                  "command at byte range 3..4",
                  "Expected a statement at byte range 4..5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.mode = Mode::Ipython});
    const ModModule* module = parser.parse_module_body();
    ASSERT_FALSE(module->body.empty());
    const auto& stmt = module->body[0]->as<StmtIpyEscapeCommand>();
    EXPECT_EQ(stmt.kind, c.kind);
    EXPECT_EQ(stmt.value, c.value);
    EXPECT_EQ(error_texts(parser.errors()), c.errors);
  }
}

TEST(ParseEntryTest, EmptyAndCommentOnlySources) {
  const auto empty = parse_module("");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->syntax().body.empty());
  EXPECT_EQ(empty->syntax().range, TextRange(0, 0));
  EXPECT_TRUE(empty->tokens().empty());

  const auto comments = parse_module("# a\n# b");
  ASSERT_TRUE(comments.has_value());
  EXPECT_TRUE(comments->syntax().body.empty());
  EXPECT_EQ(comments->syntax().range, TextRange(0, 7));
  int comment_count = 0;
  for (const Token& token : comments->tokens()) {
    EXPECT_NE(token.kind, TokenKind::EndOfFile);
    comment_count += token.kind == TokenKind::Comment ? 1 : 0;
  }
  EXPECT_EQ(comment_count, 2);
}

TEST(ParseEntryTest, FirstErrorOfTheMerge) {
  struct Case {
    std::string_view source;
    std::string first_error;
  };
  const Case cases[] = {
      // The parser's "Expected an expression" and the lexer's unknown
      // token start at the same offset: only the lexical one is kept.
      {.source = "x = $\n",
       .first_error = "Got unexpected token $ at byte range 4..5"},
      // A parse error before a lexical one.
      {.source = "f() = 1\nx = 'a\n",
       .first_error = "Invalid assignment target at byte range 0..3"},
      // A lexical error before a parse error.
      {.source = "x = $ 1\nf() = 1\n",
       .first_error = "Got unexpected token $ at byte range 4..5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const auto parsed = parse_module(c.source);
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error().to_string(), c.first_error);
  }
  const Parsed<ModModule> all = parse_module_with_errors("x = $\n");
  EXPECT_EQ(
      error_texts(all.errors()),
      (std::vector<std::string>{"Got unexpected token $ at byte range 4..5",
                                "Expected a statement at byte range 5..6"}));
}

TEST(ParseEntryTest, VersionGatesNeverFailTheParse) {
  const auto generic = parse_module("def f[T](): pass\n");
  ASSERT_TRUE(generic.has_value());
  ASSERT_EQ(generic->unsupported_syntax_errors().size(), 1u);
  EXPECT_EQ(generic->unsupported_syntax_errors()[0].kind.kind,
            UnsupportedSyntaxKind::TypeParameterList);
  EXPECT_EQ(generic->unsupported_syntax_errors()[0].target_version,
            (PythonVersion{3, 10}));

  const auto match = parse_module("match x:\n    case 1: pass\n");
  ASSERT_TRUE(match.has_value());
  EXPECT_TRUE(match->unsupported_syntax_errors().empty());

  const auto keyword = parse_module("f((a)=1)\n");
  ASSERT_TRUE(keyword.has_value());
  ASSERT_EQ(keyword->unsupported_syntax_errors().size(), 1u);
  EXPECT_EQ(keyword->unsupported_syntax_errors()[0].kind.kind,
            UnsupportedSyntaxKind::ParenthesizedKeywordName);
}

}  // namespace
}  // namespace divu
