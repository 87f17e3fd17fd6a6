#include "project_index.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <latch>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_filesystem.h"
#include "invariant.h"
#include "parse_cache.h"
#include "stack_thread.h"

namespace trelk {
namespace {

// "/r/f0.py", "/r/f1.py", ...: each defines a function named after its
// file. Absolute paths, so that locations need no file system.
std::vector<std::string> numbered_files(FakeFileSystem& fs, int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    paths.push_back("/r/f" + std::to_string(i) + ".py");
    fs.put(paths.back(), "def f" + std::to_string(i) + "():\n    pass\n");
  }
  return paths;
}

// A launcher that keeps the workers instead of starting them, so that a
// test can run each one itself, on its own thread, and see its share.
struct HeldWorkers {
  std::vector<std::function<void()>> workers;

  AstProjectIndex::WorkerLauncher launcher(std::size_t processors) {
    return {.processors = processors,
            .start_thread = [this](std::function<void()> work)
                -> std::expected<void, std::string> {
              workers.push_back(std::move(work));
              return {};
            }};
  }
};

// A launcher that starts real detached threads with 2 MiB stacks and
// counts down `ended` as each worker finishes, so that a test can wait for
// workers that nothing else waits for.
AstProjectIndex::WorkerLauncher counting_launcher(
    std::size_t processors, std::shared_ptr<std::latch> ended,
    std::shared_ptr<std::atomic<int>> started) {
  return {.processors = processors,
          .start_thread = [ended, started](std::function<void()> work) {
            started->fetch_add(1);
            return start_detached_thread(kThreadStackSize,
                                         [ended, work = std::move(work)] {
                                           work();
                                           ended->count_down();
                                         });
          }};
}

class ProjectIndexTest : public testing::Test {
 protected:
  AstProjectIndex make_index(std::vector<std::string> files) {
    return AstProjectIndex::with_filesystem("/r", std::move(files), fs_);
  }

  std::shared_ptr<FakeFileSystem> fs_ = std::make_shared<FakeFileSystem>();
};

TEST_F(ProjectIndexTest, WorkersTakeTheFilesAtTheirStripe) {
  struct Case {
    int files;
    std::size_t processors;
    std::size_t workers;
  };
  constexpr Case kCases[] = {
      {.files = 3, .processors = 8, .workers = 3},
      {.files = 10, .processors = 4, .workers = 4},
      {.files = 5, .processors = 0, .workers = 1},
      {.files = 1, .processors = 8, .workers = 1},
      {.files = 7, .processors = 7, .workers = 7},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << c.files << " files on " << c.processors << " processors");
    fs_ = std::make_shared<FakeFileSystem>();
    const std::vector<std::string> paths = numbered_files(*fs_, c.files);
    HeldWorkers held;
    make_index(paths).nonblocking_start_index(held.launcher(c.processors));
    ASSERT_EQ(held.workers.size(), c.workers);
    for (std::size_t k = 0; k < held.workers.size(); ++k) {
      const std::size_t before = fs_->reads().size();
      std::thread(held.workers[k]).join();
      const auto reads = fs_->reads();
      std::vector<std::string> share;
      for (std::size_t i = before; i < reads.size(); ++i) {
        share.push_back(reads[i].path);
      }
      std::vector<std::string> expected;
      for (std::size_t i = k; i < paths.size(); i += c.workers) {
        expected.push_back(paths[i]);
      }
      EXPECT_EQ(share, expected) << "worker " << k;
    }
  }
}

TEST_F(ProjectIndexTest,
       TenFilesOnFourProcessorsGiveWorkerOneFilesOneFiveNine) {
  const std::vector<std::string> paths = numbered_files(*fs_, 10);
  HeldWorkers held;
  const AstProjectIndex index = make_index(paths);
  index.nonblocking_start_index(held.launcher(4));
  ASSERT_EQ(held.workers.size(), 4u);
  std::thread(held.workers[1]).join();
  std::vector<std::string> share;
  for (const auto& read : fs_->reads()) {
    share.push_back(read.path);
  }
  EXPECT_EQ(share,
            (std::vector<std::string>{"/r/f1.py", "/r/f5.py", "/r/f9.py"}));
  // The results stay in the index: a query reads nothing again.
  EXPECT_TRUE(index.function_ast_in_file("/r/f5.py", "f5").has_value());
  EXPECT_EQ(fs_->reads().size(), 3u);
}

