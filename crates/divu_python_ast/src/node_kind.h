#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace divu {

// The kind of a syntax-tree node: one value per record type, declared in
// node_kind.def.
enum class NodeKind : std::uint8_t {
#define NODE(record, set) record,
#include "node_kind.def"
#undef NODE
};

// The closed sets of node types that a kind can be a variant of, and `Node`
// for a record that is no variant of a set.
#define DIVU_NODE_SETS(X)      \
  X(Mod)                       \
  X(Stmt)                      \
  X(Expr)                      \
  X(Pattern)                   \
  X(TypeParam)                 \
  X(ExceptHandler)             \
  X(InterpolatedStringElement) \
  X(FStringPart)               \
  X(Node)
#define DIVU_NODE_SET_ENUMERATOR(set) set,
enum class NodeSet : std::uint8_t { DIVU_NODE_SETS(DIVU_NODE_SET_ENUMERATOR) };
#undef DIVU_NODE_SET_ENUMERATOR

namespace node_kind_detail {
inline constexpr std::string_view kNames[] = {
#define NODE(record, set) #record,
#include "node_kind.def"
#undef NODE
};
#define DIVU_NODE_SET_NAME(set) #set,
inline constexpr std::string_view kSetNames[] = {
    DIVU_NODE_SETS(DIVU_NODE_SET_NAME)};
#undef DIVU_NODE_SET_NAME
#undef DIVU_NODE_SETS
inline constexpr NodeSet kSets[] = {
#define NODE(record, set) NodeSet::set,
#include "node_kind.def"
#undef NODE
};
}  // namespace node_kind_detail

inline constexpr std::size_t kNodeKindCount =
    std::size(node_kind_detail::kNames);

// The record name of a kind ("StmtFunctionDef"), as dumps show it.
constexpr std::string_view node_kind_name(NodeKind kind) {
  return node_kind_detail::kNames[static_cast<std::size_t>(kind)];
}

// The closed set that `kind` is a variant of.
constexpr NodeSet node_set(NodeKind kind) {
  return node_kind_detail::kSets[static_cast<std::size_t>(kind)];
}

// The name of a set ("Stmt").
constexpr std::string_view node_set_name(NodeSet set) {
  return node_kind_detail::kSetNames[static_cast<std::size_t>(set)];
}

}  // namespace divu
