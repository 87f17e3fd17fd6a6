// The simple statements: expression statements and assignments, return,
// raise, assert, del, pass, break, continue, global, nonlocal, imports, type
// aliases and IPython escape commands, with the target checks they share.
// None of them consumes its line end.

#include <optional>
#include <string>
#include <vector>

#include "parser.h"

namespace divu {
namespace {

// The operator of an augmented-assignment token.
std::optional<Operator> augmented_operator(TokenKind kind) {
  switch (kind) {
    case TokenKind::PlusEqual:
      return Operator::Add;
    case TokenKind::MinusEqual:
      return Operator::Sub;
    case TokenKind::StarEqual:
      return Operator::Mult;
    case TokenKind::AtEqual:
      return Operator::MatMult;
    case TokenKind::SlashEqual:
      return Operator::Div;
    case TokenKind::PercentEqual:
      return Operator::Mod;
    case TokenKind::DoubleStarEqual:
      return Operator::Pow;
    case TokenKind::LeftShiftEqual:
      return Operator::LShift;
    case TokenKind::RightShiftEqual:
      return Operator::RShift;
    case TokenKind::VbarEqual:
      return Operator::BitOr;
    case TokenKind::CircumflexEqual:
      return Operator::BitXor;
    case TokenKind::AmperEqual:
      return Operator::BitAnd;
    case TokenKind::DoubleSlashEqual:
      return Operator::FloorDiv;
    default:
      return std::nullopt;
  }
}

bool is_single_target(const Expr* expr) {
  return expr->is<ExprName>() || expr->is<ExprAttribute>() ||
         expr->is<ExprSubscript>();
}

bool is_unparenthesized_tuple(const Expr* expr) {
  const auto* tuple = expr->dyn_cast<ExprTuple>();
  return tuple != nullptr && !tuple->parenthesized;
}

// A keyword statement with nothing after the keyword.
template <class T>
Stmt* parse_keyword_statement(Parser& parser, TokenKind keyword) {
  const TextSize start = parser.current_token_start();
  parser.bump(keyword);
  return parser.make<T>(parser.node_range(start));
}

Stmt* parse_return_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Return);
  Expr* value = nullptr;
  if (parser.at_expr()) {
    value = parser.parse_expression_list(kElementContext).expr;
    parser.check_tuple_unpacking(value, StarredTupleKind::ReturnValue);
  }
  auto* stmt = parser.make<StmtReturn>(parser.node_range(start));
  stmt->value = value;
  return stmt;
}

// The exception or the cause of a raise: an expression, not a bare tuple.
Expr* parse_raise_operand(Parser& parser) {
  Expr* expr = parser.parse_expression_list(kNoContext).expr;
  if (is_unparenthesized_tuple(expr)) {
    parser.add_error(ParseErrorKind::UnparenthesizedTupleExpression,
                     expr->range);
  }
  return expr;
}

Stmt* parse_raise_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Raise);
  Expr* exc = nullptr;
  Expr* cause = nullptr;
  // A `;` ends a bare raise as a line end does: `raise; x = 1` is two
  // statements, as in Python.
  if (!parser.at(TokenKind::Newline) && !parser.at(TokenKind::Semi)) {
    if (parser.at(TokenKind::From)) {
      parser.add_error(OtherParseError::RaiseCauseWithoutException,
                       parser.current_token_range());
    } else {
      exc = parse_raise_operand(parser);
    }
    if (parser.eat(TokenKind::From)) {
      cause = parse_raise_operand(parser);
    }
  }
  auto* stmt = parser.make<StmtRaise>(parser.node_range(start));
  stmt->exc = exc;
  stmt->cause = cause;
  return stmt;
}

Stmt* parse_assert_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Assert);
  Expr* test =
      parser.parse_conditional_expression_or_higher_impl(kNoContext).expr;
  Expr* msg = nullptr;
  if (parser.eat(TokenKind::Comma)) {
    if (parser.at_expr()) {
      msg = parser.parse_conditional_expression_or_higher_impl(kNoContext).expr;
    } else {
      parser.add_error(ParseErrorKind::ExpectedExpression,
                       parser.current_token_range());
    }
  }
  auto* stmt = parser.make<StmtAssert>(parser.node_range(start));
  stmt->test = test;
  stmt->msg = msg;
  return stmt;
}

