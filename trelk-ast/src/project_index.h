#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ast_filesystem.h"
#include "ast_types.h"

namespace trelk {

// Answers where a feature class, a function or a resolver of a project is
// defined, by module or by file. It keeps each file's extracted definitions,
// computed at most once, for its whole life, but not the file's text or
// tree, which are read and parsed through its own parse cache and let go
// once the definitions are made. It can compute them ahead of time on
// background workers.
//
// A handle: copies share the file list and the state. Each background worker
// holds a copy of its own, so the state lives until the last handle and the
// last worker are gone. Every operation may be called from any number of
// threads at once; nothing here ever touches the interpreter.
class AstProjectIndex {
 public:
  // An index over `files`, kept as given (order, duplicates and non-".py"
  // paths included) as the list that the queries by module walk; its parse
  // cache reads through a new StdAstFileSystem of `files`.
  AstProjectIndex(std::string project_root, std::vector<std::string> files);

  // The same, but the parse cache reads through `fs`, shared; `files` is
  // still the index's own list. REQUIRES: `fs` is not null.
  [[nodiscard]] static AstProjectIndex with_filesystem(
      std::string project_root, std::vector<std::string> files,
      std::shared_ptr<const AstFileSystem> fs);

  // The definitions of `path`, keyed by its exact text. The first request
  // reads, parses and extracts it while later requests for the same text
  // wait, and all share the result. A failure is kept and returned again on
  // every request: the parse cache's message ("Failed to read {path}: ...",
  // "Failed to parse {path}: ..."), or "typed AST cache lock poisoned for
  // {path}" after a broken invariant ended the first computation (whose
  // exception reaches its own caller).
  [[nodiscard]] std::expected<std::shared_ptr<const ParsedAstFile>, std::string>
  get_parsed_ast_file(std::string_view path) const;

  // Queries by module walk the file list in order, computing each file they
  // visit and passing over files that fail, and return a copy of the first
  // match. feature_class_ast takes each file's first class of the name and
  // returns it when its module matches, else tries the next file.
  [[nodiscard]] std::optional<FeatureClassAST> feature_class_ast(
      std::string_view module, std::string_view class_name) const;
  [[nodiscard]] std::optional<ResolverAST> function_ast(
      std::string_view module, std::string_view function_name) const;
  [[nodiscard]] std::optional<ResolverAST> resolver_ast(
      std::string_view module, std::string_view resolver_name) const;

  // Queries by file look only at `file_path` (listed or not) and compare
  // the name alone; a file that fails gives nothing.
  [[nodiscard]] std::optional<FeatureClassAST> feature_class_ast_in_file(
      std::string_view file_path, std::string_view class_name) const;
  [[nodiscard]] std::optional<ResolverAST> function_ast_in_file(
      std::string_view file_path, std::string_view function_name) const;
  [[nodiscard]] std::optional<ResolverAST> resolver_ast_in_file(
      std::string_view file_path, std::string_view resolver_name) const;

  // A record that a query found, shared with its file's entry rather than
  // copied: it keeps that entry alive.
  template <class Record>
  using SharedRecord = std::shared_ptr<const Record>;

  // The six queries above, answering with the index's own record instead of
  // a copy, for callers that only read it: nothing is copied, and a null
  // pointer stands for no match.
  [[nodiscard]] SharedRecord<FeatureClassAST> shared_feature_class_ast(
      std::string_view module, std::string_view class_name) const;
  [[nodiscard]] SharedRecord<ResolverAST> shared_function_ast(
      std::string_view module, std::string_view function_name) const;
  [[nodiscard]] SharedRecord<ResolverAST> shared_resolver_ast(
      std::string_view module, std::string_view resolver_name) const;
  [[nodiscard]] SharedRecord<FeatureClassAST> shared_feature_class_ast_in_file(
      std::string_view file_path, std::string_view class_name) const;
  [[nodiscard]] SharedRecord<ResolverAST> shared_function_ast_in_file(
      std::string_view file_path, std::string_view function_name) const;
  [[nodiscard]] SharedRecord<ResolverAST> shared_resolver_ast_in_file(
      std::string_view file_path, std::string_view resolver_name) const;

  // How background workers are started: the number of processors that
  // counts as available, and the starter of one detached thread, which
  // returns the system's error text when the thread cannot be made.
  struct WorkerLauncher {
    std::size_t processors;
    std::function<std::expected<void, std::string>(std::function<void()>)>
        start_thread;
  };

  // The processors available to this process, detached threads with
  // stacks of kThreadStackSize.
  [[nodiscard]] static WorkerLauncher default_launcher();

  // Starts computing every listed file in the background and returns at
  // once. Only the first call on an index with a non-empty list does
  // anything: it starts n = max(1, min(files, processors)) workers, and
  // worker k computes, in list order, the files at the positions i with
  // i mod n = k, then ends. A worker stopped by a broken invariant or an
  // exhausted heap writes a report to standard error and ends; the rest of
  // its share is left to later queries. Nothing waits for the workers.
  // When a thread cannot be started, the workers started before it keep
  // running, no further one is started, and this throws InvariantFailure
  // "failed to spawn thread: {error}".
  void nonblocking_start_index() const;
  void nonblocking_start_index(const WorkerLauncher& launcher) const;

  // The file list, exactly as given.
  const std::vector<std::string>& files() const { return *files_; }

 private:
  struct Inner;
  AstProjectIndex(std::shared_ptr<const std::vector<std::string>> files,
                  std::shared_ptr<Inner> inner)
      : files_(std::move(files)), inner_(std::move(inner)) {}

  // Worker `worker` of `workers`: computes its share of the file list.
  // Lets no exception escape.
  void run_worker(std::size_t workers, std::size_t worker) const noexcept;

  // The first record named `name` that `select` picks from the files of
  // `paths`, taken in order, whose module is `module` when one is given.
  // A file that fails to parse is passed over.
  template <class Record, class Paths, class Select>
  SharedRecord<Record> first_in(const Paths& paths,
                                std::optional<std::string_view> module,
                                std::string_view name, Select select) const;

  std::shared_ptr<const std::vector<std::string>> files_;
  std::shared_ptr<Inner> inner_;
};

// The number of processors in this process's CPU affinity mask; 1 when it
// cannot be learned.
[[nodiscard]] std::size_t available_processors();

}  // namespace trelk
