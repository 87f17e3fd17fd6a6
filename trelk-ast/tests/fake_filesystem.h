#pragma once

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <expected>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ast_filesystem.h"
#include "invariant.h"

namespace trelk {

// A file system over texts in memory for the tests of the caches. It records
// which thread read which path, in order, and how often it was listed. A
// read can be made to wait until a gate opens, or, once, to break an
// invariant or to exhaust the heap.
class FakeFileSystem final : public AstFileSystem {
 public:
  std::expected<std::string, IoError> read_to_string(
      std::string_view path) const override {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::string key(path);
    reads_.push_back({.path = key, .thread = std::this_thread::get_id()});
    read_made_.notify_all();
    if (!gate_open_ && ::getpid() == gate_process_) {
      // Bounded, so that a cache that serialises reads fails the test
      // instead of hanging it. A child of a fork reads at once.
      gate_.wait_for(lock, kPatience, [&] { return gate_open_; });
    }
    if (broken_.erase(key) != 0) {
      fail_invariant("reading broke");
    }
    if (out_of_memory_.erase(key) != 0) {
      throw std::bad_alloc();
    }
    const auto found = texts_.find(key);
    if (found == texts_.end()) {
      return std::unexpected(IoError{
          .os_error = 2, .text = "No such file or directory (os error 2)"});
    }
    return found->second;
  }

  // The paths put, in byte order, unless set_listing chose another answer.
  std::expected<std::vector<std::string>, IoError> all_files() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++listings_;
    if (listing_) {
      if (!*listing_) {
        return std::unexpected(IoError{.text = "cannot list"});
      }
      return **listing_;
    }
    std::vector<std::string> paths;
    for (const auto& [path, text] : texts_) {
      paths.push_back(path);
    }
    return paths;
  }

  void put(std::string path, std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_[std::move(path)] = std::move(text);
  }
  // The next read of `path` through read_source_file ends as a signal that
  // its caller declined to go on after ends it, with EINTR.
  void interrupt_next_read_of(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_.insert(std::move(path));
  }
  std::expected<std::string, IoError> read_source_file(
      std::string_view path, const GoOnAfterSignal& go_on) const override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (interrupted_.erase(std::string(path)) != 0 && !go_on()) {
        return std::unexpected(IoError{
            .os_error = EINTR, .text = "Interrupted system call (os error 4)"});
      }
    }
    return read_to_string(path);
  }
  void break_next_read_of(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    broken_.insert(std::move(path));
  }
  void exhaust_heap_on_next_read_of(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    out_of_memory_.insert(std::move(path));
  }
  // From now on all_files answers `listing`, or fails with "cannot list"
  // when it is nothing.
  void set_listing(std::optional<std::vector<std::string>> listing) {
    std::lock_guard<std::mutex> lock(mutex_);
    listing_ = std::move(listing);
  }
  // Reads wait until open_gate, in this process only.
  void close_gate() {
    std::lock_guard<std::mutex> lock(mutex_);
    gate_open_ = false;
    gate_process_ = ::getpid();
  }
  void open_gate() {
    std::lock_guard<std::mutex> lock(mutex_);
    gate_open_ = true;
    gate_.notify_all();
  }
  // Waits until `path` has been asked for `count` times in all.
  bool wait_for_reads(std::string_view path, int count) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return read_made_.wait_for(lock, kPatience,
                               [&] { return count_reads_of(path) >= count; });
  }

  struct Read {
    std::string path;
    std::thread::id thread;
  };
  std::vector<Read> reads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
  }
  int reads_of(std::string_view path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_reads_of(path);
  }
  int listings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return listings_;
  }

 private:
  static constexpr std::chrono::seconds kPatience{10};

  // REQUIRES: mutex_ is held.
  int count_reads_of(std::string_view path) const {
    int count = 0;
    for (const Read& read : reads_) {
      count += read.path == path ? 1 : 0;
    }
    return count;
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable gate_;
  mutable std::condition_variable read_made_;
  bool gate_open_ = true;
  pid_t gate_process_ = 0;
  std::map<std::string, std::string> texts_;
  // Set: the answer of all_files, nothing for a failure. Unset: the paths.
  std::optional<std::optional<std::vector<std::string>>> listing_;
  mutable std::set<std::string> broken_;
  mutable std::set<std::string> interrupted_;
  mutable std::set<std::string> out_of_memory_;
  mutable std::vector<Read> reads_;
  mutable int listings_ = 0;
};

}  // namespace trelk
