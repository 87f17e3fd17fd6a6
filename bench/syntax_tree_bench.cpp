// Building and freeing syntax trees: the parse's arena against one heap
// allocation per node and per list, the layout a tree of owned children
// would have. Both build the same records for the statement
// `x = f(a.b, 1 + 2)`, repeated; the ratio is what the arena saves.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "arena.h"
#include "syntax_tree.h"

namespace {

using divu::Arena;
using divu::Expr;
using divu::Stmt;
using divu::TextRange;

constexpr int kStatements = 5000;
constexpr int kNodesPerStatement = 9;
constexpr int kRounds = 200;

// Allocation from the arena.
struct ArenaAlloc {
  Arena arena;
  template <class T>
  T* node() {
    return arena.make<T>();
  }
  template <class T>
  std::span<T> list(std::size_t n) {
    return arena.make_list<T>(n);
  }
};

// One heap allocation per node and per list, each freed on its own. The
// owner list is reserved up front, so that it costs next to nothing beside
// the allocations it records.
struct HeapAlloc {
  struct Owned {
    void* pointer;
    void (*free)(void*);
  };
  std::vector<Owned> owned;
  HeapAlloc() { owned.reserve(std::size_t{kStatements} * 12 + 1); }
  template <class T>
  T* node() {
    T* made = new T();
    owned.push_back({made, [](void* p) { delete static_cast<T*>(p); }});
    return made;
  }
  template <class T>
  std::span<T> list(std::size_t n) {
    T* made = new T[n]();
    owned.push_back({made, [](void* p) { delete[] static_cast<T*>(p); }});
    return {made, n};
  }
  ~HeapAlloc() {
    for (const Owned& item : owned) {
      item.free(item.pointer);
    }
  }
};

divu::ExprName* name(auto& alloc, divu::TextSize at) {
  auto* made = alloc.template node<divu::ExprName>();
  made->range = TextRange(at, at + 1);
  return made;
}

// Builds the statements of one module and returns their count.
template <class Alloc>
std::size_t build(Alloc& alloc) {
  std::span<Stmt*> body = alloc.template list<Stmt*>(kStatements);
  for (int i = 0; i < kStatements; ++i) {
    auto* attribute = alloc.template node<divu::ExprAttribute>();
    attribute->value = name(alloc, 6);
    auto* left = alloc.template node<divu::ExprNumberLiteral>();
    auto* right = alloc.template node<divu::ExprNumberLiteral>();
    auto* sum = alloc.template node<divu::ExprBinOp>();
    sum->left = left;
    sum->right = right;
    auto* call = alloc.template node<divu::ExprCall>();
    call->func = name(alloc, 4);
    call->arguments.args = alloc.template list<Expr*>(2);
    call->arguments.args[0] = attribute;
    call->arguments.args[1] = sum;
    auto* assign = alloc.template node<divu::StmtAssign>();
    assign->targets = alloc.template list<Expr*>(1);
    assign->targets[0] = name(alloc, 0);
    assign->value = call;
    body[static_cast<std::size_t>(i)] = assign;
  }
  return body.size();
}

// The best time of kRounds builds and frees, in nanoseconds per node.
template <class Alloc>
double best_ns_per_node() {
  double best = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    {
      Alloc alloc;
      if (build(alloc) != kStatements) {
        std::abort();
      }
    }
    const std::chrono::duration<double, std::nano> took =
        std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best / (double{kStatements} * kNodesPerStatement);
}

}  // namespace

int main() {
  const double heap = best_ns_per_node<HeapAlloc>();
  const double arena = best_ns_per_node<ArenaAlloc>();
  std::printf("build and free %d statements (%d nodes each), best of %d\n",
              kStatements, kNodesPerStatement, kRounds);
  std::printf("  heap, one allocation per node (reference): %.2f ns/node\n",
              heap);
  std::printf("  arena:                                     %.2f ns/node\n",
              arena);
  std::printf("  arena speed-up over the reference: %.2fx\n", heap / arena);
  return 0;
}
