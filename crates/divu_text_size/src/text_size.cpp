#include "text_size.h"

#include "invariant.h"

namespace divu {

void TextRange::fail_reversed() {
  trelk::fail_invariant("assertion failed: start.raw <= end.raw");
}

std::string_view TextRange::slice(std::string_view text) const {
  TRELK_CHECK(end_ <= text.size(), "range end index " + std::to_string(end_) +
                                       " out of range for slice of length " +
                                       std::to_string(text.size()));
  return text.substr(start_, end_ - start_);
}

std::string TextRange::to_string() const {
  return std::to_string(start_) + ".." + std::to_string(end_);
}

}  // namespace divu
