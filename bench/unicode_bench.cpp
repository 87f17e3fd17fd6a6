// unicode_bench: the front end's Unicode lookups against ICU's own calls,
// measured in the same run.
//
//   - character names: lookup_character_name against u_charFromName over a
//     sample of names taken from ICU (every 64th named code point), half of
//     them in lower case, plus as many misses (ICU finds more: it also
//     accepts lower-case algorithmic names and names the Tangut ideographs,
//     which Python rejects); the first lookup, which builds the name index,
//     is timed on its own;
//   - XID_Continue: is_xid_continue against u_hasBinaryProperty over every
//     code point.
//
// Usage: unicode_bench [ROUNDS]

#include <unicode/uchar.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "unicode.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::string> sample_names() {
  std::vector<std::string> names;
  std::array<char, 256> buffer;
  int named = 0;
  for (UChar32 c = 0; c < 0x110000; ++c) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_charName(c, U_UNICODE_CHAR_NAME, buffer.data(),
                                      buffer.size(), &status);
    if (length == 0 || ++named % 64 != 0) {
      continue;
    }
    std::string name(buffer.data(), static_cast<std::size_t>(length));
    if (names.size() % 2 == 1) {
      for (char& ch : name) {
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
      }
    }
    names.push_back(name);
    names.push_back(name + " X");  // a miss
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  const std::vector<std::string> names = sample_names();

  auto start = Clock::now();
  volatile bool found =
      divu::lookup_character_name("LATIN SMALL LETTER A").has_value();
  const double first = seconds_since(start);

  std::size_t ours_hits = 0;
  start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (const std::string& name : names) {
      ours_hits += divu::lookup_character_name(name).has_value();
    }
  }
  const double ours = seconds_since(start);

  std::size_t icu_hits = 0;
  start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (const std::string& name : names) {
      UErrorCode status = U_ZERO_ERROR;
      u_charFromName(U_UNICODE_CHAR_NAME, name.c_str(), &status);
      icu_hits += U_SUCCESS(status) ? 1u : 0u;
    }
  }
  const double icu = seconds_since(start);

  std::size_t ours_xid = 0;
  start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (char32_t c = 0; c < 0x110000; ++c) {
      ours_xid += divu::is_xid_continue(c);
    }
  }
  const double ours_xid_time = seconds_since(start);

  std::size_t icu_xid = 0;
  start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (UChar32 c = 0; c < 0x110000; ++c) {
      icu_xid += u_hasBinaryProperty(c, UCHAR_XID_CONTINUE) ? 1u : 0u;
    }
  }
  const double icu_xid_time = seconds_since(start);

  const double lookups = static_cast<double>(names.size()) * rounds;
  std::cout << "name index built by the first lookup: " << first * 1e3 << " ms"
            << (found ? "" : " (not found!)") << "\n"
            << "character names (" << names.size() << " names, " << rounds
            << " rounds): ours " << ours / lookups * 1e9 << " ns, ICU "
            << icu / lookups * 1e9 << " ns per lookup; ratio ICU/ours "
            << icu / ours << " (hits " << ours_hits << " vs " << icu_hits
            << ")\n"
            << "XID_Continue over every code point: ours " << ours_xid_time
            << " s, ICU " << icu_xid_time << " s; ratio ICU/ours "
            << icu_xid_time / ours_xid_time << " (" << ours_xid << " vs "
            << icu_xid << " true)\n";
  return 0;
}
