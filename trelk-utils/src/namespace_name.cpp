#include "namespace_name.h"

#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <new>

#include "invariant.h"

namespace trelk {
namespace {

constexpr std::string_view kSeparator = "::";

// 2^30 bytes: names below it convert within ICU's 32-bit lengths (see
// to_snake_case).
constexpr size_t kMaxIcuName = size_t{1} << 30;

struct Replacement {
  const char16_t* pattern;
  const char16_t* replacement;
};

// Applied in this order, each to the result of the one before. UNIX_LINES
// makes "." refuse only a line feed; the bracketed ranges are ASCII only.
constexpr Replacement kReplacements[] = {
    // An underscore before every capitalised word that follows a character.
    {u"(.)([A-Z][a-z]+)", u"$1_$2"},
    // Undoes the first step after an existing underscore.
    {u"__([A-Z])", u"_$1"},
    // An underscore between a lower-case letter or digit and a capital.
    {u"([a-z0-9])([A-Z])", u"$1_$2"},
};

const icu::RegexPattern* compile(const char16_t* pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parse_error;
  icu::RegexPattern* compiled = icu::RegexPattern::compile(
      icu::UnicodeString(pattern), UREGEX_UNIX_LINES, parse_error, status);
  TRELK_CHECK(U_SUCCESS(status),
              "constant snake-case pattern failed to compile");
  return compiled;
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

void replace_all(const icu::RegexPattern& pattern, const char16_t* replacement,
                 icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
  if (status == U_MEMORY_ALLOCATION_ERROR) {
    throw std::bad_alloc();
  }
  TRELK_CHECK(U_SUCCESS(status), "snake-case matcher could not be made");
  icu::UnicodeString replaced =
      matcher->replaceAll(icu::UnicodeString(replacement), status);
  if (status == U_MEMORY_ALLOCATION_ERROR) {
    throw std::bad_alloc();
  }
  TRELK_CHECK(U_SUCCESS(status), "snake-case replacement failed");
  text = std::move(replaced);
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

}  // namespace

std::string to_snake_case(std::string_view name) {
  // Every pattern needs an ASCII capital, and lowering changes no ASCII text
  // without one, so such a text stands as it is.
  const bool capitals = has_ascii_capital(name);
  if (!capitals && is_ascii(name)) {
    return std::string(name);
  }
  // ICU's strings are indexed by int32_t. Text never needs more UTF-16 units
  // than it has UTF-8 bytes, lowering included, and the underscores at most
  // double it, so below 2^30 bytes every step fits; a longer name cannot be
  // held, as if the heap were exhausted.
  if (name.size() >= kMaxIcuName) {
    throw std::bad_alloc();
  }
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
  if (capitals) {
    replace_all(pattern<0>(), kReplacements[0].replacement, text);
    replace_all(pattern<1>(), kReplacements[1].replacement, text);
    replace_all(pattern<2>(), kReplacements[2].replacement, text);
  }
  text.toLower(icu::Locale::getRoot());
  std::string out;
  text.toUTF8String(out);
  return out;
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
