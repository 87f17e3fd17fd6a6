#include "project_arguments.h"

#include <array>

#include "classes.h"

namespace trelk::py {

std::optional<ProjectArguments> bind_project_arguments(const CallableSpec& spec,
                                                       PyObject* args,
                                                       PyObject* kwargs) {
  std::array<PyObject*, std::size(kProjectParameters)> bound;
  if (!bind_tuple_and_dict(spec, args, kwargs, bound)) {
    return std::nullopt;
  }
  ProjectArguments arguments;
  if (!named("files", to_text_list(bound[0], arguments.files)) ||
      !named("project_root", to_text(bound[1], arguments.project_root)) ||
      !named("filesystem",
             to_optional_filesystem(bound[2], arguments.filesystem))) {
    return std::nullopt;
  }
  return arguments;
}

}  // namespace trelk::py
