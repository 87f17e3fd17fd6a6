#pragma once

#include <Python.h>

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "invariant.h"
#include "py_ref.h"

// The boundary between the interpreter and native code: the only place where
// native failures become Python exceptions, and the scope that releases the
// interpreter lock.
namespace trelk::py {

// Releases the interpreter lock for its lifetime and takes it back in its
// destructor, also while a native exception passes through. REQUIRES: the
// lock is held on construction, and nothing inside touches a Python object.
class GilRelease {
 public:
  GilRelease() : state_(PyEval_SaveThread()) {}
  GilRelease(const GilRelease&) = delete;
  GilRelease& operator=(const GilRelease&) = delete;
  ~GilRelease() { PyEval_RestoreThread(state_); }

 private:
  PyThreadState* state_;
};

// Runs `work` with the interpreter lock released and returns its result.
template <typename Work>
decltype(auto) without_gil(Work&& work) {
  GilRelease release;
  return work();
}

// Writes the report of an internal failure to standard error and raises
// PanicException with `message` (a generic text when it is empty). If even
// that fails, the process aborts.
void raise_panic(std::string_view message) noexcept;

// Raises `type` with `message` as its only argument.
void raise_with_message(PyObject* type, std::string_view message) noexcept;

// Runs `body`, which returns a new reference or nullptr with an exception set,
// and turns every native exception that escapes it into a Python exception:
// a broken invariant into PanicException, an exhausted heap into MemoryError.
// Every entry point from the interpreter goes through here, so no C++
// exception crosses a CPython frame.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const InvariantFailure& invariant) {
    raise_panic(invariant.message());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& other) {
    raise_panic(other.what());
  } catch (...) {
    raise_panic({});
  }
  return failure;
}

template <typename Body>
PyObject* guarded(Body&& body) noexcept {
  return guarded<PyObject*>(nullptr, static_cast<Body&&>(body));
}

// Result conversions. A failure to create the object (the interpreter is out
// of memory) is reported as unraisable and ends the call as an internal
// failure, so these never return an empty reference.
[[nodiscard]] PyRef new_str(std::string_view text);
[[nodiscard]] PyRef new_int(int64_t value);
[[nodiscard]] PyRef new_str_list(const std::vector<std::string>& texts);
// The same end for a result object that a caller failed to create: reports
// the pending exception as unraisable, then throws InvariantFailure.
[[noreturn]] void fail_creating_result();

}  // namespace trelk::py
