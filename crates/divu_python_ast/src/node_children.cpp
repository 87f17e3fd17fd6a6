#include "node_children.h"

namespace divu {
namespace {

// Every record, checked where the walks are compiled.
#define NODE(record, set)                                          \
  static_assert(node_children_detail::lists_every_field<record>(), \
                #record ": DIVU_FIELDS does not list each field once");
#include "node_kind.def"
#undef NODE
static_assert(node_children_detail::lists_every_field<DictItem>(),
              "DictItem: DIVU_FIELDS does not list each field once");

}  // namespace

void append_children(const Node& node, std::vector<const Node*>& out) {
  for_each_child(
      node, [&out](const Node& child)
                __attribute__((always_inline)) { out.push_back(&child); });
}

}  // namespace divu
