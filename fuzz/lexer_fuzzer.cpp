// Lexes arbitrary UTF-8 text in every mode and checks the lexer's
// invariants: lexing ends, token ranges are in order and inside the text,
// error ranges are inside the text, and a rewind to a checkpoint taken at
// any token reproduces the same tokens and errors. A second pass drives the
// re-lex operations the way the parser may, with a rewind across them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "lexer.h"

namespace {

struct Lexed {
  divu::TokenKind kind;
  divu::TextRange range;
  divu::TokenFlags flags;
  bool operator==(const Lexed&) const = default;
};

using fuzz::check;

// Lexes to EndOfFile, checking each token against the text.
std::vector<Lexed> lex_rest(divu::Lexer& lexer, std::size_t size,
                            divu::TextSize previous_end) {
  // Every token consumes a byte except the empty ones (dedents, the last
  // newline, some errors, EndOfFile), and those are bounded by the text too.
  const std::size_t limit = 4 * size + 64;
  std::vector<Lexed> tokens;
  while (true) {
    divu::TokenKind kind = lexer.next_token();
    divu::TextRange range = lexer.current_range();
    check(range.end() <= size);
    check(range.start() >= previous_end);
    previous_end = range.end();
    tokens.push_back({kind, range, lexer.current_flags()});
    check(tokens.size() <= limit);
    if (kind == divu::TokenKind::EndOfFile) {
      return tokens;
    }
  }
}

// Calls a re-lex operation at every string token and at closing brackets
// (back to the last non-logical newline, a few times at most), takes a
// checkpoint right after token `checkpoint_at` and rewinds to it once at the
// end. A re-lex moves the cursor back, so only termination and ranges
// inside the text are checked.
void drive_re_lex(std::string_view text, divu::Mode mode,
                  std::size_t checkpoint_at) {
  using divu::TokenKind;
  divu::Lexer lexer(text, mode);
  std::optional<divu::LexerCheckpoint> checkpoint;
  std::optional<divu::TextSize> newline_start;
  int logical_re_lexes = 0;
  bool rewound = false;
  const std::size_t limit = 16 * text.size() + 64;
  for (std::size_t count = 0;; ++count) {
    check(count <= limit);
    TokenKind kind = lexer.next_token();
    if (count == checkpoint_at) {
      checkpoint = lexer.checkpoint();
    }
    divu::TextSize start = lexer.current_range().start();
    if (kind == TokenKind::String) {
      if (start % 2 == 0) {
        lexer.re_lex_raw_string_in_format_spec();
      } else {
        lexer.re_lex_string_token_in_interpolation_element(
            start % 4 == 1 ? divu::InterpolatedStringKind::FString
                           : divu::InterpolatedStringKind::TString);
      }
    } else if (kind == TokenKind::NonLogicalNewline) {
      newline_start = start;
    } else if ((kind == TokenKind::Rpar || kind == TokenKind::Rsqb ||
                kind == TokenKind::Rbrace) &&
               logical_re_lexes < 4) {
      ++logical_re_lexes;
      lexer.re_lex_logical_token(newline_start);
      newline_start.reset();
    }
    check(lexer.current_range().end() <= text.size());
    if (kind == TokenKind::EndOfFile) {
      if (!checkpoint || rewound) {
        break;
      }
      lexer.rewind(std::move(*checkpoint));
      rewound = true;
      newline_start.reset();
    }
  }
  for (const divu::LexicalError& error : lexer.errors()) {
    check(error.location.start() <= error.location.end() &&
          error.location.end() <= text.size());
  }
}

// Lexes `text` in every mode, and again from a checkpoint it rewinds to.
void lex_all(std::string_view text) {
  const std::size_t size = text.size();
  constexpr divu::Mode kModes[] = {divu::Mode::Module, divu::Mode::Ipython,
                                   divu::Mode::ParenthesizedExpression};
  for (divu::Mode mode : kModes) {
    divu::Lexer reference(text, mode);
    std::vector<Lexed> all = lex_rest(reference, size, 0);
    std::vector<divu::LexicalError> all_errors = reference.errors();
    for (const divu::LexicalError& error : all_errors) {
      check(error.location.end() <= size);
    }

    // Rewind at a token chosen by the input.
    const std::size_t middle =
        size > 0 ? static_cast<unsigned char>(text[size / 2]) : 0;
    std::size_t at = (size * 31 + middle) % all.size();
    divu::Lexer lexer(text, mode);
    for (std::size_t i = 0; i < at; ++i) {
      lexer.next_token();
    }
    divu::TextSize previous_end = at > 0 ? all[at - 1].range.end() : 0;
    divu::LexerCheckpoint checkpoint = lexer.checkpoint();
    std::vector<Lexed> first = lex_rest(lexer, size, previous_end);
    lexer.rewind(std::move(checkpoint));
    std::vector<Lexed> second = lex_rest(lexer, size, previous_end);
    check(first == second);
    check(std::equal(first.begin(), first.end(),
                     all.begin() + static_cast<std::ptrdiff_t>(at), all.end()));
    check(lexer.errors() == all_errors);

    drive_re_lex(text, mode, at);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  return fuzz::on_utf8_text(data, size, lex_all);
}
