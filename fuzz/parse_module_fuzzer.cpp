// Parses arbitrary UTF-8 text as a module and as an expression and checks
// the results: the parse ends (libFuzzer's -timeout catches one that does
// not, the parser's own progress guard one that stops moving), no internal
// invariant breaks, every node's range lies inside the text and inside its
// parent's range, every error range and every token range lies inside the
// text, tokens come in order, and parse_module agrees with
// parse_module_with_errors on whether the text has an error and which one
// comes first.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "invariant.h"
#include "node_children.h"
#include "parse_module.h"

namespace {

using fuzz::check;

template <class T>
void check_parsed(const divu::Parsed<T>& parsed, std::size_t size) {
  // Ranges of the nodes on the path from the root to the current node.
  std::vector<divu::TextRange> path;
  divu::walk_preorder(
      parsed.syntax(), [&](const divu::Node& node, std::uint32_t depth) {
        check(node.range.end() <= size, "a node ends inside the text");
        path.resize(depth);
        if (depth > 0 && !path.back().contains_range(node.range)) {
          std::fprintf(stderr, "%s %s outside its parent's %s\n",
                       std::string(divu::node_kind_name(node.kind())).c_str(),
                       node.range.to_string().c_str(),
                       path.back().to_string().c_str());
          check(false, "a node lies inside its parent");
        }
        path.push_back(node.range);
      });
  for (const divu::ParseError& error : parsed.errors()) {
    check(error.location.end() <= size, "an error ends inside the text");
  }
  divu::TextSize previous_end = 0;
  for (const divu::Token& token : parsed.tokens()) {
    check(token.range.start() >= previous_end, "tokens come in order");
    check(token.range.end() <= size, "a token ends inside the text");
    previous_end = token.range.end();
  }
}

void parse_all(std::string_view text) {
  const divu::Parsed<divu::ModModule> module =
      divu::parse_module_with_errors(text);
  check_parsed(module, text.size());
  const auto strict = divu::parse_module(text);
  check(strict.has_value() == module.errors().empty(),
        "parse_module fails exactly when the text has an error");
  if (!strict.has_value()) {
    check(strict.error().location == module.errors().front().location &&
              strict.error().to_string() == module.errors().front().to_string(),
          "parse_module reports the first error");
  }
  check_parsed(divu::parse_expression(text), text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  return fuzz::on_utf8_text(data, size, parse_all);
}
