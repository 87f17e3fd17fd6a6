// The compound statements other than definitions and `match`: if, while,
// for, try and with. Each reads its blocks with parse_body after the colon;
// a missing colon is reported by expect and the block is read all the same.
//
// The one subtle part is `with (`: the parenthesis may open a list of with
// items or a parenthesized expression (a tuple, a generator, a `yield`), and
// only the tokens after the closing parenthesis tell which. The items are
// read speculatively as items first and the parser rewinds when they turn
// out to be an expression.

#include <optional>
#include <string>

#include "parser.h"

namespace divu {
namespace {

bool is_unparenthesized_tuple(const Expr* expr) {
  const auto* tuple = expr->dyn_cast<ExprTuple>();
  return tuple != nullptr && !tuple->parenthesized;
}

// `elif test: body` or `else: body`.
ElifElseClause parse_elif_or_else_clause(Parser& parser, TokenKind keyword) {
  const TextSize start = parser.current_token_start();
  parser.bump(keyword);
  ElifElseClause clause;
  if (keyword == TokenKind::Elif) {
    clause.test = parser.parse_named_expression_or_higher(kNoContext).expr;
  }
  parser.expect(TokenKind::Colon);
  clause.body = parser.parse_body(keyword == TokenKind::Elif ? Clause::Elif
                                                             : Clause::Else);
  clause.range = parser.node_range(start);
  return clause;
}

// The optional `else:` block of a loop or a try statement; empty when the
// current token is not `else`.
std::span<Stmt*> parse_else_block(Parser& parser) {
  if (!parser.eat(TokenKind::Else)) {
    return {};
  }
  parser.expect(TokenKind::Colon);
  return parser.parse_body(Clause::Else);
}

// One handler of a try statement, with whether it was written `except*`.
struct ParsedHandler {
  ExceptHandler* handler;
  bool is_star;
};

ParsedHandler parse_except_clause(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Except);
  std::optional<TextRange> star;
  if (parser.at(TokenKind::Star)) {
    star = parser.current_token_range();
    parser.bump(TokenKind::Star);
  }

  Expr* type = nullptr;
  if (!parser.at_expr()) {
    if (star || parser.at(TokenKind::As)) {
      parser.add_error(OtherParseError::ExpectedExceptionTypes,
                       parser.current_token_range());
    }
  } else {
    type = parser.parse_expression_list(kNoContext).expr;
    if (is_unparenthesized_tuple(type)) {
      if (parser.at(TokenKind::As)) {
        parser.add_error(OtherParseError::UnparenthesizedExceptionTypes,
                         type->range);
      } else {
        parser.add_unsupported_syntax_error(
            UnsupportedSyntaxKind::UnparenthesizedExceptTypes, type->range);
      }
    }
  }

  Identifier* name = nullptr;
  if (parser.eat(TokenKind::As)) {
    if (parser.at_name_or_soft_keyword()) {
      name = parser.arena().make<Identifier>(parser.parse_identifier());
    } else {
      parser.add_error(OtherParseError::ExpectedNameAfterAs,
                       parser.current_token_range());
    }
  }

