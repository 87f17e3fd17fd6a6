#pragma once

#include <cstdint>

#include "bit_flags.h"
#include "parse_error.h"
#include "token_kind.h"
#include "token_set.h"

namespace divu {

// The kind of a list the parser is reading (recovery.def): which tokens
// start its elements, which end it, and what to report for any other token.
enum class RecoveryContextKind : std::uint8_t {
#define LIST_KIND(Name, elements, regular, recovery, trailing, message) Name,
#include "recovery.def"
};

inline constexpr int kRecoveryContextKindCount = 0
#define LIST_KIND(Name, elements, regular, recovery, trailing, message) +1
#include "recovery.def"
    ;
static_assert(kRecoveryContextKindCount == 32,
              "one flag per kind in a 32-bit set");

// The set of list kinds being parsed, one bit per kind, innermost included.
class RecoveryContext : public BitFlags<RecoveryContext, std::uint32_t> {
 public:
  using BitFlags::BitFlags;
  static constexpr std::uint32_t flag(RecoveryContextKind kind) {
    return std::uint32_t{1} << static_cast<unsigned>(kind);
  }
};

// How a token ends a list, if it does.
enum class ListTerminatorKind : std::uint8_t {
  None,           // it does not
  Regular,        // the list ends here
  ErrorRecovery,  // it cannot continue the list and belongs to what follows
};

// Whether `token` can start an element of a list of `kind`.
bool is_list_element(RecoveryContextKind kind, TokenKind token);

// How `token` ends a list of `kind`; EndOfFile ends every list.
ListTerminatorKind list_terminator_kind(RecoveryContextKind kind,
                                        TokenKind token);

// The error for a token that neither starts an element of a list of `kind`
// nor ends it.
ParseErrorType create_error(RecoveryContextKind kind, TokenKind token);

// Whether a comma-separated list of `kind` may end with a comma.
bool allows_trailing_comma(RecoveryContextKind kind);

}  // namespace divu
