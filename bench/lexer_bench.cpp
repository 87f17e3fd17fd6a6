// The lexer's throughput over a corpus held in memory: every .py file below
// a directory (the standard library by default, through lexer_bench.py),
// lexed to EndOfFile, best of several rounds, against a branch-per-byte-class
// loop over the same bytes measured in the same run. Prints one line of
// key=value pairs that lexer_bench.py reads and sets beside tokenize's
// figure.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
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

// The reference: the least a tokenizer does, one table lookup and one branch
// per byte class, each class consuming its whole run.
enum ByteClass : std::uint8_t {
  kOther,  // operators, brackets and any other byte: one token each
  kIdentifier,
  kDigit,
  kBlank,
  kQuote,
  kNewline,
};

constexpr auto kClasses = [] {
  std::array<ByteClass, 256> table{};
  for (std::size_t c = 'a'; c <= 'z'; ++c) {
    table[c] = kIdentifier;
    table[c - 'a' + 'A'] = kIdentifier;
  }
  table['_'] = kIdentifier;
  for (std::size_t c = '0'; c <= '9'; ++c) {
    table[c] = kDigit;
  }
  table[' '] = table['\t'] = table['\f'] = kBlank;
  table['"'] = table['\''] = kQuote;
  table['\n'] = table['\r'] = kNewline;
  return table;
}();

ByteClass class_of(const char* p) {
  return kClasses[static_cast<unsigned char>(*p)];
}

std::size_t count_tokens(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  std::size_t tokens = 0;
  while (p < end) {
    switch (class_of(p)) {
      case kIdentifier:
      case kDigit:
        // A name, or a number with its letters and digits: 0x1F, 1e5, 10j.
        do {
          ++p;
        } while (p < end &&
                 (class_of(p) == kIdentifier || class_of(p) == kDigit));
        break;
      case kBlank:
        do {
          ++p;
        } while (p < end && class_of(p) == kBlank);
        continue;
      case kQuote: {
        // To the closing quote on the same line, over backslash escapes.
        const char quote = *p++;
        while (p < end && *p != quote && *p != '\n') {
          p += *p == '\\' && end - p > 1 ? 2 : 1;
        }
        if (p < end && *p == quote) {
          ++p;
        }
        break;
      }
      case kNewline:
      case kOther:
        ++p;
        break;
    }
    ++tokens;
  }
  return tokens;
}

std::size_t count_corpus(const std::vector<std::string>& texts) {
  std::size_t tokens = 0;
  for (const std::string& text : texts) {
    tokens += count_tokens(text);
  }
  return tokens;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lexer_bench DIRECTORY\n");
    return 2;
  }
  const std::vector<std::string> texts = bench::load_corpus(argv[1]);
  const std::size_t bytes = bench::corpus_bytes(texts);
  std::size_t tokens = 0;
  std::size_t counted = 0;
  const auto [lexer, loop] = bench::best_seconds(
      5, [&] { tokens = lex_corpus(texts); },
      [&] { counted = count_corpus(texts); });
  const auto megabytes = static_cast<double>(bytes) / 1e6;
  std::printf(
      "files=%zu bytes=%zu tokens=%zu seconds=%.6f mb_per_s=%.1f "
      "loop_tokens=%zu loop_mb_per_s=%.1f\n",
      texts.size(), bytes, tokens, lexer, megabytes / lexer, counted,
      megabytes / loop);
  return 0;
}
