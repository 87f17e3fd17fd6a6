// The lower half of the expression grammar: atoms (names, literals,
// parenthesized forms and displays), the postfix loop of attributes,
// subscripts and calls, identifiers, call arguments, slices and
// comprehension clauses. parse_lhs_expression (expressions.cpp) hands every
// token that does not start a prefix form to parse_atom_and_postfix.
//
// Recursion: every cycle back into the grammar goes through
// parse_named_expression_or_higher, parse_conditional_expression_or_higher_impl
// or parse_lhs_expression, which count the nesting; nothing here recurses on
// its own, and the postfix chain `a.b.c(d)[e]...` is a loop.

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "invariant.h"
#include "parser.h"

namespace divu {
namespace {

// Where a slice part is absent: the tokens that end an index.
constexpr TokenSet kIndexEnd = {TokenKind::Newline, TokenKind::EndOfFile,
                                TokenKind::Rsqb, TokenKind::Comma};
constexpr TokenSet kUpperEnd = kIndexEnd | TokenSet{TokenKind::Colon};

bool is_unmarked(const ParsedExpr& parsed, NodeKind kind) {
  return !parsed.is_parenthesized && parsed.expr->kind() == kind;
}

// Where a node whose first child is `first` begins: a missing expression's
// placeholder sits at the end of the token before it, which may lie before
// the start noted at the current token (`x[ **a:]`), and a node must hold
// its children.
TextSize start_with(TextSize start, const Expr* first) {
  return first != nullptr && first->range.start() < start ? first->range.start()
                                                          : start;
}

bool at_comprehension(const Parser& parser) {
  return parser.at(TokenKind::For) || parser.at(TokenKind::Async);
}

// Whether the current token may follow a display's first element without a
// comma. This is the set that ends an unparenthesized tuple, so the one
// table of list kinds answers it (EndOfFile, which ends every list, is in
// the set too).
bool at_sequence_end(const Parser& parser) {
  return list_terminator_kind(RecoveryContextKind::TupleElementsUnparenthesized,
                              parser.current_token_kind()) ==
         ListTerminatorKind::Regular;
}

// An operator expression at level 0: an operand with everything that binds
// tighter than a conditional. Iterables and conditions of comprehensions
// are read at this level, so that an `if` after them starts a condition.
ParsedExpr parse_operator_expression(Parser& parser) {
  const TextSize start = parser.current_token_start();
  const ParsedExpr lhs = parser.parse_lhs_expression(0, kNoContext);
  return parser.parse_binary_expression_or_higher_recursive(lhs, 0, kNoContext,
                                                            start);
}

// A hint for a bracket left open at the end of its line, right after the
// opening bracket was consumed.
void check_unclosed_bracket(Parser& parser, OtherParseError message) {
  if (parser.at(TokenKind::Newline) || parser.at(TokenKind::EndOfFile)) {
    parser.add_error(message, parser.current_token_range());
  }
}

void report_starred_in_comprehension(Parser& parser, const ParsedExpr& elt) {
  if (is_unmarked(elt, NodeKind::ExprStarred)) {
    parser.add_error(ParseErrorKind::IterableUnpackingInComprehension,
                     elt.expr->range);
  }
}

UnsupportedSyntaxErrorKind unparenthesized_named(
    UnparenthesizedNamedExpressionKind where) {
  return UnsupportedSyntaxErrorKind{
      .kind = UnsupportedSyntaxKind::UnparenthesizedNamedExpression,
      .variant = static_cast<std::uint8_t>(where),
      .description = {}};
}

// One `for` or `async for` clause with its conditions.
Comprehension parse_comprehension(Parser& parser) {
  const TextSize start = parser.current_token_start();
  const bool is_async = parser.at(TokenKind::Async);
  if (is_async) {
    parser.bump(TokenKind::Async);
    parser.expect(TokenKind::For);
  } else {
    parser.bump(TokenKind::For);
  }
  Comprehension clause;
  clause.is_async = is_async;
  clause.target = parser.parse_expression_list(kForTargetContext).expr;
  Parser::set_expr_ctx(clause.target, ExprContext::Store);
  parser.validate_assignment_target(clause.target);
  parser.expect(TokenKind::In);
  clause.iter = parse_operator_expression(parser).expr;
  Parser::ListBuilder<Expr*> ifs(parser);
  while (parser.eat(TokenKind::If)) {
    Expr* condition = parse_operator_expression(parser).expr;
    ifs.push(condition);
  }
  clause.ifs = ifs.finish();
  clause.range = parser.node_range(start);
  return clause;
}

// The clauses of a comprehension. REQUIRES: at `for` or `async`.
std::span<Comprehension> parse_generators(Parser& parser) {
  Parser::ListBuilder<Comprehension> generators(parser);
  ParserProgress progress;
  while (at_comprehension(parser)) {
    progress.assert_progressing(parser);
    const Comprehension clause = parse_comprehension(parser);
    generators.push(clause);
  }
  return generators.finish();
}

// A generator expression whose element is already read: from `start` (its
// own opening parenthesis, or the element inside a call's parentheses).
ExprGenerator* parse_generator_expression(Parser& parser, Expr* elt,
                                          TextSize start, bool own_parens) {
  const std::span<Comprehension> generators = parse_generators(parser);
  if (own_parens) {
    parser.expect(TokenKind::Rpar);
  }
  ExprGenerator* generator =
      parser.make<ExprGenerator>(parser.node_range(start_with(start, elt)));
  generator->elt = elt;
  generator->generators = generators;
  generator->parenthesized = own_parens;
  return generator;
}

// One element of a subscript: an index or a slice `lower:upper:step`.
Expr* parse_slice(Parser& parser) {
  const TextSize start = parser.current_token_start();
  Expr* lower = nullptr;
  if (parser.at_expr()) {
    const ParsedExpr parsed =
        parser.parse_named_expression_or_higher(kArgumentContext);
    if (parser.at_ts(kIndexEnd)) {
      if (is_unmarked(parsed, NodeKind::ExprNamed)) {
        parser.add_unsupported_syntax_error(
            unparenthesized_named(
                UnparenthesizedNamedExpressionKind::SubscriptIndex),
            parsed.expr->range);
      }
      return parsed.expr;
    }
    if (is_unmarked(parsed, NodeKind::ExprNamed)) {
      parser.add_error(ParseErrorKind::UnparenthesizedNamedExpression,
                       parsed.expr->range);
    } else if (is_unmarked(parsed, NodeKind::ExprStarred)) {
      parser.add_error(ParseErrorKind::InvalidStarredUsage, parsed.expr->range);
    }
    lower = parsed.expr;
  }
  parser.expect(TokenKind::Colon);
  Expr* upper = nullptr;
  if (!parser.at_ts(kUpperEnd)) {
    upper = parser.parse_conditional_expression_or_higher().expr;
  }
  Expr* step = nullptr;
  if (parser.eat(TokenKind::Colon) && !parser.at_ts(kIndexEnd)) {
    step = parser.parse_conditional_expression_or_higher().expr;
  }
  const Expr* first = lower != nullptr   ? lower
                      : upper != nullptr ? upper
                                         : step;
  ExprSlice* slice =
      parser.make<ExprSlice>(parser.node_range(start_with(start, first)));
  slice->lower = lower;
  slice->upper = upper;
  slice->step = step;
  return slice;
}

// The subscript after `value`, from `[` to `]`.
ExprSubscript* parse_subscript(Parser& parser, Expr* value, TextSize start) {
  parser.bump(TokenKind::Lsqb);
  // `(a := b)[0]` and the like: whatever the value was, it is read here.
  Parser::set_expr_ctx(value, ExprContext::Load);
  const TextSize slice_start = parser.current_token_start();
  Expr* slice = nullptr;
  if (parser.eat(TokenKind::Rsqb)) {
    const TextRange range = parser.node_range(slice_start);
    parser.add_error(ParseErrorKind::EmptySlice, range);
    ExprName* missing = parser.make<ExprName>(range);
    missing->ctx = ExprContext::Invalid;
    slice = missing;
  } else {
    Expr* first = parse_slice(parser);
    ExprTuple* tuple = nullptr;
    if (parser.eat(TokenKind::Comma)) {
      Parser::ListBuilder<Expr*> elts(parser);
      elts.push(first);
      parser.parse_comma_separated_list(RecoveryContextKind::Slices, [&] {
        Expr* element = parse_slice(parser);
        elts.push(element);
      });
      tuple = parser.make<ExprTuple>(
          parser.node_range(start_with(slice_start, first)));
      tuple->elts = elts.finish();
    } else if (first->is<ExprStarred>()) {
      // `x[*a]` indexes with a tuple of one element.
      tuple = parser.make<ExprTuple>(
          parser.node_range(start_with(slice_start, first)));
      tuple->elts = parser.arena().make_list<Expr*>(1);
      tuple->elts[0] = first;
    }
    slice = tuple != nullptr ? tuple : first;
    parser.expect(TokenKind::Rsqb);
    if (tuple != nullptr) {
      for (const Expr* element : tuple->elts) {
        if (element->is<ExprStarred>()) {
          parser.add_unsupported_syntax_error(
              UnsupportedSyntaxKind::StarredSubscriptIndex, element->range);
        }
      }
    }
  }
  ExprSubscript* subscript =
      parser.make<ExprSubscript>(parser.node_range(start));
  subscript->value = value;
  subscript->slice = slice;
  return subscript;
}

// The clauses and the closing bracket of a comprehension display whose
// element is already read; the caller fills in the element.
template <class T>
T* parse_comprehension_display(Parser& parser, TokenKind closing,
                               TextSize start) {
  const std::span<Comprehension> generators = parse_generators(parser);
  parser.expect(closing);
  T* comp = parser.make<T>(parser.node_range(start));
  comp->generators = generators;
  return comp;
}

// The elements after the first of a list or set display, and its closing
// bracket. `check` sees every element, the first included, in order.
template <class T, class Check>
T* parse_display_elements(Parser& parser, const ParsedExpr& first,
                          RecoveryContextKind kind, TokenKind closing,
                          TextSize start, Check check) {
  if (!at_sequence_end(parser)) {
    parser.expect(TokenKind::Comma);
  }
  check(first);
  Parser::ListBuilder<Expr*> elts(parser);
  elts.push(first.expr);
  parser.parse_comma_separated_list(kind, [&] {
    const ParsedExpr element =
        parser.parse_named_expression_or_higher(kElementContext);
    check(element);
    elts.push(element.expr);
  });
  parser.expect(closing);
  T* display = parser.make<T>(parser.node_range(start));
  display->elts = elts.finish();
  return display;
}

// Dictionary items after the first, and the closing brace.
ExprDict* parse_dictionary_expression(Parser& parser, Expr* key, Expr* value,
                                      TextSize start) {
  if (!at_sequence_end(parser)) {
    parser.expect(TokenKind::Comma);
  }
  Parser::ListBuilder<DictItem> items(parser);
  items.push(DictItem{.key = key, .value = value});
  parser.parse_comma_separated_list(RecoveryContextKind::DictElements, [&] {
    DictItem item;
    if (parser.eat(TokenKind::DoubleStar)) {
      item.value = parser.parse_expression_with_bitwise_or_precedence().expr;
    } else {
      item.key = parser.parse_conditional_expression_or_higher().expr;
      parser.expect(TokenKind::Colon);
      item.value = parser.parse_conditional_expression_or_higher().expr;
    }
    items.push(item);
  });
  parser.expect(TokenKind::Rbrace);
  ExprDict* dict = parser.make<ExprDict>(parser.node_range(start));
  dict->items = items.finish();
  return dict;
}

// `[...]`: a list or a list comprehension.
Expr* parse_list_like_expression(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Lsqb);
  check_unclosed_bracket(parser, OtherParseError::MissingClosingBracket);
  if (parser.eat(TokenKind::Rsqb)) {
    return parser.make<ExprList>(parser.node_range(start));
  }
  const ParsedExpr first =
      parser.parse_named_expression_or_higher(kElementContext);
  if (at_comprehension(parser)) {
    report_starred_in_comprehension(parser, first);
    ExprListComp* comp = parse_comprehension_display<ExprListComp>(
        parser, TokenKind::Rsqb, start);
    comp->elt = first.expr;
    return comp;
  }
  return parse_display_elements<ExprList>(
      parser, first, RecoveryContextKind::ListElements, TokenKind::Rsqb, start,
      [](const ParsedExpr&) {});
}

// `{...}`: a set, a dictionary or a comprehension of either.
Expr* parse_set_or_dict_like_expression(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Lbrace);
  check_unclosed_bracket(parser, OtherParseError::MissingClosingBrace);
  if (parser.eat(TokenKind::Rbrace)) {
    return parser.make<ExprDict>(parser.node_range(start));
  }
  if (parser.eat(TokenKind::DoubleStar)) {
    Expr* value = parser.parse_expression_with_bitwise_or_precedence().expr;
    return parse_dictionary_expression(parser, nullptr, value, start);
  }
  const ParsedExpr first =
      parser.parse_named_expression_or_higher(kElementContext);
  if (parser.at(TokenKind::Colon)) {
    if (is_unmarked(first, NodeKind::ExprNamed)) {
      parser.add_error(ParseErrorKind::UnparenthesizedNamedExpression,
                       first.expr->range);
    } else if (is_unmarked(first, NodeKind::ExprStarred)) {
      parser.add_error(ParseErrorKind::InvalidStarredUsage, first.expr->range);
    }
    parser.bump(TokenKind::Colon);
    Expr* value = parser.parse_conditional_expression_or_higher().expr;
    if (!at_comprehension(parser)) {
      return parse_dictionary_expression(parser, first.expr, value, start);
    }
    ExprDictComp* comp = parse_comprehension_display<ExprDictComp>(
        parser, TokenKind::Rbrace, start);
    comp->key = first.expr;
    comp->value = value;
    return comp;
  }
  if (at_comprehension(parser)) {
    if (is_unmarked(first, NodeKind::ExprStarred)) {
      report_starred_in_comprehension(parser, first);
    } else if (is_unmarked(first, NodeKind::ExprNamed)) {
      parser.add_unsupported_syntax_error(
          unparenthesized_named(
              UnparenthesizedNamedExpressionKind::SetComprehension),
          first.expr->range);
    }
    ExprSetComp* comp = parse_comprehension_display<ExprSetComp>(
        parser, TokenKind::Rbrace, start);
    comp->elt = first.expr;
    return comp;
  }
  return parse_display_elements<ExprSet>(
      parser, first, RecoveryContextKind::SetElements, TokenKind::Rbrace, start,
      [&parser](const ParsedExpr& element) {
        if (is_unmarked(element, NodeKind::ExprNamed)) {
          parser.add_unsupported_syntax_error(
              unparenthesized_named(
                  UnparenthesizedNamedExpressionKind::SetLiteral),
              element.expr->range);
        }
      });
}

