// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

Parameters* Parser::parse_parameters(ParametersKind) {
  trelk::fail_invariant("not built yet: parse_parameters");
}

}  // namespace divu
