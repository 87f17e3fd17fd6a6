#pragma once

#include <Python.h>

#include <utility>

namespace trelk::py {

// An owned reference to a Python object: the destructor gives it up. Every
// reference this module creates or keeps is held by one of these, so no path
// out of a function (an early return or a native exception passing through)
// can leak or over-release it. Requires the interpreter lock wherever a
// non-empty PyRef is destroyed or assigned.
//
// Two things follow from the end of a thread while the interpreter finalises
// (boundary.h). Releasing a reference can run Python code (a `__del__`),
// during which the interpreter may end the thread, so the destructor and the
// assignment let its forced unwind pass: they are not noexcept. And that
// unwind runs these destructors in a thread that has no interpreter state
// and no lock: the reference is then kept, as the interpreter keeps those of
// its own frames that the unwind passes, since releasing it would race the
// finalisation.
class PyRef {
 public:
  PyRef() = default;

  // Takes over a new reference (the result of a call that returns one).
  [[nodiscard]] static PyRef steal(PyObject* object) { return PyRef(object); }
  // Takes a new reference of its own to a borrowed object.
  [[nodiscard]] static PyRef borrow(PyObject* object) {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(PyRef&& other) noexcept
      : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept(false) {
    give_up(std::exchange(object_, std::exchange(other.object_, nullptr)));
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() noexcept(false) { give_up(object_); }

  PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller (e.g. as a function's result).
  [[nodiscard]] PyObject* release() noexcept {
    return std::exchange(object_, nullptr);
  }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit PyRef(PyObject* object) : object_(object) {}

  static void give_up(PyObject* object) {
    if (object != nullptr && PyThreadState_GetUnchecked() != nullptr) {
      Py_DECREF(object);
    }
  }

  PyObject* object_ = nullptr;
};

}  // namespace trelk::py
