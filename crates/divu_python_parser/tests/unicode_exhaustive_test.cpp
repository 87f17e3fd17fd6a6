// Compares the Unicode support with CPython 3.13's unicodedata over every
// code point, every identifier character's NFKC, and every character name and
// alias. The expectations come from unicode_expectations.py, which ctest runs
// first; the file's path is in TRELK_UNICODE_EXPECTATIONS.

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "unicode.h"

namespace divu {
namespace {

constexpr char32_t kCodePoints = 0x110000;

std::string utf8(char32_t c) {
  std::string out;
  append_utf8(out, c);
  return out;
}

std::string lower(std::string text) {
  for (char& c : text) {
    if ('A' <= c && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t begin = 0;
  for (std::size_t semi; (semi = line.find(';', begin)) != std::string::npos;
       begin = semi + 1) {
    fields.push_back(line.substr(begin, semi - begin));
  }
  fields.push_back(line.substr(begin));
  return fields;
}

struct CodePoint {
  bool xid_start = false;
  bool xid_continue = false;
  bool lower_name_accepted = false;
  std::string nfkc;  // UTF-8; only for identifier characters
  std::string name;
};

struct Alias {
  char32_t code_point;
  bool lower_accepted;
  std::string name;
};

struct Expectations {
  std::vector<CodePoint> code_points = std::vector<CodePoint>(kCodePoints);
  std::vector<Alias> aliases;
};

const Expectations& expectations() {
  static const Expectations* const loaded = [] {
    auto* e = new Expectations();
    const char* path = std::getenv("TRELK_UNICODE_EXPECTATIONS");
    if (path == nullptr) {
      ADD_FAILURE() << "TRELK_UNICODE_EXPECTATIONS is not set";
      return e;
    }
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    for (std::string line; std::getline(in, line);) {
      const std::vector<std::string> f = split(line);
      if (f[0] == "A" && f.size() == 4) {
        e->aliases.push_back(
            {.code_point = static_cast<char32_t>(std::stoul(f[1], nullptr, 16)),
             .lower_accepted = f[2] == "l",
             .name = f[3]});
        continue;
      }
      EXPECT_TRUE(f[0] == "C" && f.size() == 5) << line;
      if (f.size() != 5) {
        continue;
      }
      CodePoint& cp = e->code_points.at(std::stoul(f[1], nullptr, 16));
      cp.xid_start = f[2].find('s') != std::string::npos;
      cp.xid_continue = f[2].find('c') != std::string::npos;
      cp.lower_name_accepted = f[2].find('l') != std::string::npos;
      std::size_t pos = 0;
      while (pos < f[3].size()) {
        std::size_t used = 0;
        cp.nfkc += utf8(
            static_cast<char32_t>(std::stoul(f[3].substr(pos), &used, 16)));
        pos += used + 1;
      }
      cp.name = f[4];
    }
    return e;
  }();
  return *loaded;
}

TEST(UnicodeExhaustiveTest, XidPropertiesOfEveryCodePoint) {
  const Expectations& e = expectations();
  int mismatches = 0;
  for (char32_t c = 0; c < kCodePoints && mismatches < 20; ++c) {
    const CodePoint& want = e.code_points[c];
    if (is_xid_start(c) != want.xid_start ||
        is_xid_continue(c) != want.xid_continue) {
      ++mismatches;
      ADD_FAILURE() << std::hex << "U+" << static_cast<std::uint32_t>(c)
                    << ": XID_Start " << is_xid_start(c) << " want "
                    << want.xid_start << ", XID_Continue " << is_xid_continue(c)
                    << " want " << want.xid_continue;
    }
  }
}

TEST(UnicodeExhaustiveTest, NfkcOfEveryIdentifierCharacter) {
  const Expectations& e = expectations();
  int checked = 0;
  int mismatches = 0;
  for (char32_t c = 0; c < kCodePoints && mismatches < 20; ++c) {
    const CodePoint& want = e.code_points[c];
    if (!want.xid_continue) {
      continue;
    }
    ++checked;
    if (nfkc_identifier(utf8(c)) != want.nfkc) {
      ++mismatches;
      ADD_FAILURE() << std::hex << "U+" << static_cast<std::uint32_t>(c);
    }
  }
  EXPECT_GT(checked, 100000);
}

TEST(UnicodeExhaustiveTest, EveryCharacterNameInBothCases) {
  const Expectations& e = expectations();
  int named = 0;
  int mismatches = 0;
  for (char32_t c = 0; c < kCodePoints && mismatches < 20; ++c) {
    const CodePoint& want = e.code_points[c];
    if (want.name.empty()) {
      continue;
    }
    ++named;
    const std::optional<char32_t> lower_got =
        lookup_character_name(lower(want.name));
    if (lookup_character_name(want.name) != c ||
        lower_got.has_value() != want.lower_name_accepted ||
        (lower_got.has_value() && *lower_got != c)) {
      ++mismatches;
      ADD_FAILURE() << want.name;
    }
  }
  EXPECT_EQ(named, 143668);
}

// ICU names a few code points that CPython leaves unnamed (the Tangut
// ideographs); such a name must not resolve.
TEST(UnicodeExhaustiveTest, IcuNamesUnknownToCPythonAreRejected) {
  const Expectations& e = expectations();
  int mismatches = 0;
  std::array<char, 256> buffer;
  for (char32_t c = 0; c < kCodePoints && mismatches < 20; ++c) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        u_charName(static_cast<UChar32>(c), U_UNICODE_CHAR_NAME, buffer.data(),
                   buffer.size(), &status);
    ASSERT_TRUE(U_SUCCESS(status));
    const std::string icu_name(buffer.data(), static_cast<std::size_t>(length));
    if (icu_name.empty() || icu_name == e.code_points[c].name) {
      continue;
    }
    if (lookup_character_name(icu_name).has_value()) {
      ++mismatches;
      ADD_FAILURE() << icu_name;
    }
  }
}

TEST(UnicodeExhaustiveTest, EveryNameAlias) {
  const Expectations& e = expectations();
  EXPECT_EQ(e.aliases.size(), 473u);
  for (const Alias& alias : e.aliases) {
    SCOPED_TRACE(alias.name);
    EXPECT_EQ(lookup_character_name(alias.name), alias.code_point);
    EXPECT_EQ(
        lookup_character_name(lower(alias.name)),
        alias.lower_accepted ? std::optional(alias.code_point) : std::nullopt);
  }
}

}  // namespace
}  // namespace divu
