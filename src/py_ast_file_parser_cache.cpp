// The Python class AstFileParserCache: a handle on a shared parse cache.

#include <array>
#include <atomic>
#include <new>

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "once_object.h"
#include "parse_cache.h"
#include "project_arguments.h"

namespace trelk::py {

namespace {

struct PyAstFileParserCache {
  PyObject_HEAD AstFileParserCache cache;
};

PyAstFileParserCache* as_cache(PyObject* self) {
  return reinterpret_cast<PyAstFileParserCache*>(self);
}

constexpr CallableSpec kNewSpec =
    project_constructor_spec("AstFileParserCache");

PyObject* cache_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::optional<ProjectArguments> arguments =
        bind_project_arguments(kNewSpec, args, kwargs);
    if (!arguments) {
      return nullptr;
    }
    std::vector<std::string>& files = arguments->files;
    const std::string_view project_root = arguments->project_root;
    std::shared_ptr<const AstFileSystem>& filesystem = arguments->filesystem;
    // With a file system given, `files` was only checked: the cache serves
    // that file system's files. The listing and naming run with the lock
    // held.
    AstFileParserCache cache =
        filesystem != nullptr
            ? AstFileParserCache::with_filesystem(std::string(project_root),
                                                  std::move(filesystem))
            : AstFileParserCache(std::string(project_root), std::move(files));
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) {
      return nullptr;
    }
    new (&as_cache(self)->cache) AstFileParserCache(std::move(cache));
    return self;
  });
}

void cache_dealloc(PyObject* self) {
  as_cache(self)->cache.~AstFileParserCache();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* cache_all_files(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const AstFileParserCache& cache = as_cache(self)->cache;
    auto files = without_gil([&] { return cache.all_files(); });
    if (!files) {
      raise_with_message(PyExc_OSError, files.error().text);
      return nullptr;
    }
    return new_str_list(*files).release();
  });
}

// module → name → sorted list of local names, as new dicts.
PyRef new_import_map(const ImportMap& imports) {
  PyRef modules = PyRef::steal(PyDict_New());
  if (!modules) {
    return {};
  }
  for (const auto& [module, names] : imports) {
    PyRef by_name = PyRef::steal(PyDict_New());
    if (!by_name) {
      return {};
    }
    for (const auto& [name, locals] : names) {
      // The set is ordered by bytes already.
      PyRef list = new_str_list({locals.begin(), locals.end()});
      if (PyDict_SetItem(by_name.get(), new_str(name).get(), list.get()) < 0) {
        return {};
      }
    }
    if (PyDict_SetItem(modules.get(), new_str(module).get(), by_name.get()) <
        0) {
      return {};
    }
  }
  return modules;
}

constexpr std::string_view kGetParameters[] = {"path"};
constexpr CallableSpec kGetSpec = {.class_name = "AstFileParserCache",
                                   .function_name = "get_parsed_file",
                                   .parameters = kGetParameters,
                                   .required = 1};

PyObject* cache_get_parsed_file(PyObject* self, PyObject* const* args,
                                Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 1> bound;
    if (!bind_fastcall(kGetSpec, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    std::string_view path;
    if (!named("path", to_text(bound[0], path))) {
      return nullptr;
    }
    const AstFileParserCache& cache = as_cache(self)->cache;
    // Ctrl-C during a read that blocks, or during the wait for another
    // thread's read of the path, is answered as read_to_string answers it;
    // the interrupted read is not kept as the file's failure.
    bool handler_raised = false;
    const GoOnAfterSignal go_on = [&handler_raised] {
      return run_signal_handlers(handler_raised);
    };
    auto parsed =
        without_gil([&] { return cache.get_parsed_file(path, go_on); });
    if (handler_raised) {
      return nullptr;
    }
    if (!parsed) {
      raise_with_message(PyExc_ValueError, parsed.error());
      return nullptr;
    }
    const ParsedFileCache& file = **parsed;
    PyRef path_text = new_str(file.path());
    PyRef source_text = new_str(file.source_text());
    PyRef imports = new_import_map(file.import_map());
    if (!imports) {
      return nullptr;
    }
    return PyTuple_Pack(3, path_text.get(), source_text.get(), imports.get());
  });
}

PyMethodDef kMethods[] = {
    {.ml_name = "all_files",
     .ml_meth = cache_all_files,
     .ml_flags = METH_NOARGS,
     .ml_doc = "all_files($self)\n--\n\n"},
    {.ml_name = "get_parsed_file",
     .ml_meth = reinterpret_cast<PyCFunction>(
         reinterpret_cast<void (*)()>(cache_get_parsed_file)),
     .ml_flags = METH_FASTCALL | METH_KEYWORDS,
     .ml_doc = "get_parsed_file($self, path)\n--\n\n"},
    {},
};

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(cache_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(cache_dealloc)},
    {Py_tp_methods, kMethods},
    {Py_tp_doc,
     const_cast<char*>(
         "AstFileParserCache(files, project_root, filesystem=None)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec kSpec = {
    .name = "builtins.AstFileParserCache",
    .basicsize = sizeof(PyAstFileParserCache),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT,
    .slots = kSlots,
};

}  // namespace

PyTypeObject* ast_file_parser_cache_type() {
  static std::atomic<PyObject*> type{nullptr};
  return reinterpret_cast<PyTypeObject*>(
      once_object(type, [] { return PyType_FromSpec(&kSpec); }));
}

}  // namespace trelk::py
