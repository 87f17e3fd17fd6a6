// extraction_bench: the extraction of functions, resolvers and feature
// classes over a corpus of Python files held in memory, against the parse of
// the same files measured in the same run. Two references: the parse alone
// (parse_module), and the parse cache's whole work on a read file (the parse
// with its import map and comment ranges). Files that do not parse are left
// out of all three.
//
// Usage: extraction_bench [DIRECTORY [ROUNDS]]; DIRECTORY defaults to
// CPython 3.13's standard library.

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "corpus.h"
#include "parse_module.h"
#include "parser_cache_types.h"
#include "type_parsing.h"

namespace {

struct SourceFile {
  std::string path;
  std::string text;
};

// The corpus files that parse, under their absolute paths.
std::vector<SourceFile> load_parsing_files(const std::filesystem::path& root) {
  std::vector<SourceFile> files;
  for (bench::CorpusFile& file : bench::load_corpus_files(root)) {
    if (divu::parse_module(file.text)) {
      files.push_back({.path = std::filesystem::absolute(file.path).string(),
                       .text = std::move(file.text)});
    }
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path root =
      argc > 1 ? argv[1] : "/root/.pyenv/versions/3.13.0/lib/python3.13";
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 3;
  const std::vector<SourceFile> files = load_parsing_files(root);
  std::size_t sink = 0;
  double parse_seconds = 0;
  double cache_seconds = 0;
  double extract_seconds = 0;
  std::size_t functions = 0;
  for (int round = 0; round < rounds; ++round) {
    functions = 0;
    // File by file, as the index works: each file is extracted right after
    // its parse, while its tree is still in the caches.
    for (const SourceFile& file : files) {
      auto start = std::chrono::steady_clock::now();
      sink += divu::parse_module(file.text)->syntax().body.size();
      parse_seconds += bench::seconds_since(start);

      start = std::chrono::steady_clock::now();
      auto parsed = *trelk::ParsedFileCache::parse(file.path, file.text);
      cache_seconds += bench::seconds_since(start);

      start = std::chrono::steady_clock::now();
      const trelk::ParsedAstFile extracted =
          trelk::parse_ast_file_with_feature_module(*parsed, "bench");
      extract_seconds += bench::seconds_since(start);
      functions += extracted.functions.size();
    }
  }
  std::cout << files.size() << " files, " << functions << " functions, "
            << rounds << " rounds\n"
            << "parse_module:            " << parse_seconds / rounds << " s\n"
            << "parse with cache fields: " << cache_seconds / rounds << " s\n"
            << "extraction:              " << extract_seconds / rounds << " s\n"
            << "extraction / parse_module:            "
            << extract_seconds / parse_seconds << "\n"
            << "extraction / parse with cache fields: "
            << extract_seconds / cache_seconds << "\n"
            << "(checksum " << sink << ")\n";
  return 0;
}