// An IPython escape command used as a value (`x = !ls`).
ExprIpyEscapeCommand* parse_ipython_escape_command_expression(Parser& parser) {
  const TextSize start = parser.current_token_start();
  TokenValue value = parser.bump_value(TokenKind::IpyEscapeCommand);
  auto* command = std::get_if<IpyEscapeCommandValue>(&value);
  TRELK_CHECK(command != nullptr && (command->kind == IpyEscapeKind::Shell ||
                                     command->kind == IpyEscapeKind::Magic),
              "an escape command expression is `!` or `%`");
  const TextRange range = parser.node_range(start);
  if (parser.options().mode != Mode::Ipython) {
    parser.add_error(ParseErrorKind::UnexpectedIpythonEscapeCommand, range);
  }
  ExprIpyEscapeCommand* node = parser.make<ExprIpyEscapeCommand>(range);
  node->kind = command->kind;
  node->value = parser.arena().copy_string(command->value);
  return node;
}

// Splits a duplicate-keyword scan of many keywords from the quadratic one:
// a call with thousands of keywords must not cost millions of comparisons.
constexpr std::size_t kQuadraticKeywordLimit = 16;

void check_duplicate_keywords(Parser& parser,
                              std::span<const Keyword> keywords) {
  const auto report = [&parser](const Keyword& keyword) {
    parser.add_error(ParseErrorType::duplicate_keyword_argument(
                         std::string(keyword.arg->id.as_str())),
                     keyword.range);
  };
  if (keywords.size() <= kQuadraticKeywordLimit) {
    for (std::size_t index = 0; index < keywords.size(); ++index) {
      if (keywords[index].arg == nullptr) {
        continue;
      }
      for (std::size_t earlier = 0; earlier < index; ++earlier) {
        if (keywords[earlier].arg != nullptr &&
            keywords[earlier].arg->id == keywords[index].arg->id) {
          report(keywords[index]);
          break;
        }
      }
    }
    return;
  }
  // Sort the names with their positions: within a run of one name, every
  // entry after the first is a repeat. Report them in source order.
  struct Entry {
    std::string_view name;
    std::uint32_t position;
    bool repeat;
  };
  std::span<Entry> entries = parser.arena().make_list<Entry>(keywords.size());
  std::size_t count = 0;
  for (std::size_t index = 0; index < keywords.size(); ++index) {
    if (keywords[index].arg != nullptr) {
      entries[count++] = Entry{.name = keywords[index].arg->id.as_str(),
                               .position = static_cast<std::uint32_t>(index),
                               .repeat = false};
    }
  }
  std::span<Entry> named = entries.first(count);
  std::sort(named.begin(), named.end(), [](const Entry& a, const Entry& b) {
    return a.name != b.name ? a.name < b.name : a.position < b.position;
  });
  for (std::size_t index = 1; index < named.size(); ++index) {
    named[index].repeat = named[index].name == named[index - 1].name;
  }
  std::sort(named.begin(), named.end(), [](const Entry& a, const Entry& b) {
    return a.position < b.position;
  });
  for (const Entry& entry : named) {
    if (entry.repeat) {
      report(keywords[entry.position]);
    }
  }
}

}  // namespace

