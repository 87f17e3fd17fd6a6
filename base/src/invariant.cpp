#include "invariant.h"

namespace trelk {

void fail_invariant(std::string message) {
  throw InvariantFailure(std::move(message));
}

}  // namespace trelk
