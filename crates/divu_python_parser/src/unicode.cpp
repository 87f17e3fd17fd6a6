#include "unicode.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucptrie.h>
#include <unicode/umutablecptrie.h>
#include <unicode/uset.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <span>
#include <vector>

#include "invariant.h"

namespace divu {
namespace {

struct PropertyOverride {
  char32_t first;
  char32_t last;
  bool value;
};

struct CodePointRange {
  char32_t first;
  char32_t last;
};

struct ExtraName {
  std::string_view name;
  char32_t code_point;
};

#include "unicode_tables.inc"

bool in_ranges(std::span<const CodePointRange> ranges, char32_t c) {
  return std::any_of(ranges.begin(), ranges.end(), [c](CodePointRange r) {
    return r.first <= c && c <= r.last;
  });
}

std::string icu_message(std::string_view what, UErrorCode status) {
  return std::string(what) + ": " + u_errorName(status);
}

// ICU's property set with CPython's differences applied.
USet* property_set(UProperty property,
                   std::span<const PropertyOverride> overrides) {
  UErrorCode status = U_ZERO_ERROR;
  const USet* icu_set = u_getBinaryPropertySet(property, &status);
  TRELK_CHECK(U_SUCCESS(status), icu_message("XID property set", status));
  USet* set = uset_cloneAsThawed(icu_set);
  for (const PropertyOverride& o : overrides) {
    if (o.value) {
      uset_addRange(set, static_cast<UChar32>(o.first),
                    static_cast<UChar32>(o.last));
    } else {
      uset_removeRange(set, static_cast<UChar32>(o.first),
                       static_cast<UChar32>(o.last));
    }
  }
  return set;
}

constexpr std::uint8_t kXidContinueBit = 1;
constexpr std::uint8_t kXidStartBit = 2;

// Both properties in one code point trie of the fast kind: a lookup is two
// array reads for the BMP and three above it.
const UCPTrie* build_xid_trie() {
  USet* start = property_set(UCHAR_XID_START, kXidStartOverrides);
  USet* cont = property_set(UCHAR_XID_CONTINUE, kXidContinueOverrides);
  // Every XID_Start character continues an identifier too, so setting the
  // start ranges after the continue ranges can use one value for both.
  TRELK_CHECK(uset_containsAll(cont, start),
              "XID_Start is not a subset of XID_Continue");
  UErrorCode status = U_ZERO_ERROR;
  UMutableCPTrie* trie = umutablecptrie_open(0, 0, &status);
  const auto set_ranges = [&](const USet* set, std::uint8_t value) {
    for (int32_t i = 0; i < uset_getItemCount(set); ++i) {
      UChar32 first = 0;
      UChar32 last = 0;
      uset_getItem(set, i, &first, &last, nullptr, 0, &status);
      umutablecptrie_setRange(trie, first, last, value, &status);
    }
  };
  set_ranges(cont, kXidContinueBit);
  set_ranges(start, kXidContinueBit | kXidStartBit);
  const UCPTrie* result = umutablecptrie_buildImmutable(
      trie, UCPTRIE_TYPE_FAST, UCPTRIE_VALUE_BITS_8, &status);
  TRELK_CHECK(U_SUCCESS(status), icu_message("XID trie", status));
  umutablecptrie_close(trie);
  uset_close(start);
  uset_close(cont);
  return result;
}

std::uint8_t xid_bits(char32_t c) {
  static const UCPTrie* const trie = build_xid_trie();
  return UCPTRIE_FAST_GET(trie, UCPTRIE_8, static_cast<UChar32>(c));
}

// Longer than every character name and alias (the longest has 88 bytes);
// the index checks this when it is built.
constexpr std::size_t kMaxNameLength = 128;
constexpr char32_t kHangulFirst = 0xAC00;
constexpr char32_t kHangulLast = 0xD7A3;

// An open-addressing hash set over every name that matches
// case-insensitively: ICU's names (minus the algorithmic ranges that are
// matched separately and the code points CPython leaves unnamed) and the
// generated extra names. It stores 32-bit entries only; a candidate is
// confirmed by asking ICU for its name again, so that a lookup costs one hash
// and, on a hit, one name, never ICU's linear name search.
class NameIndex {
 public:
  static const NameIndex& get() {
    static const NameIndex* const index = new NameIndex();
    return *index;
  }