TEST_F(ProjectIndexTest, APathListedTwiceIsStripedTwiceAndComputedOnce) {
  fs_->put("/r/a.py", "def a():\n    pass\n");
  fs_->put("/r/b.py", "def b():\n    pass\n");
  HeldWorkers held;
  make_index({"/r/a.py", "/r/b.py", "/r/a.py"})
      .nonblocking_start_index(held.launcher(2));
  ASSERT_EQ(held.workers.size(), 2u);
  std::thread(held.workers[1]).join();
  std::thread(held.workers[0]).join();
  EXPECT_EQ(fs_->reads_of("/r/a.py"), 1);
  EXPECT_EQ(fs_->reads_of("/r/b.py"), 1);
}

// A shared answer is the index's own record, the same for every query, and
// it keeps its file's entry alive after the last handle on the index.
TEST_F(ProjectIndexTest, ASharedRecordIsTheIndexOwnAndOutlivesTheIndex) {
  const std::vector<std::string> paths = numbered_files(*fs_, 2);
  AstProjectIndex::SharedRecord<ResolverAST> by_file;
  AstProjectIndex::SharedRecord<ResolverAST> by_module;
  {
    const AstProjectIndex index = make_index(paths);
    by_file = index.shared_function_ast_in_file("/r/f1.py", "f1");
    by_module = index.shared_function_ast("f1", "f1");
    ASSERT_NE(by_file, nullptr);
    EXPECT_EQ(by_file.get(), by_module.get());
    EXPECT_EQ(index.function_ast_in_file("/r/f1.py", "f1"), *by_file);
    EXPECT_EQ(index.shared_function_ast_in_file("/r/f1.py", "f0"), nullptr);
    EXPECT_EQ(index.shared_feature_class_ast_in_file("/r/f1.py", "f1"),
              nullptr);
  }
  EXPECT_EQ(by_file->resolver_name, "f1");
  EXPECT_EQ(by_file->module, "f1");
}

TEST_F(ProjectIndexTest, IndexingStartsAtMostOnceEvenFromManyThreads) {
  const std::vector<std::string> paths = numbered_files(*fs_, 6);
  const AstProjectIndex index = make_index(paths);
  auto ended = std::make_shared<std::latch>(3);
  auto started = std::make_shared<std::atomic<int>>(0);
  const auto launcher = counting_launcher(3, ended, started);
  std::vector<std::thread> callers;
  for (int i = 0; i < 8; ++i) {
    callers.emplace_back([&] { index.nonblocking_start_index(launcher); });
  }
  for (std::thread& caller : callers) {
    caller.join();
  }
  ended->wait();
  index.nonblocking_start_index(launcher);
  EXPECT_EQ(started->load(), 3);
  for (const std::string& path : paths) {
    EXPECT_EQ(fs_->reads_of(path), 1) << path;
  }
}

TEST_F(ProjectIndexTest, AnEmptyListStartsNothing) {
  HeldWorkers held;
  const AstProjectIndex index = make_index({});
  index.nonblocking_start_index(held.launcher(4));
  index.nonblocking_start_index(held.launcher(4));
  EXPECT_TRUE(held.workers.empty());
  EXPECT_FALSE(index.feature_class_ast("a", "A").has_value());
  EXPECT_FALSE(index.function_ast("a", "f").has_value());
  EXPECT_FALSE(index.resolver_ast("a", "r").has_value());
  EXPECT_TRUE(fs_->reads().empty());
}

