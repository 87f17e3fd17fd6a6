// The upper half of the expression grammar: the entry points through which
// statements, displays, arguments and interpolations read an expression,
// precedence climbing over the boolean, comparison and binary operators, the
// prefix forms, conditional, assignment and lambda expressions, and
// unparenthesized tuples. Atoms and postfix forms are in atoms.cpp.
//
// Operators of one level are folded into a left-nested tree by the loop of
// parse_binary_expression_or_higher_recursive, so `a + b + c ...` and
// `a or b or ...` grow no deeper in native stack as they get longer. The
// chains that nest to the right (prefix operators, `**`, conditional and
// lambda chains) are read in loops too and folded innermost first; only
// real nesting (brackets) recurses, and that passes through the counted
// scopes of parse_lhs_expression and
// parse_conditional_expression_or_higher_impl.

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "invariant.h"
#include "parser.h"

namespace divu {
namespace {

// Operator levels; a higher level binds tighter, and only their order
// matters. Levels 1 to 5 are free: 0 stands for a whole expression, and the
// operators keep the numbers they have always had, `or` 6 to `await` 18.
constexpr OperatorPrecedence kInitialLevel = 0;
constexpr OperatorPrecedence kOrLevel = 6;
constexpr OperatorPrecedence kAndLevel = 7;
// The operand of prefix `not`.
constexpr OperatorPrecedence kNotOperandLevel = 8;
constexpr OperatorPrecedence kComparisonLevel = 9;
constexpr OperatorPrecedence kBitOrLevel = 10;
constexpr OperatorPrecedence kBitXorLevel = 11;
constexpr OperatorPrecedence kBitAndLevel = 12;
constexpr OperatorPrecedence kShiftLevel = 13;
constexpr OperatorPrecedence kAdditiveLevel = 14;
constexpr OperatorPrecedence kMultiplicativeLevel = 15;
// The operand of unary `+`, `-` and `~`.
constexpr OperatorPrecedence kUnaryOperandLevel = 16;
constexpr OperatorPrecedence kPowLevel = 17;
// The operand of `await`.
constexpr OperatorPrecedence kAwaitOperandLevel = 18;

// What a token (with the one after it) is as an infix operator.
struct BinaryLikeOperator {
  enum class Kind : std::uint8_t { Boolean, Comparison, Binary };
  Kind kind;
  BoolOp bool_op = BoolOp::And;
  CmpOp cmp_op = CmpOp::Eq;
  Operator op = Operator::Add;

  static constexpr BinaryLikeOperator boolean(BoolOp value) {
    return {.kind = Kind::Boolean, .bool_op = value};
  }
  static constexpr BinaryLikeOperator comparison(CmpOp value) {
    return {.kind = Kind::Comparison, .cmp_op = value};
  }
  static constexpr BinaryLikeOperator binary(Operator value) {
    return {.kind = Kind::Binary, .op = value};
  }

  // The operator that `current` followed by `next` spells, if any. `next`
  // matters only after `is` and `not`.
  static constexpr std::optional<BinaryLikeOperator> try_from_tokens(
      TokenKind current, TokenKind next) {
    switch (current) {
      case TokenKind::And:
        return boolean(BoolOp::And);
      case TokenKind::Or:
        return boolean(BoolOp::Or);
      case TokenKind::Is:
        return comparison(next == TokenKind::Not ? CmpOp::IsNot : CmpOp::Is);
      case TokenKind::Not:
        if (next == TokenKind::In) {
          return comparison(CmpOp::NotIn);
        }
        return std::nullopt;
      default:
        break;
    }
    if (const std::optional<CmpOp> cmp = plain_comparison(current)) {
      return comparison(*cmp);
    }
    switch (current) {
      case TokenKind::Plus:
        return binary(Operator::Add);
      case TokenKind::Minus:
        return binary(Operator::Sub);
      case TokenKind::Star:
        return binary(Operator::Mult);
      case TokenKind::At:
        return binary(Operator::MatMult);
      case TokenKind::Slash:
        return binary(Operator::Div);
      case TokenKind::Percent:
        return binary(Operator::Mod);
      case TokenKind::DoubleSlash:
        return binary(Operator::FloorDiv);
      case TokenKind::DoubleStar:
        return binary(Operator::Pow);
      case TokenKind::Vbar:
        return binary(Operator::BitOr);
      case TokenKind::CircumFlex:
        return binary(Operator::BitXor);
      case TokenKind::Amper:
        return binary(Operator::BitAnd);
      case TokenKind::LeftShift:
        return binary(Operator::LShift);
      case TokenKind::RightShift:
        return binary(Operator::RShift);
      default:
        return std::nullopt;
    }
  }

