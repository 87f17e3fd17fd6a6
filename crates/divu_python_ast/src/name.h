#pragma once

#include <cstdint>
#include <string_view>

#include "invariant.h"

namespace divu {

// The text of an identifier, immutable once made. A Name is a view: its
// bytes live in the source text or, for texts the parser builds (normalised
// identifiers), in the parse's arena, so no name costs an allocation of its
// own. It is valid as long as that text is. The empty Name is the text of
// the placeholder identifier. 16 bytes: a pointer and a 32-bit length.
class Name {
 public:
  constexpr Name() = default;
  // REQUIRES: text is shorter than 4 GiB (every source text is).
  explicit Name(std::string_view text)
      : data_(text.data()), size_(static_cast<std::uint32_t>(text.size())) {
    TRELK_CHECK(text.size() <= UINT32_MAX,
                "assertion failed: u32::try_from(bytes.len()).is_ok()");
  }

  // The text, without copying.
  constexpr std::string_view as_str() const { return {data_, size_}; }
  constexpr bool empty() const { return size_ == 0; }

  friend constexpr bool operator==(Name a, Name b) {
    return a.as_str() == b.as_str();
  }
  friend constexpr bool operator==(Name a, std::string_view b) {
    return a.as_str() == b;
  }

 private:
  const char* data_ = "";
  std::uint32_t size_ = 0;
};

static_assert(sizeof(Name) == 16);

}  // namespace divu
