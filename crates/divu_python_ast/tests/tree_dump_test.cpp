#include "tree_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "node_children.h"
#include "stack_thread.h"
#include "statement_visitor.h"
#include "tree_builder.h"

namespace divu {
namespace {

ExprNumberLiteral* number(TreeBuilder& b, TextSize start) {
  auto* literal = b.make<ExprNumberLiteral>(start, start + 1);
  literal->value = NumberLiteralValue::integer(Int::small(1));
  return literal;
}

ModModule* module(TreeBuilder& b, TextSize end,
                  std::initializer_list<Stmt*> body) {
  auto* root = b.make<ModModule>(0, end);
  root->body = b.body(body);
  return root;
}

struct DumpCase {
  std::string_view source;
  std::function<Node*(TreeBuilder&)> build;
  std::string_view dump;
};

// The nodes under `root` in preorder, as the builder's walk over mutable
// nodes meets them.
std::vector<const Node*> mutable_preorder(Node& root) {
  std::vector<const Node*> order;
  std::vector<Node*> stack{&root};
  while (!stack.empty()) {
    Node* node = stack.back();
    stack.pop_back();
    order.push_back(node);
    const std::size_t first = stack.size();
    for_each_child(*node, [&stack](Node& child) { stack.push_back(&child); });
    std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first),
                 stack.end());
  }
  return order;
}

// Records that get their field list wrong, which the check refuses.
struct FieldLeftOut : NodeOf<NodeKind::StmtExpr, Stmt> {
  Child<Expr> value;
  bool flag = false;
  DIVU_FIELDS(value)
};
struct FieldListedTwice : NodeOf<NodeKind::StmtExpr, Stmt> {
  Child<Expr> value;
  DIVU_FIELDS(value, value)
};
static_assert(node_children_detail::lists_every_field<StmtExpr>());
static_assert(!node_children_detail::lists_every_field<FieldLeftOut>());
static_assert(!node_children_detail::lists_every_field<FieldListedTwice>());

// A reader holding the tree as const gets only const nodes out of it.
static_assert(
    std::is_same_v<decltype(std::declval<const StmtExpr&>().value.get()),
                   const Expr*>);
static_assert(!std::is_convertible_v<const Child<Expr>&, Expr*>);
static_assert(
    std::is_convertible_v<const List<Stmt*>&, std::span<const Stmt* const>>);
static_assert(
    !std::is_convertible_v<const List<Stmt*>&, std::span<Stmt* const>>);
static_assert(!std::is_convertible_v<const List<Keyword>&, std::span<Keyword>>);
static_assert(
    std::is_same_v<decltype(std::declval<const ExprFString&>().value.parts()),
                   std::span<const FStringPart* const>>);
static_assert(std::is_same_v<decltype((std::declval<const Keyword&>().arg->id)),
                             const Name&>);

