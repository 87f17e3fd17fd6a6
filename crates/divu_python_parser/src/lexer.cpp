#include "lexer.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

#include "invariant.h"
#include "unicode.h"

namespace divu {
namespace {

using Bits = TokenFlags::Bits;
using F = TokenFlags;

constexpr Bits kPrefixBits = F::kPrefixU | F::kPrefixB | F::kPrefixF |
                             F::kPrefixT | F::kPrefixRawLower |
                             F::kPrefixRawUpper;

LexicalErrorType interpolated_string_error(bool is_fstring,
                                           InterpolatedStringErrorType type) {
  return LexicalErrorType::interpolated_string(
      is_fstring ? InterpolatedStringKind::FString
                 : InterpolatedStringKind::TString,
      type);
}

// Byte classes of the ASCII fast paths.
enum ByteClass : std::uint8_t {
  kIdentifierContinue = 1,  // [A-Za-z0-9_]
};
constexpr auto kByteClasses = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) {
    table[c] |= kIdentifierContinue;
  }
  for (int c = 'A'; c <= 'Z'; ++c) {
    table[c] |= kIdentifierContinue;
  }
  for (int c = '0'; c <= '9'; ++c) {
    table[c] |= kIdentifierContinue;
  }
  table['_'] |= kIdentifierContinue;
  return table;
}();

bool is_ascii_identifier_continue(unsigned char c) {
  return (kByteClasses[c] & kIdentifierContinue) != 0;
}

bool is_quote(unsigned char c) { return c == '"' || c == '\''; }

bool is_digit_of(unsigned char c, unsigned radix) {
  switch (radix) {
    case 2:
      return c == '0' || c == '1';
    case 8:
      return c >= '0' && c <= '7';
    case 10:
      return c >= '0' && c <= '9';
    default:
      return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
             (c >= 'A' && c <= 'F');
  }
}

// Word-at-a-time search for the first of up to three byte values: the
// bodies of strings and comments are scanned in one pass, not one per byte
// kind. Returns `end` when none occurs.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
// Marks the zero bytes of `x`. Only the lowest mark is exact (a borrow can
// mark bytes above a zero byte), which is all the search needs.
inline std::uint64_t zero_bytes(std::uint64_t x) {
  return (x - kOnes) & ~x & kHighs;
}
const char* find_first_of3(const char* p, const char* end, char a, char b,
                           char c) {
  const std::uint64_t pa = kOnes * static_cast<unsigned char>(a);
  const std::uint64_t pb = kOnes * static_cast<unsigned char>(b);
  const std::uint64_t pc = kOnes * static_cast<unsigned char>(c);
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    std::uint64_t hits =
        zero_bytes(word ^ pa) | zero_bytes(word ^ pb) | zero_bytes(word ^ pc);
    if (hits != 0) {
      return p + std::countr_zero(hits) / 8;
    }
    p += 8;
  }
  for (; p < end; ++p) {
    if (*p == a || *p == b || *p == c) {
      return p;
    }
  }
  return end;
}

// The one-character operators whose only longer form adds "=".
struct OperatorWithEqual {
  char c;
  TokenKind plain;
  TokenKind with_equal;
};
constexpr OperatorWithEqual kOperatorsWithEqual[] = {
    {'+', TokenKind::Plus, TokenKind::PlusEqual},
    {'&', TokenKind::Amper, TokenKind::AmperEqual},
    {'^', TokenKind::CircumFlex, TokenKind::CircumflexEqual},
    {'|', TokenKind::Vbar, TokenKind::VbarEqual},
    {'@', TokenKind::At, TokenKind::AtEqual},
};
const OperatorWithEqual& operator_with_equal(unsigned char c) {
  for (const OperatorWithEqual& op : kOperatorsWithEqual) {
    if (static_cast<unsigned char>(op.c) == c) {
      return op;
    }
  }
  TRELK_CHECK(false, "not an operator with an \"=\" form");
  return kOperatorsWithEqual[0];
}

// Counts the backslashes directly before `at`, not looking before `floor`.
std::size_t backslashes_before(const char* floor, const char* at) {
  std::size_t count = 0;
  while (at > floor && at[-1] == '\\') {
    --at;
    ++count;
  }
  return count;
}

