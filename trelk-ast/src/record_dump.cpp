#include "record_dump.h"

#include "debug_quote.h"

namespace trelk {

namespace {

std::string position(const Position& p) {
  return std::to_string(p.line) + ":" + std::to_string(p.character);
}

void line(std::string& out, std::string_view indent, std::string_view text) {
  out.append(indent);
  out.append(text);
  out.push_back('\n');
}

void dump_keywords(std::string& out, std::string_view indent,
                   const LocationMap& names, const LocationMap& values) {
  for (const auto& [keyword, location] : names) {
    line(out, indent, "kwarg_name " + keyword + " " + dump_location(location));
  }
  for (const auto& [keyword, location] : values) {
    line(out, indent, "kwarg " + keyword + " " + dump_location(location));
  }
}

// One line per key of each dictionary-valued keyword.
void dump_dictionary_keywords(std::string& out, std::string_view kind,
                              const OrderedMap<LocationMap>& keywords) {
  for (const auto& [keyword, locations] : keywords) {
    for (const auto& [key, location] : locations) {
      line(out, "  ",
           std::string(kind) + " " + keyword + " " + debug_quote(key) + " " +
               dump_location(location));
    }
  }
}

void dump_field(std::string& out, std::string_view kind,
                const FeatureFieldAST& field) {
  line(out, "  ",
       std::string(kind) + " " + field.field_name + " " +
           dump_location(field.field_name_location) + " annotation " +
           dump_location(field.annotation) + " call " +
           dump_location(field.feature_call));
  const std::string_view inner = "    ";
  if (field.comment) {
    line(out, inner, "comment " + debug_quote(*field.comment));
  }
  if (field.description) {
    line(out, inner, "description " + debug_quote(*field.description));
  }
  if (field.owner) {
    line(out, inner, "owner " + debug_quote(*field.owner));
  }
  for (const std::string& tag : field.tags) {
    line(out, inner, "tag " + debug_quote(tag));
  }
  dump_keywords(out, inner, field.kwarg_names, field.kwargs);
}

}  // namespace

std::string dump_location(const Location& location) {
  return position(location.range.start) + "-" + position(location.range.end);
}

std::string dump_location(const std::optional<Location>& location) {
  return location ? dump_location(*location) : "-";
}

std::string dump_function(const ResolverAST& function) {
  std::string out;
  line(out, "",
       "function " + function.resolver_name + " " +
           dump_location(function.resolver_name_location) + " module " +
           function.module);
  if (function.decorator_location) {
    line(out, "  ", "decorator " + dump_location(function.decorator_location));
  }
  dump_keywords(out, "  ", function.kwarg_names, function.kwargs);
  dump_dictionary_keywords(out, "dict_key", function.kwarg_dict_key_names);
  dump_dictionary_keywords(out, "dict_value", function.kwarg_dict_values);
  std::string order = "args";
  for (const std::string& name : function.args_in_order) {
    order += " " + name;
  }
  line(out, "  ", order);
  for (const auto& [name, arg] : function.args) {
    line(out, "  ",
         "arg " + name + " " + dump_location(arg.arg_location) +
             " annotation " + dump_location(arg.annotation));
  }
  line(out, "  ",
       "returns " + dump_location(function.return_annotation) + " missing " +
           dump_location(function.missing_return_annotation));
  for (const Location& ret : function.return_statements) {
    line(out, "  ", "return " + dump_location(ret));
  }
  line(out, "  ",
       "body " + dump_location(function.body) + " return_arg " +
           dump_location(function.return_arg));
  return out;
}

std::string dump_feature_class(const FeatureClassAST& cls) {
  std::string out;
  line(out, "",
       "feature_class " + cls.class_name + " " +
           dump_location(cls.class_name_location) + " module " + cls.module +
           " namespace " + debug_quote(cls.namespace_name));
  line(out, "  ", "line " + dump_location(cls.class_definition_location));
  line(out, "  ", "decorator " + dump_location(cls.decorator_location));
  dump_keywords(out, "  ", cls.kwarg_names, cls.kwargs);
  line(out, "  ", "source " + debug_quote(cls.source));
  for (const FeatureFieldAST& field : cls.annotations) {
    dump_field(out, "annotation", field);
  }
  for (const auto& [name, field] : cls.fields) {
    dump_field(out, "field", field);
  }
  return out;
}

std::string dump_parsed_ast_file(const ParsedAstFile& file) {
  std::string out;
  for (const FeatureClassAST& cls : file.feature_classes) {
    out += dump_feature_class(cls);
  }
  for (const ResolverAST& function : file.functions) {
    out += dump_function(function);
  }
  for (const ResolverAST& resolver : file.resolvers) {
    line(out, "", "resolver " + resolver.resolver_name);
  }
  return out;
}

}  // namespace trelk
