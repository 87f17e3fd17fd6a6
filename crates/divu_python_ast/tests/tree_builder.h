#pragma once

#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "arena.h"
#include "syntax_tree.h"

namespace divu {

// Builds small trees by hand for tests, the way the parser fills records.
class TreeBuilder {
 public:
  template <class T>
  T* make(TextSize start, TextSize end) {
    T* node = arena.make<T>();
    node->range = TextRange(start, end);
    return node;
  }

  // A `pass` statement at `start`; its start tells statements apart.
  Stmt* pass(TextSize start) { return make<StmtPass>(start, start + 4); }

  ExprName* name(std::string_view id, TextSize start) {
    auto* name =
        make<ExprName>(start, start + static_cast<TextSize>(id.size()));
    name->id = Name(arena.copy_string(id));
    return name;
  }

  Identifier identifier(std::string_view id, TextSize start) {
    Identifier identifier;
    identifier.range =
        TextRange(start, start + static_cast<TextSize>(id.size()));
    identifier.id = Name(arena.copy_string(id));
    return identifier;
  }

  template <class T>
  std::span<T> list(std::initializer_list<T> items) {
    return arena.copy_list(std::span<const T>(items.begin(), items.size()));
  }
  std::span<Stmt*> body(std::initializer_list<Stmt*> stmts) {
    return list(stmts);
  }

  Arena arena;
};

}  // namespace divu