  parser.expect(TokenKind::Colon);
  std::span<Stmt*> body = parser.parse_body(Clause::Except);
  auto* handler =
      parser.make<ExceptHandlerExceptHandler>(parser.node_range(start));
  handler->type = type;
  handler->name = name;
  handler->body = body;
  if (star) {
    parser.add_unsupported_syntax_error(UnsupportedSyntaxKind::ExceptStarClause,
                                        *star);
  }
  return ParsedHandler{.handler = handler, .is_star = star.has_value()};
}

// A with item while it is read: the item and whether its context
// expression was written in parentheses of its own.
struct ParsedWithItem {
  WithItem item;
  bool is_parenthesized;
};

enum class WithItemMode : std::uint8_t {
  // Inside `with (`, before the form is known.
  kSpeculative,
  kRegular,
};

ParsedWithItem parse_with_item(Parser& parser, WithItemMode mode) {
  const TextSize start = parser.current_token_start();
  const ParsedExpr context =
      mode == WithItemMode::kSpeculative
          ? parser.parse_named_expression_or_higher(kValueContext)
          : parser.parse_conditional_expression_or_higher_impl(kNoContext);
  ParsedWithItem parsed{.item = WithItem(),
                        .is_parenthesized = context.is_parenthesized};
  parsed.item.context_expr = context.expr;
  if (parser.eat(TokenKind::As)) {
    Expr* target =
        parser.parse_conditional_expression_or_higher_impl(kArgumentContext)
            .expr;
    parser.validate_assignment_target(target);
    Parser::set_expr_ctx(target, ExprContext::Store);
    parsed.item.optional_vars = target;
  }
  parsed.item.range = parser.node_range(start);
  return parsed;
}

// The error for a context expression that may not stand unparenthesized
// among parenthesized with items, if it is one.
std::optional<ParseErrorType> unparenthesized_item_error(const Expr* expr) {
  switch (expr->kind()) {
    case NodeKind::ExprYield:
    case NodeKind::ExprYieldFrom:
      return ParseErrorKind::InvalidYieldUsage;
    case NodeKind::ExprNamed:
      return ParseErrorKind::UnparenthesizedNamedExpression;
    case NodeKind::ExprStarred:
      return ParseErrorKind::InvalidStarredUsage;
    default:
      return std::nullopt;
  }
}

// The with items of a list of `kind`, read in regular mode.
std::span<WithItem> parse_with_items(Parser& parser, RecoveryContextKind kind) {
  Parser::ListBuilder<WithItem> items(parser);
  parser.parse_comma_separated_list(kind, [&] {
    const WithItem item = parse_with_item(parser, WithItemMode::kRegular).item;
    items.push(item);
  });
  return items.finish();
}

// Whether the speculative items of `with (...)` are items: without a
// target, `with (a, b):` holds items only when the parenthesis closes the
// header (`with (a, b) as c:` and `with (a, b).c:` are expressions), and
// `with ():` and `with (yield):` are expressions, which no item list holds.
bool is_with_items_form(Parser& parser,
                        Parser::ListBuilder<ParsedWithItem>& parsed) {
  if (!parser.at(TokenKind::Rpar) || parsed.empty()) {
    return false;
  }
  const TokenKind next = parser.peek();
  if (next != TokenKind::Colon && next != TokenKind::Newline) {
    return false;
  }
  for (std::size_t index = 0; index < parsed.size(); ++index) {
    const ParsedWithItem& item = parsed[index];
    if (!item.is_parenthesized &&
        unparenthesized_item_error(item.item.context_expr)) {
      return false;
    }
  }
  return true;
}

// At `with (`: the items of `with (a, b as c):` when the parenthesis opens a
// list of items; otherwise nothing, with the parser put back at the `(` and
// everything recorded on the way dropped.
std::optional<std::span<WithItem>> try_parse_parenthesized_with_items(
    Parser& parser) {
  const ParserCheckpoint checkpoint = parser.checkpoint();
  const TextRange lpar = parser.current_token_range();
  parser.bump(TokenKind::Lpar);

  std::optional<std::span<WithItem>> items;
  bool trailing_comma = false;
  {
    Parser::ListBuilder<ParsedWithItem> parsed(parser);
    bool has_target = false;
    trailing_comma = parser.parse_comma_separated_list(
        RecoveryContextKind::WithItemsParenthesized, [&] {
          const ParsedWithItem item =
              parse_with_item(parser, WithItemMode::kSpeculative);
          has_target = has_target || item.item.optional_vars != nullptr;
          parsed.push(item);
        });
    if (has_target) {
      // A target after `as` settles it: these are items, and an item that
      // only an expression could hold is reported.
      for (std::size_t index = 0; index < parsed.size(); ++index) {
        const ParsedWithItem& item = parsed[index];
        if (item.is_parenthesized) {
          continue;
        }
        if (auto error = unparenthesized_item_error(item.item.context_expr)) {
          parser.add_error(std::move(*error), item.item.context_expr->range);
        }
      }
    }
    if (has_target || is_with_items_form(parser, parsed)) {
      std::span<WithItem> kept =
          parser.arena().make_list<WithItem>(parsed.size());
      for (std::size_t index = 0; index < parsed.size(); ++index) {
        kept[index] = parsed[index].item;
      }
      items = kept;
    }
  }
  if (!items) {
    parser.rewind(checkpoint);
    return std::nullopt;
  }
  if (items->size() >= 2 || trailing_comma) {
    parser.add_unsupported_syntax_error(
        UnsupportedSyntaxKind::ParenthesizedWithItems, lpar);
  }
  parser.expect(TokenKind::Rpar);
  return items;
}

}  // namespace

Stmt* Parser::parse_if_statement() {
  const TextSize start = current_token_start();
  bump(TokenKind::If);
  Expr* test = parse_named_expression_or_higher(kNoContext).expr;
  expect(TokenKind::Colon);
  std::span<Stmt*> body = parse_body(Clause::If);

  ListBuilder<ElifElseClause> clauses(*this);
  parse_clauses(RecoveryContextKind::Elif, [&] {
    const ElifElseClause clause =
        parse_elif_or_else_clause(*this, TokenKind::Elif);
    clauses.push(clause);
  });
  if (at(TokenKind::Else)) {
    const ElifElseClause clause =
        parse_elif_or_else_clause(*this, TokenKind::Else);
    clauses.push(clause);
  }

  auto* stmt = make<StmtIf>(node_range(start));
  stmt->test = test;
  stmt->body = body;
  stmt->elif_else_clauses = clauses.finish();
  return stmt;
}