// The tokens that start a postfix: an attribute, a subscript or a call.
constexpr TokenSet kPostfixStart = {TokenKind::Dot, TokenKind::Lsqb,
                                    TokenKind::Lpar};

ParsedExpr Parser::parse_atom_and_postfix(OperatorPrecedence level,
                                          ExpressionContext) {
  const TextSize start = current_token_start();
  // A name, the commonest atom, is made here: parse_atom's frame, which the
  // rarer atoms' locals make large, is left to those.
  const ParsedExpr atom =
      at(TokenKind::Name) ? ParsedExpr{parse_name(), false} : parse_atom(level);
  // Most atoms have no postfix: that costs no call.
  if (!at_ts(kPostfixStart)) {
    return atom;
  }
  // A missing atom's placeholder sits at the end of the token before it:
  // `not .b` must hold it inside the attribute.
  return parse_postfix_expression(atom, start_with(start, atom.expr));
}

ParsedExpr Parser::parse_atom(OperatorPrecedence) {
  const TextSize start = current_token_start();
  const TokenKind kind = current_token_kind();
  switch (kind) {
    case TokenKind::Int:
    case TokenKind::Float:
    case TokenKind::Complex:
      return {parse_number_literal(), false};
    case TokenKind::String:
    case TokenKind::FStringStart:
    case TokenKind::TStringStart:
      return {parse_strings(), false};
    case TokenKind::IpyEscapeCommand:
      return {parse_ipython_escape_command_expression(*this), false};
    case TokenKind::Lpar:
      return parse_parenthesized_expression();
    case TokenKind::Lsqb:
      return {parse_list_like_expression(*this), false};
    case TokenKind::Lbrace:
      return {parse_set_or_dict_like_expression(*this), false};
    case TokenKind::Ellipsis:
      bump(kind);
      return {make<ExprEllipsisLiteral>(node_range(start)), false};
    case TokenKind::True:
    case TokenKind::False: {
      bump(kind);
      ExprBooleanLiteral* literal = make<ExprBooleanLiteral>(node_range(start));
      literal->value = kind == TokenKind::True;
      return {literal, false};
    }
    case TokenKind::None:
      bump(kind);
      return {make<ExprNoneLiteral>(node_range(start)), false};
    default:
      break;
  }
  if (is_keyword(kind)) {
    // Soft keywords are names here; a hard keyword is reported and read as
    // one, so that `x = if` still has a value.
    return {parse_name(), false};
  }
  add_error(ParseErrorKind::ExpectedExpression, current_token_range());
  return {make_missing_name_expr(), false};
}