  // REQUIRES: `name` is upper case and at most kMaxNameLength bytes long.
  std::optional<char32_t> find(std::string_view name) const {
    std::array<char, kMaxNameLength + 1> buffer;
    for (std::uint32_t slot = hash(name) & mask_;; slot = (slot + 1) & mask_) {
      const std::uint32_t entry = slots_[slot];
      if (entry == kEmpty) {
        return std::nullopt;
      }
      if (entry & kExtraBit) {
        const ExtraName& extra = kExtraNames[entry & ~kExtraBit];
        if (extra.name == name) {
          return extra.code_point;
        }
        continue;
      }
      UErrorCode status = U_ZERO_ERROR;
      const int32_t length =
          u_charName(static_cast<UChar32>(entry), U_UNICODE_CHAR_NAME,
                     buffer.data(), buffer.size(), &status);
      if (U_SUCCESS(status) &&
          std::string_view(buffer.data(), static_cast<std::size_t>(length)) ==
              name) {
        return static_cast<char32_t>(entry);
      }
    }
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
  static constexpr std::uint32_t kExtraBit = 0x80000000;

  NameIndex() {
    std::vector<std::pair<std::uint32_t, std::uint32_t>>
        entries;  // hash, entry
    entries.reserve(40000);
    UErrorCode status = U_ZERO_ERROR;
    u_enumCharNames(
        0, 0x110000,
        [](void* context, UChar32 code, UCharNameChoice, const char* name,
           int32_t length) -> UBool {
          const auto c = static_cast<char32_t>(code);
          if ((kHangulFirst <= c && c <= kHangulLast) ||
              in_ranges(kCjkUnifiedRanges, c) ||
              in_ranges(kUnnamedInCPython, c)) {
            return true;
          }
          const std::string_view text(name, static_cast<std::size_t>(length));
          TRELK_CHECK(
              text.size() <= kMaxNameLength,
              "character name longer than expected: " + std::string(text));
          static_cast<decltype(entries)*>(context)->emplace_back(
              hash(text), static_cast<std::uint32_t>(code));
          return true;
        },
        &entries, U_UNICODE_CHAR_NAME, &status);
    TRELK_CHECK(U_SUCCESS(status), icu_message("character names", status));
    for (std::uint32_t i = 0; i < std::size(kExtraNames); ++i) {
      TRELK_CHECK(kExtraNames[i].name.size() <= kMaxNameLength,
                  "character name longer than expected: " +
                      std::string(kExtraNames[i].name));
      entries.emplace_back(hash(kExtraNames[i].name), i | kExtraBit);
    }
    // Load factor at most 1/4 keeps probe sequences short.
    std::size_t size = 1;
    while (size < 4 * entries.size()) {
      size *= 2;
    }
    slots_.assign(size, kEmpty);
    mask_ = static_cast<std::uint32_t>(size - 1);
    for (const auto& [h, entry] : entries) {
      std::uint32_t slot = h & mask_;
      while (slots_[slot] != kEmpty) {
        slot = (slot + 1) & mask_;
      }
      slots_[slot] = entry;
    }
  }

  // FNV-1a, 32 bits.
  static std::uint32_t hash(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text) {
      h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return h;
  }

  std::vector<std::uint32_t> slots_;
  std::uint32_t mask_ = 0;
};

// The short jamo names that spell a Hangul syllable, by column (leading
// consonant, vowel, trailing consonant) and index.
constexpr std::string_view kLeading[] = {"G", "GG", "N", "D",  "DD", "R", "M",
                                         "B", "BB", "S", "SS", "",   "J", "JJ",
                                         "C", "K",  "T", "P",  "H"};
constexpr std::string_view kVowels[] = {
    "A",  "AE", "YA", "YAE", "EO", "E",  "YEO", "YE", "O",  "WA", "WAE",
    "OE", "YO", "U",  "WEO", "WE", "WI", "YU",  "EU", "YI", "I"};
constexpr std::string_view kTrailing[] = {
    "",   "G",  "GG", "GS", "N",  "NJ", "NH", "D", "L",  "LG",
    "LM", "LB", "LS", "LT", "LP", "LH", "M",  "B", "BS", "S",
    "SS", "NG", "J",  "C",  "K",  "T",  "P",  "H"};

// Consumes the longest jamo name of `column` that starts `text` and returns
// its index; the empty name counts as a match where the column has one.
std::optional<std::size_t> take_jamo(std::span<const std::string_view> column,
                                     std::string_view& text) {
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < column.size(); ++i) {
    if (text.starts_with(column[i]) &&
        (!best || column[i].size() > column[*best].size())) {
      best = i;
    }
  }
  if (best) {
    text.remove_prefix(column[*best].size());
  }
  return best;
}

// The syllable after "HANGUL SYLLABLE ": greedy longest matches, upper case
// only, the way CPython reads it.
std::optional<char32_t> hangul_syllable(std::string_view text) {
  const auto leading = take_jamo(kLeading, text);
  const auto vowel = take_jamo(kVowels, text);
  const auto trailing = take_jamo(kTrailing, text);
  if (!leading || !vowel || !trailing || !text.empty()) {
    return std::nullopt;
  }
  const std::size_t index =
      (*leading * std::size(kVowels) + *vowel) * std::size(kTrailing) +
      *trailing;
  return static_cast<char32_t>(kHangulFirst + index);
}

// The digits after "CJK UNIFIED IDEOGRAPH-": four or five upper-case
// hexadecimal digits naming a unified ideograph.
std::optional<char32_t> cjk_unified_ideograph(std::string_view digits) {
  if (digits.size() != 4 && digits.size() != 5) {
    return std::nullopt;
  }
  char32_t value = 0;
  for (const char d : digits) {
    if ('0' <= d && d <= '9') {
      value = value * 16 + static_cast<char32_t>(d - '0');
    } else if ('A' <= d && d <= 'F') {
      value = value * 16 + static_cast<char32_t>(d - 'A' + 10);
    } else {
      return std::nullopt;
    }
  }
  if (!in_ranges(kCjkUnifiedRanges, value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

bool is_xid_start(char32_t c) { return (xid_bits(c) & kXidStartBit) != 0; }

bool is_xid_continue(char32_t c) {
  return (xid_bits(c) & kXidContinueBit) != 0;
}

std::string nfkc_identifier(std::string_view utf8) {
  // ICU takes the length as int32_t; a longer identifier cannot be handed
  // over, as if the heap were exhausted.
  if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) {
    throw std::bad_alloc();
  }
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
  TRELK_CHECK(U_SUCCESS(status), icu_message("NFKC normalizer", status));
  std::string out;
  icu::StringByteSink<std::string> sink(&out,
                                        static_cast<int32_t>(utf8.size()));
  nfkc->normalizeUTF8(
      0, icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())), sink,
      nullptr, status);
  TRELK_CHECK(U_SUCCESS(status), icu_message("NFKC normalization", status));
  return out;
}

Utf8Char decode_utf8(std::string_view text, std::size_t index) noexcept {
  const auto lead = static_cast<unsigned char>(text[index]);
  if (lead < 0x80) {
    return {.value = lead, .length = 1};
  }
  std::uint32_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  char32_t value = lead & (0x7F >> length);
  length = static_cast<std::uint32_t>(
      std::min<std::size_t>(length, text.size() - index));
  for (std::uint32_t i = 1; i < length; ++i) {
    value = (value << 6) | (static_cast<unsigned char>(text[index + i]) & 0x3F);
  }
  return {.value = value, .length = length};
}

std::size_t encode_utf8(char32_t c, char* out) noexcept {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

void append_utf8(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, encode_utf8(c, bytes));
}

std::optional<char32_t> lookup_character_name(std::string_view name) {
  constexpr std::string_view kHangulPrefix = "HANGUL SYLLABLE ";
  constexpr std::string_view kCjkPrefix = "CJK UNIFIED IDEOGRAPH-";
  if (name.starts_with(kHangulPrefix)) {
    return hangul_syllable(name.substr(kHangulPrefix.size()));
  }
  if (name.starts_with(kCjkPrefix)) {
    return cjk_unified_ideograph(name.substr(kCjkPrefix.size()));
  }
  if (name.empty() || name.size() > kMaxNameLength) {
    return std::nullopt;
  }
  // Every name and alias is spelt with A-Z, 0-9, space and hyphen, so any
  // other byte (NUL, "<", non-ASCII) is rejected before ICU sees the name.
  std::array<char, kMaxNameLength> upper;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if ('a' <= c && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (!(('A' <= c && c <= 'Z') || ('0' <= c && c <= '9') || c == ' ' ||
                 c == '-')) {
      return std::nullopt;
    }
    upper[i] = c;
  }
  return NameIndex::get().find(std::string_view(upper.data(), name.size()));
}

}  // namespace divu