// Keyword lookup. Every keyword and soft keyword fits in 8 bytes, so a
// word is packed into one 64-bit number (little-endian, zero-padded) and
// found with a multiplicative hash in a table of 128 slots; the multiplier
// was chosen so that the 38 words do not collide, which the static_assert
// below checks against the token table.
constexpr std::size_t kLongestKeyword = 8;  // "continue", "nonlocal"
constexpr std::uint64_t kKeywordHashMultiplier = 0x6a1e943a92998e55ULL;
constexpr unsigned kKeywordHashBits = 7;

constexpr std::uint64_t pack_word(std::string_view word) {
  std::uint64_t packed = 0;
  for (std::size_t i = 0; i < word.size(); ++i) {
    packed |= std::uint64_t{static_cast<unsigned char>(word[i])} << (8 * i);
  }
  return packed;
}
constexpr std::size_t keyword_slot(std::uint64_t packed) {
  return static_cast<std::size_t>((packed * kKeywordHashMultiplier) >>
                                  (64 - kKeywordHashBits));
}

struct KeywordTable {
  std::array<std::uint64_t, std::size_t{1} << kKeywordHashBits> words{};
  std::array<TokenKind, std::size_t{1} << kKeywordHashBits> kinds{};
  int collisions = 0;
};
constexpr KeywordTable kKeywords = [] {
  KeywordTable table;
  for (int k = static_cast<int>(TokenKind::And);
       k <= static_cast<int>(TokenKind::Type); ++k) {
    auto kind = static_cast<TokenKind>(k);
    std::uint64_t packed = pack_word(source_text(kind));
    std::size_t slot = keyword_slot(packed);
    if (table.words[slot] != 0) {
      ++table.collisions;
    }
    table.words[slot] = packed;
    table.kinds[slot] = kind;
  }
  return table;
}();
static_assert(kKeywords.collisions == 0, "choose another multiplier");
static_assert(std::endian::native == std::endian::little);

TokenKind keyword_kind(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestKeyword) {
    return TokenKind::Name;
  }
  std::uint64_t packed = 0;
  std::memcpy(&packed, word.data(), word.size());
  std::size_t slot = keyword_slot(packed);
  return kKeywords.words[slot] == packed ? kKeywords.kinds[slot]
                                         : TokenKind::Name;
}

// Compares two indentation levels by column and by character count; empty
// when the two orderings disagree.
std::optional<std::strong_ordering> compare_levels(IndentLevel a,
                                                   IndentLevel b) {
  std::strong_ordering by_column = a.column <=> b.column;
  std::strong_ordering by_character = a.character <=> b.character;
  if (by_column != by_character) {
    return std::nullopt;
  }
  return by_column;
}

// The text of a number literal as it is read: a slice of the source until
// an underscore must be left out, then a copy of its own.
class LexedText {
 public:
  LexedText(std::string_view source, TextSize start)
      : source_(source), start_(start), end_(start) {}
  void push(char c) {
    if (owned_) {
      copy_.push_back(c);
    } else {
      ++end_;
    }
  }
  // Called where a source byte is left out of the text.
  void skip() {
    if (!owned_) {
      copy_.assign(source_.substr(start_, end_ - start_));
      owned_ = true;
    }
  }
  bool is_owned() const { return owned_; }
  std::string_view view() const {
    return owned_ ? std::string_view(copy_)
                  : source_.substr(start_, end_ - start_);
  }

 private:
  std::string_view source_;
  TextSize start_;
  TextSize end_;
  std::string copy_;
  bool owned_ = false;
};

void radix_run(Cursor& cursor, LexedText& text, unsigned radix) {
  while (true) {
    unsigned char c = cursor.first_byte();
    if (!cursor.is_eof() && is_digit_of(c, radix)) {
      cursor.bump_byte();
      text.push(static_cast<char>(c));
    } else if (c == '_' && is_digit_of(cursor.byte_at(1), radix)) {
      cursor.bump_byte();
      text.skip();
    } else {
      return;
    }
  }
}

