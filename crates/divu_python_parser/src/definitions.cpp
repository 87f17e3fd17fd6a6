// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

Stmt* Parser::parse_decorated_definition(TextSize) {
  trelk::fail_invariant("not built yet: parse_decorated_definition");
}

Stmt* Parser::parse_function_definition(std::span<Decorator>, TextSize) {
  trelk::fail_invariant("not built yet: parse_function_definition");
}

Stmt* Parser::parse_class_definition(std::span<Decorator>, TextSize) {
  trelk::fail_invariant("not built yet: parse_class_definition");
}

TypeParams* Parser::try_parse_type_params() {
  trelk::fail_invariant("not built yet: try_parse_type_params");
}

}  // namespace divu
