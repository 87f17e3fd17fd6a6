// The eleven module functions: compact durations, ISO 8601 values, time zones
// by name, snake case and namespaced names. This is the only file that
// includes <datetime.h>.

#include "module_functions.h"

#include <Python.h>
#include <datetime.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding.h"
#include "boundary.h"
#include "compact_duration.h"
#include "iso_duration.h"
#include "isodate.h"
#include "namespace_name.h"
#include "once_object.h"
#include "py_class.h"
#include "py_ref.h"

namespace trelk::py {

namespace {

// The interpreter's datetime C API, imported by the first call that builds or
// checks a datetime value and kept for the life of the process. The cell is
// set with the interpreter lock held and never under std::call_once: the
// import runs Python code, which may release the lock. Two threads of a
// free-threaded interpreter may both import it; they get the same record.
// Returns nullptr with the import's exception set.
const PyDateTime_CAPI* datetime_api() {
  static std::atomic<const PyDateTime_CAPI*> cell{nullptr};
  const PyDateTime_CAPI* api = cell.load(std::memory_order_acquire);
  if (api == nullptr) {
    api = static_cast<const PyDateTime_CAPI*>(
        PyCapsule_Import(PyDateTime_CAPSULE_NAME, 0));
    if (api != nullptr) {
      cell.store(api, std::memory_order_release);
    }
  }
  return api;
}

// `module.attribute` after importing `module`; nullptr with the exception of
// either step set.
PyRef import_attribute(const char* module, const char* attribute) {
  PyRef imported = PyRef::steal(PyImport_ImportModule(module));
  if (!imported) {
    return {};
  }
  return PyRef::steal(PyObject_GetAttrString(imported.get(), attribute));
}

// The str `text`, interned on first need and kept in `cell`. A failure is not
// kept: it returns nullptr with the exception set, and the next call tries
// again.
PyObject* interned(std::atomic<PyObject*>& cell, const char* text) {
  return once_object(cell, [text] { return PyUnicode_InternFromString(text); });
}

// `datetime.attribute`, as import_attribute gives it, for the calls made on
// every parse. Once the C API is bound, `datetime` has been fully imported,
// so a module that sys.modules holds under that name is what the import
// would return; taking it from there spares each call the import machinery.
// Anything else (absent, or blocked by a None entry) goes through the full
// import and its errors. REQUIRES: datetime_api() has succeeded.
PyRef datetime_attribute(const char* attribute) {
  static std::atomic<PyObject*> name_cell{nullptr};
  PyObject* name = interned(name_cell, "datetime");
  if (name == nullptr) {
    return {};
  }
  PyRef imported = PyRef::steal(PyImport_GetModule(name));
  if (!imported || imported.get() == Py_None) {
    if (PyErr_Occurred()) {
      return {};
    }
    return import_attribute("datetime", attribute);
  }
  return PyRef::steal(PyObject_GetAttrString(imported.get(), attribute));
}

// Checks a value that a call into Python returned: an instance of `type` (or
// of a subclass) passes; anything else is the TypeError naming `expected`.
PyRef checked_instance(PyRef value, PyTypeObject* type,
                       std::string_view expected) {
  if (value && !PyObject_TypeCheck(value.get(), type)) {
    raise_not_an_instance(value.get(), expected);
    return {};
  }
  return value;
}

// The parameter lists of the module functions.
constexpr std::string_view kS[] = {"s"};
constexpr std::string_view kName[] = {"name"};
constexpr std::string_view kTotalSeconds[] = {"total_seconds"};
constexpr std::string_view kTduration[] = {"tduration"};
constexpr std::string_view kNamespaceAndName[] = {"namespace", "name"};

// Binds and converts the one text argument of `spec` into `text`, then runs
// `parse` on it with the interpreter lock released. A parse error becomes
// ValueError with its message. Returns nullopt with an exception set when
// any step fails.
template <typename Parse>
auto parse_text_argument(const CallableSpec& spec, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames, Parse parse,
                         std::string_view& text)
    -> std::optional<
        typename std::invoke_result_t<Parse, std::string_view>::value_type> {
  if (!bind_text(spec, args, nargs, kwnames, text)) {
    return std::nullopt;
  }
  auto result = without_gil([&parse, text] { return parse(text); });
  if (!result) {
    raise_with_message(PyExc_ValueError, result.error());
    return std::nullopt;
  }
  return std::move(*result);
}

// The `timedelta` of a zone offset, normalised (a negative offset becomes
// days -1 and the remaining seconds).
PyRef offset_delta(const PyDateTime_CAPI& api, int32_t offset_seconds) {
  return PyRef::steal(
      api.Delta_FromDelta(0, offset_seconds, 0, 1, api.DeltaType));
}

// --- Compact durations -------------------------------------------------------

template <std::expected<int64_t, std::string> (*Parse)(std::string_view)>
PyObject* parse_compact(const CallableSpec& spec, PyObject* const* args,
                        Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view s;
  const auto result = parse_text_argument(spec, args, nargs, kwnames, Parse, s);
  if (!result) {
    return nullptr;
  }
  return new_int(*result).release();
}

PyObject* seconds_to_duration_string_body(const CallableSpec& spec,
                                          PyObject* const* args,
                                          Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  double total_seconds = 0;
  if (!bind_fastcall(spec, args, nargs, kwnames, bound) ||
      !named(spec.parameters[0], to_double(bound[0], total_seconds))) {
    return nullptr;
  }
  const std::string text = without_gil(
      [total_seconds] { return seconds_to_duration_string(total_seconds); });
  return new_str(text).release();
}

// --- ISO 8601 dates and times ------------------------------------------------

PyObject* parse_iso_date_body(const CallableSpec& spec, PyObject* const* args,
                              Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view s;
  const auto date =
      parse_text_argument(spec, args, nargs, kwnames, parse_date, s);
  if (!date) {
    return nullptr;
  }
  const PyDateTime_CAPI* api = datetime_api();
  if (api == nullptr) {
    return nullptr;
  }
  // The interpreter's constructor checks the ranges (month 13, April 31).
  return api->Date_FromDate(static_cast<int32_t>(date->year), date->month,
                            date->day, api->DateType);
}

// The zone of a parsed time of day: a fixed offset keeps the zone text as its
// name, even at offset zero, so "+00:00" is not the UTC object here.
PyRef time_zone(const PyDateTime_CAPI& api, const IsoTz& tz) {
  switch (tz.kind) {
    case IsoTz::Kind::kNaive:
      return PyRef::borrow(Py_None);
    case IsoTz::Kind::kUtc:
      return PyRef::borrow(api.TimeZone_UTC);
    case IsoTz::Kind::kFixed:
      break;
  }
  PyRef delta = offset_delta(api, tz.offset_seconds);
  if (!delta) {
    return {};
  }
  PyRef timezone = datetime_attribute("timezone");
  if (!timezone) {
    return {};
  }
  PyRef name = new_str(tz.name);
  PyObject* call_args[] = {delta.get(), name.get()};
  return checked_instance(
      PyRef::steal(PyObject_Vectorcall(timezone.get(), call_args, 2, nullptr)),
      api.TZInfoType, "tzinfo");
}

// The zone of a parsed date-time: any offset of zero is the UTC object, and
// other offsets are unnamed.
PyRef datetime_zone(const PyDateTime_CAPI& api, const IsoTz& tz) {
  if (tz.kind == IsoTz::Kind::kNaive) {
    return PyRef::borrow(Py_None);
  }
  if (tz.kind == IsoTz::Kind::kUtc || tz.offset_seconds == 0) {
    return PyRef::borrow(api.TimeZone_UTC);
  }
  PyRef delta = offset_delta(api, tz.offset_seconds);
  if (!delta) {
    return {};
  }
  return PyRef::steal(api.TimeZone_FromTimeZone(delta.get(), nullptr));
}

PyObject* parse_iso_time_body(const CallableSpec& spec, PyObject* const* args,
                              Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view s;
  const auto time =
      parse_text_argument(spec, args, nargs, kwnames, parse_time, s);
  if (!time) {
    return nullptr;
  }
  const PyDateTime_CAPI* api = datetime_api();
  if (api == nullptr) {
    return nullptr;
  }
  PyRef zone = time_zone(*api, time->tz);
  if (!zone) {
    return nullptr;
  }
  return api->Time_FromTime(time->hour, time->minute, time->second,
                            static_cast<int>(time->microsecond), zone.get(),
                            api->TimeType);
}

// Today's local date from `datetime.date.today()`, looked up anew on every
// call; nullopt with the exception set when that fails.
std::optional<IsoDate> today(const PyDateTime_CAPI& api) {
  PyRef date_type = datetime_attribute("date");
  if (!date_type) {
    return std::nullopt;
  }
  // Interned once: the name is looked up on every call.
  static std::atomic<PyObject*> method_cell{nullptr};
  PyObject* method = interned(method_cell, "today");
  if (method == nullptr) {
    return std::nullopt;
  }
  PyObject* call_args[] = {date_type.get()};
  PyRef date = checked_instance(
      PyRef::steal(PyObject_VectorcallMethod(
          method, call_args, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr)),
      api.DateType, "date");
  if (!date) {
    return std::nullopt;
  }
  return IsoDate{
      .year = static_cast<uint32_t>(PyDateTime_GET_YEAR(date.get())),
      .month = static_cast<uint8_t>(PyDateTime_GET_MONTH(date.get())),
      .day = static_cast<uint8_t>(PyDateTime_GET_DAY(date.get())),
  };
}

PyObject* parse_datetime_body(const CallableSpec& spec, PyObject* const* args,
                              Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view s;
  if (!bind_text(spec, args, nargs, kwnames, s)) {
    return nullptr;
  }
  const PyDateTime_CAPI* api = datetime_api();
  if (api == nullptr) {
    return nullptr;
  }
  // Fetched before the parse, whether or not the text names a date.
  const std::optional<IsoDate> default_date = today(*api);
  if (!default_date) {
    return nullptr;
  }
  const auto parsed = without_gil([s, &default_date] {
    return parse_datetime_with_default_date(s, default_date);
  });
  if (!parsed) {
    raise_with_message(PyExc_ValueError, parsed.error());
    return nullptr;
  }
  PyRef zone = datetime_zone(*api, parsed->time.tz);
  if (!zone) {
    return nullptr;
  }
  const IsoDate& date = parsed->date;
  const IsoTime& time = parsed->time;
  return api->DateTime_FromDateAndTime(
      static_cast<int32_t>(date.year), date.month, date.day, time.hour,
      time.minute, time.second, static_cast<int>(time.microsecond), zone.get(),
      api->DateTimeType);
}

// --- ISO 8601 durations ------------------------------------------------------

PyObject* parse_iso_duration_body(const CallableSpec& spec,
                                  PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  std::string_view s;
  const auto duration =
      parse_text_argument(spec, args, nargs, kwnames, parse_duration, s);
  if (!duration) {
    return nullptr;
  }
  if (duration->kind == IsoDuration::Kind::kYearMonth) {
    raise_with_message(
        PyExc_TypeError,
        "ISO 8601 duration '" + std::string(s) +
            "' contains year/month components that cannot be represented as "
            "a fixed timedelta");
    return nullptr;
  }
  const auto parts = split_timedelta(duration->microseconds);
  if (!parts) {
    raise_with_message(PyExc_OverflowError, parts.error());
    return nullptr;
  }
  const PyDateTime_CAPI* api = datetime_api();
  if (api == nullptr) {
    return nullptr;
  }
  // Already normalised; the interpreter still checks the day range.
  return api->Delta_FromDelta(parts->days, parts->seconds, parts->microseconds,
                              0, api->DeltaType);
}

PyObject* duration_isoformat_body(const CallableSpec& spec,
                                  PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_fastcall(spec, args, nargs, kwnames, bound)) {
    return nullptr;
  }
  const PyDateTime_CAPI* api = datetime_api();
  if (api == nullptr) {
    return nullptr;
  }
  PyObject* delta = bound[0];
  if (!PyObject_TypeCheck(delta, api->DeltaType)) {
    raise_with_message(PyExc_TypeError,
                       "duration_isoformat expects a datetime.timedelta");
    return nullptr;
  }
  const int32_t days = PyDateTime_DELTA_GET_DAYS(delta);
  const int32_t seconds = PyDateTime_DELTA_GET_SECONDS(delta);
  const int32_t microseconds = PyDateTime_DELTA_GET_MICROSECONDS(delta);
  const std::string text = without_gil([days, seconds, microseconds] {
    return duration_isoformat(days, seconds, microseconds);
  });
  return new_str(text).release();
}

// --- Time zones by name ------------------------------------------------------

// With the interpreter lock held throughout: it calls no native operation.
PyObject* timezone_from_name_body(const CallableSpec& spec,
                                  PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  std::string_view name;
  if (!bind_text(spec, args, nargs, kwnames, name)) {
    return nullptr;
  }
  if (name.empty()) {
    Py_RETURN_NONE;
  }
  PyRef zone_info = import_attribute("zoneinfo", "ZoneInfo");
  if (!zone_info) {
    return nullptr;
  }
  PyRef key = new_str(name);
  PyRef zone = PyRef::steal(PyObject_CallOneArg(zone_info.get(), key.get()));
  if (!zone) {
    // An unknown or invalid zone is None; an interrupt or an exit request
    // (exceptions outside Exception) still ends the caller's work.
    if (!PyErr_ExceptionMatches(PyExc_Exception)) {
      return nullptr;
    }
    PyErr_Clear();
    Py_RETURN_NONE;
  }
  const PyDateTime_CAPI* api = datetime_api();
  if (api == nullptr) {
    return nullptr;
  }
  return checked_instance(std::move(zone), api->TZInfoType, "tzinfo").release();
}

// --- Snake case and namespaced names -----------------------------------------

// The str of a converted name. Under a memory limit, failing to create it is
// the MemoryError the interpreter raised, like the failure of any other
// allocation of the call, and not an internal failure.
PyObject* name_result(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(),
                                     static_cast<Py_ssize_t>(text.size()));
}

