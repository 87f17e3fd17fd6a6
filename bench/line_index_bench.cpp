// line_index_bench: the line index's construction over a corpus of Python
// files held in memory, against two references measured in the same run that
// find the same line starts: a plain byte loop, and two memchr scans (one for
// "\n", one for "\r") merged. Neither reference classifies the text as ASCII,
// which the index does as well.
//
// Usage: line_index_bench [DIRECTORY [ROUNDS]]; DIRECTORY defaults to
// CPython 3.13's standard library.

#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "corpus.h"
#include "line_index.h"

namespace {

// The same line starts as the index, one byte at a time.
std::size_t byte_loop(std::string_view text) {
  std::vector<std::uint32_t> starts;
  starts.reserve(text.size() / 88 + 1);
  starts.push_back(0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' ||
        (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      starts.push_back(static_cast<std::uint32_t>(i + 1));
    }
  }
  return starts.size();
}

// The same line starts from one memchr scan per byte kind, merged.
std::size_t two_memchr_scans(std::string_view text) {
  std::vector<std::uint32_t> hits[2];
  const char bytes[2] = {'\n', '\r'};
  for (int k = 0; k < 2; ++k) {
    hits[k].reserve(k == 0 ? text.size() / 88 + 1 : 0);
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
      const void* hit =
          std::memchr(p, bytes[k], static_cast<std::size_t>(end - p));
      if (hit == nullptr) {
        break;
      }
      p = static_cast<const char*>(hit) + 1;
      hits[k].push_back(static_cast<std::uint32_t>(p - text.data()));
    }
  }
  std::vector<std::uint32_t> starts;
  starts.reserve(text.size() / 88 + 1);
  starts.push_back(0);
  std::size_t n = 0;
  for (std::uint32_t cr : hits[1]) {
    while (n < hits[0].size() && hits[0][n] < cr) {
      starts.push_back(hits[0][n++]);
    }
    if (n == hits[0].size() || hits[0][n] != cr + 1) {
      starts.push_back(cr);
    }
  }
  starts.insert(starts.end(), hits[0].begin() + static_cast<std::ptrdiff_t>(n),
                hits[0].end());
  return starts.size();
}

template <typename F>
double seconds(const std::vector<std::string>& files, int rounds,
               std::size_t& sink, F f) {
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < rounds; ++round) {
    for (const std::string& file : files) {
      sink += f(file);
    }
  }
  return bench::seconds_since(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path root =
      argc > 1 ? argv[1] : "/root/.pyenv/versions/3.13.0/lib/python3.13";
  const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
  const std::vector<std::string> files = bench::load_corpus(root);
  std::size_t bytes = 0;
  for (const std::string& file : files) {
    bytes += file.size();
  }
  std::size_t sink = 0;
  const double ours = seconds(files, rounds, sink, [](std::string_view text) {
    return divu::LineIndex::from_source_text(text).line_starts().size();
  });
  const double loop = seconds(files, rounds, sink, byte_loop);
  const double memchr2 = seconds(files, rounds, sink, two_memchr_scans);
  const double megabytes = static_cast<double>(bytes) * rounds / 1e6;
  std::cout << files.size() << " files, " << bytes << " bytes, " << rounds
            << " rounds\n"
            << "line index:        " << megabytes / ours << " MB/s\n"
            << "byte loop:         " << megabytes / loop << " MB/s\n"
            << "two memchr scans:  " << megabytes / memchr2 << " MB/s\n"
            << "line index / byte loop speed:        " << loop / ours << "\n"
            << "line index / two memchr scans speed: " << memchr2 / ours << "\n"
            << "(checksum " << sink << ")\n";
  return 0;
}
