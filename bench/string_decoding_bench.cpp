// string_decoding_bench: decodes every string literal and f-string middle of
// a corpus of Python files (lexed once, beforehand), against copying the same
// texts into an arena, measured in the same run. The copy is the floor: a
// decoder must at least read its text and, where it decodes, write it.
//
// Usage: string_decoding_bench [DIRECTORY [ROUNDS]]; DIRECTORY defaults to
// CPython 3.13's standard library.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "arena.h"
#include "corpus.h"
#include "lexer.h"
#include "string_decoding.h"
#include "utf8.h"

namespace {

struct Literal {
  std::string text;
  divu::AnyStringFlags flags;
  divu::TextRange range;
  bool middle;
};

std::vector<Literal> load_literals(const std::filesystem::path& root) {
  std::vector<Literal> literals;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".py") {
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string source((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    if (!trelk::is_valid_utf8(source)) {
      continue;
    }
    divu::Lexer lexer(source, divu::Mode::Module);
    for (divu::TokenKind kind;
         (kind = lexer.next_token()) != divu::TokenKind::EndOfFile;) {
      const divu::AnyStringFlags flags(lexer.current_flags());
      if (kind == divu::TokenKind::String) {
        literals.push_back(
            {std::string(std::get<divu::StringValue>(lexer.current_value())
                             .text.view()),
             flags, lexer.current_range(), false});
      } else if (kind == divu::TokenKind::FStringMiddle) {
        literals.push_back(
            {std::string(std::get<divu::InterpolatedStringMiddleValue>(
                             lexer.current_value())
                             .text.view()),
             flags, lexer.current_range(), true});
      }
    }
  }
  return literals;
}

std::size_t decode(const Literal& literal, divu::Arena& arena) {
  if (literal.middle) {
    const auto element = divu::parse_interpolated_string_literal_element(
        literal.text, literal.flags, literal.range, arena);
    return element ? element->value.size() : 0;
  }
  const auto part = divu::parse_string_literal(literal.text, literal.flags,
                                               literal.range, arena);
  if (!part) {
    return 0;
  }
  if (const auto* bytes = std::get_if<divu::BytesLiteral>(&*part)) {
    return bytes->value.size();
  }
  return std::get<divu::StringLiteral>(*part).value.size();
}

template <typename F>
double seconds(const std::vector<Literal>& literals, int rounds,
               std::size_t& sink, F f) {
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < rounds; ++round) {
    divu::Arena arena;
    for (const Literal& literal : literals) {
      sink += f(literal, arena);
    }
  }
  return bench::seconds_since(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path root =
      argc > 1 ? argv[1] : "/root/.pyenv/versions/3.13.0/lib/python3.13";
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
  const std::vector<Literal> literals = load_literals(root);
  std::size_t bytes = 0;
  std::size_t escaped = 0;
  for (const Literal& literal : literals) {
    bytes += literal.text.size();
    escaped += literal.text.find('\\') != std::string::npos;
  }
  std::size_t sink = 0;
  const double ours = seconds(literals, rounds, sink, decode);
  const double copy = seconds(literals, rounds, sink,
                              [](const Literal& literal, divu::Arena& arena) {
                                return arena.copy_string(literal.text).size();
                              });
  const double megabytes = static_cast<double>(bytes) * rounds / 1e6;
  std::cout << literals.size() << " literals (" << escaped
            << " with a backslash), " << bytes << " bytes, " << rounds
            << " rounds\n"
            << "decoding:           " << megabytes / ours << " MB/s\n"
            << "copying:            " << megabytes / copy << " MB/s\n"
            << "decoding / copying speed: " << copy / ours << "\n"
            << "(checksum " << sink << ")\n";
  return 0;
}
