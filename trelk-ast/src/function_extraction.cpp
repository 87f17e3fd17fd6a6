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
// definition before those nested in it), and for each function every return
// statement inside it at any depth, nested definitions included: one walk
// serves both. Nothing inside expressions.
class DefinitionCollector final : public divu::StatementVisitor {
 public:
  void visit_stmt(const divu::Stmt& stmt) override {
    if (const auto* ret = stmt.dyn_cast<divu::StmtReturn>()) {
      for (const std::size_t function_index : open_functions_) {
        functions[function_index].returns.push_back(ret);
      }
    } else if (const auto* cls = stmt.dyn_cast<divu::StmtClassDef>()) {
      classes.push_back(cls);
    } else if (const auto* function = stmt.dyn_cast<divu::StmtFunctionDef>()) {
      open_functions_.push_back(functions.size());
      functions.push_back({.definition = function, .returns = {}});
      divu::walk_stmt(*this, stmt);
      open_functions_.pop_back();
      return;
    }
    divu::walk_stmt(*this, stmt);
  }

  struct Function {
    const divu::StmtFunctionDef* definition;
    std::vector<const divu::StmtReturn*> returns;
  };
  std::vector<const divu::StmtClassDef*> classes;
  std::vector<Function> functions;

 private:
  // The functions whose bodies the walk is in, outermost first.
  std::vector<std::size_t> open_functions_;
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

// Fills `record`, a new record in its final place: the record is large, so
// it is built where it stays rather than moved there.
void fill_function_record(const divu::StmtFunctionDef& function,
                          std::span<const divu::StmtReturn* const> returns,
                          const NameSet& resolver_names,
                          const LocationContext& context, ResolverAST& record) {
  if (function.parameters != nullptr) {
    const divu::Parameters& parameters = *function.parameters;
    const std::size_t count =
        parameters.posonlyargs.size() + parameters.args.size() +
        parameters.kwonlyargs.size() + (parameters.vararg != nullptr) +
        (parameters.kwarg != nullptr);
    record.args_in_order.reserve(count);
    record.args.reserve(count);
    for (const divu::ParameterRef ref : parameters.iter()) {
      const divu::Parameter& parameter = *ref.parameter;
      const std::string_view name = parameter.name.id.as_str();
      FunctionArgAST arg{.arg_name = std::string(name),
                         .arg_location = context.location_of(parameter)};
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
  record.return_statements.reserve(returns.size());
  for (const divu::StmtReturn* ret : returns) {
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
  for (const DefinitionCollector::Function& function : definitions.functions) {
    const divu::StmtFunctionDef& definition = *function.definition;
    ResolverAST& record = result.functions.emplace_back(ResolverAST{
        .module = std::string(module),
        .resolver_name = std::string(definition.name.id.as_str()),
        .resolver_name_location = context.location(definition.name.range),
    });
    fill_function_record(definition, function.returns, resolver_names, context,
                         record);
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
