#include "parser.h"

#include <string>

#include "invariant.h"

namespace divu {

std::string_view display_text(Clause clause) {
  switch (clause) {
    case Clause::If:
      return "`if` statement";
    case Clause::Else:
      return "`else` clause";
    case Clause::Elif:
      return "`elif` clause";
    case Clause::For:
      return "`for` statement";
    case Clause::With:
      return "`with` statement";
    case Clause::Class:
      return "`class` definition";
    case Clause::While:
      return "`while` statement";
    case Clause::FunctionDef:
      return "function definition";
    case Clause::Case:
      return "`case` block";
    case Clause::Try:
      return "`try` statement";
    case Clause::Except:
      return "`except` clause";
    case Clause::Finally:
      return "`finally` clause";
  }
  return "";
}

namespace {

// Real code takes about 5.5 bytes of tree per byte of source (the standard
// library as a whole): the arena's first block is sized for that, so that
// most files fit in one block.
std::size_t expected_tree_bytes(std::size_t source_size) {
  return source_size / 2 * 11;
}

}  // namespace

Parser::Parser(std::string_view source, ParseOptions options,
               TextSize start_offset)
    : tokens_(source, options.mode, start_offset),
      source_(source),
      prev_token_end_(start_offset),
      start_offset_(start_offset),
      options_(options),
      arena_(expected_tree_bytes(source.size())) {}

void Parser::bump_any() {
  TRELK_CHECK(!at(TokenKind::EndOfFile),
              "assertion failed: bump_any at the end of the file");
  bump(current_token_kind());
}

TokenValue Parser::bump_value(TokenKind kind) {
  TokenValue value = tokens_.take_value();
  bump(kind);
  return value;
}

void Parser::bump_soft_keyword_as_name() {
  TRELK_CHECK(at_soft_keyword(), "assertion failed: self.at_soft_keyword()");
  prev_token_end_ = current_token_range().end();
  tokens_.bump(TokenKind::Name);
  ++current_token_id_;
}

bool Parser::expect(TokenKind kind) {
  if (at(kind)) {
    bump(kind);
    return true;
  }
  add_error(ParseErrorType::expected_token(kind, current_token_kind()),
            current_token_range());
  return false;
}

void Parser::add_error(ParseErrorType error, TextRange range) {
  if (!errors_.empty() && errors_.back().location.start() == range.start()) {
    return;
  }
  if (errors_.size() >= kMaxErrors) {
    return;
  }
  errors_.push_back(ParseError{std::move(error), range});
}

void Parser::add_unsupported_syntax_error(UnsupportedSyntaxErrorKind kind,
                                          TextRange range) {
  if (is_unsupported(kind.kind, options_.target_version)) {
    unsupported_syntax_errors_.push_back(
        UnsupportedSyntaxError{kind, range, options_.target_version});
  }
}

ParserCheckpoint Parser::checkpoint() const {
  return ParserCheckpoint{
      .lexer = tokens_.lexer_checkpoint(),
      .tokens_size = tokens_.size(),
      .errors_size = errors_.size(),
      .unsupported_size = unsupported_syntax_errors_.size(),
      .current_token_id = current_token_id_,
      .prev_token_end = prev_token_end_,
      .recovery_context = recovery_context_,
  };
}

void Parser::rewind(ParserCheckpoint checkpoint) {
  tokens_.rewind(std::move(checkpoint.lexer), checkpoint.tokens_size);
  if (checkpoint.errors_size < errors_.size()) {
    errors_.erase(
        errors_.begin() + static_cast<std::ptrdiff_t>(checkpoint.errors_size),
        errors_.end());
  }
  if (checkpoint.unsupported_size < unsupported_syntax_errors_.size()) {
    unsupported_syntax_errors_.erase(
        unsupported_syntax_errors_.begin() +
            static_cast<std::ptrdiff_t>(checkpoint.unsupported_size),
        unsupported_syntax_errors_.end());
  }
  current_token_id_ = checkpoint.current_token_id;
  prev_token_end_ = checkpoint.prev_token_end;
  recovery_context_ = checkpoint.recovery_context;
}

ExprName* Parser::make_missing_name_expr() {
  ExprName* name = make<ExprName>(placeholder_range());
  name->ctx = ExprContext::Invalid;
  return name;
}

void Parser::set_expr_ctx(Expr* expr, ExprContext ctx) {
  // Iterative over the chains of starred and unary nodes; recursive only
  // into the elements of lists and tuples, whose depth the nesting bound of
  // the parse that built them limits.
  while (expr != nullptr) {
    switch (expr->kind()) {
      case NodeKind::ExprName:
        expr->as<ExprName>().ctx = ctx;
        return;
      case NodeKind::ExprAttribute:
        expr->as<ExprAttribute>().ctx = ctx;
        return;
      case NodeKind::ExprSubscript:
        expr->as<ExprSubscript>().ctx = ctx;
        return;
      case NodeKind::ExprStarred: {
        ExprStarred& starred = expr->as<ExprStarred>();
        starred.ctx = ctx;
        expr = starred.value;
        break;
      }
      case NodeKind::ExprList: {
        ExprList& list = expr->as<ExprList>();
        list.ctx = ctx;
        for (Expr* element : list.elts) {
          set_expr_ctx(element, ctx);
        }
        return;
      }
      case NodeKind::ExprTuple: {
        ExprTuple& tuple = expr->as<ExprTuple>();
        tuple.ctx = ctx;
        for (Expr* element : tuple.elts) {
          set_expr_ctx(element, ctx);
        }
        return;
      }
      case NodeKind::ExprUnaryOp:
        expr = expr->as<ExprUnaryOp>().operand;
        break;
      default:
        return;
    }
  }
}

bool Parser::is_enclosing_list_element_or_terminator() const {
  const TokenKind current = current_token_kind();
  std::uint32_t flags = recovery_context_.bits();
  while (flags != 0) {
    const int index = __builtin_ctz(flags);
    flags &= flags - 1;
    const auto kind = static_cast<RecoveryContextKind>(index);
    if (list_terminator_kind(kind, current) != ListTerminatorKind::None ||
        is_list_element(kind, current)) {
      return true;
    }
  }
  return false;
}

void Parser::skip_to_end() {
  while (!at(TokenKind::EndOfFile)) {
    bump_any();
  }
}

void Parser::overflow_nesting() {
  add_error(OtherParseError::ParserStackOverflow, current_token_range());
  skip_to_end();
}

}  // namespace divu
