#pragma once

#include <expected>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "comment_ranges.h"
#include "ordered_map.h"
#include "parse_module.h"
#include "syntax_tree.h"

namespace trelk {

// Module name → imported name → the local names it was imported under, from
// the top-level `from M import N [as A]` statements without leading dots.
// Modules and names keep their source order; local names are sorted by
// their bytes.
using ImportMap = OrderedMap<OrderedMap<std::set<std::string>>>;

// One parsed source file: its path as the caller gave it, its text, the parse
// result without its tokens, the import map and the comment ranges. Immutable
// once built and shared read-only by the cache and every caller, from any
// thread. The tree views the text held here, so the two live and die together.
class ParsedFileCache {
 public:
  // Parses `source_text` as a module. On a syntax error, the message "Failed
  // to parse {path}: {error}" with the first error's text.
  // REQUIRES: `source_text` is valid UTF-8.
  [[nodiscard]] static std::expected<std::shared_ptr<const ParsedFileCache>,
                                     std::string>
  parse(std::string path, std::string source_text);

  const std::string& path() const { return path_; }
  std::string_view source_text() const { return source_text_; }
  const divu::ModModule& module() const { return parsed_->syntax(); }
  // The top-level statements, in source order.
  std::span<const divu::Stmt* const> statements() const {
    return module().body;
  }
  const ImportMap& import_map() const { return import_map_; }
  const divu::CommentRanges& comment_ranges() const { return comment_ranges_; }

 private:
  ParsedFileCache(std::string path, std::string source_text)
      : path_(std::move(path)), source_text_(std::move(source_text)) {}

  std::string path_;
  // Never changed after construction: the tree's names view its bytes.
  std::string source_text_;
  std::optional<divu::Parsed<divu::ModModule>> parsed_;
  ImportMap import_map_;
  divu::CommentRanges comment_ranges_;
};

// The import map of a module's top-level statements.
[[nodiscard]] ImportMap build_import_map(
    std::span<const divu::Stmt* const> body);

}  // namespace trelk
