#pragma once

#include <Python.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ast_filesystem.h"
#include "binding.h"

// The arguments that the constructors of AstFileParserCache and
// AstProjectIndex share: (files, project_root, filesystem=None).
namespace trelk::py {

inline constexpr std::string_view kProjectParameters[] = {
    "files", "project_root", "filesystem"};

// The constructor of `class_name` with those parameters.
constexpr CallableSpec project_constructor_spec(std::string_view class_name) {
  return {.class_name = class_name,
          .function_name = "__new__",
          .parameters = kProjectParameters,
          .required = 2};
}

struct ProjectArguments {
  std::vector<std::string> files;
  // A view of the caller's str argument: valid while the call lasts.
  std::string_view project_root;
  // Empty when `filesystem` was not given or None.
  std::shared_ptr<const AstFileSystem> filesystem;
};

// Binds a constructor call to `spec` (made by project_constructor_spec) and
// converts the three arguments in order. Nothing, with the Python exception
// set, when binding or a conversion fails. REQUIRES: the interpreter lock.
[[nodiscard]] std::optional<ProjectArguments> bind_project_arguments(
    const CallableSpec& spec, PyObject* args, PyObject* kwargs);

}  // namespace trelk::py
