// parse_module's throughput over a corpus held in memory (the standard
// library by default, through parse_bench.py), best of several rounds; the
// parse's memory per byte of source (arena and token list, the two things a
// parse result keeps); and the cost of one checkpoint and rewind of the
// parser inside a nested block. Prints one line of key=value pairs that
// parse_bench.py sets beside ast.parse's figure.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "corpus.h"
#include "parse_module.h"
#include "parser.h"

namespace {

// A block four levels deep, so that the checkpoint copies a non-empty
// indentation stack, as it does in most real code.
constexpr std::string_view kCheckpointSource =
    "class A:\n"
    "    def f(self):\n"
    "        if x:\n"
    "            with (open(a) as b, open(c) as d):\n"
    "                pass\n";

double checkpoint_nanoseconds() {
  divu::Parser parser(kCheckpointSource, divu::ParseOptions{});
  // Walk to the `with`, inside the nested blocks.
  while (!parser.at(divu::TokenKind::With)) {
    parser.bump_any();
  }
  constexpr int kRounds = 2'000'000;
  auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    divu::ParserCheckpoint checkpoint = parser.checkpoint();
    parser.bump_any();
    parser.bump_any();
    parser.rewind(std::move(checkpoint));
  }
  return bench::seconds_since(start) / kRounds * 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: parse_bench DIRECTORY\n");
    return 2;
  }
  const std::vector<std::string> texts = bench::load_corpus(argv[1]);
  const std::size_t bytes = bench::corpus_bytes(texts);
  std::size_t failed = 0;
  const auto [best] = bench::best_seconds(5, [&] {
    failed = 0;
    for (const std::string& text : texts) {
      failed += divu::parse_module_with_errors(text).errors().empty() ? 0u : 1u;
    }
  });
  // Memory a parse keeps: the arena's blocks and the token list.
  std::size_t kept = 0;
  double worst = 0;
  for (const std::string& text : texts) {
    divu::Parsed<divu::ModModule> parsed = divu::parse_module_with_errors(text);
    const std::size_t memory =
        parsed.arena_bytes() + parsed.tokens().size() * sizeof(divu::Token);
    kept += memory;
    if (text.size() >= 4096) {
      worst = std::max(worst, static_cast<double>(memory) /
                                  static_cast<double>(text.size()));
    }
  }
  std::printf(
      "files=%zu bytes=%zu failed=%zu seconds=%.6f mb_per_s=%.1f "
      "bytes_per_byte=%.2f worst_bytes_per_byte=%.2f checkpoint_ns=%.1f\n",
      texts.size(), bytes, failed, best,
      static_cast<double>(bytes) / best / 1e6,
      static_cast<double>(kept) / static_cast<double>(bytes), worst,
      checkpoint_nanoseconds());
  return 0;
}
