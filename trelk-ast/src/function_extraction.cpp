// The extraction entry, and the records of functions and resolvers.

#include "statement_visitor.h"
#include "type_parsing.h"

namespace trelk {

namespace {

// The modules and names under which a resolver decorator is imported.
constexpr std::string_view kResolverModules[] = {"trelk", "trelk.features"};
constexpr std::string_view kResolverDecorators[] = {"online", "offline",
                                                    "stream"};

// Every class and function definition at any depth, in source order (a
// definition before those nested in it). Nothing inside expressions.
class DefinitionCollector final : public divu::StatementVisitor {
 public:
  void visit_stmt(const divu::Stmt& stmt) override {
    if (const auto* cls = stmt.dyn_cast<divu::StmtClassDef>()) {
      classes.push_back(cls);
    } else if (const auto* function = stmt.dyn_cast<divu::StmtFunctionDef>()) {
      functions.push_back(function);
    }
    divu::walk_stmt(*this, stmt);
  }

  std::vector<const divu::StmtClassDef*> classes;
  std::vector<const divu::StmtFunctionDef*> functions;
};

// Every return statement at any depth, nested definitions included.
class ReturnCollector final : public divu::StatementVisitor {
 public:
  void visit_stmt(const divu::Stmt& stmt) override {
    if (const auto* ret = stmt.dyn_cast<divu::StmtReturn>()) {
      returns.push_back(ret);
    }
    divu::walk_stmt(*this, stmt);
  }

