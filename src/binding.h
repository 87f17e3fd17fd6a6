#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "py_ref.h"

// Binding of Python call arguments to parameters, and their conversion to
// native values. Every function here requires the interpreter lock; on
// failure it returns false with a Python exception set.
namespace trelk::py {

// One callable as its argument errors name it. Every parameter is
// positional-or-keyword; the first `required` have no default.
struct CallableSpec {
  std::string_view class_name;  // empty for a module function
  std::string_view function_name;
  std::span<const std::string_view> parameters;
  std::size_t required;
};

// How a text signature names its callable: a module function by its name, a
// method by its name with "$self" first, a constructor by its class.
enum class SignatureOf { kFunction, kMethod, kConstructor };

namespace signature_detail {

// Calls `put` with each piece of the signature block of `spec`, in order.
template <typename Put>
constexpr void for_each_piece(const CallableSpec& spec, SignatureOf of,
                              Put put) {
  put(of == SignatureOf::kConstructor ? spec.class_name : spec.function_name);
  put("(");
  bool first = true;
  const auto parameter = [&](std::string_view name) {
    if (!first) {
      put(", ");
    }
    first = false;
    put(name);
  };
  if (of == SignatureOf::kMethod) {
    parameter("$self");
  }
  for (std::size_t i = 0; i < spec.parameters.size(); ++i) {
    parameter(spec.parameters[i]);
    if (i >= spec.required) {
      put("=None");
    }
  }
  // The separator ends the signature; the documentation after it is empty.
  put(")\n--\n\n");
}

constexpr std::size_t block_size(const CallableSpec& spec, SignatureOf of) {
  std::size_t size = 0;
  for_each_piece(spec, of,
                 [&size](std::string_view piece) { size += piece.size(); });
  return size;
}

}  // namespace signature_detail

// The documentation block of `spec` that gives the callable its
// `__text_signature__` and nothing else, such as
// "f(a, b=None)\n--\n\n": every parameter past the required ones defaults
// to None. A NUL-terminated array, computed at compile time.
template <const CallableSpec& kSpec, SignatureOf kOf>
inline constexpr auto kTextSignature = [] {
  std::array<char, signature_detail::block_size(kSpec, kOf) + 1> block{};
  std::size_t at = 0;
  signature_detail::for_each_piece(kSpec, kOf, [&](std::string_view piece) {
    for (const char c : piece) {
      block[at++] = c;
    }
  });
  return block;
}();

// Binds a fast call (vectorcall layout) to `spec`'s parameters. On success
// `bound[i]` is the borrowed argument of parameter i, or nullptr when it was
// not given. REQUIRES: bound.size() == spec.parameters.size().
[[nodiscard]] bool bind_fastcall(const CallableSpec& spec,
                                 PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames, std::span<PyObject*> bound);

// Binds a fast call to `spec`, whose one parameter is a str, and converts
// its argument into `text`. REQUIRES: spec.parameters.size() == 1.
[[nodiscard]] bool bind_text(const CallableSpec& spec, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames,
                             std::string_view& text);

// Binds a tuple-and-dict call (a constructor's `__new__`) the same way.
[[nodiscard]] bool bind_tuple_and_dict(const CallableSpec& spec, PyObject* args,
                                       PyObject* kwargs,
                                       std::span<PyObject*> bound);

// Sets TypeError with "'{}' object is not an instance of '{}'" for `object`.
void raise_not_an_instance(PyObject* object, std::string_view expected);

// Converters. Each accepts the object of one parameter and reports a failure
// as the conversion's own exception; `named` then renames a TypeError after
// the parameter. A text view borrows the str's UTF-8 buffer and stays valid
// while the caller's argument lives.
[[nodiscard]] bool to_text(PyObject* object, std::string_view& text);
// nullptr (not given) and None are absent.
[[nodiscard]] bool to_optional_text(PyObject* object,
                                    std::optional<std::string_view>& text);
// Any sequence but a str, whose items are all str.
[[nodiscard]] bool to_text_list(PyObject* object,
                                std::vector<std::string>& texts);
// A float directly, anything else through the interpreter's float
// conversion (`__float__`, then `__index__`).
[[nodiscard]] bool to_double(PyObject* object, double& value);

// Runs after a converter: when `converted` is false and the pending exception
// is exactly TypeError, replaces it with "argument '{}': {}" carrying the
// original's cause. Returns `converted`.
[[nodiscard]] bool named(std::string_view parameter, bool converted);

}  // namespace trelk::py
