// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

Stmt* Parser::parse_simple_statement() {
  trelk::fail_invariant("not built yet: parse_simple_statement");
}

void Parser::validate_assignment_target(const Expr*) {
  trelk::fail_invariant("not built yet: validate_assignment_target");
}

void Parser::validate_delete_target(const Expr*) {
  trelk::fail_invariant("not built yet: validate_delete_target");
}

Alias Parser::parse_alias(bool) {
  trelk::fail_invariant("not built yet: parse_alias");
}

Identifier Parser::parse_dotted_name() {
  trelk::fail_invariant("not built yet: parse_dotted_name");
}

void Parser::check_tuple_unpacking(const Expr*, StarredTupleKind) {
  trelk::fail_invariant("not built yet: check_tuple_unpacking");
}

}  // namespace divu