Stmt* Parser::parse_while_statement() {
  const TextSize start = current_token_start();
  bump(TokenKind::While);
  Expr* test = parse_named_expression_or_higher(kNoContext).expr;
  expect(TokenKind::Colon);
  std::span<Stmt*> body = parse_body(Clause::While);
  std::span<Stmt*> orelse = parse_else_block(*this);

  auto* stmt = make<StmtWhile>(node_range(start));
  stmt->test = test;
  stmt->body = body;
  stmt->orelse = orelse;
  return stmt;
}

Stmt* Parser::parse_for_statement(TextSize start) {
  bump(TokenKind::For);
  Expr* target = parse_expression_list(kForTargetContext).expr;
  set_expr_ctx(target, ExprContext::Store);
  validate_assignment_target(target);
  expect(TokenKind::In);
  Expr* iter = parse_expression_list(kElementContext).expr;
  check_tuple_unpacking(
      iter,
      UnsupportedSyntaxErrorKind{
          .kind = UnsupportedSyntaxKind::UnparenthesizedForIterableUnpacking,
          .variant = 0,
          .description = {}});
  expect(TokenKind::Colon);
  std::span<Stmt*> body = parse_body(Clause::For);
  std::span<Stmt*> orelse = parse_else_block(*this);

  auto* stmt = make<StmtFor>(node_range(start));
  stmt->target = target;
  stmt->iter = iter;
  stmt->body = body;
  stmt->orelse = orelse;
  return stmt;
}

Stmt* Parser::parse_try_statement() {
  const TextSize start = current_token_start();
  bump(TokenKind::Try);
  expect(TokenKind::Colon);
  std::span<Stmt*> body = parse_body(Clause::Try);
  const bool has_handlers = at(TokenKind::Except);

  std::span<ExceptHandler*> handlers;
  std::optional<bool> is_star;
  {
    ListBuilder<ParsedHandler> parsed(*this);
    parse_clauses(RecoveryContextKind::Except, [&] {
      const ParsedHandler handler = parse_except_clause(*this);
      parsed.push(handler);
    });
    // The first handler decides; each that differs from it is reported,
    // once the clause loop is done.
    handlers = arena().make_list<ExceptHandler*>(parsed.size());
    for (std::size_t index = 0; index < parsed.size(); ++index) {
      const ParsedHandler& handler = parsed[index];
      handlers[index] = handler.handler;
      if (!is_star) {
        is_star = handler.is_star;
      } else if (handler.is_star != *is_star) {
        add_error(OtherParseError::MixedExceptAndExceptStar,
                  handler.handler->range);
      }
    }
  }

  const std::optional<TextRange> else_keyword =
      at(TokenKind::Else) ? std::optional(current_token_range()) : std::nullopt;
  std::span<Stmt*> orelse = parse_else_block(*this);
  std::span<Stmt*> finalbody;
  const bool has_finally = eat(TokenKind::Finally);
  if (has_finally) {
    expect(TokenKind::Colon);
    finalbody = parse_body(Clause::Finally);
    if (at(TokenKind::Else)) {
      add_error(OtherParseError::ElseAfterFinally, current_token_range());
    }
  }
  // An `else` block needs handlers, with or without a `finally` block:
  // `try: ... else: ... finally: ...` is a syntax error in Python too.
  if (!has_handlers && (!has_finally || else_keyword)) {
    add_error(OtherParseError::ExpectedExceptOrFinally,
              has_finally ? *else_keyword : current_token_range());
  }

  auto* stmt = make<StmtTry>(node_range(start));
  stmt->body = body;
  stmt->handlers = handlers;
  stmt->orelse = orelse;
  stmt->finalbody = finalbody;
  stmt->is_star = is_star.value_or(false);
  return stmt;
}

Stmt* Parser::parse_with_statement(TextSize start) {
  bump(TokenKind::With);
  std::span<WithItem> items;
  if (!at_expr()) {
    add_error(OtherParseError::ExpectedWithItem, current_token_range());
  } else if (at(TokenKind::Lpar)) {
    if (auto parenthesized = try_parse_parenthesized_with_items(*this)) {
      items = *parenthesized;
    } else {
      items = parse_with_items(
          *this, RecoveryContextKind::WithItemsParenthesizedExpression);
    }
  } else {
    items =
        parse_with_items(*this, RecoveryContextKind::WithItemsUnparenthesized);
  }
  expect(TokenKind::Colon);
  std::span<Stmt*> body = parse_body(Clause::With);

  auto* stmt = make<StmtWith>(node_range(start));
  stmt->items = items;
  stmt->body = body;
  return stmt;
}

}  // namespace divu
