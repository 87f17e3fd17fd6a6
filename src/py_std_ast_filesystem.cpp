// The Python class StdAstFileSystem: a shared, immutable StdAstFileSystem.

#include <array>
#include <atomic>
#include <new>

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "py_class.h"

namespace trelk::py {

namespace {

// Instances share the file system: a cache or an index made with one keeps it
// alive.
using SharedFileSystem = std::shared_ptr<const StdAstFileSystem>;

const StdAstFileSystem& filesystem_of(PyObject* self) {
  return *native_of<SharedFileSystem>(self);
}

// Raises the OSError of a failed file-system operation: the text is its only
// argument, so errno stays None and no errno subclass is chosen.
void raise_io_error(const IoError& error) {
  raise_with_message(PyExc_OSError, error.text);
}

constexpr std::string_view kClassName = "StdAstFileSystem";

constexpr std::string_view kNewParameters[] = {"files"};
constexpr CallableSpec kNewSpec = {.class_name = kClassName,
                                   .function_name = "__new__",
                                   .parameters = kNewParameters,
                                   .required = 1};

PyObject* filesystem_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 1> bound;
    if (!bind_tuple_and_dict(kNewSpec, args, kwargs, bound)) {
      return nullptr;
    }
    std::vector<std::string> files;
    if (!named(kNewSpec.parameters[0], to_text_list(bound[0], files))) {
      return nullptr;
    }
    return new_native_object(
        type, SharedFileSystem(
                  std::make_shared<const StdAstFileSystem>(std::move(files))));
  });
}

constexpr std::string_view kReadParameters[] = {"path"};
constexpr CallableSpec kReadSpec = {.class_name = kClassName,
                                    .function_name = "read_to_string",
                                    .parameters = kReadParameters,
                                    .required = 1};

PyObject* filesystem_read_to_string(PyObject* self, PyObject* const* args,
                                    Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::string_view path;
    if (!bind_text(kReadSpec, args, nargs, kwnames, path)) {
      return nullptr;
    }
    const StdAstFileSystem& filesystem = filesystem_of(self);
    auto text =
        without_gil_answering_signals([&](const GoOnAfterSignal& go_on) {
          return filesystem.read_to_string(path, go_on);
        });
    if (!text) {
      return nullptr;
    }
    if (!*text) {
      raise_io_error(text->error());
      return nullptr;
    }
    return new_str(**text).release();
  });
}

constexpr CallableSpec kAllFilesSpec = {.class_name = kClassName,
                                        .function_name = "all_files",
                                        .parameters = {},
                                        .required = 0};

PyObject* filesystem_all_files(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const StdAstFileSystem& filesystem = filesystem_of(self);
    auto files = without_gil([&] { return filesystem.all_files(); });
    if (!files) {
      raise_io_error(files.error());
      return nullptr;
    }
    return new_str_list(*files).release();
  });
}

PyMethodDef kMethods[] = {
    method_definition<kReadSpec>(filesystem_read_to_string),
    method_definition<kAllFilesSpec>(filesystem_all_files),
    {},
};

constexpr ClassDefinition kClass = {.name = "builtins.StdAstFileSystem",
                                    .constructor = &kNewSpec,
                                    .construct = filesystem_new,
                                    .methods = kMethods};

}  // namespace

PyTypeObject* std_ast_filesystem_type() {
  return class_object<SharedFileSystem, kClass>();
}

bool to_optional_filesystem(PyObject* object,
                            std::shared_ptr<const AstFileSystem>& filesystem) {
  filesystem.reset();
  if (object == nullptr || object == Py_None) {
    return true;
  }
  PyTypeObject* type = std_ast_filesystem_type();
  if (type == nullptr) {
    return false;
  }
  if (!PyObject_TypeCheck(object, type)) {
    raise_not_an_instance(object, "StdAstFileSystem");
    return false;
  }
  filesystem = native_of<SharedFileSystem>(object);
  return true;
}

}  // namespace trelk::py
