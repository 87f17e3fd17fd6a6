#include "text_size.h"

#include "invariant.h"

namespace divu {

void TextRange::fail_reversed() {
  trelk::fail_invariant("assertion failed: start.raw <= end.raw");
}

void TextRange::fail_slice(std::size_t text_size) const {
  trelk::fail_invariant("range end index " + std::to_string(end_) +
                        " out of range for slice of length " +
                        std::to_string(text_size));
}

std::string TextRange::to_string() const {
  return std::to_string(start_) + ".." + std::to_string(end_);
}

}  // namespace divu
