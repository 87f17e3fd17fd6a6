// parse_check: inspects how the front end reads a Python file.
//
//   parse_check FILE...
//     Parses each FILE as a module (parse_module) and prints one line per
//     file: "PATH: ok"; "PATH: error: " and the first syntax error's display
//     text ("message at byte range start..end"); "PATH: unreadable: " and
//     the file system's I/O error text ("stream did not contain valid
//     UTF-8", "No such file or directory (os error 2)"), or "memory
//     allocation failed" when the text does not fit in the memory left; or
//     "PATH: failed: memory allocation failed" when its parse does not. PATH
//     is printed as given. Exits 0 when every file is ok, 1 otherwise.
//
//   parse_check --tokens FILE
//     Lexes FILE (strict UTF-8) in module mode and prints one line per
//     token up to and including EndOfFile, "Kind start..end", then one
//     "error: message at byte range start..end" line per lexical error.
//
//   parse_check --strings FILE
//     Lexes FILE likewise and decodes every String, FStringMiddle and
//     TStringMiddle token: one line "Kind start..end HEX" per token, HEX
//     being the decoded value's bytes in hexadecimal (empty for an empty
//     value), or "Kind start..end error: message at byte range start..end"
//     when decoding fails. FStringStart, FStringEnd, TStringStart and
//     TStringEnd tokens are listed as "Kind start..end", so that a reader
//     can tell which string a middle belongs to.
//
//   parse_check --comments FILE
//     Lexes FILE the same way and prints one line per comment found by
//     CommentRanges over the token list, "start..end own-line" or
//     "start..end trailing".
//
//   parse_check --expression-trees FILE
//     FILE holds any number of inputs separated by NUL bytes. Each is parsed
//     on its own as one expression (offsets count from its own first byte)
//     and printed as its tree dump, "Kind start..end" per node indented two
//     spaces a level, then "error: message at byte range start..end" for its
//     first error if it has one, then a line holding one NUL byte. An input
//     that breaks an internal invariant prints "panic: message" instead of
//     its dump, and the next input is parsed all the same, so that one
//     process serves a whole corpus of snippets.
//
//   parse_check --module-tree FILE
//     Parses FILE as a module and prints its tree dump and first error the
//     same way, without the NUL line.
//
//   parse_check --tokens|--strings|--comments|--module-tree FILE FILE...
//     With more than one FILE, prints each file's output as above followed
//     by a line holding one NUL byte, in the order given, so that one
//     process serves a whole corpus of files. A file that cannot be read
//     prints "unreadable: " and the file system's error text in place of
//     its output; one that breaks an internal invariant prints "panic:
//     message" after what it printed before the failure.
//
// Scripts depend on this output; keep it stable. Exit status: 0; 1 when a
// file had errors, could not be read or failed; 2 for a usage error; 3 when
// standard output could not take what was written (a full disk, a closed pipe).

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <expected>
#include <iostream>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "arena.h"
#include "ast_filesystem.h"
#include "comment_ranges.h"
#include "invariant.h"
#include "lexer.h"
#include "parse_module.h"
#include "string_decoding.h"
#include "tokens.h"
#include "tree_dump.h"

namespace {

int usage() {
  std::cerr << "usage: parse_check FILE... | --tokens FILE... | --strings "
               "FILE... | --comments FILE... | --expression-trees FILE | "
               "--module-tree FILE...\n";
  return 2;
}

// The exit status when standard output cannot take the report: a script that
// reads it must not see success.
constexpr int kOutputFailed = 3;

// Says on standard error why standard output failed, from errno, and returns
// false.
bool output_failed() {
  const int error = errno;
  std::cerr << "parse_check: cannot write standard output: "
            << (error != 0 ? std::strerror(error) : "write failed") << "\n";
  return false;
}

// Hands `out` to stdio's buffer for standard output, which writes it a buffer
// at a time (a line at a time to a terminal). Returns false, after saying
// why, when a write that this caused fails.
bool put(std::string_view out) {
  errno = 0;
  return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() ||
         output_failed();
}

// Writes out what the buffer holds, so that every failure shows here and not
// at exit. Returns false, after saying why, when that fails.
bool flush_output() {
  errno = 0;
  return std::fflush(stdout) == 0 || output_failed();
}

bool write_output(std::string_view out) { return put(out) && flush_output(); }

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
  // The display text of a syntax error: "message at byte range s..e".
  for (divu::LexicalError& error : std::move(lexer).finish()) {
    out.append("error: ");
    out.append(divu::ParseError::from_lexical(std::move(error)).to_string());
    out.push_back('\n');
  }
}