TEST(TreeDumpTest, OneLinePerNodeInFieldOrder) {
  const DumpCase cases[] = {
      {.source = "x = f(a, k=1)\n",
       .build =
           [](TreeBuilder& b) {
             auto* call = b.make<ExprCall>(4, 13);
             call->func = b.name("f", 4);
             call->arguments.range = TextRange(5, 13);
             call->arguments.args = b.list<Expr*>({b.name("a", 6)});
             Keyword keyword;
             keyword.range = TextRange(9, 12);
             keyword.arg = b.arena.make<Identifier>(b.identifier("k", 9));
             keyword.value = number(b, 11);
             call->arguments.keywords = b.list({keyword});
             auto* assign = b.make<StmtAssign>(0, 13);
             assign->targets = b.list<Expr*>({b.name("x", 0)});
             assign->value = call;
             return module(b, 14, {assign});
           },
       .dump = "ModModule 0..14\n"
               "  StmtAssign 0..13\n"
               "    ExprName 0..1\n"
               "    ExprCall 4..13\n"
               "      ExprName 4..5\n"
               "      Arguments 5..13\n"
               "        ExprName 6..7\n"
               "        Keyword 9..12\n"
               "          Identifier 9..10\n"
               "          ExprNumberLiteral 11..12\n"},
      {.source = "{**d, 'k': v}",
       .build =
           [](TreeBuilder& b) {
             auto* part = b.make<StringLiteral>(6, 9);
             part->value = "k";
             auto* key = b.make<ExprStringLiteral>(6, 9);
             key->value = StringLiteralValue::single(part);
             auto* dict = b.make<ExprDict>(0, 13);
             dict->items =
                 b.list({DictItem{.key = nullptr, .value = b.name("d", 3)},
                         DictItem{.key = key, .value = b.name("v", 11)}});
             return dict;
           },
       .dump = "ExprDict 0..13\n"
               "  ExprName 3..4\n"
               "  ExprStringLiteral 6..9\n"
               "    StringLiteral 6..9\n"
               "  ExprName 11..12\n"},
      {.source = "@dec\ndef f(a, /, b=1, *c, d, **e) -> r: pass",
       .build =
           [](TreeBuilder& b) {
             auto entry = [&b](std::string_view name, TextSize start,
                               Expr* default_value) {
               ParameterWithDefault with_default;
               with_default.parameter.name = b.identifier(name, start);
               with_default.parameter.range = with_default.parameter.name.range;
               with_default.default_value = default_value;
               with_default.range = TextRange(
                   start, default_value != nullptr ? default_value->range.end()
                                                   : start + 1);
               return with_default;
             };
             auto single = [&b](std::string_view name, TextSize start) {
               auto* parameter = b.make<Parameter>(start, start + 1);
               parameter->name = b.identifier(name, start);
               return parameter;
             };
             auto* parameters = b.make<Parameters>(10, 33);
             parameters->posonlyargs = b.list({entry("a", 11, nullptr)});
             parameters->args = b.list({entry("b", 17, number(b, 19))});
             parameters->vararg = single("c", 23);
             parameters->kwonlyargs = b.list({entry("d", 26, nullptr)});
             parameters->kwarg = single("e", 31);
             Decorator decorator;
             decorator.range = TextRange(0, 4);
             decorator.expression = b.name("dec", 1);
             auto* function = b.make<StmtFunctionDef>(0, 44);
             function->decorator_list = b.list({decorator});
             function->name = b.identifier("f", 9);
             function->parameters = parameters;
             function->returns = b.name("r", 37);
             function->body = b.body({b.pass(40)});
             return function;
           },
       .dump = "StmtFunctionDef 0..44\n"
               "  Decorator 0..4\n"
               "    ExprName 1..4\n"
               "  Identifier 9..10\n"
               "  Parameters 10..33\n"
               "    ParameterWithDefault 11..12\n"
               "      Parameter 11..12\n"
               "        Identifier 11..12\n"
               "    ParameterWithDefault 17..20\n"
               "      Parameter 17..18\n"
               "        Identifier 17..18\n"
               "      ExprNumberLiteral 19..20\n"
               "    Parameter 23..24\n"
               "      Identifier 23..24\n"
               "    ParameterWithDefault 26..27\n"
               "      Parameter 26..27\n"
               "        Identifier 26..27\n"
               "    Parameter 31..32\n"
               "      Identifier 31..32\n"
               "  ExprName 37..38\n"
               "  StmtPass 40..44\n"},
      {.source = "match p:\n case C(x, k=_) | {1: y, **r}: pass\n",
       .build =
           [](TreeBuilder& b) {
             auto capture = [&b](std::string_view name, TextSize start) {
               auto* as = b.make<PatternMatchAs>(
                   start, start + static_cast<TextSize>(name.size()));
               if (name != "_") {
                 as->name = b.arena.make<Identifier>(b.identifier(name, start));
               }
               return as;
             };
             auto* cls = b.make<PatternMatchClass>(15, 23);
             cls->cls = b.name("C", 15);
             cls->arguments.range = TextRange(16, 23);
             cls->arguments.patterns = b.list<Pattern*>({capture("x", 17)});
             PatternKeyword keyword;
             keyword.range = TextRange(20, 23);
             keyword.attr = b.identifier("k", 20);
             keyword.pattern = capture("_", 22);
             cls->arguments.keywords = b.list({keyword});
             auto* mapping = b.make<PatternMatchMapping>(27, 38);
             mapping->keys = b.list<Expr*>({number(b, 28)});
             mapping->patterns = b.list<Pattern*>({capture("y", 31)});
             mapping->rest = b.arena.make<Identifier>(b.identifier("r", 36));
             auto* alternatives = b.make<PatternMatchOr>(15, 38);
             alternatives->patterns = b.list<Pattern*>({cls, mapping});
             MatchCase match_case;
             match_case.range = TextRange(10, 44);
             match_case.pattern = alternatives;
             match_case.body = b.body({b.pass(40)});
             auto* match = b.make<StmtMatch>(0, 44);
             match->subject = b.name("p", 6);
             match->cases = b.list({match_case});
             return match;
           },
       .dump = "StmtMatch 0..44\n"
               "  ExprName 6..7\n"
               "  MatchCase 10..44\n"
               "    PatternMatchOr 15..38\n"
               "      PatternMatchClass 15..23\n"
               "        ExprName 15..16\n"
               "        PatternArguments 16..23\n"
               "          PatternMatchAs 17..18\n"
               "            Identifier 17..18\n"
               "          PatternKeyword 20..23\n"
               "            Identifier 20..21\n"
               "            PatternMatchAs 22..23\n"
               "      PatternMatchMapping 27..38\n"
               "        ExprNumberLiteral 28..29\n"
               "        PatternMatchAs 31..32\n"
               "          Identifier 31..32\n"
               "        Identifier 36..37\n"
               "    StmtPass 40..44\n"},
      {.source = "[f\"{a!r:>{w}}\" for a in b if a]",
       .build =
           [](TreeBuilder& b) {
             auto* inner =
                 b.make<InterpolatedStringElementInterpolation>(9, 12);
             inner->expression = b.name("w", 10);
             auto* fill = b.make<InterpolatedStringElementLiteral>(8, 9);
             fill->value = ">";
             auto* spec = b.make<InterpolatedStringFormatSpec>(8, 12);
             spec->elements = b.list<InterpolatedStringElement*>({fill, inner});
             auto* outer =
                 b.make<InterpolatedStringElementInterpolation>(3, 13);
             outer->expression = b.name("a", 4);
             outer->conversion = ConversionFlag::Repr;
             outer->format_spec = spec;
             auto* fstring = b.make<FString>(1, 14);
             fstring->elements = b.list<InterpolatedStringElement*>({outer});
             auto* value = b.make<ExprFString>(1, 14);
             value->value = FStringValue::single(fstring);
             Comprehension loop;
             loop.range = TextRange(15, 30);
             loop.target = b.name("a", 19);
             loop.iter = b.name("b", 24);
             loop.ifs = b.list<Expr*>({b.name("a", 29)});
             auto* comprehension = b.make<ExprListComp>(0, 31);
             comprehension->elt = value;
             comprehension->generators = b.list({loop});
             return comprehension;
           },
       .dump = "ExprListComp 0..31\n"
               "  ExprFString 1..14\n"
               "    FString 1..14\n"
               "      InterpolatedStringElementInterpolation 3..13\n"
               "        ExprName 4..5\n"
               "        InterpolatedStringFormatSpec 8..12\n"
               "          InterpolatedStringElementLiteral 8..9\n"
               "          InterpolatedStringElementInterpolation 9..12\n"
               "            ExprName 10..11\n"
               "  Comprehension 15..30\n"
               "    ExprName 19..20\n"
               "    ExprName 24..25\n"
               "    ExprName 29..30\n"},
      {.source = "from .m import a as b\ntype T[U: int = str] = U\n",
       .build =
           [](TreeBuilder& b) {
             Alias alias;
             alias.range = TextRange(15, 21);
             alias.name = b.identifier("a", 15);
             alias.asname = b.arena.make<Identifier>(b.identifier("b", 20));
             auto* import = b.make<StmtImportFrom>(0, 21);
             import->module = b.arena.make<Identifier>(b.identifier("m", 6));
             import->names = b.list({alias});
             import->level = 1;
             auto* var = b.make<TypeParamTypeVar>(29, 41);
             var->name = b.identifier("U", 29);
             var->bound = b.name("int", 32);
             var->default_value = b.name("str", 38);
             auto* params = b.make<TypeParams>(28, 42);
             params->type_params = b.list<TypeParam*>({var});
             auto* alias_stmt = b.make<StmtTypeAlias>(22, 46);
             alias_stmt->name = b.name("T", 27);
             alias_stmt->type_params = params;
             alias_stmt->value = b.name("U", 45);
             return module(b, 47, {import, alias_stmt});
           },
       .dump = "ModModule 0..47\n"
               "  StmtImportFrom 0..21\n"
               "    Identifier 6..7\n"
               "    Alias 15..21\n"
               "      Identifier 15..16\n"
               "      Identifier 20..21\n"
               "  StmtTypeAlias 22..46\n"
               "    ExprName 27..28\n"
               "    TypeParams 28..42\n"
               "      TypeParamTypeVar 29..41\n"
               "        Identifier 29..30\n"
               "        ExprName 32..35\n"
               "        ExprName 38..41\n"
               "    ExprName 45..46\n"},
      {.source = "try:\n pass\nexcept E as e:\n pass\n"
                 "for t in i:\n pass\nelse:\n pass\n",
       .build =
           [](TreeBuilder& b) {
             auto* handler = b.make<ExceptHandlerExceptHandler>(11, 31);
             handler->type = b.name("E", 18);
             handler->name = b.arena.make<Identifier>(b.identifier("e", 23));
             handler->body = b.body({b.pass(27)});
             auto* block = b.make<StmtTry>(0, 31);
             block->body = b.body({b.pass(6)});
             block->handlers = b.list<ExceptHandler*>({handler});
             auto* loop = b.make<StmtFor>(32, 61);
             loop->target = b.name("t", 36);
             loop->iter = b.name("i", 41);
             loop->body = b.body({b.pass(45)});
             loop->orelse = b.body({b.pass(57)});
             return module(b, 62, {block, loop});
           },
       .dump = "ModModule 0..62\n"
               "  StmtTry 0..31\n"
               "    StmtPass 6..10\n"
               "    ExceptHandlerExceptHandler 11..31\n"
               "      ExprName 18..19\n"
               "      Identifier 23..24\n"
               "      StmtPass 27..31\n"
               "  StmtFor 32..61\n"
               "    ExprName 36..37\n"
               "    ExprName 41..42\n"
               "    StmtPass 45..49\n"
               "    StmtPass 57..61\n"},
      {.source = "lambda a: x.y[:z] < w",
       .build =
           [](TreeBuilder& b) {
             ParameterWithDefault a;
             a.range = TextRange(7, 8);
             a.parameter.range = a.range;
             a.parameter.name = b.identifier("a", 7);
             auto* parameters = b.make<Parameters>(7, 8);
             parameters->args = b.list({a});
             auto* attribute = b.make<ExprAttribute>(10, 13);
             attribute->value = b.name("x", 10);
             attribute->attr = b.identifier("y", 12);
             auto* slice = b.make<ExprSlice>(14, 16);
             slice->upper = b.name("z", 15);
             auto* subscript = b.make<ExprSubscript>(10, 17);
             subscript->value = attribute;
             subscript->slice = slice;
             auto* compare = b.make<ExprCompare>(10, 21);
             compare->left = subscript;
             compare->ops = b.list({CmpOp::Lt});
             compare->comparators = b.list<Expr*>({b.name("w", 20)});
             auto* lambda = b.make<ExprLambda>(0, 21);
             lambda->parameters = parameters;
             lambda->body = compare;
             return lambda;
           },
       .dump = "ExprLambda 0..21\n"
               "  Parameters 7..8\n"
               "    ParameterWithDefault 7..8\n"
               "      Parameter 7..8\n"
               "        Identifier 7..8\n"
               "  ExprCompare 10..21\n"
               "    ExprSubscript 10..17\n"
               "      ExprAttribute 10..13\n"
               "        ExprName 10..11\n"
               "        Identifier 12..13\n"
               "      ExprSlice 14..16\n"
               "        ExprName 15..16\n"
               "    ExprName 20..21\n"},
      {.source = "'a' f'{b=}'",
       .build =
           [](TreeBuilder& b) {
             auto* literal = b.make<StringLiteral>(0, 3);
             literal->value = "a";
             auto* interpolation =
                 b.make<InterpolatedStringElementInterpolation>(6, 10);
             interpolation->expression = b.name("b", 7);
             interpolation->debug_text = b.arena.make<DebugText>(
                 DebugText{.leading = "", .trailing = "="});
             auto* fstring = b.make<FString>(4, 11);
             fstring->elements =
                 b.list<InterpolatedStringElement*>({interpolation});
             auto* value = b.make<ExprFString>(0, 11);
             value->value = FStringValue::concatenated(
                 b.list<FStringPart*>({literal, fstring}));
             return value;
           },
       .dump = "ExprFString 0..11\n"
               "  StringLiteral 0..3\n"
               "  FString 4..11\n"
               "    InterpolatedStringElementInterpolation 6..10\n"
               "      ExprName 7..8\n"},
  };
  for (const DumpCase& c : cases) {
    SCOPED_TRACE(c.source);
    TreeBuilder b;
    Node* root = c.build(b);
    EXPECT_EQ(dump_tree(*root), c.dump);
    std::vector<const Node*> by_reader;
    walk_preorder(*root, [&by_reader](const Node& node, std::uint32_t) {
      by_reader.push_back(&node);
    });
    EXPECT_EQ(mutable_preorder(*root), by_reader);
  }
}

