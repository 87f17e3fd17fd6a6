#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trelk {

// The kinds of the pieces of a POSIX path.
enum class PathComponentKind : unsigned char {
  RootDir,    // the leading "/"
  CurDir,     // a "." that begins a relative path
  ParentDir,  // ".."
  Normal,     // any other name
};

struct PathComponent {
  PathComponentKind kind;
  // The component's bytes: "/" for the root, "." or ".." or the name.
  std::string_view text;

  friend bool operator==(const PathComponent&, const PathComponent&) = default;
};

// Reads a path's components left to right, the way module naming and the
// extension rule see a path: repeated separators count as one, trailing
// separators are ignored, and a "." is kept only where it begins a relative
// path ("./a" starts with CurDir; "a/./b" and "a/." hold no "."). So "/r" and
// "/r/" have the same components, and "a.py/." ends in the name "a.py".
// No component is resolved against the file system. The reader is a view:
// `path` must outlive it.
class PathComponents {
 public:
  explicit PathComponents(std::string_view path);

  // The next component, or nothing when the path is used up.
  std::optional<PathComponent> next();

 private:
  std::string_view rest_;
  bool at_start_ = true;
};

// The final name of `path`: its last component when that is a Normal one;
// nothing for "/", ".", ".." or "a/..".
[[nodiscard]] std::optional<std::string_view> path_file_name(
    std::string_view path);

// A final name split at its last ".". A name whose only "." is its first
// character (".env") is all stem and has no extension; a name without a
// "." has no extension; "a." has the empty extension.
struct FileNameParts {
  std::string_view stem;
  std::optional<std::string_view> extension;
};
[[nodiscard]] FileNameParts split_file_name(std::string_view name);

// The extension of `path`'s final name, if it has one.
[[nodiscard]] std::optional<std::string_view> path_extension(
    std::string_view path);

// True when `path` starts at the root.
[[nodiscard]] inline bool is_absolute_path(std::string_view path) {
  return !path.empty() && path.front() == '/';
}

// `base` joined with `path` by one separator (none when `base` is empty or
// already ends in one); an absolute `path` replaces `base`. Nothing is
// normalised.
[[nodiscard]] std::string join_path(std::string_view base,
                                    std::string_view path);

}  // namespace trelk
