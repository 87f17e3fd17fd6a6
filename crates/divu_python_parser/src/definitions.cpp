// Decorators, function and class definitions, and type-parameter lists.
// Parameter lists are read in parameters.cpp, class bases with the call
// arguments of atoms.cpp.

#include <string_view>

#include "parser.h"

namespace divu {
namespace {

// How the version gate of relaxed decorators names the offending part of a
// decorator: a fixed text by kind, except for a call, which has none and is
// marked by kDecoratorCallVariant instead.
constexpr std::uint8_t kDecoratorCallVariant = 1;

std::string_view decorator_description(const Expr& expr) {
  switch (expr.kind()) {
    case NodeKind::ExprBoolOp:
      return "boolean expression";
    case NodeKind::ExprNamed:
      return "assignment expression";
    case NodeKind::ExprBinOp:
      return "binary-operation expression";
    case NodeKind::ExprUnaryOp:
      return "unary-operation expression";
    case NodeKind::ExprLambda:
      return "lambda expression";
    case NodeKind::ExprIf:
      return "conditional expression";
    case NodeKind::ExprDict:
      return "a dict literal";
    case NodeKind::ExprSet:
      return "a set literal";
    case NodeKind::ExprListComp:
      return "a list comprehension";
    case NodeKind::ExprSetComp:
      return "a set comprehension";
    case NodeKind::ExprDictComp:
      return "a dict comprehension";
    case NodeKind::ExprGenerator:
      return "generator expression";
    case NodeKind::ExprAwait:
      return "`await` expression";
    case NodeKind::ExprYield:
      return "`yield` expression";
    case NodeKind::ExprYieldFrom:
      return "`yield from` expression";
    case NodeKind::ExprCompare:
      return "comparison expression";
    case NodeKind::ExprFString:
      return "f-string";
    case NodeKind::ExprTString:
      return "t-string";
    case NodeKind::ExprStringLiteral:
      return "a string literal";
    case NodeKind::ExprBytesLiteral:
      return "a bytes literal";
    case NodeKind::ExprNumberLiteral:
      switch (expr.as<ExprNumberLiteral>().value.kind()) {
        case NumberLiteralValue::Kind::Int:
          return "an int literal";
        case NumberLiteralValue::Kind::Float:
          return "a float literal";
        case NumberLiteralValue::Kind::Complex:
          return "a complex literal";
      }
      return "";
    case NodeKind::ExprBooleanLiteral:
      return "a boolean literal";
    case NodeKind::ExprNoneLiteral:
      return "a `None` literal";
    case NodeKind::ExprEllipsisLiteral:
      return "an ellipsis literal";
    case NodeKind::ExprSubscript:
      return "subscript expression";
    case NodeKind::ExprStarred:
      return "starred expression";
    case NodeKind::ExprList:
      return "a list literal";
    case NodeKind::ExprTuple:
      return "a tuple literal";
    case NodeKind::ExprSlice:
      return "slice expression";
    case NodeKind::ExprIpyEscapeCommand:
      return "IPython escape command";
    default:
      return "";
  }
}

// Before 3.9 a decorator is a dotted name, optionally called. The gate names
// the first part, from the outside in, that is something else.
void check_decorator_expression(Parser& parser, const Expr* expression) {
  const Expr* part = expression;
  if (const auto* call = part->dyn_cast<ExprCall>()) {
    part = call->func;
  }
  while (const auto* attribute = part->dyn_cast<ExprAttribute>()) {
    part = attribute->value;
  }
  if (part->is<ExprName>()) {
    return;
  }
  UnsupportedSyntaxErrorKind kind{
      .kind = UnsupportedSyntaxKind::RelaxedDecoratorExpression,
      .variant = 0,
      .description = decorator_description(*part)};
  if (part->is<ExprCall>()) {
    kind.variant = kDecoratorCallVariant;
  }
  parser.add_unsupported_syntax_error(kind, part->range);
}

// The decorators from the `@` at the current token to the last one.
std::span<Decorator> parse_decorators(Parser& parser) {
  Parser::ListBuilder<Decorator> decorators(parser);
  ParserProgress progress;
  do {
    progress.assert_progressing(parser);
    const TextSize start = parser.current_token_start();
    parser.bump(TokenKind::At);
    Expr* expression = nullptr;
    if (parser.at(TokenKind::Class) || parser.at(TokenKind::Def)) {
      parser.parse_missing_identifier();
      expression = parser.make_missing_name_expr();
    } else {
      expression = parser.parse_named_expression_or_higher(kNoContext).expr;
    }
    check_decorator_expression(parser, expression);
    Decorator decorator;
    decorator.range = parser.node_range(start);
    decorator.expression = expression;
    decorators.push(decorator);
    parser.expect(TokenKind::Newline);
  } while (parser.at(TokenKind::At));
  return decorators.finish();
}

// The default after `=` of a type parameter, or null without one.
Expr* parse_type_param_default(Parser& parser, ExpressionContext context) {
  if (!parser.eat(TokenKind::Equal)) {
    return nullptr;
  }
  if (!parser.at_expr()) {
    parser.add_error(ParseErrorKind::ExpectedExpression,
                     parser.current_token_range());
    return nullptr;
  }
  return parser.parse_conditional_expression_or_higher_impl(context).expr;
}

// `*Ts` and `**P` after their star: a name and an optional default.
template <class T>
TypeParam* parse_variadic_type_param(Parser& parser, TextSize start,
                                     ExpressionContext default_context) {
  const Identifier name = parser.parse_identifier();
  Expr* default_value = parse_type_param_default(parser, default_context);
  auto* param = parser.make<T>(parser.node_range(start));
  param->name = name;
  param->default_value = default_value;
  return param;
}

TypeParam* parse_type_param(Parser& parser) {
  const TextSize start = parser.current_token_start();
  if (parser.eat(TokenKind::Star)) {
    // A default may be unpacked: `*Ts = *tuple[int]`.
    return parse_variadic_type_param<TypeParamTypeVarTuple>(parser, start,
                                                            kElementContext);
  }
  if (parser.eat(TokenKind::DoubleStar)) {
    return parse_variadic_type_param<TypeParamParamSpec>(parser, start,
                                                         kNoContext);
  }

  const Identifier name = parser.parse_identifier();
  Expr* bound = nullptr;
  if (parser.eat(TokenKind::Colon)) {
    if (parser.at_expr()) {
      bound =
          parser.parse_conditional_expression_or_higher_impl(kNoContext).expr;
    } else {
      parser.add_error(ParseErrorKind::ExpectedExpression,
                       parser.current_token_range());
    }
  }
  const TextSize equal_start = parser.current_token_start();
  Expr* default_value = parse_type_param_default(parser, kNoContext);
  if (default_value != nullptr) {
    parser.add_unsupported_syntax_error(
        UnsupportedSyntaxKind::TypeParameterDefault,
        TextRange(equal_start, default_value->range.end()));
  }
  auto* param = parser.make<TypeParamTypeVar>(parser.node_range(start));
  param->name = name;
  param->bound = bound;
  param->default_value = default_value;
  return param;
}

// A call may take one generator without parentheses of its own,
// `f(x for x in y)`; a class may not, as in Python, where `class C(x for x
// in y):` is a syntax error. The argument list reports the generator when
// other arguments or a trailing comma stand beside it.
void check_class_bases(Parser& parser, const Arguments& arguments) {
  if (arguments.args.size() != 1 || !arguments.keywords.empty()) {
    return;
  }
  const auto* generator = arguments.args.front()->dyn_cast<ExprGenerator>();
  if (generator != nullptr && !generator->parenthesized) {
    parser.add_error(ParseErrorKind::UnparenthesizedGeneratorExpression,
                     generator->range);
  }
}

// The type parameters of a definition, with the gate of their list.
TypeParams* parse_definition_type_params(Parser& parser) {
  TypeParams* type_params = parser.try_parse_type_params();
  if (type_params != nullptr) {
    parser.add_unsupported_syntax_error(
        UnsupportedSyntaxKind::TypeParameterList, type_params->range);
  }
  return type_params;
}

}  // namespace

Stmt* Parser::parse_decorated_definition(TextSize start) {
  const std::span<Decorator> decorators = parse_decorators(*this);
  if (at(TokenKind::Async) && peek() == TokenKind::Def) {
    bump(TokenKind::Async);
    Stmt* stmt = parse_function_definition(decorators, start);
    stmt->as<StmtFunctionDef>().is_async = true;
    return stmt;
  }
  if (at(TokenKind::Class)) {
    return parse_class_definition(decorators, start);
  }
  if (at(TokenKind::Def)) {
    return parse_function_definition(decorators, start);
  }

  // Nothing to decorate: the decorators are kept on a function without a
  // name, and the current token is left for the enclosing list.
  add_error(OtherParseError::ExpectedDefinitionAfterDecorator,
            current_token_range());
  const TextRange empty = placeholder_range();
  auto* function = make<StmtFunctionDef>(node_range(start));
  function->decorator_list = decorators;
  function->name.range = empty;
  function->parameters = make<Parameters>(empty);
  return function;
}

Stmt* Parser::parse_function_definition(std::span<Decorator> decorators,
                                        TextSize start) {
  bump(TokenKind::Def);
  const Identifier name = parse_identifier();
  TypeParams* type_params = parse_definition_type_params(*this);
  Parameters* parameters = parse_parameters(ParametersKind::FunctionDef);

  Expr* returns = nullptr;
  if (eat(TokenKind::Rarrow)) {
    if (at_expr()) {
      returns = parse_expression_list(kNoContext).expr;
      const auto* tuple = returns->dyn_cast<ExprTuple>();
      if (tuple != nullptr && !tuple->parenthesized) {
        add_error(OtherParseError::UnparenthesizedReturnTypes, returns->range);
      }
    } else {
      add_error(ParseErrorKind::ExpectedExpression, current_token_range());
    }
  }

  expect(TokenKind::Colon);
  std::span<Stmt*> body = parse_body(Clause::FunctionDef);

  auto* function = make<StmtFunctionDef>(node_range(start));
  function->decorator_list = decorators;
  function->name = name;
  function->type_params = type_params;
  function->parameters = parameters;
  function->returns = returns;
  function->body = body;
  return function;
}

Stmt* Parser::parse_class_definition(std::span<Decorator> decorators,
                                     TextSize start) {
  bump(TokenKind::Class);
  const Identifier name = parse_identifier();
  TypeParams* type_params = parse_definition_type_params(*this);
  Arguments* arguments = nullptr;
  if (at(TokenKind::Lpar)) {
    arguments = arena().make<Arguments>(parse_arguments());
    check_class_bases(*this, *arguments);
  }
  expect(TokenKind::Colon);
  std::span<Stmt*> body = parse_body(Clause::Class);

  auto* cls = make<StmtClassDef>(node_range(start));
  cls->decorator_list = decorators;
  cls->name = name;
  cls->type_params = type_params;
  cls->arguments = arguments;
  cls->body = body;
  return cls;
}

TypeParams* Parser::try_parse_type_params() {
  if (!at(TokenKind::Lsqb)) {
    return nullptr;
  }
  const TextSize start = current_token_start();
  bump(TokenKind::Lsqb);
  ListBuilder<TypeParam*> params(*this);
  parse_comma_separated_list(RecoveryContextKind::TypeParams, [&] {
    TypeParam* param = parse_type_param(*this);
    params.push(param);
  });
  if (params.empty()) {
    add_error(ParseErrorKind::EmptyTypeParams, current_token_range());
  }
  expect(TokenKind::Rsqb);
  auto* type_params = make<TypeParams>(node_range(start));
  type_params->type_params = params.finish();
  return type_params;
}

}  // namespace divu
