#pragma once

#include <exception>
#include <string>
#include <utility>

namespace trelk {

// A broken internal invariant: an expectation that cannot fail on any input.
// It is thrown by TRELK_CHECK and caught only at the Python boundary (where
// it becomes PanicException) and at the top of a worker thread. It carries
// the exact text of the failed expectation.
class InvariantFailure : public std::exception {
 public:
  explicit InvariantFailure(std::string message)
      : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  // The failure's text; it may hold any bytes, NUL included.
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Throws InvariantFailure with `message`.
[[noreturn]] void fail_invariant(std::string message);

// The failing path of TRELK_CHECK: never inlined and cold, so that building
// the message stays out of the function that checks.
template <class MakeMessage>
[[noreturn, gnu::noinline, gnu::cold]] void fail_invariant_with(
    MakeMessage make_message) {
  fail_invariant(make_message());
}

}  // namespace trelk

// Checks an internal invariant. `message` is evaluated only on failure, in
// fail_invariant_with, so that a check costs its caller a compare and a
// branch, and a hot function that checks stays small enough to inline.
#define TRELK_CHECK(condition, message)                        \
  do {                                                         \
    if (!(condition)) [[unlikely]] {                           \
      ::trelk::fail_invariant_with([&] { return (message); }); \
    }                                                          \
  } while (false)
