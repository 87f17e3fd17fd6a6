// A parse's peak memory stays proportional to its input: under 64 bytes of
// heap per byte of source for the densest inputs the grammar allows (one
// node per byte or two) and for inputs made of nothing but errors. The
// binary counts every heap allocation through its own operator new, which
// only a test binary may replace, so the figure includes everything a parse
// allocates (tree, tokens, errors, the lexer's stacks and the list
// builders' scratch), at its highest point.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "parse_module.h"

namespace {

std::atomic<std::size_t> g_current{0};
std::atomic<std::size_t> g_peak{0};

// Each block carries its size in a header so that delete can count it back.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* counted_new(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  *static_cast<std::size_t*>(block) = size;
  const std::size_t now = g_current.fetch_add(size) + size;
  std::size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void counted_delete(void* pointer) noexcept {
  if (pointer == nullptr) {
    return;
  }
  void* block = static_cast<char*>(pointer) - kHeader;
  g_current.fetch_sub(*static_cast<std::size_t*>(block));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return counted_new(size); }
void* operator new[](std::size_t size) { return counted_new(size); }
void operator delete(void* pointer) noexcept { counted_delete(pointer); }
void operator delete[](void* pointer) noexcept { counted_delete(pointer); }
void operator delete(void* pointer, std::size_t) noexcept {
  counted_delete(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  counted_delete(pointer);
}

namespace divu {
namespace {

std::string repeat(std::string_view unit, std::size_t count,
                   std::string_view tail = "") {
  std::string text;
  text.reserve(unit.size() * count + tail.size());
  for (std::size_t i = 0; i < count; ++i) {
    text += unit;
  }
  text += tail;
  return text;
}

struct MemoryCase {
  std::string name;
  std::string source;
  // Bytes of peak heap per byte of source allowed.
  double bound = 64;
};

TEST(ParseMemoryTest, PeakStaysUnder64BytesPerByte) {
  constexpr std::size_t kSize = 1 << 20;
  const MemoryCase cases[] = {
      {"unary chain", repeat("-", kSize, "x")},
      {"sum chain", "1" + repeat("+1", kSize / 2)},
      {"attribute chain", "a" + repeat(".a", kSize / 2)},
      {"call chain", "f" + repeat("()", kSize / 2)},
      {"comparison chain", "a" + repeat("<a", kSize / 2)},
      {"statements", repeat("a\n", kSize / 2)},
      {"semicolons", repeat("a;", kSize / 2)},
      {"tuple", repeat("a,", kSize / 2)},
      {"list of names", "[" + repeat("a,", kSize / 2) + "]"},
      // The densest input found: each two-byte line is a statement, an
      // expression and a literal part (104 bytes of tree) and two tokens.
      {"unclosed strings", repeat("'\n", kSize / 2), 80},
      {"stray closers", repeat(")", kSize)},
      {"stray operators", repeat("= ", kSize / 2)},
      {"empty calls in a list", "[" + repeat("f(),", kSize / 4) + "]"},
      {"nested brackets", repeat("(", 400, "x") + repeat(")", 400)},
      {"lambdas", repeat("lambda:", kSize / 7, "x")},
      {"dict", "{" + repeat("a:a,", kSize / 4) + "}"},
  };
  double worst = 0;
  std::string worst_name;
  for (const MemoryCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = g_current.load();
    g_peak.store(before);
    {
      Parsed<ModModule> parsed = parse_module_with_errors(c.source);
      (void)parsed;
    }
    const double per_byte = static_cast<double>(g_peak.load() - before) /
                            static_cast<double>(c.source.size());
    EXPECT_LT(per_byte, c.bound);
    if (per_byte > worst) {
      worst = per_byte;
      worst_name = c.name;
    }
  }
  std::printf("worst: %s, %.1f bytes per byte of source\n", worst_name.c_str(),
              worst);
}

}  // namespace
}  // namespace divu
