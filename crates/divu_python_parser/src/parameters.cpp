// The parameter lists of `def` and `lambda`: names with annotations and
// defaults, the `/` and `*` separators, `*args` and `**kwargs`, and the
// rules on their order, each reported where it is broken while the rest of
// the list is still read.

#include <optional>

#include "parser.h"

namespace divu {
namespace {

// One parameter list while it is read. What has been read so far decides
// which order rules the next element breaks, so it is kept here between
// elements. Named parameters go into one list in source order: the
// positional ones (of which the first `posonly_count_` came before `/`), then
// the keyword-only ones. Once a parameter is keyword-only (after `*` or
// `*args`), every later one is too, so the groups never interleave.
class ParameterListReader {
 public:
  ParameterListReader(Parser& parser, ParametersKind kind)
      : parser_(parser), kind_(kind), named_(parser) {}

  // One element at the current token.
  void read_element() {
    if (kwarg_ != nullptr) {
      parser_.add_error(ParseErrorKind::ParamAfterVarKeywordParam,
                        parser_.current_token_range());
    }
    if (parser_.at(TokenKind::Star)) {
      read_star();
      return;
    }
    last_bare_star_.reset();
    if (parser_.at(TokenKind::DoubleStar)) {
      read_kwarg();
    } else if (parser_.at(TokenKind::Slash)) {
      read_slash();
    } else {
      read_named();
    }
  }

  // After the last element: a bare `*` that nothing followed.
  void end_list() {
    if (last_bare_star_) {
      parser_.add_error(ParseErrorKind::ExpectedKeywordParam, *last_bare_star_);
    }
  }

  // The node over everything read, ranging from `start`.
  Parameters* make_parameters(TextSize start) {
    std::span<ParameterWithDefault> all = named_.finish();
    Parameters* parameters =
        parser_.make<Parameters>(parser_.node_range(start));
    parameters->posonlyargs = all.first(posonly_count_);
    parameters->args =
        all.subspan(posonly_count_, positional_count_ - posonly_count_);
    parameters->kwonlyargs = all.subspan(positional_count_);
    parameters->vararg = vararg_;
    parameters->kwarg = kwarg_;
    return parameters;
  }

 private:
  // `*args`, or the bare `*` that makes the later parameters keyword-only.
  void read_star() {
    const TextSize start = parser_.current_token_start();
    const TextRange star = parser_.current_token_range();
    parser_.bump(TokenKind::Star);
    if (parser_.at_name_or_soft_keyword()) {
      const Parameter parameter =
          read_parameter(start, /*allow_star_annotation=*/true);
      reject_default();
      if (bare_star_ || vararg_ != nullptr) {
        parser_.add_error(OtherParseError::DuplicateVarParameter,
                          parameter.range);
      } else {
        vararg_ = parser_.arena().make<Parameter>(parameter);
      }
      last_bare_star_.reset();
      return;
    }
    if (bare_star_) {
      parser_.add_error(OtherParseError::DuplicateStarSeparator, star);
    }
    if (vararg_ != nullptr) {
      parser_.add_error(OtherParseError::StarSeparatorAfterVarParameter, star);
    }
    bare_star_ = star;
    last_bare_star_ = star;
  }

  // `**kwargs`.
  void read_kwarg() {
    const TextSize start = parser_.current_token_start();
    parser_.bump(TokenKind::DoubleStar);
    const Parameter parameter =
        read_parameter(start, /*allow_star_annotation=*/false);
    if (kwarg_ != nullptr) {
      parser_.add_error(OtherParseError::DuplicateKwParameter, parameter.range);
    }
    reject_default();
    if (bare_star_ && !keyword_only_after_bare_star_) {
      parser_.add_error(ParseErrorKind::ExpectedKeywordParam, parameter.range);
    }
    kwarg_ = parser_.arena().make<Parameter>(parameter);
  }

