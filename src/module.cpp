// Module entry: the module definition, its execution slot and the body that
// registers the module's classes and functions.

#include <Python.h>

#include <span>
#include <string_view>

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "module_functions.h"
#include "py_ref.h"

namespace trelk::py {

namespace {

// One name of the module body: a class object (borrowed, kept for the life of
// the process) or a built-in function bound to the module.
struct Registration {
  std::string_view name;
  PyTypeObject* (*class_object)() = nullptr;
  PyMethodDef* function = nullptr;
};

// The registration order is the order of `__all__`, which callers see:
// StdAstFileSystem, AstFileParserCache, FeatureFieldAST, FeatureClassAST,
// FunctionArgAST, ResolverAST, AstProjectIndex, then the functions
// parse_duration_ms, parse_duration_s, seconds_to_duration_string,
// parse_iso_date, parse_iso_time, parse_datetime, parse_iso_duration,
// duration_isoformat, timezone_from_name, to_snake_case and
// build_namespaced_name. Each is added here in its place once it exists.
const Registration kRegistrations[] = {
    {.name = "StdAstFileSystem", .class_object = std_ast_filesystem_type},
    {.name = "AstFileParserCache", .class_object = ast_file_parser_cache_type},
    {.name = "FeatureFieldAST", .class_object = feature_field_ast_type},
    {.name = "FeatureClassAST", .class_object = feature_class_ast_type},
    {.name = "FunctionArgAST", .class_object = function_arg_ast_type},
    {.name = "ResolverAST", .class_object = resolver_ast_type},
    {.name = "AstProjectIndex", .class_object = ast_project_index_type},
    {.name = "parse_duration_ms", .function = &parse_duration_ms_def},
    {.name = "parse_duration_s", .function = &parse_duration_s_def},
    {.name = "seconds_to_duration_string",
     .function = &seconds_to_duration_string_def},
    {.name = "parse_iso_date", .function = &parse_iso_date_def},
    {.name = "parse_iso_time", .function = &parse_iso_time_def},
    {.name = "parse_datetime", .function = &parse_datetime_def},
    {.name = "parse_iso_duration", .function = &parse_iso_duration_def},
    {.name = "duration_isoformat", .function = &duration_isoformat_def},
    {.name = "timezone_from_name", .function = &timezone_from_name_def},
    {.name = "to_snake_case", .function = &to_snake_case_def},
    {.name = "build_namespaced_name", .function = &build_namespaced_name_def},
};

// Appends `name` to `__all__` (creating the list on first use) and sets the
// attribute.
bool add_to_module(PyObject* module, PyObject* name, PyObject* value) {
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
      return false;
    }
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) {
      return false;
    }
  }
  if (!PyList_Check(all.get())) {
    raise_not_an_instance(all.get(), "list");
    return false;
  }
  return PyList_Append(all.get(), name) == 0 &&
         PyObject_SetAttr(module, name, value) == 0;
}

bool register_function(PyObject* module, PyMethodDef* definition) {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) {
    return false;
  }
  PyRef function = PyRef::steal(
      PyCMethod_New(definition, module, module_name.get(), nullptr));
  if (!function) {
    return false;
  }
  PyRef name = PyRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) {
    return false;
  }
  if (!PyUnicode_Check(name.get())) {
    raise_not_an_instance(name.get(), "str");
    return false;
  }
  return add_to_module(module, name.get(), function.get());
}

bool register_class(PyObject* module, const Registration& registration) {
  PyTypeObject* type = registration.class_object();
  if (type == nullptr) {
    return false;
  }
  PyRef name = new_str(registration.name);
  return add_to_module(module, name.get(), reinterpret_cast<PyObject*>(type));
}

int module_exec(PyObject* module) {
  return guarded(-1, [&] {
    if (!PyModule_Check(module)) {
      raise_not_an_instance(module, "module");
      return -1;
    }
    // The class objects, the PanicException type, the interned texts and the
    // datetime C API are kept for the life of the process, and each belongs
    // to the interpreter that made it: in any other, using one would reach
    // into objects that interpreter owns and frees. The slot below makes the
    // interpreter refuse the module in a subinterpreter that checks its
    // extensions; one that does not (a legacy subinterpreter) is refused
    // here, with the same error, before anything is made.
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
      PyErr_SetString(
          PyExc_ImportError,
          "module trelk_rs does not support loading in subinterpreters");
      return -1;
    }
    for (const Registration& registration : kRegistrations) {
      const bool registered =
          registration.function != nullptr
              ? register_function(module, registration.function)
              : register_class(module, registration);
      if (!registered) {
        return -1;
      }
    }
    return 0;
  });
}

PyModuleDef_Slot kModuleSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},
};

PyModuleDef kModule = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "trelk_rs",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = kModuleSlots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

}  // namespace trelk::py

PyMODINIT_FUNC PyInit_trelk_rs() {
  return PyModuleDef_Init(&trelk::py::kModule);
}
