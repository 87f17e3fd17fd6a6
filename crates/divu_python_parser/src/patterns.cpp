// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

Stmt* Parser::parse_match_statement(TextSize) {
  trelk::fail_invariant("not built yet: parse_match_statement");
}

}  // namespace divu
