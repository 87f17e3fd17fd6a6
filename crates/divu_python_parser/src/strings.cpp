// String expressions: a run of adjacent literals (implicit concatenation)
// becomes one expression, and the inside of f-strings and t-strings is
// parsed into literal parts and interpolations.
//
// The lexer has already cut an f-string into a start token, middle tokens
// for its literal text, the tokens of each interpolation between `{` and
// `}`, and an end token; the parser asks it to repair two guesses on the
// way (a quote that really ends the string, and `!r'` read as a raw
// string).

#include <string>
#include <variant>

#include "invariant.h"
#include "parser.h"
#include "string_decoding.h"

namespace divu {
namespace {

// The token kinds and list kinds of one of the two interpolated strings.
struct InterpolatedStringTokens {
  InterpolatedStringKind kind;
  TokenKind start;
  TokenKind middle;
  TokenKind end;
  RecoveryContextKind elements;
  RecoveryContextKind format_spec_elements;
};

constexpr InterpolatedStringTokens kFStringTokens = {
    .kind = InterpolatedStringKind::FString,
    .start = TokenKind::FStringStart,
    .middle = TokenKind::FStringMiddle,
    .end = TokenKind::FStringEnd,
    .elements = RecoveryContextKind::FStringElements,
    .format_spec_elements = RecoveryContextKind::FStringElementsInFormatSpec,
};
constexpr InterpolatedStringTokens kTStringTokens = {
    .kind = InterpolatedStringKind::TString,
    .start = TokenKind::TStringStart,
    .middle = TokenKind::TStringMiddle,
    .end = TokenKind::TStringEnd,
    .elements = RecoveryContextKind::TStringElements,
    .format_spec_elements = RecoveryContextKind::TStringElementsInFormatSpec,
};

// One f-string or t-string as read: its elements, range and flags.
struct InterpolatedString {
  std::span<InterpolatedStringElement*> elements;
  TextRange range;
  AnyStringFlags flags;
};

// Reads the elements of one f-string or t-string, nested format
// specifications included, into nodes.
class InterpolatedElementParser {
 public:
  InterpolatedElementParser(Parser& parser,
                            const InterpolatedStringTokens& tokens,
                            AnyStringFlags flags)
      : parser_(parser), tokens_(tokens), flags_(flags) {}

  // The elements from the current token up to the end token (regular form)
  // or up to the `}` of a format specification.
  std::span<InterpolatedStringElement*> parse_elements(
      RecoveryContextKind kind) {
    Parser::ListBuilder<InterpolatedStringElement*> elements(parser_);
    parser_.parse_list(kind, [&] { elements.push(parse_element()); });
    return elements.finish();
  }

 private:
  ParseErrorType error(InterpolatedStringErrorType type) const {
    return ParseErrorType::interpolated_string(tokens_.kind, type);
  }

  InterpolatedStringElement* parse_element() {
    if (!parser_.at(tokens_.middle)) {
      return parse_interpolation();
    }
    const TextRange range = parser_.current_token_range();
    const TokenValue value = parser_.bump_value(tokens_.middle);
    const std::string_view text =
        parser_.keep_text(std::get<InterpolatedStringMiddleValue>(value).text);
    auto decoded = parse_interpolated_string_literal_element(
        text, flags_, range, parser_.arena());
    if (!decoded) {
      parser_.add_error(ParseErrorType::lexical(decoded.error().error),
                        decoded.error().location);
      return parser_.make<InterpolatedStringElementLiteral>(range);
    }
    return parser_.arena().make<InterpolatedStringElementLiteral>(*decoded);
  }

