// The Python class AstProjectIndex: a handle on a shared project index.

#include <array>

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "project_arguments.h"
#include "project_index.h"
#include "py_class.h"

namespace trelk::py {

namespace {

constexpr std::string_view kClassName = "AstProjectIndex";

const AstProjectIndex& index_of(PyObject* self) {
  return native_of<AstProjectIndex>(self);
}

constexpr CallableSpec kNewSpec = project_constructor_spec(kClassName);

PyObject* index_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::optional<ProjectArguments> arguments =
        bind_project_arguments(kNewSpec, args, kwargs);
    if (!arguments) {
      return nullptr;
    }
    // Unlike the parse cache's constructor, `files` stays the index's list
    // also when a file system is given.
    AstProjectIndex index = without_gil([&arguments] {
      std::string root(arguments->project_root);
      std::vector<std::string>& files = arguments->files;
      return arguments->filesystem != nullptr
                 ? AstProjectIndex::with_filesystem(
                       std::move(root), std::move(files),
                       std::move(arguments->filesystem))
                 : AstProjectIndex(std::move(root), std::move(files));
    });
    // Background workers hold handles of their own: the index lives on
    // after the object until they end.
    return new_native_object(type, std::move(index));
  });
}

// One query method: binds and converts its two text arguments, runs the
// query with the interpreter lock held (a worker computing a file that the
// query needs never waits for the lock), and wraps the record it finds,
// shared with the index rather than copied.
template <const CallableSpec& kSpec, auto kQuery>
PyObject* index_query(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!bind_fastcall(kSpec, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    std::string_view where;
    std::string_view name;
    if (!named(kSpec.parameters[0], to_text(bound[0], where)) ||
        !named(kSpec.parameters[1], to_text(bound[1], name))) {
      return nullptr;
    }
    auto found = (index_of(self).*kQuery)(where, name);
    if (!found) {
      Py_RETURN_NONE;
    }
    return new_record_object(std::move(found));
  });
}

constexpr std::string_view kByModule[] = {"module", "class_name"};
constexpr std::string_view kByFile[] = {"file_path", "class_name"};
constexpr std::string_view kResolverByModule[] = {"module", "resolver_name"};
constexpr std::string_view kResolverByFile[] = {"file_path", "resolver_name"};
constexpr std::string_view kFunctionByModule[] = {"module", "function_name"};
constexpr std::string_view kFunctionByFile[] = {"file_path", "function_name"};

constexpr CallableSpec query_spec(std::string_view function_name,
                                  std::span<const std::string_view> parameters,
                                  std::size_t required = 2) {
  return {.class_name = kClassName,
          .function_name = function_name,
          .parameters = parameters,
          .required = required};
}

constexpr CallableSpec kFeatureClassSpec =
    query_spec("feature_class_ast", kByModule);
constexpr CallableSpec kFeatureClassInFileSpec =
    query_spec("feature_class_ast_in_file", kByFile);
constexpr CallableSpec kResolverSpec =
    query_spec("resolver_ast", kResolverByModule);
constexpr CallableSpec kResolverInFileSpec =
    query_spec("resolver_ast_in_file", kResolverByFile);
constexpr CallableSpec kFunctionSpec =
    query_spec("function_ast", kFunctionByModule);
constexpr CallableSpec kFunctionInFileSpec =
    query_spec("function_ast_in_file", kFunctionByFile);

constexpr CallableSpec kStartIndexSpec =
    query_spec("nonblocking_start_index", {}, 0);

PyObject* index_nonblocking_start_index(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    index_of(self).nonblocking_start_index();
    Py_RETURN_NONE;
  });
}

template <const CallableSpec& kSpec, auto kQuery>
PyMethodDef query_method() {
  return method_definition<kSpec>(index_query<kSpec, kQuery>);
}

PyMethodDef kMethods[] = {
    query_method<kFeatureClassSpec,
                 &AstProjectIndex::shared_feature_class_ast>(),
    query_method<kFeatureClassInFileSpec,
                 &AstProjectIndex::shared_feature_class_ast_in_file>(),
    query_method<kResolverSpec, &AstProjectIndex::shared_resolver_ast>(),
    query_method<kResolverInFileSpec,
                 &AstProjectIndex::shared_resolver_ast_in_file>(),
    query_method<kFunctionSpec, &AstProjectIndex::shared_function_ast>(),
    query_method<kFunctionInFileSpec,
                 &AstProjectIndex::shared_function_ast_in_file>(),
    method_definition<kStartIndexSpec>(index_nonblocking_start_index),
    {},
};

constexpr ClassDefinition kClass = {.name = "builtins.AstProjectIndex",
                                    .constructor = &kNewSpec,
                                    .construct = index_new,
                                    .methods = kMethods};

}  // namespace

PyTypeObject* ast_project_index_type() {
  return class_object<AstProjectIndex, kClass>();
}

}  // namespace trelk::py
