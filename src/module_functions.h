#pragma once

#include <Python.h>

#include <span>

namespace trelk::py {

// The method definitions of the module functions, in the order in which the
// module body registers them, after the classes. Each entry uses the fast
// calling convention with keywords; its documentation is only its text
// signature block. The definitions live for the life of the process, as the
// function objects made from them require.
std::span<PyMethodDef> module_function_definitions();

}  // namespace trelk::py
