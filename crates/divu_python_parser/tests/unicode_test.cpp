#include "unicode.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <string_view>

namespace divu {
namespace {

using namespace std::string_view_literals;

TEST(LookupCharacterNameTest, MatchesWhatPythonAccepts) {
  struct Case {
    std::string_view name;
    std::optional<char32_t> want;
  };
  const Case kCases[] = {
      {.name = "LATIN SMALL LETTER A", .want = U'a'},
      {.name = "latin small letter a", .want = U'a'},
      {.name = "Latin Small Letter A", .want = U'a'},
      // Aliases of every kind, in either case.
      {.name = "ALERT", .want = U'\a'},
      {.name = "bel", .want = U'\a'},
      {.name = "NUL", .want = U'\0'},
      {.name = "BYZANTINE MUSICAL SYMBOL FHTORA SKLIRON CHROMA VASIS",
       .want = U'\U0001D0C5'},
      // The character named BELL is not the alias BEL.
      {.name = "BELL", .want = U'\U0001F514'},
      // Names that ICU 72 lacks: Unicode 15.1 additions.
      {.name = "IDEOGRAPHIC DESCRIPTION CHARACTER SUBTRACTION",
       .want = U'\u31EF'},
      {.name = "CJK UNIFIED IDEOGRAPH-2EBF0", .want = U'\U0002EBF0'},
      {.name = "CUNEIFORM SIGN NU11 TENU", .want = U'\U000122D4'},
      // Algorithmic names match only in upper case.
      {.name = "HANGUL SYLLABLE GA", .want = U'\uAC00'},
      {.name = "HANGUL SYLLABLE GAG", .want = U'\uAC01'},
      {.name = "HANGUL SYLLABLE E", .want = U'\uC5D0'},
      {.name = "HANGUL SYLLABLE YEOLB", .want = U'\uC5F7'},
      {.name = "hangul syllable ga", .want = std::nullopt},
      {.name = "HANGUL SYLLABLE ga", .want = std::nullopt},
      {.name = "HANGUL SYLLABLE GAGX", .want = std::nullopt},
      {.name = "HANGUL SYLLABLE ", .want = std::nullopt},
      {.name = "CJK UNIFIED IDEOGRAPH-4E00", .want = U'\u4E00'},
      {.name = "CJK UNIFIED IDEOGRAPH-04E00", .want = U'\u4E00'},
      {.name = "CJK UNIFIED IDEOGRAPH-4e00", .want = std::nullopt},
      {.name = "cjk unified ideograph-4E00", .want = std::nullopt},
      {.name = "CJK UNIFIED IDEOGRAPH-4E0", .want = std::nullopt},
      {.name = "CJK UNIFIED IDEOGRAPH-0004E00", .want = std::nullopt},
      {.name = "CJK UNIFIED IDEOGRAPH-2EE5E", .want = std::nullopt},
      {.name = "CJK UNIFIED IDEOGRAPH-FA0E", .want = std::nullopt},
      // Listed names with a hexadecimal suffix match in any case.
      {.name = "cjk compatibility ideograph-f900", .want = U'\uF900'},
      {.name = "nushu character-1b170", .want = U'\U0001B170'},
      // ICU names the Tangut ideographs; Python does not.
      {.name = "TANGUT IDEOGRAPH-17000", .want = std::nullopt},
      // Named sequences are not characters.
      {.name = "LATIN CAPITAL LETTER A WITH MACRON AND GRAVE",
       .want = std::nullopt},
      {.name = "KEYCAP NUMBER SIGN", .want = std::nullopt},
      // ICU's extended and Unicode 1.0 forms are not names.
      {.name = "<control-0007>", .want = std::nullopt},
      {.name = "LINE FEED (LF)", .want = std::nullopt},
      // Spacing, separators and stray bytes must be exact.
      {.name = "", .want = std::nullopt},
      {.name = " LATIN SMALL LETTER A", .want = std::nullopt},
      {.name = "LATIN SMALL LETTER A ", .want = std::nullopt},
      {.name = "LATIN  SMALL LETTER A", .want = std::nullopt},
      {.name = "LATIN_SMALL_LETTER_A", .want = std::nullopt},
      {.name = "LATIN SMALL LETTER A\0"sv, .want = std::nullopt},
      {.name = "LATIN\0SMALL LETTER A"sv, .want = std::nullopt},
      {.name = "latin small letter \xC3\xA0", .want = std::nullopt},
      {.name = "NO SUCH NAME", .want = std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(lookup_character_name(c.name), c.want);
  }
}

TEST(LookupCharacterNameTest, OverlongNameIsRejected) {
  const std::string name = "LATIN SMALL LETTER A" + std::string(300, ' ');
  EXPECT_EQ(lookup_character_name(name), std::nullopt);
  EXPECT_EQ(lookup_character_name(std::string(100000, 'A')), std::nullopt);
}

TEST(XidTest, UnicodeFifteenPointOneChanges) {
  struct Case {
    char32_t c;
    bool start;
    bool cont;
  };
  const Case kCases[] = {
      {.c = U'a', .start = true, .cont = true},
      {.c = U'_', .start = false, .cont = true},
      {.c = U'1', .start = false, .cont = true},
      {.c = U'$', .start = false, .cont = false},
      {.c = U'\u00B7', .start = false, .cont = true},
      // Joiners and katakana middle dots continue identifiers since 15.1.
      {.c = U'\u200C', .start = false, .cont = true},
      {.c = U'\u200D', .start = false, .cont = true},
      {.c = U'\u30FB', .start = false, .cont = true},
      {.c = U'\uFF65', .start = false, .cont = true},
      // CJK Unified Ideographs Extension I is new in 15.1.
      {.c = U'\U0002EBF0', .start = true, .cont = true},
      {.c = U'\U0002EE5D', .start = true, .cont = true},
      {.c = U'\U0002EE5E', .start = false, .cont = false},
      {.c = 0x110000, .start = false, .cont = false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<std::uint32_t>(c.c));
    EXPECT_EQ(is_xid_start(c.c), c.start);
    EXPECT_EQ(is_xid_continue(c.c), c.cont);
  }
}

TEST(NfkcIdentifierTest, Normalises) {
  struct Case {
    std::string_view text;
    std::string_view want;
  };
  const Case kCases[] = {
      {.text = "\xEF\xAC\x81le", .want = "file"},  // U+FB01 ligature
      {.text = "e\xCC\x81", .want = "\xC3\xA9"},   // e + U+0301 composes
      {.text = "\xE2\x84\x8C", .want = "H"},       // U+210C black-letter H
      {.text = "\xC2\xB5", .want = "\xCE\xBC"},    // micro sign to mu
      {.text = "caf\xC3\xA9", .want = "caf\xC3\xA9"},
      {.text = "a\0b"sv, .want = "a\0b"sv},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(nfkc_identifier(c.text), c.want);
  }
}

// ICU counts UTF-8 in int32_t: a longer identifier must not be cut to a
// negative length. The text is mapped, never written, so it costs no memory.
TEST(NfkcIdentifierTest, TooLongForIcuIsAnExhaustedHeap) {
  constexpr std::size_t kSize =
      std::size_t{std::numeric_limits<std::int32_t>::max()} + 1;
  void* text = mmap(nullptr, kSize, PROT_READ,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(text, MAP_FAILED);
  EXPECT_THROW(
      (void)nfkc_identifier(std::string_view(static_cast<char*>(text), kSize)),
      std::bad_alloc);
  munmap(text, kSize);
}

}  // namespace
}  // namespace divu
