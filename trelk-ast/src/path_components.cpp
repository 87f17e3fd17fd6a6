#include "path_components.h"

namespace trelk {

PathComponents::PathComponents(std::string_view path) : rest_(path) {}

std::optional<PathComponent> PathComponents::next() {
  if (at_start_) {
    at_start_ = false;
    if (!rest_.empty() && rest_.front() == '/') {
      const std::string_view root = rest_.substr(0, 1);
      rest_.remove_prefix(1);
      return PathComponent{.kind = PathComponentKind::RootDir, .text = root};
    }
    if (rest_ == "." || rest_.starts_with("./")) {
      const std::string_view dot = rest_.substr(0, 1);
      rest_.remove_prefix(1);
      return PathComponent{.kind = PathComponentKind::CurDir, .text = dot};
    }
  }
  while (true) {
    while (!rest_.empty() && rest_.front() == '/') {
      rest_.remove_prefix(1);
    }
    if (rest_.empty()) {
      return std::nullopt;
    }
    const std::size_t slash = rest_.find('/');
    const std::string_view name = rest_.substr(0, slash);
    rest_.remove_prefix(name.size());
    if (name == ".") {
      continue;
    }
    return PathComponent{.kind = name == ".." ? PathComponentKind::ParentDir
                                              : PathComponentKind::Normal,
                         .text = name};
  }
}

std::optional<std::string_view> path_file_name(std::string_view path) {
  std::optional<PathComponent> last;
  PathComponents components(path);
  while (std::optional<PathComponent> component = components.next()) {
    last = component;
  }
  if (!last || last->kind != PathComponentKind::Normal) {
    return std::nullopt;
  }
  return last->text;
}

FileNameParts split_file_name(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    return {.stem = name, .extension = std::nullopt};
  }
  return {.stem = name.substr(0, dot), .extension = name.substr(dot + 1)};
}

std::optional<std::string_view> path_extension(std::string_view path) {
  const std::optional<std::string_view> name = path_file_name(path);
  if (!name) {
    return std::nullopt;
  }
  return split_file_name(*name).extension;
}

std::string join_path(std::string_view base, std::string_view path) {
  if (is_absolute_path(path) || base.empty()) {
    return std::string(path);
  }
  std::string joined(base);
  if (joined.back() != '/') {
    joined.push_back('/');
  }
  joined.append(path);
  return joined;
}

}  // namespace trelk
