#include "statement_visitor.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "tree_builder.h"

namespace divu {
namespace {

// Records the walk as text: "Kind@start" per visited statement, and each
// list handed to visit_body in brackets.
class RecordingVisitor : public StatementVisitor {
 public:
  explicit RecordingVisitor(bool descend) : descend_(descend) {}

  void visit_stmt(const Stmt& stmt) override {
    std::string_view kind = node_kind_name(stmt.kind());
    kind.remove_prefix(4);  // "Stmt"
    trace += std::string(kind) + "@" + std::to_string(stmt.range.start()) + " ";
    if (descend_) {
      walk_stmt(*this, stmt);
    }
  }
  void visit_body(std::span<const Stmt* const> body) override {
    trace += "[ ";
    StatementVisitor::visit_body(body);
    trace += "] ";
  }

  std::string trace;

 private:
  bool descend_;
};

// Walks the module built by `build` and returns the trace.
std::string walk(const std::function<std::span<Stmt*>(TreeBuilder&)>& build,
                 bool descend = true) {
  TreeBuilder b;
  RecordingVisitor visitor(descend);
  walk_body(visitor, build(b));
  return visitor.trace;
}

struct Case {
  std::string_view name;
  std::function<std::span<Stmt*>(TreeBuilder&)> build;
  std::string_view trace;
};

TEST(StatementVisitorTest, VisitsNestedBodiesInOrder) {
  const Case cases[] = {
      {.name = "empty module",
       .build = [](TreeBuilder& b) { return b.body({}); },
       .trace = ""},
      {.name = "if with two elif clauses and an else",
       .build =
           [](TreeBuilder& b) {
             auto* branch = b.make<StmtIf>(0, 90);
             branch->test = b.name("a", 3);
             branch->body = b.body({b.pass(10)});
             ElifElseClause first, second, otherwise;
             first.test = b.name("b", 20);
             first.body = b.body({b.pass(30)});
             second.test = b.name("c", 40);
             second.body = b.body({b.pass(50), b.pass(55)});
             otherwise.body = b.body({b.pass(70)});
             branch->elif_else_clauses = b.list({first, second, otherwise});
             return b.body({branch, b.pass(95)});
           },
       .trace = "If@0 [ Pass@10 ] [ Pass@30 ] [ Pass@50 Pass@55 ] "
                "[ Pass@70 ] Pass@95 "},
      {.name = "try with two handlers, an else and a finally",
       .build =
           [](TreeBuilder& b) {
             auto* block = b.make<StmtTry>(0, 90);
             block->body = b.body({b.pass(5)});
             auto* first = b.make<ExceptHandlerExceptHandler>(10, 30);
             first->body = b.body({b.pass(20)});
             auto* second = b.make<ExceptHandlerExceptHandler>(30, 50);
             second->body = b.body({b.pass(40)});
             block->handlers = b.list<ExceptHandler*>({first, second});
             block->orelse = b.body({b.pass(60)});
             block->finalbody = b.body({b.pass(80)});
             return b.body({block});
           },
       .trace = "Try@0 [ Pass@5 ] [ Pass@20 ] [ Pass@40 ] [ Pass@60 ] "
                "[ Pass@80 ] "},
      {.name = "function in a class in a for loop's else block",
       .build =
           [](TreeBuilder& b) {
             auto* function = b.make<StmtFunctionDef>(30, 50);
             function->body = b.body({b.pass(45)});
             auto* cls = b.make<StmtClassDef>(20, 50);
             cls->body = b.body({function});
             auto* loop = b.make<StmtFor>(0, 50);
             loop->body = b.body({b.pass(10)});
             loop->orelse = b.body({cls});
             return b.body({loop});
           },
       .trace = "For@0 [ Pass@10 ] [ ClassDef@20 [ FunctionDef@30 "
                "[ Pass@45 ] ] ] "},
      {.name = "while, with and match",
       .build =
           [](TreeBuilder& b) {
             auto* loop = b.make<StmtWhile>(0, 20);
             loop->body = b.body({b.pass(5)});
             auto* with = b.make<StmtWith>(20, 40);
             with->body = b.body({b.pass(30)});
             auto* match = b.make<StmtMatch>(40, 80);
             MatchCase first, second;
             first.body = b.body({b.pass(50)});
             second.body = b.body({b.pass(70)});
             match->cases = b.list({first, second});
             return b.body({loop, with, match});
           },
       .trace = "While@0 [ Pass@5 ] [ ] With@20 [ Pass@30 ] Match@40 "
                "[ Pass@50 ] [ Pass@70 ] "},
      {.name = "statements without nested lists",
       .build =
           [](TreeBuilder& b) {
             // The lambda's body is an expression: the walker never looks
             // into expressions.
             auto* lambda = b.make<ExprLambda>(4, 14);
             lambda->body = b.name("x", 12);
             auto* assign = b.make<StmtAssign>(0, 14);
             assign->targets = b.list<Expr*>({b.name("f", 0)});
             assign->value = lambda;
             auto* ret = b.make<StmtReturn>(20, 26);
             return b.body({assign, ret, b.make<StmtBreak>(30, 35)});
           },
       .trace = "Assign@0 Return@20 Break@30 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(walk(c.build), c.trace);
  }
}

TEST(StatementVisitorTest, VisitorThatDoesNotDescendSeesOnlyItsList) {
  const std::string trace = walk(
      [](TreeBuilder& b) {
        auto* cls = b.make<StmtClassDef>(0, 30);
        cls->body = b.body({b.pass(20)});
        return b.body({cls, b.pass(40)});
      },
      /*descend=*/false);
  EXPECT_EQ(trace, "ClassDef@0 Pass@40 ");
}

}  // namespace
}  // namespace divu