  InterpolatedStringElement* parse_interpolation() {
    // Every nested f-string passes through here: `f"{f'{...}'}"`.
    Parser::NestingScope scope(parser_);
    const TextSize open = parser_.current_token_start();
    if (!scope) {
      auto* node = parser_.make<InterpolatedStringElementInterpolation>(
          parser_.node_range(open));
      node->expression = parser_.make_missing_name_expr();
      return node;
    }
    parser_.bump(TokenKind::Lbrace);
    parser_.token_source().re_lex_string_token_in_interpolation_element(
        tokens_.kind);

    const ParsedExpr parsed = parser_.parse_expression_list(kValueContext);
    Expr* expression = parsed.expr;
    if (expression->is<ExprLambda>() && !parsed.is_parenthesized) {
      parser_.add_error(
          error(InterpolatedStringErrorType::LambdaWithoutParentheses),
          expression->range);
    }

    DebugText* debug_text = nullptr;
    if (parser_.at(TokenKind::Equal)) {
      parser_.bump(TokenKind::Equal);
      debug_text = parser_.arena().make<DebugText>();
      debug_text->leading =
          parser_.src_text(TextRange(open + 1, expression->range.start()));
      debug_text->trailing = parser_.src_text(
          TextRange(expression->range.end(), parser_.current_token_start()));
    }

    ConversionFlag conversion = ConversionFlag::None;
    if (parser_.at(TokenKind::Exclamation)) {
      conversion = parse_conversion();
    }

    InterpolatedStringFormatSpec* format_spec = nullptr;
    if (parser_.at(TokenKind::Colon)) {
      parser_.bump(TokenKind::Colon);
      const TextSize spec_start = parser_.current_token_start();
      std::span<InterpolatedStringElement*> elements =
          parse_elements(tokens_.format_spec_elements);
      format_spec = parser_.make<InterpolatedStringFormatSpec>(
          parser_.node_range(spec_start));
      format_spec->elements = elements;
    }

    parser_.token_source().re_lex_string_token_in_interpolation_element(
        tokens_.kind);
    if (parser_.at(TokenKind::Rbrace)) {
      parser_.bump(TokenKind::Rbrace);
    } else {
      parser_.add_error(error(InterpolatedStringErrorType::UnclosedLbrace),
                        parser_.current_token_range());
    }

    auto* node = parser_.make<InterpolatedStringElementInterpolation>(
        parser_.node_range(open));
    node->expression = expression;
    node->debug_text = debug_text;
    node->conversion = conversion;
    node->format_spec = format_spec;
    if (tokens_.kind == InterpolatedStringKind::FString) {
      check_syntax_before_3_12(TextRange(open, format_spec != nullptr
                                                   ? format_spec->range.start()
                                                   : node->range.end()));
    }
    return node;
  }

  // REQUIRES: at `!`.
  ConversionFlag parse_conversion() {
    const TextSize exclamation_end = parser_.current_token_range().end();
    parser_.bump(TokenKind::Exclamation);
    parser_.token_source().re_lex_raw_string_in_format_spec();
    if (!parser_.at(TokenKind::Name)) {
      parser_.add_error(
          error(InterpolatedStringErrorType::InvalidConversionFlag),
          parser_.current_token_range());
      // The end of the text cannot be consumed; it ends every list anyway.
      if (!parser_.at(TokenKind::EndOfFile)) {
        parser_.bump_any();
      }
      return ConversionFlag::None;
    }
    const TextRange name_range = parser_.current_token_range();
    if (name_range.start() != exclamation_end) {
      parser_.add_error(error(InterpolatedStringErrorType::
                                  ConversionFlagNotImmediatelyAfterExclamation),
                        TextRange(exclamation_end, name_range.start()));
    }
    const TokenValue value = parser_.bump_value(TokenKind::Name);
    const std::string_view name = std::get<NameValue>(value).text.view();
    if (name == "s") {
      return ConversionFlag::Str;
    }
    if (name == "r") {
      return ConversionFlag::Repr;
    }
    if (name == "a") {
      return ConversionFlag::Ascii;
    }
    parser_.add_error(error(InterpolatedStringErrorType::InvalidConversionFlag),
                      name_range);
    return ConversionFlag::None;
  }

  // Before 3.12 an interpolation could hold no backslash, no comment and
  // not its own string's quotes. `stretch` runs from the `{` to the format
  // specification, or to the `}` when there is none.
  void check_syntax_before_3_12(TextRange stretch) {
    if (!is_unsupported(UnsupportedSyntaxKind::InterpolatedStringSyntax,
                        parser_.options().target_version)) {
      return;
    }
    const auto record = [&](InterpolatedStringSyntaxKind kind,
                            TextRange range) {
      parser_.add_unsupported_syntax_error(
          UnsupportedSyntaxErrorKind{
              .kind = UnsupportedSyntaxKind::InterpolatedStringSyntax,
              .variant = static_cast<std::uint8_t>(kind),
              .description = {}},
          range);
    };
    const std::string_view text = parser_.src_text(stretch);
    for (std::size_t index = text.find('\\'); index != std::string_view::npos;
         index = text.find('\\', index + 1)) {
      const TextSize at = stretch.start() + static_cast<TextSize>(index);
      record(InterpolatedStringSyntaxKind::Backslash, TextRange(at, at + 1));
    }
    const char quote_char =
        flags_.quote_style() == QuoteStyle::Double ? '"' : '\'';
    const std::size_t quote_length = flags_.is_triple_quoted() ? 3 : 1;
    const std::string quote(quote_length, quote_char);
    if (const std::size_t index = text.find(quote);
        index != std::string_view::npos) {
      const TextSize at = stretch.start() + static_cast<TextSize>(index);
      record(InterpolatedStringSyntaxKind::NestedQuote,
             TextRange(at, at + static_cast<TextSize>(quote_length)));
    }
    // The comments of the stretch are among the last tokens listed; they
    // are found walking back from the end, in reverse, and recorded in
    // source order.
    const TokenList& tokens = parser_.token_source().tokens();
    std::size_t first = tokens.size();
    while (first > 0 && tokens[first - 1].range.start() >= stretch.start()) {
      --first;
    }
    for (std::size_t index = first; index < tokens.size(); ++index) {
      const Token& token = tokens[index];
      if (token.kind == TokenKind::Comment &&
          token.range.end() <= stretch.end()) {
        record(InterpolatedStringSyntaxKind::EmbeddedComment, token.range);
      }
    }
  }