// 1'000'000 levels: far deeper than any recursion a 2 MiB stack allows.
constexpr std::uint32_t kDeep = 1'000'000;

struct ChainCase {
  std::string_view name;
  // Builds a chain `depth` levels deep over a source of `*length` bytes.
  std::function<Expr*(TreeBuilder&, std::uint32_t depth, TextSize* length)>
      build;
  // Nodes below the expression statement for a chain of `depth` levels.
  std::function<std::uint64_t(std::uint64_t depth)> expression_nodes;
};

const ChainCase kChains[] = {
    {.name = "1+1+...+1, nested to the left",
     .build =
         [](TreeBuilder& b, std::uint32_t depth, TextSize* length) {
           Expr* chain = number(b, 0);
           for (std::uint32_t i = 1; i <= depth; ++i) {
             auto* binop = b.make<ExprBinOp>(0, 2 * i + 1);
             binop->left = chain;
             binop->right = number(b, 2 * i);
             chain = binop;
           }
           *length = 2 * depth + 1;
           return chain;
         },
     .expression_nodes = [](std::uint64_t depth) { return 2 * depth + 1; }},
    {.name = "a.a.a...a",
     .build =
         [](TreeBuilder& b, std::uint32_t depth, TextSize* length) {
           Expr* chain = b.name("a", 0);
           for (std::uint32_t i = 1; i <= depth; ++i) {
             auto* attribute = b.make<ExprAttribute>(0, 2 * i + 1);
             attribute->value = chain;
             attribute->attr = b.identifier("a", 2 * i);
             chain = attribute;
           }
           *length = 2 * depth + 1;
           return chain;
         },
     .expression_nodes = [](std::uint64_t depth) { return 2 * depth + 1; }},
    {.name = "---...-x, nested to the right",
     .build =
         [](TreeBuilder& b, std::uint32_t depth, TextSize* length) {
           Expr* chain = b.name("x", depth);
           for (std::uint32_t i = depth; i-- > 0;) {
             auto* unary = b.make<ExprUnaryOp>(i, depth + 1);
             unary->op = UnaryOp::USub;
             unary->operand = chain;
             chain = unary;
           }
           *length = depth + 1;
           return chain;
         },
     .expression_nodes = [](std::uint64_t depth) { return depth + 1; }},
};