Stmt* parse_delete_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Del);
  Parser::ListBuilder<Expr*> targets(parser);
  parser.parse_comma_separated_list(RecoveryContextKind::DeleteTargets, [&] {
    Expr* target =
        parser.parse_conditional_expression_or_higher_impl(kArgumentContext)
            .expr;
    Parser::set_expr_ctx(target, ExprContext::Del);
    parser.validate_delete_target(target);
    targets.push(target);
  });
  if (targets.empty()) {
    parser.add_error(ParseErrorKind::EmptyDeleteTargets,
                     parser.current_token_range());
  }
  auto* stmt = parser.make<StmtDelete>(parser.node_range(start));
  stmt->targets = targets.finish();
  return stmt;
}

// `global` and `nonlocal`: T is the statement, `empty` its error for a
// statement without names.
template <class T>
Stmt* parse_names_statement(Parser& parser, TokenKind keyword,
                            ParseErrorKind empty) {
  const TextSize start = parser.current_token_start();
  parser.bump(keyword);
  Parser::ListBuilder<Identifier> names(parser);
  parser.parse_comma_separated_list(RecoveryContextKind::Identifiers, [&] {
    names.push(parser.parse_identifier());
  });
  if (names.empty()) {
    parser.add_error(empty, parser.current_token_range());
  }
  auto* stmt = parser.make<T>(parser.node_range(start));
  stmt->names = names.finish();
  return stmt;
}

Stmt* parse_import_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Import);
  Parser::ListBuilder<Alias> names(parser);
  // The list records "Trailing comma not allowed" itself.
  parser.parse_comma_separated_list(RecoveryContextKind::ImportNames, [&] {
    names.push(parser.parse_alias(/*from_import=*/false));
  });
  if (names.empty()) {
    parser.add_error(ParseErrorKind::EmptyImportNames,
                     parser.current_token_range());
  }
  auto* stmt = parser.make<StmtImport>(parser.node_range(start));
  stmt->names = names.finish();
  return stmt;
}

Stmt* parse_from_import_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::From);
  std::uint32_t level = 0;
  ParserProgress progress;
  while (parser.at(TokenKind::Dot) || parser.at(TokenKind::Ellipsis)) {
    progress.assert_progressing(parser);
    if (parser.eat(TokenKind::Dot)) {
      level += 1;
    } else {
      parser.bump(TokenKind::Ellipsis);
      level += 3;
    }
  }
  Identifier* module = nullptr;
  if (parser.at_name_or_soft_keyword()) {
    module = parser.arena().make<Identifier>(parser.parse_dotted_name());
  } else if (level == 0) {
    parser.add_error(OtherParseError::ExpectedModuleName,
                     parser.current_token_range());
  }
  parser.expect(TokenKind::Import);
  const TextSize names_start = parser.current_token_start();
  const bool parenthesized = parser.eat(TokenKind::Lpar);
  Parser::ListBuilder<Alias> names(parser);
  bool has_star = false;
  parser.parse_comma_separated_list(
      parenthesized ? RecoveryContextKind::ImportFromAsNamesParenthesized
                    : RecoveryContextKind::ImportFromAsNamesUnparenthesized,
      [&] {
        has_star = has_star || parser.at(TokenKind::Star);
        names.push(parser.parse_alias(/*from_import=*/true));
      });
  if (names.empty()) {
    parser.add_error(ParseErrorKind::EmptyImportNames,
                     parser.current_token_range());
  }
  if (has_star && names.size() >= 2) {
    parser.add_error(OtherParseError::StarImportNotAlone,
                     TextRange(names_start < parser.prev_token_end()
                                   ? names_start
                                   : parser.prev_token_end(),
                               parser.prev_token_end()));
  }
  if (parenthesized) {
    parser.expect(TokenKind::Rpar);
  }
  auto* stmt = parser.make<StmtImportFrom>(parser.node_range(start));
  stmt->module = module;
  stmt->names = names.finish();
  stmt->level = level;
  return stmt;
}

// `type X = ...` and `type X[T] = ...`; the caller has seen the name and
// the `=` or `[` after `type`.
Stmt* parse_type_alias_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  const TextRange keyword = parser.current_token_range();
  parser.bump(TokenKind::Type);
  parser.add_unsupported_syntax_error(UnsupportedSyntaxKind::TypeAliasStatement,
                                      keyword);
  const Identifier identifier = parser.parse_identifier();
  auto* name = parser.make<ExprName>(identifier.range);
  name->id = identifier.id;
  name->ctx = ExprContext::Store;
  TypeParams* type_params = parser.try_parse_type_params();
  parser.expect(TokenKind::Equal);
  Expr* value =
      parser.parse_conditional_expression_or_higher_impl(kNoContext).expr;
  auto* stmt = parser.make<StmtTypeAlias>(parser.node_range(start));
  stmt->name = name;
  stmt->type_params = type_params;
  stmt->value = value;
  return stmt;
}