// Reads a float literal's text (digits, ".", exponent) as the nearest
// double, independent of the C locale. Out-of-range values round to
// infinity or zero, as a correctly rounding reader gives them.
std::optional<double> parse_float(std::string_view text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(),
                                   value, std::chars_format::general);
  if (end != text.data() + text.size()) {
    return std::nullopt;
  }
  if (ec == std::errc::result_out_of_range) {
    // The decimal exponent of the first significant digit tells overflow
    // from underflow; the two limits lie hundreds of orders apart.
    long long magnitude = 0;
    std::size_t exponent_at = text.find_first_of("eE");
    std::string_view mantissa = text.substr(0, exponent_at);
    std::size_t dot = mantissa.find('.');
    std::size_t integer_digits =
        dot == std::string_view::npos ? mantissa.size() : dot;
    std::size_t first_significant = mantissa.find_first_of("123456789");
    if (first_significant == std::string_view::npos) {
      return 0.0;
    }
    magnitude = first_significant < integer_digits
                    ? static_cast<long long>(integer_digits - first_significant)
                    : -static_cast<long long>(first_significant - dot);
    if (exponent_at != std::string_view::npos) {
      std::string_view exponent = text.substr(exponent_at + 1);
      bool negative = !exponent.empty() && exponent[0] == '-';
      if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) {
        exponent.remove_prefix(1);
      }
      long long e = 0;
      for (char digit : exponent) {
        e = e < 100000000 ? e * 10 + (digit - '0') : e;
      }
      magnitude += negative ? -e : e;
    }
    return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  if (ec != std::errc()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

Lexer::Lexer(std::string_view source, Mode mode, TextSize start_offset)
    : source_(source), mode_(mode), cursor_(source, start_offset) {
  // 2^32 - 1: offsets are 32-bit.
  TRELK_CHECK(source.size() <= 0xFFFFFFFFULL,
              "Lexer only supports files with a size up to 4GB");
  if (mode == Mode::ParenthesizedExpression) {
    nesting_ = 1;
    state_ = LexerState::Other;
  }
  if (start_offset == 0 && source.starts_with("\xEF\xBB\xBF")) {
    cursor_.skip_bytes(3);
  }
}

TokenValue Lexer::take_value() {
  return std::exchange(current_value_, TokenValue{});
}

TokenKind Lexer::push_error(LexicalError error) {
  current_range_ = error.location;
  if (errors_.size() < kMaxErrors) {
    errors_.push_back(std::move(error));
  }
  return TokenKind::Unknown;
}

void Lexer::record_error(LexicalErrorType error, TextRange range) {
  if (errors_.size() < kMaxErrors) {
    errors_.push_back(LexicalError{std::move(error), range});
  }
}

TokenKind Lexer::unrecognized(char32_t c) {
  return push_error(LexicalErrorType::unrecognized_token(c),
                    cursor_.token_range());
}

TokenKind Lexer::next_token() {
  cursor_.start_token();
  if (current_value_.index() != 0) {
    current_value_ = std::monostate{};
  }
  current_flags_ = TokenFlags();
  TokenKind kind = lex_token();
  // An error token keeps the range push_error gave it.
  if (kind != TokenKind::Unknown) {
    current_range_ = cursor_.token_range();
  }
  current_kind_ = kind;
  return kind;
}

TokenKind Lexer::lex_token() {
  if (!interpolated_strings_.empty() &&
      interpolated_strings_.back().in_literal_part(nesting_)) {
    if (std::optional<TokenKind> kind =
            lex_interpolated_string_middle_or_end()) {
      return *kind;
    }
  }
  if (interpolated_strings_.empty() && pending_indentation_) {
    IndentLevel pending = *pending_indentation_;
    pending_indentation_.reset();
    if (std::optional<TokenKind> kind = handle_pending_indentation(pending)) {
      return *kind;
    }
  }
  if (state_ == LexerState::AfterNewline) {
    if (std::optional<TokenKind> kind = eat_indentation()) {
      return *kind;
    }
  } else {
    // Most tokens follow a single space or none: the common case stays
    // out of skip_whitespace, whose error paths need a frame.
    unsigned char c = cursor_.first_byte();
    if (c == ' ' && cursor_.byte_at(1) > ' ' && cursor_.byte_at(1) != '\\') {
      cursor_.bump_byte();
    } else if (c == ' ' || c == '\t' || c == '\f' || c == '\\') {
      if (std::optional<TokenKind> kind = skip_whitespace()) {
        return *kind;
      }
    }
  }
  cursor_.start_token();
  if (cursor_.is_eof()) {
    return lex_end_of_text();
  }
  unsigned char c = cursor_.first_byte();
  if (c >= 0x80) {
    return lex_non_ascii(cursor_.bump());
  }
  cursor_.bump_byte();
  return dispatch(c);
}

// After a backslash: consumes the line break of a continuation. Returns
// false when none follows.
static bool eat_continuation_newline(Cursor& cursor) {
  if (cursor.eat_byte('\r')) {
    cursor.eat_byte('\n');
    return true;
  }
  return cursor.eat_byte('\n');
}

std::optional<TokenKind> Lexer::skip_whitespace() {
  while (true) {
    unsigned char c = cursor_.first_byte();
    if (c == ' ' || c == '\t' || c == '\f') {
      cursor_.bump_byte();
    } else if (c == '\\') {
      cursor_.bump_byte();
      if (!eat_continuation_newline(cursor_)) {
        TextSize end = cursor_.offset();
        return push_error(LexicalErrorType(LexicalErrorKind::LineContinuation),
                          TextRange(end - 1, end));
      }
      if (cursor_.is_eof()) {
        return push_error(LexicalErrorType(LexicalErrorKind::UnexpectedEof),
                          cursor_.token_range());
      }
    } else {
      return std::nullopt;
    }
  }
}

std::optional<TokenKind> Lexer::eat_indentation() {
  IndentLevel level;
  while (true) {
    unsigned char c = cursor_.first_byte();
    if (c == ' ') {
      cursor_.bump_byte();
      ++level.column;
      ++level.character;
    } else if (c == '\t') {
      cursor_.bump_byte();
      level.column = (level.column & ~1u) + 2;
      ++level.character;
    } else if (c == '\f') {
      cursor_.bump_byte();
      level = IndentLevel{};
    } else if (c == '\\') {
      cursor_.bump_byte();
      if (!eat_continuation_newline(cursor_)) {
        TextSize end = cursor_.offset();
        return push_error(LexicalErrorType(LexicalErrorKind::LineContinuation),
                          TextRange(end - 1, end));
      }
      if (cursor_.is_eof()) {
        return push_error(LexicalErrorType(LexicalErrorKind::UnexpectedEof),
                          cursor_.token_range());
      }
      if (level != IndentLevel{}) {
        while (cursor_.first_byte() == ' ' || cursor_.first_byte() == '\t' ||
               cursor_.first_byte() == '\f') {
          cursor_.bump_byte();
        }
      }
    } else {
      break;
    }
  }
  if (cursor_.is_eof()) {
    return std::nullopt;
  }
  unsigned char c = cursor_.first_byte();
  if (c == '\n' || c == '\r' || c == '#' || c == '\0') {
    return std::nullopt;
  }
  state_ = LexerState::NonEmptyLogicalLine;
  IndentLevel current = indentations_.current();
  std::optional<std::strong_ordering> order = compare_levels(level, current);
  if (!order) {
    return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                      cursor_.token_range());
  }
  if (*order == std::strong_ordering::equal) {
    return std::nullopt;
  }
  if (*order == std::strong_ordering::greater) {
    indentations_.push(level);
    return TokenKind::Indent;
  }
  pending_indentation_ = level;
  indentations_.pop();
  IndentLevel outer = indentations_.current();
  if (outer.column >= level.column && compare_levels(outer, level)) {
    cursor_.start_token();
    return TokenKind::Dedent;
  }
  return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                    cursor_.token_range());
}

