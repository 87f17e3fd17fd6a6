#include "namespace_name.h"

#include <unicode/casemap.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

#include <memory>
#include <new>
#include <string>

#include "invariant.h"
#include "snake_case_paths.h"
#include "utf8.h"

namespace trelk {
namespace {

constexpr std::string_view kSeparator = "::";

// 2^30 bytes: names below it convert within ICU's 32-bit lengths (see
// snake_case_paths::icu).
constexpr size_t kMaxIcuName = size_t{1} << 30;

// 2^29 bytes: below it, the scans' result is lowered within ICU's 32-bit
// lengths. The underscores at most double a text and lowering lengthens its
// UTF-8 by half at most, so the lowered text stays under 3 * 2^29 bytes.
constexpr size_t kMaxScannedName = size_t{1} << 29;

struct Replacement {
  const char16_t* pattern;
  const char16_t* replacement;
  // A match gains at most one underscore; a step that gains one has matches
  // at least this many UTF-16 units long, and 0 marks a step that gains none.
  // Together they bound the result, which is sized up front.
  int32_t shortest_growing_match;
};

// Applied in this order, each to the result of the one before. UNIX_LINES
// makes "." refuse only a line feed; the bracketed ranges are ASCII only.
constexpr Replacement kReplacements[] = {
    // An underscore before every capitalised word that follows a character.
    {.pattern = u"(.)([A-Z][a-z]+)",
     .replacement = u"$1_$2",
     .shortest_growing_match = 3},
    // Undoes the first step after an existing underscore.
    {.pattern = u"__([A-Z])",
     .replacement = u"_$1",
     .shortest_growing_match = 0},
    // An underscore between a lower-case letter or digit and a capital.
    {.pattern = u"([a-z0-9])([A-Z])",
     .replacement = u"$1_$2",
     .shortest_growing_match = 2},
};

// ICU reports an exhausted heap in three ways: U_MEMORY_ALLOCATION_ERROR; a
// regex whose backtrack stack could not grow, U_REGEX_STACK_OVERFLOW (these
// patterns loop over sets, which keep one frame however long the run, so the
// stack never nears its limit for any other reason); and a string left bogus
// while the status still says success, which check_string catches.
void check_status(UErrorCode status, const char* failure) {
  if (status == U_MEMORY_ALLOCATION_ERROR || status == U_REGEX_STACK_OVERFLOW) {
    throw std::bad_alloc();
  }
  TRELK_CHECK(U_SUCCESS(status), failure);
}

void check_string(const icu::UnicodeString& text) {
  if (text.isBogus()) {
    throw std::bad_alloc();
  }
}

const icu::RegexPattern* compile(const char16_t* pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parse_error;
  std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(
      icu::UnicodeString(pattern), UREGEX_UNIX_LINES, parse_error, status));
  // A throw leaves the static below unset, so the next call compiles again.
  check_status(status, "constant snake-case pattern failed to compile");
  return compiled.release();
}

// The compiled pattern of step `Index`, compiled on first use behind the
// thread-safe initialisation of a function-local static. Never freed: worker
// threads may still use it while the process exits. A RegexPattern is
// immutable and may be shared; each call makes its own matcher.
template <size_t Index>
const icu::RegexPattern& pattern() {
  static const icu::RegexPattern* const compiled =
      compile(kReplacements[Index].pattern);
  return *compiled;
}

// Closes a UText opened on the stack.
class OpenText {
 public:
  OpenText() = default;
  OpenText(const OpenText&) = delete;
  OpenText& operator=(const OpenText&) = delete;
  ~OpenText() { utext_close(&text_); }
  UText* get() { return &text_; }

