// Placeholder definitions, replaced as the grammar of this file is built.
#include "invariant.h"
#include "parser.h"

namespace divu {

ParsedExpr Parser::parse_atom_and_postfix(OperatorPrecedence, ExpressionContext) {
  trelk::fail_invariant("not built yet: parse_atom_and_postfix");
}

ParsedExpr Parser::parse_atom(OperatorPrecedence) {
  trelk::fail_invariant("not built yet: parse_atom");
}

ParsedExpr Parser::parse_postfix_expression(ParsedExpr, TextSize) {
  trelk::fail_invariant("not built yet: parse_postfix_expression");
}

ExprName* Parser::parse_name() {
  trelk::fail_invariant("not built yet: parse_name");
}

Identifier Parser::parse_identifier() {
  trelk::fail_invariant("not built yet: parse_identifier");
}

Identifier Parser::parse_missing_identifier() {
  trelk::fail_invariant("not built yet: parse_missing_identifier");
}

ExprAttribute* Parser::parse_attribute_expression(ParsedExpr, TextSize) {
  trelk::fail_invariant("not built yet: parse_attribute_expression");
}

Arguments Parser::parse_arguments() {
  trelk::fail_invariant("not built yet: parse_arguments");
}

ExprNumberLiteral* Parser::parse_number_literal() {
  trelk::fail_invariant("not built yet: parse_number_literal");
}

ParsedExpr Parser::parse_parenthesized_expression() {
  trelk::fail_invariant("not built yet: parse_parenthesized_expression");
}

}  // namespace divu
