// The Python class AstProjectIndex: a handle on a shared project index.

#include <array>
#include <atomic>
#include <new>

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "once_object.h"
#include "project_arguments.h"
#include "project_index.h"

namespace trelk::py {

namespace {

struct PyAstProjectIndex {
  PyObject_HEAD AstProjectIndex index;
};

PyAstProjectIndex* as_index(PyObject* self) {
  return reinterpret_cast<PyAstProjectIndex*>(self);
}

constexpr CallableSpec kNewSpec = project_constructor_spec("AstProjectIndex");

PyObject* index_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::optional<ProjectArguments> arguments =
        bind_project_arguments(kNewSpec, args, kwargs);
    if (!arguments) {
      return nullptr;
    }
    std::vector<std::string>& files = arguments->files;
    const std::string_view project_root = arguments->project_root;
    std::shared_ptr<const AstFileSystem>& filesystem = arguments->filesystem;
    // Unlike the parse cache's constructor, `files` stays the index's list
    // also when a file system is given.
    AstProjectIndex index = without_gil([&] {
      std::string root(project_root);
      return filesystem != nullptr
                 ? AstProjectIndex::with_filesystem(
                       std::move(root), std::move(files), std::move(filesystem))
                 : AstProjectIndex(std::move(root), std::move(files));
    });
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) {
      return nullptr;
    }
    new (&as_index(self)->index) AstProjectIndex(std::move(index));
    return self;
  });
}

void index_dealloc(PyObject* self) {
  // Background workers hold handles of their own: the index lives on
  // until they end.
  as_index(self)->index.~AstProjectIndex();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// One query method: binds and converts its two text arguments, runs the
// query with the interpreter lock held (a worker computing a file that the
// query needs never waits for the lock), and wraps the copy it returns.
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
    auto found = (as_index(self)->index.*kQuery)(where, name);
    if (!found) {
      Py_RETURN_NONE;
    }
    return new_record_object(std::move(*found));
  });
}

constexpr std::string_view kByModule[] = {"module", "class_name"};
constexpr std::string_view kByFile[] = {"file_path", "class_name"};
constexpr std::string_view kResolverByModule[] = {"module", "resolver_name"};
constexpr std::string_view kResolverByFile[] = {"file_path", "resolver_name"};
constexpr std::string_view kFunctionByModule[] = {"module", "function_name"};
constexpr std::string_view kFunctionByFile[] = {"file_path", "function_name"};

constexpr CallableSpec query_spec(
    std::string_view function_name,
    std::span<const std::string_view> parameters) {
  return {.class_name = "AstProjectIndex",
          .function_name = function_name,
          .parameters = parameters,
          .required = 2};
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

PyObject* index_nonblocking_start_index(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    as_index(self)->index.nonblocking_start_index();
    Py_RETURN_NONE;
  });
}

template <const CallableSpec& kSpec, auto kQuery>
PyMethodDef query_method(const char* doc) {
  return {.ml_name = kSpec.function_name.data(),
          .ml_meth = reinterpret_cast<PyCFunction>(
              reinterpret_cast<void (*)()>(index_query<kSpec, kQuery>)),
          .ml_flags = METH_FASTCALL | METH_KEYWORDS,
          .ml_doc = doc};
}

PyMethodDef kMethods[] = {
    query_method<kFeatureClassSpec, &AstProjectIndex::feature_class_ast>(
        "feature_class_ast($self, module, class_name)\n--\n\n"),
    query_method<kFeatureClassInFileSpec,
                 &AstProjectIndex::feature_class_ast_in_file>(
        "feature_class_ast_in_file($self, file_path, class_name)\n--\n\n"),
    query_method<kResolverSpec, &AstProjectIndex::resolver_ast>(
        "resolver_ast($self, module, resolver_name)\n--\n\n"),
    query_method<kResolverInFileSpec, &AstProjectIndex::resolver_ast_in_file>(
        "resolver_ast_in_file($self, file_path, resolver_name)\n--\n\n"),
    query_method<kFunctionSpec, &AstProjectIndex::function_ast>(
        "function_ast($self, module, function_name)\n--\n\n"),
    query_method<kFunctionInFileSpec, &AstProjectIndex::function_ast_in_file>(
        "function_ast_in_file($self, file_path, function_name)\n--\n\n"),
    {.ml_name = "nonblocking_start_index",
     .ml_meth = index_nonblocking_start_index,
     .ml_flags = METH_NOARGS,
     .ml_doc = "nonblocking_start_index($self)\n--\n\n"},
    {},
};

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(index_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(index_dealloc)},
    {Py_tp_methods, kMethods},
    {Py_tp_doc,
     const_cast<char*>(
         "AstProjectIndex(files, project_root, filesystem=None)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec kSpec = {
    .name = "builtins.AstProjectIndex",
    .basicsize = sizeof(PyAstProjectIndex),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT,
    .slots = kSlots,
};

}  // namespace

PyTypeObject* ast_project_index_type() {
  static std::atomic<PyObject*> type{nullptr};
  return reinterpret_cast<PyTypeObject*>(
      once_object(type, [] { return PyType_FromSpec(&kSpec); }));
}

}  // namespace trelk::py