 private:
  UText text_ = UTEXT_INITIALIZER;
};

template <size_t Index>
icu::UnicodeString replace_all(const icu::UnicodeString& text) {
  const Replacement& step = kReplacements[Index];
  UErrorCode status = U_ZERO_ERROR;
  // Made without its input and then reset: matcher(input, status) overwrites
  // the matcher's own record of a failed allocation with the caller's status,
  // and the matcher then runs on a missing stack. Kept, that record fails the
  // first find below.
  std::unique_ptr<icu::RegexMatcher> matcher(pattern<Index>().matcher(status));
  check_status(status, "snake-case matcher could not be made");
  matcher->reset(text);
  // The result is sized up front: once a string cannot grow geometrically,
  // ICU grows it to the exact length on each append, copying the whole text
  // every time. Below kMaxIcuName the first step ends within 4/3 of the
  // name's length and the third within twice it, inside int32_t.
  const int64_t length = text.length();
  const int64_t capacity = step.shortest_growing_match == 0
                               ? length
                               : length + length / step.shortest_growing_match;
  if (capacity > INT32_MAX) {
    throw std::bad_alloc();
  }
  icu::UnicodeString replaced(static_cast<int32_t>(capacity), 0, 0);
  check_string(replaced);
  OpenText replacement;
  OpenText destination;
  utext_openUChars(replacement.get(), step.replacement, -1, &status);
  utext_openUnicodeString(destination.get(), &replaced, &status);
  // replaceAll's own loop calls find() without a status, which drops a
  // failure to grow the backtrack stack and appends the rest of the text
  // unreplaced; find(status) reports it.
  while (U_SUCCESS(status) && matcher->find(status)) {
    matcher->appendReplacement(destination.get(), replacement.get(), status);
  }
  matcher->appendTail(destination.get(), status);
  check_status(status, "snake-case replacement failed");
  check_string(replaced);
  return replaced;
}

// The full lower-case mapping of the root locale ("" names it without ICU's
// locale cache), by `map(out, capacity, status)`, which writes into `out` and
// returns the mapped length. The result is sized up front at the text's
// length, which lowering rarely changes; a text that grows is lowered again
// into a buffer of its exact length.
template <class Text, class Map>
Text lowered(size_t size, const Map& map) {
  Text out(size, 0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        map(out.data(), static_cast<int32_t>(out.size()), status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(static_cast<size_t>(length));
      continue;
    }
    check_status(status, "snake-case lowering failed");
    out.resize(static_cast<size_t>(length));
    return out;
  }
  fail_invariant("snake-case lowering changed its length between passes");
}

std::u16string lower(const icu::UnicodeString& text) {
  return lowered<std::u16string>(
      static_cast<size_t>(text.length()),
      [&text](char16_t* out, int32_t capacity, UErrorCode& status) {
        return u_strToLower(out, capacity, text.getBuffer(), text.length(), "",
                            &status);
      });
}

// REQUIRES: 1.5 times the text's length fits int32_t.
std::string lower_utf8(std::string_view text) {
  return lowered<std::string>(
      text.size(), [text](char* out, int32_t capacity, UErrorCode& status) {
        return icu::CaseMap::utf8ToLower("", 0, text.data(),
                                         static_cast<int32_t>(text.size()), out,
                                         capacity, nullptr, status);
      });
}

// The UTF-8 of well-formed UTF-16, sized up front. The count is kept in
// size_t: lowering can lengthen the UTF-8 of a text by half (U+023A takes two
// bytes, its lower case three), past ICU's 32-bit lengths.
std::string to_utf8(std::u16string_view text) {
  size_t size = 0;
  for (const char16_t unit : text) {
    // A surrogate pair is four bytes, two for each half.
    size += unit < 0x80 ? 1 : unit < 0x800 ? 2 : U16_IS_SURROGATE(unit) ? 2 : 3;
  }
  std::string out;
  out.reserve(size);
  for (size_t at = 0; at < text.size();) {
    char32_t c = text[at++];
    if (U16_IS_LEAD(c) && at < text.size() && U16_IS_TRAIL(text[at])) {
      c = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(c, text[at++]));
    }
    append_utf8(out, c);
  }
  return out;
}

bool has_ascii_capital(std::string_view text) {
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') {
      return true;
    }
  }
  return false;
}

bool is_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

