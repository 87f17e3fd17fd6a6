#include "str_prefix.h"

#include "invariant.h"

namespace divu {

std::string_view display_text(AnyStringPrefix prefix) {
  // Indexed by kind, then variant; "" past the last variant of a kind.
  static constexpr std::string_view kTexts[4][4] = {
      {"rb", "Rb", "b", ""},
      {"rf", "Rf", "f", ""},
      {"rt", "Rt", "t", ""},
      {"r", "R", "", "u"},
  };
  const auto kind = static_cast<unsigned>(prefix.kind);
  const auto variant = static_cast<unsigned>(prefix.variant);
  const unsigned variants = prefix.kind == StringPrefixKind::Regular ? 4 : 3;
  TRELK_CHECK(kind < 4 && variant < variants,
              "internal error: entered unreachable code: invalid string "
              "prefix");
  return kTexts[kind][variant];
}

}  // namespace divu