ParsedExpr Parser::parse_postfix_expression(ParsedExpr lhs, TextSize start) {
  ParserProgress progress;
  while (true) {
    progress.assert_progressing(*this);
    switch (current_token_kind()) {
      case TokenKind::Dot:
        lhs.expr = parse_attribute_expression(lhs, start);
        break;
      case TokenKind::Lsqb:
        lhs.expr = parse_subscript(*this, lhs.expr, start);
        break;
      case TokenKind::Lpar: {
        Arguments arguments = parse_arguments();
        ExprCall* call = make<ExprCall>(node_range(start));
        call->func = lhs.expr;
        call->arguments = arguments;
        lhs.expr = call;
        break;
      }
      default:
        return lhs;
    }
  }
}

ExprName* Parser::parse_name() {
  if (at(TokenKind::Name)) {
    // The common case, without an Identifier in between.
    ExprName* name = make<ExprName>(current_token_range());
    name->id = current_name_text();
    name->ctx = ExprContext::Load;
    bump(TokenKind::Name);
    return name;
  }
  const Identifier identifier = parse_identifier();
  ExprName* name = make<ExprName>(identifier.range);
  name->id = identifier.id;
  name->ctx = identifier.is_valid() ? ExprContext::Load : ExprContext::Invalid;
  return name;
}