PyObject* to_snake_case_body(const CallableSpec& spec, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view name;
  if (!bind_text(spec, args, nargs, kwnames, name)) {
    return nullptr;
  }
  const std::string text = without_gil([name] { return to_snake_case(name); });
  return name_result(text);
}

PyObject* build_namespaced_name_body(const CallableSpec& spec,
                                     PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
  PyObject* bound[2];
  std::optional<std::string_view> namespace_text;
  std::optional<std::string_view> name;
  if (!bind_fastcall(spec, args, nargs, kwnames, bound) ||
      !named(spec.parameters[0], to_optional_text(bound[0], namespace_text)) ||
      !named(spec.parameters[1], to_optional_text(bound[1], name))) {
    return nullptr;
  }
  const std::string text = without_gil([&namespace_text, &name] {
    return build_namespaced_name(namespace_text, name);
  });
  return name_result(text);
}

// --- The table ---------------------------------------------------------------

// A native body: binds its arguments after `spec`, converts them and does the
// work. Returns a new reference, or nullptr with an exception set.
using Body = PyObject* (*)(const CallableSpec& spec, PyObject* const* args,
                           Py_ssize_t nargs, PyObject* kwnames);

struct ModuleFunction {
  CallableSpec spec;
  Body body;
};

constexpr ModuleFunction function(std::string_view name,
                                  std::span<const std::string_view> parameters,
                                  std::size_t required, Body body) {
  return {.spec = {.class_name = {},
                   .function_name = name,
                   .parameters = parameters,
                   .required = required},
          .body = body};
}

