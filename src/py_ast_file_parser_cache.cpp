// The Python class AstFileParserCache: a handle on a shared parse cache.

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "parse_cache.h"
#include "project_arguments.h"
#include "py_class.h"

namespace trelk::py {

namespace {

constexpr std::string_view kClassName = "AstFileParserCache";

const AstFileParserCache& cache_of(PyObject* self) {
  return native_of<AstFileParserCache>(self);
}

constexpr CallableSpec kNewSpec = project_constructor_spec(kClassName);

PyObject* cache_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::optional<ProjectArguments> arguments =
        bind_project_arguments(kNewSpec, args, kwargs);
    if (!arguments) {
      return nullptr;
    }
    // With a file system given, `files` was only checked: the cache serves
    // that file system's files. The listing and naming run with the lock
    // held.
    std::string root(arguments->project_root);
    AstFileParserCache cache =
        arguments->filesystem != nullptr
            ? AstFileParserCache::with_filesystem(
                  std::move(root), std::move(arguments->filesystem))
            : AstFileParserCache(std::move(root), std::move(arguments->files));
    return new_native_object(type, std::move(cache));
  });
}

constexpr CallableSpec kAllFilesSpec = {.class_name = kClassName,
                                        .function_name = "all_files",
                                        .parameters = {},
                                        .required = 0};

PyObject* cache_all_files(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const AstFileParserCache& cache = cache_of(self);
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
constexpr CallableSpec kGetSpec = {.class_name = kClassName,
                                   .function_name = "get_parsed_file",
                                   .parameters = kGetParameters,
                                   .required = 1};

PyObject* cache_get_parsed_file(PyObject* self, PyObject* const* args,
                                Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::string_view path;
    if (!bind_text(kGetSpec, args, nargs, kwnames, path)) {
      return nullptr;
    }
    const AstFileParserCache& cache = cache_of(self);
    // Ctrl-C also during the wait for another thread's read of the path;
    // the interrupted read is not kept as the file's failure.
    auto parsed =
        without_gil_answering_signals([&](const GoOnAfterSignal& go_on) {
          return cache.get_parsed_file(path, go_on);
        });
    if (!parsed) {
      return nullptr;
    }
    if (!*parsed) {
      raise_with_message(PyExc_ValueError, parsed->error());
      return nullptr;
    }
    const ParsedFileCache& file = ***parsed;
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
    method_definition<kAllFilesSpec>(cache_all_files),
    method_definition<kGetSpec>(cache_get_parsed_file),
    {},
};

constexpr ClassDefinition kClass = {.name = "builtins.AstFileParserCache",
                                    .constructor = &kNewSpec,
                                    .construct = cache_new,
                                    .methods = kMethods};

}  // namespace

PyTypeObject* ast_file_parser_cache_type() {
  return class_object<AstFileParserCache, kClass>();
}

}  // namespace trelk::py