std::optional<TokenKind> Lexer::handle_pending_indentation(
    IndentLevel pending) {
  IndentLevel current = indentations_.current();
  if (!compare_levels(current, pending)) {
    return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                      cursor_.token_range());
  }
  if (current.column <= pending.column) {
    return std::nullopt;
  }
  pending_indentation_ = pending;
  indentations_.pop();
  IndentLevel outer = indentations_.current();
  if (pending.column <= outer.column && compare_levels(pending, outer)) {
    return TokenKind::Dedent;
  }
  return push_error(LexicalErrorType(LexicalErrorKind::UnmatchedDedent),
                    TextRange::empty(cursor_.offset()));
}

TokenKind Lexer::lex_end_of_text() {
  while (!interpolated_strings_.empty()) {
    InterpolationContext context = interpolated_strings_.back();
    interpolated_strings_.pop_back();
    nesting_ = context.nesting;
    current_range_ = cursor_.token_range();
    record_error(interpolated_string_error(
                     context.is_fstring(),
                     InterpolatedStringErrorType::UnterminatedString),
                 current_range_);
  }
  std::uint32_t tolerated = mode_ == Mode::ParenthesizedExpression ? 1 : 0;
  if (nesting_ > tolerated) {
    nesting_ = 0;
    return push_error(LexicalErrorType(LexicalErrorKind::UnexpectedEof),
                      cursor_.token_range());
  }
  if (state_ == LexerState::AfterEqual || state_ == LexerState::Other) {
    state_ = LexerState::AfterNewline;
    return TokenKind::Newline;
  }
  if (!indentations_.empty()) {
    indentations_.pop();
    return TokenKind::Dedent;
  }
  return TokenKind::EndOfFile;
}