Stmt* parse_escape_command_statement(Parser& parser) {
  const TextSize start = parser.current_token_start();
  const TextRange range = parser.current_token_range();
  TokenValue value = parser.bump_value(TokenKind::IpyEscapeCommand);
  if (parser.options().mode != Mode::Ipython) {
    parser.add_error(ParseErrorKind::UnexpectedIpythonEscapeCommand, range);
  }
  auto* stmt = parser.make<StmtIpyEscapeCommand>(parser.node_range(start));
  if (auto* command = std::get_if<IpyEscapeCommandValue>(&value)) {
    stmt->kind = command->kind;
    stmt->value = parser.arena().copy_string(command->value);
  }
  return stmt;
}

// The text of the expression before a help-end `?`: names, attributes and
// subscripts by integer literal, as IPython spells them. Other forms record
// an error and add nothing.
void unparse_help_target(Parser& parser, const Expr* expr, std::string& out) {
  // The chain from the outermost node down to its base, written base first,
  // so that `a.b.c...` takes no recursion however long it is.
  std::vector<const Expr*> chain;
  for (const Expr* node = expr;;) {
    chain.push_back(node);
    if (const auto* attribute = node->dyn_cast<ExprAttribute>()) {
      node = attribute->value;
    } else if (const auto* subscript = node->dyn_cast<ExprSubscript>()) {
      node = subscript->value;
    } else {
      break;
    }
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const Expr* node = *it;
    if (const auto* name = node->dyn_cast<ExprName>()) {
      out.append(name->id.as_str());
    } else if (const auto* attribute = node->dyn_cast<ExprAttribute>()) {
      out.push_back('.');
      out.append(attribute->attr.id.as_str());
    } else if (const auto* subscript = node->dyn_cast<ExprSubscript>()) {
      out.push_back('[');
      const auto* number = subscript->slice->dyn_cast<ExprNumberLiteral>();
      const Int* integer = number != nullptr ? number->value.as_int() : nullptr;
      if (integer != nullptr) {
        out.append(integer->to_string());
      } else {
        out.append(parser.src_text(subscript->slice->range));
        parser.add_error(OtherParseError::HelpEndNonIntegerSubscript,
                         subscript->slice->range);
      }
      out.push_back(']');
    } else {
      parser.add_error(OtherParseError::HelpEndInvalidExpression, node->range);
    }
  }
}

// `expr?` and `expr??` in IPython mode.
Stmt* parse_help_end_statement(Parser& parser, ParsedExpr parsed,
                               TextSize start) {
  const TextSize question_start = parser.current_token_start();
  parser.bump(TokenKind::Question);
  IpyEscapeKind kind = IpyEscapeKind::Help;
  if (parser.eat(TokenKind::Question)) {
    kind = IpyEscapeKind::Help2;
  }
  if (parsed.is_parenthesized) {
    parser.add_error(OtherParseError::HelpEndParenthesized,
                     TextRange(question_start, parser.prev_token_end()));
  }
  if (parser.at(TokenKind::Question)) {
    parser.add_error(OtherParseError::HelpEndTooManyQuestionMarks,
                     parser.current_token_range());
  }
  std::string text;
  unparse_help_target(parser, parsed.expr, text);
  auto* stmt = parser.make<StmtIpyEscapeCommand>(parser.node_range(start));
  stmt->kind = kind;
  stmt->value = parser.arena().copy_string(text);
  return stmt;
}

Stmt* parse_annotated_assignment(Parser& parser, ParsedExpr parsed,
                                 TextSize start) {
  parser.bump(TokenKind::Colon);
  Expr* target = parsed.expr;
  if (target->is<ExprList>()) {
    parser.add_error(OtherParseError::AnnotatedListTarget, target->range);
  } else if (target->is<ExprTuple>()) {
    parser.add_error(OtherParseError::AnnotatedTupleTarget, target->range);
  } else if (!is_single_target(target)) {
    parser.add_error(ParseErrorKind::InvalidAnnotatedAssignmentTarget,
                     target->range);
  }
  Parser::set_expr_ctx(target, ExprContext::Store);
  Expr* annotation =
      parser.parse_conditional_expression_or_higher_impl(kNoContext).expr;
  Expr* value = nullptr;
  if (parser.eat(TokenKind::Equal)) {
    if (parser.at_expr()) {
      value = parser.parse_expression_list(kValueContext).expr;
    } else {
      parser.add_error(ParseErrorKind::ExpectedExpression,
                       parser.current_token_range());
    }
  }
  auto* stmt = parser.make<StmtAnnAssign>(parser.node_range(start));
  stmt->target = target;
  stmt->annotation = annotation;
  stmt->value = value;
  stmt->simple = target->is<ExprName>() && !parsed.is_parenthesized;
  return stmt;
}

