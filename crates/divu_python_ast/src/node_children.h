#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "syntax_tree.h"

namespace divu {

namespace node_children_detail {

template <class T>
inline constexpr bool kIsChild = false;
template <class T>
inline constexpr bool kIsChild<Child<T>> = true;
template <class T>
inline constexpr bool kIsList = false;
template <class T>
inline constexpr bool kIsList<List<T>> = true;
template <class T>
inline constexpr bool kIsLiteralValue = false;
template <class Traits>
inline constexpr bool kIsLiteralValue<LiteralValue<Traits>> = true;

template <class Fields, class Visit>
void visit_fields(Fields fields, Visit& visit);

// Visits the nodes a pointer or a field holds: the node itself, each node
// of a list or a literal's parts, or the fields of a record without a range
// of its own (a dictionary entry); null pointers and plain values give
// nothing.
template <class Field, class Visit>
[[gnu::always_inline]] inline void visit_field(Field& field, Visit& visit) {
  using T = std::remove_cv_t<Field>;
  if constexpr (std::is_pointer_v<T>) {
    if constexpr (std::derived_from<std::remove_cv_t<std::remove_pointer_t<T>>,
                                    Node>) {
      if (field != nullptr) {
        visit(*field);
      }
    }
  } else if constexpr (std::derived_from<T, Node>) {
    visit(field);
  } else if constexpr (kIsChild<T>) {
    if constexpr (std::derived_from<typename T::element_type, Node>) {
      if (field != nullptr) {
        visit(*field);
      }
    }
  } else if constexpr (kIsList<T>) {
    using Item = typename T::value_type;
    if constexpr (std::is_pointer_v<Item> || std::derived_from<Item, Node> ||
                  requires(Item & item) { item.fields(); }) {
      for (auto& item : field) {
        visit_field(item, visit);
      }
    }
  } else if constexpr (kIsLiteralValue<T>) {
    for (auto& part : field.parts()) {
      visit_field(part, visit);
    }
  } else if constexpr (requires { field.fields(); }) {
    visit_fields(field.fields(), visit);
  }
}

template <class Fields, class Visit>
[[gnu::always_inline]] inline void visit_fields(Fields fields, Visit& visit) {
  std::apply([&visit](auto&... field) { (visit_field(field, visit), ...); },
             fields);
}

// Converts to any field type, to count the initializers a record takes.
struct AnyField {
  template <class T>
  operator T() const;  // NOLINT(google-explicit-constructor)
};

template <class T, std::size_t... I>
constexpr bool initializable_with(std::index_sequence<I...>) {
  return requires { T{(void(I), AnyField{})...}; };
}

// Whether DIVU_FIELDS names each of T's fields once: a record is an
// aggregate whose initializers are its base (if any) and then its fields, so
// it takes exactly one initializer per listed field and no more.
template <class T>
constexpr bool lists_every_field() {
  constexpr std::size_t kInitializers =
      std::tuple_size_v<decltype(std::declval<const T&>().fields())> +
      (std::derived_from<T, Node> ? 1 : 0);
  return initializable_with<T>(std::make_index_sequence<kInitializers>()) &&
         !initializable_with<T>(std::make_index_sequence<kInitializers + 1>());
}

}  // namespace node_children_detail

// Calls visit(child) on each child of `node`, in the order of the node's
// fields (DIVU_FIELDS in syntax_tree.h), lists element by element; absent
// optional children are left out. A child is any node with a range:
// expressions, statements, patterns, identifiers and clause records. The
// entries of a dictionary display give their key (if any) and value
// directly, and DebugText (which has no range) is left out. `N` is Node or
// const Node, and each child is handed over with the same const-ness: the
// parser's finishing pass changes the nodes it walks, readers cannot.
template <class N, class Visit>
requires std::same_as<std::remove_const_t<N>, Node>
[[gnu::always_inline]] inline void for_each_child(N& node, Visit&& visit) {
  switch (node.kind()) {
#define NODE(record, set)                                                   \
  case NodeKind::record:                                                    \
    return node_children_detail::visit_fields(                              \
        static_cast<                                                        \
            std::conditional_t<std::is_const_v<N>, const record, record>&>( \
            node)                                                           \
            .fields(),                                                      \
        visit);
#include "node_kind.def"
#undef NODE
  }
}

// Appends the children of `node` to `out`, as for_each_child gives them.
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