Identifier Parser::parse_identifier() {
  const TextRange range = current_token_range();
  const TokenKind kind = current_token_kind();
  Identifier identifier;
  identifier.range = range;
  if (kind == TokenKind::Name) {
    identifier.id = current_name_text();
    bump(TokenKind::Name);
    return identifier;
  }
  if (is_soft_keyword(kind)) {
    identifier.id = Name(src_text(range));
    bump_soft_keyword_as_name();
    return identifier;
  }
  if (is_keyword(kind)) {
    add_error(ParseErrorType::other(OtherParseError::KeywordAsIdentifier,
                                    display_text(kind)),
              range);
    identifier.id = Name(src_text(range));
    bump(kind);
    return identifier;
  }
  return parse_missing_identifier();
}

Name Parser::current_name_text() {
  // Most names are ASCII, with no value to move: their text is the token's
  // source. A normalised name is copied into the arena.
  const auto* name = std::get_if<NameValue>(&tokens_.current_value());
  return Name(name == nullptr ? src_text(current_token_range())
                              : keep_text(name->text));
}

Identifier Parser::parse_missing_identifier() {
  add_error(OtherParseError::ExpectedIdentifier, current_token_range());
  Identifier identifier;
  identifier.range = placeholder_range();
  return identifier;
}

ExprAttribute* Parser::parse_attribute_expression(ParsedExpr value,
                                                  TextSize start) {
  bump(TokenKind::Dot);
  const Identifier attr = parse_identifier();
  ExprAttribute* attribute = make<ExprAttribute>(node_range(start));
  attribute->value = value.expr;
  attribute->attr = attr;
  return attribute;
}

