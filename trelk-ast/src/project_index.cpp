#include "project_index.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <new>
#include <utility>

#include "invariant.h"
#include "parse_cache.h"
#include "slot_map.h"
#include "stack_thread.h"
#include "type_parsing.h"

namespace trelk {

struct AstProjectIndex::Inner {
  Inner(std::string project_root, std::shared_ptr<const AstFileSystem> fs,
        const std::vector<std::string>& files)
      : parser_cache(AstFileParserCache::with_filesystem(
            std::move(project_root), std::move(fs))),
        entries("typed AST cache lock poisoned for ", files) {}

  // Reads and parses each file for its entry, and names its module.
  const AstFileParserCache parser_cache;
  // Every listed file has its slot from the start, so that the workers and
  // the queries over the list never wait for one another on the map's lock.
  SlotMap<std::shared_ptr<const ParsedAstFile>> entries;
  // Set by the one call that starts the workers; never cleared.
  std::atomic<bool> indexing_started{false};
};

AstProjectIndex::AstProjectIndex(std::string project_root,
                                 std::vector<std::string> files)
    : AstProjectIndex(
          with_filesystem(std::move(project_root), files,
                          std::make_shared<const StdAstFileSystem>(files))) {}

AstProjectIndex AstProjectIndex::with_filesystem(
    std::string project_root, std::vector<std::string> files,
    std::shared_ptr<const AstFileSystem> fs) {
  auto list =
      std::make_shared<const std::vector<std::string>>(std::move(files));
  auto inner =
      std::make_shared<Inner>(std::move(project_root), std::move(fs), *list);
  return AstProjectIndex(std::move(list), std::move(inner));
}

std::expected<std::shared_ptr<const ParsedAstFile>, std::string>
AstProjectIndex::get_parsed_ast_file(std::string_view path) const {
  const AstFileParserCache& parser_cache = inner_->parser_cache;
  return inner_->entries.get_or_compute(
      path,
      [&]()
          -> std::expected<std::shared_ptr<const ParsedAstFile>, std::string> {
        // The entry is computed once and its parsed file never asked for
        // again, so the cache does not keep it: the tree and the text go
        // once the definitions are extracted, and an index holds only those.
        auto parsed = parser_cache.parse_uncached(path);
        if (!parsed) {
          return std::unexpected(std::move(parsed.error()));
        }
        return std::make_shared<const ParsedAstFile>(
            parse_ast_file_with_feature_module(
                **parsed, parser_cache.module_name_for_path(path)));
      });
}

namespace {

const std::string& name_of(const FeatureClassAST& record) {
  return record.class_name;
}
const std::string& name_of(const ResolverAST& record) {
  return record.resolver_name;
}

// Every record of a file carries the file's module name, so "the first
// record of the name whose module matches" is "the first record of the
// name, if its module matches".
template <class Record>
const Record* first_named(const std::vector<Record>& records,
                          std::string_view name) {
  for (const Record& record : records) {
    if (name_of(record) == name) {
      return &record;
    }
  }
  return nullptr;
}

// The list of a file that each kind of query searches.
const std::vector<FeatureClassAST>& select_feature_classes(
    const ParsedAstFile& file) {
  return file.feature_classes;
}
const std::vector<ResolverAST>& select_functions(const ParsedAstFile& file) {
  return file.functions;
}
const std::vector<ResolverAST>& select_resolvers(const ParsedAstFile& file) {
  return file.resolvers;
}

// The copy that the queries by value return.
template <class Record>
std::optional<Record> copy_of(const std::shared_ptr<const Record>& found) {
  if (!found) {
    return std::nullopt;
  }
  return *found;
}

}  // namespace

template <class Record, class Paths, class Select>
AstProjectIndex::SharedRecord<Record> AstProjectIndex::first_in(
    const Paths& paths, std::optional<std::string_view> module,
    std::string_view name, Select select) const {
  for (const auto& path : paths) {
    auto file = get_parsed_ast_file(path);
    if (!file) {
      continue;
    }
    const Record* found = first_named(select(**file), name);
    if (found != nullptr && (!module || found->module == *module)) {
      // Shares the entry's ownership: the record lives as long as it does.
      return SharedRecord<Record>(std::move(*file), found);
    }
  }
  return nullptr;
}

AstProjectIndex::SharedRecord<FeatureClassAST>
AstProjectIndex::shared_feature_class_ast(std::string_view module,
                                          std::string_view class_name) const {
  return first_in<FeatureClassAST>(*files_, module, class_name,
                                   select_feature_classes);
}

AstProjectIndex::SharedRecord<ResolverAST> AstProjectIndex::shared_function_ast(
    std::string_view module, std::string_view function_name) const {
  return first_in<ResolverAST>(*files_, module, function_name,
                               select_functions);
}

AstProjectIndex::SharedRecord<ResolverAST> AstProjectIndex::shared_resolver_ast(
    std::string_view module, std::string_view resolver_name) const {
  return first_in<ResolverAST>(*files_, module, resolver_name,
                               select_resolvers);
}

AstProjectIndex::SharedRecord<FeatureClassAST>
AstProjectIndex::shared_feature_class_ast_in_file(
    std::string_view file_path, std::string_view class_name) const {
  return first_in<FeatureClassAST>(std::array{file_path}, std::nullopt,
                                   class_name, select_feature_classes);
}

AstProjectIndex::SharedRecord<ResolverAST>
AstProjectIndex::shared_function_ast_in_file(
    std::string_view file_path, std::string_view function_name) const {
  return first_in<ResolverAST>(std::array{file_path}, std::nullopt,
                               function_name, select_functions);
}

AstProjectIndex::SharedRecord<ResolverAST>
AstProjectIndex::shared_resolver_ast_in_file(
    std::string_view file_path, std::string_view resolver_name) const {
  return first_in<ResolverAST>(std::array{file_path}, std::nullopt,
                               resolver_name, select_resolvers);
}

std::optional<FeatureClassAST> AstProjectIndex::feature_class_ast(
    std::string_view module, std::string_view class_name) const {
  return copy_of(shared_feature_class_ast(module, class_name));
}

std::optional<ResolverAST> AstProjectIndex::function_ast(
    std::string_view module, std::string_view function_name) const {
  return copy_of(shared_function_ast(module, function_name));
}

std::optional<ResolverAST> AstProjectIndex::resolver_ast(
    std::string_view module, std::string_view resolver_name) const {
  return copy_of(shared_resolver_ast(module, resolver_name));
}

std::optional<FeatureClassAST> AstProjectIndex::feature_class_ast_in_file(
    std::string_view file_path, std::string_view class_name) const {
  return copy_of(shared_feature_class_ast_in_file(file_path, class_name));
}

std::optional<ResolverAST> AstProjectIndex::function_ast_in_file(
    std::string_view file_path, std::string_view function_name) const {
  return copy_of(shared_function_ast_in_file(file_path, function_name));
}

std::optional<ResolverAST> AstProjectIndex::resolver_ast_in_file(
    std::string_view file_path, std::string_view resolver_name) const {
  return copy_of(shared_resolver_ast_in_file(file_path, resolver_name));
}

std::size_t available_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) {
    return 1;
  }
  const int count = CPU_COUNT(&set);
  return count > 0 ? static_cast<std::size_t>(count) : 1;
}

