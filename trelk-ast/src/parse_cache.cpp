#include "parse_cache.h"

#include <cerrno>
#include <unordered_map>

#include "module_name.h"
#include "path_components.h"
#include "slot_map.h"

namespace trelk {

struct AstFileParserCache::Inner {
  Inner(std::shared_ptr<const AstFileSystem> filesystem, std::string root)
      : fs(std::move(filesystem)), project_root(std::move(root)) {}

  const std::shared_ptr<const AstFileSystem> fs;
  // As given: neither normalised nor made absolute.
  const std::string project_root;
  // Absolute path → module name, for the listed files. Filled before the
  // cache is shared and never changed, so it is read without a lock.
  std::unordered_map<std::string, std::string> module_names;
  SlotMap<std::shared_ptr<const ParsedFileCache>> entries{
      "AST parse cache lock poisoned for "};
};

AstFileParserCache::AstFileParserCache(std::string project_root,
                                       std::vector<std::string> files)
    : AstFileParserCache(with_filesystem(
          std::move(project_root),
          std::make_shared<const StdAstFileSystem>(std::move(files)))) {}

AstFileParserCache AstFileParserCache::with_filesystem(
    std::string project_root, std::shared_ptr<const AstFileSystem> fs) {
  auto inner = std::make_shared<Inner>(std::move(fs), std::move(project_root));
  if (auto files = inner->fs->all_files()) {
    for (const std::string& file : *files) {
      std::string absolute = join_path(inner->project_root, file);
      std::string name =
          module_name_for_absolute_path(absolute, inner->project_root);
      inner->module_names.insert_or_assign(std::move(absolute),
                                           std::move(name));
    }
  }
  return AstFileParserCache(std::move(inner));
}

std::expected<std::vector<std::string>, IoError> AstFileParserCache::all_files()
    const {
  return inner_->fs->all_files();
}

std::string AstFileParserCache::module_name_for_path(
    std::string_view path) const {
  const std::string absolute = join_path(inner_->project_root, path);
  const auto found = inner_->module_names.find(absolute);
  if (found != inner_->module_names.end()) {
    return found->second;
  }
  return module_name_for_absolute_path(absolute, inner_->project_root);
}

std::expected<std::shared_ptr<const ParsedFileCache>, std::string>
AstFileParserCache::get_parsed_file(std::string_view path) const {
  return get_parsed_file(path, [] { return true; });
}

namespace {

std::string read_failure(std::string_view path, std::string_view error) {
  return "Failed to read " + std::string(path) + ": " + std::string(error);
}

// Reads `path` through `fs` and parses it: the parsed file, or the failure
// with the cache's message. An interrupted read (EINTR comes back only when
// `go_on` declined) ends one request; the file has not failed.
std::expected<std::shared_ptr<const ParsedFileCache>, SlotFailure>
read_and_parse(const AstFileSystem& fs, std::string_view path,
               const GoOnAfterSignal& go_on) {
  auto text = fs.read_source_file(path, go_on);
  if (!text) {
    return std::unexpected(
        SlotFailure{.message = read_failure(path, text.error().text),
                    .kept = text.error().os_error != EINTR});
  }
  auto parsed = ParsedFileCache::parse(std::string(path), std::move(*text));
  if (!parsed) {
    return std::unexpected(SlotFailure{.message = std::move(parsed.error())});
  }
  return std::move(*parsed);
}

}  // namespace

std::expected<std::shared_ptr<const ParsedFileCache>, std::string>
AstFileParserCache::get_parsed_file(std::string_view path,
                                    const GoOnAfterSignal& go_on) const {
  return inner_->entries.get_or_compute(
      path, [&] { return read_and_parse(*inner_->fs, path, go_on); }, go_on,
      read_failure(path, os_error_text(EINTR)));
}

std::expected<std::shared_ptr<const ParsedFileCache>, std::string>
AstFileParserCache::parse_uncached(std::string_view path) const {
  auto parsed = read_and_parse(*inner_->fs, path, [] { return true; });
  if (!parsed) {
    return std::unexpected(std::move(parsed.error().message));
  }
  return std::move(*parsed);
}

const std::string& AstFileParserCache::project_root() const {
  return inner_->project_root;
}

const std::shared_ptr<const AstFileSystem>& AstFileParserCache::filesystem()
    const {
  return inner_->fs;
}

}  // namespace trelk
