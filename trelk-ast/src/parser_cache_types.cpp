#include "parser_cache_types.h"

namespace trelk {

ImportMap build_import_map(std::span<const divu::Stmt* const> body) {
  ImportMap imports;
  for (const divu::Stmt* stmt : body) {
    const auto* import = stmt->dyn_cast<divu::StmtImportFrom>();
    if (import == nullptr || import->level != 0 || import->module == nullptr) {
      continue;
    }
    OrderedMap<std::set<std::string>>& names =
        imports[import->module->id.as_str()];
    for (const divu::Alias& alias : import->names) {
      const divu::Identifier& local =
          alias.asname != nullptr ? *alias.asname : alias.name;
      names[alias.name.id.as_str()].emplace(local.id.as_str());
    }
  }
  return imports;
}

std::expected<std::shared_ptr<const ParsedFileCache>, std::string>
ParsedFileCache::parse(std::string path, std::string source_text) {
  std::shared_ptr<ParsedFileCache> file(
      new ParsedFileCache(std::move(path), std::move(source_text)));
  // Parse the text where it now lives: the tree keeps views into it.
  auto parsed = divu::parse_module(file->source_text_);
  if (!parsed) {
    return std::unexpected("Failed to parse " + file->path_ + ": " +
                           parsed.error().to_string());
  }
  file->parsed_.emplace(std::move(*parsed));
  file->import_map_ = build_import_map(file->statements());
  file->comment_ranges_ = divu::CommentRanges::from(file->parsed_->tokens());
  // Nothing reads the tokens after this (the cache keeps the tree alone);
  // freed here, a large list leaves its pages to the worker's next parse.
  file->parsed_->take_tokens();
  return file;
}

}  // namespace trelk
