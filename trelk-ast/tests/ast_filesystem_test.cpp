#include "ast_filesystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trelk {
namespace {

TEST(HasPyExtensionTest, FinalNameDecides) {
  struct Case {
    std::string_view path;
    bool kept;
  };
  constexpr Case kCases[] = {
      {.path = "a.py", .kept = true},
      {.path = "a.b.py", .kept = true},
      {.path = "pkg/a.py/", .kept = true},
      {.path = "pkg/a.py/.", .kept = true},
      {.path = "pkg/a.py//./", .kept = true},
      {.path = "..py", .kept = true},
      {.path = "/abs/x.py", .kept = true},
      {.path = ".py", .kept = false},
      {.path = "dir/.py", .kept = false},
      {.path = "a.PY", .kept = false},
      {.path = "a.pyi", .kept = false},
      {.path = "a.py.bak", .kept = false},
      {.path = "a.py.", .kept = false},
      {.path = "pkg/..", .kept = false},
      {.path = "..", .kept = false},
      {.path = ".", .kept = false},
      {.path = "/", .kept = false},
      {.path = "", .kept = false},
      {.path = "py", .kept = false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(has_py_extension(c.path), c.kept);
  }
}

TEST(StdAstFileSystemTest, FiltersSortsAndDeduplicatesByBytes) {
  const StdAstFileSystem fs({"b.py", "a.py", "b.py", "c.txt", ".py", "d.PY",
                             "B.py", "a.py/", "./a.py", "\xC3\xA9.py"});
  const std::vector<std::string> expected = {"./a.py", "B.py", "a.py",
                                             "a.py/",  "b.py", "\xC3\xA9.py"};
  EXPECT_EQ(fs.files(), expected);
  EXPECT_EQ(fs.all_files().value(), expected);
}

TEST(StdAstFileSystemTest, EmptyListServesNothing) {
  const StdAstFileSystem fs({});
  EXPECT_TRUE(fs.all_files().value().empty());
}

TEST(OsErrorTextTest, DescriptionThenNumber) {
  EXPECT_EQ(os_error_text(2), "No such file or directory (os error 2)");
}

// A FIFO in a new temporary directory; both are removed with it.
class Fifo {
 public:
  Fifo() {
    char pattern[] = "/tmp/trelk_fifo_XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      directory_ = pattern;
      path_ = directory_ + "/pipe.py";
      if (mkfifo(path_.c_str(), 0600) != 0) {
        path_.clear();
      }
    }
  }
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;
  ~Fifo() {
    if (!path_.empty()) {
      unlink(path_.c_str());
    }
    if (!directory_.empty()) {
      rmdir(directory_.c_str());
    }
  }
  const std::string& path() const { return path_; }

 private:
  std::string directory_;
  std::string path_;
};

// Every byte arrives, whatever the length: a regular file's length sizes the
// text, and a FIFO, whose length is not known, makes it grow from a first
// read of 16 KiB. The lengths sit at both sides of those sizes and of
// several doublings.
TEST(StdAstFileSystemTest, ReadsEveryByteOfFilesAndFifos) {
  const StdAstFileSystem fs({});
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{16383}, std::size_t{16384},
        std::size_t{16385}, std::size_t{(1 << 20) + 3}}) {
    SCOPED_TRACE(size);
    std::string text;
    for (std::size_t at = 0; at < size; ++at) {
      text.push_back(at % 61 == 60 ? '\n' : static_cast<char>('a' + at % 26));
    }
    const Fifo fifo;
    ASSERT_FALSE(fifo.path().empty());
    const std::string file = fifo.path() + ".file.py";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()),
              static_cast<ssize_t>(text.size()));
    ::close(fd);
    const auto from_file = fs.read_to_string(file);
    ::unlink(file.c_str());
    ASSERT_TRUE(from_file.has_value()) << from_file.error().text;
    EXPECT_EQ(*from_file, text);
    std::thread writer([&fifo, &text] {
      const int out = ::open(fifo.path().c_str(), O_WRONLY | O_CLOEXEC);
      for (std::size_t at = 0; out >= 0 && at < text.size();) {
        // Pieces of 5000 bytes, so that reads end between doublings.
        const ssize_t put =
            ::write(out, text.data() + at,
                    std::min<std::size_t>(5000, text.size() - at));
        if (put <= 0) {
          break;
        }
        at += static_cast<std::size_t>(put);
      }
      if (out >= 0) {
        ::close(out);
      }
    });
    const auto from_fifo = fs.read_to_string(fifo.path());
    writer.join();
    ASSERT_TRUE(from_fifo.has_value()) << from_fifo.error().text;
    EXPECT_EQ(*from_fifo, text);
  }
}