TokenKind Lexer::lex_non_ascii(char32_t c) {
  if (is_xid_start(c)) {
    state_ = LexerState::Other;
    return lex_identifier(std::nullopt);
  }
  return unrecognized(c);
}

TokenKind Lexer::lex_identifier(std::optional<unsigned char> ascii_first) {
  bool ascii = ascii_first.has_value();
  if (ascii) {
    if (std::optional<TokenKind> string = try_string_prefix(*ascii_first)) {
      return *string;
    }
  }
  const char* const base = source_.data();
  const char* const end = base + source_.size();
  const char* p = base + cursor_.offset();
  while (true) {
    // The ASCII run, byte by byte without going through the cursor.
    while (p < end &&
           is_ascii_identifier_continue(static_cast<unsigned char>(*p))) {
      ++p;
    }
    if (p == end || static_cast<unsigned char>(*p) < 0x80) {
      break;
    }
    cursor_.set_offset(static_cast<TextSize>(p - base));
    if (!is_xid_continue(cursor_.first())) {
      break;
    }
    cursor_.bump();
    p = base + cursor_.offset();
    ascii = false;
  }
  cursor_.set_offset(static_cast<TextSize>(p - base));
  std::string_view text =
      source_.substr(cursor_.token_start(), cursor_.token_length());
  if (ascii) {
    TokenKind keyword = keyword_kind(text);
    if (keyword != TokenKind::Name) {
      return keyword;
    }
    current_value_ = NameValue{ValueText::borrowed(text)};
  } else {
    current_value_ = NameValue{ValueText::owned(nfkc_identifier(text))};
  }
  return TokenKind::Name;
}

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
      const char* hit = find_first_of3(p, end, quote, '\n', '\r');
      if (hit == end) {
        break;
      }
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

TokenKind Lexer::lex_comment() {
  const char* base = source_.data();
  const char* p = base + cursor_.offset();
  const char* hit = find_first_of3(p, base + source_.size(), '\n', '\r', '\n');
  cursor_.set_offset(static_cast<TextSize>(hit - base));
  return TokenKind::Comment;
}

TokenKind Lexer::lex_newline() {
  if (nesting_ == 0 &&
      (state_ == LexerState::AfterEqual || state_ == LexerState::Other)) {
    state_ = LexerState::AfterNewline;
    return TokenKind::Newline;
  }
  if (!interpolated_strings_.empty()) {
    InterpolationContext& context = interpolated_strings_.back();
    if (context.format_spec_depth > 0 &&
        context.open_brackets(nesting_) <= context.format_spec_depth) {
      --context.format_spec_depth;
    }
  }
  return TokenKind::NonLogicalNewline;
}

TokenKind Lexer::lex_number_radix(unsigned radix) {
  LexedText digits(source_, cursor_.offset());
  radix_run(cursor_, digits, radix);
  std::string_view token_text =
      source_.substr(cursor_.token_start(), cursor_.token_length());
  std::expected<Int, IntErrorKind> value =
      Int::from_str_radix(digits.view(), radix, token_text);
  if (!value) {
    return push_error(
        LexicalErrorType::other(std::string(debug_text(value.error()))),
        cursor_.token_range());
  }
  // A Big value views the token text, a slice of the source.
  current_value_ = value->is_big()
                       ? IntValue(ValueText::borrowed(value->big_text()))
                       : IntValue(value->small_value());
  return TokenKind::Int;
}

