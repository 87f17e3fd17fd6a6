#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trelk {

// A failed file-system operation. Only `text` travels further: it becomes the
// text of the Python OSError or of a cache's stored failure.
struct IoError {
  // The operating system's error number, or 0 for a failure of our own
  // (invalid UTF-8, a NUL in the path).
  int os_error = 0;
  std::string text;
};

// Asked on the reading thread when a signal interrupted a system call of a
// read: true retries the call, false gives the read up with the
// interruption's IoError (EINTR, "Interrupted system call (os error 4)"). It
// lets a caller run its signal handlers, which this layer knows nothing of.
using GoOnAfterSignal = std::function<bool()>;

// The way source analysis reaches source files. Implementations are shared
// between caches, indexes and threads through std::shared_ptr, and must be
// safe to call from any number of threads at once.
class AstFileSystem {
 public:
  virtual ~AstFileSystem() = default;

  // The whole text of the file at `path`, checked to be UTF-8.
  [[nodiscard]] virtual std::expected<std::string, IoError> read_to_string(
      std::string_view path) const = 0;

  // A new copy of the paths this file system serves.
  [[nodiscard]] virtual std::expected<std::vector<std::string>, IoError>
  all_files() const = 0;

  // The whole text of the source file at `path`, as the caches read it: like
  // read_to_string, but only a regular file is read, and anything else (a
  // FIFO, a device, a directory) is a failure of that file, found without
  // blocking. `go_on` is asked after each signal that interrupts a call that
  // blocks. The default is read_to_string, for a file system whose reads
  // never block on the kind of a file.
  [[nodiscard]] virtual std::expected<std::string, IoError> read_source_file(
      std::string_view path, const GoOnAfterSignal& go_on) const;
};

// Serves a fixed list of Python source paths and reads any path from the
// operating system. Immutable after construction.
class StdAstFileSystem final : public AstFileSystem {
 public:
  // Keeps the paths whose extension is exactly "py", sorted by their bytes
  // with duplicates removed. Paths are not normalised.
  explicit StdAstFileSystem(std::vector<std::string> files);

  // Reads `path` exactly as given (relative to the working directory), with
  // every byte kept, a byte-order mark included. A call interrupted by a
  // signal is retried.
  [[nodiscard]] std::expected<std::string, IoError> read_to_string(
      std::string_view path) const override;

  // Reads as above, but asks `go_on` whether to retry each call that a signal
  // interrupted; opening a FIFO that has no writer, or reading one whose
  // writer writes nothing, blocks until a signal or the writer.
  [[nodiscard]] std::expected<std::string, IoError> read_to_string(
      std::string_view path, const GoOnAfterSignal& go_on) const;

  [[nodiscard]] std::expected<std::vector<std::string>, IoError> all_files()
      const override;

  // Opens without blocking and checks the kind of what it opened: a
  // directory fails with EISDIR's text, "Is a directory (os error 21)", as
  // reading one does, and every other kind that is not a regular file with
  // ENXIO's, "No such device or address (os error 6)", the system's own
  // answer to opening a socket or a FIFO that cannot serve.
  [[nodiscard]] std::expected<std::string, IoError> read_source_file(
      std::string_view path, const GoOnAfterSignal& go_on) const override;

  // The served paths, in order.
  const std::vector<std::string>& files() const noexcept { return files_; }

 private:
  std::vector<std::string> files_;
};

// True when the extension of `path`'s final name component is exactly "py".
// The final component ignores trailing separators and "." components; a name
// whose only "." is its first character has no extension, and ".." is no
// name.
[[nodiscard]] bool has_py_extension(std::string_view path) noexcept;

// The text of an operating-system failure: the system's description of
// `error_number`, then " (os error N)".
[[nodiscard]] std::string os_error_text(int error_number);

}  // namespace trelk
