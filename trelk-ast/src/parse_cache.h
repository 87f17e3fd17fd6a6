#pragma once

#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ast_filesystem.h"
#include "parser_cache_types.h"

namespace trelk {

// Reads and parses each path at most once, through a file system, and keeps
// the result or the failure's message for the life of the cache. It also
// knows the project root and has precomputed the module name of every file
// its file system listed at construction.
//
// A handle: copies share one cache, which lives until the last handle (or
// the last index holding it) is released. Every operation may be called from
// any number of threads at once.
class AstFileParserCache {
 public:
  // A cache over a new StdAstFileSystem of `files` (only ".py" paths,
  // sorted, without duplicates).
  AstFileParserCache(std::string project_root, std::vector<std::string> files);

  // A cache that reads through `fs`, shared, not copied. Lists the file
  // system once to name its files; a failure to list is dropped and leaves
  // every name to be computed on demand. REQUIRES: `fs` is not null.
  [[nodiscard]] static AstFileParserCache with_filesystem(
      std::string project_root, std::shared_ptr<const AstFileSystem> fs);

  // The file system's listing, asked anew on every call.
  [[nodiscard]] std::expected<std::vector<std::string>, IoError> all_files()
      const;

  // The module name of `path`: a relative path is first joined to the
  // project root (see module_name_for_absolute_path).
  [[nodiscard]] std::string module_name_for_path(std::string_view path) const;

  // The parsed file of `path`, keyed by its exact text (a.py and ./a.py are
  // two entries). The first request reads it (a regular file only, see
  // AstFileSystem::read_source_file) and parses it while later
  // requests for the same text wait, and all share the result; a failure is
  // stored as its message and returned again, unchanged, on every later
  // request: "Failed to read {path}: {error}", "Failed to parse {path}:
  // {error}", or "AST parse cache lock poisoned for {path}" after a broken
  // invariant ended the first computation (whose exception reaches its own
  // caller).
  [[nodiscard]] std::expected<std::shared_ptr<const ParsedFileCache>,
                              std::string>
  get_parsed_file(std::string_view path) const;

  // The same, but after each signal that interrupts the read or the wait for
  // another thread's read of `path`, `go_on` is asked whether to go on. When
  // it declines, the request ends with "Failed to read {path}: Interrupted
  // system call (os error 4)", which is not kept: the next request reads
  // again.
  [[nodiscard]] std::expected<std::shared_ptr<const ParsedFileCache>,
                              std::string>
  get_parsed_file(std::string_view path, const GoOnAfterSignal& go_on) const;

  // The parsed file of `path`, read and parsed on every call and not kept,
  // with get_parsed_file's failure messages: for a caller that keeps only
  // what it derives from the file and never asks for the path again, so
  // that the tree's memory goes once that is made.
  [[nodiscard]] std::expected<std::shared_ptr<const ParsedFileCache>,
                              std::string>
  parse_uncached(std::string_view path) const;

  const std::string& project_root() const;
  const std::shared_ptr<const AstFileSystem>& filesystem() const;

 private:
  struct Inner;
  explicit AstFileParserCache(std::shared_ptr<Inner> inner)
      : inner_(std::move(inner)) {}

  std::shared_ptr<Inner> inner_;
};

}  // namespace trelk
