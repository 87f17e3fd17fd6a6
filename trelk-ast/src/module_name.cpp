#include "module_name.h"

#include <optional>

#include "path_components.h"
#include "utf8.h"

namespace trelk {

namespace {

// The name of a path that gives no dotted name.
std::string fallback_name(std::string_view path) {
  if (const std::optional<std::string_view> name = path_file_name(path)) {
    const std::string_view stem = split_file_name(*name).stem;
    if (is_valid_utf8(stem)) {
      return std::string(stem);
    }
  }
  return to_utf8_lossy(path);
}

}  // namespace

std::string module_name_for_absolute_path(std::string_view path,
                                          std::string_view project_root) {
  PathComponents components(path);
  PathComponents root(project_root);
  while (std::optional<PathComponent> root_component = root.next()) {
    if (components.next() != root_component) {
      return fallback_name(path);
    }
  }
  std::string name;
  bool collected = false;
  while (std::optional<PathComponent> component = components.next()) {
    if (component->kind != PathComponentKind::Normal) {
      continue;
    }
    std::string_view part = component->text;
    if (!is_valid_utf8(part)) {
      return fallback_name(path);
    }
    if (part.ends_with(".py")) {
      part.remove_suffix(3);
      if (part == "__init__") {
        continue;
      }
    }
    if (collected) {
      name.push_back('.');
    }
    name.append(part);
    collected = true;
  }
  if (!collected) {
    return fallback_name(path);
  }
  return name;
}

}  // namespace trelk
