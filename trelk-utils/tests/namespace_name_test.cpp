#include "namespace_name.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unicode/uclean.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "debug_quote.h"
#include "snake_case_paths.h"

namespace trelk {
namespace {

struct SnakeCase {
  std::string_view name;
  std::string_view snake;
};

TEST(SnakeCaseTest, ConvertsNames) {
  constexpr SnakeCase kCases[] = {
      {.name = "CamelCase", .snake = "camel_case"},
      {.name = "camelCase", .snake = "camel_case"},
      {.name = "XMLParser", .snake = "xml_parser"},
      // The first step's match "NNode" uses up the "e" of Node, so Name gets
      // its underscore from the third step.
      {.name = "getXMLNodeName", .snake = "get_xml_node_name"},
      {.name = "MyURLParser", .snake = "my_url_parser"},
      {.name = "Foo_Bar", .snake = "foo_bar"},
      {.name = "Foo__Bar", .snake = "foo__bar"},
      {.name = "__Init", .snake = "__init"},
      {.name = "ABc", .snake = "a_bc"},
      {.name = "aBC", .snake = "a_bc"},
      {.name = "IDs", .snake = "i_ds"},
      {.name = "Version2Update", .snake = "version2_update"},
      {.name = "User2FA", .snake = "user2_fa"},
      {.name = "already_snake", .snake = "already_snake"},
      {.name = "", .snake = ""},
      // Only ASCII letters take part in the patterns; the rest is lowered.
      {.name = "\u00c4pfelBaum", .snake = "\u00e4pfel_baum"},
      {.name = "\u00e9Cole", .snake = "\u00e9_cole"},
      {.name = "\u00c9COLE", .snake = "\u00e9cole"},
      // "." refuses a line feed and nothing else.
      {.name = "x\nYz", .snake = "x\nyz"},
      {.name = "x\rYz", .snake = "x\r_yz"},
      {.name = "x\u2028Yz", .snake = "x\u2028_yz"},
      {.name = "x\u0085Yz", .snake = "x\u0085_yz"},
      // A character beyond the BMP counts once for ".".
      {.name = "\U0001F600Ab", .snake = "\U0001F600_ab"},
      // Final sigma: a capital sigma ending a word takes the final form.
      {.name = "\u039f\u0394\u039f\u03a3", .snake = "\u03bf\u03b4\u03bf\u03c2"},
      {.name = "\u03a3", .snake = "\u03c3"},
      // Full lower-case mapping: one character may become two.
      {.name = "\u0130X", .snake = "i\u0307x"},
  };
  for (const SnakeCase& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_snake_case(c.name), c.snake);
  }
}

// The scans against the ICU path, which runs the patterns themselves. The
// patterns tell characters apart only as ASCII capitals, small letters,
// digits, underscores, line feeds and the rest, and the rest may be a
// character of one to four bytes, or one that lowering lengthens or reads in
// context (a capital sigma ends a word in its final form). So every name of
// up to five characters drawn from one of each is tried, and every ASCII
// name of six. Longer random names are made of runs of one class each,
// weighted towards what the patterns act on, with the bytes next to each
// range ("@[`{/:") among the rest.
TEST(SnakeCasePathsTest, ScansGiveTheIcuPathsText) {
  std::vector<std::string> names;
  const auto add_every_name =
      [&names](const std::vector<std::string_view>& chars, size_t longest) {
        const size_t first = names.size();
        names.emplace_back();
        for (size_t begin = first, length = 1; length <= longest; ++length) {
          const size_t end = names.size();
          for (size_t at = begin; at < end; ++at) {
            for (const std::string_view c : chars) {
              names.push_back(names[at] + std::string(c));
            }
          }
          begin = end;
        }
      };
  const std::vector<std::string_view> kAsciiClasses = {"A", "b",  "1",
                                                       "_", "\n", "-"};
  std::vector<std::string_view> every_class = kAsciiClasses;
  every_class.insert(every_class.end(),
                     {"\u00c4", "\u2028", "\U0001F600", "\u03a3", "\u0130"});
  add_every_name(kAsciiClasses, 6);
  add_every_name(every_class, 5);
  std::string rest;
  for (int c = 0; c < 0x80; ++c) {
    const char byte = static_cast<char>(c);
    if (std::ranges::find(kAsciiClasses, std::string_view(&byte, 1)) ==
        kAsciiClasses.end()) {
      rest.push_back(byte);
    }
  }
  struct Class {
    std::vector<std::string_view> characters;
    int weight;
  };
  const auto each_of = [](std::string_view text) {
    std::vector<std::string_view> characters;
    for (size_t at = 0; at < text.size(); ++at) {
      characters.push_back(text.substr(at, 1));
    }
    return characters;
  };
  const Class kClasses[] = {
      {.characters = each_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), .weight = 30},
      {.characters = each_of("abcdefghijklmnopqrstuvwxyz"), .weight = 30},
      {.characters = each_of("0123456789"), .weight = 10},
      {.characters = each_of("_"), .weight = 12},
      {.characters = each_of("\n"), .weight = 4},
      {.characters = each_of("@[`{/:"), .weight = 6},
      {.characters = each_of(rest), .weight = 8},
      // Letters with and without case, marks that lowering reads past,
      // characters that lower to more bytes, and line terminators that "."
      // accepts.
      {.characters = {"\u00c4", "\u00e9", "\u00df", "\u0130", "\u023a",
                      "\u03a3", "\u03c3", "\u0301", "\u00ad", "\u0414",
                      "\u4e2d", "\u2028", "\u0085", "\U0001D400", "\U00010400",
                      "\U0001F600"},
       .weight = 10},
  };
  std::vector<int> weights;
  for (const Class& c : kClasses) {
    weights.push_back(c.weight);
  }
  std::mt19937 random(20261210);
  std::discrete_distribution<size_t> pick_class(weights.begin(), weights.end());
  std::geometric_distribution<int> run_length(0.45);
  std::uniform_int_distribution<int> run_count(0, 12);
  for (int i = 0; i < 200'000; ++i) {
    std::string name;
    for (int runs = run_count(random); runs > 0; --runs) {
      const std::vector<std::string_view>& characters =
          kClasses[pick_class(random)].characters;
      for (int length = 1 + run_length(random); length > 0; --length) {
        name += characters[std::uniform_int_distribution<size_t>(
            0, characters.size() - 1)(random)];
      }
    }
    names.push_back(std::move(name));
  }
  int mismatches = 0;
  for (const std::string& name : names) {
    const std::string expected = snake_case_paths::icu(name);
    if (snake_case_paths::scans(name) != expected ||
        to_snake_case(name) != expected) {
      ADD_FAILURE() << debug_quote(name) << " should give "
                    << debug_quote(expected) << ", the scans give "
                    << debug_quote(snake_case_paths::scans(name));
      if (++mismatches == 10) {
        break;
      }
    }
  }
}

