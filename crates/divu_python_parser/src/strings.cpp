// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

Expr* Parser::parse_strings() {
  trelk::fail_invariant("not built yet: parse_strings");
}

}  // namespace divu
