#include "tree_dump.h"

#include "node_children.h"

namespace divu {

std::string dump_tree(const Node& root) {
  std::string out;
  walk_preorder(root, [&out](const Node& node, std::uint32_t depth) {
    out.append(std::size_t{depth} * 2, ' ');
    out += node_kind_name(node.kind());
    out += ' ';
    out += node.range.to_string();
    out += '\n';
  });
  return out;
}

}  // namespace divu
