// The parser's own machinery, below the grammar: the token list with trivia
// set aside, the drop rule, checkpoints, the progress guard, the list loops
// with their recovery, the nesting bound, and the ranges of nodes built
// around placeholders.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "invariant.h"
#include "node_children.h"
#include "parse_module.h"
#include "parser.h"

namespace divu {
namespace {

std::vector<std::string> error_texts(const Parser& parser) {
  std::vector<std::string> texts;
  for (const ParseError& error : parser.errors()) {
    texts.push_back(error.to_string());
  }
  return texts;
}

TEST(TokenSourceTest, TriviaIsListedButNeverCurrent) {
  Parser parser("# head\nx = 1  # note\n", ParseOptions{});
  // The leading comment and its line end are listed before anything is
  // consumed; the grammar starts at `x`.
  ASSERT_EQ(parser.token_source().tokens().size(), 2u);
  EXPECT_EQ(parser.token_source().tokens()[0].kind, TokenKind::Comment);
  EXPECT_TRUE(parser.at(TokenKind::Name));
  parser.bump(TokenKind::Name);
  parser.bump(TokenKind::Equal);
  parser.bump(TokenKind::Int);
  // The comment after `1` went into the list when `1` was consumed; the
  // statement ends at `1`, not at the comment or the newline.
  EXPECT_TRUE(parser.at(TokenKind::Newline));
  EXPECT_EQ(parser.prev_token_end(), 12u);
  EXPECT_EQ(parser.token_source().tokens().back().kind, TokenKind::Comment);
  parser.bump(TokenKind::Newline);
  EXPECT_EQ(parser.prev_token_end(), 12u);
}

TEST(TokenSourceTest, SoftKeywordConsumedAsNameIsListedAsName) {
  Parser parser("match = 1", ParseOptions{});
  parser.bump_soft_keyword_as_name();
  EXPECT_EQ(parser.token_source().tokens().back().kind, TokenKind::Name);
  EXPECT_THROW(parser.bump_soft_keyword_as_name(), trelk::InvariantFailure);
}

TEST(TokenSourceTest, PeekChangesNothing) {
  Parser parser("a # c\n", ParseOptions{.mode = Mode::Expression});
  const std::size_t listed = parser.token_source().tokens().size();
  EXPECT_EQ(parser.peek(), TokenKind::Newline);
  EXPECT_EQ(parser.peek2(),
            std::make_pair(TokenKind::Newline, TokenKind::EndOfFile));
  EXPECT_TRUE(parser.at(TokenKind::Name));
  EXPECT_EQ(parser.token_source().tokens().size(), listed);
}

TEST(ParserTest, DropRuleComparesOnlyWithTheLastStart) {
  Parser parser("", ParseOptions{});
  const auto other = [](const char* text) {
    return ParseErrorType::other(text);
  };
  parser.add_error(other("first"), TextRange(10, 11));
  parser.add_error(other("same start"), TextRange(10, 20));
  parser.add_error(other("later"), TextRange(12, 13));
  parser.add_error(other("back at 10"), TextRange(10, 12));
  EXPECT_EQ(error_texts(parser),
            (std::vector<std::string>{"first at byte range 10..11",
                                      "later at byte range 12..13",
                                      "back at 10 at byte range 10..12"}));
}

TEST(ParserTest, TwoFailedExpectsAtOneTokenRecordOneError) {
  Parser parser("a", ParseOptions{});
  EXPECT_FALSE(parser.expect(TokenKind::Lpar));
  EXPECT_FALSE(parser.expect(TokenKind::Colon));
  EXPECT_EQ(error_texts(parser),
            (std::vector<std::string>{
                "Expected `(`, found name at byte range 0..1"}));
}

TEST(ParserTest, ErrorsAreBounded) {
  Parser parser("", ParseOptions{});
  for (TextSize offset = 0; offset < 5000; ++offset) {
    parser.add_error(ParseErrorKind::EmptySlice, TextRange(offset, offset));
  }
  EXPECT_EQ(parser.errors().size(), Parser::kMaxErrors);
  EXPECT_EQ(parser.errors().front().location, TextRange(0, 0));
}

TEST(ParserTest, RewindRestoresEverything) {
  Parser parser("a (b) c", ParseOptions{.target_version = {3, 10}});
  parser.bump(TokenKind::Name);
  const ParserCheckpoint checkpoint = parser.checkpoint();
  const std::size_t listed = parser.token_source().tokens().size();
  parser.bump(TokenKind::Lpar);
  parser.bump(TokenKind::Name);
  parser.add_error(ParseErrorKind::EmptySlice, TextRange(2, 3));
  parser.add_unsupported_syntax_error(UnsupportedSyntaxKind::TypeParameterList,
                                      TextRange(2, 3));
  ASSERT_EQ(parser.unsupported_syntax_errors().size(), 1u);
  parser.rewind(checkpoint);
  EXPECT_TRUE(parser.at(TokenKind::Lpar));
  EXPECT_EQ(parser.current_token_range(), TextRange(2, 3));
  EXPECT_EQ(parser.prev_token_end(), 1u);
  EXPECT_EQ(parser.current_token_id(), 1u);
  EXPECT_TRUE(parser.errors().empty());
  EXPECT_TRUE(parser.unsupported_syntax_errors().empty());
  EXPECT_EQ(parser.token_source().tokens().size(), listed);
}

TEST(ParserTest, VersionGatesFollowTheTarget) {
  Parser parser("", ParseOptions{.target_version = {3, 10}});
  parser.add_unsupported_syntax_error(UnsupportedSyntaxKind::NamedExpression,
                                      TextRange(0, 0));
  parser.add_unsupported_syntax_error(
      UnsupportedSyntaxKind::ParenthesizedKeywordName, TextRange(1, 1));
  parser.add_unsupported_syntax_error(UnsupportedSyntaxKind::TemplateString,
                                      TextRange(2, 2));
  parser.add_unsupported_syntax_error(UnsupportedSyntaxKind::TemplateString,
                                      TextRange(2, 2));
  ASSERT_EQ(parser.unsupported_syntax_errors().size(), 3u);
  EXPECT_EQ(parser.unsupported_syntax_errors()[0].kind.kind,
            UnsupportedSyntaxKind::ParenthesizedKeywordName);
  EXPECT_EQ(parser.unsupported_syntax_errors()[2].range, TextRange(2, 2));
}

TEST(ParserTest, NodeRangeAfterNothingConsumedIsEmptyAtPrevTokenEnd) {
  Parser parser("ab cd", ParseOptions{});
  parser.bump(TokenKind::Name);
  EXPECT_EQ(parser.node_range(3), TextRange(2, 2));
  EXPECT_EQ(parser.node_range(0), TextRange(0, 2));
}

// The placeholder for a missing first operand lies at the end of the last
// consumed token, before the space or skipped token in front of the node
// that holds it; that node and every node around it must still hold it.
template <class T>
void expect_children_inside_parents(const Parsed<T>& parsed) {
  std::vector<TextRange> path;
  walk_preorder(parsed.syntax(), [&](const Node& node, std::uint32_t depth) {
    path.resize(depth);
    if (!path.empty()) {
      EXPECT_TRUE(path.back().contains_range(node.range))
          << node_kind_name(node.kind()) << " " << node.range.to_string()
          << " outside " << path.back().to_string();
    }
    path.push_back(node.range);
  });
}

TEST(ParserTest, NodesAroundALeadingPlaceholderHoldIt) {
  for (const std::string_view source :
       {": ** x", "\n**", "async .", "async , x", "async < x", "async = 1",
        "async ** r, y", "@d\nx = 1"}) {
    SCOPED_TRACE(source);
    const Parsed<ModModule> module = parse_module_with_errors(source);
    EXPECT_FALSE(module.errors().empty());
    expect_children_inside_parents(module);
    expect_children_inside_parents(parse_expression(source));
  }
  // The statement starts at its missing left operand, not at the operator;
  // a statement after a decorator with nothing to decorate keeps its start.
  EXPECT_EQ(parse_module_with_errors(": ** x").syntax().body[0]->range,
            TextRange(1, 6));
  EXPECT_EQ(parse_module_with_errors("@d\nx = 1").syntax().body[1]->range,
            TextRange(3, 8));
}

TEST(ParserTest, ProgressGuardStopsALoopThatConsumesNothing) {
  Parser parser("x", ParseOptions{});
  ParserProgress progress;
  progress.assert_progressing(parser);
  try {
    progress.assert_progressing(parser);
    FAIL() << "no failure";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_STREQ(failure.what(),
                 "The parser is no longer progressing. Stuck at 'x' Name:0..1");
  }
}

// A comma-separated list of names read with a trivial element parser, as the
// grammar's lists of identifiers are.
struct ListCase {
  std::string_view source;
  RecoveryContextKind kind;
  std::vector<std::string> errors;
  std::size_t elements;
  bool trailing_comma = false;
};

TEST(ListTest, CommaSeparatedRecovery) {
  const ListCase cases[] = {
      {.source = "a b\n",
       .kind = RecoveryContextKind::Identifiers,
       .errors = {"Expected `,`, found name at byte range 2..3"},
       .elements = 2},
      {.source = "a, , b\n",
       .kind = RecoveryContextKind::Identifiers,
       .errors = {"Expected an identifier at byte range 3..4"},
       .elements = 2},
      {.source = "= a\n",
       .kind = RecoveryContextKind::Identifiers,
       .errors = {"Expected an identifier at byte range 0..1"},
       .elements = 1},
      {.source = "a,\n",
       .kind = RecoveryContextKind::Identifiers,
       .errors = {"Trailing comma not allowed at byte range 1..2"},
       .elements = 1,
       .trailing_comma = true},
      {.source = "a, b,\n",
       .kind = RecoveryContextKind::DeleteTargets,
       .errors = {},
       .elements = 2,
       .trailing_comma = true},
      {.source = "a = b\n",
       .kind = RecoveryContextKind::Identifiers,
       .errors = {"Expected `,`, found `=` at byte range 2..3"},
       .elements = 2},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.source);
    Parser parser(c.source, ParseOptions{});
    std::size_t elements = 0;
    const bool trailing = parser.parse_comma_separated_list(c.kind, [&] {
      parser.bump(TokenKind::Name);
      ++elements;
    });
    EXPECT_EQ(error_texts(parser), c.errors);
    EXPECT_EQ(elements, c.elements);
    EXPECT_EQ(trailing, c.trailing_comma);
    EXPECT_TRUE(parser.at(TokenKind::Newline));
  }
}

TEST(ListTest, InnerListLeavesAnEnclosingTerminatorAndRelexesTheLineEnd) {
  // An unclosed `[`: the newline inside it is not logical until the list
  // gives up at `def`, which the enclosing statement list can start with.
  Parser parser("[a\ndef", ParseOptions{});
  parser.parse_list(RecoveryContextKind::ModuleStatements, [&] {
    parser.bump(TokenKind::Lsqb);
    parser.parse_comma_separated_list(RecoveryContextKind::ListElements,
                                      [&] { parser.bump(TokenKind::Name); });
    EXPECT_TRUE(parser.at(TokenKind::Newline));
    EXPECT_TRUE(parser.errors().empty());
    parser.bump(TokenKind::Newline);
    parser.bump(TokenKind::Def);
  });
  EXPECT_TRUE(parser.at(TokenKind::EndOfFile));
}

TEST(ListTest, PlainListReportsAndSkipsWhatStartsNoStatement) {
  // `)` and its line end start no statement; nor does the dedent at the end.
  Parser parser(")\n  x\n", ParseOptions{});
  std::size_t statements = 0;
  parser.parse_list(RecoveryContextKind::ModuleStatements, [&] {
    parser.bump(TokenKind::Name);
    ++statements;
    parser.eat(TokenKind::Newline);
  });
  EXPECT_EQ(statements, 1u);
  EXPECT_EQ(
      error_texts(parser),
      (std::vector<std::string>{"Expected a statement at byte range 0..1",
                                "Expected a statement at byte range 1..2",
                                "Unexpected indentation at byte range 2..4",
                                "Expected a statement at byte range 6..6"}));
}

TEST(RecoveryTest, KindsAndFlagsAreOneToOne) {
  std::uint32_t seen = 0;
  for (int index = 0; index < kRecoveryContextKindCount; ++index) {
    const std::uint32_t flag =
        RecoveryContext::flag(static_cast<RecoveryContextKind>(index));
    EXPECT_EQ(seen & flag, 0u);
    seen |= flag;
  }
  EXPECT_EQ(seen, 0xFFFFFFFFu);
  EXPECT_EQ(
      create_error(RecoveryContextKind::AssignmentTargets, TokenKind::Class)
          .to_string(),
      "The keyword is not allowed as a variable declaration name");
  EXPECT_EQ(create_error(RecoveryContextKind::TStringElementsInFormatSpec,
                         TokenKind::Name)
                .to_string(),
            "Expected an t-string element or a '}'");
  EXPECT_EQ(list_terminator_kind(RecoveryContextKind::FunctionParameters,
                                 TokenKind::Def),
            ListTerminatorKind::ErrorRecovery);
  EXPECT_EQ(
      list_terminator_kind(RecoveryContextKind::Elif, TokenKind::EndOfFile),
      ListTerminatorKind::Regular);
}

TEST(NestingTest, PastTheBoundTheRestIsConsumedWithOneError) {
  Parser parser("a b c", ParseOptions{});
  std::vector<std::unique_ptr<Parser::NestingScope>> scopes;
  for (std::uint32_t level = 0; level < Parser::kMaxNesting; ++level) {
    scopes.push_back(std::make_unique<Parser::NestingScope>(parser));
    ASSERT_TRUE(*scopes.back());
  }
  parser.bump(TokenKind::Name);
  Parser::NestingScope past(parser);
  EXPECT_FALSE(past);
  EXPECT_TRUE(parser.at(TokenKind::EndOfFile));
  EXPECT_EQ(error_texts(parser),
            (std::vector<std::string>{
                "Parser stack overflowed - Python source too complex to parse "
                "at byte range 2..3"}));
}

}  // namespace
}  // namespace divu
