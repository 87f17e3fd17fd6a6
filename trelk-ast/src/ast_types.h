#pragma once

#include <optional>
#include <string>
#include <vector>

#include "location.h"
#include "ordered_map.h"

// The records that source analysis makes of the definitions it finds. Each is
// a plain value: built once by the extraction, never changed afterwards, and
// copied whole (a copy shares nothing mutable with its source). Maps keep
// their keys in source order.
namespace trelk {

// A map from a keyword, parameter or dictionary key to a location.
using LocationMap = OrderedMap<Location>;

// One parameter of a function.
struct FunctionArgAST {
  std::string arg_name;
  // The parameter as written: the name with its annotation, and the star or
  // stars of "*args" and "**kwargs"; a default value lies outside it.
  Location arg_location;
  std::optional<Location> annotation = {};

  friend bool operator==(const FunctionArgAST&,
                         const FunctionArgAST&) = default;
};

// One function definition, resolver or not (a resolver is a function whose
// decorator_location is present), at any depth of nesting.
struct ResolverAST {
  std::string module;
  std::string resolver_name;
  Location resolver_name_location;
  // The resolver decorator's expression, without the at sign.
  std::optional<Location> decorator_location = {};
  // The keywords of the decorator's call: the keyword's name, and its value.
  LocationMap kwarg_names = {};
  LocationMap kwargs = {};
  // For each keyword whose value is a dictionary display: its string-literal
  // keys (quotes included), and the values paired with them.
  OrderedMap<LocationMap> kwarg_dict_key_names = {};
  OrderedMap<LocationMap> kwarg_dict_values = {};
  // Parameter names in order, duplicates kept; `args` holds the last of each.
  std::vector<std::string> args_in_order = {};
  OrderedMap<FunctionArgAST> args = {};
  std::optional<Location> return_annotation = {};
  // The one-character colon that ends the header, when there is no return
  // annotation.
  std::optional<Location> missing_return_annotation = {};
  // Every return statement inside, nested definitions included, in source
  // order.
  std::vector<Location> return_statements = {};
  // From the first statement of the body to the end of the last.
  std::optional<Location> body = {};
  // The value of the body's first top-level return statement.
  std::optional<Location> return_arg = {};

  friend bool operator==(const ResolverAST&, const ResolverAST&) = default;
};

// One field statement of a feature class: an annotated name, or a plain
// assignment to one name.
struct FeatureFieldAST {
  std::string field_name;
  Location field_name_location;
  // The documenting comment block, one comment per line joined by "\n".
  std::optional<std::string> comment = {};
  // The block's lines that name neither an owner nor tags.
  std::optional<std::string> description = {};
  std::optional<std::string> owner = {};
  std::vector<std::string> tags = {};
  std::optional<Location> annotation = {};
  // The assigned value (for an annotated field, only when it is a call).
  std::optional<Location> feature_call = {};
  LocationMap kwarg_names = {};
  LocationMap kwargs = {};

  friend bool operator==(const FeatureFieldAST&,
                         const FeatureFieldAST&) = default;
};

// One class decorated with the `features` decorator.
struct FeatureClassAST {
  std::string module;
  // The decorator's "name" string, or the snake case of the class name.
  std::string namespace_name;
  std::string class_name;
  // From the line of the first decorator to the end of the class's last
  // line, with the common indentation removed.
  std::string source;
  Location class_name_location;
  // The whole line that holds the class name.
  Location class_definition_location;
  Location decorator_location;
  LocationMap kwarg_names = {};
  LocationMap kwargs = {};
  // Annotated and plain fields merged, by name.
  OrderedMap<FeatureFieldAST> fields = {};
  // The annotated fields only, in body order.
  std::vector<FeatureFieldAST> annotations = {};

  friend bool operator==(const FeatureClassAST&,
                         const FeatureClassAST&) = default;
};

// One file's extracted definitions. Built once, then shared read-only.
struct ParsedAstFile {
  std::vector<FeatureClassAST> feature_classes;
  // Every function definition at any depth, in source order.
  std::vector<ResolverAST> functions;
  // Copies of the functions that carry a resolver decorator.
  std::vector<ResolverAST> resolvers;

  friend bool operator==(const ParsedAstFile&, const ParsedAstFile&) = default;
};

}  // namespace trelk
