#include "binding.h"

#include <algorithm>

#include "binding_messages.h"
#include "invariant.h"

namespace trelk::py {

namespace {

// 2^16 items: a reservation for a length that Python code reports, at most
// 2 MiB of strings.
constexpr std::size_t kMaxReservedItems = std::size_t{1} << 16;

void raise_type_error(const std::string& message) {
  PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(
      message.data(), static_cast<Py_ssize_t>(message.size())));
  if (text) {
    PyErr_SetObject(PyExc_TypeError, text.get());
  }
}

std::string display_name(const CallableSpec& spec) {
  return callable_display_name(spec.class_name, spec.function_name);
}

// Places one keyword argument. Returns false with TypeError set when the
// name is unknown or its parameter already has a value.
bool bind_keyword(const CallableSpec& spec, PyObject* name, PyObject* value,
                  std::span<PyObject*> bound) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
  if (utf8 == nullptr) {
    return false;
  }
  const std::string_view keyword(utf8, static_cast<std::size_t>(size));
  const auto found =
      std::find(spec.parameters.begin(), spec.parameters.end(), keyword);
  if (found == spec.parameters.end()) {
    raise_type_error(unexpected_keyword_message(display_name(spec), keyword));
    return false;
  }
  PyObject*& slot =
      bound[static_cast<std::size_t>(found - spec.parameters.begin())];
  if (slot != nullptr) {
    raise_type_error(multiple_values_message(display_name(spec), keyword));
    return false;
  }
  slot = value;
  return true;
}

bool bind_positional(const CallableSpec& spec, PyObject* const* args,
                     std::size_t nargs, std::span<PyObject*> bound) {
  TRELK_CHECK(bound.size() == spec.parameters.size(),
              "bound arguments do not match the parameters");
  std::fill(bound.begin(), bound.end(), nullptr);
  if (nargs > spec.parameters.size()) {
    raise_type_error(too_many_positional_message(
        display_name(spec), spec.required, spec.parameters.size(), nargs));
    return false;
  }
  std::copy_n(args, nargs, bound.begin());
  return true;
}

bool check_required(const CallableSpec& spec, std::span<PyObject*> bound) {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < spec.required; ++i) {
    if (bound[i] == nullptr) {
      missing.push_back(spec.parameters[i]);
    }
  }
  if (missing.empty()) {
    return true;
  }
  raise_type_error(missing_required_message(display_name(spec), missing));
  return false;
}

}  // namespace

bool bind_fastcall(const CallableSpec& spec, PyObject* const* args,
                   Py_ssize_t nargs, PyObject* kwnames,
                   std::span<PyObject*> bound) {
  if (!bind_positional(spec, args, static_cast<std::size_t>(nargs), bound)) {
    return false;
  }
  if (kwnames != nullptr) {
    const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < count; ++i) {
      if (!bind_keyword(spec, PyTuple_GET_ITEM(kwnames, i), args[nargs + i],
                        bound)) {
        return false;
      }
    }
  }
  return check_required(spec, bound);
}

bool bind_text(const CallableSpec& spec, PyObject* const* args,
               Py_ssize_t nargs, PyObject* kwnames, std::string_view& text) {
  PyObject* bound[1];
  return bind_fastcall(spec, args, nargs, kwnames, bound) &&
         named(spec.parameters[0], to_text(bound[0], text));
}

bool bind_tuple_and_dict(const CallableSpec& spec, PyObject* args,
                         PyObject* kwargs, std::span<PyObject*> bound) {
  if (!bind_positional(spec, &PyTuple_GET_ITEM(args, 0),
                       static_cast<std::size_t>(PyTuple_GET_SIZE(args)),
                       bound)) {
    return false;
  }
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &name, &value)) {
      if (!bind_keyword(spec, name, value, bound)) {
        return false;
      }
    }
  }
  return check_required(spec, bound);
}

void raise_not_an_instance(PyObject* object, std::string_view expected) {
  if (object == Py_None) {
    raise_type_error(not_an_instance_message(true, {}, expected));
    return;
  }
  PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(object)));
  if (!qualname) {
    return;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(qualname.get(), &size);
  if (utf8 == nullptr) {
    return;
  }
  raise_type_error(not_an_instance_message(
      false, std::string_view(utf8, static_cast<std::size_t>(size)), expected));
}

bool to_text(PyObject* object, std::string_view& text) {
  if (!PyUnicode_Check(object)) {
    raise_not_an_instance(object, "str");
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) {
    return false;
  }
  text = std::string_view(utf8, static_cast<std::size_t>(size));
  return true;
}

bool to_optional_text(PyObject* object, std::optional<std::string_view>& text) {
  if (object == nullptr || object == Py_None) {
    text.reset();
    return true;
  }
  std::string_view value;
  if (!to_text(object, value)) {
    return false;
  }
  text = value;
  return true;
}

bool to_text_list(PyObject* object, std::vector<std::string>& texts) {
  if (PyUnicode_Check(object)) {
    raise_type_error("Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(object)) {
    raise_not_an_instance(object, "Sequence");
    return false;
  }
  texts.clear();
  // The length only sizes the list, and is the object's word: one that
  // cannot tell it, or tells too much, is still read to the end of its
  // iteration. What is reserved up front is capped, so that a length of
  // 2**40 or sys.maxsize for one item costs nothing; a longer list grows.
  const Py_ssize_t length = PyObject_Size(object);
  if (length < 0) {
    PyErr_Clear();
  } else {
    texts.reserve(
        std::min(static_cast<std::size_t>(length), kMaxReservedItems));
  }
  PyRef iterator = PyRef::steal(PyObject_GetIter(object));
  if (!iterator) {
    return false;
  }
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    std::string_view text;
    if (!to_text(item.get(), text)) {
      return false;
    }
    texts.emplace_back(text);
  }
  return !PyErr_Occurred();
}

bool to_double(PyObject* object, double& value) {
  if (PyFloat_Check(object)) {
    value = PyFloat_AS_DOUBLE(object);
    return true;
  }
  value = PyFloat_AsDouble(object);
  return !(value == -1.0 && PyErr_Occurred());
}

bool named(std::string_view parameter, bool converted) {
  if (converted) {
    return true;
  }
  PyRef raised = PyRef::steal(PyErr_GetRaisedException());
  if (!raised || !Py_IS_TYPE(raised.get(), reinterpret_cast<PyTypeObject*>(
                                               PyExc_TypeError))) {
    PyErr_SetRaisedException(raised.release());
    return false;
  }
  PyRef text = PyRef::steal(PyObject_Str(raised.get()));
  if (!text) {
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (utf8 == nullptr) {
    return false;
  }
  const std::string message = argument_message(
      parameter, std::string_view(utf8, static_cast<std::size_t>(size)));
  PyRef message_object = PyRef::steal(PyUnicode_FromStringAndSize(
      message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!message_object) {
    return false;
  }
  PyRef renamed =
      PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message_object.get()));
  if (!renamed) {
    return false;
  }
  // PyException_SetCause steals the cause; a missing one clears it.
  PyException_SetCause(renamed.get(), PyException_GetCause(raised.get()));
  PyErr_SetRaisedException(renamed.release());
  return false;
}

}  // namespace trelk::py
