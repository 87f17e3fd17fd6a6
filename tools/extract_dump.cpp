// extract_dump: prints what source analysis extracts from Python files.
//
//   extract_dump [--root ROOT] [--quiet] [--files-from LIST] [FILE...]
//     Reads and parses each FILE (and each line of the file LIST) through
//     one parse cache rooted at ROOT (default "."), extracts its feature
//     classes, functions and resolvers under the module name the cache gives
//     it, and prints a line "file PATH", then the records in the form of
//     record_dump.h, or "error: MESSAGE" for a read or parse failure as the
//     cache words it, or "panic: MESSAGE" for a broken internal invariant
//     (the next file is processed all the same). With --quiet only the
//     summary is printed.
//
//     The last line, on standard error, sums up the run:
//     "files N failed N panics N functions N resolvers N feature_classes N
//     seconds S", the seconds covering reading, parsing and extraction.
//
// Scripts depend on this output; keep it stable.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "invariant.h"
#include "parse_cache.h"
#include "record_dump.h"
#include "type_parsing.h"

namespace {

int usage() {
  std::cerr << "usage: extract_dump [--root ROOT] [--quiet] [--files-from "
               "LIST] [FILE...]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = ".";
  bool quiet = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--files-from" && i + 1 < argc) {
      std::ifstream list(argv[++i]);
      if (!list) {
        std::cerr << "cannot read " << argv[i] << "\n";
        return 2;
      }
      for (std::string line; std::getline(list, line);) {
        if (!line.empty()) {
          files.push_back(line);
        }
      }
    } else if (arg.starts_with("--")) {
      return usage();
    } else {
      files.emplace_back(arg);
    }
  }
  if (files.empty()) {
    return usage();
  }

  const auto started = std::chrono::steady_clock::now();
  const trelk::AstFileParserCache cache(root, files);
  std::size_t failed = 0;
  std::size_t panics = 0;
  std::size_t functions = 0;
  std::size_t resolvers = 0;
  std::size_t feature_classes = 0;
  std::string out;
  const auto emit = [&](std::string_view text) {
    if (quiet) {
      return;
    }
    out += text;
    if (out.size() > (1u << 20)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  };
  for (const std::string& path : files) {
    emit("file " + path + "\n");
    try {
      auto parsed = cache.get_parsed_file(path);
      if (!parsed) {
        ++failed;
        emit("error: " + parsed.error() + "\n");
        continue;
      }
      const trelk::ParsedAstFile extracted =
          trelk::parse_ast_file_with_feature_module(
              **parsed, cache.module_name_for_path(path));
      functions += extracted.functions.size();
      resolvers += extracted.resolvers.size();
      feature_classes += extracted.feature_classes.size();
      if (!quiet) {
        emit(trelk::dump_parsed_ast_file(extracted));
      }
    } catch (const trelk::InvariantFailure& failure) {
      ++panics;
      emit("panic: " + failure.message() + "\n");
    }
  }
  const std::chrono::duration<double> seconds =
      std::chrono::steady_clock::now() - started;
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  std::cerr << "files " << files.size() << " failed " << failed << " panics "
            << panics << " functions " << functions << " resolvers "
            << resolvers << " feature_classes " << feature_classes
            << " seconds " << seconds.count() << "\n";
  return 0;
}
