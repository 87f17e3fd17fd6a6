// Strings: prefixes, plain and bytes literals, and f-strings and t-strings,
// with the two re-lex operations the parser asks for inside them.
//
// An f-string is not one token. `f"{x:{w}>10}"` comes out as
//
//   FStringStart  f"     pushes an InterpolationContext (quote, flags, and
//                        the bracket nesting at the start)
//   Lbrace        {      nesting + 1: now inside a replacement field, so
//                        ordinary tokens follow
//   Name          x
//   Colon         :      at the field's own nesting level: a format spec
//                        starts (format_spec_depth + 1), so what follows is
//                        literal text again
//   Lbrace        {      a nested field inside the format spec
//   Name          w
//   Rbrace        }      back in the format spec's literal text
//   FStringMiddle >10    literal text, doubled braces reduced to one
//   Rbrace        }      closes the outer field and its format spec
//   FStringEnd    "      pops the context
//
// The current context decides at each token whether the lexer reads literal
// text (lex_interpolated_string_middle_or_end) or an ordinary token; a
// t-string is lexed the same way with its own kinds.

#include <string>
#include <vector>

#include "byte_search.h"
#include "invariant.h"
#include "lexer.h"
#include "lexer_support.h"

namespace divu {

using namespace lexer_detail;

namespace {

// Counts the backslashes directly before `at`, not looking before `floor`.
std::size_t backslashes_before(const char* floor, const char* at) {
  std::size_t count = 0;
  while (at > floor && at[-1] == '\\') {
    --at;
    ++count;
  }
  return count;
}

}  // namespace

std::optional<TokenKind> Lexer::try_string_prefix(unsigned char first) {
  auto raw_bit = [](unsigned char c) -> Bits {
    return c == 'r' ? F::kPrefixRawLower : (c == 'R' ? F::kPrefixRawUpper : 0);
  };
  auto kind_bit = [](unsigned char c) -> Bits {
    switch (c) {
      case 'b':
      case 'B':
        return F::kPrefixB;
      case 'f':
      case 'F':
        return F::kPrefixF;
      case 't':
      case 'T':
        return F::kPrefixT;
      default:
        return 0;
    }
  };
  unsigned char next = cursor_.first_byte();
  Bits bits = 0;
  if (is_quote(next)) {
    bits = static_cast<Bits>(raw_bit(first) | kind_bit(first));
    if (first == 'u' || first == 'U') {
      bits = F::kPrefixU;
    }
    if (bits == 0) {
      return std::nullopt;
    }
  } else if (is_quote(cursor_.byte_at(1))) {
    if (raw_bit(first) != 0 && kind_bit(next) != 0) {
      bits = static_cast<Bits>(raw_bit(first) | kind_bit(next));
    } else if (kind_bit(first) != 0 && raw_bit(next) != 0) {
      bits = static_cast<Bits>(kind_bit(first) | raw_bit(next));
    } else {
      return std::nullopt;
    }
    cursor_.bump_byte();
  } else {
    return std::nullopt;
  }
  current_flags_ = current_flags_.with(bits);
  char quote = static_cast<char>(cursor_.first_byte());
  cursor_.bump_byte();
  state_ = LexerState::Other;
  if ((bits & (F::kPrefixF | F::kPrefixT)) != 0) {
    return lex_interpolated_string_start(quote);
  }
  return lex_string(quote);
}

TokenKind Lexer::lex_interpolated_string_start(char quote) {
  if (quote == '"') {
    current_flags_ = current_flags_.with(F::kDoubleQuote);
  }
  if (cursor_.eat_bytes2(quote, quote)) {
    current_flags_ = current_flags_.with(F::kTripleQuote);
  }
  TRELK_CHECK(current_flags_.intersects(F::kPrefixF | F::kPrefixT),
              "internal error: entered unreachable code: Can only be "
              "constructed when f-string or t-string flag is present");
  interpolated_strings_.push_back(InterpolationContext{
      .nesting = nesting_, .format_spec_depth = 0, .flags = current_flags_});
  return current_flags_.intersects(F::kPrefixF) ? TokenKind::FStringStart
                                                : TokenKind::TStringStart;
}

TokenKind Lexer::lex_string(char quote) {
  if (quote == '"') {
    current_flags_ = current_flags_.with(F::kDoubleQuote);
  }
  const char* const base = source_.data();
  const char* const end = base + source_.size();
  bool triple = cursor_.eat_bytes2(quote, quote);
  if (triple) {
    current_flags_ = current_flags_.with(F::kTripleQuote);
  }
  const TextSize body_start = cursor_.offset();
  const char* p = base + body_start;
  const char* floor = p;
  const char* stop = end;
  if (triple) {
    while (true) {
      const char* hit = static_cast<const char*>(
          std::memchr(p, quote, static_cast<std::size_t>(end - p)));
      if (hit == nullptr) {
        break;
      }
      p = hit + 1;
      if (backslashes_before(floor, hit) % 2 == 0 && end - p >= 2 &&
          p[0] == quote && p[1] == quote) {
        cursor_.set_offset(static_cast<TextSize>(p + 2 - base));
        current_value_ = StringValue{ValueText::borrowed(source_.substr(
            body_start, static_cast<TextSize>(hit - base) - body_start))};
        return TokenKind::String;
      }
      floor = p;
    }
  } else {
    while (true) {
      const std::size_t found = trelk::find_any_of_three_bytes(
          source_, static_cast<std::size_t>(p - base), quote, '\n', '\r');
      if (found == std::string_view::npos) {
        break;
      }
      const char* hit = base + found;
      if (backslashes_before(floor, hit) % 2 == 1) {
        p = hit + 1;
        if (*hit == '\r' && p < end && *p == '\n') {
          ++p;
        }
        floor = p;
        continue;
      }
      if (*hit == quote) {
        cursor_.set_offset(static_cast<TextSize>(hit + 1 - base));
        current_value_ = StringValue{ValueText::borrowed(source_.substr(
            body_start, static_cast<TextSize>(hit - base) - body_start))};
        return TokenKind::String;
      }
      stop = hit;
      break;
    }
  }
  cursor_.set_offset(static_cast<TextSize>(stop - base));
  current_flags_ = current_flags_.with(F::kUnclosed);
  record_error(LexicalErrorType(LexicalErrorKind::UnclosedString),
               cursor_.token_range());
  current_value_ = StringValue{ValueText::borrowed(
      source_.substr(body_start, cursor_.offset() - body_start))};
  return TokenKind::String;
}

std::optional<TokenKind> Lexer::lex_interpolated_string_middle_or_end() {
  const InterpolationContext context = interpolated_strings_.back();
  const bool is_fstring = context.is_fstring();
  const char quote = context.quote();
  const bool triple = context.is_triple_quoted();
  if (triple ? (cursor_.byte_at(0) == quote && cursor_.byte_at(1) == quote &&
                cursor_.byte_at(2) == quote)
             : cursor_.byte_at(0) == quote) {
    cursor_.skip_bytes(triple ? 3 : 1);
    current_flags_ = context.flags;
    interpolated_strings_.pop_back();
    return is_fstring ? TokenKind::FStringEnd : TokenKind::TStringEnd;
  }

  const bool in_format_spec = context.format_spec_depth > 0;
  const bool raw = context.is_raw();
  bool in_named_unicode = false;
  std::string normalized;
  bool has_normalized = false;
  TextSize last_copied = cursor_.offset();

  auto unterminated = [&](InterpolatedStringErrorType type) {
    nesting_ = context.nesting;
    interpolated_strings_.pop_back();
    current_flags_ = current_flags_.with(F::kUnclosed);
    record_error(interpolated_string_error(is_fstring, type),
                 cursor_.token_range());
  };
  auto take_doubled_brace = [&] {
    normalized.append(
        source_.substr(last_copied, cursor_.offset() + 1 - last_copied));
    cursor_.skip_bytes(2);
    last_copied = cursor_.offset();
    has_normalized = true;
  };

  while (true) {
    if (cursor_.is_eof()) {
      unterminated(
          triple ? InterpolatedStringErrorType::UnterminatedTripleQuotedString
                 : InterpolatedStringErrorType::UnterminatedString);
      break;
    }
    unsigned char c = cursor_.first_byte();
    if (c == '\n' || c == '\r') {
      if (!triple) {
        unterminated(in_format_spec
                         ? InterpolatedStringErrorType::NewlineInFormatSpec
                         : InterpolatedStringErrorType::UnterminatedString);
        break;
      }
      cursor_.bump_byte();
    } else if (c == '\\') {
      cursor_.bump_byte();
      unsigned char next = cursor_.first_byte();
      if (next == '{' || next == '}') {
        continue;
      }
      if (!raw && next == 'N' && cursor_.byte_at(1) == '{') {
        cursor_.skip_bytes(2);
        in_named_unicode = true;
        continue;
      }
      if (cursor_.bump() == '\r') {
        cursor_.eat_byte('\n');
      }
    } else if (c == static_cast<unsigned char>(quote)) {
      if (!triple || (cursor_.byte_at(1) == c && cursor_.byte_at(2) == c)) {
        break;
      }
      cursor_.bump_byte();
    } else if (c == '{') {
      if (cursor_.byte_at(1) == '{' && !in_format_spec) {
        take_doubled_brace();
      } else {
        break;
      }
    } else if (c == '}') {
      if (in_named_unicode) {
        cursor_.bump_byte();
        in_named_unicode = false;
      } else if (cursor_.byte_at(1) == '}' && !in_format_spec) {
        take_doubled_brace();
      } else {
        break;
      }
    } else if (c < 0x80) {
      cursor_.bump_byte();
    } else {
      cursor_.bump();
    }
  }

  if (cursor_.token_length() == 0) {
    return std::nullopt;
  }
  if (has_normalized) {
    normalized.append(
        source_.substr(last_copied, cursor_.offset() - last_copied));
    current_value_ =
        InterpolatedStringMiddleValue{ValueText::owned(std::move(normalized))};
  } else {
    current_value_ = InterpolatedStringMiddleValue{ValueText::borrowed(
        source_.substr(cursor_.token_start(), cursor_.token_length()))};
  }
  current_flags_ = context.flags;
  return is_fstring ? TokenKind::FStringMiddle : TokenKind::TStringMiddle;
}

TokenKind Lexer::lex_colon() {
  if (!interpolated_strings_.empty()) {
    InterpolationContext& context = interpolated_strings_.back();
    std::uint32_t open = context.open_brackets(nesting_);
    std::uint32_t beyond_spec =
        open > context.format_spec_depth ? open - context.format_spec_depth : 0;
    if (beyond_spec == 1) {
      ++context.format_spec_depth;
      return TokenKind::Colon;
    }
  }
  return cursor_.eat_byte('=') ? TokenKind::ColonEqual : TokenKind::Colon;
}

TokenKind Lexer::lex_rbrace() {
  if (!interpolated_strings_.empty()) {
    InterpolationContext& context = interpolated_strings_.back();
    if (context.nesting == nesting_) {
      return push_error(
          interpolated_string_error(context.is_fstring(),
                                    InterpolatedStringErrorType::SingleRbrace),
          cursor_.token_range());
    }
    if (context.format_spec_depth > 0 &&
        context.open_brackets(nesting_) <= context.format_spec_depth) {
      --context.format_spec_depth;
    }
  }
  nesting_ = nesting_ > 0 ? nesting_ - 1 : 0;
  state_ = LexerState::Other;
  return TokenKind::Rbrace;
}

// Drops the last error when it is the unclosed-string error of the current
// token, which a re-lex has just explained away.
static void drop_unclosed_string_error(std::vector<LexicalError>& errors,
                                       TextRange range) {
  if (!errors.empty() && errors.back().location == range &&
      errors.back().error.kind() == LexicalErrorKind::UnclosedString) {
    errors.pop_back();
  }
}

void Lexer::re_lex_raw_string_in_format_spec() {
  if (current_kind_ != TokenKind::String ||
      !current_flags_.intersects(F::kUnclosed) ||
      !current_flags_.intersects(F::kPrefixRawLower) ||
      current_flags_.intersects(F::kPrefixB | F::kPrefixF | F::kPrefixT)) {
    return;
  }
  drop_unclosed_string_error(errors_, current_range_);
  TextSize start = current_range_.start();
  current_range_ = TextRange(start, start + 1);
  current_kind_ = TokenKind::Name;
  current_value_ = std::monostate{};
  current_flags_ = TokenFlags();
  cursor_.set_offset(start + 1);
}

void Lexer::re_lex_string_token_in_interpolation_element(
    InterpolatedStringKind kind) {
  if (interpolated_strings_.empty() || current_kind_ != TokenKind::String ||
      !current_flags_.intersects(F::kUnclosed) ||
      current_flags_.intersects(kPrefixBits)) {
    return;
  }
  const InterpolationContext context = interpolated_strings_.back();
  constexpr Bits kQuoting = F::kDoubleQuote | F::kTripleQuote;
  if ((current_flags_.bits() & kQuoting) != (context.flags.bits() & kQuoting)) {
    return;
  }
  TextSize start = current_range_.start();
  TextSize quotes_end = start + (context.is_triple_quoted() ? 3 : 1);
  for (TextSize i = quotes_end; i < source_.size(); ++i) {
    char c = source_[i];
    if (c == '\n' || c == '\r' || c == '#') {
      break;
    }
    if (c != ' ' && c != '\t' && c != '\f') {
      return;
    }
  }
  drop_unclosed_string_error(errors_, current_range_);
  current_range_ = TextRange(start, quotes_end);
  current_kind_ = kind == InterpolatedStringKind::FString
                      ? TokenKind::FStringEnd
                      : TokenKind::TStringEnd;
  current_value_ = std::monostate{};
  current_flags_ = TokenFlags();
  nesting_ = context.nesting;
  interpolated_strings_.pop_back();
  cursor_.set_offset(quotes_end);
}

}  // namespace divu
