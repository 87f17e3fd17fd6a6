#include "boundary.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "once_object.h"

namespace trelk::py {

namespace {

constexpr std::string_view kGenericPanicText =
    "native code failed without a message";

constexpr const char kPanicDoc[] =
    "The exception raised when native code called from Python fails "
    "unexpectedly.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that it "
    "will typically propagate all the way through the stack and cause the "
    "Python interpreter to exit.";

[[noreturn]] void abort_at_boundary() {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::fflush(stderr);
  std::abort();
}

PyObject* panic_exception_type() {
  static std::atomic<PyObject*> type{nullptr};
  return once_object(type, [] {
    return PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc,
                                     PyExc_BaseException, nullptr);
  });
}

}  // namespace

void fail_creating_result() {
  PyErr_WriteUnraisable(nullptr);
  fail_invariant("failed to create a Python object for a result");
}

void raise_with_message(PyObject* type, std::string_view message) {
  PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(
      message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) {
    PyErr_SetObject(type, text.get());
  }
}

void raise_panic(std::string_view message) {
  if (message.empty()) {
    message = kGenericPanicText;
  }
  // The text may hold NUL bytes: write it by length, not as a C string.
  std::fputs("trelk_rs: internal failure: ", stderr);
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  PyObject* type = panic_exception_type();
  if (type == nullptr) {
    abort_at_boundary();
  }
  PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(
      message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) {
    abort_at_boundary();
  }
  PyErr_SetObject(type, text.get());
}

PyRef new_str(std::string_view text) {
  PyRef object = PyRef::steal(PyUnicode_FromStringAndSize(
      text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!object) {
    fail_creating_result();
  }
  return object;
}

PyRef new_int(int64_t value) {
  PyRef object = PyRef::steal(PyLong_FromLongLong(value));
  if (!object) {
    fail_creating_result();
  }
  return object;
}

PyRef new_str_list(const std::vector<std::string>& texts) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
  if (!list) {
    fail_creating_result();
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                    new_str(texts[i]).release());
  }
  return list;
}

bool run_signal_handlers(bool& handler_raised) {
  const PyGILState_STATE lock = PyGILState_Ensure();
  handler_raised = PyErr_CheckSignals() < 0;
  PyGILState_Release(lock);
  return !handler_raised;
}

}  // namespace trelk::py