Stmt* parse_assignment(Parser& parser, Expr* first, TextSize start) {
  parser.bump(TokenKind::Equal);
  Parser::ListBuilder<Expr*> targets(parser);
  targets.push(first);
  Expr* value = parser.parse_expression_list(kValueContext).expr;
  if (parser.at(TokenKind::Equal)) {
    // `a = b = c`: each further `=` turns the value so far into a target.
    parser.parse_list(RecoveryContextKind::AssignmentTargets, [&] {
      parser.bump(TokenKind::Equal);
      targets.push(value);
      value = parser.parse_expression_list(kValueContext).expr;
    });
  }
  for (Expr* target : std::span<Expr*>(targets.data(), targets.size())) {
    Parser::set_expr_ctx(target, ExprContext::Store);
    parser.validate_assignment_target(target);
  }
  auto* stmt = parser.make<StmtAssign>(parser.node_range(start));
  stmt->targets = targets.finish();
  stmt->value = value;
  return stmt;
}

Stmt* parse_augmented_assignment(Parser& parser, Expr* target, Operator op,
                                 TextSize start) {
  parser.bump(parser.current_token_kind());
  if (!is_single_target(target)) {
    parser.add_error(ParseErrorKind::InvalidAugmentedAssignmentTarget,
                     target->range);
  }
  Parser::set_expr_ctx(target, ExprContext::Store);
  Expr* value = parser.parse_expression_list(kValueContext).expr;
  auto* stmt = parser.make<StmtAugAssign>(parser.node_range(start));
  stmt->target = target;
  stmt->op = op;
  stmt->value = value;
  return stmt;
}

Stmt* parse_expression_statement_or_assignment(Parser& parser) {
  const TextSize start = parser.current_token_start();
  const ParsedExpr parsed = parser.parse_expression_list(kValueContext);
  const TokenKind current = parser.current_token_kind();
  if (current == TokenKind::Colon) {
    return parse_annotated_assignment(parser, parsed, start);
  }
  if (current == TokenKind::Equal) {
    return parse_assignment(parser, parsed.expr, start);
  }
  if (const std::optional<Operator> op = augmented_operator(current)) {
    return parse_augmented_assignment(parser, parsed.expr, *op, start);
  }
  if (current == TokenKind::Question &&
      parser.options().mode == Mode::Ipython) {
    return parse_help_end_statement(parser, parsed, start);
  }
  auto* stmt = parser.make<StmtExpr>(parser.node_range(start));
  stmt->value = parsed.expr;
  return stmt;
}

}  // namespace

Stmt* Parser::parse_simple_statement() {
  switch (current_token_kind()) {
    case TokenKind::Return:
      return parse_return_statement(*this);
    case TokenKind::Raise:
      return parse_raise_statement(*this);
    case TokenKind::Assert:
      return parse_assert_statement(*this);
    case TokenKind::Del:
      return parse_delete_statement(*this);
    case TokenKind::Pass:
      return parse_keyword_statement<StmtPass>(*this, TokenKind::Pass);
    case TokenKind::Break:
      return parse_keyword_statement<StmtBreak>(*this, TokenKind::Break);
    case TokenKind::Continue:
      return parse_keyword_statement<StmtContinue>(*this, TokenKind::Continue);
    case TokenKind::Global:
      return parse_names_statement<StmtGlobal>(
          *this, TokenKind::Global, ParseErrorKind::EmptyGlobalNames);
    case TokenKind::Nonlocal:
      return parse_names_statement<StmtNonlocal>(
          *this, TokenKind::Nonlocal, ParseErrorKind::EmptyNonlocalNames);
    case TokenKind::Import:
      return parse_import_statement(*this);
    case TokenKind::From:
      return parse_from_import_statement(*this);
    case TokenKind::IpyEscapeCommand:
      return parse_escape_command_statement(*this);
    case TokenKind::Type: {
      // `type` is a name unless a name and `=` or `[` follow it.
      const auto [first, second] = peek2();
      if (kNameLike.contains(first) &&
          (second == TokenKind::Equal || second == TokenKind::Lsqb)) {
        return parse_type_alias_statement(*this);
      }
      break;
    }
    default:
      break;
  }
  return parse_expression_statement_or_assignment(*this);
}

