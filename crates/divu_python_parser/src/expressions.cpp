// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

ParsedExpr Parser::parse_expression_list(ExpressionContext) {
  trelk::fail_invariant("not built yet: parse_expression_list");
}

ParsedExpr Parser::parse_named_expression_or_higher(ExpressionContext) {
  trelk::fail_invariant("not built yet: parse_named_expression_or_higher");
}

ParsedExpr Parser::parse_conditional_expression_or_higher_impl(ExpressionContext) {
  trelk::fail_invariant("not built yet: parse_conditional_expression_or_higher_impl");
}

ParsedExpr Parser::parse_expression_with_bitwise_or_precedence() {
  trelk::fail_invariant("not built yet: parse_expression_with_bitwise_or_precedence");
}

ParsedExpr Parser::parse_lhs_expression(OperatorPrecedence, ExpressionContext) {
  trelk::fail_invariant("not built yet: parse_lhs_expression");
}

ParsedExpr Parser::parse_binary_expression_or_higher_recursive(ParsedExpr, OperatorPrecedence, ExpressionContext, TextSize) {
  trelk::fail_invariant("not built yet: parse_binary_expression_or_higher_recursive");
}

ExprLambda* Parser::parse_lambda_expr() {
  trelk::fail_invariant("not built yet: parse_lambda_expr");
}

}  // namespace divu