  // The comparisons written as one token, without `is` and `not in`.
  static constexpr std::optional<CmpOp> plain_comparison(TokenKind kind) {
    switch (kind) {
      case TokenKind::EqEqual:
        return CmpOp::Eq;
      case TokenKind::NotEqual:
        return CmpOp::NotEq;
      case TokenKind::Less:
        return CmpOp::Lt;
      case TokenKind::LessEqual:
        return CmpOp::LtE;
      case TokenKind::Greater:
        return CmpOp::Gt;
      case TokenKind::GreaterEqual:
        return CmpOp::GtE;
      case TokenKind::In:
        return CmpOp::In;
      default:
        return std::nullopt;
    }
  }

  constexpr OperatorPrecedence precedence() const {
    switch (kind) {
      case Kind::Boolean:
        return bool_op == BoolOp::Or ? kOrLevel : kAndLevel;
      case Kind::Comparison:
        return kComparisonLevel;
      case Kind::Binary:
        break;
    }
    switch (op) {
      case Operator::BitOr:
        return kBitOrLevel;
      case Operator::BitXor:
        return kBitXorLevel;
      case Operator::BitAnd:
        return kBitAndLevel;
      case Operator::LShift:
      case Operator::RShift:
        return kShiftLevel;
      case Operator::Add:
      case Operator::Sub:
        return kAdditiveLevel;
      case Operator::Mult:
      case Operator::MatMult:
      case Operator::Div:
      case Operator::Mod:
      case Operator::FloorDiv:
        return kMultiplicativeLevel;
      case Operator::Pow:
        return kPowLevel;
    }
    return kInitialLevel;
  }
};

static_assert(BinaryLikeOperator::try_from_tokens(TokenKind::Is, TokenKind::Not)
                  ->cmp_op == CmpOp::IsNot);
static_assert(!BinaryLikeOperator::try_from_tokens(TokenKind::Not,
                                                   TokenKind::Name));

// Each token kind as an operator when the next token does not matter: read
// after every operand, so one load answers for the tokens that end an
// operand, which are most of them.
constexpr auto kOperatorOfKind = [] {
  std::array<std::optional<BinaryLikeOperator>, kTokenKindCount> table{};
  for (int kind = 0; kind < kTokenKindCount; ++kind) {
    table[static_cast<std::size_t>(kind)] = BinaryLikeOperator::try_from_tokens(
        static_cast<TokenKind>(kind), TokenKind::Unknown);
  }
  return table;
}();

// Whether `kind` may be an operator or start one: only `not` needs the
// next token to tell (`not in`); `is` is one alone.
bool may_be_operator(TokenKind kind) {
  return kOperatorOfKind[static_cast<std::size_t>(kind)].has_value() ||
         kind == TokenKind::Not;
}

// The current token as an operator. The next token is looked at only after
// `is` and `not`, the one place it decides: a look-ahead costs a lexer
// checkpoint and a rewind.
std::optional<BinaryLikeOperator> current_operator(Parser& parser) {
  const TokenKind current = parser.current_token_kind();
  if (current == TokenKind::Is || current == TokenKind::Not) [[unlikely]] {
    return BinaryLikeOperator::try_from_tokens(current, parser.peek());
  }
  return kOperatorOfKind[static_cast<std::size_t>(current)];
}

// Consumes the tokens of `op`: two for `is not` and `not in`.
void bump_cmp_op(Parser& parser, CmpOp op) {
  switch (op) {
    case CmpOp::Eq:
      return parser.bump(TokenKind::EqEqual);
    case CmpOp::NotEq:
      return parser.bump(TokenKind::NotEqual);
    case CmpOp::Lt:
      return parser.bump(TokenKind::Less);
    case CmpOp::LtE:
      return parser.bump(TokenKind::LessEqual);
    case CmpOp::Gt:
      return parser.bump(TokenKind::Greater);
    case CmpOp::GtE:
      return parser.bump(TokenKind::GreaterEqual);
    case CmpOp::Is:
      return parser.bump(TokenKind::Is);
    case CmpOp::In:
      return parser.bump(TokenKind::In);
    case CmpOp::IsNot:
      parser.bump(TokenKind::Is);
      return parser.bump(TokenKind::Not);
    case CmpOp::NotIn:
      parser.bump(TokenKind::Not);
      return parser.bump(TokenKind::In);
  }
}

// One operand with its prefix and postfix forms, then every infix operator
// that binds tighter than `level`.
ParsedExpr parse_operator_expression(Parser& parser, OperatorPrecedence level,
                                     ExpressionContext context) {
  const TextSize start = parser.current_token_start();
  const ParsedExpr lhs = parser.parse_lhs_expression(level, context);
  return parser.parse_binary_expression_or_higher_recursive(lhs, level, context,
                                                            start);
}

// A prefix operator of a run read by parse_lhs_expression: its start, the
// level and context its operator expression was read at, and its token.
struct Prefix {
  TextSize start;
  OperatorPrecedence level;
  ExpressionContext context;
  TokenKind token;
};

bool is_prefix_operator(TokenKind kind) {
  return kind == TokenKind::Plus || kind == TokenKind::Minus ||
         kind == TokenKind::Tilde || kind == TokenKind::Not ||
         kind == TokenKind::Await;
}

// The level its operand is read at.
OperatorPrecedence operand_level(TokenKind prefix) {
  switch (prefix) {
    case TokenKind::Not:
      return kNotOperandLevel;
    case TokenKind::Await:
      return kAwaitOperandLevel;
    default:
      return kUnaryOperandLevel;
  }
}

// The node of `prefix` over its operand, with the complaint when its level
// does not admit it.
Expr* make_prefix_node(Parser& parser, const Prefix& prefix, Expr* operand) {
  const TextRange range = parser.node_range(prefix.start);
  if (prefix.token == TokenKind::Await) {
    ExprAwait* node = parser.make<ExprAwait>(range);
    node->value = operand;
    if (prefix.level >= kAwaitOperandLevel) {
      parser.add_error(OtherParseError::InvalidAwaitUsage, range);
    }
    return node;
  }
  ExprUnaryOp* node = parser.make<ExprUnaryOp>(range);
  node->operand = operand;
  switch (prefix.token) {
    case TokenKind::Not:
      node->op = UnaryOp::Not;
      if (prefix.level >= kComparisonLevel) {
        parser.add_error(OtherParseError::InvalidNotUsage, range);
      }
      return node;
    case TokenKind::Plus:
      node->op = UnaryOp::UAdd;
      break;
    case TokenKind::Minus:
      node->op = UnaryOp::USub;
      break;
    default:
      node->op = UnaryOp::Invert;
      break;
  }
  if (prefix.level >= kAwaitOperandLevel) {
    parser.add_error(ParseErrorType::other(OtherParseError::InvalidUnaryUsage,
                                           to_string(node->op)),
                     range);
  }
  return node;
}

bool is_unparenthesized_tuple(const Expr* expr) {
  const ExprTuple* tuple = expr->dyn_cast<ExprTuple>();
  return tuple != nullptr && !tuple->parenthesized;
}

// A yield or yield from, after which the caller judges its place.
Expr* parse_yield(Parser& parser) {
  const TextSize start = parser.current_token_start();
  parser.bump(TokenKind::Yield);
  if (parser.eat(TokenKind::From)) {
    Expr* value = parser.parse_expression_list(kNoContext).expr;
    if (is_unparenthesized_tuple(value)) {
      parser.add_error(ParseErrorKind::UnparenthesizedTupleExpression,
                       value->range);
    }
    ExprYieldFrom* node = parser.make<ExprYieldFrom>(parser.node_range(start));
    node->value = value;
    return node;
  }
  Expr* value = nullptr;
  if (parser.at_expr()) {
    value = parser.parse_expression_list(kElementContext).expr;
    // Only targets before 3.8 refuse `yield a, *b`.
    if (is_unparenthesized_tuple(value) &&
        is_unsupported(UnsupportedSyntaxKind::StarredTupleValue,
                       parser.options().target_version)) {
      parser.check_tuple_unpacking(value, StarredTupleKind::YieldValue);
    }
  }
  ExprYield* node = parser.make<ExprYield>(parser.node_range(start));
  node->value = value;
  return node;
}

}  // namespace

ParsedExpr Parser::parse_expression_list(ExpressionContext context) {
  const TextSize start = current_token_start();
  const ParsedExpr first = parse_conditional_expression_or_higher_impl(context);
  if (!at(TokenKind::Comma)) {
    return first;
  }
  ListBuilder<Expr*> elts(*this);
  elts.push(first.expr);
  bump(TokenKind::Comma);
  parse_comma_separated_list(
      RecoveryContextKind::TupleElementsUnparenthesized, [&] {
        elts.push(parse_conditional_expression_or_higher_impl(context).expr);
      });
  // A missing first element sits before `start` (see the binary case).
  ExprTuple* tuple =
      make<ExprTuple>(node_range(std::min(start, first.expr->range.start())));
  tuple->elts = elts.finish();
  tuple->ctx = ExprContext::Load;
  tuple->parenthesized = false;
  return {tuple, false};
}

ParsedExpr Parser::parse_named_expression_or_higher(ExpressionContext context) {
  const TextSize start = current_token_start();
  const ParsedExpr parsed =
      parse_conditional_expression_or_higher_impl(context);
  if (!at(TokenKind::ColonEqual)) {
    return parsed;
  }
  bump(TokenKind::ColonEqual);
  Expr* target = parsed.expr;
  if (!target->is<ExprName>()) {
    add_error(ParseErrorKind::InvalidNamedAssignmentTarget, target->range);
  }
  set_expr_ctx(target, ExprContext::Store);
  Expr* value = parse_conditional_expression_or_higher_impl(kNoContext).expr;
  ExprNamed* node =
      make<ExprNamed>(node_range(std::min(start, target->range.start())));
  node->target = target;
  node->value = value;
  add_unsupported_syntax_error(UnsupportedSyntaxKind::NamedExpression,
                               node->range);
  return {node, false};
}

ParsedExpr Parser::parse_conditional_expression_or_higher_impl(
    ExpressionContext context) {
  NestingScope scope(*this);
  if (!scope) {
    return {make_missing_name_expr(), false};
  }
  // Most expressions are neither lambdas nor conditionals: they take no
  // more than a look at the token after them.
  if (at(TokenKind::Lambda)) {
    return parse_conditional_chain(std::nullopt, context);
  }
  const TextSize start = current_token_start();
  const ParsedExpr body =
      parse_operator_expression(*this, kInitialLevel, context);
  if (!at(TokenKind::If)) {
    return body;
  }
  return parse_conditional_chain(ChainStart{.start = start, .body = body},
                                 context);
}

ParsedExpr Parser::parse_conditional_chain(std::optional<ChainStart> first,
                                           ExpressionContext context) {
  // `a if b else c if d else ...` and `lambda: lambda: ...` nest to the
  // right without end: each `else` and each lambda's body is read by the
  // next turn of this loop, and the nodes are made innermost first once
  // the last one has been read.
  struct Pending {
    TextSize start;
    Parameters* parameters;  // for a lambda
    Expr* body;              // for a conditional: body and test
    Expr* test;
  };
  ListBuilder<Pending> pending(*this);
  ParsedExpr result;
  while (true) {
    TextSize start = 0;
    ParsedExpr body;
    if (first) {
      // Read by the caller, and followed by `if`.
      start = first->start;
      body = first->body;
      first.reset();
    } else {
      if (at(TokenKind::Lambda)) {
        const TextSize lambda_start = current_token_start();
        pending.push(Pending{.start = lambda_start,
                             .parameters = parse_lambda_parameters(),
                             .body = nullptr,
                             .test = nullptr});
        context = kNoContext;
        continue;
      }
      start = current_token_start();
      body = parse_operator_expression(*this, kInitialLevel, context);
      if (!at(TokenKind::If)) {
        result = body;
        break;
      }
    }
    bump(TokenKind::If);
    Expr* test =
        parse_operator_expression(*this, kInitialLevel, kNoContext).expr;
    expect(TokenKind::Else);
    pending.push(Pending{.start = std::min(start, body.expr->range.start()),
                         .parameters = nullptr,
                         .body = body.expr,
                         .test = test});
    context = kNoContext;
  }
  for (std::size_t index = pending.size(); index-- > 0;) {
    const Pending outer = pending[index];
    if (outer.body == nullptr) {
      ExprLambda* node = make<ExprLambda>(node_range(outer.start));
      node->parameters = outer.parameters;
      node->body = result.expr;
      result = {node, false};
    } else {
      ExprIf* node = make<ExprIf>(node_range(outer.start));
      node->test = outer.test;
      node->body = outer.body;
      node->orelse = result.expr;
      result = {node, false};
    }
  }
  return result;
}

ParsedExpr Parser::parse_expression_with_bitwise_or_precedence() {
  const ParsedExpr parsed =
      parse_conditional_expression_or_higher_impl(kNoContext);
  if (parsed.is_parenthesized) {
    return parsed;
  }
  std::string_view name;
  switch (parsed.expr->kind()) {
    case NodeKind::ExprCompare:
      name = "Comparison";
      break;
    case NodeKind::ExprBoolOp:
      name = "Boolean";
      break;
    case NodeKind::ExprUnaryOp:
      if (parsed.expr->as<ExprUnaryOp>().op == UnaryOp::Not) {
        name = "Boolean";
      }
      break;
    case NodeKind::ExprIf:
      name = "Conditional";
      break;
    case NodeKind::ExprLambda:
      name = "Lambda";
      break;
    default:
      break;
  }
  if (!name.empty()) {
    add_error(
        ParseErrorType::other(OtherParseError::InvalidExpressionUsage, name),
        parsed.expr->range);
  }
  return parsed;
}

// The operands that parse_starred_lambda_or_yield reads.
constexpr TokenSet kStarredLambdaOrYieldStart = {
    TokenKind::Star, TokenKind::Lambda, TokenKind::Yield};

ParsedExpr Parser::parse_lhs_expression(OperatorPrecedence level,
                                        ExpressionContext context) {
  NestingScope scope(*this);
  if (!scope) {
    return {make_missing_name_expr(), false};
  }
  if (is_prefix_operator(current_token_kind())) {
    return parse_prefix_run(level, context);
  }
  // Most operands are plain atoms: the rare forms have a frame of their own.
  if (!at_ts(kStarredLambdaOrYieldStart)) {
    return parse_atom_and_postfix(level, context);
  }
  return parse_starred_lambda_or_yield(level, context);
}

ParsedExpr Parser::parse_starred_lambda_or_yield(OperatorPrecedence level,
                                                 ExpressionContext context) {
  const TextSize start = current_token_start();
  switch (current_token_kind()) {
    case TokenKind::Star: {
      bump(TokenKind::Star);
      const ParsedExpr parsed =
          context.contains(ExpressionContext::kStarredBitwiseOr)
              ? parse_expression_with_bitwise_or_precedence()
              : parse_conditional_expression_or_higher_impl(context);
      Expr* value = parsed.expr;
      // `* *a`: a star applies to a plain operand only.
      if (!parsed.is_parenthesized && value->is<ExprStarred>()) {
        add_error(ParseErrorKind::InvalidStarredUsage, value->range);
      }
      ExprStarred* node = make<ExprStarred>(node_range(start));
      node->value = value;
      node->ctx = ExprContext::Load;
      if (level != kInitialLevel ||
          !context.contains(ExpressionContext::kAllowStarred)) {
        add_error(ParseErrorKind::InvalidStarredUsage, node->range);
      }
      return {node, false};
    }
    case TokenKind::Lambda: {
      // Only an operand gets here: where a lambda may stand, the
      // conditional level takes it first.
      ExprLambda* node = parse_lambda_expr();
      add_error(ParseErrorKind::InvalidLambdaUsage, node->range);
      return {node, false};
    }
    default:
      break;
  }
  // At `yield`, the set's last kind.
  Expr* node = parse_yield(*this);
  // A bare `yield` ends where an operator follows it, so the operator would
  // make it an operand: `yield < x`, `yield if x else y`.
  const ExprYield* yield = node->dyn_cast<ExprYield>();
  const bool operand_of_operator =
      yield != nullptr && yield->value == nullptr &&
      (at(TokenKind::If) || current_operator(*this).has_value());
  if (level != kInitialLevel || operand_of_operator ||
      !context.contains(ExpressionContext::kAllowYield)) {
    add_error(ParseErrorKind::InvalidYieldUsage, node->range);
  }
  return {node, false};
}

ParsedExpr Parser::parse_prefix_run(OperatorPrecedence level,
                                    ExpressionContext context) {
  // `- - x`, `not not x`, `-await x`: a run of prefix operators of any
  // length, read in a loop. Each operator's operand is the rest of the run
  // with the infix operators that bind tighter than its operand level, so
  // the nodes are made innermost first, each one's tail read after it.
  ListBuilder<Prefix> run(*this);
  while (is_prefix_operator(current_token_kind())) {
    const TokenKind token = current_token_kind();
    run.push(Prefix{.start = current_token_start(),
                    .level = level,
                    .context = context,
                    .token = token});
    bump(token);
    level = operand_level(token);
    if (token == TokenKind::Await) {
      context = kNoContext;
    }
  }
  const TextSize start = current_token_start();
  ParsedExpr operand = parse_lhs_expression(level, context);
  operand = parse_binary_expression_or_higher_recursive(operand, level, context,
                                                        start);
  for (std::size_t index = run.size(); index-- > 0;) {
    const Prefix prefix = run[index];
    Expr* node = make_prefix_node(*this, prefix, operand.expr);
    if (index == 0) {
      // The caller reads the infix operators after the whole run.
      return {node, false};
    }
    operand = parse_binary_expression_or_higher_recursive(
        {node, false}, prefix.level, prefix.context, prefix.start);
  }
  return operand;
}

ParsedExpr Parser::parse_binary_expression_or_higher_recursive(
    ParsedExpr left, OperatorPrecedence level, ExpressionContext context,
    TextSize start) {
  // Most operands end at a token that is no operator (a comma, a bracket, a
  // line end): one load says so, before the loop's frame is set up.
  if (!may_be_operator(current_token_kind())) {
    return left;
  }
  return parse_binary_operators(left, level, context, start);
}

ParsedExpr Parser::parse_binary_operators(ParsedExpr left,
                                          OperatorPrecedence level,
                                          ExpressionContext context,
                                          TextSize start) {
  // A missing left operand sits at the end of the token before it, which
  // may lie before `start`: the operation begins at its left operand.
  start = std::min(start, left.expr->range.start());
  const bool exclude_in = context.contains(ExpressionContext::kExcludeIn);
  ParserProgress progress;
  while (true) {
    progress.assert_progressing(*this);
    if (exclude_in && at(TokenKind::In)) {
      break;
    }
    const std::optional<BinaryLikeOperator> op = current_operator(*this);
    if (!op) {
      break;
    }
    const OperatorPrecedence op_level = op->precedence();
    // `**` alone is right-associative: it continues at its own level.
    const bool binds =
        op->kind == BinaryLikeOperator::Kind::Binary && op->op == Operator::Pow
            ? op_level >= level
            : op_level > level;
    if (!binds) {
      break;
    }
    Expr* node = nullptr;
    switch (op->kind) {
      case BinaryLikeOperator::Kind::Binary: {
        bump_any();
        // `a ** b ** c ...` nests to the right without end: its operands
        // are read in a loop and folded innermost first. The other levels
        // are finitely many: a right operand recurses only into tighter
        // levels.
        Expr* right =
            op->op == Operator::Pow
                ? parse_power_operands(context)
                : parse_operator_expression(*this, op_level, context).expr;
        ExprBinOp* binary = make<ExprBinOp>(node_range(start));
        binary->left = left.expr;
        binary->op = op->op;
        binary->right = right;
        node = binary;
        break;
      }
      case BinaryLikeOperator::Kind::Comparison: {
        // One flat node for the whole chain: `a < b <= c` has two ops.
        struct Link {
          CmpOp op;
          Expr* comparator;
        };
        ListBuilder<Link> links(*this);
        CmpOp cmp = op->cmp_op;
        ParserProgress chain_progress;
        while (true) {
          chain_progress.assert_progressing(*this);
          bump_cmp_op(*this, cmp);
          Expr* comparator =
              parse_operator_expression(*this, kComparisonLevel, context).expr;
          links.push(Link{cmp, comparator});
          if (exclude_in && at(TokenKind::In)) {
            break;
          }
          const std::optional<BinaryLikeOperator> next =
              current_operator(*this);
          if (!next || next->kind != BinaryLikeOperator::Kind::Comparison) {
            break;
          }
          cmp = next->cmp_op;
        }
        ExprCompare* compare = make<ExprCompare>(node_range(start));
        compare->left = left.expr;
        compare->ops = arena().make_list<CmpOp>(links.size());
        compare->comparators = arena().make_list<Expr*>(links.size());
        for (std::size_t index = 0; index < links.size(); ++index) {
          compare->ops[index] = links[index].op;
          compare->comparators[index] = links[index].comparator;
        }
        node = compare;
        break;
      }
      case BinaryLikeOperator::Kind::Boolean: {
        // One flat node for a run of one keyword: `a or b or c` has three
        // values; the other keyword ends the run.
        const TokenKind keyword = current_token_kind();
        ListBuilder<Expr*> values(*this);
        values.push(left.expr);
        do {
          bump(keyword);
          values.push(parse_operator_expression(*this, op_level, context).expr);
        } while (at(keyword));
        ExprBoolOp* boolean = make<ExprBoolOp>(node_range(start));
        boolean->op = op->bool_op;
        boolean->values = values.finish();
        node = boolean;
        break;
      }
    }
    left = ParsedExpr{node, left.is_parenthesized};
  }
  return left;
}

Expr* Parser::parse_power_operands(ExpressionContext context) {
  struct Operand {
    TextSize start;
    Expr* expr;
  };
  ListBuilder<Operand> operands(*this);
  TextSize start = current_token_start();
  Expr* right = parse_lhs_expression(kPowLevel, context).expr;
  while (at(TokenKind::DoubleStar)) {
    operands.push(
        Operand{.start = std::min(start, right->range.start()), .expr = right});
    bump(TokenKind::DoubleStar);
    start = current_token_start();
    right = parse_lhs_expression(kPowLevel, context).expr;
  }
  for (std::size_t index = operands.size(); index-- > 0;) {
    const Operand left = operands[index];
    ExprBinOp* binary = make<ExprBinOp>(node_range(left.start));
    binary->left = left.expr;
    binary->op = Operator::Pow;
    binary->right = right;
    right = binary;
  }
  return right;
}

Parameters* Parser::parse_lambda_parameters() {
  bump(TokenKind::Lambda);
  Parameters* parameters = nullptr;
  if (!at(TokenKind::Colon)) {
    parameters = parse_parameters(ParametersKind::Lambda);
  }
  expect(TokenKind::Colon);
  return parameters;
}

ExprLambda* Parser::parse_lambda_expr() {
  const TextSize start = current_token_start();
  Parameters* parameters = parse_lambda_parameters();
  Expr* body = parse_conditional_expression_or_higher_impl(kNoContext).expr;
  ExprLambda* node = make<ExprLambda>(node_range(start));
  node->parameters = parameters;
  node->body = body;
  return node;
}

}  // namespace divu