TEST_F(ProjectIndexTest, AThreadThatCannotStartEndsTheStartWithAPanic) {
  const std::vector<std::string> paths = numbered_files(*fs_, 4);
  const AstProjectIndex index = make_index(paths);
  std::vector<std::function<void()>> kept;
  const AstProjectIndex::WorkerLauncher failing_second = {
      .processors = 4,
      .start_thread =
          [&](std::function<void()> work) -> std::expected<void, std::string> {
        if (!kept.empty()) {
          return std::unexpected("Resource temporarily unavailable");
        }
        kept.push_back(std::move(work));
        return {};
      }};
  try {
    index.nonblocking_start_index(failing_second);
    ADD_FAILURE() << "no panic";
  } catch (const InvariantFailure& failure) {
    EXPECT_EQ(failure.message(),
              "failed to spawn thread: Resource temporarily unavailable");
  }
  // The worker started before runs its share; later calls start nothing.
  ASSERT_EQ(kept.size(), 1u);
  index.nonblocking_start_index(failing_second);
  EXPECT_EQ(kept.size(), 1u);
  std::thread(kept[0]).join();
  EXPECT_EQ(fs_->reads().size(), 1u);
  EXPECT_EQ(fs_->reads()[0].path, "/r/f0.py");
}

TEST_F(ProjectIndexTest, AFailingWorkerReportsAndLeavesItsShareToQueries) {
  struct Case {
    std::string_view name;
    void (FakeFileSystem::*fail)(std::string);
    std::string_view report;
    // The stored result of the file that failed, afterwards.
    bool poisoned;
  };
  const Case kCases[] = {
      {.name = "broken invariant",
       .fail = &FakeFileSystem::break_next_read_of,
       .report = "trelk_rs: background indexing worker stopped: reading "
                 "broke\n",
       .poisoned = true},
      {.name = "exhausted heap",
       .fail = &FakeFileSystem::exhaust_heap_on_next_read_of,
       .report = "trelk_rs: background indexing worker stopped: memory "
                 "allocation failed\n",
       .poisoned = false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    fs_ = std::make_shared<FakeFileSystem>();
    // Worker 0 of 2 takes f0, f2, f4; worker 1 takes f1, f3, f5 and fails
    // on f1.
    const std::vector<std::string> paths = numbered_files(*fs_, 6);
    (fs_.get()->*c.fail)("/r/f1.py");
    const AstProjectIndex index = make_index(paths);
    auto ended = std::make_shared<std::latch>(2);
    testing::internal::CaptureStderr();
    index.nonblocking_start_index(
        counting_launcher(2, ended, std::make_shared<std::atomic<int>>(0)));
    ended->wait();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.report);
    for (const char* path : {"/r/f0.py", "/r/f2.py", "/r/f4.py", "/r/f1.py"}) {
      EXPECT_EQ(fs_->reads_of(path), 1) << path;
    }
    EXPECT_EQ(fs_->reads_of("/r/f3.py"), 0);
    EXPECT_EQ(fs_->reads_of("/r/f5.py"), 0);

    // The rest of the share is computed on demand; the worker's failure
    // changed nothing for the other files.
    EXPECT_TRUE(index.function_ast("f5", "f5").has_value());
    EXPECT_EQ(fs_->reads_of("/r/f3.py"), 1);
    EXPECT_EQ(fs_->reads_of("/r/f5.py"), 1);
    auto failed = index.get_parsed_ast_file("/r/f1.py");
    if (c.poisoned) {
      ASSERT_FALSE(failed.has_value());
      EXPECT_EQ(failed.error(), "typed AST cache lock poisoned for /r/f1.py");
      EXPECT_FALSE(index.function_ast_in_file("/r/f1.py", "f1").has_value());
    } else {
      ASSERT_TRUE(failed.has_value()) << failed.error();
      EXPECT_EQ((*failed)->functions.size(), 1u);
    }
  }
}

TEST_F(ProjectIndexTest, QueriesWaitForTheFileAWorkerIsComputing) {
  const std::vector<std::string> paths = numbered_files(*fs_, 64);
  const AstProjectIndex index = make_index(paths);
  auto ended = std::make_shared<std::latch>(4);
  index.nonblocking_start_index(
      counting_launcher(4, ended, std::make_shared<std::atomic<int>>(0)));
  // Queries run from the last file back, meeting the workers halfway.
  std::vector<std::thread> queries;
  for (int t = 0; t < 2; ++t) {
    queries.emplace_back([&] {
      for (int i = static_cast<int>(paths.size()) - 1; i >= 0; --i) {
        const std::string name = "f" + std::to_string(i);
        auto found = index.function_ast_in_file(
            paths[static_cast<std::size_t>(i)], name);
        ASSERT_TRUE(found.has_value()) << name;
        EXPECT_EQ(found->module, name);
      }
    });
  }
  for (std::thread& query : queries) {
    query.join();
  }
  ended->wait();
  for (const std::string& path : paths) {
    EXPECT_EQ(fs_->reads_of(path), 1) << path;
  }
}