Arguments Parser::parse_arguments() {
  const TextSize start = current_token_start();
  bump(TokenKind::Lpar);
  // Positional and keyword arguments come in one list, in source order, and
  // are split once the list is complete: two builders cannot grow at once.
  struct Argument {
    Expr* positional;  // null for a keyword argument
    Keyword keyword;
  };
  ListBuilder<Argument> arguments(*this);
  std::size_t positional_count = 0;
  bool keyword_seen = false;
  bool unpacking_seen = false;
  const bool trailing_comma =
      parse_comma_separated_list(RecoveryContextKind::Arguments, [&] {
        const TextSize element_start = current_token_start();
        Argument argument{.positional = nullptr, .keyword = Keyword()};
        if (eat(TokenKind::DoubleStar)) {
          argument.keyword.value =
              parse_conditional_expression_or_higher().expr;
          argument.keyword.range = node_range(element_start);
          unpacking_seen = true;
          arguments.push(argument);
          return;
        }
        ParsedExpr parsed = parse_named_expression_or_higher(kArgumentContext);
        if (at_comprehension(*this)) {
          report_starred_in_comprehension(*this, parsed);
          parsed = {parse_generator_expression(*this, parsed.expr,
                                               element_start, false),
                    false};
        } else if (unpacking_seen &&
                   is_unmarked(parsed, NodeKind::ExprStarred)) {
          add_error(ParseErrorKind::UnpackingAfterKeywordUnpacking,
                    parsed.expr->range);
        }
        if (!eat(TokenKind::Equal)) {
          if (!is_unmarked(parsed, NodeKind::ExprStarred)) {
            if (unpacking_seen) {
              add_error(ParseErrorKind::PositionalAfterKeywordUnpacking,
                        parsed.expr->range);
            } else if (keyword_seen) {
              add_error(ParseErrorKind::PositionalAfterKeywordArgument,
                        parsed.expr->range);
            }
          }
          argument.positional = parsed.expr;
          ++positional_count;
          arguments.push(argument);
          return;
        }
        Identifier* arg = make<Identifier>(parsed.expr->range);
        if (const ExprName* name = parsed.expr->dyn_cast<ExprName>()) {
          arg->id = name->id;
          if (parsed.is_parenthesized) {
            add_unsupported_syntax_error(
                UnsupportedSyntaxKind::ParenthesizedKeywordName,
                parsed.expr->range);
          }
        } else {
          add_error(OtherParseError::ExpectedParameterName, parsed.expr->range);
        }
        argument.keyword.arg = arg;
        argument.keyword.value = parse_conditional_expression_or_higher().expr;
        argument.keyword.range = node_range(element_start);
        keyword_seen = true;
        arguments.push(argument);
      });
  expect(TokenKind::Rpar);

  Arguments result;
  result.range = node_range(start);
  result.args = arena().make_list<Expr*>(positional_count);
  result.keywords =
      arena().make_list<Keyword>(arguments.size() - positional_count);
  std::size_t args_index = 0;
  std::size_t keywords_index = 0;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const Argument& argument = arguments[index];
    if (argument.positional != nullptr) {
      result.args[args_index++] = argument.positional;
    } else {
      result.keywords[keywords_index++] = argument.keyword;
    }
  }

  check_duplicate_keywords(*this, result.keywords);
  if (trailing_comma || arguments.size() >= 2) {
    for (const Expr* argument : result.args) {
      const ExprGenerator* generator = argument->dyn_cast<ExprGenerator>();
      if (generator != nullptr && !generator->parenthesized) {
        add_error(ParseErrorKind::UnparenthesizedGeneratorExpression,
                  generator->range);
      }
    }
  }
  return result;
}