TokenKind Lexer::lex_decimal_number(unsigned char first) {
  LexedText text(source_, cursor_.token_start());
  text.push(static_cast<char>(first));
  bool is_float = first == '.';
  if (!is_float) {
    radix_run(cursor_, text, 10);
    if (cursor_.eat_byte('.')) {
      text.push('.');
      is_float = true;
    }
  }
  if (is_float) {
    if (cursor_.eat_byte('_')) {
      TextSize end = cursor_.offset();
      return push_error(LexicalErrorType::other("Invalid Syntax"),
                        TextRange(end - 1, end));
    }
    radix_run(cursor_, text, 10);
  }
  unsigned char e = cursor_.first_byte();
  if (e == 'e' || e == 'E') {
    unsigned char sign = cursor_.byte_at(1);
    bool digit_next = sign >= '0' && sign <= '9';
    bool signed_digit = (sign == '+' || sign == '-') &&
                        cursor_.byte_at(2) >= '0' && cursor_.byte_at(2) <= '9';
    if (digit_next || signed_digit) {
      cursor_.bump_byte();
      text.push(static_cast<char>(e));
      if (signed_digit) {
        cursor_.bump_byte();
        text.push(static_cast<char>(sign));
      }
      radix_run(cursor_, text, 10);
      is_float = true;
    }
  }
  if (!is_float) {
    if (cursor_.eat_byte('j') || cursor_.eat_byte('J')) {
      std::optional<double> imag = parse_float(text.view());
      if (!imag) {
        return push_error(LexicalErrorType::other("Invalid decimal literal"),
                          cursor_.token_range());
      }
      current_value_ = ComplexValue{.real = 0, .imag = *imag};
      return TokenKind::Complex;
    }
    std::expected<Int, IntErrorKind> value = Int::from_decimal(text.view());
    if (!value) {
      return push_error(
          LexicalErrorType::other(std::string(debug_text(value.error()))),
          cursor_.token_range());
    }
    bool is_zero = value->is_small() && value->small_value() == 0;
    if (first == '0' && !is_zero) {
      return push_error(
          LexicalErrorType::other("Invalid decimal integer literal"),
          cursor_.token_range());
    }
    if (value->is_big()) {
      current_value_ = IntValue(
          text.is_owned() ? ValueText::owned(std::string(value->big_text()))
                          : ValueText::borrowed(value->big_text()));
    } else {
      current_value_ = IntValue(value->small_value());
    }
    return TokenKind::Int;
  }
  std::optional<double> value = parse_float(text.view());
  if (!value) {
    return push_error(LexicalErrorType::other("Invalid decimal literal"),
                      cursor_.token_range());
  }
  if (cursor_.eat_byte('j') || cursor_.eat_byte('J')) {
    current_value_ = ComplexValue{.real = 0, .imag = *value};
    return TokenKind::Complex;
  }
  current_value_ = *value;
  return TokenKind::Float;
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

std::optional<IpyEscapeKind> Lexer::ipython_escape(unsigned char c) {
  if ((c == '!' || c == '%') && nesting_ == 0 &&
      state_ == LexerState::AfterEqual) {
    return ipy_escape_kind_from_char(c).value();
  }
  if (state_ != LexerState::AfterNewline &&
      state_ != LexerState::NonEmptyLogicalLine) {
    return std::nullopt;
  }
  switch (c) {
    case '!':
    case '%':
    case '?':
      if (cursor_.eat_byte(static_cast<char>(c))) {
        return ipy_escape_kind_from_chars(c, c).value();
      }
      return ipy_escape_kind_from_char(c).value();
    case ',':
    case ';':
    case '/':
      return ipy_escape_kind_from_char(c).value();
    default:
      return std::nullopt;
  }
}

TokenKind Lexer::lex_ipython_escape_command(IpyEscapeKind kind) {
  auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\f'; };
  auto at_line_end = [this] {
    unsigned char c = cursor_.first_byte();
    return c == '\n' || c == '\r' || c == '\0';
  };
  std::string value;
  state_ = LexerState::Other;
  while (true) {
    if (at_line_end()) {
      current_value_ = IpyEscapeCommandValue{std::move(value), kind};
      return TokenKind::IpyEscapeCommand;
    }
    unsigned char c = cursor_.first_byte();
    if (c == '\\') {
      cursor_.bump_byte();
      if (cursor_.first_byte() == '\n' || cursor_.first_byte() == '\r') {
        eat_continuation_newline(cursor_);
      } else {
        value.push_back('\\');
      }
      continue;
    }
    if (c == '?') {
      std::size_t questions = 0;
      while (cursor_.eat_byte('?')) {
        ++questions;
      }
      if (questions > 2 || value.empty() || is_blank(value.back()) ||
          !at_line_end()) {
        value.append(questions, '?');
        continue;
      }
      if (kind == IpyEscapeKind::Help || kind == IpyEscapeKind::Help2) {
        std::size_t keep = value.find_first_not_of(" ?");
        value.erase(0, keep == std::string::npos ? value.size() : keep);
      } else if (kind == IpyEscapeKind::Magic) {
        value.insert(0, "%");
      } else if (kind == IpyEscapeKind::Magic2) {
        value.insert(0, "%%");
      }
      current_value_ = IpyEscapeCommandValue{
          std::move(value),
          questions == 1 ? IpyEscapeKind::Help : IpyEscapeKind::Help2};
      return TokenKind::IpyEscapeCommand;
    }
    TextSize before = cursor_.offset();
    cursor_.bump();
    value.append(source_.substr(before, cursor_.offset() - before));
  }
}

TokenKind Lexer::dispatch(unsigned char c) {
  using K = TokenKind;
  if (mode_ == Mode::Ipython) {
    if (std::optional<IpyEscapeKind> escape = ipython_escape(c)) {
      return lex_ipython_escape_command(*escape);
    }
  }
  K kind;
  switch (c) {
    case '#':
      return lex_comment();
    case '\n':
      return lex_newline();
    case '\r':
      cursor_.eat_byte('\n');
      return lex_newline();
    case '}':
      return lex_rbrace();
    case '"':
    case '\'':
      state_ = LexerState::Other;
      return lex_string(static_cast<char>(c));
    case '=':
      if (cursor_.eat_byte('=')) {
        kind = K::EqEqual;
        break;
      }
      state_ = LexerState::AfterEqual;
      return K::Equal;
    case '0': {
      unsigned char next = cursor_.first_byte();
      unsigned radix = 0;
      if (next == 'x' || next == 'X') {
        radix = 16;
      } else if (next == 'o' || next == 'O') {
        radix = 8;
      } else if (next == 'b' || next == 'B') {
        radix = 2;
      }
      if (radix != 0) {
        cursor_.bump_byte();
        kind = lex_number_radix(radix);
      } else {
        kind = lex_decimal_number(c);
      }
      break;
    }
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      kind = lex_decimal_number(c);
      break;
    case '.': {
      unsigned char next = cursor_.first_byte();
      if (next >= '0' && next <= '9') {
        kind = lex_decimal_number(c);
      } else if (cursor_.eat_bytes2('.', '.')) {
        kind = K::Ellipsis;
      } else {
        kind = K::Dot;
      }
      break;
    }
    case '(':
      ++nesting_;
      kind = K::Lpar;
      break;
    case '[':
      ++nesting_;
      kind = K::Lsqb;
      break;
    case '{':
      ++nesting_;
      kind = K::Lbrace;
      break;
    case ')':
      nesting_ = nesting_ > 0 ? nesting_ - 1 : 0;
      kind = K::Rpar;
      break;
    case ']':
      nesting_ = nesting_ > 0 ? nesting_ - 1 : 0;
      kind = K::Rsqb;
      break;
    case ':':
      kind = lex_colon();
      break;
    case '!':
      kind = cursor_.eat_byte('=') ? K::NotEqual : K::Exclamation;
      break;
    case '%':
      kind = cursor_.eat_byte('=') ? K::PercentEqual : K::Percent;
      break;
    case '*':
      if (cursor_.eat_byte('=')) {
        kind = K::StarEqual;
      } else if (cursor_.eat_byte('*')) {
        kind = cursor_.eat_byte('=') ? K::DoubleStarEqual : K::DoubleStar;
      } else {
        kind = K::Star;
      }
      break;
    case '/':
      if (cursor_.eat_byte('=')) {
        kind = K::SlashEqual;
      } else if (cursor_.eat_byte('/')) {
        kind = cursor_.eat_byte('=') ? K::DoubleSlashEqual : K::DoubleSlash;
      } else {
        kind = K::Slash;
      }
      break;
    case '<':
      if (cursor_.eat_byte('<')) {
        kind = cursor_.eat_byte('=') ? K::LeftShiftEqual : K::LeftShift;
      } else {
        kind = cursor_.eat_byte('=') ? K::LessEqual : K::Less;
      }
      break;
    case '>':
      if (cursor_.eat_byte('>')) {
        kind = cursor_.eat_byte('=') ? K::RightShiftEqual : K::RightShift;
      } else {
        kind = cursor_.eat_byte('=') ? K::GreaterEqual : K::Greater;
      }
      break;
    case '-':
      if (cursor_.eat_byte('=')) {
        kind = K::MinusEqual;
      } else {
        kind = cursor_.eat_byte('>') ? K::Rarrow : K::Minus;
      }
      break;
    case '+':
    case '&':
    case '^':
    case '|':
    case '@': {
      const OperatorWithEqual& op = operator_with_equal(c);
      kind = cursor_.eat_byte('=') ? op.with_equal : op.plain;
      break;
    }
    case ',':
    case ';':
      kind = c == ',' ? K::Comma : K::Semi;
      break;
    case '~':
      kind = K::Tilde;
      break;
    case '?':
      if (mode_ == Mode::Ipython) {
        kind = K::Question;
        break;
      }
      state_ = LexerState::Other;
      return unrecognized(c);
    default:
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') {
        state_ = LexerState::Other;
        return lex_identifier(c);
      }
      state_ = LexerState::Other;
      return unrecognized(c);
  }
  state_ = LexerState::Other;
  return kind;
}