// Waits for the child `pid` for at most 10 s, then kills it; its exit
// status, or -1 when it had to be killed.
int bounded_wait(pid_t pid) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

// A fork while a worker reads f0: in the child, whose copy of the worker
// does not exist, the first query of f0 computes it anew instead of waiting
// for it forever, and f1, finished before the fork, is shared, not read
// again. Run many times, with the fork meeting the worker in the read.
TEST_F(ProjectIndexTest, AForkedChildRecomputesWhatWasInFlight) {
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE(run);
    fs_ = std::make_shared<FakeFileSystem>();
    const std::vector<std::string> paths = numbered_files(*fs_, 2);
    const AstProjectIndex index = make_index(paths);
    ASSERT_TRUE(index.function_ast_in_file(paths[1], "f1").has_value());
    fs_->close_gate();
    auto ended = std::make_shared<std::latch>(1);
    index.nonblocking_start_index(
        counting_launcher(1, ended, std::make_shared<std::atomic<int>>(0)));
    ASSERT_TRUE(fs_->wait_for_reads(paths[0], 1));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int code = 0;
      if (!index.function_ast_in_file(paths[0], "f0").has_value()) {
        code = 1;
      } else if (!index.function_ast("f1", "f1").has_value()) {
        code = 2;
      } else if (fs_->reads_of(paths[1]) != 1 || fs_->reads_of(paths[0]) != 2) {
        code = 3;
      }
      ::_exit(code);
    }
    EXPECT_EQ(bounded_wait(pid), 0);
    fs_->open_gate();
    ended->wait();
    EXPECT_EQ(fs_->reads_of(paths[0]), 1);
  }
}

// Fifty forks while the workers index and other threads ask for files
// computed, in flight and never asked before (an insertion into both maps):
// whatever instruction each fork meets, the child answers every query, and
// rightly, within the bound: no map lock reaches it held, no map half
// changed, no result half published. Real files: the file system fixture
// has a lock of its own that a fork could carry into the child.
TEST(ProjectIndexForkTest, EveryChildOfAForkDuringIndexingAnswers) {
#if defined(__SANITIZE_ADDRESS__)
  // The address sanitizer's allocator takes no lock around fork(): a fork
  // that meets another thread inside it leaves the child waiting on that
  // lock for ever, whatever the index does. The plain and thread-sanitized
  // builds run this test.
  GTEST_SKIP() << "the address sanitizer's allocator does not survive a "
                  "fork amid allocations";
#endif
  constexpr int kFiles = 64;
  constexpr int kAskers = 4;
  // Each round starts a new index, so that forks meet its workers too.
  constexpr int kRounds = 2;
  constexpr int kForksPerRound = 25;
  constexpr int kNewPathsPerAsker = 4000;
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() /
      ("trelk_index_fork_test_" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back((root / ("f" + std::to_string(i) + ".py")).string());
    std::ofstream(paths.back())
        << "def f" << i << "():\n    return [x for x in range(" << i << ")]\n";
  }
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    const AstProjectIndex index(root.string(), paths);
    std::atomic<bool> stop{false};
    std::vector<std::thread> askers;
    for (int t = 0; t < kAskers; ++t) {
      askers.emplace_back([&, t] {
        for (int n = 0; !stop.load(std::memory_order_relaxed); ++n) {
          const int i = (t * 16 + n) % kFiles;
          (void)index.function_ast_in_file(paths[static_cast<std::size_t>(i)],
                                           "f" + std::to_string(i));
          // Bounded, so that the process, which each fork copies, stays
          // small.
          if (n < kNewPathsPerAsker) {
            const std::string gone =
                "gone" + std::to_string(t) + "_" + std::to_string(n) + ".py";
            (void)index.function_ast_in_file((root / gone).string(), "f");
          }
          // A pause, so that the askers leave the forking thread and the
          // children a processor.
          std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
      });
    }
    auto ended = std::make_shared<std::latch>(4);
    index.nonblocking_start_index(
        counting_launcher(4, ended, std::make_shared<std::atomic<int>>(0)));
    for (int fork_index = 0; fork_index < kForksPerRound; ++fork_index) {
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        int code = 0;
        for (int i = 0; i < kFiles && code == 0; ++i) {
          const std::string name = "f" + std::to_string(i);
          const auto found = index.function_ast_in_file(
              paths[static_cast<std::size_t>(i)], name);
          code = found.has_value() && found->resolver_name == name ? 0 : 1;
        }
        if (code == 0 &&
            index.function_ast_in_file((root / "child.py").string(), "f")) {
          code = 2;
        }
        ::_exit(code);
      }
      EXPECT_EQ(bounded_wait(pid), 0) << "fork " << fork_index;
    }
    stop.store(true);
    for (std::thread& asker : askers) {
      asker.join();
    }
    ended->wait();
  }
  std::filesystem::remove_all(root);
}

