// The lexer: the dispatch on a token's first byte, names and keywords,
// comments, line ends, operators, IPython escapes, and checkpoints. The
// other parts live beside it: lexer_indentation.cpp, lexer_numbers.cpp and
// lexer_strings.cpp.

#include "lexer.h"

#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "byte_search.h"
#include "invariant.h"
#include "lexer_support.h"
#include "unicode.h"

namespace divu {

using namespace lexer_detail;

namespace {

// Byte classes of the ASCII fast paths.
enum ByteClass : std::uint8_t {
  kIdentifierContinue = 1,  // [A-Za-z0-9_]
  kIdentifierStart = 2,     // [A-Za-z_]
};
constexpr auto kByteClasses = [] {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t c = 'a'; c <= 'z'; ++c) {
    table[c] |= kIdentifierContinue;
  }
  for (std::size_t c = 'A'; c <= 'Z'; ++c) {
    table[c] |= kIdentifierContinue;
  }
  for (std::size_t c = '0'; c <= '9'; ++c) {
    table[c] |= kIdentifierContinue;
  }
  table['_'] |= kIdentifierContinue;
  for (std::size_t c = 0; c < 256; ++c) {
    if ((table[c] & kIdentifierContinue) != 0 && (c < '0' || c > '9')) {
      table[c] |= kIdentifierStart;
    }
  }
  return table;
}();

bool is_ascii_identifier_start(unsigned char c) {
  return (kByteClasses[c] & kIdentifierStart) != 0;
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

// `readable_end` bounds what may be loaded: where 8 bytes can be read from
// the word's start, one fixed-size load and a mask replace a copy of
// variable length.
TokenKind keyword_kind(std::string_view word, const char* readable_end) {
  if (word.size() < 2 || word.size() > kLongestKeyword) {
    return TokenKind::Name;
  }
  std::uint64_t packed = 0;
  if (readable_end - word.data() >= 8) {
    std::memcpy(&packed, word.data(), 8);
    if (word.size() < 8) {
      packed &= (std::uint64_t{1} << (8 * word.size())) - 1;
    }
  } else {
    std::memcpy(&packed, word.data(), word.size());
  }
  std::size_t slot = keyword_slot(packed);
  return kKeywords.words[slot] == packed ? kKeywords.kinds[slot]
                                         : TokenKind::Name;
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
  if (current_kind_ == TokenKind::Name && current_value_.index() == 0) {
    return NameValue{ValueText::borrowed(current_range_.slice(source_))};
  }
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
  // The rare states (inside an f-string or t-string, dedents still to give)
  // cost one test on the common path.
  if (!interpolated_strings_.empty() || pending_indentation_) [[unlikely]] {
    if (std::optional<TokenKind> kind = lex_in_rare_state()) {
      return *kind;
    }
  }
  // Most tokens follow a single space or none and start with an ASCII
  // byte: their first byte is known at once, the text does not end before
  // it, and skip_whitespace, whose error paths need a frame, is not called.
  unsigned char c = 0;
  bool first_known = false;
  if (state_ == LexerState::AfterNewline) {
    if (std::optional<TokenKind> kind = eat_indentation()) {
      return *kind;
    }
  } else {
    const unsigned char here = cursor_.first_byte();
    const unsigned char first = here == ' ' ? cursor_.byte_at(1) : here;
    if (first > ' ' && first != '\\' && first < 0x80) {
      if (here == ' ') {
        cursor_.bump_byte();
        cursor_.start_token();
      }
      c = first;
      first_known = true;
    } else if (here == ' ' || here == '\t' || here == '\f' || here == '\\') {
      if (std::optional<TokenKind> kind = skip_whitespace()) {
        return *kind;
      }
    }
  }
  if (!first_known) {
    cursor_.start_token();
    if (cursor_.is_eof()) {
      return lex_end_of_text();
    }
    c = cursor_.first_byte();
    if (c >= 0x80) {
      return lex_non_ascii(cursor_.bump());
    }
  }
  cursor_.bump_byte();
  // Names are the commonest tokens: they skip the operator switch, which
  // no name needs (IPython's escapes start with punctuation).
  if (is_ascii_identifier_start(c)) {
    state_ = LexerState::Other;
    return lex_identifier(c);
  }
  return dispatch(c);
}

std::optional<TokenKind> Lexer::lex_in_rare_state() {
  if (!interpolated_strings_.empty()) {
    if (interpolated_strings_.back().in_literal_part(nesting_)) {
      return lex_interpolated_string_middle_or_end();
    }
    return std::nullopt;
  }
  IndentLevel pending = *pending_indentation_;
  pending_indentation_.reset();
  return handle_pending_indentation(pending);
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
  const char* const base = source_.data();
  const char* const end = base + source_.size();
  const char* p = base + cursor_.offset();
  while (true) {
    // The ASCII run, without going through the cursor.
    p = trelk::end_of_word_bytes(p, end);
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
  // A string prefix is one or two letters, so only so short a name with a
  // quote right after it can start a string. The cursor is still just past
  // the first letter, where try_string_prefix reads on.
  const char* const start = base + cursor_.token_start();
  if (ascii && p - start <= 2 && p < end &&
      is_quote(static_cast<unsigned char>(*p))) [[unlikely]] {
    if (std::optional<TokenKind> string = try_string_prefix(*ascii_first)) {
      return *string;
    }
  }
  cursor_.set_offset(static_cast<TextSize>(p - base));
  std::string_view text(start, static_cast<std::size_t>(p - start));
  if (ascii) {
    // An ASCII name's text is its source slice: no value is stored for the
    // commonest token (see take_value).
    return keyword_kind(text, end);
  }
  current_value_ = NameValue{ValueText::owned(nfkc_identifier(text))};
  return TokenKind::Name;
}

TokenKind Lexer::lex_comment() {
  const std::size_t start = cursor_.offset();
  const std::size_t hit = trelk::find_either_byte(source_, start, '\n', '\r');
  const std::size_t end = hit == std::string_view::npos ? source_.size() : hit;
  cursor_.set_offset(static_cast<TextSize>(end));
  // Python refuses a NUL byte anywhere in its source, comments included;
  // elsewhere it starts no token, and here it is reported the same way.
  if (const void* nul = std::memchr(source_.data() + start, '\0', end - start))
      [[unlikely]] {
    const auto offset =
        static_cast<TextSize>(static_cast<const char*>(nul) - source_.data());
    record_error(LexicalErrorType::unrecognized_token(U'\0'),
                 TextRange(offset, offset + 1));
  }
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

}  // namespace divu
