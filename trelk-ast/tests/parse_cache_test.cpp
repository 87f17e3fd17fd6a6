#include "parse_cache.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_filesystem.h"
#include "invariant.h"
#include "tree_dump.h"

namespace trelk {
namespace {

using namespace std::chrono_literals;

class ParseCacheTest : public testing::Test {
 protected:
  AstFileParserCache make_cache(std::string root = "/r") {
    return AstFileParserCache::with_filesystem(std::move(root), fs_);
  }

  std::shared_ptr<FakeFileSystem> fs_ = std::make_shared<FakeFileSystem>();
};

TEST_F(ParseCacheTest, SixteenThreadsOnOnePathReadAndParseItOnce) {
  fs_->put("a.py", "def f(x):\n    return x\n");
  const AstFileParserCache cache = make_cache();
  constexpr int kThreads = 16;
  fs_->close_gate();
  std::vector<std::shared_ptr<const ParsedFileCache>> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      auto parsed = cache.get_parsed_file("a.py");
      ASSERT_TRUE(parsed.has_value()) << parsed.error();
      results[static_cast<std::size_t>(i)] = *parsed;
    });
  }
  // The first read is held until every thread has had time to arrive.
  ASSERT_TRUE(fs_->wait_for_reads("a.py", 1));
  std::this_thread::sleep_for(50ms);
  fs_->open_gate();
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(fs_->reads().size(), 1u);
  for (const auto& result : results) {
    EXPECT_EQ(result.get(), results[0].get());
  }
  EXPECT_EQ(results[0]->statements().size(), 1u);
}

TEST_F(ParseCacheTest, DifferentPathsAreReadInParallel) {
  fs_->put("a.py", "a = 1\n");
  fs_->put("b.py", "b = 2\n");
  const AstFileParserCache cache = make_cache();
  fs_->close_gate();
  // The read of a.py holds its slot until the gate opens; b.py must be
  // reachable meanwhile.
  std::thread first([&] { EXPECT_TRUE(cache.get_parsed_file("a.py")); });
  ASSERT_TRUE(fs_->wait_for_reads("a.py", 1));
  std::thread second([&] { EXPECT_TRUE(cache.get_parsed_file("b.py")); });
  EXPECT_TRUE(fs_->wait_for_reads("b.py", 1));
  fs_->open_gate();
  first.join();
  second.join();
  EXPECT_EQ(fs_->reads().size(), 2u);
}

TEST_F(ParseCacheTest, FailuresAreStoredAsTheirMessages) {
  fs_->put("bad.py", "x = (\n");
  const AstFileParserCache cache = make_cache();
  auto missing = cache.get_parsed_file("missing.py");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error(),
            "Failed to read missing.py: No such file or directory (os error "
            "2)");
  // Creating the file changes nothing: the failure is kept.
  fs_->put("missing.py", "x = 1\n");
  EXPECT_EQ(cache.get_parsed_file("missing.py").error(), missing.error());
  EXPECT_EQ(fs_->reads_of("missing.py"), 1);

  auto bad = cache.get_parsed_file("bad.py");
  ASSERT_FALSE(bad.has_value());
  EXPECT_TRUE(bad.error().starts_with("Failed to parse bad.py: "))
      << bad.error();
  EXPECT_TRUE(bad.error().ends_with(" at byte range 6..6")) << bad.error();
  fs_->put("bad.py", "x = 1\n");
  EXPECT_EQ(cache.get_parsed_file("bad.py").error(), bad.error());
  EXPECT_EQ(fs_->reads_of("bad.py"), 1);
}

// For a caller that keeps only what it derives: each call reads and parses
// anew, fails with the cached call's messages, and leaves no trace in the
// cache, so the parsed file lives only as long as the caller holds it.
TEST_F(ParseCacheTest, AnUncachedParseKeepsNothing) {
  fs_->put("a.py", "def f(x):\n    return x\n");
  fs_->put("bad.py", "x = (\n");
  const AstFileParserCache cache = make_cache();
  std::weak_ptr<const ParsedFileCache> first;
  {
    auto parsed = cache.parse_uncached("a.py");
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    EXPECT_EQ((*parsed)->statements().size(), 1u);
    first = *parsed;
  }
  EXPECT_TRUE(first.expired());
  ASSERT_TRUE(cache.parse_uncached("a.py").has_value());
  EXPECT_EQ(fs_->reads_of("a.py"), 2);
  // Nor does it fill the slot that get_parsed_file keeps.
  ASSERT_TRUE(cache.get_parsed_file("a.py").has_value());
  EXPECT_EQ(fs_->reads_of("a.py"), 3);

  for (const char* path : {"missing.py", "bad.py"}) {
    auto uncached = cache.parse_uncached(path);
    ASSERT_FALSE(uncached.has_value()) << path;
    EXPECT_EQ(uncached.error(), cache.get_parsed_file(path).error());
  }
  fs_->put("missing.py", "x = 1\n");
  EXPECT_TRUE(cache.parse_uncached("missing.py").has_value());
}

