// The four read-only record classes FeatureFieldAST, FeatureClassAST,
// FunctionArgAST and ResolverAST. They share one shape, so they share one
// implementation: an object sharing one record, and a getter per field that
// converts the field anew on every read. Each class is then only its table
// of properties and its type specification.
//
// An object holds a shared pointer to its record, never a copy: a query's
// record is the index's own, and a nested record (a field of a class, an
// argument of a function) is part of its parent's. Records never change, so
// sharing them cannot be seen from Python; it only keeps what they belong
// to alive.

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "boundary.h"
#include "classes.h"
#include "py_class.h"

namespace trelk::py {

namespace {

PyTypeObject* class_of(const FeatureFieldAST&) {
  return feature_field_ast_type();
}
PyTypeObject* class_of(const FeatureClassAST&) {
  return feature_class_ast_type();
}
PyTypeObject* class_of(const FunctionArgAST&) {
  return function_arg_ast_type();
}
PyTypeObject* class_of(const ResolverAST&) { return resolver_ast_type(); }

template <class Record>
using Shared = std::shared_ptr<const Record>;

// Whatever a record object's record belongs to, kept alive by its nested
// records' objects.
using Owner = std::shared_ptr<const void>;

// A new object of the record's class sharing `record`, or an empty reference
// with the interpreter's exception set. REQUIRES: `record` is not null.
template <class Record>
PyRef make_record(Shared<Record> record) {
  PyTypeObject* type = class_of(*record);
  if (type == nullptr) {
    return {};
  }
  return PyRef::steal(new_native_object(type, std::move(record)));
}

// Conversions of one field into new Python objects; `owner` is what the
// field belongs to. Each returns a new reference, or an empty one with an
// exception set when a record object could not be made; a str, tuple, list
// or dict that cannot be made ends the call as an internal failure.

PyRef checked(PyObject* object) {
  if (object == nullptr) {
    fail_creating_result();
  }
  return PyRef::steal(object);
}

PyRef to_python(const std::string& text, const Owner&) { return new_str(text); }

// (start line, start character, end line, end character); the URI is left
// behind.
PyRef to_python(const Location& location, const Owner&) {
  const Range& range = location.range;
  PyRef tuple = checked(PyTuple_New(4));
  const std::uint32_t numbers[] = {range.start.line, range.start.character,
                                   range.end.line, range.end.character};
  for (Py_ssize_t i = 0; i < 4; ++i) {
    PyTuple_SET_ITEM(tuple.get(), i, new_int(numbers[i]).release());
  }
  return tuple;
}

template <class Record>
PyRef nested_record(const Record& record, const Owner& owner) {
  return make_record(Shared<Record>(owner, &record));
}

PyRef to_python(const FeatureFieldAST& field, const Owner& owner) {
  return nested_record(field, owner);
}
PyRef to_python(const FunctionArgAST& arg, const Owner& owner) {
  return nested_record(arg, owner);
}

template <class T>
PyRef to_python(const std::optional<T>& value, const Owner& owner) {
  if (!value) {
    return PyRef::borrow(Py_None);
  }
  return to_python(*value, owner);
}

template <class T>
PyRef to_python(const std::vector<T>& items, const Owner& owner) {
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(items.size())));
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyRef item = to_python(items[i], owner);
    if (!item) {
      return {};
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list;
}

template <class V>
PyRef to_python(const OrderedMap<V>& map, const Owner& owner) {
  PyRef dict = checked(PyDict_New());
  for (const auto& [key, value] : map) {
    PyRef item = to_python(value, owner);
    if (!item) {
      return {};
    }
    if (PyDict_SetItem(dict.get(), new_str(key).get(), item.get()) < 0) {
      fail_creating_result();
    }
  }
  return dict;
}

template <class T>
struct MemberOf;
template <class Record, class Field>
struct MemberOf<Field Record::*> {
  using type = Record;
};

template <auto Member>
PyObject* get_field(PyObject* self, void*) {
  using Record = typename MemberOf<decltype(Member)>::type;
  return guarded([&] {
    const Shared<Record>& record = native_of<Shared<Record>>(self);
    return to_python((*record).*Member, record).release();
  });
}

// A read-only property without documentation.
template <auto Member>
constexpr PyGetSetDef property(const char* name) {
  return {.name = name,
          .get = get_field<Member>,
          .set = nullptr,
          .doc = nullptr,
          .closure = nullptr};
}

// No constructor and no documentation: the objects are made only by this
// module, and calling the class is the interpreter's TypeError.
constexpr unsigned int kRecordFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION;

// FeatureFieldAST

PyGetSetDef kFeatureFieldProperties[] = {
    property<&FeatureFieldAST::field_name>("field_name"),
    property<&FeatureFieldAST::field_name_location>("field_name_location"),
    property<&FeatureFieldAST::comment>("comment"),
    property<&FeatureFieldAST::description>("description"),
    property<&FeatureFieldAST::owner>("owner"),
    property<&FeatureFieldAST::tags>("tags"),
    property<&FeatureFieldAST::annotation>("annotation"),
    property<&FeatureFieldAST::feature_call>("feature_call"),
    property<&FeatureFieldAST::kwarg_names>("kwarg_names"),
    property<&FeatureFieldAST::kwargs>("kwargs"),
    {},
};

constexpr ClassDefinition kFeatureField = {
    .name = "builtins.FeatureFieldAST",
    .flags = kRecordFlags,
    .properties = kFeatureFieldProperties};

// FeatureClassAST

PyGetSetDef kFeatureClassProperties[] = {
    property<&FeatureClassAST::module>("module"),
    property<&FeatureClassAST::namespace_name>("namespace"),
    property<&FeatureClassAST::class_name>("class_name"),
    property<&FeatureClassAST::source>("source"),
    property<&FeatureClassAST::class_name_location>("class_name_location"),
    property<&FeatureClassAST::class_definition_location>(
        "class_definition_location"),
    property<&FeatureClassAST::decorator_location>("decorator_location"),
    property<&FeatureClassAST::kwarg_names>("kwarg_names"),
    property<&FeatureClassAST::kwargs>("kwargs"),
    property<&FeatureClassAST::fields>("fields"),
    property<&FeatureClassAST::annotations>("annotations"),
    {},
};

constexpr ClassDefinition kFeatureClass = {
    .name = "builtins.FeatureClassAST",
    .flags = kRecordFlags,
    .properties = kFeatureClassProperties};

// FunctionArgAST

PyGetSetDef kFunctionArgProperties[] = {
    property<&FunctionArgAST::arg_name>("arg_name"),
    property<&FunctionArgAST::arg_location>("arg_location"),
    property<&FunctionArgAST::annotation>("annotation"),
    {},
};

constexpr ClassDefinition kFunctionArg = {.name = "builtins.FunctionArgAST",
                                          .flags = kRecordFlags,
                                          .properties = kFunctionArgProperties};

// ResolverAST

PyGetSetDef kResolverProperties[] = {
    property<&ResolverAST::module>("module"),
    property<&ResolverAST::resolver_name>("resolver_name"),
    property<&ResolverAST::resolver_name_location>("resolver_name_location"),
    property<&ResolverAST::decorator_location>("decorator_location"),
    property<&ResolverAST::kwarg_names>("kwarg_names"),
    property<&ResolverAST::kwargs>("kwargs"),
    property<&ResolverAST::kwarg_dict_key_names>("kwarg_dict_key_names"),
    property<&ResolverAST::kwarg_dict_values>("kwarg_dict_values"),
    property<&ResolverAST::args_in_order>("args_in_order"),
    property<&ResolverAST::args>("args"),
    property<&ResolverAST::return_annotation>("return_annotation"),
    property<&ResolverAST::missing_return_annotation>(
        "missing_return_annotation"),
    property<&ResolverAST::return_statements>("return_statements"),
    property<&ResolverAST::body>("body"),
    property<&ResolverAST::return_arg>("return_arg"),
    {},
};

constexpr ClassDefinition kResolver = {.name = "builtins.ResolverAST",
                                       .flags = kRecordFlags,
                                       .properties = kResolverProperties};

}  // namespace

PyTypeObject* feature_field_ast_type() {
  return class_object<Shared<FeatureFieldAST>, kFeatureField>();
}

PyTypeObject* feature_class_ast_type() {
  return class_object<Shared<FeatureClassAST>, kFeatureClass>();
}

PyTypeObject* function_arg_ast_type() {
  return class_object<Shared<FunctionArgAST>, kFunctionArg>();
}

PyTypeObject* resolver_ast_type() {
  return class_object<Shared<ResolverAST>, kResolver>();
}

PyObject* new_record_object(std::shared_ptr<const FeatureClassAST> record) {
  return make_record(std::move(record)).release();
}

PyObject* new_record_object(std::shared_ptr<const ResolverAST> record) {
  return make_record(std::move(record)).release();
}

}  // namespace trelk::py
