#pragma once

#include <Python.h>

#include <memory>

#include "ast_filesystem.h"
#include "ast_types.h"

// The class objects of the module. Each getter creates its class on first
// need and keeps it for the life of the process; it returns a borrowed
// reference, or nullptr with an exception set. REQUIRES: the interpreter
// lock.
namespace trelk::py {

PyTypeObject* std_ast_filesystem_type();
PyTypeObject* ast_file_parser_cache_type();
PyTypeObject* feature_field_ast_type();
PyTypeObject* feature_class_ast_type();
PyTypeObject* function_arg_ast_type();
PyTypeObject* resolver_ast_type();
PyTypeObject* ast_project_index_type();

// A new object of the record class of the same name, sharing `record`: a new
// reference, or nullptr with the interpreter's exception set. REQUIRES:
// `record` is not null.
[[nodiscard]] PyObject* new_record_object(
    std::shared_ptr<const FeatureClassAST> record);
[[nodiscard]] PyObject* new_record_object(
    std::shared_ptr<const ResolverAST> record);

// Converts an optional `filesystem` argument: nullptr (not given) and None
// leave `filesystem` empty; an instance of StdAstFileSystem gives its shared
// file system; any other object is a TypeError naming StdAstFileSystem.
[[nodiscard]] bool to_optional_filesystem(
    PyObject* object, std::shared_ptr<const AstFileSystem>& filesystem);

}  // namespace trelk::py