  Parser& parser_;
  const InterpolatedStringTokens& tokens_;
  AnyStringFlags flags_;
};

// One f-string or t-string from its start token to its end token.
InterpolatedString parse_interpolated_string(
    Parser& parser, const InterpolatedStringTokens& tokens) {
  const TextSize start = parser.current_token_start();
  const AnyStringFlags flags(parser.current_token_flags());
  parser.bump(tokens.start);
  std::span<InterpolatedStringElement*> elements =
      InterpolatedElementParser(parser, tokens, flags)
          .parse_elements(tokens.elements);
  const bool closed = parser.expect(tokens.end);
  return InterpolatedString{
      .elements = elements,
      .range = parser.node_range(start),
      .flags = closed ? flags : flags.with(AnyStringFlags::kUnclosed),
  };
}

// A plain string or bytes token, decoded; an undecodable one becomes an
// empty part with the invalid mark.
Node* parse_string_token(Parser& parser) {
  const TextRange range = parser.current_token_range();
  const AnyStringFlags flags(parser.current_token_flags());
  const TokenValue value = parser.bump_value(TokenKind::String);
  const std::string_view text =
      parser.keep_text(std::get<StringValue>(value).text);
  auto decoded = parse_string_literal(text, flags, range, parser.arena());
  const bool bytes = flags.contains(AnyStringFlags::kPrefixB);
  if (!decoded) {
    parser.add_error(ParseErrorType::lexical(decoded.error().error),
                     decoded.error().location);
    if (bytes) {
      auto* part = parser.make<BytesLiteral>(range);
      part->flags =
          flags.to_bytes_literal_flags().with(BytesLiteralFlags::kInvalid);
      return part;
    }
    auto* part = parser.make<StringLiteral>(range);
    part->flags =
        flags.to_string_literal_flags().with(StringLiteralFlags::kInvalid);
    return part;
  }
  if (bytes) {
    return parser.arena().make<BytesLiteral>(
        std::get<BytesLiteral>(std::move(*decoded)));
  }
  return parser.arena().make<StringLiteral>(
      std::get<StringLiteral>(std::move(*decoded)));
}

// The placeholder part that stands for a part of another kind.
StringLiteral* invalid_part(Parser& parser, const Node* part) {
  return parser.arena().make<StringLiteral>(
      StringLiteral::invalid(part->range));
}

template <class Part>
std::span<Part* const> parts_as(Parser& parser, std::span<Node* const> parts) {
  std::span<Part*> out = parser.arena().make_list<Part*>(parts.size());
  for (std::size_t index = 0; index < parts.size(); ++index) {
    out[index] = &parts[index]->as<Part>();
  }
  return out;
}

// How many parts of each kind an implicitly concatenated string has.
struct StringPartCounts {
  std::size_t bytes = 0;
  std::size_t tstrings = 0;
  bool has_fstring = false;
};

// Reads the run of string, f-string and t-string tokens at the current
// token into `parts`, one node each.
StringPartCounts read_string_parts(Parser& parser,
                                   Parser::ListBuilder<Node*>& parts) {
  StringPartCounts counts;
  ParserProgress progress;
  while (true) {
    const TokenKind kind = parser.current_token_kind();
    if (kind != TokenKind::String && kind != TokenKind::FStringStart &&
        kind != TokenKind::TStringStart) {
      break;
    }
    progress.assert_progressing(parser);
    if (kind == TokenKind::String) {
      Node* part = parse_string_token(parser);
      counts.bytes += part->is<BytesLiteral>() ? 1u : 0u;
      parts.push(part);
    } else if (kind == TokenKind::FStringStart) {
      const InterpolatedString read =
          parse_interpolated_string(parser, kFStringTokens);
      auto* part = parser.make<FString>(read.range);
      part->elements = read.elements;
      part->flags = read.flags.to_fstring_flags();
      counts.has_fstring = true;
      parts.push(part);
    } else {
      const InterpolatedString read =
          parse_interpolated_string(parser, kTStringTokens);
      auto* part = parser.make<TString>(read.range);
      part->elements = read.elements;
      part->flags = read.flags.to_tstring_flags();
      parser.add_unsupported_syntax_error(UnsupportedSyntaxKind::TemplateString,
                                          part->range);
      ++counts.tstrings;
      parts.push(part);
    }
  }
  return counts;
}

// The expression of a string that is one part alone.
Expr* make_single_part_expression(Parser& parser, Node* part, TextRange range) {
  switch (part->kind()) {
    case NodeKind::StringLiteral: {
      auto* node = parser.make<ExprStringLiteral>(range);
      node->value = StringLiteralValue::single(&part->as<StringLiteral>());
      return node;
    }
    case NodeKind::BytesLiteral: {
      auto* node = parser.make<ExprBytesLiteral>(range);
      node->value = BytesLiteralValue::single(&part->as<BytesLiteral>());
      return node;
    }
    case NodeKind::FString: {
      auto* node = parser.make<ExprFString>(range);
      node->value = FStringValue::single(&part->as<FString>());
      return node;
    }
    default: {
      auto* node = parser.make<ExprTString>(range);
      node->value = TStringValue::single(&part->as<TString>());
      return node;
    }
  }
}

// The expression over `parts` as read. Where kinds that cannot be joined
// are mixed, the complaint is recorded and the odd parts stand in as
// invalid string parts.
Expr* make_string_expression(Parser& parser, std::span<Node* const> parts,
                             const StringPartCounts& counts, TextRange range) {
  if (parts.size() == 1) {
    return make_single_part_expression(parser, parts[0], range);
  }
  bool as_fstring = counts.has_fstring;
  if (counts.bytes > 0) {
    if (counts.bytes == parts.size()) {
      auto* node = parser.make<ExprBytesLiteral>(range);
      node->value = BytesLiteralValue::concatenated(
          parts_as<BytesLiteral>(parser, parts));
      return node;
    }
    parser.add_error(OtherParseError::BytesMixedWithNonBytes, range);
  }
  if (counts.tstrings > 0) {
    if (counts.tstrings == parts.size()) {
      auto* node = parser.make<ExprTString>(range);
      node->value =
          TStringValue::concatenated(parts_as<TString>(parser, parts));
      return node;
    }
    parser.add_error(OtherParseError::TStringMixedWithOthers, range);
    as_fstring = true;
  }
  if (as_fstring) {
    std::span<FStringPart*> out =
        parser.arena().make_list<FStringPart*>(parts.size());
    for (std::size_t index = 0; index < parts.size(); ++index) {
      Node* part = parts[index];
      if (part->is<StringLiteral>()) {
        out[index] = &part->as<StringLiteral>();
      } else if (part->is<FString>()) {
        out[index] = &part->as<FString>();
      } else {
        out[index] = invalid_part(parser, part);
      }
    }
    auto* node = parser.make<ExprFString>(range);
    node->value = FStringValue::concatenated(out);
    return node;
  }
  std::span<StringLiteral*> out =
      parser.arena().make_list<StringLiteral*>(parts.size());
  for (std::size_t index = 0; index < parts.size(); ++index) {
    Node* part = parts[index];
    out[index] = part->is<StringLiteral>() ? &part->as<StringLiteral>()
                                           : invalid_part(parser, part);
  }
  auto* node = parser.make<ExprStringLiteral>(range);
  node->value = StringLiteralValue::concatenated(out);
  return node;
}

}  // namespace

// The parts are all read before the node is chosen: the kinds they hold
// decide which expression they make.
Expr* Parser::parse_strings() {
  const TextSize start = current_token_start();
  ListBuilder<Node*> parts(*this);
  const StringPartCounts counts = read_string_parts(*this, parts);
  TRELK_CHECK(!parts.empty(),
              "assertion failed: parse_strings at a string token");
  return make_string_expression(*this, {parts.data(), parts.size()}, counts,
                                node_range(start));
}

}  // namespace divu