// Sixteen threads hammer one index and one parse cache over the same files
// while the index's workers run: each thread starts at a file of its own and
// asks by file, by module and for the parse, so that every file is met by
// several threads and a worker at once. Every answer is right, each file is
// computed once per cache, and the cache hands every thread the same parse.
// Built with ThreadSanitizer, this is the race check of the caches.
TEST_F(ProjectIndexTest, SixteenThreadsHammerOneIndexAndOneCache) {
  constexpr int kFiles = 96;
  constexpr int kThreads = 16;
  const std::vector<std::string> paths = numbered_files(*fs_, kFiles);
  const AstProjectIndex index = make_index(paths);
  const AstFileParserCache cache =
      AstFileParserCache::with_filesystem("/r", fs_);
  auto ended = std::make_shared<std::latch>(4);
  std::latch ready(kThreads + 1);
  std::vector<std::vector<const ParsedFileCache*>> seen(
      kThreads, std::vector<const ParsedFileCache*>(kFiles));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.arrive_and_wait();
      for (int k = 0; k < kFiles; ++k) {
        const int i = (t * 7 + k) % kFiles;
        const std::string name = "f" + std::to_string(i);
        const std::string& path = paths[static_cast<std::size_t>(i)];
        const auto in_file = index.function_ast_in_file(path, name);
        ASSERT_TRUE(in_file.has_value()) << name;
        EXPECT_EQ(in_file->module, name);
        if (k % 8 == 0) {
          EXPECT_TRUE(index.function_ast(name, name).has_value()) << name;
        }
        const auto parsed = cache.get_parsed_file(path);
        ASSERT_TRUE(parsed.has_value()) << parsed.error();
        seen[static_cast<std::size_t>(t)][static_cast<std::size_t>(i)] =
            parsed->get();
      }
    });
  }
  index.nonblocking_start_index(
      counting_launcher(4, ended, std::make_shared<std::atomic<int>>(0)));
  ready.arrive_and_wait();
  for (std::thread& thread : threads) {
    thread.join();
  }
  ended->wait();
  for (int t = 1; t < kThreads; ++t) {
    EXPECT_EQ(seen[static_cast<std::size_t>(t)], seen[0]) << "thread " << t;
  }
  // Once for the index's own parse cache, once for `cache`.
  for (const std::string& path : paths) {
    EXPECT_EQ(fs_->reads_of(path), 2) << path;
  }
}

TEST_F(ProjectIndexTest, TheWorkersKeepTheIndexAliveAfterItsLastHandle) {
  const std::vector<std::string> paths = numbered_files(*fs_, 16);
  auto ended = std::make_shared<std::latch>(2);
  make_index(paths).nonblocking_start_index(
      counting_launcher(2, ended, std::make_shared<std::atomic<int>>(0)));
  ended->wait();
  EXPECT_EQ(fs_->reads().size(), paths.size());
}