  std::vector<const divu::StmtReturn*> returns;
};

// The colon that ends a header without a return annotation: the first ":"
// between the parameter list and the body.
std::optional<Location> header_colon(const divu::StmtFunctionDef& function,
                                     const LocationContext& context) {
  const divu::TextSize start = function.parameters != nullptr
                                   ? function.parameters->range.end()
                                   : function.name.range.end();
  const divu::TextSize end = function.body.empty()
                                 ? function.range.end()
                                 : function.body.front()->range.start();
  const std::string_view text = context.text();
  if (start >= end || end > text.size()) {
    return std::nullopt;
  }
  const std::size_t colon = text.substr(start, end - start).find(':');
  if (colon == std::string_view::npos) {
    return std::nullopt;
  }
  const auto offset = static_cast<divu::TextSize>(start + colon);
  return context.location(divu::TextRange(offset, offset + 1));
}

// The keys of a dictionary display that are plain string literals, with the
// locations of the keys and of their values.
void add_dictionary_keywords(const divu::ExprCall& call,
                             const LocationContext& context,
                             ResolverAST& record) {
  for (const divu::Keyword& keyword : call.arguments.keywords) {
    if (keyword.arg == nullptr) {
      continue;
    }
    const auto* dict = keyword.value->dyn_cast<divu::ExprDict>();
    if (dict == nullptr) {
      continue;
    }
    LocationMap keys;
    LocationMap values;
    for (const divu::DictItem& item : dict->items) {
      if (item.key == nullptr) {
        continue;
      }
      const divu::StringLiteral* literal = single_string_literal(*item.key);
      if (literal == nullptr) {
        continue;
      }
      keys.insert_or_assign(literal->value, context.location_of(*item.key));
      values.insert_or_assign(literal->value, context.location_of(*item.value));
    }
    const std::string_view name = keyword.arg->id.as_str();
    if (!keys.empty()) {
      record.kwarg_dict_key_names.insert_or_assign(name, std::move(keys));
    }
    if (!values.empty()) {
      record.kwarg_dict_values.insert_or_assign(name, std::move(values));
    }
  }
}

ResolverAST function_record(const divu::StmtFunctionDef& function,
                            const NameSet& resolver_names,
                            std::string_view module,
                            const LocationContext& context) {
  ResolverAST record{
      .module = std::string(module),
      .resolver_name = std::string(function.name.id.as_str()),
      .resolver_name_location = context.location(function.name.range),
      .decorator_location = {},
      .kwarg_names = {},
      .kwargs = {},
      .kwarg_dict_key_names = {},
      .kwarg_dict_values = {},
      .args_in_order = {},
      .args = {},
      .return_annotation = {},
      .missing_return_annotation = {},
      .return_statements = {},
      .body = {},
      .return_arg = {},
  };
  if (function.parameters != nullptr) {
    for (const divu::ParameterRef ref : function.parameters->iter()) {
      const divu::Parameter& parameter = *ref.parameter;
      const std::string_view name = parameter.name.id.as_str();
      FunctionArgAST arg{.arg_name = std::string(name),
                         .arg_location = context.location_of(parameter),
                         .annotation = {}};
      if (parameter.annotation != nullptr) {
        arg.annotation = context.location_of(*parameter.annotation);
      }
      record.args_in_order.emplace_back(name);
      record.args.insert_or_assign(name, std::move(arg));
    }
  }
  if (function.returns != nullptr) {
    record.return_annotation = context.location_of(*function.returns);
  } else {
    record.missing_return_annotation = header_colon(function, context);
  }
  ReturnCollector returns;
  divu::walk_body(returns, function.body);
  record.return_statements.reserve(returns.returns.size());
  for (const divu::StmtReturn* ret : returns.returns) {
    record.return_statements.push_back(context.location_of(*ret));
  }
  if (!function.body.empty()) {
    record.body =
        context.location(divu::TextRange(function.body.front()->range.start(),
                                         function.body.back()->range.end()));
  }
  for (const divu::Stmt* stmt : function.body) {
    if (const auto* ret = stmt->dyn_cast<divu::StmtReturn>()) {
      if (ret->value != nullptr) {
        record.return_arg = context.location_of(*ret->value);
      }
      break;
    }
  }
  const divu::Decorator* decorator =
      first_decorator_named(function.decorator_list, resolver_names);
  if (decorator != nullptr) {
    record.decorator_location = context.location_of(*decorator->expression);
    if (const auto* call = decorator->expression->dyn_cast<divu::ExprCall>()) {
      KeywordLocations keywords =
          keyword_location_maps(call->arguments.keywords, context);
      record.kwarg_names = std::move(keywords.names);
      record.kwargs = std::move(keywords.values);
      add_dictionary_keywords(*call, context, record);
    }
  }
  return record;
}

}  // namespace

const divu::StringLiteral* single_string_literal(const divu::Expr& expr) {
  const auto* string = expr.dyn_cast<divu::ExprStringLiteral>();
  if (string == nullptr || string->value.is_implicit_concatenated()) {
    return nullptr;
  }
  const auto parts = string->value.parts();
  return parts.size() == 1 ? parts[0] : nullptr;
}

const divu::Decorator* first_decorator_named(
    std::span<const divu::Decorator> decorators, const NameSet& names) {
  for (const divu::Decorator& decorator : decorators) {
    const divu::Expr* expr = decorator.expression;
    if (expr == nullptr) {
      continue;
    }
    if (const auto* call = expr->dyn_cast<divu::ExprCall>()) {
      expr = call->func;
    }
    const auto* name = expr->dyn_cast<divu::ExprName>();
    if (name != nullptr && names.contains(name->id.as_str())) {
      return &decorator;
    }
  }
  return nullptr;
}

NameSet collect_import_names_for_symbols_from_map(
    const ImportMap& import_map, std::span<const std::string_view> modules,
    std::span<const std::string_view> symbols) {
  NameSet names;
  for (const std::string_view module : modules) {
    const auto* imported = import_map.find(module);
    if (imported == nullptr) {
      continue;
    }
    for (const std::string_view symbol : symbols) {
      if (const auto* locals = imported->find(symbol)) {
        names.insert(locals->begin(), locals->end());
      }
    }
  }
  return names;
}

KeywordLocations keyword_location_maps(std::span<const divu::Keyword> keywords,
                                       const LocationContext& context) {
  KeywordLocations locations;
  const std::string_view text = context.text();
  for (const divu::Keyword& keyword : keywords) {
    if (keyword.arg == nullptr) {
      continue;
    }
    const std::string_view name = keyword.arg->id.as_str();
    const divu::TextSize keyword_start = keyword.range.start();
    const divu::TextSize value_start = keyword.value->range.start();
    if (keyword_start >= value_start || value_start > text.size()) {
      continue;
    }
    const std::size_t found =
        text.substr(keyword_start, value_start - keyword_start).find(name);
    if (found == std::string_view::npos) {
      continue;
    }
    const auto name_start = static_cast<divu::TextSize>(keyword_start + found);
    locations.names.insert_or_assign(
        name, context.location(divu::TextRange(
                  name_start,
                  name_start + static_cast<divu::TextSize>(name.size()))));
    locations.values.insert_or_assign(name,
                                      context.location_of(*keyword.value));
  }
  return locations;
}

ParsedAstFile parse_ast_file_with_feature_module(const ParsedFileCache& file,
                                                 std::string_view module) {
  DefinitionCollector definitions;
  divu::walk_body(definitions, file.statements());
  ParsedAstFile result;
  if (definitions.functions.empty() && definitions.classes.empty()) {
    return result;
  }
  // One resolution for the whole file: its locations exist together or not
  // at all, however the file system changes meanwhile.
  std::optional<Uri> uri = file_uri(file.path());
  if (!uri) {
    return result;
  }
  const LocationContext context(
      file.source_text(), divu::LineIndex::from_source_text(file.source_text()),
      std::move(*uri));
  const NameSet resolver_names = collect_import_names_for_symbols_from_map(
      file.import_map(), kResolverModules, kResolverDecorators);
  result.functions.reserve(definitions.functions.size());
  for (const divu::StmtFunctionDef* function : definitions.functions) {
    result.functions.push_back(
        function_record(*function, resolver_names, module, context));
  }
  result.feature_classes =
      collect_feature_class_asts(file, definitions.classes, module, context);
  for (const ResolverAST& function : result.functions) {
    if (function.decorator_location) {
      result.resolvers.push_back(function);
    }
  }
  return result;
}

}  // namespace trelk
