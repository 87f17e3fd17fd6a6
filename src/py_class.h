#pragma once

#include <Python.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "binding.h"
#include "once_object.h"

// What every class of the module is made of: an object that owns one native
// value, its deallocation, the cast of its entries into the interpreter's
// tables, and the class object kept for the life of the process. Every
// function here requires the interpreter lock.
namespace trelk::py {

// A method entry as PyMethodDef stores it. The interpreter calls it through
// the type that the entry's flags name (METH_FASTCALL | METH_KEYWORDS,
// METH_NOARGS, ...), so the cast only passes the pointer through; the detour
// through `void (*)()` says so to the compiler.
template <typename Function>
PyCFunction method_entry(Function* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// The two calling conventions of the module's methods and functions.
using NoArgsFunction = PyObject*(PyObject* self, PyObject* unused);
using FastcallFunction = PyObject*(PyObject* self, PyObject* const* args,
                                   Py_ssize_t nargs, PyObject* kwnames);

// The method definition of the callable that `kSpec` describes: its name,
// `function` with the flags of its calling convention (METH_NOARGS exactly
// when it takes no parameters), and only its text signature block as its
// documentation. Its name in `kSpec` must be a literal, so that the view ends
// at its NUL.
template <const CallableSpec& kSpec, SignatureOf kOf = SignatureOf::kMethod,
          typename Function>
PyMethodDef method_definition(Function* function) {
  constexpr bool kNoArgs = std::is_same_v<Function, NoArgsFunction>;
  static_assert(kNoArgs || std::is_same_v<Function, FastcallFunction>,
                "a method takes no arguments or the fast call with keywords");
  static_assert(kNoArgs == kSpec.parameters.empty(),
                "a method without parameters takes no arguments");
  return {.ml_name = kSpec.function_name.data(),
          .ml_meth = method_entry(function),
          .ml_flags = kNoArgs ? METH_NOARGS : METH_FASTCALL | METH_KEYWORDS,
          .ml_doc = kTextSignature<kSpec, kOf>.data()};
}

// A slot value as PyType_Slot stores it.
template <typename Function>
void* slot_entry(Function* function) {
  return reinterpret_cast<void*>(function);
}

// A Python object owning one native value. The value is constructed in place
// after the allocation and destroyed by native_dealloc.
template <class Native>
struct PyNative {
  PyObject_HEAD Native native;
};

// The native value of `self`. REQUIRES: `self` is an object of a class whose
// instances are PyNative<Native>.
template <class Native>
Native& native_of(PyObject* self) {
  return reinterpret_cast<PyNative<Native>*>(self)->native;
}

// A new object of `type` owning `native`, moved or copied straight into
// it: a new reference, or nullptr with the interpreter's exception set.
template <class Source, class Native = std::remove_cvref_t<Source>>
PyObject* new_native_object(PyTypeObject* type, Source&& native) {
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) {
    return nullptr;
  }
  new (&native_of<Native>(self)) Native(std::forward<Source>(native));
  return self;
}

// The dealloc slot of every class: the native value goes first, then the
// object, then the reference that a heap type's instance holds on its class.
template <class Native>
void native_dealloc(PyObject* self) {
  std::destroy_at(&native_of<Native>(self));
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// What one class of the module is made of, besides its instances'
// PyNative<Native> layout and deallocation. Every pointer is to a table of
// static storage, and an absent one leaves its slot out.
struct ClassDefinition {
  const char* name;  // "builtins." and the class name
  unsigned int flags = Py_TPFLAGS_DEFAULT;
  // A class that Python code constructs has both; its documentation is then
  // only the constructor's text signature block, and otherwise none.
  const CallableSpec* constructor = nullptr;
  newfunc construct = nullptr;
  PyMethodDef* methods = nullptr;
  PyGetSetDef* properties = nullptr;
};

// The class object of `kClass`, whose instances are PyNative<Native>,
// created on first need and kept for the life of the process: a borrowed
// reference, or nullptr with an exception set.
template <class Native, const ClassDefinition& kClass>
PyTypeObject* class_object() {
  static_assert(
      (kClass.constructor == nullptr) == (kClass.construct == nullptr),
      "a constructor has both its spec and its function");
  // The slots in use, then the zero entry that ends them. PyType_Slot holds
  // every value as a mutable void*, so the documentation slot gets a copy
  // of the signature block (which the interpreter copies again).
  static PyType_Slot slots[5 + 1] = {};
  static PyType_Spec spec = [] {
    std::size_t used = 0;
    slots[used++] = {Py_tp_dealloc, slot_entry(native_dealloc<Native>)};
    if constexpr (kClass.constructor != nullptr) {
      static auto doc =
          kTextSignature<*kClass.constructor, SignatureOf::kConstructor>;
      slots[used++] = {Py_tp_new, slot_entry(kClass.construct)};
      slots[used++] = {Py_tp_doc, doc.data()};
    }
    if (kClass.methods != nullptr) {
      slots[used++] = {Py_tp_methods, kClass.methods};
    }
    if (kClass.properties != nullptr) {
      slots[used++] = {Py_tp_getset, kClass.properties};
    }
    return PyType_Spec{.name = kClass.name,
                       .basicsize = sizeof(PyNative<Native>),
                       .itemsize = 0,
                       .flags = kClass.flags,
                       .slots = slots};
  }();
  static std::atomic<PyObject*> cell{nullptr};
  return reinterpret_cast<PyTypeObject*>(
      once_object(cell, [] { return PyType_FromSpec(&spec); }));
}

}  // namespace trelk::py