AstProjectIndex::WorkerLauncher AstProjectIndex::default_launcher() {
  return WorkerLauncher{.processors = available_processors(),
                        .start_thread = [](std::function<void()> work) {
                          return start_detached_thread(kThreadStackSize,
                                                       std::move(work));
                        }};
}

void AstProjectIndex::nonblocking_start_index() const {
  nonblocking_start_index(default_launcher());
}

void AstProjectIndex::nonblocking_start_index(
    const WorkerLauncher& launcher) const {
  if (files_->empty()) {
    return;
  }
  if (inner_->indexing_started.exchange(true, std::memory_order_acq_rel)) {
    return;
  }
  const std::size_t workers =
      std::max<std::size_t>(1, std::min(files_->size(), launcher.processors));
  for (std::size_t worker = 0; worker < workers; ++worker) {
    // The worker owns a copy of the handle: the index stays alive while it
    // runs, whatever happens to the caller's copies.
    auto started =
        launcher.start_thread([index = *this, workers, worker]() noexcept {
          index.run_worker(workers, worker);
        });
    if (!started) {
      fail_invariant("failed to spawn thread: " + started.error());
    }
  }
}

namespace {

// Writes under the stream's lock, so that reports of two workers do not
// interleave, and allocates nothing, so that it also serves after the heap
// ran out. The message may hold any bytes, NUL included.
void report_worker_failure(std::string_view message) noexcept {
  flockfile(stderr);
  std::fputs("trelk_rs: background indexing worker stopped: ", stderr);
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  funlockfile(stderr);
}

}  // namespace

void AstProjectIndex::run_worker(std::size_t workers,
                                 std::size_t worker) const noexcept {
  try {
    const std::vector<std::string>& files = *files_;
    for (std::size_t i = worker; i < files.size(); i += workers) {
      // Failures are stored in the entry, where queries find them.
      (void)get_parsed_ast_file(files[i]);
    }
  } catch (const InvariantFailure& failure) {
    report_worker_failure(failure.message());
  } catch (const std::bad_alloc&) {
    // Nothing is poisoned by it: the entry that was being computed is left
    // not computed, for a later query to try again.
    report_worker_failure("memory allocation failed");
  } catch (const std::exception& other) {
    report_worker_failure(other.what());
  } catch (...) {
    report_worker_failure("native code failed without a message");
  }
}

}  // namespace trelk
