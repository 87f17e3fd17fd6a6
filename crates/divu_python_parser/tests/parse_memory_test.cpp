// A parse's peak memory stays proportional to its input: under 64 bytes of
// heap per byte of source for the densest inputs the grammar allows (one
// node per byte or two) and for inputs made of nothing but errors. The
// binary counts every heap allocation through its own operator new, which
// only a test binary may replace, and adds the blocks of the tree's arena,
// so the figure includes everything a parse allocates (tree, tokens,
// errors, the lexer's stacks and the list builders' scratch), at its
// highest point.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "counting_heap.h"
#include "parse_module.h"
#include "stack_thread.h"

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

// Peak heap of one parse of `source` above what was in use before it.
std::size_t parse_peak(const std::string& source) {
  // The arena takes its blocks from the C heap directly, and a large token
  // list is a mapping of its own; what each reserved only grows, so both
  // add to the peak of the rest.
  std::size_t outside_heap = 0;
  const std::size_t peak = trelk::counting_heap::peak_during([&] {
    const Parsed<ModModule> parsed = parse_module_with_errors(source);
    outside_heap = parsed.arena_bytes() + parsed.tokens().mapped_bytes();
  });
  return peak + outside_heap;
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
      // Code as people write it (denser than most) takes far less: a bound
      // that catches a token list sized for one token per byte, or a
      // tree's blocks half unused.
      {"ordinary code",
       repeat("class A(B):\n"
              "    def f(self, x: int = 1) -> str:\n"
              "        # why\n"
              "        return self.g(x, [1, 2], key='v')\n",
              kSize / 96),
       32},
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
      {"unclosed strings", repeat("'\n", kSize / 2), 88},
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
    const double per_byte = static_cast<double>(parse_peak(c.source)) /
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

// A token list in plain values, to compare lists before and after.
std::vector<std::tuple<std::uint32_t, std::uint32_t, TokenKind>> values(
    const Tokens& tokens) {
  std::vector<std::tuple<std::uint32_t, std::uint32_t, TokenKind>> list;
  for (const Token& token : tokens) {
    list.emplace_back(token.range.start(), token.range.end(), token.kind);
  }
  return list;
}

TEST(ParseMemoryTest, AFreedListServesOnlyTheNextParseOnItsThread) {
  // On a thread of its own, so that no list freed earlier is waiting, with a
  // stack on which every parse runs in place: memory is kept per thread, and
  // a parse that moved to a thread of its own (a sanitized parse on a
  // smaller stack) would keep it there. 256 MiB: more than the deepest parse
  // needs in any build.
  trelk::run_on_thread_with_stack(std::size_t{256} << 20, [] {
    const std::string big = repeat("value = call(a, b)  # note\n", 20000);
    Parsed<ModModule> kept = parse_module_with_errors("x = 1  # one\n");
    const auto kept_tokens = values(kept.tokens());
    // A large list's memory, freed (as the parse cache frees it once it has
    // read the comments), serves the next large list of the thread.
    Parsed<ModModule> given = parse_module_with_errors(big);
    const auto big_tokens = values(given.tokens());
    const Token* const memory = given.tokens().all().data();
    given.take_tokens();
    Parsed<ModModule> next = parse_module_with_errors(big);
    EXPECT_EQ(next.tokens().all().data(), memory);
    // Lists that are held are left as they are.
    Parsed<ModModule> another = parse_module_with_errors("y = [2]  # two\n");
    EXPECT_EQ(values(kept.tokens()), kept_tokens);
    EXPECT_EQ(values(next.tokens()), big_tokens);
    EXPECT_EQ(values(another.tokens()).size(), 7u);
  });
}

}  // namespace
}  // namespace divu
