#pragma once

#include <Python.h>

#include <utility>

namespace trelk::py {

// An owned reference to a Python object: the destructor gives it up. Every
// reference this module creates or keeps is held by one of these, so no path
// out of a function (an early return or a native exception passing through)
// can leak or over-release it. Requires the interpreter lock wherever a
// non-empty PyRef is destroyed or assigned.
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
  PyRef& operator=(PyRef&& other) noexcept {
    PyObject* old =
        std::exchange(object_, std::exchange(other.object_, nullptr));
    Py_XDECREF(old);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller (e.g. as a function's result).
  [[nodiscard]] PyObject* release() noexcept {
    return std::exchange(object_, nullptr);
  }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit PyRef(PyObject* object) : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace trelk::py
