// The memory a parse takes and how its time grows with the input.
//
// 1. Peak heap per byte of source, each file of a corpus (the standard
//    library by default) parsed on its own: the whole corpus (the sum of
//    the peaks over the sum of the sizes) and the worst file of at least
//    4 KiB. The binary counts every allocation through its own operator new,
//    and adds the blocks of the tree's arena (taken from the C heap
//    directly), so the peak holds everything a parse allocates: tree,
//    tokens, errors and scratch. The reference is the source itself (1 byte per
//    byte).
// 2. Time per byte of one parse of 1, 3, 10, 30 and 100 MB of the corpus's
//    files concatenated, best of several rounds, as a ratio against the
//    1 MB figure: a parse that slows down on large inputs (fresh pages,
//    lists that move) shows a ratio above 1.
//
//    build/bench/parse_memory_bench [DIR]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "corpus.h"
#include "counting_heap.h"
#include "parse_module.h"

namespace {

// Peak heap of one parse of `text` above what was in use before it.
std::size_t parse_peak(const std::string& text) {
  // The arena takes its blocks from the C heap directly, and a large token
  // list is a mapping of its own; what each reserved only grows, so both
  // add to the peak of the rest.
  std::size_t outside_heap = 0;
  const std::size_t peak = trelk::counting_heap::peak_during([&] {
    const divu::Parsed<divu::ModModule> parsed =
        divu::parse_module_with_errors(text);
    outside_heap = parsed.arena_bytes() + parsed.tokens().mapped_bytes();
  });
  return peak + outside_heap;
}

void report_peaks(const std::vector<bench::CorpusFile>& files) {
  std::size_t bytes = 0;
  std::size_t peaks = 0;
  double worst = 0;
  std::string worst_path;
  for (const bench::CorpusFile& file : files) {
    const std::size_t peak = parse_peak(file.text);
    bytes += file.text.size();
    peaks += peak;
    const double per_byte =
        static_cast<double>(peak) / static_cast<double>(file.text.size());
    if (file.text.size() >= 4096 && per_byte > worst) {
      worst = per_byte;
      worst_path = file.path.string();
    }
  }
  std::printf("%zu files, %zu bytes\n", files.size(), bytes);
  std::printf("peak heap per source byte, whole corpus: %.2f\n",
              static_cast<double>(peaks) / static_cast<double>(bytes));
  std::printf(
      "peak heap per source byte, worst file of 4 KiB or more: %.2f "
      "(%s)\n",
      worst, worst_path.c_str());
}

// The corpus's files one after another, cycled, up to `size` bytes; each
// file ends with a line end, so that the next starts a statement.
std::string concatenated(const std::vector<bench::CorpusFile>& files,
                         std::size_t size) {
  std::string text;
  text.reserve(size);
  while (true) {
    for (const bench::CorpusFile& file : files) {
      if (text.size() + file.text.size() + 1 > size) {
        return text;
      }
      text += file.text;
      text += '\n';
    }
  }
}

void report_time_per_byte(const std::vector<bench::CorpusFile>& files) {
  constexpr std::size_t kMegabyte = 1'000'000;
  const std::size_t sizes[] = {1, 3, 10, 30, 100};
  double first = 0;
  for (const std::size_t megabytes : sizes) {
    const std::string text = concatenated(files, megabytes * kMegabyte);
    // About 300 MB parsed at each size, at least three times.
    const std::size_t rounds = std::max<std::size_t>(3, 300 / megabytes);
    double best = 1e30;
    for (std::size_t round = 0; round < rounds; ++round) {
      auto start = std::chrono::steady_clock::now();
      divu::Parsed<divu::ModModule> parsed =
          divu::parse_module_with_errors(text);
      best = std::min(best, bench::seconds_since(start));
    }
    const double ns_per_byte = best / static_cast<double>(text.size()) * 1e9;
    if (first == 0) {
      first = ns_per_byte;
    }
    std::printf("%4zu MB: %.2f ns per byte, %.2f times the 1 MB figure\n",
                megabytes, ns_per_byte, ns_per_byte / first);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: parse_memory_bench DIRECTORY\n");
    return 2;
  }
  const std::vector<bench::CorpusFile> files =
      bench::load_corpus_files(argv[1]);
  report_peaks(files);
  report_time_per_byte(files);
  return 0;
}
