// The Python class StdAstFileSystem: a shared, immutable StdAstFileSystem.

#include <array>
#include <atomic>
#include <new>

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "once_object.h"

namespace trelk::py {

namespace {

struct PyStdAstFileSystem {
  PyObject_HEAD std::shared_ptr<const StdAstFileSystem> filesystem;
};

PyStdAstFileSystem* as_filesystem(PyObject* self) {
  return reinterpret_cast<PyStdAstFileSystem*>(self);
}

// Raises the OSError of a failed file-system operation: the text is its only
// argument, so errno stays None and no errno subclass is chosen.
void raise_io_error(const IoError& error) {
  raise_with_message(PyExc_OSError, error.text);
}

constexpr std::string_view kNewParameters[] = {"files"};
constexpr CallableSpec kNewSpec = {.class_name = "StdAstFileSystem",
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
    if (!named("files", to_text_list(bound[0], files))) {
      return nullptr;
    }
    auto filesystem =
        std::make_shared<const StdAstFileSystem>(std::move(files));
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) {
      return nullptr;
    }
    new (&as_filesystem(self)->filesystem)
        std::shared_ptr<const StdAstFileSystem>(std::move(filesystem));
    return self;
  });
}

void filesystem_dealloc(PyObject* self) {
  as_filesystem(self)->filesystem.~shared_ptr();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

constexpr std::string_view kReadParameters[] = {"path"};
constexpr CallableSpec kReadSpec = {.class_name = "StdAstFileSystem",
                                    .function_name = "read_to_string",
                                    .parameters = kReadParameters,
                                    .required = 1};

PyObject* filesystem_read_to_string(PyObject* self, PyObject* const* args,
                                    Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 1> bound;
    if (!bind_fastcall(kReadSpec, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    std::string_view path;
    if (!named("path", to_text(bound[0], path))) {
      return nullptr;
    }
    const StdAstFileSystem& filesystem = *as_filesystem(self)->filesystem;
    // After a signal interrupts the read, the handlers run with the lock
    // taken back, as in the interpreter's own I/O: Ctrl-C on a FIFO that
    // blocks is its KeyboardInterrupt, not a false I/O failure, and is not
    // held back until the writer closes. A handler that raised ends the read
    // with its exception, which stays set for this thread; otherwise the call
    // is retried.
    bool handler_raised = false;
    const GoOnAfterSignal go_on = [&handler_raised] {
      return run_signal_handlers(handler_raised);
    };
    auto text =
        without_gil([&] { return filesystem.read_to_string(path, go_on); });
    if (handler_raised) {
      return nullptr;
    }
    if (!text) {
      raise_io_error(text.error());
      return nullptr;
    }
    return new_str(*text).release();
  });
}

PyObject* filesystem_all_files(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const StdAstFileSystem& filesystem = *as_filesystem(self)->filesystem;
    auto files = without_gil([&] { return filesystem.all_files(); });
    if (!files) {
      raise_io_error(files.error());
      return nullptr;
    }
    return new_str_list(*files).release();
  });
}

PyMethodDef kMethods[] = {
    {.ml_name = "read_to_string",
     .ml_meth = reinterpret_cast<PyCFunction>(
         reinterpret_cast<void (*)()>(filesystem_read_to_string)),
     .ml_flags = METH_FASTCALL | METH_KEYWORDS,
     .ml_doc = "read_to_string($self, path)\n--\n\n"},
    {.ml_name = "all_files",
     .ml_meth = filesystem_all_files,
     .ml_flags = METH_NOARGS,
     .ml_doc = "all_files($self)\n--\n\n"},
    {},
};

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(filesystem_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(filesystem_dealloc)},
    {Py_tp_methods, kMethods},
    {Py_tp_doc, const_cast<char*>("StdAstFileSystem(files)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec kSpec = {
    .name = "builtins.StdAstFileSystem",
    .basicsize = sizeof(PyStdAstFileSystem),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT,
    .slots = kSlots,
};

}  // namespace

PyTypeObject* std_ast_filesystem_type() {
  static std::atomic<PyObject*> type{nullptr};
  return reinterpret_cast<PyTypeObject*>(
      once_object(type, [] { return PyType_FromSpec(&kSpec); }));
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
  filesystem = as_filesystem(object)->filesystem;
  return true;
}

}  // namespace trelk::py
