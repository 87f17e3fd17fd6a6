// Match statements and the pattern grammar.
//
// parse_statement (statements.cpp) decides whether a `match` token starts a
// match statement at all, speculatively where the tokens after it leave that
// open, and calls parse_match_statement only when it does.
//
// Patterns: parse_match_pattern reads a pattern with its `|` alternatives
// and `as` name; parse_match_pattern_lhs reads one pattern without them and
// then checks two suffixes, a class pattern's arguments and the second half
// of a complex literal. Where a pattern stands in a place that takes an
// expression (a mapping key, the class of a class pattern, a side of a
// complex literal) it is reported and turned into the equivalent expression,
// so that nothing written is lost from the tree.
//
// Recursion: every cycle through the pattern grammar passes through
// parse_match_pattern_lhs, which counts the nesting. pattern_to_expr recurses
// only over a pattern built here, whose depth that count has bounded.

#include <algorithm>
#include <string>

#include "invariant.h"
#include "parser.h"

namespace divu {
namespace {

// The brackets around a sequence pattern.
enum class SequenceBrackets : std::uint8_t { kNone, kSquare, kParentheses };

RecoveryContextKind sequence_list_kind(SequenceBrackets brackets) {
  switch (brackets) {
    case SequenceBrackets::kNone:
      return RecoveryContextKind::SequenceMatchPattern;
    case SequenceBrackets::kSquare:
      return RecoveryContextKind::SequenceMatchPatternList;
    case SequenceBrackets::kParentheses:
      return RecoveryContextKind::SequenceMatchPatternTuple;
  }
  return RecoveryContextKind::SequenceMatchPattern;
}

TokenKind closing_bracket(SequenceBrackets brackets) {
  return brackets == SequenceBrackets::kSquare ? TokenKind::Rsqb
                                               : TokenKind::Rpar;
}

Pattern* parse_match_pattern(Parser& parser, bool allow_star);
Pattern* parse_match_pattern_lhs(Parser& parser, bool allow_star);
Pattern* parse_sequence_match_pattern(Parser& parser, Pattern* first,
                                      TextSize start,
                                      SequenceBrackets brackets);

PatternMatchValue* make_match_value(Parser& parser, Expr* value,
                                    TextRange range) {
  PatternMatchValue* pattern = parser.make<PatternMatchValue>(range);
  pattern->value = value;
  return pattern;
}

// Records one of this file's errors. Out of line, so that the error's text is
// made in this frame, not in the recursive ones.
[[gnu::noinline]] void add_other_error(Parser& parser, OtherParseError message,
                                       TextRange range) {
  parser.add_error(message, range);
}

// The capture `x`: a MatchAs with a name and no pattern.
const Identifier* capture_name(const Pattern* pattern) {
  const PatternMatchAs* as = pattern->dyn_cast<PatternMatchAs>();
  if (as == nullptr || as->pattern != nullptr) {
    return nullptr;
  }
  return as->name;
}

ExprName* make_name(Parser& parser, Name id, TextRange range, ExprContext ctx) {
  ExprName* name = parser.make<ExprName>(range);
  name->id = id;
  name->ctx = ctx;
  return name;
}

// The literal a singleton pattern stands for, with the pattern's range.
Expr* singleton_to_expr(Parser& parser, const PatternMatchSingleton& pattern) {
  if (pattern.value == Singleton::None) {
    return parser.make<ExprNoneLiteral>(pattern.range);
  }
  ExprBooleanLiteral* literal = parser.make<ExprBooleanLiteral>(pattern.range);
  literal->value = pattern.value == Singleton::True;
  return literal;
}

// The expression a pattern would be, for a pattern that stands where only
// an expression can: names become targets (`Store`), sequences lists,
// mappings dicts, class patterns calls and or-patterns `|` operations.
[[gnu::noinline]] Expr* pattern_to_expr(Parser& parser, Pattern* pattern) {
  const TextRange range = pattern->range;
  switch (pattern->kind()) {
    case NodeKind::PatternMatchValue:
      return pattern->as<PatternMatchValue>().value;
    case NodeKind::PatternMatchSingleton:
      return singleton_to_expr(parser, pattern->as<PatternMatchSingleton>());
    case NodeKind::PatternMatchSequence: {
      auto& sequence = pattern->as<PatternMatchSequence>();
      std::span<Expr*> elts =
          parser.arena().make_list<Expr*>(sequence.patterns.size());
      for (std::size_t index = 0; index < elts.size(); ++index) {
        elts[index] = pattern_to_expr(parser, sequence.patterns[index]);
      }
      ExprList* list = parser.make<ExprList>(range);
      list->elts = elts;
      list->ctx = ExprContext::Store;
      return list;
    }
    case NodeKind::PatternMatchMapping: {
      auto& mapping = pattern->as<PatternMatchMapping>();
      const std::size_t pairs = mapping.keys.size();
      std::span<DictItem> items = parser.arena().make_list<DictItem>(
          pairs + (mapping.rest != nullptr ? 1 : 0));
      for (std::size_t index = 0; index < pairs; ++index) {
        items[index].key = mapping.keys[index];
        items[index].value = pattern_to_expr(parser, mapping.patterns[index]);
      }
      if (mapping.rest != nullptr) {
        items[pairs].value = make_name(parser, mapping.rest->id,
                                       mapping.rest->range, ExprContext::Store);
      }
      ExprDict* dict = parser.make<ExprDict>(range);
      dict->items = items;
      return dict;
    }
    case NodeKind::PatternMatchClass: {
      auto& class_pattern = pattern->as<PatternMatchClass>();
      PatternArguments& arguments = class_pattern.arguments;
      ExprCall* call = parser.make<ExprCall>(range);
      call->func = class_pattern.cls;
      call->arguments.range = arguments.range;
      call->arguments.args =
          parser.arena().make_list<Expr*>(arguments.patterns.size());
      for (std::size_t index = 0; index < arguments.patterns.size(); ++index) {
        call->arguments.args[index] =
            pattern_to_expr(parser, arguments.patterns[index]);
      }
      call->arguments.keywords =
          parser.arena().make_list<Keyword>(arguments.keywords.size());
      for (std::size_t index = 0; index < arguments.keywords.size(); ++index) {
        PatternKeyword& keyword = arguments.keywords[index];
        Keyword& converted = call->arguments.keywords[index];
        converted.range = keyword.range;
        converted.arg = parser.arena().make<Identifier>(keyword.attr);
        converted.value = pattern_to_expr(parser, keyword.pattern);
      }
      return call;
    }
    case NodeKind::PatternMatchStar: {
      auto& star = pattern->as<PatternMatchStar>();
      // `*_` keeps no name: the wildcard's `_` is the star's last character.
      ExprName* name = star.name != nullptr
                           ? make_name(parser, star.name->id, star.name->range,
                                       ExprContext::Store)
                           : make_name(parser, Name("_"),
                                       TextRange(range.end() - 1, range.end()),
                                       ExprContext::Store);
      ExprStarred* starred = parser.make<ExprStarred>(range);
      starred->value = name;
      starred->ctx = ExprContext::Store;
      return starred;
    }
    case NodeKind::PatternMatchAs: {
      auto& as = pattern->as<PatternMatchAs>();
      if (as.pattern == nullptr && as.name == nullptr) {
        return make_name(parser, Name("_"), range, ExprContext::Store);
      }
      if (as.pattern == nullptr) {
        return make_name(parser, as.name->id, as.name->range,
                         ExprContext::Store);
      }
      if (as.name == nullptr) {
        return pattern_to_expr(parser, as.pattern);
      }
      // `p as x` has no expression form: what stays is a placeholder over
      // the whole of it.
      return make_name(parser, Name(), range, ExprContext::Invalid);
    }
    case NodeKind::PatternMatchOr: {
      auto& alternatives = pattern->as<PatternMatchOr>().patterns;
      if (alternatives.size() < 2) {
        trelk::fail_invariant(
            "internal error: entered unreachable code: Or patterns can only "
            "be formed with at least two patterns.");
      }
      Expr* left = pattern_to_expr(parser, alternatives[0]);
      for (std::size_t index = 1; index < alternatives.size(); ++index) {
        Expr* right = pattern_to_expr(parser, alternatives[index]);
        ExprBinOp* binary = parser.make<ExprBinOp>(
            TextRange(left->range.start(), right->range.end()));
        binary->left = left;
        binary->op = Operator::BitOr;
        binary->right = right;
        left = binary;
      }
      return left;
    }
    default:
      trelk::fail_invariant("a pattern node is one of the pattern kinds");
  }
}

// `(` or `[` at the current token: a parenthesized pattern (which leaves no
// node of its own) or a sequence pattern.
[[gnu::noinline]] Pattern* parse_group_or_sequence(Parser& parser,
                                                   TextSize start) {
  const bool parentheses = parser.at(TokenKind::Lpar);
  const SequenceBrackets brackets =
      parentheses ? SequenceBrackets::kParentheses : SequenceBrackets::kSquare;
  const TokenKind closing = closing_bracket(brackets);
  parser.bump_any();
  if (parser.at(TokenKind::Colon) || parser.at(TokenKind::Newline)) {
    add_other_error(parser,
                    parentheses ? OtherParseError::MissingPatternRpar
                                : OtherParseError::MissingPatternRsqb,
                    parser.current_token_range());
  }
  if (parser.eat(closing)) {
    return parser.make<PatternMatchSequence>(parser.node_range(start));
  }
  Pattern* first = parse_match_pattern(parser, true);
  if (parentheses && !parser.at(TokenKind::Comma)) {
    parser.expect(TokenKind::Rpar);
    return first;
  }
  return parse_sequence_match_pattern(parser, first, start, brackets);
}

// The key of a mapping pattern as an expression: a value or a singleton;
// anything else is reported and converted.
[[gnu::noinline]] Expr* mapping_key(Parser& parser, Pattern* key) {
  if (auto* value = key->dyn_cast<PatternMatchValue>()) {
    return value->value;
  }
  if (const auto* singleton = key->dyn_cast<PatternMatchSingleton>()) {
    return singleton_to_expr(parser, *singleton);
  }
  add_other_error(parser, OtherParseError::InvalidMappingKey, key->range);
  return pattern_to_expr(parser, key);
}

// `{` at the current token.
[[gnu::noinline]] Pattern* parse_mapping_pattern(Parser& parser,
                                                 TextSize start) {
  parser.bump(TokenKind::Lbrace);
  // Keys and values come in pairs, collected together and split once the
  // list is complete: two builders cannot grow at once.
  struct Pair {
    Expr* key;
    Pattern* value;
  };
  Parser::ListBuilder<Pair> pairs(parser);
  Identifier* rest = nullptr;
  parser.parse_comma_separated_list(
      RecoveryContextKind::MatchPatternMapping, [&] {
        const TextSize element_start = parser.current_token_start();
        if (parser.eat(TokenKind::DoubleStar)) {
          const Identifier name = parser.parse_identifier();
          if (rest != nullptr) {
            add_other_error(parser, OtherParseError::DuplicateDoubleStarPattern,
                            parser.node_range(element_start));
          }
          rest = parser.arena().make<Identifier>(name);
          return;
        }
        Pattern* key_pattern = parse_match_pattern_lhs(parser, false);
        Expr* key = mapping_key(parser, key_pattern);
        parser.expect(TokenKind::Colon);
        Pattern* value = parse_match_pattern(parser, false);
        pairs.push(Pair{.key = key, .value = value});
        if (rest != nullptr) {
          add_other_error(parser, OtherParseError::PatternAfterDoubleStar,
                          parser.node_range(element_start));
        }
      });
  parser.expect(TokenKind::Rbrace);

  PatternMatchMapping* mapping =
      parser.make<PatternMatchMapping>(parser.node_range(start));
  mapping->keys = parser.arena().make_list<Expr*>(pairs.size());
  mapping->patterns = parser.arena().make_list<Pattern*>(pairs.size());
  for (std::size_t index = 0; index < pairs.size(); ++index) {
    mapping->keys[index] = pairs[index].key;
    mapping->patterns[index] = pairs[index].value;
  }
  mapping->rest = rest;
  return mapping;
}

// The class of a class pattern: a dotted name or a plain name; anything else
// is reported and converted.
[[gnu::noinline]] Expr* class_pattern_class(Parser& parser, Pattern* pattern) {
  if (auto* value = pattern->dyn_cast<PatternMatchValue>();
      value != nullptr && value->value->is<ExprAttribute>()) {
    return value->value;
  }
  if (const Identifier* name = capture_name(pattern)) {
    return make_name(
        parser, name->id, name->range,
        name->is_valid() ? ExprContext::Load : ExprContext::Invalid);
  }
  add_other_error(parser, OtherParseError::InvalidClassPatternValue,
                  pattern->range);
  return pattern_to_expr(parser, pattern);
}

// `(` after the pattern `cls`, which started at `start`.
[[gnu::noinline]] Pattern* parse_class_pattern(Parser& parser, Pattern* cls,
                                               TextSize start) {
  Expr* class_expr = class_pattern_class(parser, cls);
  const TextSize arguments_start = parser.current_token_start();
  parser.bump(TokenKind::Lpar);
  // Positional and keyword patterns in source order, split at the end.
  struct Argument {
    Pattern* positional;  // null for a keyword pattern
    PatternKeyword keyword;
  };
  Parser::ListBuilder<Argument> arguments(parser);
  std::size_t positional_count = 0;
  bool seen_keyword = false;
  parser.parse_comma_separated_list(
      RecoveryContextKind::MatchPatternClassArguments, [&] {
        const TextSize element_start = parser.current_token_start();
        Pattern* pattern = parse_match_pattern(parser, false);
        if (!parser.eat(TokenKind::Equal)) {
          if (seen_keyword) {
            add_other_error(parser,
                            OtherParseError::PositionalAfterKeywordPattern,
                            parser.node_range(element_start));
          }
          ++positional_count;
          arguments.push(
              Argument{.positional = pattern, .keyword = PatternKeyword()});
          return;
        }
        Identifier attr;
        if (const Identifier* name = capture_name(pattern)) {
          attr = *name;
        } else {
          add_other_error(parser, OtherParseError::ExpectedKeywordPatternName,
                          pattern->range);
          attr.range = parser.placeholder_range();
        }
        Pattern* value = parse_match_pattern(parser, false);
        Argument argument{.positional = nullptr, .keyword = PatternKeyword()};
        argument.keyword.range = parser.node_range(element_start);
        argument.keyword.attr = attr;
        argument.keyword.pattern = value;
        arguments.push(argument);
        seen_keyword = true;
      });
  parser.expect(TokenKind::Rpar);

  PatternMatchClass* class_pattern =
      parser.make<PatternMatchClass>(parser.node_range(start));
  class_pattern->cls = class_expr;
  PatternArguments& result = class_pattern->arguments;
  result.range = parser.node_range(arguments_start);
  result.patterns = parser.arena().make_list<Pattern*>(positional_count);
  result.keywords = parser.arena().make_list<PatternKeyword>(arguments.size() -
                                                             positional_count);
  std::size_t positional_index = 0;
  std::size_t keyword_index = 0;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const Argument& argument = arguments[index];
    if (argument.positional != nullptr) {
      result.patterns[positional_index++] = argument.positional;
    } else {
      result.keywords[keyword_index++] = argument.keyword;
    }
  }
  return class_pattern;
}

bool is_real_number(const Expr* expr) {
  while (const auto* unary = expr->dyn_cast<ExprUnaryOp>()) {
    if (unary->op != UnaryOp::UAdd && unary->op != UnaryOp::USub) {
      return false;
    }
    expr = unary->operand;
  }
  const auto* number = expr->dyn_cast<ExprNumberLiteral>();
  return number != nullptr &&
         number->value.kind() != NumberLiteralValue::Kind::Complex;
}

bool is_imaginary_number(const Expr* expr) {
  const auto* number = expr->dyn_cast<ExprNumberLiteral>();
  return number != nullptr &&
         number->value.kind() == NumberLiteralValue::Kind::Complex;
}

// One side of a complex literal as an expression, reported with `error`
// unless `is_valid` accepts its value.
Expr* complex_side(Parser& parser, Pattern* side, bool (*is_valid)(const Expr*),
                   ParseErrorKind error) {
  auto* value = side->dyn_cast<PatternMatchValue>();
  if (value != nullptr && is_valid(value->value)) {
    return value->value;
  }
  parser.add_error(error, side->range);
  return value != nullptr ? value->value.get() : pattern_to_expr(parser, side);
}

// `+` or `-` after the pattern `left`, which started at `start`: the rest of
// a complex literal such as `-1 + 2j`.
[[gnu::noinline]] Pattern* parse_complex_literal(Parser& parser, Pattern* left,
                                                 TextSize start) {
  const Operator op =
      parser.at(TokenKind::Plus) ? Operator::Add : Operator::Sub;
  parser.bump_any();
  Expr* real = complex_side(parser, left, is_real_number,
                            ParseErrorKind::ExpectedRealNumber);
  Pattern* right = parse_match_pattern_lhs(parser, false);
  Expr* imaginary = complex_side(parser, right, is_imaginary_number,
                                 ParseErrorKind::ExpectedImaginaryNumber);
  const TextRange range = parser.node_range(start);
  ExprBinOp* binary = parser.make<ExprBinOp>(range);
  binary->left = real;
  binary->op = op;
  binary->right = imaginary;
  return make_match_value(parser, binary, range);
}

// A name at the current token: a capture, the wildcard, or (followed by
// `.`) the dotted name of a value pattern.
[[gnu::noinline]] Pattern* parse_name_pattern(Parser& parser, TextSize start) {
  if (parser.peek() == TokenKind::Dot) {
    const Identifier identifier = parser.parse_identifier();
    Expr* value = make_name(
        parser, identifier.id, identifier.range,
        identifier.is_valid() ? ExprContext::Load : ExprContext::Invalid);
    while (parser.at(TokenKind::Dot)) {
      value =
          parser.parse_attribute_expression(ParsedExpr{value, false}, start);
    }
    return make_match_value(parser, value, parser.node_range(start));
  }
  const Identifier identifier = parser.parse_identifier();
  PatternMatchAs* as = parser.make<PatternMatchAs>(identifier.range);
  if (identifier.id != "_") {
    as->name = parser.arena().make<Identifier>(identifier);
  }
  return as;
}

// A pattern that holds no other pattern: a star, a literal, a singleton, a
// signed number or a name; null when the current token starts none.
[[gnu::noinline]] Pattern* parse_leaf_pattern(Parser& parser, TextSize start,
                                              bool allow_star) {
  switch (parser.current_token_kind()) {
    case TokenKind::Star: {
      parser.bump(TokenKind::Star);
      const Identifier name = parser.parse_identifier();
      PatternMatchStar* star =
          parser.make<PatternMatchStar>(parser.node_range(start));
      if (name.id != "_") {
        star->name = parser.arena().make<Identifier>(name);
      }
      if (!allow_star) {
        parser.add_error(ParseErrorKind::InvalidStarPatternUsage, star->range);
      }
      return star;
    }
    case TokenKind::Int:
    case TokenKind::Float:
    case TokenKind::Complex: {
      Expr* number = parser.parse_number_literal();
      return make_match_value(parser, number, parser.node_range(start));
    }
    case TokenKind::String:
    case TokenKind::FStringStart:
    case TokenKind::TStringStart: {
      Expr* strings = parser.parse_strings();
      return make_match_value(parser, strings, parser.node_range(start));
    }
    case TokenKind::None:
    case TokenKind::True:
    case TokenKind::False: {
      const TokenKind kind = parser.current_token_kind();
      parser.bump(kind);
      PatternMatchSingleton* singleton =
          parser.make<PatternMatchSingleton>(parser.node_range(start));
      singleton->value = kind == TokenKind::None   ? Singleton::None
                         : kind == TokenKind::True ? Singleton::True
                                                   : Singleton::False;
      return singleton;
    }
    case TokenKind::Plus:
    case TokenKind::Minus: {
      const TokenKind next = parser.peek();
      if (next != TokenKind::Int && next != TokenKind::Float &&
          next != TokenKind::Complex) {
        return nullptr;
      }
      const bool plus = parser.at(TokenKind::Plus);
      // At a sign, the operator parser reads exactly the unary expression.
      Expr* unary = parser.parse_lhs_expression(0, kNoContext).expr;
      if (plus) {
        add_other_error(parser, OtherParseError::UnaryPlusLiteralPattern,
                        unary->range);
      }
      return make_match_value(parser, unary, parser.node_range(start));
    }
    default:
      if (parser.at(TokenKind::Name) || parser.at_ts(kKeywords)) {
        return parse_name_pattern(parser, start);
      }
      return nullptr;
  }
}

// What stands for a pattern that is not there: a value of the empty name.
[[gnu::noinline]] Pattern* make_missing_pattern(Parser& parser) {
  ExprName* missing = parser.make_missing_name_expr();
  return make_match_value(parser, missing, missing->range);
}

// Stack: every cycle of the pattern grammar runs through this function,
// parse_match_pattern and one bracket form, so each of them keeps a small
// frame and leaves the rest to helpers out of line; sanitizer builds give
// every local its own red zone, and a deep pattern must still fit a worker's
// stack right up to the nesting bound.
Pattern* parse_match_pattern_lhs(Parser& parser, bool allow_star) {
  Parser::NestingScope scope(parser);
  if (!scope) {
    return make_missing_pattern(parser);
  }
  const TextSize start = parser.current_token_start();
  Pattern* lhs = nullptr;
  switch (parser.current_token_kind()) {
    case TokenKind::Lpar:
    case TokenKind::Lsqb:
      lhs = parse_group_or_sequence(parser, start);
      break;
    case TokenKind::Lbrace:
      lhs = parse_mapping_pattern(parser, start);
      break;
    default:
      lhs = parse_leaf_pattern(parser, start, allow_star);
      if (lhs == nullptr) {
        add_other_error(parser, OtherParseError::ExpectedPattern,
                        parser.current_token_range());
        // A sign that no number follows starts an element of the pattern
        // lists, so it is taken with its error: a list that met it again
        // would stand still.
        if (parser.at(TokenKind::Plus) || parser.at(TokenKind::Minus)) {
          parser.bump_any();
        }
        return make_missing_pattern(parser);
      }
      break;
  }
  if (parser.at(TokenKind::Lpar) && !lhs->is<PatternMatchClass>()) {
    lhs = parse_class_pattern(parser, lhs, start);
  }
  if (parser.at(TokenKind::Plus) || parser.at(TokenKind::Minus)) {
    lhs = parse_complex_literal(parser, lhs, start);
  }
  return lhs;
}

void report_star_pattern(Parser& parser, const Pattern* pattern) {
  if (pattern->is<PatternMatchStar>()) {
    parser.add_error(ParseErrorKind::InvalidStarPatternUsage, pattern->range);
  }
}

// `|` after the first alternative, which started at `start`.
[[gnu::noinline]] Pattern* parse_or_pattern(Parser& parser, Pattern* first,
                                            TextSize start) {
  report_star_pattern(parser, first);
  Parser::ListBuilder<Pattern*> alternatives(parser);
  alternatives.push(first);
  ParserProgress progress;
  while (parser.at(TokenKind::Vbar)) {
    progress.assert_progressing(parser);
    parser.bump(TokenKind::Vbar);
    Pattern* alternative = parse_match_pattern_lhs(parser, false);
    alternatives.push(alternative);
  }
  PatternMatchOr* or_pattern =
      parser.make<PatternMatchOr>(parser.node_range(start));
  or_pattern->patterns = alternatives.finish();
  return or_pattern;
}

// `as` after `pattern`, which started at `start`.
[[gnu::noinline]] Pattern* parse_as_pattern(Parser& parser, Pattern* pattern,
                                            TextSize start) {
  parser.bump(TokenKind::As);
  report_star_pattern(parser, pattern);
  const Identifier name = parser.parse_identifier();
  PatternMatchAs* as = parser.make<PatternMatchAs>(parser.node_range(start));
  as->pattern = pattern;
  as->name = parser.arena().make<Identifier>(name);
  return as;
}

Pattern* parse_match_pattern(Parser& parser, bool allow_star) {
  TextSize start = parser.current_token_start();
  Pattern* pattern = parse_match_pattern_lhs(parser, allow_star);
  // A missing first pattern sits at the end of the token before it, which
  // may lie before `start` (`( | x)`): the or or as pattern begins there.
  start = std::min(start, pattern->range.start());
  if (parser.at(TokenKind::Vbar)) {
    pattern = parse_or_pattern(parser, pattern, start);
  }
  if (parser.at(TokenKind::As)) {
    pattern = parse_as_pattern(parser, pattern, start);
  }
  return pattern;
}

// The rest of a sequence pattern whose first element, `first`, is read;
// `start` is where the pattern starts (at its bracket, if any).
[[gnu::noinline]] Pattern* parse_sequence_match_pattern(
    Parser& parser, Pattern* first, TextSize start, SequenceBrackets brackets) {
  // A comma may be left out only where the sequence closes: `(a,)` and
  // `[a]` are sequences, `[a b]` lacks a comma.
  if (brackets == SequenceBrackets::kNone ||
      !parser.at(closing_bracket(brackets))) {
    parser.expect(TokenKind::Comma);
  }
  Parser::ListBuilder<Pattern*> patterns(parser);
  patterns.push(first);
  parser.parse_comma_separated_list(sequence_list_kind(brackets), [&] {
    Pattern* element = parse_match_pattern(parser, true);
    patterns.push(element);
  });
  if (brackets != SequenceBrackets::kNone) {
    parser.expect(closing_bracket(brackets));
  }
  PatternMatchSequence* sequence =
      parser.make<PatternMatchSequence>(parser.node_range(start));
  sequence->patterns = patterns.finish();
  return sequence;
}

Expr* parse_match_subject_expression(Parser& parser) {
  const TextSize start = parser.current_token_start();
  const ParsedExpr first =
      parser.parse_named_expression_or_higher(kElementContext);
  if (parser.eat(TokenKind::Comma)) {
    Parser::ListBuilder<Expr*> elts(parser);
    elts.push(first.expr);
    parser.parse_comma_separated_list(
        RecoveryContextKind::TupleElementsUnparenthesized, [&] {
          Expr* element =
              parser.parse_named_expression_or_higher(kElementContext).expr;
          elts.push(element);
        });
    ExprTuple* tuple = parser.make<ExprTuple>(parser.node_range(start));
    tuple->elts = elts.finish();
    tuple->ctx = ExprContext::Load;
    tuple->parenthesized = false;
    return tuple;
  }
  if (!first.is_parenthesized && first.expr->is<ExprStarred>()) {
    parser.add_error(ParseErrorKind::InvalidStarredUsage, first.expr->range);
  }
  return first.expr;
}

MatchCase parse_match_case(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Case);
  const TextSize pattern_start = parser.current_token_start();
  Pattern* pattern = parse_match_pattern(parser, true);
  if (parser.at(TokenKind::Comma)) {
    // As for `|`: a missing first element may lie before `pattern_start`.
    pattern = parse_sequence_match_pattern(
        parser, pattern, std::min(pattern_start, pattern->range.start()),
        SequenceBrackets::kNone);
  } else if (pattern->is<PatternMatchStar>()) {
    parser.add_error(ParseErrorKind::InvalidStarPatternUsage, pattern->range);
  }
  Expr* guard = nullptr;
  if (parser.eat(TokenKind::If)) {
    if (parser.at_expr()) {
      guard = parser.parse_named_expression_or_higher(kNoContext).expr;
    } else {
      parser.add_error(ParseErrorKind::ExpectedExpression,
                       parser.current_token_range());
    }
  }
  parser.expect(TokenKind::Colon);
  const std::span<Stmt*> body = parser.parse_body(Clause::Case);
  MatchCase match_case;
  match_case.range = parser.node_range(start);
  match_case.pattern = pattern;
  match_case.guard = guard;
  match_case.body = body;
  return match_case;
}

