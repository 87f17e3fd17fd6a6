// The lexer's throughput over a corpus held in memory: every .py file below
// a directory (the standard library by default, through lexer_bench.py),
// lexed to EndOfFile, best of several rounds. Prints one line of key=value
// pairs that lexer_bench.py reads and sets beside tokenize's figure.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "corpus.h"
#include "lexer.h"

namespace {

std::size_t lex_corpus(const std::vector<std::string>& texts) {
  std::size_t tokens = 0;
  for (const std::string& text : texts) {
    divu::Lexer lexer(text, divu::Mode::Module);
    while (lexer.next_token() != divu::TokenKind::EndOfFile) {
      ++tokens;
    }
  }
  return tokens;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lexer_bench DIRECTORY\n");
    return 2;
  }
  std::vector<std::string> texts = bench::load_corpus(argv[1]);
  std::size_t bytes = 0;
  for (const std::string& text : texts) {
    bytes += text.size();
  }
  double best = 1e30;
  std::size_t tokens = 0;
  for (int round = 0; round < 5; ++round) {
    auto start = std::chrono::steady_clock::now();
    tokens = lex_corpus(texts);
    std::chrono::duration<double> elapsed =
        std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  std::printf("files=%zu bytes=%zu tokens=%zu seconds=%.6f mb_per_s=%.1f\n",
              texts.size(), bytes, tokens, best,
              static_cast<double>(bytes) / best / 1e6);
  return 0;
}
