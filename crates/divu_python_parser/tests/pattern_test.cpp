// Match statements and patterns: the decision whether `match` starts a
// statement, every message of the pattern grammar with its byte range, the
// names, contexts and conversions that tree dumps do not show, the version
// gate and the nesting bound.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "parse_module.h"
#include "parser.h"
#include "parser_test_support.h"
#include "stack_thread.h"

namespace divu {
namespace {

using test_support::error_texts;

// ---------------------------------------------------------------------------
// A compact rendering of patterns and the expressions inside them, with what
// a dump leaves out: names, contexts, operators, singleton values.

class Renderer {
 public:
  explicit Renderer(std::string_view source) : source_(source) {}

  std::string pattern(const Pattern& node) const {
    switch (node.kind()) {
      case NodeKind::PatternMatchValue:
        return "Value(" + expr(*node.as<PatternMatchValue>().value) + ")";
      case NodeKind::PatternMatchSingleton:
        switch (node.as<PatternMatchSingleton>().value) {
          case Singleton::None:
            return "None";
          case Singleton::True:
            return "True";
          case Singleton::False:
            return "False";
        }
        return "?";
      case NodeKind::PatternMatchSequence:
        return "[" + patterns(node.as<PatternMatchSequence>().patterns) + "]";
      case NodeKind::PatternMatchMapping: {
        const auto& mapping = node.as<PatternMatchMapping>();
        std::string out = "{";
        for (std::size_t index = 0; index < mapping.keys.size(); ++index) {
          out += (index > 0 ? ", " : "") + expr(*mapping.keys[index]) + ": " +
                 pattern(*mapping.patterns[index]);
        }
        if (mapping.rest != nullptr) {
          out += (mapping.keys.empty() ? "**" : ", **") + id(*mapping.rest);
        }
        return out + "}";
      }
      case NodeKind::PatternMatchClass: {
        const auto& cls = node.as<PatternMatchClass>();
        std::string out =
            "Class(" + expr(*cls.cls) + "; " + patterns(cls.arguments.patterns);
        for (const PatternKeyword& keyword : cls.arguments.keywords) {
          out += (out.ends_with("; ") ? "" : ", ") + id(keyword.attr) + "=" +
                 pattern(*keyword.pattern);
        }
        return out + ")";
      }
      case NodeKind::PatternMatchStar: {
        const auto& star = node.as<PatternMatchStar>();
        return star.name == nullptr ? "*" : "*" + id(*star.name);
      }
      case NodeKind::PatternMatchAs: {
        const auto& as = node.as<PatternMatchAs>();
        if (as.pattern == nullptr) {
          return as.name == nullptr ? "_" : id(*as.name);
        }
        return "(" + pattern(*as.pattern) + " as " +
               (as.name == nullptr ? "-" : id(*as.name)) + ")";
      }
      case NodeKind::PatternMatchOr: {
        std::string out;
        for (const Pattern* alternative : node.as<PatternMatchOr>().patterns) {
          out += (out.empty() ? "(" : " | ") + pattern(*alternative);
        }
        return out + ")";
      }
      default:
        return "?";
    }
  }

  std::string expr(const Expr& node) const {
    switch (node.kind()) {
      case NodeKind::ExprName: {
        const auto& name = node.as<ExprName>();
        return "'" + std::string(name.id.as_str()) + "'" + ctx(name.ctx);
      }
      case NodeKind::ExprAttribute: {
        const auto& attribute = node.as<ExprAttribute>();
        return expr(*attribute.value) + "." + id(attribute.attr);
      }
      case NodeKind::ExprUnaryOp: {
        const auto& unary = node.as<ExprUnaryOp>();
        return std::string(to_string(unary.op)) + "(" + expr(*unary.operand) +
               ")";
      }
      case NodeKind::ExprBinOp: {
        const auto& binary = node.as<ExprBinOp>();
        const char* op = binary.op == Operator::Add     ? " + "
                         : binary.op == Operator::Sub   ? " - "
                         : binary.op == Operator::BitOr ? " | "
                                                        : " ? ";
        return "(" + expr(*binary.left) + op + expr(*binary.right) + ")";
      }
      case NodeKind::ExprList: {
        const auto& list = node.as<ExprList>();
        return "[" + exprs(list.elts) + "]" + ctx(list.ctx);
      }
      case NodeKind::ExprTuple: {
        const auto& tuple = node.as<ExprTuple>();
        return "Tuple(" + exprs(tuple.elts) + ")" + ctx(tuple.ctx) +
               (tuple.parenthesized ? "()" : "");
      }
      case NodeKind::ExprStarred: {
        const auto& starred = node.as<ExprStarred>();
        return "*" + expr(*starred.value) + ctx(starred.ctx);
      }
      case NodeKind::ExprDict: {
        std::string out = "{";
        for (const DictItem& item : node.as<ExprDict>().items) {
          out += out.size() > 1 ? ", " : "";
          out += item.key == nullptr
                     ? "**" + expr(*item.value)
                     : expr(*item.key) + ": " + expr(*item.value);
        }
        return out + "}";
      }
      case NodeKind::ExprCall: {
        const auto& call = node.as<ExprCall>();
        std::string out = expr(*call.func) + "(" + exprs(call.arguments.args);
        for (const Keyword& keyword : call.arguments.keywords) {
          out += (out.ends_with("(") ? "" : ", ") + id(*keyword.arg) + "=" +
                 expr(*keyword.value);
        }
        return out + ")";
      }
      case NodeKind::ExprNoneLiteral:
        return "None";
      case NodeKind::ExprBooleanLiteral:
        return node.as<ExprBooleanLiteral>().value ? "True" : "False";
      default:
        // Numbers and strings as written.
        return std::string(node.range.slice(source_));
    }
  }

