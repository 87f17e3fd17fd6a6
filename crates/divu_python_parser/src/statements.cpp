// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

Stmt* Parser::parse_statement() {
  trelk::fail_invariant("not built yet: parse_statement");
}

std::span<Stmt*> Parser::parse_body(Clause) {
  trelk::fail_invariant("not built yet: parse_body");
}

}  // namespace divu
