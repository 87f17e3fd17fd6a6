// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

Stmt* Parser::parse_if_statement() {
  trelk::fail_invariant("not built yet: parse_if_statement");
}

Stmt* Parser::parse_while_statement() {
  trelk::fail_invariant("not built yet: parse_while_statement");
}

Stmt* Parser::parse_for_statement(TextSize) {
  trelk::fail_invariant("not built yet: parse_for_statement");
}

Stmt* Parser::parse_try_statement() {
  trelk::fail_invariant("not built yet: parse_try_statement");
}

Stmt* Parser::parse_with_statement(TextSize) {
  trelk::fail_invariant("not built yet: parse_with_statement");
}

}  // namespace divu