TEST_F(ParseCacheTest, ABrokenInvariantPoisonsOnlyItsSlot) {
  fs_->put("a.py", "a = 1\n");
  fs_->put("./a.py", "a = 1\n");
  fs_->put("b.py", "b = 1\n");
  fs_->break_next_read_of("a.py");
  const AstFileParserCache cache = make_cache();
  EXPECT_THROW((void)cache.get_parsed_file("a.py"), InvariantFailure);
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto again = cache.get_parsed_file("a.py");
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error(), "AST parse cache lock poisoned for a.py");
  }
  EXPECT_EQ(fs_->reads_of("a.py"), 1);
  EXPECT_TRUE(cache.get_parsed_file("b.py").has_value());
  // The same file under another path text has a slot of its own.
  EXPECT_TRUE(cache.get_parsed_file("./a.py").has_value());
}

TEST_F(ParseCacheTest, AnExhaustedHeapDoesNotPoison) {
  fs_->put("a.py", "a = 1\n");
  fs_->exhaust_heap_on_next_read_of("a.py");
  const AstFileParserCache cache = make_cache();
  EXPECT_THROW((void)cache.get_parsed_file("a.py"), std::bad_alloc);
  EXPECT_TRUE(cache.get_parsed_file("a.py").has_value());
  EXPECT_EQ(fs_->reads_of("a.py"), 2);
}

TEST_F(ParseCacheTest, AnInterruptedReadIsNotKept) {
  fs_->put("a.py", "a = 1\n");
  const AstFileParserCache cache = make_cache();
  fs_->interrupt_next_read_of("a.py");
  int asked = 0;
  const auto interrupted = cache.get_parsed_file("a.py", [&] {
    ++asked;
    return false;
  });
  EXPECT_EQ(asked, 1);
  ASSERT_FALSE(interrupted.has_value());
  EXPECT_EQ(interrupted.error(),
            "Failed to read a.py: Interrupted system call (os error 4)");
  const auto again = cache.get_parsed_file("a.py");
  ASSERT_TRUE(again.has_value()) << again.error();
  EXPECT_EQ((*again)->source_text(), "a = 1\n");
  EXPECT_EQ(fs_->reads_of("a.py"), 1);
}

