// Parses arbitrary UTF-8 text as one expression and checks the tree's
// ranges against the text and the tokens:
//   - every node's range lies inside the text and inside its parent's (the
//     root's children excepted: the root starts at the first token, while a
//     missing expression's placeholder may sit before it, at 0 before a
//     leading comment);
//   - a node that covers text starts where a token starts (or, when its
//     first child is a missing operand, where one ends or at the start of
//     the text) and ends where a token ends: ranges come from tokens, never
//     from counting bytes;
//   - when the text parses without error, the same text in one more pair
//     of parentheses parses to the same tree, every range one byte later
//     (an unparenthesized tuple and a starred expression excepted, which
//     the parentheses change), unless that text has an error of its own.
// Any broken internal invariant is a failure too.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "node_children.h"
#include "parse_module.h"

namespace {

using fuzz::check;

void report(const divu::Node& node, const char* what) {
  std::fprintf(stderr, "%s %s: %s\n",
               std::string(divu::node_kind_name(node.kind())).c_str(),
               node.range.to_string().c_str(), what);
}

struct Flat {
  divu::NodeKind kind;
  divu::TextRange range;
  std::uint32_t depth;
};

// The checks on one parse; returns the nodes below the root in preorder.
std::vector<Flat> check_tree(const divu::Parsed<divu::ModExpression>& parsed,
                             std::size_t size) {
  std::vector<divu::TextSize> starts;
  std::vector<divu::TextSize> ends;
  for (const divu::Token& token : parsed.tokens()) {
    check(token.range.end() <= size, "a token ends inside the text");
    starts.push_back(token.range.start());
    ends.push_back(token.range.end());
  }
  check(std::is_sorted(starts.begin(), starts.end()), "tokens come in order");
  const auto holds = [](const std::vector<divu::TextSize>& offsets,
                        divu::TextSize offset) {
    return std::binary_search(offsets.begin(), offsets.end(), offset);
  };

  std::vector<Flat> flat;
  std::vector<divu::TextRange> path;
  divu::walk_preorder(parsed.syntax(), [&](const divu::Node& node,
                                           std::uint32_t depth) {
    check(node.range.end() <= size, "a node ends inside the text");
    path.resize(depth);
    if (depth > 0 && !path.back().contains_range(node.range)) {
      report(node, ("outside its parent's " + path.back().to_string()).c_str());
      check(false, "a node lies inside its parent");
    }
    path.push_back(node.range);
    if (depth == 0) {
      return;
    }
    flat.push_back({node.kind(), node.range, depth});
    // A node whose first child is a missing operand starts where that
    // placeholder sits, at the end of the token before it, or at the
    // start of the text when no token comes before it.
    const divu::TextSize node_start = node.range.start();
    if (!node.range.is_empty() &&
        ((node_start != 0 && !holds(starts, node_start) &&
          !holds(ends, node_start)) ||
         !holds(ends, node.range.end()))) {
      report(node, "not on token boundaries");
      check(false, "a node starts and ends at token boundaries");
    }
  });
  for (const divu::ParseError& error : parsed.errors()) {
    check(error.location.end() <= size, "an error ends inside the text");
  }
  return flat;
}

void check_expression(std::string_view text) {
  const divu::Parsed<divu::ModExpression> parsed = divu::parse_expression(text);
  const std::vector<Flat> flat = check_tree(parsed, text.size());
  if (!parsed.errors().empty()) {
    return;
  }
  const divu::Expr* body = parsed.syntax().body;
  const auto* tuple = body->dyn_cast<divu::ExprTuple>();
  if ((tuple != nullptr && !tuple->parenthesized) ||
      body->is<divu::ExprStarred>()) {
    return;
  }
  const std::string wrapped = "(" + std::string(text) + ")";
  const divu::Parsed<divu::ModExpression> again =
      divu::parse_expression(wrapped);
  const std::vector<Flat> flat_again = check_tree(again, wrapped.size());
  if (!again.errors().empty()) {
    // A comment or a line continuation at the end swallows the `)`.
    return;
  }
  check(flat.size() == flat_again.size(),
        "the parenthesized text has as many nodes");
  for (std::size_t index = 0; index < flat.size(); ++index) {
    const Flat& a = flat[index];
    const Flat& b = flat_again[index];
    const bool same = a.kind == b.kind && a.depth == b.depth &&
                      a.range.start() + 1 == b.range.start() &&
                      a.range.end() + 1 == b.range.end();
    if (!same) {
      std::fprintf(stderr, "%s %s against %s %s\n",
                   std::string(divu::node_kind_name(a.kind)).c_str(),
                   a.range.to_string().c_str(),
                   std::string(divu::node_kind_name(b.kind)).c_str(),
                   b.range.to_string().c_str());
      check(false, "parentheses move every range by one");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size > 4096) {
    return 0;
  }
  return fuzz::on_utf8_text(data, size, check_expression);
}
