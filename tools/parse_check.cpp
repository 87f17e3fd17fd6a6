// parse_check: inspects how the front end reads a Python file.
//
//   parse_check --tokens FILE
//     Lexes FILE (strict UTF-8) in module mode and prints one line per
//     token up to and including EndOfFile, "Kind start..end", then one
//     "error: message at byte range start..end" line per lexical error.
//
// Scripts depend on this output; keep it stable.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "lexer.h"
#include "utf8.h"

namespace {

int usage() {
  std::cerr << "usage: parse_check --tokens FILE\n";
  return 2;
}

bool read_file(const char* path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = std::move(buffer).str();
  return !in.bad();
}

void print_tokens(std::string_view source, std::string& out) {
  divu::Lexer lexer(source, divu::Mode::Module);
  while (true) {
    divu::TokenKind kind = lexer.next_token();
    out.append(divu::debug_text(kind));
    out.push_back(' ');
    out.append(lexer.current_range().to_string());
    out.push_back('\n');
    if (kind == divu::TokenKind::EndOfFile) {
      break;
    }
  }
  for (const divu::LexicalError& error : std::move(lexer).finish()) {
    out.append("error: ");
    out.append(error.error.to_string());
    out.append(" at byte range ");
    out.append(error.location.to_string());
    out.push_back('\n');
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != "--tokens") {
    return usage();
  }
  std::string text;
  if (!read_file(argv[2], &text)) {
    std::cerr << "parse_check: cannot read " << argv[2] << "\n";
    return 1;
  }
  if (!trelk::is_valid_utf8(text)) {
    std::cerr << "parse_check: " << argv[2]
              << ": stream did not contain valid UTF-8\n";
    return 1;
  }
  std::string out;
  print_tokens(text, out);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