// One row per module function, in its place in `__all__` after the classes:
// the name, the parameters, how many of them are required (the rest default
// to None) and the native body. The method definitions, their text
// signatures and the registration order all come from these rows.
// clang-format off
constexpr ModuleFunction kModuleFunctions[] = {
    function("parse_duration_ms",          kS,                 1, parse_compact<parse_duration_ms>),
    function("parse_duration_s",           kS,                 1, parse_compact<parse_duration_s>),
    function("seconds_to_duration_string", kTotalSeconds,      1, seconds_to_duration_string_body),
    function("parse_iso_date",             kS,                 1, parse_iso_date_body),
    function("parse_iso_time",             kS,                 1, parse_iso_time_body),
    function("parse_datetime",             kS,                 1, parse_datetime_body),
    function("parse_iso_duration",         kS,                 1, parse_iso_duration_body),
    function("duration_isoformat",         kTduration,         1, duration_isoformat_body),
    function("timezone_from_name",         kName,              1, timezone_from_name_body),
    function("to_snake_case",              kName,              1, to_snake_case_body),
    function("build_namespaced_name",      kNamespaceAndName,  0, build_namespaced_name_body),
};
// clang-format on

// The entry the interpreter calls for row `kIndex`: its body behind the
// boundary that turns native failures into exceptions.
template <std::size_t kIndex>
PyObject* entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  constexpr const ModuleFunction& function = kModuleFunctions[kIndex];
  return guarded(
      [&] { return function.body(function.spec, args, nargs, kwnames); });
}

template <std::size_t... kIndex>
std::array<PyMethodDef, sizeof...(kIndex)> definitions(
    std::index_sequence<kIndex...>) {
  return {
      method_definition<kModuleFunctions[kIndex].spec, SignatureOf::kFunction>(
          entry<kIndex>)...};
}

}  // namespace

std::span<PyMethodDef> module_function_definitions() {
  static std::array<PyMethodDef, std::size(kModuleFunctions)> defined =
      definitions(std::make_index_sequence<std::size(kModuleFunctions)>());
  return defined;
}

}  // namespace trelk::py