// The caches read regular files only: whatever else a path names fails at
// once, with the text of the kind, while read_to_string reads what it is
// given. A FIFO without a writer would block an open(): if a read has not
// ended after 10 s, a writer opens it so that the test fails instead of
// hanging.
TEST(StdAstFileSystemTest, SourceFilesAreRegularFilesOnly) {
  const Fifo fifo;
  ASSERT_FALSE(fifo.path().empty());
  const std::string directory = fifo.path().substr(0, fifo.path().rfind('/'));
  const std::string regular = directory + "/a.py";
  {
    const int fd =
        ::open(regular.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "x = 1\n", 6), 6);
    ::close(fd);
  }
  struct Case {
    std::string_view label;
    std::string path;
    std::string_view source_file;  // the text or the failure's text
    std::string_view any_file;     // the same through read_to_string
  };
  const Case kCases[] = {
      {.label = "regular",
       .path = regular,
       .source_file = "x = 1\n",
       .any_file = "x = 1\n"},
      {.label = "directory",
       .path = directory,
       .source_file = "Is a directory (os error 21)",
       .any_file = "Is a directory (os error 21)"},
      {.label = "device",
       .path = "/dev/null",
       .source_file = "No such device or address (os error 6)",
       .any_file = ""},
      {.label = "fifo",
       .path = fifo.path(),
       .source_file = "No such device or address (os error 6)",
       .any_file = ""},
  };
  const StdAstFileSystem fs({});
  const GoOnAfterSignal go_on = [] { return true; };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    std::atomic<bool> done = false;
    std::thread rescuer([&] {
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!done.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (!done.load()) {
        ADD_FAILURE() << "the read blocked";
        const int fd = ::open(c.path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
          ::close(fd);
        }
      }
    });
    const auto source = fs.read_source_file(c.path, go_on);
    done.store(true);
    rescuer.join();
    EXPECT_EQ(source ? *source : source.error().text, c.source_file);
    if (c.label != "fifo") {
      const auto any = fs.read_to_string(c.path);
      EXPECT_EQ(any ? *any : any.error().text, c.any_file);
    }
  }
  ::unlink(regular.c_str());
}

// SIGUSR1 with a handler that does nothing, installed without SA_RESTART so
// that it interrupts a blocked open() or read(), as the interpreter's own
// handlers do. The previous action comes back with the destructor.
class InterruptingSignal {
 public:
  InterruptingSignal() {
    struct sigaction action = {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    installed_ = sigaction(SIGUSR1, &action, &previous_) == 0;
  }
  InterruptingSignal(const InterruptingSignal&) = delete;
  InterruptingSignal& operator=(const InterruptingSignal&) = delete;
  ~InterruptingSignal() {
    if (installed_) {
      sigaction(SIGUSR1, &previous_, nullptr);
    }
  }
  bool installed() const { return installed_; }

 private:
  struct sigaction previous_ = {};
  bool installed_ = false;
};

// A read blocked on a FIFO, in open() (no writer yet) or in read() (a writer
// that writes nothing), is interrupted by signals until it asks whether to go
// on. Declining ends it with EINTR's error; going on retries the call, and
// the read then takes what the writer writes. Every wait is bounded: if no
// interruption is asked about within 10 s, the writer ends the read itself.
TEST(StdAstFileSystemSignalTest, AsksWhetherToGoOnAfterEachInterruption) {
  struct Case {
    std::string_view label;
    bool blocked_in_read;
    bool go_on;
  };
  constexpr Case kCases[] = {
      {.label = "open, give up", .blocked_in_read = false, .go_on = false},
      {.label = "open, go on", .blocked_in_read = false, .go_on = true},
      {.label = "read, give up", .blocked_in_read = true, .go_on = false},
      {.label = "read, go on", .blocked_in_read = true, .go_on = true},
  };
  const InterruptingSignal signal;
  ASSERT_TRUE(signal.installed());
  const StdAstFileSystem fs({});
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    const Fifo fifo;
    ASSERT_FALSE(fifo.path().empty());
    std::atomic<int> asked = 0;
    std::atomic<bool> done = false;
    const pthread_t reader = pthread_self();
    std::thread writer([&] {
      int fd = -1;
      if (c.blocked_in_read) {
        // Returns once the reader has opened its end.
        fd = ::open(fifo.path().c_str(), O_WRONLY | O_CLOEXEC);
      }
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (asked.load() == 0 && !done.load() &&
             std::chrono::steady_clock::now() < deadline) {
        pthread_kill(reader, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (c.go_on || asked.load() == 0) {
        if (fd < 0) {
          // Blocks until the reader is back in open(), or, when it was never
          // interrupted, opens at once beside it.
          fd = ::open(fifo.path().c_str(),
                      (asked.load() == 0 ? O_NONBLOCK : 0) | O_WRONLY);
        }
        if (c.go_on && fd >= 0) {
          EXPECT_EQ(::write(fd, "x = 1\n", 6), 6);
        }
      } else {
        while (!done.load()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
      }
      if (fd >= 0) {
        ::close(fd);
      }
    });
    const auto text = fs.read_to_string(fifo.path(), [&] {
      asked.fetch_add(1);
      return c.go_on;
    });
    done.store(true);
    writer.join();
    EXPECT_GE(asked.load(), 1);
    if (c.go_on) {
      ASSERT_TRUE(text.has_value()) << text.error().text;
      EXPECT_EQ(*text, "x = 1\n");
    } else {
      ASSERT_FALSE(text.has_value());
      EXPECT_EQ(text.error().os_error, EINTR);
      EXPECT_EQ(text.error().text, "Interrupted system call (os error 4)");
    }
  }
}

}  // namespace
}  // namespace trelk
