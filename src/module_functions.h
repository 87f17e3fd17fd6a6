#pragma once

#include <Python.h>

// The definitions of the eleven module functions, which the module body
// registers in places 8 to 18. Each entry uses the fast calling convention
// with keywords; its documentation is only its text signature block.
namespace trelk::py {

extern PyMethodDef parse_duration_ms_def;
extern PyMethodDef parse_duration_s_def;
extern PyMethodDef seconds_to_duration_string_def;
extern PyMethodDef parse_iso_date_def;
extern PyMethodDef parse_iso_time_def;
extern PyMethodDef parse_datetime_def;
extern PyMethodDef parse_iso_duration_def;
extern PyMethodDef duration_isoformat_def;
extern PyMethodDef timezone_from_name_def;
extern PyMethodDef to_snake_case_def;
extern PyMethodDef build_namespaced_name_def;

}  // namespace trelk::py
