// Module entry: the module definition, its execution slot and the body that
// registers the module's classes and functions.

#include <Python.h>

#include "binding.h"
#include "boundary.h"
#include "classes.h"
#include "module_functions.h"
#include "py_class.h"
#include "py_ref.h"

namespace trelk::py {

namespace {

// The class objects of the module, in their places at the start of
// `__all__`; the module functions follow them. Each class is registered
// under its own name.
PyTypeObject* (*const kClasses[])() = {
    std_ast_filesystem_type, ast_file_parser_cache_type, feature_field_ast_type,
    feature_class_ast_type,  function_arg_ast_type,      resolver_ast_type,
    ast_project_index_type,
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

// Registers a class object (borrowed, kept for the life of the process)
// under its name.
bool register_class(PyObject* module, PyTypeObject* (*class_object)()) {
  PyTypeObject* type = class_object();
  if (type == nullptr) {
    return false;
  }
  PyRef name = PyRef::steal(PyType_GetName(type));
  if (!name) {
    return false;
  }
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
    for (PyTypeObject* (*class_object)() : kClasses) {
      if (!register_class(module, class_object)) {
        return -1;
      }
    }
    for (PyMethodDef& definition : module_function_definitions()) {
      if (!register_function(module, &definition)) {
        return -1;
      }
    }
    return 0;
  });
}

PyModuleDef_Slot kModuleSlots[] = {
    {Py_mod_exec, slot_entry(module_exec)},
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
