#pragma once

#include <Python.h>

#include <atomic>

namespace trelk::py {

// A Python object created on first need and kept for the life of the
// process (class objects, the PanicException type, the datetime C API).
// It is set with the interpreter lock held, never inside std::call_once:
// creating the object may run Python code that releases the lock, and a
// call_once held across that could deadlock. Under a free-threaded
// interpreter two threads may both create it; the loser gives its object up.
template <typename Create>
PyObject* once_object(std::atomic<PyObject*>& cell, Create&& create) {
  PyObject* current = cell.load(std::memory_order_acquire);
  if (current != nullptr) {
    return current;
  }
  PyObject* created = create();
  if (created == nullptr) {
    return nullptr;
  }
  if (!cell.compare_exchange_strong(current, created,
                                    std::memory_order_acq_rel)) {
    Py_DECREF(created);
    return current;
  }
  return created;
}

}  // namespace trelk::py