// Builds `module` holding one expression statement of the chain.
ModModule* chain_module(TreeBuilder& b, const ChainCase& c,
                        std::uint32_t depth) {
  TextSize length = 0;
  Expr* chain = c.build(b, depth, &length);
  auto* statement = b.make<StmtExpr>(0, length);
  statement->value = chain;
  return module(b, length, {statement});
}

class CountingVisitor : public StatementVisitor {
 public:
  void visit_stmt(const Stmt& stmt) override {
    ++statements;
    walk_stmt(*this, stmt);
  }
  int statements = 0;
};

TEST(TreeDumpTest, MillionLevelChainsOnASmallStack) {
  for (const ChainCase& c : kChains) {
    SCOPED_TRACE(c.name);
    std::uint64_t nodes = 0;
    std::uint32_t max_depth = 0;
    bool ranges_nest = true;
    int statements = 0;
    trelk::run_on_thread_with_stack(trelk::kThreadStackSize, [&] {
      // The arena, and the tree with it, is freed on this thread too.
      TreeBuilder b;
      const ModModule* root = chain_module(b, c, kDeep);
      std::vector<TextRange> open;  // the ranges of the current ancestors
      walk_preorder(*root, [&](const Node& node, std::uint32_t depth) {
        ++nodes;
        max_depth = std::max(max_depth, depth);
        open.resize(depth);
        if (depth > 0 && !open.back().contains_range(node.range)) {
          ranges_nest = false;
        }
        open.push_back(node.range);
      });
      CountingVisitor visitor;
      visitor.visit_body(root->body);
      statements = visitor.statements;
    });
    EXPECT_EQ(nodes, 2 + c.expression_nodes(kDeep));
    EXPECT_EQ(max_depth, kDeep + 2);
    EXPECT_TRUE(ranges_nest);
    EXPECT_EQ(statements, 1);
  }
}

TEST(TreeDumpTest, DeepChainDumpsOnASmallStack) {
  // 3000 levels: enough to overflow a recursive dump under sanitizers,
  // while the indented text stays near 9 MB.
  constexpr std::uint32_t kDepth = 3000;
  std::string dump;
  trelk::run_on_thread_with_stack(trelk::kThreadStackSize, [&] {
    TreeBuilder b;
    dump = dump_tree(*chain_module(b, kChains[0], kDepth));
  });
  EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 2 + 2 * kDepth + 1);
  EXPECT_TRUE(
      dump.starts_with("ModModule 0..6001\n  StmtExpr 0..6001\n"
                       "    ExprBinOp 0..6001\n"));
  const std::string innermost =
      std::string(2 * (kDepth + 2), ' ') + "ExprNumberLiteral 0..1\n";
  EXPECT_NE(dump.find(innermost), std::string::npos);
  EXPECT_TRUE(dump.ends_with("    ExprNumberLiteral 6000..6001\n"));
}

}  // namespace
}  // namespace divu
