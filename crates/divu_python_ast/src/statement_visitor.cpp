#include "statement_visitor.h"

namespace divu {

void StatementVisitor::visit_stmt(const Stmt& stmt) { walk_stmt(*this, stmt); }

void StatementVisitor::visit_body(std::span<const Stmt* const> body) {
  walk_body(*this, body);
}

void walk_body(StatementVisitor& visitor, std::span<const Stmt* const> body) {
  for (const Stmt* stmt : body) {
    visitor.visit_stmt(*stmt);
  }
}

void walk_stmt(StatementVisitor& visitor, const Stmt& stmt) {
  switch (stmt.kind()) {
    case NodeKind::StmtFunctionDef:
      visitor.visit_body(stmt.as<StmtFunctionDef>().body);
      return;
    case NodeKind::StmtClassDef:
      visitor.visit_body(stmt.as<StmtClassDef>().body);
      return;
    case NodeKind::StmtFor: {
      const auto& loop = stmt.as<StmtFor>();
      visitor.visit_body(loop.body);
      visitor.visit_body(loop.orelse);
      return;
    }
    case NodeKind::StmtWhile: {
      const auto& loop = stmt.as<StmtWhile>();
      visitor.visit_body(loop.body);
      visitor.visit_body(loop.orelse);
      return;
    }
    case NodeKind::StmtIf: {
      const auto& branch = stmt.as<StmtIf>();
      visitor.visit_body(branch.body);
      for (const ElifElseClause& clause : branch.elif_else_clauses) {
        visitor.visit_body(clause.body);
      }
      return;
    }
    case NodeKind::StmtWith:
      visitor.visit_body(stmt.as<StmtWith>().body);
      return;
    case NodeKind::StmtMatch:
      for (const MatchCase& match_case : stmt.as<StmtMatch>().cases) {
        visitor.visit_body(match_case.body);
      }
      return;
    case NodeKind::StmtTry: {
      const auto& block = stmt.as<StmtTry>();
      visitor.visit_body(block.body);
      for (const ExceptHandler* handler : block.handlers) {
        visitor.visit_body(handler->as<ExceptHandlerExceptHandler>().body);
      }
      visitor.visit_body(block.orelse);
      visitor.visit_body(block.finalbody);
      return;
    }
    default:
      return;
  }
}

}  // namespace divu