// A read-only view of `size` bytes of `fill` that takes only 2 MiB of memory:
// one block of a memory file, mapped again and again, back to back.
class RepeatedText {
 public:
  static constexpr size_t kBlock = size_t{2} << 20;

  RepeatedText(char fill, size_t size) : size_(size) {
    const int fd = memfd_create("repeated_text", 0);
    if (fd < 0) {
      return;
    }
    void* block =
        ftruncate(fd, kBlock) == 0
            ? mmap(nullptr, kBlock, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
            : MAP_FAILED;
    if (block != MAP_FAILED) {
      std::memset(block, fill, kBlock);
      munmap(block, kBlock);
      const size_t mapped = (size + kBlock - 1) / kBlock * kBlock;
      void* area =
          mmap(nullptr, mapped, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (area != MAP_FAILED) {
        area_ = static_cast<char*>(area);
        mapped_ = mapped;
        for (size_t at = 0; at < mapped; at += kBlock) {
          if (mmap(area_ + at, kBlock, PROT_READ, MAP_SHARED | MAP_FIXED, fd,
                   0) == MAP_FAILED) {
            munmap(area_, mapped_);
            area_ = nullptr;
            break;
          }
        }
      }
    }
    close(fd);
  }
  RepeatedText(const RepeatedText&) = delete;
  RepeatedText& operator=(const RepeatedText&) = delete;
  ~RepeatedText() {
    if (area_ != nullptr) {
      munmap(area_, mapped_);
    }
  }

  bool ok() const { return area_ != nullptr; }
  std::string_view view() const { return {area_, size_}; }

 private:
  size_t size_;
  char* area_ = nullptr;
  size_t mapped_ = 0;
};

// ICU indexes its strings by int32_t: a name it cannot hold is an exhausted
// heap, never a wrong or empty result (a length cast to 32 bits turns 2^31
// bytes into a negative count and 2^32 + 1 into one byte).
TEST(SnakeCaseTest, NameTooLongForIcuIsBadAlloc) {
  for (const size_t size : {size_t{1} << 31, (size_t{1} << 32) + 1}) {
    SCOPED_TRACE(size);
    const RepeatedText name('A', size);
    ASSERT_TRUE(name.ok());
    EXPECT_THROW((void)to_snake_case(name.view()), std::bad_alloc);
  }
}

// ICU's heap with a failure window: allocations are counted, and those whose
// number falls in [fail_from, fail_until) fail. The functions wrap malloc,
// realloc and free, so they can be installed after ICU has already
// allocated: its earlier blocks are freed the same way.
class IcuHeapFaults {
 public:
  static constexpr int64_t kNever = INT64_MAX;

  // Installs the functions once for the process. Returns false if ICU
  // refuses them.
  static bool install() {
    static const bool installed = [] {
      UErrorCode status = U_ZERO_ERROR;
      u_setMemoryFunctions(nullptr, allocate, reallocate, release, &status);
      return U_SUCCESS(status);
    }();
    return installed;
  }

  // Starts counting from 0 with the given window.
  static void fail(int64_t from, int64_t until) {
    fail_from_.store(from);
    fail_until_.store(until);
    count_.store(0);
  }
  static void succeed() { fail(kNever, kNever); }
  static int64_t count() { return count_.load(); }

 private:
  static bool fails() {
    const int64_t number = count_.fetch_add(1);
    return number >= fail_from_.load() && number < fail_until_.load();
  }
  static void* allocate(const void*, size_t size) {
    return fails() ? nullptr : std::malloc(size);
  }
  static void* reallocate(const void*, void* block, size_t size) {
    return fails() ? nullptr : std::realloc(block, size);
  }
  static void release(const void*, void* block) { std::free(block); }

  static inline std::atomic<int64_t> count_ = 0;
  static inline std::atomic<int64_t> fail_from_ = kNever;
  static inline std::atomic<int64_t> fail_until_ = kNever;
};

// Every ICU allocation of a call is failed in turn, once alone (a heap that
// recovers) and from there on (a heap that stays exhausted): each call gives
// its right text or std::bad_alloc, never a wrong or empty text. The names are
// long enough that every string leaves ICU's inline buffer, and the second
// grows when lowered. Names are given to the ICU path directly, since
// to_snake_case converts them by the scans; those are swept too. The patterns
// are compiled before the sweep: ICU 72's RegexPattern dereferences a null
// pointer while it discards a pattern whose list of sets could not be
// allocated, so that one allocation cannot be failed.
TEST(SnakeCaseMemoryTest, ExhaustedIcuHeapGivesBadAllocNeverAWrongText) {
  ASSERT_TRUE(IcuHeapFaults::install());
  ASSERT_EQ(snake_case_paths::icu("\u00c4Bc"), "\u00e4_bc");
  std::string camel;
  for (int i = 0; i < 40; ++i) {
    camel += "aB";
  }
  std::string snake;
  for (int i = 0; i < 40; ++i) {
    snake += "a_b";
  }
  struct Case {
    std::string_view label;
    std::function<std::string()> call;
    std::string result;
  };
  const Case kCases[] = {
      {.label = "ascii",
       .call = [&camel] { return snake_case_paths::icu(camel); },
       .result = snake},
      {.label = "lowering grows",
       .call =
           [&camel] {
             return snake_case_paths::icu("\u0130" + camel + "\u03a3");
           },
       .result = "i\u0307" + snake + "\u03c2"},
      {.label = "lowering grows, scans",
       .call = [&camel] { return to_snake_case("\u0130" + camel + "\u03a3"); },
       .result = "i\u0307" + snake + "\u03c2"},
      {.label = "namespaced",
       .call =
           [&camel] {
             return build_namespaced_name(camel + "::\u00c4" + camel, "N");
           },
       .result = snake + "::\u00e4" + snake + "::N"},
  };
  struct Window {
    std::string_view label;
    int64_t length;
  };
  constexpr Window kWindows[] = {{.label = "one", .length = 1},
                                 {.label = "all after", .length = -1}};
  for (const Case& c : kCases) {
    for (const Window& window : kWindows) {
      // Bounded: the calls above make a few dozen allocations.
      for (int64_t at = 0; at < 10'000; ++at) {
        SCOPED_TRACE(std::string(c.label) + ", failing " +
                     std::string(window.label) + " from allocation " +
                     std::to_string(at));
        IcuHeapFaults::fail(
            at, window.length < 0 ? IcuHeapFaults::kNever : at + window.length);
        std::optional<std::string> result;
        try {
          result = c.call();
        } catch (const std::bad_alloc&) {
        }
        const int64_t made = IcuHeapFaults::count();
        IcuHeapFaults::succeed();
        if (result.has_value()) {
          EXPECT_EQ(*result, c.result);
        }
        if (made <= at) {
          // The call ended before the failing allocation: nothing is left to
          // fail, and it must have succeeded.
          EXPECT_TRUE(result.has_value());
          break;
        }
      }
    }
  }
}

struct NamespacedCase {
  std::optional<std::string_view> namespace_text;
  std::optional<std::string_view> name;
  std::string_view result;
};

TEST(NamespacedNameTest, JoinsPieces) {
  const NamespacedCase kCases[] = {
      {.namespace_text = "Foo::BarBaz",
       .name = "my_Feature",
       .result = "foo::bar_baz::my_Feature"},
      {.namespace_text = std::nullopt, .name = std::nullopt, .result = ""},
      {.namespace_text = std::nullopt, .name = "X", .result = "X"},
      {.namespace_text = "::a::", .name = std::nullopt, .result = "a"},
      {.namespace_text = "A:::B", .name = std::nullopt, .result = "a:::b"},
      {.namespace_text = "User", .name = "", .result = "user"},
      {.namespace_text = "", .name = "", .result = ""},
      {.namespace_text = "::::", .name = "N", .result = "N"},
      {.namespace_text = ":", .name = std::nullopt, .result = ":"},
  };
  for (const NamespacedCase& c : kCases) {
    SCOPED_TRACE(std::string(c.namespace_text.value_or("<none>")) + " / " +
                 std::string(c.name.value_or("<none>")));
    EXPECT_EQ(build_namespaced_name(c.namespace_text, c.name), c.result);
  }
}

// Eight threads race for the first use of the patterns; run under
// ThreadSanitizer this shows that compiling and sharing them is clean. It must
// be the first use in its process, so it runs alone in its own binary entry
// (ctest starts one process per test case).
TEST(SnakeCaseThreadsTest, ColdStartFromEightThreads) {
  constexpr int kThreads = 8;
  std::atomic<int> ready = 0;
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      for (int round = 0; round < 50; ++round) {
        results[static_cast<std::size_t>(i)] =
            snake_case_paths::icu("getXMLNodeName\u00c4pfelBaum");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const std::string& result : results) {
    EXPECT_EQ(result, "get_xml_node_name\u00e4pfel_baum");
  }
}

}  // namespace
}  // namespace trelk
