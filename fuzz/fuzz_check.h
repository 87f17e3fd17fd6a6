#pragma once

// What every fuzz target shares: the way a broken promise ends the run, and
// the entry that gives a target only well-formed text. An abort is what
// libFuzzer records as a crash, with the input that caused it, and what the
// replay of the saved inputs in the normal build fails on.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "utf8.h"

namespace fuzz {

// Aborts unless `condition` holds, saying `what` was promised.
inline void check(bool condition, const char* what = "see the stack") {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

// Runs `body` on the input when it is UTF-8, which is all the parser is ever
// given (its callers check first), and returns 0 as libFuzzer expects. An
// exception that escapes `body` is a broken promise too: nothing in the
// parser throws on its input.
template <class Body>
int on_utf8_text(const std::uint8_t* data, std::size_t size, Body&& body) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!trelk::is_valid_utf8(text)) {
    return 0;
  }
  try {
    body(text);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "uncaught: %s\n", failure.what());
    std::abort();
  }
  return 0;
}

}  // namespace fuzz