 private:
  static std::string ctx(ExprContext ctx) {
    switch (ctx) {
      case ExprContext::Load:
        return "";
      case ExprContext::Store:
        return ":S";
      case ExprContext::Del:
        return ":D";
      case ExprContext::Invalid:
        return ":I";
    }
    return "";
  }
  static std::string id(const Identifier& identifier) {
    return "'" + std::string(identifier.id.as_str()) + "'";
  }
  std::string patterns(std::span<const Pattern* const> list) const {
    std::string out;
    for (const Pattern* element : list) {
      out += (out.empty() ? "" : ", ") + pattern(*element);
    }
    return out;
  }
  std::string exprs(std::span<const Expr* const> list) const {
    std::string out;
    for (const Expr* element : list) {
      out += (out.empty() ? "" : ", ") + expr(*element);
    }
    return out;
  }

  std::string_view source_;
};

const StmtMatch* first_match(const ModModule& module) {
  if (module.body.empty()) {
    return nullptr;
  }
  return module.body.front()->dyn_cast<StmtMatch>();
}

// ---------------------------------------------------------------------------
// Whether `match` starts a statement.

struct DecisionCase {
  std::string_view source;
  NodeKind first_statement;
  std::vector<std::string> errors = {};
};

TEST(MatchDecisionTest, KeywordNameOrSpeculativeParse) {
  const DecisionCase cases[] = {
      {.source = "match x:\n case 1: pass\n",
       .first_statement = NodeKind::StmtMatch},
      {.source = "match(x)\n", .first_statement = NodeKind::StmtExpr},
      {.source = "match[x]\n", .first_statement = NodeKind::StmtExpr},
      {.source = "match = 3\n", .first_statement = NodeKind::StmtAssign},
      {.source = "match.x\n", .first_statement = NodeKind::StmtExpr},
      {.source = "match: int = 1\n",
       .first_statement = NodeKind::StmtAnnAssign},
      // The speculative parse: a subject, then `:` and a line end.
      {.source = "match (x):\n case 1: pass\n",
       .first_statement = NodeKind::StmtMatch},
      {.source = "match [a, b]:\n case 1: pass\n",
       .first_statement = NodeKind::StmtMatch},
      {.source = "match -x:\n case 1: pass\n",
       .first_statement = NodeKind::StmtMatch},
      {.source = "match - x\n", .first_statement = NodeKind::StmtExpr},
      {.source = "match * x\n", .first_statement = NodeKind::StmtExpr},
      // The colon is followed by more than a line end: an annotation, read
      // again from the start, with nothing of the attempt left over.
      {.source = "match[x]: int\n", .first_statement = NodeKind::StmtAnnAssign},
      {.source = "match(x).y: int = 1\n",
       .first_statement = NodeKind::StmtAnnAssign},
      {.source = "match not in y\n", .first_statement = NodeKind::StmtExpr},
      {.source = "match not x:\n case 1: pass\n",
       .first_statement = NodeKind::StmtMatch},
      // No colon, but an indented `case` block follows.
      {.source = "match (x)\n case 1: pass\n",
       .first_statement = NodeKind::StmtMatch,
       .errors = {"Expected `:`, found newline at byte range 9..10"}},
      {.source = "match x\n case 1: pass\n",
       .first_statement = NodeKind::StmtMatch,
       .errors = {"Expected `:`, found newline at byte range 7..8"}},
      // Without the block the speculative parse gives up: `(x)` is a call.
      {.source = "match (x)\nx = 1\n", .first_statement = NodeKind::StmtExpr},
  };
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    EXPECT_EQ(error_texts(parsed.errors()), c.errors);
    ASSERT_FALSE(parsed.syntax().body.empty());
    EXPECT_EQ(parsed.syntax().body.front()->kind(), c.first_statement);
  }
}

TEST(MatchDecisionTest, SubjectForms) {
  struct Case {
    std::string_view source;
    std::string subject;
    std::vector<std::string> errors = {};
  };
  const Case cases[] = {
      {.source = "match not x:\n case 1: pass\n", .subject = "not('x')"},
      {.source = "match a, b:\n case 1: pass\n", .subject = "Tuple('a', 'b')"},
      {.source = "match a, b,:\n case 1: pass\n", .subject = "Tuple('a', 'b')"},
      {.source = "match *a, b:\n case 1: pass\n",
       .subject = "Tuple(*'a', 'b')"},
      {.source = "match (a, b):\n case 1: pass\n",
       .subject = "Tuple('a', 'b')()"},
      {.source = "match *a:\n case 1: pass\n",
       .subject = "*'a'",
       .errors = {"Starred expression cannot be used here at byte range "
                  "6..8"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    EXPECT_EQ(error_texts(parsed.errors()), c.errors);
    const StmtMatch* match = first_match(parsed.syntax());
    ASSERT_NE(match, nullptr);
    EXPECT_EQ(Renderer(c.source).expr(*match->subject), c.subject);
    EXPECT_EQ(match->subject->range.start(), 6u);
  }
}

// ---------------------------------------------------------------------------
// Every message of the match statement and of the patterns, with its range.

struct ErrorCase {
  std::string_view source;
  std::vector<std::string> errors;
};

TEST(PatternErrorTest, MessagesAndRanges) {
  const ErrorCase cases[] = {
      // The block.
      {.source = "match x:\ncase 1: pass\n",
       .errors = {"Expected an indented block after `match` statement at "
                  "byte range 9..13",
                  "Expected dedent, found end of file at byte range "
                  "22..22"}},
      {.source = "match x:\n pass\n",
       .errors = {"Expected `case` block at byte range 10..14",
                  "Expected a statement at byte range 15..15"}},
      {.source = "match x:\n case 1: pass\n y = 1\n",
       .errors = {"Expected dedent, found name at byte range 24..25",
                  "Expected a statement at byte range 30..30"}},
      {.source = "match x: pass\n",
       .errors = {"Expected newline, found `pass` at byte range 9..13"}},
      // Star patterns where no sequence takes them.
      {.source = "match x:\n case *rest: pass\n",
       .errors = {"Star pattern cannot be used here at byte range 15..20"}},
      {.source = "match x:\n case (*rest): pass\n",
       .errors = {"Star pattern cannot be used here at byte range 16..21"}},
      {.source = "match x:\n case 1 | *x: pass\n",
       .errors = {"Star pattern cannot be used here at byte range 19..21"}},
      {.source = "match x:\n case *x | 1: pass\n",
       .errors = {"Star pattern cannot be used here at byte range 15..17"}},
      {.source = "match x:\n case *x as y: pass\n",
       .errors = {"Star pattern cannot be used here at byte range 15..17"}},
      {.source = "match x:\n case {*x: 1}: pass\n",
       .errors = {"Star pattern cannot be used here at byte range 16..18"}},
      {.source = "match x:\n case {1: *x}: pass\n",
       .errors = {"Star pattern cannot be used here at byte range 19..21"}},
      {.source = "match x:\n case C(*x): pass\n",
       .errors = {"Star pattern cannot be used here at byte range 17..19"}},
      // Guards.
      {.source = "match x:\n case x if : pass\n",
       .errors = {"Expected an expression at byte range 20..21"}},
      // Tokens that start no pattern, and unclosed brackets.
      {.source = "match x:\n case {1: }: pass\n",
       .errors = {"Expected a pattern at byte range 19..20"}},
      // A sign without a number is taken with its error, so that the
      // lists it starts an element of move on.
      {.source = "match x:\n case a(-): pass\n",
       .errors = {"Expected a pattern at byte range 17..18"}},
      {.source = "match x:\n case [-, +]: pass\n",
       .errors = {"Expected a pattern at byte range 16..17",
                  "Expected a pattern at byte range 19..20"}},
      {.source = "match x:\n case {-: 1}: pass\n",
       .errors = {"Expected a pattern at byte range 16..17"}},
      {.source = "match x:\n case a(-\n",
       .errors = {"Expected a pattern at byte range 17..18",
                  "unexpected EOF while parsing at byte range 19..19"}},
      {.source = "match x:\n case [:\n",
       .errors = {"Missing ']' at byte range 16..17",
                  "unexpected EOF while parsing at byte range 18..18"}},
      {.source = "match x:\n case (:\n",
       .errors = {"Missing ')' at byte range 16..17",
                  "unexpected EOF while parsing at byte range 18..18"}},
      {.source = "match x:\n case [a b]: pass\n",
       .errors = {"Expected `,`, found name at byte range 18..19"}},
      // Literals.
      {.source = "match x:\n case +1: pass\n",
       .errors = {"Unary '+' is not allowed as a literal pattern at byte "
                  "range 15..17"}},
      {.source = "match x:\n case 1 + 2: pass\n",
       .errors = {"Expected an imaginary number in complex literal pattern at "
                  "byte range 19..20"}},
      {.source = "match x:\n case 1 + -2j: pass\n",
       .errors = {"Expected an imaginary number in complex literal pattern at "
                  "byte range 19..22"}},
      {.source = "match x:\n case 1j + 2j: pass\n",
       .errors = {"Expected a real number in complex literal pattern at byte "
                  "range 15..17"}},
      {.source = "match x:\n case [a] + 1j: pass\n",
       .errors = {"Expected a real number in complex literal pattern at byte "
                  "range 15..18"}},
      {.source = "match x:\n case 1 - a: pass\n",
       .errors = {"Expected an imaginary number in complex literal pattern at "
                  "byte range 19..20"}},
      // Mappings.
      {.source = "match x:\n case {x: 1}: pass\n",
       .errors = {"Invalid mapping pattern key at byte range 16..17"}},
      {.source = "match x:\n case {\"a\": 1, **rest, \"b\": 2}: pass\n",
       .errors = {"Pattern cannot follow a double star pattern at byte range "
                  "32..38"}},
      {.source = "match x:\n case {**rest, \"a\": 1}: pass\n",
       .errors = {"Pattern cannot follow a double star pattern at byte range "
                  "24..30"}},
      {.source = "match x:\n case {**a, **b}: pass\n",
       .errors = {"Only one double star pattern is allowed at byte range "
                  "21..24"}},
      {.source = "match x:\n case {1 2}: pass\n",
       .errors = {"Expected `:`, found int at byte range 18..19"}},
      // Class patterns.
      {.source = "match x:\n case 1(x): pass\n",
       .errors = {"Invalid value for a class pattern at byte range 15..16"}},
      {.source = "match x:\n case (1 | 2)(x): pass\n",
       .errors = {"Invalid value for a class pattern at byte range 16..21"}},
      {.source = "match x:\n case Point(1=2): pass\n",
       .errors = {"Expected an identifier for the keyword pattern at byte "
                  "range 21..22"}},
      {.source = "match x:\n case Point(a.b=2): pass\n",
       .errors = {"Expected an identifier for the keyword pattern at byte "
                  "range 21..24"}},
      {.source = "match x:\n case Point(x=1, 2): pass\n",
       .errors = {"Positional patterns cannot follow keyword patterns at byte "
                  "range 26..27"}},
      {.source = "match x:\n case Point(x=1, 2 | 3): pass\n",
       .errors = {"Positional patterns cannot follow keyword patterns at byte "
                  "range 26..31"}},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.source);
    const Parsed<ModModule> parsed = parse_module_with_errors(c.source);
    EXPECT_EQ(error_texts(parsed.errors()), c.errors);
  }
}

// ---------------------------------------------------------------------------
// What each pattern form builds.

struct TreeCase {
  std::string_view pattern;
  std::string rendered;
};

TEST(PatternTreeTest, FormsNamesAndContexts) {
  const TreeCase cases[] = {
      // Captures, wildcards and groups.
      {.pattern = "a", .rendered = "'a'"},
      {.pattern = "_", .rendered = "_"},
      {.pattern = "(a)", .rendered = "'a'"},
      {.pattern = "((a))", .rendered = "'a'"},
      {.pattern = "match", .rendered = "'match'"},
      {.pattern = "case", .rendered = "'case'"},
      // Literals and values.
      {.pattern = "None", .rendered = "None"},
      {.pattern = "True", .rendered = "True"},
      {.pattern = "False", .rendered = "False"},
      {.pattern = "-1", .rendered = "Value(-(1))"},
      {.pattern = "-1.5", .rendered = "Value(-(1.5))"},
      {.pattern = "-1 + 2j", .rendered = "Value((-(1) + 2j))"},
      {.pattern = "1.5 - 2j", .rendered = "Value((1.5 - 2j))"},
      {.pattern = "'a' 'b'", .rendered = "Value('a' 'b')"},
      {.pattern = "f'{a}'", .rendered = "Value(f'{a}')"},
      {.pattern = "a.b", .rendered = "Value('a'.'b')"},
      {.pattern = "a.b.c", .rendered = "Value('a'.'b'.'c')"},
      {.pattern = "match.case", .rendered = "Value('match'.'case')"},
      // Sequences.
      {.pattern = "()", .rendered = "[]"},
      {.pattern = "[]", .rendered = "[]"},
      {.pattern = "(a,)", .rendered = "['a']"},
      {.pattern = "[a]", .rendered = "['a']"},
      {.pattern = "[a,]", .rendered = "['a']"},
      {.pattern = "a, *rest", .rendered = "['a', *'rest']"},
      {.pattern = "a, b,", .rendered = "['a', 'b']"},
      {.pattern = "[*_]", .rendered = "[*]"},
      {.pattern = "(*a, b)", .rendered = "[*'a', 'b']"},
      {.pattern = "[a, [b, (c, d)]]", .rendered = "['a', ['b', ['c', 'd']]]"},
      // Mappings.
      {.pattern = "{}", .rendered = "{}"},
      {.pattern = "{'a': 1, None: b, **rest}",
       .rendered = "{'a': Value(1), None: 'b', **'rest'}"},
      {.pattern = "{-1: _, a.b: [c]}", .rendered = "{-(1): _, 'a'.'b': ['c']}"},
      {.pattern = "{True: x, 1 + 2j: y}",
       .rendered = "{True: 'x', (1 + 2j): 'y'}"},
      // Class patterns.
      {.pattern = "Point()", .rendered = "Class('Point'; )"},
      {.pattern = "Point(1, y=2)",
       .rendered = "Class('Point'; Value(1), 'y'=Value(2))"},
      {.pattern = "a.B(c, d=[e])",
       .rendered = "Class('a'.'B'; 'c', 'd'=['e'])"},
      {.pattern = "match(case=x)", .rendered = "Class('match'; 'case'='x')"},
      // Or and as.
      {.pattern = "1 | 2 | a.b",
       .rendered = "(Value(1) | Value(2) | Value('a'.'b'))"},
      {.pattern = "[a] as b", .rendered = "(['a'] as 'b')"},
      {.pattern = "1 | 2 as c", .rendered = "((Value(1) | Value(2)) as 'c')"},
      {.pattern = "(a as b) as c", .rendered = "(('a' as 'b') as 'c')"},
      // Patterns turned into expressions where only an expression fits.
      {.pattern = "{x: 1}", .rendered = "{'x':S: Value(1)}"},
      {.pattern = "{_: 1}", .rendered = "{'_':S: Value(1)}"},
      {.pattern = "{*_: 1}", .rendered = "{*'_':S:S: Value(1)}"},
      {.pattern = "{C([a, *_], (1 | 2), {'k': v, **r}, None, k=_ as y): 1}",
       .rendered = "{'C'(['a':S, *'_':S:S]:S, (1 | 2), {'k': 'v':S, "
                   "**'r':S}, None, 'k'='':I): Value(1)}"},
      {.pattern = "_(a)", .rendered = "Class('_':S; 'a')"},
      {.pattern = "(1 | 2 | 3)(a)", .rendered = "Class(((1 | 2) | 3); 'a')"},
      {.pattern = "[a] + 1j", .rendered = "Value((['a':S]:S + 1j))"},
      {.pattern = "1 + *b", .rendered = "Value((1 + *'b':S:S))"},
      // Recovery: what stands for a missing pattern or name.
      {.pattern = "{1: }", .rendered = "{1: Value('':I)}"},
      {.pattern = "Point(1=2)", .rendered = "Class('Point'; ''=Value(2))"},
  };
  for (const TreeCase& c : cases) {
    SCOPED_TRACE(c.pattern);
    const std::string source =
        "match x:\n case " + std::string(c.pattern) + ": pass\n";
    const Parsed<ModModule> parsed = parse_module_with_errors(source);
    const StmtMatch* match = first_match(parsed.syntax());
    ASSERT_NE(match, nullptr);
    ASSERT_EQ(match->cases.size(), 1u);
    EXPECT_EQ(Renderer(source).pattern(*match->cases[0].pattern), c.rendered);
  }
}

// ---------------------------------------------------------------------------
// The version gate.

TEST(MatchGateTest, RecordedAtTheKeywordBelowTheVersion) {
  struct Case {
    std::string_view source;
    PythonVersion target;
    std::vector<TextRange> gates;
  };
  const Case cases[] = {
      {.source = "match x:\n case 1: pass\n",
       .target = {3, 9},
       .gates = {TextRange(0, 5)}},
      {.source = "match x:\n case 1: pass\n", .target = {3, 10}, .gates = {}},
      // Read ahead first: the gate is the same.
      {.source = "pass\nmatch (x):\n case 1: pass\n",
       .target = {3, 9},
       .gates = {TextRange(5, 10)}},
      // A nested match statement ends first and is recorded first.
      {.source = "match x:\n case 1:\n  match y:\n   case 2: pass\n",
       .target = {3, 9},
       .gates = {TextRange(20, 25), TextRange(0, 5)}},
      // An attempt that was given up leaves nothing.
      {.source = "match (x)\n", .target = {3, 9}, .gates = {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{.target_version = c.target});
    parser.parse_module_body();
    std::vector<TextRange> gates;
    for (const UnsupportedSyntaxError& gate :
         parser.unsupported_syntax_errors()) {
      EXPECT_EQ(gate.kind.kind, UnsupportedSyntaxKind::MatchStatement);
      gates.push_back(gate.range);
    }
    EXPECT_EQ(gates, c.gates);
  }
}

// ---------------------------------------------------------------------------
// The nesting bound: every way a pattern holds a pattern.

struct NestingForm {
  std::string_view name;
  std::string_view open;
  std::string_view close;
};

constexpr NestingForm kNestingForms[] = {
    {.name = "list", .open = "[", .close = "]"},
    {.name = "group", .open = "(", .close = ")"},
    {.name = "tuple", .open = "(a, ", .close = ")"},
    {.name = "class", .open = "C(", .close = ")"},
    {.name = "keyword", .open = "C(k=", .close = ")"},
    {.name = "mapping", .open = "{1: ", .close = "}"},
    {.name = "or", .open = "(1 | ", .close = ")"},
    {.name = "complex", .open = "1 + ", .close = ""},
};

std::string nested_case(const NestingForm& form, std::uint32_t depth) {
  std::string pattern;
  for (std::uint32_t level = 0; level < depth; ++level) {
    pattern += form.open;
  }
  pattern += "x";
  for (std::uint32_t level = 0; level < depth; ++level) {
    pattern += form.close;
  }
  return "match x:\n case " + pattern + ": pass\n";
}

TEST(PatternNestingTest, DeepestAdmittedPatternFitsAWorkerStack) {
  // One level for the statement, one for each pattern.
  const std::uint32_t depth = Parser::kMaxNesting - 2;
  for (const NestingForm& form : kNestingForms) {
    SCOPED_TRACE(form.name);
    const std::string source = nested_case(form, depth);
    std::vector<std::string> errors;
    trelk::run_on_thread_with_stack(trelk::kThreadStackSize, [&] {
      errors = error_texts(parse_module_with_errors(source).errors());
    });
    const bool overflowed =
        !errors.empty() && errors.front().starts_with("Parser stack");
    EXPECT_FALSE(overflowed);
    if (form.name != "complex") {
      EXPECT_EQ(errors, std::vector<std::string>{});
    }
  }
}

TEST(PatternNestingTest, PastTheBoundTheFirstErrorSaysSo) {
  for (const NestingForm& form : kNestingForms) {
    SCOPED_TRACE(form.name);
    const std::string source = nested_case(form, 20 * Parser::kMaxNesting);
    std::vector<ParseError> errors;
    trelk::run_on_thread_with_stack(trelk::kThreadStackSize, [&] {
      errors = parse_module_with_errors(source).errors();
    });
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front().error.to_string(),
              "Parser stack overflowed - Python source too complex to parse");
  }
}

}  // namespace
}  // namespace divu
