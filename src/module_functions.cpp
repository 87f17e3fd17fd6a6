// The eleven module functions: compact durations, ISO 8601 values, time zones
// by name, snake case and namespaced names. This is the only file that
// includes <datetime.h>.

#include "module_functions.h"

#include <Python.h>
#include <datetime.h>

#include <atomic>
#include <cstdint>
#include <optional>
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

// The parameter lists of the module functions, and their CallableSpec.
constexpr std::string_view kS[] = {"s"};
constexpr std::string_view kName[] = {"name"};
constexpr std::string_view kTotalSeconds[] = {"total_seconds"};
constexpr std::string_view kTduration[] = {"tduration"};
constexpr std::string_view kNamespaceAndName[] = {"namespace", "name"};

constexpr CallableSpec function_spec(std::string_view function,
                                     std::span<const std::string_view> params,
                                     std::size_t required = 1) {
  return {.class_name = {},
          .function_name = function,
          .parameters = params,
          .required = required};
}

// Binds the one argument of `spec` and converts it as text.
bool one_text(const CallableSpec& spec, PyObject* const* args, Py_ssize_t nargs,
              PyObject* kwnames, std::string_view& text) {
  PyObject* bound[1];
  return bind_fastcall(spec, args, nargs, kwnames, bound) &&
         named(spec.parameters[0], to_text(bound[0], text));
}

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
  if (!one_text(spec, args, nargs, kwnames, text)) {
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

// --- Compact durations ---------------------------------------------------

constexpr CallableSpec kParseDurationMs =
    function_spec("parse_duration_ms", kS);
constexpr CallableSpec kParseDurationS = function_spec("parse_duration_s", kS);
constexpr CallableSpec kSecondsToDurationString =
    function_spec("seconds_to_duration_string", kTotalSeconds);

template <const CallableSpec& Spec,
          std::expected<int64_t, std::string> (*Parse)(std::string_view)>
PyObject* parse_compact(PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  std::string_view s;
  const auto result = parse_text_argument(Spec, args, nargs, kwnames, Parse, s);
  if (!result) {
    return nullptr;
  }
  return new_int(*result).release();
}

PyObject* seconds_to_duration_string_body(PyObject* const* args,
                                          Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[1];
  double total_seconds = 0;
  if (!bind_fastcall(kSecondsToDurationString, args, nargs, kwnames, bound) ||
      !named("total_seconds", to_double(bound[0], total_seconds))) {
    return nullptr;
  }
  const std::string text = without_gil(
      [total_seconds] { return seconds_to_duration_string(total_seconds); });
  return new_str(text).release();
}

// --- ISO 8601 dates and times --------------------------------------------

constexpr CallableSpec kParseIsoDate = function_spec("parse_iso_date", kS);
constexpr CallableSpec kParseIsoTime = function_spec("parse_iso_time", kS);
constexpr CallableSpec kParseDatetime = function_spec("parse_datetime", kS);

PyObject* parse_iso_date_body(PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  std::string_view s;
  const auto date =
      parse_text_argument(kParseIsoDate, args, nargs, kwnames, parse_date, s);
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

PyObject* parse_iso_time_body(PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  std::string_view s;
  const auto time =
      parse_text_argument(kParseIsoTime, args, nargs, kwnames, parse_time, s);
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

PyObject* parse_datetime_body(PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  std::string_view s;
  if (!one_text(kParseDatetime, args, nargs, kwnames, s)) {
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

// --- ISO 8601 durations ----------------------------------------------------

constexpr CallableSpec kParseIsoDuration =
    function_spec("parse_iso_duration", kS);
constexpr CallableSpec kDurationIsoformat =
    function_spec("duration_isoformat", kTduration);

PyObject* parse_iso_duration_body(PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  std::string_view s;
  const auto duration = parse_text_argument(kParseIsoDuration, args, nargs,
                                            kwnames, parse_duration, s);
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

PyObject* duration_isoformat_body(PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_fastcall(kDurationIsoformat, args, nargs, kwnames, bound)) {
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

// --- Time zones by name -----------------------------------------------------

constexpr CallableSpec kTimezoneFromName =
    function_spec("timezone_from_name", kName);

// With the interpreter lock held throughout: it calls no native operation.
PyObject* timezone_from_name_body(PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  std::string_view name;
  if (!one_text(kTimezoneFromName, args, nargs, kwnames, name)) {
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

// --- Snake case and namespaced names
// ------------------------------------------

constexpr CallableSpec kToSnakeCase = function_spec("to_snake_case", kName);
constexpr CallableSpec kBuildNamespacedName =
    function_spec("build_namespaced_name", kNamespaceAndName, 0);

// The str of a converted name. Under a memory limit, failing to create it is
// the MemoryError the interpreter raised, like the failure of any other
// allocation of the call, and not an internal failure.
PyObject* name_result(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(),
                                     static_cast<Py_ssize_t>(text.size()));
}

PyObject* to_snake_case_body(PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  std::string_view name;
  if (!one_text(kToSnakeCase, args, nargs, kwnames, name)) {
    return nullptr;
  }
  const std::string text = without_gil([name] { return to_snake_case(name); });
  return name_result(text);
}

PyObject* build_namespaced_name_body(PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
  PyObject* bound[2];
  std::optional<std::string_view> namespace_text;
  std::optional<std::string_view> name;
  if (!bind_fastcall(kBuildNamespacedName, args, nargs, kwnames, bound) ||
      !named("namespace", to_optional_text(bound[0], namespace_text)) ||
      !named("name", to_optional_text(bound[1], name))) {
    return nullptr;
  }
  const std::string text = without_gil([&namespace_text, &name] {
    return build_namespaced_name(namespace_text, name);
  });
  return name_result(text);
}

// --- Entries
// ------------------------------------------------------------------

using Body = PyObject* (*)(PyObject* const*, Py_ssize_t, PyObject*);

// The entry the interpreter calls: `Body` behind the boundary that turns
// native failures into exceptions.
template <Body body>
PyObject* entry(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  return guarded([&] { return body(args, nargs, kwnames); });
}

template <Body body>
constexpr PyMethodDef definition(const char* name, const char* doc) {
  return {.ml_name = name,
          .ml_meth = _PyCFunction_CAST(entry<body>),
          .ml_flags = METH_FASTCALL | METH_KEYWORDS,
          .ml_doc = doc};
}

}  // namespace

PyMethodDef parse_duration_ms_def =
    definition<parse_compact<kParseDurationMs, parse_duration_ms>>(
        "parse_duration_ms", "parse_duration_ms(s)\n--\n\n");
PyMethodDef parse_duration_s_def =
    definition<parse_compact<kParseDurationS, parse_duration_s>>(
        "parse_duration_s", "parse_duration_s(s)\n--\n\n");
PyMethodDef seconds_to_duration_string_def =
    definition<seconds_to_duration_string_body>(
        "seconds_to_duration_string",
        "seconds_to_duration_string(total_seconds)\n--\n\n");
PyMethodDef parse_iso_date_def = definition<parse_iso_date_body>(
    "parse_iso_date", "parse_iso_date(s)\n--\n\n");
PyMethodDef parse_iso_time_def = definition<parse_iso_time_body>(
    "parse_iso_time", "parse_iso_time(s)\n--\n\n");
PyMethodDef parse_datetime_def = definition<parse_datetime_body>(
    "parse_datetime", "parse_datetime(s)\n--\n\n");
PyMethodDef parse_iso_duration_def = definition<parse_iso_duration_body>(
    "parse_iso_duration", "parse_iso_duration(s)\n--\n\n");
PyMethodDef duration_isoformat_def = definition<duration_isoformat_body>(
    "duration_isoformat", "duration_isoformat(tduration)\n--\n\n");
PyMethodDef timezone_from_name_def = definition<timezone_from_name_body>(
    "timezone_from_name", "timezone_from_name(name)\n--\n\n");
PyMethodDef to_snake_case_def = definition<to_snake_case_body>(
    "to_snake_case", "to_snake_case(name)\n--\n\n");
PyMethodDef build_namespaced_name_def = definition<build_namespaced_name_body>(
    "build_namespaced_name",
    "build_namespaced_name(namespace=None, name=None)\n--\n\n");

}  // namespace trelk::py