void Parser::validate_assignment_target(const Expr* expr) {
  // Starred chains are followed in a loop; lists and tuples recurse, as
  // deep as the nesting bound let the parse build them.
  while (expr != nullptr && expr->is<ExprStarred>()) {
    expr = expr->as<ExprStarred>().value;
  }
  if (expr == nullptr || is_single_target(expr)) {
    return;
  }
  if (const auto* list = expr->dyn_cast<ExprList>()) {
    for (const Expr* element : list->elts) {
      validate_assignment_target(element);
    }
    return;
  }
  if (const auto* tuple = expr->dyn_cast<ExprTuple>()) {
    for (const Expr* element : tuple->elts) {
      validate_assignment_target(element);
    }
    return;
  }
  add_error(ParseErrorKind::InvalidAssignmentTarget, expr->range);
}

void Parser::validate_delete_target(const Expr* expr) {
  if (expr == nullptr || is_single_target(expr)) {
    return;
  }
  if (const auto* list = expr->dyn_cast<ExprList>()) {
    for (const Expr* element : list->elts) {
      validate_delete_target(element);
    }
    return;
  }
  if (const auto* tuple = expr->dyn_cast<ExprTuple>()) {
    for (const Expr* element : tuple->elts) {
      validate_delete_target(element);
    }
    return;
  }
  add_error(ParseErrorKind::InvalidDeleteTarget, expr->range);
}

Alias Parser::parse_alias(bool from_import) {
  const TextSize start = current_token_start();
  Alias alias;
  if (at(TokenKind::Star)) {
    const TextRange star = current_token_range();
    bump(TokenKind::Star);
    alias.name.id = Name("*");
    alias.name.range = star;
    alias.range = star;
    return alias;
  }
  alias.name = from_import ? parse_identifier() : parse_dotted_name();
  if (eat(TokenKind::As)) {
    if (at_name_or_soft_keyword()) {
      alias.asname = arena_.make<Identifier>(parse_identifier());
    } else {
      add_error(OtherParseError::ExpectedSymbolAfterAs, current_token_range());
    }
  }
  alias.range = node_range(start);
  return alias;
}

Identifier Parser::parse_dotted_name() {
  const TextSize start = current_token_start();
  Identifier name = parse_identifier();
  if (!at(TokenKind::Dot)) {
    return name;
  }
  // Written without spaces and with identifiers as they stand in the
  // source, the joined name is a view of the source; only `a . b` or a
  // normalised identifier needs a joined copy.
  const auto as_written = [&](const Identifier& identifier) {
    const std::string_view text = identifier.id.as_str();
    return text.size() == identifier.range.length() &&
           (text.empty() ||
            text.data() == source_.data() + identifier.range.start());
  };
  bool contiguous = as_written(name);
  TextSize end = name.range.end();
  std::string joined;
  if (!contiguous) {
    joined.assign(name.id.as_str());
  }
  ParserProgress progress;
  while (at(TokenKind::Dot)) {
    progress.assert_progressing(*this);
    const TextRange dot = current_token_range();
    bump(TokenKind::Dot);
    // A missing identifier adds nothing but its dot: `a.` reads "a.".
    const Identifier part = parse_identifier();
    if (contiguous) {
      if (dot.start() == end && as_written(part) &&
          (part.id.empty() || part.range.start() == dot.end())) {
        end = part.id.empty() ? dot.end() : part.range.end();
        continue;
      }
      contiguous = false;
      joined.assign(src_text(TextRange(start, end)));
    }
    joined.push_back('.');
    joined.append(part.id.as_str());
  }
  name.range = node_range(start);
  name.id = contiguous ? Name(src_text(TextRange(start, end)))
                       : Name(arena_.copy_string(joined));
  return name;
}

void Parser::check_tuple_unpacking(const Expr* expr, StarredTupleKind kind) {
  check_tuple_unpacking(expr,
                        UnsupportedSyntaxErrorKind{
                            .kind = UnsupportedSyntaxKind::StarredTupleValue,
                            .variant = static_cast<std::uint8_t>(kind),
                            .description = {}});
}

void Parser::check_tuple_unpacking(const Expr* expr,
                                   UnsupportedSyntaxErrorKind gate) {
  if (expr == nullptr || !is_unparenthesized_tuple(expr)) {
    return;
  }
  for (const Expr* element : expr->as<ExprTuple>().elts) {
    if (element->is<ExprStarred>()) {
      add_unsupported_syntax_error(gate, element->range);
    }
  }
}

}  // namespace divu
