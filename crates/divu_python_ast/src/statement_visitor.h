#pragma once

#include <span>

#include "syntax_tree.h"

namespace divu {

// A walk over the statements of a module at every depth of nesting. The
// walker never enters expressions, decorators, parameters, patterns, guards
// or annotations. Implementations override visit_stmt to look at statements
// and call walk_stmt themselves where they want to descend; a visitor that
// does not sees only the statements of the list it was given.
//
// The walk recurses once per level of statement nesting, which the parser
// bounds, and allocates nothing.
class StatementVisitor {
 public:
  virtual ~StatementVisitor() = default;

  // By default, walk_stmt(*this, stmt).
  virtual void visit_stmt(const Stmt& stmt);
  // By default, walk_body(*this, body).
  virtual void visit_body(std::span<const Stmt* const> body);
};

// Calls visitor.visit_stmt on each statement of `body`, in order.
void walk_body(StatementVisitor& visitor, std::span<const Stmt* const> body);

// Calls visitor.visit_body on the statement lists nested in `stmt`, in order,
// and does nothing else: a function's or class's body; a for or while loop's
// body then its else block; an if's body then each elif and else clause's
// body; a with's body; each match case's body; a try's body, each handler's
// body, its else block and its finally block. Other statements hold no
// statement lists. Empty lists are handed over like any other.
void walk_stmt(StatementVisitor& visitor, const Stmt& stmt);

}  // namespace divu