void append_hex(std::string_view bytes, std::string& out) {
  constexpr char kDigits[] = "0123456789abcdef";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0xF]);
  }
}

void print_strings(std::string_view source, std::string& out) {
  divu::Lexer lexer(source, divu::Mode::Module);
  divu::Arena arena;
  for (divu::TokenKind kind;
       (kind = lexer.next_token()) != divu::TokenKind::EndOfFile;) {
    using divu::TokenKind;
    const bool middle =
        kind == TokenKind::FStringMiddle || kind == TokenKind::TStringMiddle;
    if (kind != TokenKind::String && !middle &&
        kind != TokenKind::FStringStart && kind != TokenKind::FStringEnd &&
        kind != TokenKind::TStringStart && kind != TokenKind::TStringEnd) {
      continue;
    }
    out.append(divu::debug_text(kind));
    out.push_back(' ');
    out.append(lexer.current_range().to_string());
    if (kind != TokenKind::String && !middle) {
      out.push_back('\n');
      continue;
    }
    out.push_back(' ');
    const divu::AnyStringFlags flags(lexer.current_flags());
    std::expected<std::string_view, divu::LexicalError> value;
    if (middle) {
      const std::string_view text =
          std::get<divu::InterpolatedStringMiddleValue>(lexer.current_value())
              .text.view();
      const auto element = divu::parse_interpolated_string_literal_element(
          text, flags, lexer.current_range(), arena);
      if (element) {
        value = element->value;
      } else {
        value = std::unexpected(element.error());
      }
    } else {
      const std::string_view text =
          std::get<divu::StringValue>(lexer.current_value()).text.view();
      const auto part =
          divu::parse_string_literal(text, flags, lexer.current_range(), arena);
      if (!part) {
        value = std::unexpected(part.error());
      } else if (const auto* bytes = std::get_if<divu::BytesLiteral>(&*part)) {
        value = bytes->value;
      } else {
        value = std::get<divu::StringLiteral>(*part).value;
      }
    }
    if (value) {
      append_hex(*value, out);
    } else {
      out.append("error: ");
      out.append(value.error().error.to_string());
      out.append(" at byte range ");
      out.append(value.error().location.to_string());
    }
    out.push_back('\n');
  }
}

void print_comments(std::string_view source, std::string& out) {
  divu::Lexer lexer(source, divu::Mode::Module);
  divu::TokenList tokens;
  for (divu::TokenKind kind = lexer.next_token();
       kind != divu::TokenKind::EndOfFile; kind = lexer.next_token()) {
    tokens.push_back(divu::Token{.range = lexer.current_range(),
                                 .flags = lexer.current_flags(),
                                 .kind = kind});
  }
  divu::CommentRanges comments =
      divu::CommentRanges::from(divu::Tokens(std::move(tokens)));
  for (divu::TextRange range : comments.ranges()) {
    out.append(range.to_string());
    out.append(divu::CommentRanges::is_own_line(range.start(), source)
                   ? " own-line\n"
                   : " trailing\n");
  }
}

template <class T>
void print_tree(const divu::Parsed<T>& parsed, std::string& out) {
  out.append(divu::dump_tree(parsed.syntax()));
  if (!parsed.errors().empty()) {
    out.append("error: ");
    out.append(parsed.errors().front().to_string());
    out.push_back('\n');
  }
}

void print_expression_trees(std::string_view inputs, std::string& out) {
  while (true) {
    const std::size_t end = inputs.find('\0');
    try {
      print_tree(divu::parse_expression(inputs.substr(0, end)), out);
    } catch (const trelk::InvariantFailure& failure) {
      out.append("panic: ");
      out.append(failure.message());
      out.push_back('\n');
    }
    out.append(std::string_view("\0\n", 2));
    if (end == std::string_view::npos) {
      break;
    }
    inputs.remove_prefix(end + 1);
  }
}