LexerCheckpoint Lexer::checkpoint() const {
  return LexerCheckpoint{
      .value = current_value_,
      .current_kind = current_kind_,
      .current_range = current_range_,
      .current_flags = current_flags_,
      .cursor_offset = cursor_.offset(),
      .state = state_,
      .nesting = nesting_,
      .indentations = indentations_,
      .pending_indentation = pending_indentation_,
      .interpolated_strings = interpolated_strings_,
      .errors_position = errors_.size(),
  };
}

void Lexer::rewind(LexerCheckpoint checkpoint) {
  current_value_ = std::move(checkpoint.value);
  current_kind_ = checkpoint.current_kind;
  current_range_ = checkpoint.current_range;
  current_flags_ = checkpoint.current_flags;
  cursor_.set_offset(checkpoint.cursor_offset);
  state_ = checkpoint.state;
  nesting_ = checkpoint.nesting;
  indentations_ = std::move(checkpoint.indentations);
  pending_indentation_ = checkpoint.pending_indentation;
  interpolated_strings_ = std::move(checkpoint.interpolated_strings);
  // A re-lex since the checkpoint may have dropped an error that it counted,
  // leaving the list shorter than its position: then nothing is cut.
  if (checkpoint.errors_position < errors_.size()) {
    errors_.erase(errors_.begin() +
                      static_cast<std::ptrdiff_t>(checkpoint.errors_position),
                  errors_.end());
  }
}

bool Lexer::re_lex_logical_token(
    std::optional<TextSize> non_logical_newline_start) {
  if (nesting_ == 0) {
    return false;
  }
  --nesting_;
  if (current_flags_.intersects(F::kPrefixF | F::kPrefixT) &&
      current_flags_.intersects(F::kTripleQuote)) {
    return false;
  }
  if (!non_logical_newline_start) {
    return false;
  }
  if (current_kind_ == TokenKind::Rpar || current_kind_ == TokenKind::Rsqb ||
      current_kind_ == TokenKind::Rbrace) {
    ++nesting_;
  }
  cursor_.set_offset(*non_logical_newline_start);
  state_ = LexerState::Other;
  next_token();
  return true;
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
  current_value_ = NameValue{ValueText::borrowed(source_.substr(start, 1))};
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
