// Statement dispatch, the `async` prefix, what may follow a simple statement
// on its line, and the blocks of compound statements.

#include <string>

#include "parser.h"

namespace divu {
namespace {

// How a `match` token is read, told by the two tokens after it.
enum class MatchStart : std::uint8_t {
  kKeyword,  // a match statement, without looking further
  kName,     // the name `match`
  kTry,      // only a speculative parse of the subject can tell
};

MatchStart classify_match(Parser& parser) {
  const auto [first, second] = parser.peek2();
  switch (first) {
    case TokenKind::Name:
    case TokenKind::Int:
    case TokenKind::Float:
    case TokenKind::Complex:
    case TokenKind::String:
    case TokenKind::FStringStart:
    case TokenKind::TStringStart:
    case TokenKind::Lbrace:
    case TokenKind::Tilde:
    case TokenKind::Ellipsis:
    case TokenKind::Await:
    case TokenKind::Lambda:
    case TokenKind::Yield:
    case TokenKind::None:
    case TokenKind::True:
    case TokenKind::False:
    case TokenKind::Case:
    case TokenKind::Match:
    case TokenKind::Type:
      return MatchStart::kKeyword;
    case TokenKind::Not:
      // `match not in y` compares the name; `match not x:` negates a subject.
      return second == TokenKind::In ? MatchStart::kName : MatchStart::kKeyword;
    case TokenKind::Lpar:
    case TokenKind::Lsqb:
    case TokenKind::Plus:
    case TokenKind::Minus:
    case TokenKind::Star:
      return MatchStart::kTry;
    default:
      return MatchStart::kName;
  }
}

// The speculative half of the decision: reads a subject after `match` and
// says whether a block of cases follows it (`match (x):` with a line end,
// or a line end before an indented `case`). Leaves the parser as it found
// it, whatever was read and recorded on the way.
bool subject_opens_match_block(Parser& parser) {
  const ParserCheckpoint checkpoint = parser.checkpoint();
  parser.bump(TokenKind::Match);
  parser.parse_named_expression_or_higher(kElementContext);
  if (parser.at(TokenKind::Comma)) {
    parser.bump(TokenKind::Comma);
    parser.parse_comma_separated_list(
        RecoveryContextKind::TupleElementsUnparenthesized,
        [&] { parser.parse_named_expression_or_higher(kElementContext); });
  }
  bool opens = false;
  if (parser.at(TokenKind::Colon)) {
    opens = parser.peek() == TokenKind::Newline;
  } else if (parser.at(TokenKind::Newline)) {
    opens =
        parser.peek2() == std::make_pair(TokenKind::Indent, TokenKind::Case);
  }
  parser.rewind(checkpoint);
  return opens;
}

// Whether the `match` at the current token starts a match statement. The
// parser is left where it was.
bool starts_match_statement(Parser& parser) {
  switch (classify_match(parser)) {
    case MatchStart::kKeyword:
      return true;
    case MatchStart::kName:
      return false;
    case MatchStart::kTry:
      return subject_opens_match_block(parser);
  }
  return false;
}

// Whether the current token starts a compound statement. A `match` does so
// only where it begins a match statement: after `a;`, `match = 1` and
// `match(x)` are simple statements, as Python reads them.
bool at_compound_statement(Parser& parser) {
  if (!parser.at_ts(kCompoundStatementStart)) {
    return false;
  }
  return !parser.at(TokenKind::Match) || starts_match_statement(parser);
}

// What stands for a statement that was not read because the nesting bound
// was passed (the rest of the text is consumed by then).
Stmt* make_missing_statement(Parser& parser) {
  ExprName* name = parser.make_missing_name_expr();
  StmtExpr* stmt = parser.make<StmtExpr>(name->range);
  stmt->value = name;
  return stmt;
}

}  // namespace

Stmt* Parser::parse_statement() {
  NestingScope scope(*this);
  if (!scope) {
    return make_missing_statement(*this);
  }
  TextSize start = current_token_start();
  while (at(TokenKind::Async)) {
    const TextSize async_start = current_token_start();
    bump(TokenKind::Async);
    switch (current_token_kind()) {
      case TokenKind::With: {
        Stmt* stmt = parse_with_statement(async_start);
        if (auto* with = stmt->dyn_cast<StmtWith>()) {
          with->is_async = true;
        }
        return stmt;
      }
      case TokenKind::For: {
        Stmt* stmt = parse_for_statement(async_start);
        if (auto* loop = stmt->dyn_cast<StmtFor>()) {
          loop->is_async = true;
        }
        return stmt;
      }
      case TokenKind::Def: {
        Stmt* stmt = parse_function_definition({}, async_start);
        if (auto* function = stmt->dyn_cast<StmtFunctionDef>()) {
          function->is_async = true;
        }
        return stmt;
      }
      default:
        // `async` itself leaves nothing in the tree: the statement starts
        // at the token after it.
        add_error(
            ParseErrorType::unexpected_token_after_async(current_token_kind()),
            current_token_range());
        start = current_token_start();
        break;
    }
  }
  switch (current_token_kind()) {
    case TokenKind::At:
      return parse_decorated_definition(start);
    case TokenKind::Class:
      return parse_class_definition({}, start);
    case TokenKind::Def:
      return parse_function_definition({}, start);
    case TokenKind::For:
      return parse_for_statement(start);
    case TokenKind::If:
      return parse_if_statement();
    case TokenKind::Try:
      return parse_try_statement();
    case TokenKind::While:
      return parse_while_statement();
    case TokenKind::With:
      return parse_with_statement(start);
    case TokenKind::Match:
      if (starts_match_statement(*this)) {
        return parse_match_statement(start);
      }
      break;
    default:
      break;
  }

  // One simple statement per call: the next one on the same line is the
  // enclosing list's next element.
  Stmt* stmt = parse_simple_statement();
  if (eat(TokenKind::Newline)) {
    return stmt;
  }
  if (eat(TokenKind::Semi)) {
    if (!eat(TokenKind::Newline) && at_compound_statement(*this)) {
      add_error(ParseErrorKind::SimpleAndCompoundStatementOnSameLine,
                current_token_range());
    }
    return stmt;
  }
  if (at_ts(kSimpleStatementStart)) {
    add_error(ParseErrorKind::SimpleStatementsOnSameLine,
              current_token_range());
  } else if (at_ts(kCompoundStatementStart)) {
    add_error(ParseErrorKind::SimpleAndCompoundStatementOnSameLine,
              current_token_range());
  }
  return stmt;
}

std::span<Stmt*> Parser::parse_body(Clause clause) {
  if (at(TokenKind::Newline)) {
    const TextRange newline = current_token_range();
    bump(TokenKind::Newline);
    if (at(TokenKind::Indent)) {
      // Python's own tokenizer refuses a 100th indentation level; so does
      // this parser, with its one message for input nested too deep.
      if (indented_blocks_ >= kMaxIndentedBlocks) [[unlikely]] {
        overflow_nesting();
        return {};
      }
      bump(TokenKind::Indent);
      ++indented_blocks_;
      ListBuilder<Stmt*> body(*this);
      parse_list(RecoveryContextKind::BlockStatements,
                 [&] { body.push(parse_statement()); });
      std::span<Stmt*> statements = body.finish();
      --indented_blocks_;
      expect(TokenKind::Dedent);
      return statements;
    }
    // A Dedent or the end of the file has an empty range: point at the
    // line end of the header instead.
    const TextRange range =
        current_token_range().is_empty() ? newline : current_token_range();
    add_error(ParseErrorType::other(OtherParseError::ExpectedIndentedBlock,
                                    display_text(clause)),
              range);
    return {};
  }
  if (!at_ts(kSimpleStatementStart)) {
    add_error(OtherParseError::ExpectedSimpleStatement, current_token_range());
    return {};
  }

  // The simple statements after the colon, all in this body: unlike a
  // statement list, the body takes `if x: a; b` whole and needs the line end.
  ListBuilder<Stmt*> body(*this);
  ParserProgress progress;
  while (true) {
    progress.assert_progressing(*this);
    body.push(parse_simple_statement());
    if (eat(TokenKind::Semi)) {
      if (!at_ts(kSimpleStatementStart)) {
        break;
      }
      continue;
    }
    if (!at_ts(kSimpleStatementStart)) {
      break;
    }
    add_error(ParseErrorKind::SimpleStatementsOnSameLine,
              current_token_range());
  }
  if (!eat(TokenKind::Newline)) {
    if (at_ts(kCompoundStatementStart)) {
      add_error(ParseErrorKind::SimpleAndCompoundStatementOnSameLine,
                current_token_range());
    } else {
      add_error(ParseErrorType::expected_token(TokenKind::Newline,
                                               current_token_kind()),
                current_token_range());
    }
  }
  return body.finish();
}

}  // namespace divu