  // The `/` that makes the parameters before it positional-only.
  void read_slash() {
    const TextRange slash = parser_.current_token_range();
    parser_.bump(TokenKind::Slash);
    if (named_.empty() && vararg_ == nullptr && kwarg_ == nullptr) {
      parser_.add_error(OtherParseError::SlashSeparatorFirst, slash);
    }
    if (slash_seen_) {
      parser_.add_error(OtherParseError::DuplicateSlashSeparator, slash);
    }
    if (bare_star_ || vararg_ != nullptr) {
      parser_.add_error(OtherParseError::SlashSeparatorAfterStar, slash);
    }
    if (!slash_seen_) {
      slash_seen_ = true;
      posonly_count_ = positional_count_;
      parser_.add_unsupported_syntax_error(
          UnsupportedSyntaxKind::PositionalOnlyParameters, slash);
    }
  }

  // A named parameter with its default, if any.
  void read_named() {
    const TextSize start = parser_.current_token_start();
    ParameterWithDefault entry;
    entry.parameter = read_parameter(start, /*allow_star_annotation=*/false);
    if (parser_.eat(TokenKind::Equal)) {
      if (parser_.at_expr()) {
        entry.default_value =
            parser_.parse_conditional_expression_or_higher_impl(kNoContext)
                .expr;
      } else {
        parser_.add_error(ParseErrorKind::ExpectedExpression,
                          parser_.current_token_range());
      }
    }
    entry.range = parser_.node_range(start);
    if (entry.default_value == nullptr && default_seen_ && !bare_star_ &&
        vararg_ == nullptr) {
      parser_.add_error(ParseErrorKind::NonDefaultParamAfterDefaultParam,
                        entry.range);
    }
    if (entry.default_value != nullptr) {
      default_seen_ = true;
    }
    if (bare_star_) {
      keyword_only_after_bare_star_ = true;
    } else if (vararg_ == nullptr) {
      ++positional_count_;
    }
    named_.push(entry);
  }

  // One parameter's name and, in a function definition, its annotation;
  // ranging from `start` (its star, for `*args` and `**kwargs`).
  Parameter read_parameter(TextSize start, bool allow_star_annotation) {
    Parameter parameter;
    parameter.name = parser_.parse_identifier();
    // In a lambda the colon ends the parameters.
    if (kind_ == ParametersKind::FunctionDef && parser_.eat(TokenKind::Colon)) {
      if (parser_.at_expr()) {
        const ParsedExpr annotation =
            parser_.parse_conditional_expression_or_higher_impl(
                allow_star_annotation ? kElementContext : kNoContext);
        if (allow_star_annotation && annotation.expr->is<ExprStarred>()) {
          parser_.add_unsupported_syntax_error(
              UnsupportedSyntaxKind::StarredAnnotation, annotation.expr->range);
        }
        parameter.annotation = annotation.expr;
      } else {
        parser_.add_error(ParseErrorKind::ExpectedExpression,
                          parser_.current_token_range());
      }
    }
    parameter.range = parser_.node_range(start);
    return parameter;
  }

  // `*args` and `**kwargs` take no default.
  void reject_default() {
    if (parser_.at(TokenKind::Equal)) {
      parser_.add_error(ParseErrorKind::VarParameterWithDefault,
                        parser_.current_token_range());
    }
  }

  Parser& parser_;
  const ParametersKind kind_;
  Parser::ListBuilder<ParameterWithDefault> named_;
  std::size_t posonly_count_ = 0;
  std::size_t positional_count_ = 0;
  Parameter* vararg_ = nullptr;
  Parameter* kwarg_ = nullptr;
  bool default_seen_ = false;
  bool keyword_only_after_bare_star_ = false;
  bool slash_seen_ = false;
  // The first bare `*`, which makes every later parameter keyword-only.
  std::optional<TextRange> bare_star_;
  // A bare `*` that no parameter has followed yet.
  std::optional<TextRange> last_bare_star_;
};

}  // namespace

Parameters* Parser::parse_parameters(ParametersKind kind) {
  const TextSize start = current_token_start();
  const bool function = kind == ParametersKind::FunctionDef;
  if (function) {
    expect(TokenKind::Lpar);
  }
  ParameterListReader reader(*this, kind);
  parse_comma_separated_list(function ? RecoveryContextKind::FunctionParameters
                                      : RecoveryContextKind::LambdaParameters,
                             [&] { reader.read_element(); });
  reader.end_list();
  if (function) {
    expect(TokenKind::Rpar);
  }
  return reader.make_parameters(start);
}

}  // namespace divu