// The text after the kind when a file's text, or its parse, needs more memory
// than is left.
constexpr std::string_view kMemoryExhausted = "memory allocation failed";

// The default mode: one result line per file, in the order given. The lines
// are buffered, since a write and a flush of each would cost more than the
// parse of a small file, and all are written before a normal exit.
int check_files(std::span<char* const> paths) {
  const trelk::StdAstFileSystem files({});
  bool all_ok = true;
  for (const char* path : paths) {
    std::string_view kind = ": ok";
    std::string detail;
    bool read = false;
    bool exhausted = false;
    try {
      std::expected<std::string, trelk::IoError> text =
          files.read_to_string(path);
      if (!text) {
        kind = ": unreadable: ";
        detail = std::move(text.error().text);
      } else {
        read = true;
        if (auto parsed = divu::parse_module(*text); !parsed) {
          kind = ": error: ";
          detail = parsed.error().to_string();
        }
      }
    } catch (const std::bad_alloc&) {
      // A file too large for the memory left fails alone: its text and tree
      // are gone by now, and the next file starts afresh. Nothing here
      // allocates.
      kind = read ? ": failed: " : ": unreadable: ";
      exhausted = true;
    }
    const bool ok = kind == ": ok";
    all_ok = all_ok && ok;
    if (!put(path) || !put(kind) ||
        !put(exhausted ? kMemoryExhausted : std::string_view(detail)) ||
        !put("\n")) {
      return kOutputFailed;
    }
  }
  if (!flush_output()) {
    return kOutputFailed;
  }
  return all_ok ? 0 : 1;
}

// Prints the output of `mode` for the text of one file.
void print_mode(std::string_view mode, const std::string& text,
                std::string& out) {
  if (mode == "--tokens") {
    print_tokens(text, out);
  } else if (mode == "--strings") {
    print_strings(text, out);
  } else if (mode == "--expression-trees") {
    print_expression_trees(text, out);
  } else if (mode == "--module-tree") {
    print_tree(divu::parse_module_with_errors(text), out);
  } else {
    print_comments(text, out);
  }
}

// Each file's output and a NUL line, written a file at a time so that the
// whole corpus is never held at once. Exits 1 when a file was unreadable.
int print_files(std::string_view mode, std::span<char* const> paths) {
  const trelk::StdAstFileSystem files({});
  bool all_read = true;
  std::string out;
  for (const char* path : paths) {
    out.clear();
    std::expected<std::string, trelk::IoError> read =
        files.read_to_string(path);
    if (!read) {
      all_read = false;
      out.append("unreadable: ");
      out.append(read.error().text);
      out.push_back('\n');
    } else {
      try {
        print_mode(mode, *read, out);
      } catch (const trelk::InvariantFailure& failure) {
        out.append("panic: ");
        out.append(failure.message());
        out.push_back('\n');
      }
    }
    out.append(std::string_view("\0\n", 2));
    if (!put(out)) {
      return kOutputFailed;
    }
  }
  if (!flush_output()) {
    return kOutputFailed;
  }
  return all_read ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !std::string_view(argv[1]).starts_with("--")) {
    return check_files(std::span<char* const>(argv + 1, argv + argc));
  }
  if (argc < 3) {
    return usage();
  }
  std::string_view mode = argv[1];
  if (mode != "--tokens" && mode != "--strings" && mode != "--comments" &&
      mode != "--expression-trees" && mode != "--module-tree") {
    return usage();
  }
  if (argc > 3) {
    if (mode == "--expression-trees") {
      return usage();
    }
    return print_files(mode, std::span<char* const>(argv + 2, argv + argc));
  }
  const std::expected<std::string, trelk::IoError> read =
      trelk::StdAstFileSystem({}).read_to_string(argv[2]);
  if (!read) {
    // A failure of the reader's own, with no error number, is the text's.
    if (read.error().os_error == 0) {
      std::cerr << "parse_check: " << argv[2] << ": " << read.error().text
                << "\n";
    } else {
      std::cerr << "parse_check: cannot read " << argv[2] << "\n";
    }
    return 1;
  }
  std::string out;
  print_mode(mode, *read, out);
  return write_output(out) ? 0 : kOutputFailed;
}