// A request that waits for another thread's read of the same path is asked
// whether to go on after each signal; declining ends that request alone, and
// the read it waited for goes on to its own end. The signal is sent again
// until the waiter has been asked, so no timing is assumed.
TEST_F(ParseCacheTest, AnInterruptedWaitEndsOnlyTheWaitingRequest) {
  struct sigaction action = {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  struct sigaction previous = {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  fs_->put("a.py", "a = 1\n");
  const AstFileParserCache cache = make_cache();
  fs_->close_gate();
  std::thread reader([&] { EXPECT_TRUE(cache.get_parsed_file("a.py")); });
  ASSERT_TRUE(fs_->wait_for_reads("a.py", 1));
  std::atomic<bool> asked = false;
  std::atomic<bool> ended = false;
  std::thread waiter([&] {
    const auto interrupted = cache.get_parsed_file("a.py", [&] {
      asked.store(true);
      return false;
    });
    ended.store(true);
    ASSERT_FALSE(interrupted.has_value());
    EXPECT_EQ(interrupted.error(),
              "Failed to read a.py: Interrupted system call (os error 4)");
  });
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!ended.load() && std::chrono::steady_clock::now() < deadline) {
    pthread_kill(waiter.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_TRUE(asked.load());
  fs_->open_gate();
  waiter.join();
  reader.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_TRUE(cache.get_parsed_file("a.py"));
  EXPECT_EQ(fs_->reads_of("a.py"), 1);
}

TEST_F(ParseCacheTest, PathTextsAreKeysAsWritten) {
  fs_->put("a.py", "a = 1\n");
  fs_->put("./a.py", "a = 1\n");
  const AstFileParserCache cache = make_cache();
  auto plain = cache.get_parsed_file("a.py");
  auto dotted = cache.get_parsed_file("./a.py");
  ASSERT_TRUE(plain && dotted);
  EXPECT_NE(plain->get(), dotted->get());
  EXPECT_EQ((*plain)->path(), "a.py");
  EXPECT_EQ((*dotted)->path(), "./a.py");
  EXPECT_EQ(cache.get_parsed_file("a.py")->get(), plain->get());
  EXPECT_EQ(fs_->reads().size(), 2u);
}

// The import map as sorted text, for comparison.
std::string describe(const ImportMap& imports) {
  std::string text;
  for (const auto& [module, names] : imports) {
    text += module + ":";
    for (const auto& [name, locals] : names) {
      text += " " + name + "->";
      for (const std::string& local : locals) {
        text += local + ",";
      }
    }
    text += ";";
  }
  return text;
}

TEST_F(ParseCacheTest, ImportMapHoldsTopLevelAbsoluteFromImports) {
  struct Case {
    std::string_view source;
    std::string_view imports;
  };
  constexpr Case kCases[] = {
      {.source = "from a.b import c as d, e\nfrom a.b import c\n",
       .imports = "a.b: c->c,d, e->e,;"},
      {.source = "from . import x\nfrom .m import y\nimport os\n",
       .imports = ""},
      {.source = "if t:\n    from a import b\ndef f():\n    from a import c\n",
       .imports = ""},
      {.source = "from m import *\nfrom m import n as b, n as B, n as a\n",
       .imports = "m: *->*, n->B,a,b,;"},
      {.source = "from z import y\nfrom a import b\nfrom z import x\n",
       .imports = "z: y->y, x->x,;a: b->b,;"},
      {.source = "from trelk import online as ol, stream\n",
       .imports = "trelk: online->ol, stream->stream,;"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    fs_->put("m.py", std::string(c.source));
    const AstFileParserCache cache = make_cache();
    auto parsed = cache.get_parsed_file("m.py");
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    EXPECT_EQ(describe((*parsed)->import_map()), c.imports);
  }
}

TEST_F(ParseCacheTest, KeepsTextAndCommentRanges) {
  fs_->put("empty.py", "");
  fs_->put("c.py", "\xEF\xBB\xBF# one\nx = 1  # two\r\n");
  const AstFileParserCache cache = make_cache();
  auto empty = cache.get_parsed_file("empty.py");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE((*empty)->statements().empty());
  EXPECT_TRUE((*empty)->import_map().empty());
  EXPECT_TRUE((*empty)->comment_ranges().ranges().empty());

  auto commented = cache.get_parsed_file("c.py");
  ASSERT_TRUE(commented.has_value()) << commented.error();
  EXPECT_EQ((*commented)->source_text(), "\xEF\xBB\xBF# one\nx = 1  # two\r\n");
  const auto ranges = (*commented)->comment_ranges().ranges();
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0], divu::TextRange(3, 8));
  EXPECT_EQ(ranges[1], divu::TextRange(16, 21));
}

TEST_F(ParseCacheTest, AKeptFileOutlivesTheReuseOfItsTokensMemory) {
  // The cache keeps no tokens: the next parse on the thread fills their
  // memory. What a kept file holds must not be in it.
  fs_->put("a.py", "import os  # why\ndef f(x):  # what\n    return x\n");
  std::string big;
  for (int i = 0; i < 5000; ++i) {
    big += "y = g(1, 2)  # note\n";
  }
  fs_->put("b.py", big);
  fs_->put("c.py", "def (\n");
  const AstFileParserCache cache = make_cache();
  auto a = cache.get_parsed_file("a.py");
  ASSERT_TRUE(a.has_value()) << a.error();
  const std::string tree = divu::dump_tree((*a)->module());
  EXPECT_FALSE(cache.get_parsed_file("c.py").has_value());
  ASSERT_TRUE(cache.get_parsed_file("b.py").has_value());
  EXPECT_EQ(divu::dump_tree((*a)->module()), tree);
  const auto ranges = (*a)->comment_ranges().ranges();
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0], divu::TextRange(11, 16));
  EXPECT_EQ(ranges[1], divu::TextRange(28, 34));
}

TEST_F(ParseCacheTest, NamesListedFilesOnceAndOthersOnDemand) {
  fs_->set_listing(std::vector<std::string>{
      "pkg/mod.py", "/r/other/__init__.py", "pkg/mod.py"});
  const AstFileParserCache cache = make_cache("/r");
  EXPECT_EQ(fs_->listings(), 1);
  EXPECT_EQ(cache.module_name_for_path("pkg/mod.py"), "pkg.mod");
  EXPECT_EQ(cache.module_name_for_path("/r/pkg/mod.py"), "pkg.mod");
  EXPECT_EQ(cache.module_name_for_path("/r/other/__init__.py"), "other");
  EXPECT_EQ(cache.module_name_for_path("unlisted/x.py"), "unlisted.x");
  EXPECT_EQ(cache.module_name_for_path("/elsewhere/y.py"), "y");
  EXPECT_EQ(fs_->listings(), 1);
  // all_files asks the file system again each time.
  EXPECT_EQ(cache.all_files().value().size(), 3u);
  EXPECT_EQ(fs_->listings(), 2);
}

TEST_F(ParseCacheTest, AFailedListingLeavesTheCacheWorking) {
  fs_->set_listing(std::nullopt);
  fs_->put("a.py", "a = 1\n");
  const AstFileParserCache cache = make_cache("src");
  EXPECT_EQ(cache.module_name_for_path("pkg/mod.py"), "pkg.mod");
  EXPECT_TRUE(cache.get_parsed_file("a.py").has_value());
  EXPECT_EQ(cache.all_files().error().text, "cannot list");
}

TEST(ParseCacheOverStdFileSystemTest, FiltersTheListAndSharesTheFileSystem) {
  const AstFileParserCache cache("/r", {"b.py", "a.py", "c.txt", "b.py"});
  EXPECT_EQ(cache.all_files().value(),
            (std::vector<std::string>{"a.py", "b.py"}));
  const AstFileParserCache copy = cache;
  EXPECT_EQ(copy.filesystem().get(), cache.filesystem().get());
}

}  // namespace
}  // namespace trelk
