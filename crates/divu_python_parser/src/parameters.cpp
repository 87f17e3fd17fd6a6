// The parameter lists of `def` and `lambda`: names with annotations and
// defaults, the `/` and `*` separators, `*args` and `**kwargs`, and the
// rules on their order, each reported where it is broken while the rest of
// the list is still read.

#include <optional>

#include "parser.h"

namespace divu {
namespace {

// One parameter's name and, in a function definition, its annotation;
// ranging from `start` (its star, for `*args` and `**kwargs`).
Parameter parse_parameter(Parser& parser, TextSize start, ParametersKind kind,
                          bool allow_star_annotation) {
  Parameter parameter;
  parameter.name = parser.parse_identifier();
  // In a lambda the colon ends the parameters.
  if (kind == ParametersKind::FunctionDef && parser.eat(TokenKind::Colon)) {
    if (parser.at_expr()) {
      const ParsedExpr annotation =
          parser.parse_conditional_expression_or_higher_impl(
              allow_star_annotation ? kElementContext : kNoContext);
      if (allow_star_annotation && annotation.expr->is<ExprStarred>()) {
        parser.add_unsupported_syntax_error(
            UnsupportedSyntaxKind::StarredAnnotation, annotation.expr->range);
      }
      parameter.annotation = annotation.expr;
    } else {
      parser.add_error(ParseErrorKind::ExpectedExpression,
                       parser.current_token_range());
    }
  }
  parameter.range = parser.node_range(start);
  return parameter;
}

}  // namespace

Parameters* Parser::parse_parameters(ParametersKind kind) {
  const TextSize start = current_token_start();
  const bool function = kind == ParametersKind::FunctionDef;
  if (function) {
    expect(TokenKind::Lpar);
  }

  // Named parameters go into one list in source order: the positional ones
  // (of which the first `posonly_count` came before `/`), then the
  // keyword-only ones. Once a parameter is keyword-only (after `*` or
  // `*args`), every later one is too, so the groups never interleave.
  ListBuilder<ParameterWithDefault> named(*this);
  std::size_t posonly_count = 0;
  std::size_t positional_count = 0;
  Parameter* vararg = nullptr;
  Parameter* kwarg = nullptr;
  bool default_seen = false;
  std::optional<TextRange> bare_star;
  bool keyword_only_after_bare_star = false;
  bool slash_seen = false;
  std::optional<TextRange> last_bare_star;

  parse_comma_separated_list(
      function ? RecoveryContextKind::FunctionParameters
               : RecoveryContextKind::LambdaParameters,
      [&] {
        if (kwarg != nullptr) {
          add_error(ParseErrorKind::ParamAfterVarKeywordParam,
                    current_token_range());
        }
        const TextSize element_start = current_token_start();
        const TextRange token_range = current_token_range();
        if (at(TokenKind::Star)) {
          bump(TokenKind::Star);
          if (at_name_or_soft_keyword()) {
            const Parameter parameter = parse_parameter(
                *this, element_start, kind, /*allow_star_annotation=*/true);
            if (at(TokenKind::Equal)) {
              add_error(ParseErrorKind::VarParameterWithDefault,
                        current_token_range());
            }
            if (bare_star || vararg != nullptr) {
              add_error(OtherParseError::DuplicateVarParameter,
                        parameter.range);
            } else {
              vararg = arena().make<Parameter>(parameter);
            }
            last_bare_star.reset();
            return;
          }
          if (bare_star) {
            add_error(OtherParseError::DuplicateStarSeparator, token_range);
          }
          if (vararg != nullptr) {
            add_error(OtherParseError::StarSeparatorAfterVarParameter,
                      token_range);
          }
          bare_star = token_range;
          last_bare_star = token_range;
          return;
        }
        last_bare_star.reset();
        if (at(TokenKind::DoubleStar)) {
          bump(TokenKind::DoubleStar);
          const Parameter parameter = parse_parameter(
              *this, element_start, kind, /*allow_star_annotation=*/false);
          if (kwarg != nullptr) {
            add_error(OtherParseError::DuplicateKwParameter, parameter.range);
          }
          if (at(TokenKind::Equal)) {
            add_error(ParseErrorKind::VarParameterWithDefault,
                      current_token_range());
          }
          if (bare_star && !keyword_only_after_bare_star) {
            add_error(ParseErrorKind::ExpectedKeywordParam, parameter.range);
          }
          kwarg = arena().make<Parameter>(parameter);
          return;
        }
        if (at(TokenKind::Slash)) {
          bump(TokenKind::Slash);
          if (named.empty() && vararg == nullptr && kwarg == nullptr) {
            add_error(OtherParseError::SlashSeparatorFirst, token_range);
          }
          if (slash_seen) {
            add_error(OtherParseError::DuplicateSlashSeparator, token_range);
          }
          if (bare_star || vararg != nullptr) {
            add_error(OtherParseError::SlashSeparatorAfterStar, token_range);
          }
          if (!slash_seen) {
            slash_seen = true;
            posonly_count = positional_count;
            add_unsupported_syntax_error(
                UnsupportedSyntaxKind::PositionalOnlyParameters, token_range);
          }
          return;
        }
        ParameterWithDefault entry;
        entry.parameter = parse_parameter(*this, element_start, kind,
                                          /*allow_star_annotation=*/false);
        if (eat(TokenKind::Equal)) {
          if (at_expr()) {
            entry.default_value =
                parse_conditional_expression_or_higher_impl(kNoContext).expr;
          } else {
            add_error(ParseErrorKind::ExpectedExpression,
                      current_token_range());
          }
        }
        entry.range = node_range(element_start);
        if (entry.default_value == nullptr && default_seen && !bare_star &&
            vararg == nullptr) {
          add_error(ParseErrorKind::NonDefaultParamAfterDefaultParam,
                    entry.range);
        }
        if (entry.default_value != nullptr) {
          default_seen = true;
        }
        if (bare_star) {
          keyword_only_after_bare_star = true;
        } else if (vararg == nullptr) {
          ++positional_count;
        }
        named.push(entry);
      });

  if (last_bare_star) {
    add_error(ParseErrorKind::ExpectedKeywordParam, *last_bare_star);
  }
  if (function) {
    expect(TokenKind::Rpar);
  }
  std::span<ParameterWithDefault> all = named.finish();
  Parameters* parameters = make<Parameters>(node_range(start));
  parameters->posonlyargs = all.first(posonly_count);
  parameters->args =
      all.subspan(posonly_count, positional_count - posonly_count);
  parameters->kwonlyargs = all.subspan(positional_count);
  parameters->vararg = vararg;
  parameters->kwarg = kwarg;
  return parameters;
}

}  // namespace divu
