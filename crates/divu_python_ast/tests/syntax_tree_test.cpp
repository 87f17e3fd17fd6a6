#include "syntax_tree.h"

#include <gtest/gtest.h>

#include <ranges>
#include <string>
#include <type_traits>
#include <vector>

#include "invariant.h"
#include "tree_builder.h"

namespace divu {
namespace {

TEST(NameTest, TextReadsBackUnchanged) {
  const std::string texts[] = {"", "x", std::string(24, 'a'),
                               std::string(25, 'b'), "na\xC3\xAFve"};
  Arena arena;
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const Name name(arena.copy_string(text));
    EXPECT_EQ(name.as_str(), text);
    EXPECT_EQ(name.empty(), text.empty());
  }
  EXPECT_TRUE(Name().empty());
  EXPECT_EQ(Name().as_str(), "");
}

TEST(IdentifierTest, OnlyThePlaceholderIsInvalid) {
  Identifier placeholder;
  EXPECT_FALSE(placeholder.is_valid());
  Identifier one_letter;
  one_letter.id = Name(std::string_view("x"));
  EXPECT_TRUE(one_letter.is_valid());
}

TEST(NodeTest, NodeIndexIsNoneAndSurvivesCopies) {
  TreeBuilder b;
  Identifier identifier = b.identifier("x", 0);
  EXPECT_EQ(identifier.node_index.load(), 0xFFFFFFFEu);
  EXPECT_EQ(b.pass(0)->node_index.load(), AtomicNodeIndex::kNone);
  identifier.node_index.store(7);
  const Identifier copy = identifier;
  EXPECT_EQ(copy.node_index.load(), 7u);
}

TEST(NodeTest, KindsAndCastsFollowTheRecordType) {
  TreeBuilder b;
  const Expr* expr = b.name("x", 3);
  EXPECT_EQ(expr->kind(), NodeKind::ExprName);
  EXPECT_TRUE(expr->is<Expr>());
  EXPECT_TRUE(expr->is<ExprName>());
  EXPECT_FALSE(expr->is<Stmt>());
  EXPECT_FALSE(expr->is<ExprAttribute>());
  EXPECT_EQ(expr->dyn_cast<ExprAttribute>(), nullptr);
  EXPECT_EQ(expr->as<ExprName>().id, "x");
  try {
    (void)expr->as<ExprCall>();
    FAIL() << "no failure";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_EQ(failure.message(), "syntax tree node ExprName is not a ExprCall");
  }
  EXPECT_THROW((void)expr->as<Stmt>(), trelk::InvariantFailure);
}

// Records copy; the header and the set types do not, so nothing slices.
static_assert(std::is_copy_constructible_v<StmtPass>);
static_assert(std::is_copy_assignable_v<Identifier>);
static_assert(!std::is_copy_constructible_v<Stmt>);
static_assert(!std::is_copy_assignable_v<Expr>);
static_assert(!std::is_copy_constructible_v<Node>);

TEST(NodeTest, EveryKindIsNamedAfterItsSet) {
  const std::pair<NodeSet, std::string_view> prefixes[] = {
      {NodeSet::Mod, "Mod"},
      {NodeSet::Stmt, "Stmt"},
      {NodeSet::Expr, "Expr"},
      {NodeSet::Pattern, "Pattern"},
      {NodeSet::TypeParam, "TypeParam"},
      {NodeSet::ExceptHandler, "ExceptHandler"},
      {NodeSet::InterpolatedStringElement, "InterpolatedStringElement"},
  };
  int statements = 0, expressions = 0, patterns = 0;
  for (std::size_t i = 0; i < kNodeKindCount; ++i) {
    const auto kind = static_cast<NodeKind>(i);
    SCOPED_TRACE(node_kind_name(kind));
    for (const auto& [set, prefix] : prefixes) {
      if (node_set(kind) == set) {
        EXPECT_TRUE(node_kind_name(kind).starts_with(prefix));
      }
    }
    statements += node_set(kind) == NodeSet::Stmt;
    expressions += node_set(kind) == NodeSet::Expr;
    patterns += node_set(kind) == NodeSet::Pattern;
  }
  EXPECT_EQ(statements, 25);
  EXPECT_EQ(expressions, 33);
  EXPECT_EQ(patterns, 8);
}

TEST(UnaryOpTest, DisplayText) {
  EXPECT_EQ(to_string(UnaryOp::Invert), "~");
  EXPECT_EQ(to_string(UnaryOp::Not), "not");
  EXPECT_EQ(to_string(UnaryOp::UAdd), "+");
  EXPECT_EQ(to_string(UnaryOp::USub), "-");
}

// Checks the single and concatenated constructors of one literal value type.
template <class Value>
void check_literal_value(std::string_view too_few_parts_message) {
  using Part = typename Value::Part;
  Part first, second;
  first.range = TextRange(0, 3);
  second.range = TextRange(4, 7);

  const Value single = Value::single(&first);
  EXPECT_FALSE(single.is_implicit_concatenated());
  ASSERT_EQ(single.parts().size(), 1u);
  EXPECT_EQ(single.parts()[0], &first);

  Part* one[] = {&first};
  try {
    (void)Value::concatenated(one);
    FAIL() << "no failure";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_EQ(failure.message(), too_few_parts_message);
  }
  EXPECT_THROW((void)Value::concatenated({}), trelk::InvariantFailure);

  Part* two[] = {&first, &second};
  const Value concatenated = Value::concatenated(two);
  EXPECT_TRUE(concatenated.is_implicit_concatenated());
  ASSERT_EQ(concatenated.parts().size(), 2u);
  EXPECT_EQ(concatenated.parts()[0], &first);
  EXPECT_EQ(concatenated.parts()[1], &second);
}

// FStringPart cannot be made on its own; its parts are tested through a
// StringLiteral and an FString.
TEST(LiteralValueTest, SingleAndConcatenated) {
  {
    SCOPED_TRACE("StringLiteralValue");
    check_literal_value<StringLiteralValue>(
        "Use `StringLiteralValue::single` to create single-part strings");
  }
  {
    SCOPED_TRACE("BytesLiteralValue");
    check_literal_value<BytesLiteralValue>(
        "Use `BytesLiteralValue::single` to create single-part bytestrings");
  }
  {
    SCOPED_TRACE("TStringValue");
    check_literal_value<TStringValue>(
        "Use `TStringValue::single` to create single-part t-strings");
  }
  StringLiteral literal;
  FString fstring;
  FStringPart* one[] = {&literal};
  try {
    (void)FStringValue::concatenated(one);
    FAIL() << "no failure";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_EQ(failure.message(),
              "Use `FStringValue::single` to create single-part f-strings");
  }
  FStringPart* two[] = {&literal, &fstring};
  const FStringValue value = FStringValue::concatenated(two);
  ASSERT_EQ(value.parts().size(), 2u);
  EXPECT_TRUE(value.parts()[0]->is<StringLiteral>());
  EXPECT_TRUE(value.parts()[1]->is<FString>());
}

TEST(LiteralValueTest, InvalidStringLiteralPart) {
  const StringLiteral part = StringLiteral::invalid(TextRange(5, 9));
  EXPECT_EQ(part.value, "");
  EXPECT_EQ(part.range, TextRange(5, 9));
  EXPECT_EQ(part.flags.bits(), StringLiteralFlags::kInvalid);
  EXPECT_EQ(part.node_index.load(), AtomicNodeIndex::kNone);
}

TEST(LiteralValueTest, NumberValuesKeepTheirKind) {
  const auto integer = NumberLiteralValue::integer(Int::small(255));
  ASSERT_NE(integer.as_int(), nullptr);
  EXPECT_EQ(integer.as_int()->small_value(), 255u);
  EXPECT_EQ(integer.as_float(), nullptr);
  const auto big =
      NumberLiteralValue::integer(Int::big("0x1_0000_0000_0000_0000"));
  ASSERT_NE(big.as_int(), nullptr);
  EXPECT_EQ(big.as_int()->big_text(), "0x1_0000_0000_0000_0000");
  const auto real = NumberLiteralValue::floating(1.5);
  ASSERT_NE(real.as_float(), nullptr);
  EXPECT_EQ(*real.as_float(), 1.5);
  EXPECT_EQ(real.as_complex(), nullptr);
  const auto imaginary = NumberLiteralValue::complex(0, 2);
  ASSERT_NE(imaginary.as_complex(), nullptr);
  EXPECT_EQ(imaginary.as_complex()->real, 0);
  EXPECT_EQ(imaginary.as_complex()->imag, 2);
  EXPECT_EQ(imaginary.as_int(), nullptr);
}

// Usable with the standard range algorithms, and lazy: a view of the node.
static_assert(std::ranges::forward_range<ParameterRange>);
static_assert(sizeof(ParameterRange) == sizeof(void*));

// The names Parameters::iter yields, with "=" after those with a default.
std::string iterate(const Parameters& parameters) {
  std::string out;
  for (const ParameterRef ref : parameters.iter()) {
    out += std::string(ref.parameter->name.id.as_str());
    if (ref.default_value() != nullptr) {
      out += "=";
    }
    out += " ";
  }
  return out;
}

TEST(ParametersTest, IterYieldsEveryParameterInOrder) {
  struct Case {
    std::string_view name;
    std::vector<std::string_view> posonly = {};
    std::vector<std::string_view> args = {};
    std::string_view vararg = {};
    std::vector<std::string_view> kwonly = {};
    std::string_view kwarg = {};
    std::string_view expected;
  };
  // Names ending in "=" have a default.
  const Case cases[] = {
      {.name = "def f(a, /, b, *c, d=1, **e)",
       .posonly = {"a"},
       .args = {"b"},
       .vararg = "c",
       .kwonly = {"d="},
       .kwarg = "e",
       .expected = "a b c d= e "},
      {.name = "def f()", .expected = ""},
      {.name = "def f(*, a, b=2)", .kwonly = {"a", "b="}, .expected = "a b= "},
      {.name = "def f(a=1, /, **k)",
       .posonly = {"a="},
       .kwarg = "k",
       .expected = "a= k "},
      {.name = "def f(*args)", .vararg = "args", .expected = "args "},
      {.name = "def f(a, b=1, c=2)",
       .args = {"a", "b=", "c="},
       .expected = "a b= c= "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder b;
    auto entries = [&b](const std::vector<std::string_view>& names) {
      std::vector<ParameterWithDefault> out(names.size());
      for (std::size_t i = 0; i < names.size(); ++i) {
        std::string_view name = names[i];
        if (name.ends_with('=')) {
          name.remove_suffix(1);
          out[i].default_value = b.name("1", 0);
        }
        out[i].parameter.name = b.identifier(name, 0);
      }
      return b.arena.copy_list(std::span<const ParameterWithDefault>(out));
    };
    auto single = [&b](std::string_view name) -> Parameter* {
      if (name.empty()) {
        return nullptr;
      }
      auto* parameter =
          b.make<Parameter>(0, static_cast<TextSize>(name.size()));
      parameter->name = b.identifier(name, 0);
      return parameter;
    };
    Parameters parameters;
    parameters.posonlyargs = entries(c.posonly);
    parameters.args = entries(c.args);
    parameters.vararg = single(c.vararg);
    parameters.kwonlyargs = entries(c.kwonly);
    parameters.kwarg = single(c.kwarg);
    EXPECT_EQ(iterate(parameters), c.expected);
  }
}

}  // namespace
}  // namespace divu
