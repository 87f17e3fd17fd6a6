#include "node_children.h"

#include <type_traits>

namespace divu {
namespace {

// Collects children into the output, skipping absent ones.
class Children {
 public:
  explicit Children(std::vector<const Node*>& out) : out_(out) {}

  void add(const Node* child) {
    if (child != nullptr) {
      out_.push_back(child);
    }
  }
  void add(const Node& child) { out_.push_back(&child); }

  // A list of pointers or of records held in place.
  template <class T>
  void add(std::span<T> list) {
    for (const auto& item : list) {
      if constexpr (std::is_pointer_v<T>) {
        add(static_cast<const Node*>(item));
      } else {
        add(item);
      }
    }
  }

  void add(std::span<DictItem> items) {
    for (const DictItem& item : items) {
      add(item.key);
      add(item.value);
    }
  }

  template <class Traits>
  void add(const LiteralValue<Traits>& value) {
    add(value.parts());
  }

  template <class First, class... Rest>
  void add(const First& first,
           const Rest&... rest) requires(sizeof...(Rest) > 0) {
    add(first);
    (add(rest), ...);
  }

 private:
  std::vector<const Node*>& out_;
};

}  // namespace

void append_children(const Node& node, std::vector<const Node*>& out) {
  Children c(out);
  switch (node.kind()) {
    case NodeKind::ModModule:
      return c.add(node.as<ModModule>().body);
    case NodeKind::ModExpression:
      return c.add(node.as<ModExpression>().body);

    case NodeKind::StmtFunctionDef: {
      const auto& n = node.as<StmtFunctionDef>();
      return c.add(n.decorator_list, n.name, n.type_params, n.parameters,
                   n.returns, n.body);
    }
    case NodeKind::StmtClassDef: {
      const auto& n = node.as<StmtClassDef>();
      return c.add(n.decorator_list, n.name, n.type_params, n.arguments,
                   n.body);
    }
    case NodeKind::StmtReturn:
      return c.add(node.as<StmtReturn>().value);
    case NodeKind::StmtDelete:
      return c.add(node.as<StmtDelete>().targets);
    case NodeKind::StmtTypeAlias: {
      const auto& n = node.as<StmtTypeAlias>();
      return c.add(n.name, n.type_params, n.value);
    }
    case NodeKind::StmtAssign: {
      const auto& n = node.as<StmtAssign>();
      return c.add(n.targets, n.value);
    }
    case NodeKind::StmtAugAssign: {
      const auto& n = node.as<StmtAugAssign>();
      return c.add(n.target, n.value);
    }
    case NodeKind::StmtAnnAssign: {
      const auto& n = node.as<StmtAnnAssign>();
      return c.add(n.target, n.annotation, n.value);
    }
    case NodeKind::StmtFor: {
      const auto& n = node.as<StmtFor>();
      return c.add(n.target, n.iter, n.body, n.orelse);
    }
    case NodeKind::StmtWhile: {
      const auto& n = node.as<StmtWhile>();
      return c.add(n.test, n.body, n.orelse);
    }
    case NodeKind::StmtIf: {
      const auto& n = node.as<StmtIf>();
      return c.add(n.test, n.body, n.elif_else_clauses);
    }
    case NodeKind::StmtWith: {
      const auto& n = node.as<StmtWith>();
      return c.add(n.items, n.body);
    }
    case NodeKind::StmtMatch: {
      const auto& n = node.as<StmtMatch>();
      return c.add(n.subject, n.cases);
    }
    case NodeKind::StmtRaise: {
      const auto& n = node.as<StmtRaise>();
      return c.add(n.exc, n.cause);
    }
    case NodeKind::StmtTry: {
      const auto& n = node.as<StmtTry>();
      return c.add(n.body, n.handlers, n.orelse, n.finalbody);
    }
    case NodeKind::StmtAssert: {
      const auto& n = node.as<StmtAssert>();
      return c.add(n.test, n.msg);
    }
    case NodeKind::StmtImport:
      return c.add(node.as<StmtImport>().names);
    case NodeKind::StmtImportFrom: {
      const auto& n = node.as<StmtImportFrom>();
      return c.add(n.module, n.names);
    }
    case NodeKind::StmtGlobal:
      return c.add(node.as<StmtGlobal>().names);
    case NodeKind::StmtNonlocal:
      return c.add(node.as<StmtNonlocal>().names);
    case NodeKind::StmtExpr:
      return c.add(node.as<StmtExpr>().value);
    case NodeKind::StmtPass:
    case NodeKind::StmtBreak:
    case NodeKind::StmtContinue:
    case NodeKind::StmtIpyEscapeCommand:
      return;

    case NodeKind::ExprBoolOp:
      return c.add(node.as<ExprBoolOp>().values);
    case NodeKind::ExprNamed: {
      const auto& n = node.as<ExprNamed>();
      return c.add(n.target, n.value);
    }
    case NodeKind::ExprBinOp: {
      const auto& n = node.as<ExprBinOp>();
      return c.add(n.left, n.right);
    }
    case NodeKind::ExprUnaryOp:
      return c.add(node.as<ExprUnaryOp>().operand);
    case NodeKind::ExprLambda: {
      const auto& n = node.as<ExprLambda>();
      return c.add(n.parameters, n.body);
    }
    case NodeKind::ExprIf: {
      const auto& n = node.as<ExprIf>();
      return c.add(n.test, n.body, n.orelse);
    }
    case NodeKind::ExprDict:
      return c.add(node.as<ExprDict>().items);
    case NodeKind::ExprSet:
      return c.add(node.as<ExprSet>().elts);
    case NodeKind::ExprListComp: {
      const auto& n = node.as<ExprListComp>();
      return c.add(n.elt, n.generators);
    }
    case NodeKind::ExprSetComp: {
      const auto& n = node.as<ExprSetComp>();
      return c.add(n.elt, n.generators);
    }
    case NodeKind::ExprDictComp: {
      const auto& n = node.as<ExprDictComp>();
      return c.add(n.key, n.value, n.generators);
    }
    case NodeKind::ExprGenerator: {
      const auto& n = node.as<ExprGenerator>();
      return c.add(n.elt, n.generators);
    }
    case NodeKind::ExprAwait:
      return c.add(node.as<ExprAwait>().value);
    case NodeKind::ExprYield:
      return c.add(node.as<ExprYield>().value);
    case NodeKind::ExprYieldFrom:
      return c.add(node.as<ExprYieldFrom>().value);
    case NodeKind::ExprCompare: {
      const auto& n = node.as<ExprCompare>();
      return c.add(n.left, n.comparators);
    }
    case NodeKind::ExprCall: {
      const auto& n = node.as<ExprCall>();
      return c.add(n.func, n.arguments);
    }
    case NodeKind::ExprFString:
      return c.add(node.as<ExprFString>().value);
    case NodeKind::ExprTString:
      return c.add(node.as<ExprTString>().value);
    case NodeKind::ExprStringLiteral:
      return c.add(node.as<ExprStringLiteral>().value);
    case NodeKind::ExprBytesLiteral:
      return c.add(node.as<ExprBytesLiteral>().value);
    case NodeKind::ExprNumberLiteral:
    case NodeKind::ExprBooleanLiteral:
    case NodeKind::ExprNoneLiteral:
    case NodeKind::ExprEllipsisLiteral:
    case NodeKind::ExprName:
    case NodeKind::ExprIpyEscapeCommand:
      return;
    case NodeKind::ExprAttribute: {
      const auto& n = node.as<ExprAttribute>();
      return c.add(n.value, n.attr);
    }
    case NodeKind::ExprSubscript: {
      const auto& n = node.as<ExprSubscript>();
      return c.add(n.value, n.slice);
    }
    case NodeKind::ExprStarred:
      return c.add(node.as<ExprStarred>().value);
    case NodeKind::ExprList:
      return c.add(node.as<ExprList>().elts);
    case NodeKind::ExprTuple:
      return c.add(node.as<ExprTuple>().elts);
    case NodeKind::ExprSlice: {
      const auto& n = node.as<ExprSlice>();
      return c.add(n.lower, n.upper, n.step);
    }

    case NodeKind::PatternMatchValue:
      return c.add(node.as<PatternMatchValue>().value);
    case NodeKind::PatternMatchSingleton:
      return;
    case NodeKind::PatternMatchSequence:
      return c.add(node.as<PatternMatchSequence>().patterns);
    case NodeKind::PatternMatchMapping: {
      const auto& n = node.as<PatternMatchMapping>();
      return c.add(n.keys, n.patterns, n.rest);
    }
    case NodeKind::PatternMatchClass: {
      const auto& n = node.as<PatternMatchClass>();
      return c.add(n.cls, n.arguments);
    }
    case NodeKind::PatternMatchStar:
      return c.add(node.as<PatternMatchStar>().name);
    case NodeKind::PatternMatchAs: {
      const auto& n = node.as<PatternMatchAs>();
      return c.add(n.pattern, n.name);
    }
    case NodeKind::PatternMatchOr:
      return c.add(node.as<PatternMatchOr>().patterns);

    case NodeKind::TypeParamTypeVar: {
      const auto& n = node.as<TypeParamTypeVar>();
      return c.add(n.name, n.bound, n.default_value);
    }
    case NodeKind::TypeParamTypeVarTuple: {
      const auto& n = node.as<TypeParamTypeVarTuple>();
      return c.add(n.name, n.default_value);
    }
    case NodeKind::TypeParamParamSpec: {
      const auto& n = node.as<TypeParamParamSpec>();
      return c.add(n.name, n.default_value);
    }

    case NodeKind::ExceptHandlerExceptHandler: {
      const auto& n = node.as<ExceptHandlerExceptHandler>();
      return c.add(n.type, n.name, n.body);
    }

    case NodeKind::InterpolatedStringElementLiteral:
      return;
    case NodeKind::InterpolatedStringElementInterpolation: {
      const auto& n = node.as<InterpolatedStringElementInterpolation>();
      return c.add(n.expression, n.format_spec);
    }

    case NodeKind::StringLiteral:
      return;
    case NodeKind::FString:
      return c.add(node.as<FString>().elements);

    case NodeKind::Identifier:
      return;
    case NodeKind::ElifElseClause: {
      const auto& n = node.as<ElifElseClause>();
      return c.add(n.test, n.body);
    }
    case NodeKind::WithItem: {
      const auto& n = node.as<WithItem>();
      return c.add(n.context_expr, n.optional_vars);
    }
    case NodeKind::MatchCase: {
      const auto& n = node.as<MatchCase>();
      return c.add(n.pattern, n.guard, n.body);
    }
    case NodeKind::Alias: {
      const auto& n = node.as<Alias>();
      return c.add(n.name, n.asname);
    }
    case NodeKind::Decorator:
      return c.add(node.as<Decorator>().expression);
    case NodeKind::Parameters: {
      const auto& n = node.as<Parameters>();
      return c.add(n.posonlyargs, n.args, n.vararg, n.kwonlyargs, n.kwarg);
    }
    case NodeKind::Parameter: {
      const auto& n = node.as<Parameter>();
      return c.add(n.name, n.annotation);
    }
    case NodeKind::ParameterWithDefault: {
      const auto& n = node.as<ParameterWithDefault>();
      return c.add(n.parameter, n.default_value);
    }
    case NodeKind::TypeParams:
      return c.add(node.as<TypeParams>().type_params);
    case NodeKind::Arguments: {
      const auto& n = node.as<Arguments>();
      return c.add(n.args, n.keywords);
    }
    case NodeKind::Keyword: {
      const auto& n = node.as<Keyword>();
      return c.add(n.arg, n.value);
    }
    case NodeKind::Comprehension: {
      const auto& n = node.as<Comprehension>();
      return c.add(n.target, n.iter, n.ifs);
    }
    case NodeKind::BytesLiteral:
      return;
    case NodeKind::TString:
      return c.add(node.as<TString>().elements);
    case NodeKind::InterpolatedStringFormatSpec:
      return c.add(node.as<InterpolatedStringFormatSpec>().elements);
    case NodeKind::PatternArguments: {
      const auto& n = node.as<PatternArguments>();
      return c.add(n.patterns, n.keywords);
    }
    case NodeKind::PatternKeyword: {
      const auto& n = node.as<PatternKeyword>();
      return c.add(n.attr, n.pattern);
    }
  }
}

}  // namespace divu
