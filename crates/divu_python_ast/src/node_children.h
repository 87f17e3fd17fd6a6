#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "syntax_tree.h"

namespace divu {

// Appends the children of `node` to `out`, in the order of the node's
// fields, lists element by element; absent optional children are left out.
// A child is any node with a range: expressions, statements, patterns,
// identifiers and clause records. The entries of a dictionary display give
// their key (if any) and value directly, and DebugText (which has no range)
// is left out.
void append_children(const Node& node, std::vector<const Node*>& out);

// Calls visit(node, depth) on `root` (depth 0) and on every node below it,
// each parent before its children and children in field order. Walks with
// an explicit stack, so a tree of any depth (a chain of a million binary
// operations) is walked in constant native stack.
template <class Visit>
void walk_preorder(const Node& root, Visit&& visit) {
  std::vector<std::pair<const Node*, std::uint32_t>> stack;
  std::vector<const Node*> children;
  stack.emplace_back(&root, 0);
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    visit(*node, depth);
    children.clear();
    append_children(*node, children);
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      stack.emplace_back(*child, depth + 1);
    }
  }
}

}  // namespace divu