constexpr bool is_capital(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_small(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_small_or_digit(char c) {
  return is_small(c) || (c >= '0' && c <= '9');
}

}  // namespace

namespace snake_case_paths {

std::string icu(std::string_view name) {
  // ICU's strings are indexed by int32_t. Text never needs more UTF-16 units
  // than it has UTF-8 bytes, lowering included, and the underscores at most
  // double it, so below 2^30 bytes every step fits; a longer name cannot be
  // held, as if the heap were exhausted.
  if (name.size() >= kMaxIcuName) {
    throw std::bad_alloc();
  }
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
  check_string(text);
  if (has_ascii_capital(name)) {
    text = replace_all<0>(text);
    text = replace_all<1>(text);
    text = replace_all<2>(text);
  }
  return to_utf8(lower(text));
}

// Each class of the patterns is ASCII, and "." is any character but a line
// feed. No byte of a non-ASCII character in UTF-8 is ASCII, so a test of one
// byte tells each class apart, and "." before a capital is the character
// whose last byte comes right before it: the underscore lands after that
// whole character, where the pattern puts it. So two scans do the work of
// the three replacements without leaving UTF-8. ASCII capitals are lowered
// on the way, which is all that the full mapping does to ASCII text, and to
// any other text ICU's mapping is applied at the end.
std::string scans(std::string_view name) {
  // The first step, "(.)([A-Z][a-z]+)" to "$1_$2". A match is at least three
  // characters long and adds one, hence the bound. The search resumes after
  // the greedy run of small letters, so a letter that ends one match never
  // starts the next: in getXMLNodeName the "e" of the match "LNode" cannot be
  // the "." before "Name".
  std::string spaced;
  spaced.resize_and_overwrite(
      name.size() + name.size() / 3, [name](char* out, size_t) {
        char* write = out;
        for (size_t at = 0; at < name.size();) {
          if (at + 2 < name.size() && name[at] != '\n' &&
              is_capital(name[at + 1]) && is_small(name[at + 2])) {
            *write++ = name[at];
            *write++ = '_';
            *write++ = name[at + 1];
            at += 2;
            while (at < name.size() && is_small(name[at])) {
              *write++ = name[at++];
            }
          } else {
            *write++ = name[at++];
          }
        }
        return static_cast<size_t>(write - out);
      });
  // The other steps in one scan. Neither of their patterns can overlap
  // itself (a capital is neither an underscore nor a small letter or digit),
  // so each replaces at every place its pattern matches, and dropping an
  // underscore never makes or breaks a pair of the third step, whose pairs
  // hold none. Second step, "__([A-Z])" to "_$1": the first of two
  // underscores before a capital goes. Third step, "([a-z0-9])([A-Z])" to
  // "$1_$2": an underscore goes between the two, at most one for every two
  // characters. Then every capital is lowered. The scan also gathers the
  // bytes' high bits, which tell whether ICU must lower the rest.
  std::string snake;
  unsigned char high_bits = 0;
  snake.resize_and_overwrite(
      spaced.size() + spaced.size() / 2,
      [&spaced, &high_bits](char* out, size_t) {
        const size_t size = spaced.size();
        char* write = out;
        for (size_t at = 0; at < size; ++at) {
          const char c = spaced[at];
          high_bits |= static_cast<unsigned char>(c);
          if (c == '_' && at + 2 < size && spaced[at + 1] == '_' &&
              is_capital(spaced[at + 2])) {
            continue;
          }
          *write++ = is_capital(c) ? static_cast<char>(c - 'A' + 'a') : c;
          if (is_small_or_digit(c) && at + 1 < size &&
              is_capital(spaced[at + 1])) {
            *write++ = '_';
          }
        }
        return static_cast<size_t>(write - out);
      });
  return high_bits < 0x80 ? snake : lower_utf8(snake);
}

}  // namespace snake_case_paths

std::string to_snake_case(std::string_view name) {
  const bool ascii = is_ascii(name);
  // Every pattern needs an ASCII capital, and lowering changes no ASCII text
  // without one, so such a text stands as it is.
  if (ascii && !has_ascii_capital(name)) {
    return std::string(name);
  }
  // The ICU path's bound, so that which path a name takes never decides
  // whether it converts.
  if (name.size() >= kMaxIcuName) {
    throw std::bad_alloc();
  }
  if (!ascii && name.size() >= kMaxScannedName) {
    return snake_case_paths::icu(name);
  }
  return snake_case_paths::scans(name);
}

std::string build_namespaced_name(
    std::optional<std::string_view> namespace_text,
    std::optional<std::string_view> name) {
  std::string out;
  bool first = true;
  const auto append_piece = [&out, &first](std::string_view piece) {
    if (!first) {
      out += kSeparator;
    }
    out += piece;
    first = false;
  };
  std::string_view rest = namespace_text.value_or("");
  while (!rest.empty()) {
    const size_t at = rest.find(kSeparator);
    const std::string_view piece = rest.substr(0, at);
    if (!piece.empty()) {
      append_piece(to_snake_case(piece));
    }
    if (at == std::string_view::npos) {
      break;
    }
    rest.remove_prefix(at + kSeparator.size());
  }
  if (name.has_value() && !name->empty()) {
    append_piece(*name);
  }
  return out;
}

}  // namespace trelk