ExprNumberLiteral* Parser::parse_number_literal() {
  const TextSize start = current_token_start();
  const TokenKind kind = current_token_kind();
  TokenValue value = bump_value(kind);
  NumberLiteralValue number;
  if (const IntValue* int_value = std::get_if<IntValue>(&value);
      int_value != nullptr && kind == TokenKind::Int) {
    Int integer = int_value->value();
    // A big value may view text that belongs to the token's value, which
    // dies here: the tree keeps its own copy.
    if (integer.is_big()) {
      integer = Int::big(arena().copy_string(integer.big_text()));
    }
    number = NumberLiteralValue::integer(integer);
  } else if (const double* float_value = std::get_if<double>(&value);
             float_value != nullptr && kind == TokenKind::Float) {
    number = NumberLiteralValue::floating(*float_value);
  } else if (const ComplexValue* complex = std::get_if<ComplexValue>(&value);
             complex != nullptr && kind == TokenKind::Complex) {
    number = NumberLiteralValue::complex(complex->real, complex->imag);
  } else {
    trelk::fail_invariant("a number token carries a number of its kind");
  }
  ExprNumberLiteral* literal = make<ExprNumberLiteral>(node_range(start));
  literal->value = number;
  return literal;
}

ParsedExpr Parser::parse_parenthesized_expression() {
  const TextSize start = current_token_start();
  bump(TokenKind::Lpar);
  check_unclosed_bracket(*this, OtherParseError::MissingClosingParenthesis);
  if (eat(TokenKind::Rpar)) {
    ExprTuple* tuple = make<ExprTuple>(node_range(start));
    tuple->parenthesized = true;
    return {tuple, false};
  }
  const ParsedExpr first = parse_named_expression_or_higher(kValueContext);
  if (eat(TokenKind::Comma)) {
    ListBuilder<Expr*> elts(*this);
    elts.push(first.expr);
    parse_comma_separated_list(
        RecoveryContextKind::TupleElementsParenthesized, [&] {
          Expr* element =
              parse_named_expression_or_higher(kElementContext).expr;
          elts.push(element);
        });
    expect(TokenKind::Rpar);
    ExprTuple* tuple = make<ExprTuple>(node_range(start));
    tuple->elts = elts.finish();
    tuple->parenthesized = true;
    return {tuple, false};
  }
  if (at_comprehension(*this)) {
    report_starred_in_comprehension(*this, first);
    return {parse_generator_expression(*this, first.expr, start, true), false};
  }
  if (first.expr->is<ExprStarred>()) {
    add_error(ParseErrorKind::InvalidStarredUsage, first.expr->range);
  }
  expect(TokenKind::Rpar);
  return {first.expr, true};
}

}  // namespace divu
