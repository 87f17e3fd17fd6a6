#include "ast_filesystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "path_components.h"
#include "utf8.h"

namespace trelk {

bool has_py_extension(std::string_view path) noexcept {
  return path_extension(path) == "py";
}

std::string os_error_text(int error_number) {
  char buffer[256];
  // The GNU strerror_r returns a pointer that need not be `buffer`.
  const char* description = strerror_r(error_number, buffer, sizeof buffer);
  std::string text(description);
  text += " (os error ";
  text += std::to_string(error_number);
  text += ')';
  return text;
}

StdAstFileSystem::StdAstFileSystem(std::vector<std::string> files) {
  std::erase_if(
      files, [](const std::string& path) { return !has_py_extension(path); });
  // std::string compares as unsigned bytes, which is the order wanted.
  std::stable_sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  files_ = std::move(files);
}

namespace {

// Closes a descriptor on every path out of read_to_string.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

IoError os_error(int error_number) {
  return IoError{.os_error = error_number, .text = os_error_text(error_number)};
}

// Runs `call`, a system call that returns -1 and sets errno when it fails,
// again after each interruption by a signal for as long as `go_on` agrees.
// Returns its last result, with errno EINTR when `go_on` declined.
template <typename Call>
auto retry_after_signals(const GoOnAfterSignal& go_on, Call call) {
  while (true) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) {
      return result;
    }
    // `go_on` may run code of any kind, which may change errno.
    if (!go_on()) {
      errno = EINTR;
      return result;
    }
  }
}

// The room for the first read of a file whose length is not known (a FIFO, a
// file of /proc).
constexpr std::size_t kFirstRead = 16 * 1024;

// Gives `text` `size` bytes without setting the new ones, for read(2) to
// fill: nothing reads them before it has. Bytes already there are kept.
void resize_unset(std::string& text, std::size_t size) {
  text.resize_and_overwrite(size,
                            [](char*, std::size_t count) { return count; });
}

// Which files a read takes: any that opens, or only a regular file.
enum class FileKinds { kAny, kRegularOnly };

std::expected<std::string, IoError> read_file(std::string_view path,
                                              const GoOnAfterSignal& go_on,
                                              FileKinds kinds) {
  if (path.find('\0') != std::string_view::npos) {
    return std::unexpected(
        IoError{.text = "file name contained an unexpected NUL byte"});
  }
  const std::string c_path(path);
  // Opening a FIFO without a writer blocks, and so may opening a device,
  // unless O_NONBLOCK is given; for a regular file it changes nothing.
  // O_NOCTTY: opening a terminal must not make it this process's own.
  const int flags = kinds == FileKinds::kRegularOnly
                        ? O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY
                        : O_RDONLY | O_CLOEXEC;
  int opened = retry_after_signals(
      go_on, [&c_path, flags] { return ::open(c_path.c_str(), flags); });
  if (opened < 0 && errno == EWOULDBLOCK && (flags & O_NONBLOCK) != 0) {
    // Only a file that another process holds a lease on answers a
    // non-blocking open so; such a file is regular, and its open waits for
    // the lease to be let go, as any reader's does. The lease's holder was
    // told by a signal, which may be this process's own: its handlers run
    // before the wait, which it could not interrupt.
    if (!go_on()) {
      return std::unexpected(os_error(EINTR));
    }
    opened = retry_after_signals(go_on, [&c_path, flags] {
      return ::open(c_path.c_str(), flags & ~O_NONBLOCK);
    });
  }
  FileDescriptor fd(opened);
  if (fd.get() < 0) {
    return std::unexpected(os_error(errno));
  }
  // The bytes go straight into the string's own storage. A regular file's
  // length sizes it, one byte more so that the read that finds the end needs
  // no room of its own; anything else, or a file that grows, doubles it each
  // time it fills.
  struct stat info;
  const bool known = ::fstat(fd.get(), &info) == 0;
  if (kinds == FileKinds::kRegularOnly) {
    if (!known) {
      return std::unexpected(os_error(errno));
    }
    if (S_ISDIR(info.st_mode)) {
      return std::unexpected(os_error(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
      return std::unexpected(os_error(ENXIO));
    }
  }
  const bool sized = known && S_ISREG(info.st_mode) && info.st_size > 0;
  std::string text;
  resize_unset(text,
               sized ? static_cast<std::size_t>(info.st_size) + 1 : kFirstRead);
  std::size_t size = 0;
  while (true) {
    if (size == text.size()) {
      resize_unset(text, 2 * size);
    }
    const ssize_t got = retry_after_signals(go_on, [&fd, &text, size] {
      return ::read(fd.get(), text.data() + size, text.size() - size);
    });
    if (got < 0) {
      return std::unexpected(os_error(errno));
    }
    if (got == 0) {
      break;
    }
    size += static_cast<std::size_t>(got);
  }
  text.resize(size);
  if (!is_valid_utf8(text)) {
    return std::unexpected(
        IoError{.text = "stream did not contain valid UTF-8"});
  }
  return text;
}

}  // namespace

std::expected<std::string, IoError> AstFileSystem::read_source_file(
    std::string_view path, const GoOnAfterSignal&) const {
  return read_to_string(path);
}

std::expected<std::string, IoError> StdAstFileSystem::read_to_string(
    std::string_view path) const {
  return read_to_string(path, [] { return true; });
}

std::expected<std::string, IoError> StdAstFileSystem::read_to_string(
    std::string_view path, const GoOnAfterSignal& go_on) const {
  return read_file(path, go_on, FileKinds::kAny);
}

std::expected<std::string, IoError> StdAstFileSystem::read_source_file(
    std::string_view path, const GoOnAfterSignal& go_on) const {
  return read_file(path, go_on, FileKinds::kRegularOnly);
}

std::expected<std::vector<std::string>, IoError> StdAstFileSystem::all_files()
    const {
  return files_;
}

}  // namespace trelk
