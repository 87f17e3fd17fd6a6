// pgo_train: the training run of the profile-guided build. Lexes and parses
// every UTF-8 .py file below DIRECTORY (the configured interpreter's
// standard library), in path order so that two runs count the same, and
// prints what it read. Built instrumented by the training build only.
//
// Usage: pgo_train DIRECTORY

#include <cstdio>
#include <string>
#include <vector>

#include "corpus.h"
#include "lexer.h"
#include "parse_module.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pgo_train DIRECTORY\n");
    return 2;
  }
  const std::vector<std::string> texts = bench::load_corpus(argv[1]);
  std::size_t tokens = 0;
  std::size_t failed = 0;
  for (const std::string& text : texts) {
    // The lexer alone, as a token scan drives it, then the parse, which
    // drives it through the token source.
    divu::Lexer lexer(text, divu::Mode::Module);
    while (lexer.next_token() != divu::TokenKind::EndOfFile) {
      ++tokens;
    }
    failed += divu::parse_module_with_errors(text).errors().empty() ? 0u : 1u;
  }
  std::printf("pgo_train: %zu files, %zu tokens, %zu with errors\n",
              texts.size(), tokens, failed);
  // An empty corpus would leave every object without a profile.
  return texts.empty() ? 1 : 0;
}
