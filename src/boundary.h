#pragma once

#include <Python.h>
#include <cxxabi.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "invariant.h"
#include "py_ref.h"

// The boundary between the interpreter and native code: the only place where
// native failures become Python exceptions, and the scope that releases the
// interpreter lock.
namespace trelk::py {

// How a thread ends when the interpreter takes it down.
//
// Once the interpreter has begun to finalise, a thread that takes the lock
// back (PyEval_RestoreThread, PyGILState_Ensure, or the interpreter itself
// between two bytecodes of Python code that native code called) never gets
// it: the interpreter ends the thread with pthread_exit, whose forced unwind
// (abi::__forced_unwind) runs the cleanups of every frame up to the thread's
// start. A daemon thread inside a call of this module meets that whenever
// the main thread ends. The unwind must pass: a frame that is noexcept (a
// destructor is, by default), or a catch (...) that does not rethrow it,
// ends the whole process. So in every function of the module no such frame
// lies between a place where the lock can be taken back and the
// interpreter's frame that called in: the lock is never taken back in a
// destructor, and every handler lets the forced unwind go on. The unwind
// leaves the thread without an interpreter state, so the PyRefs it passes
// are left alone (see py_ref.h).

// Runs `work` with the interpreter lock released and returns its result. The
// lock is taken back when `work` returns or throws, in this frame rather
// than in a destructor; a native exception from `work` goes on once the lock
// is held again. A forced unwind out of `work` (a callback of its took the
// lock back while the interpreter ends) goes on without the lock.
// REQUIRES: the lock is held, `work` returns a value, and it touches no
// Python object without taking the lock itself.
template <typename Work>
std::invoke_result_t<Work&> without_gil(Work&& work) {
  PyThreadState* const state = PyEval_SaveThread();
  std::exception_ptr failure;
  std::optional<std::invoke_result_t<Work&>> result;
  try {
    result.emplace(work());
  } catch (const abi::__forced_unwind&) {
    throw;
  } catch (...) {
    failure = std::current_exception();
  }
  PyEval_RestoreThread(state);
  if (failure) {
    std::rethrow_exception(failure);
  }
  return std::move(*result);
}

// A native call's answer, without the interpreter lock, after a signal
// interrupted one of its system calls: takes the lock back and runs the
// signal handlers, as the interpreter's own I/O does, so that Ctrl-C during
// a blocked read is its KeyboardInterrupt. Returns true (go on) unless a
// handler raised; then its exception stays set for this thread and
// `handler_raised` becomes true. Not noexcept: taking the lock back during
// finalisation may end the thread by a forced unwind, which must pass.
[[nodiscard]] bool run_signal_handlers(bool& handler_raised);

// Runs `read` as without_gil does, handing it the callback that a read calls
// when a signal interrupted one of its system calls. After such a signal the
// handlers run with the lock taken back, as in the interpreter's own I/O:
// Ctrl-C on a FIFO that blocks is its KeyboardInterrupt, not a false I/O
// failure, and is not held back until the writer closes. A handler that
// raised ends the read: the result is then nullopt, with the handler's
// exception set for this thread. Otherwise the read goes on, and its result
// is returned. REQUIRES: what without_gil requires of `read`.
template <typename Read>
auto without_gil_answering_signals(Read&& read) -> std::optional<
    std::invoke_result_t<Read&, const std::function<bool()>&>> {
  bool handler_raised = false;
  const std::function<bool()> go_on = [&handler_raised] {
    return run_signal_handlers(handler_raised);
  };
  auto result = without_gil([&read, &go_on] { return read(go_on); });
  if (handler_raised) {
    return std::nullopt;
  }
  return result;
}

// Writes the report of an internal failure to standard error and raises
// PanicException with `message` (a generic text when it is empty). If even
// that fails, the process aborts.
void raise_panic(std::string_view message);

// Raises `type` with `message` as its only argument.
void raise_with_message(PyObject* type, std::string_view message);

// Runs `body`, which returns a new reference or nullptr with an exception set,
// and turns every native exception that escapes it into a Python exception:
// a broken invariant into PanicException, an exhausted heap into MemoryError.
// Every entry point from the interpreter goes through here, so no C++
// exception crosses a CPython frame. The one thing that passes is the forced
// unwind of a thread that the interpreter ends (see above), which is not an
// exception of ours and must reach the thread's start.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) {
  try {
    return body();
  } catch (const abi::__forced_unwind&) {
    throw;
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
PyObject* guarded(Body&& body) {
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
