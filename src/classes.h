#pragma once

#include <Python.h>

#include <memory>

#include "ast_filesystem.h"

// The class objects of the module. Each getter creates its class on first
// need and keeps it for the life of the process; it returns a borrowed
// reference, or nullptr with an exception set. REQUIRES: the interpreter
// lock.
namespace trelk::py {

PyTypeObject* std_ast_filesystem_type();
PyTypeObject* ast_file_parser_cache_type();

// Converts an optional `filesystem` argument: nullptr (not given) and None
// leave `filesystem` empty; an instance of StdAstFileSystem gives its shared
// file system; any other object is a TypeError naming StdAstFileSystem.
[[nodiscard]] bool to_optional_filesystem(
    PyObject* object, std::shared_ptr<const AstFileSystem>& filesystem);

}  // namespace trelk::py
