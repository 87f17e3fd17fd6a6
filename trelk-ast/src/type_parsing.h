#pragma once

#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ast_types.h"
#include "location.h"
#include "parser_cache_types.h"
#include "syntax_tree.h"

// The extraction of one parsed file's definitions: every function, the
// resolvers among them, and the feature classes, with their locations. It
// reads the shared parse without changing it, holds no lock and never fails:
// what cannot be located is left out. Any number of extractions may run at
// once.
namespace trelk {

// What a documenting comment block says about one field.
struct FieldCommentMetadata {
  std::optional<std::string> comment = {};
  std::optional<std::string> description = {};
  std::optional<std::string> owner = {};
  std::vector<std::string> tags = {};

  friend bool operator==(const FieldCommentMetadata&,
                         const FieldCommentMetadata&) = default;
};

// A set of local names, searchable by view.
using NameSet = std::set<std::string, std::less<>>;

// The feature classes, functions and resolvers of `file`, each record
// carrying `module` as its module name. The file's path is resolved to a
// URI once, here: when it does not resolve, the file has no definitions.
[[nodiscard]] ParsedAstFile parse_ast_file_with_feature_module(
    const ParsedFileCache& file, std::string_view module);

// The local names under which the top-level imports of `import_map` bind
// any of `symbols` from any of `modules`.
[[nodiscard]] NameSet collect_import_names_for_symbols_from_map(
    const ImportMap& import_map, std::span<const std::string_view> modules,
    std::span<const std::string_view> symbols);

// The locations of the named keywords of a call: each keyword's name, found
// in the source between the keyword's start and its value's start (a name
// the parser normalised and that is not written there is left out of both
// maps), and its value. A later keyword of a name replaces an earlier one.
struct KeywordLocations {
  LocationMap names;
  LocationMap values;
};
[[nodiscard]] KeywordLocations keyword_location_maps(
    std::span<const divu::Keyword> keywords, const LocationContext& context);

// The feature classes among `classes` (the file's class definitions at any
// depth, in source order): classes decorated with the name under which the
// file imports `features` from "trelk.features" at top level.
[[nodiscard]] std::vector<FeatureClassAST> collect_feature_class_asts(
    const ParsedFileCache& file,
    std::span<const divu::StmtClassDef* const> classes, std::string_view module,
    const LocationContext& context);

// The name a field statement assigns: an annotated assignment to a name, or
// an assignment with one target that is a name. Nothing for other
// statements.
[[nodiscard]] std::optional<std::string_view> feature_field_name(
    const divu::Stmt& stmt);

// A field with the metadata's texts and tags, no annotation, no call and
// empty keyword maps.
[[nodiscard]] FeatureFieldAST new_feature_field_ast(
    std::string_view name, Location name_location,
    FieldCommentMetadata metadata);

// What the comment texts of one block say: the whole block, its owner (the
// last ":owner:" line), its tags (every ":tags:" line, split at commas and
// white space) and the description (the other lines).
[[nodiscard]] FieldCommentMetadata parse_comment_block(
    std::span<const std::string_view> texts);

// The text of `text` from the start of the line holding `start` to the end
// of the line holding `end` (its "\n" included), with the indentation common
// to its non-blank lines removed and blank lines emptied; line ends stay as
// written. Nothing when an offset is not on a character boundary.
// REQUIRES: start <= end <= text.size().
[[nodiscard]] std::optional<std::string> dedented_source(std::string_view text,
                                                         divu::TextSize start,
                                                         divu::TextSize end);

// The first decorator whose expression is one of `names`, or a call of one.
[[nodiscard]] const divu::Decorator* first_decorator_named(
    std::span<const divu::Decorator> decorators, const NameSet& names);

// The literal of a string expression of exactly one part, or null.
[[nodiscard]] const divu::StringLiteral* single_string_literal(
    const divu::Expr& expr);

}  // namespace trelk
