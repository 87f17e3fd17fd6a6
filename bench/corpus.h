#pragma once

// The corpus the benchmarks run over: every .py file below a directory that
// is valid UTF-8 (the files CPython's own tools read), sorted by path and
// held in memory; and the timing the benchmarks share.

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "utf8.h"

namespace bench {

struct CorpusFile {
  std::filesystem::path path;
  std::string text;
};

// The corpus with the path of each file.
inline std::vector<CorpusFile> load_corpus_files(
    const std::filesystem::path& root) {
  std::vector<std::filesystem::path> paths;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && entry.path().extension() == ".py") {
      paths.push_back(entry.path());
    }
  }
  std::sort(paths.begin(), paths.end());
  std::vector<CorpusFile> files;
  for (auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    std::string text = std::move(buffer).str();
    if (trelk::is_valid_utf8(text)) {
      files.push_back({.path = std::move(path), .text = std::move(text)});
    }
  }
  return files;
}

// The texts of the corpus alone.
inline std::vector<std::string> load_corpus(const std::filesystem::path& root) {
  std::vector<std::string> texts;
  for (CorpusFile& file : load_corpus_files(root)) {
    texts.push_back(std::move(file.text));
  }
  return texts;
}

// The bytes of a corpus.
inline std::size_t corpus_bytes(const std::vector<std::string>& texts) {
  std::size_t bytes = 0;
  for (const std::string& text : texts) {
    bytes += text.size();
  }
  return bytes;
}

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

// Runs each body `rounds` times and returns each one's best time in seconds.
// The bodies take turns, round by round, so that a burst of load on a shared
// machine falls on all of them alike and their ratios hold.
template <typename... Body>
std::array<double, sizeof...(Body)> best_seconds(int rounds, Body&&... bodies) {
  std::array<double, sizeof...(Body)> best;
  best.fill(1e30);
  for (int round = 0; round < rounds; ++round) {
    std::size_t index = 0;
    auto run = [&](auto& body) {
      const auto start = std::chrono::steady_clock::now();
      body();
      best[index] = std::min(best[index], seconds_since(start));
      ++index;
    };
    (run(bodies), ...);
  }
  return best;
}

}  // namespace bench