// From the line end after the subject's colon to the block's Dedent.
std::span<MatchCase> parse_match_body(Parser& parser) {
  parser.expect(TokenKind::Newline);
  if (!parser.eat(TokenKind::Indent)) {
    add_other_error(parser, OtherParseError::ExpectedMatchBlock,
                    parser.current_token_range());
  }
  std::span<MatchCase> cases;
  if (!parser.at(TokenKind::Case)) {
    add_other_error(parser, OtherParseError::ExpectedCaseBlock,
                    parser.current_token_range());
  } else {
    Parser::ListBuilder<MatchCase> builder(parser);
    ParserProgress progress;
    while (parser.at(TokenKind::Case)) {
      progress.assert_progressing(parser);
      const MatchCase match_case = parse_match_case(parser);
      builder.push(match_case);
    }
    cases = builder.finish();
  }
  // Whatever else stands at the block's level is left to the enclosing
  // statement list.
  parser.expect(TokenKind::Dedent);
  return cases;
}

}  // namespace

Stmt* Parser::parse_match_statement(TextSize start) {
  const TextRange keyword = current_token_range();
  bump(TokenKind::Match);
  Expr* subject = parse_match_subject_expression(*this);
  // Where the decision had to read ahead, it found either the colon or a
  // line end before an indented `case`: the same error either way.
  expect(TokenKind::Colon);
  const std::span<MatchCase> cases = parse_match_body(*this);
  // Recorded for every match statement, also one whose subject starts with
  // a bracket or a sign and so had to be read ahead.
  add_unsupported_syntax_error(UnsupportedSyntaxKind::MatchStatement, keyword);
  StmtMatch* match = make<StmtMatch>(node_range(start));
  match->subject = subject;
  match->cases = cases;
  return match;
}

}  // namespace divu