TEST_F(ProjectIndexTest, QueriesByModuleWalkTheListInOrder) {
  fs_->put("/r/a.py",
           "from trelk import online\n@online\ndef r():\n    return 1\n");
  fs_->put("/r/b.py",
           "from trelk import online\n@online\ndef r():\n    return 2\n");
  fs_->put("/r/bad.py", "def f(:\n");
  const AstProjectIndex index = make_index({"/r/bad.py", "/r/a.py", "/r/b.py"});
  auto in_b = index.resolver_ast("b", "r");
  ASSERT_TRUE(in_b.has_value());
  EXPECT_EQ(in_b->module, "b");
  EXPECT_EQ(in_b->resolver_name_location.range.start,
            (Position{.line = 2, .character = 4}));
  // a.py was computed on the way, once.
  EXPECT_EQ(fs_->reads_of("/r/a.py"), 1);
  EXPECT_EQ(index.resolver_ast("a", "r")->module, "a");
  EXPECT_EQ(fs_->reads_of("/r/a.py"), 1);
  EXPECT_FALSE(index.resolver_ast("c", "r").has_value());
  EXPECT_FALSE(index.function_ast("a", "missing").has_value());

  // The file with a syntax error is passed over, with its failure kept.
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto bad = index.get_parsed_ast_file("/r/bad.py");
    ASSERT_FALSE(bad.has_value());
    EXPECT_TRUE(bad.error().starts_with("Failed to parse /r/bad.py: "))
        << bad.error();
  }
  EXPECT_EQ(fs_->reads_of("/r/bad.py"), 1);
  EXPECT_FALSE(index.function_ast_in_file("/r/bad.py", "f").has_value());
}

TEST_F(ProjectIndexTest, AFeatureClassQueryTakesEachFilesFirstClassOfTheName) {
  constexpr std::string_view kFeatures =
      "from trelk.features import features\n"
      "@features\nclass User:\n    id: int\n"
      "@features(name=\"second\")\nclass User:\n    id: int\n";
  fs_->put("/r/a.py", std::string(kFeatures));
  fs_->put("/r/b.py", std::string(kFeatures));
  const AstProjectIndex index = make_index({"/r/a.py", "/r/b.py"});
  auto in_b = index.feature_class_ast("b", "User");
  ASSERT_TRUE(in_b.has_value());
  EXPECT_EQ(in_b->module, "b");
  EXPECT_EQ(in_b->namespace_name, "user");
  EXPECT_EQ(index.feature_class_ast_in_file("/r/a.py", "User")->namespace_name,
            "user");
  EXPECT_FALSE(index.feature_class_ast("c", "User").has_value());
  EXPECT_FALSE(index.feature_class_ast_in_file("/r/a.py", "Other"));
}

TEST_F(ProjectIndexTest, QueriesByFileReadAnyPathAndFindNestedFunctions) {
  fs_->put("/r/elsewhere.py",
           "class C:\n    def m(self):\n        def inner():\n            "
           "pass\n"
           "def m():\n    pass\n");
  const AstProjectIndex index = make_index({});
  auto method = index.function_ast_in_file("/r/elsewhere.py", "m");
  ASSERT_TRUE(method.has_value());
  // The method comes first in the list of functions.
  EXPECT_EQ(method->args_in_order, std::vector<std::string>{"self"});
  EXPECT_TRUE(index.function_ast_in_file("/r/elsewhere.py", "inner"));
  EXPECT_FALSE(index.resolver_ast_in_file("/r/elsewhere.py", "m"));
  EXPECT_FALSE(index.function_ast_in_file("/r/missing.py", "m"));
  EXPECT_EQ(index.get_parsed_ast_file("/r/missing.py").error(),
            "Failed to read /r/missing.py: No such file or directory (os "
            "error 2)");
}

TEST(ProjectIndexOverStdFileSystemTest, KeepsTheListAsGiven) {
  const AstProjectIndex index("/r", {"b.py", "a.txt", "b.py"});
  EXPECT_EQ(index.files(), (std::vector<std::string>{"b.py", "a.txt", "b.py"}));
}

TEST(AvailableProcessorsTest, CountsAtLeastOne) {
  EXPECT_GE(available_processors(), 1u);
  EXPECT_LE(available_processors(),
            std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace
}  // namespace trelk
