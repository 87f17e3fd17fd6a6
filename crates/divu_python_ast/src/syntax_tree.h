#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "int_value.h"
#include "ipy_escape_kind.h"
#include "name.h"
#include "node_index.h"
#include "node_kind.h"
#include "string_flags.h"
#include "text_size.h"

// The syntax tree of a Python module.
//
// Representation: every node record derives from Node, the common header of
// its kind, node index and range; a record's own fields follow in the order
// the language's grammar gives them (dumps follow that order). The closed
// sets of node types (Stmt, Expr, Pattern, ...) are base types whose variant
// is told by the kind; `is<T>()`, `as<T>()` and `dyn_cast<T>()` check it.
//
// Memory: nodes live in the Arena of their parse (arena.h) and are never
// destroyed one by one, so every node type is trivially destructible. A child
// expression, statement or pattern is a pointer (optional children are null
// when absent); a list is a std::span into the arena, holding pointers for
// lists of closed sets and records in place otherwise; a text is a
// std::string_view into the source or the arena. Everything a tree points to
// lives as long as its arena and its source text.
//
// Construction: the parser is the only builder. It makes a record in the
// arena (its kind is set by the record's type), fills its fields, and never
// changes a node once the parse is finished; readers get the tree as const
// and may read it from any number of threads.

namespace divu {

// The common header of every node.
class Node {
 public:
  NodeKind kind() const { return kind_; }

  // The node's index; kNone everywhere (see AtomicNodeIndex).
  AtomicNodeIndex node_index;
  // The bytes of source the node covers.
  TextRange range;

  // True when the node is a T (a record type or one of the closed sets).
  template <class T>
  bool is() const {
    return T::classof(kind_);
  }
  // The node as a T. REQUIRES: is<T>(); otherwise a broken invariant.
  template <class T>
  const T& as() const {
    if (!is<T>()) [[unlikely]] {
      fail_cast(T::kTypeName);
    }
    return static_cast<const T&>(*this);
  }
  template <class T>
  T& as() {
    if (!is<T>()) [[unlikely]] {
      fail_cast(T::kTypeName);
    }
    return static_cast<T&>(*this);
  }
  // The node as a T, or null when it is not one.
  template <class T>
  const T* dyn_cast() const {
    return is<T>() ? static_cast<const T*>(this) : nullptr;
  }
  template <class T>
  T* dyn_cast() {
    return is<T>() ? static_cast<T*>(this) : nullptr;
  }

  static constexpr std::string_view kTypeName = "Node";
  static constexpr bool classof(NodeKind) { return true; }

 protected:
  explicit Node(NodeKind kind) : kind_(kind) {}
  // Only whole records are copied: copying a Node or a set type alone would
  // slice the record off.
  Node(const Node&) = default;
  Node& operator=(const Node&) = default;

 private:
  [[noreturn]] void fail_cast(std::string_view expected) const;

  NodeKind kind_;
};

static_assert(sizeof(Node) == 16);

// The base of the variants of one closed set of node types, and the type
// through which they are held (see the aliases below).
template <NodeSet Set>
class NodeSetOf : public Node {
 public:
  static constexpr std::string_view kTypeName = node_set_name(Set);
  static constexpr bool classof(NodeKind kind) { return node_set(kind) == Set; }

 protected:
  using Node::Node;
  NodeSetOf(const NodeSetOf&) = default;
  NodeSetOf& operator=(const NodeSetOf&) = default;
};

// The base of a record of kind K, a variant of Base (a closed set, or Node
// for a record of its own). Sets the kind.
template <NodeKind K, class Base>
class NodeOf : public Base {
 public:
  static constexpr NodeKind kKind = K;
  static constexpr std::string_view kTypeName = node_kind_name(K);
  static constexpr bool classof(NodeKind kind) { return kind == K; }

  static_assert(Base::classof(K), "node_kind.def puts K in another set");

  NodeOf() : Base(K) {}
};

// The closed sets.
using Mod = NodeSetOf<NodeSet::Mod>;
using Stmt = NodeSetOf<NodeSet::Stmt>;
using Expr = NodeSetOf<NodeSet::Expr>;
using Pattern = NodeSetOf<NodeSet::Pattern>;
using TypeParam = NodeSetOf<NodeSet::TypeParam>;
// A single-variant set: its one record is ExceptHandlerExceptHandler.
using ExceptHandler = NodeSetOf<NodeSet::ExceptHandler>;
using InterpolatedStringElement = NodeSetOf<NodeSet::InterpolatedStringElement>;
// A part of an f-string value: a StringLiteral or an FString.
using FStringPart = NodeSetOf<NodeSet::FStringPart>;

// ---------------------------------------------------------------------------
// Operators and small enumerations.

// What an expression is to its context. `Invalid` marks a name expression
// that stands for a missing name (its id is empty).
enum class ExprContext : std::uint8_t { Load, Store, Del, Invalid };

enum class BoolOp : std::uint8_t { And, Or };

// Binary operators; augmented assignments use the same values. The
// enumerator Mod is scoped, so it never hides the node set Mod where code
// names either; -Wshadow warns all the same, and both names are the ones the
// tree's users know, so the warning is silenced for this enum alone.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
enum class Operator : std::uint8_t {
  Add,       // +
  Sub,       // -
  Mult,      // *
  MatMult,   // @
  Div,       // /
  Mod,       // %
  Pow,       // **
  LShift,    // <<
  RShift,    // >>
  BitOr,     // |
  BitXor,    // ^
  BitAnd,    // &
  FloorDiv,  // //
};
#pragma GCC diagnostic pop

enum class UnaryOp : std::uint8_t { Invert, Not, UAdd, USub };

// The display text of a unary operator: "~", "not", "+" or "-".
std::string_view to_string(UnaryOp op);

enum class CmpOp : std::uint8_t {
  Eq,     // ==
  NotEq,  // !=
  Lt,     // <
  LtE,    // <=
  Gt,     // >
  GtE,    // >=
  Is,     // is
  IsNot,  // is not
  In,     // in
  NotIn,  // not in
};

// The conversion of an interpolation: none, "!s", "!r" or "!a", stored as
// -1 or the character code of the conversion letter.
enum class ConversionFlag : std::int8_t {
  None = -1,
  Str = 's',
  Repr = 'r',
  Ascii = 'a',
};

// The value of a singleton pattern.
enum class Singleton : std::uint8_t { None, True, False };

// ---------------------------------------------------------------------------
// Identifiers and clauses.

// The name of a function, class, parameter, attribute, keyword argument,
// import or capture. For a dotted module name of an import, the whole dotted
// text; for the star of a star import, "*". An empty id is the placeholder
// the parser puts where a name was required but missing.
struct Identifier : NodeOf<NodeKind::Identifier, Node> {
  Name id;

  // False only for the empty placeholder.
  bool is_valid() const { return !id.empty(); }
};

static_assert(sizeof(Identifier) == 32);

// One `elif` (with a test) or the `else` (without) of an if statement.
struct ElifElseClause : NodeOf<NodeKind::ElifElseClause, Node> {
  Expr* test = nullptr;  // optional
  std::span<Stmt*> body;
};

struct WithItem : NodeOf<NodeKind::WithItem, Node> {
  Expr* context_expr = nullptr;
  Expr* optional_vars = nullptr;  // optional: the target after `as`
};

struct MatchCase : NodeOf<NodeKind::MatchCase, Node> {
  Pattern* pattern = nullptr;
  Expr* guard = nullptr;  // optional: after `if`
  std::span<Stmt*> body;
};

// One name of an import: a dotted name or "*", and the name after `as`.
struct Alias : NodeOf<NodeKind::Alias, Node> {
  Identifier name;
  Identifier* asname = nullptr;  // optional
};

struct Decorator : NodeOf<NodeKind::Decorator, Node> {
  Expr* expression = nullptr;  // everything after the at sign
};

struct Parameter : NodeOf<NodeKind::Parameter, Node> {
  Identifier name;
  Expr* annotation = nullptr;  // optional: after ":"
};

struct ParameterWithDefault : NodeOf<NodeKind::ParameterWithDefault, Node> {
  Parameter parameter;
  Expr* default_value = nullptr;  // optional: after "=" (`default`)
};

// One parameter in the order of Parameters::iter: its Parameter, and the
// list entry holding it (null for the "*" and "**" parameters).
struct ParameterRef {
  const Parameter* parameter = nullptr;
  const ParameterWithDefault* with_default = nullptr;

  // The default value, or null.
  const Expr* default_value() const {
    return with_default != nullptr ? with_default->default_value : nullptr;
  }
};

class ParameterRange;

// The parameters of a function or lambda.
struct Parameters : NodeOf<NodeKind::Parameters, Node> {
  std::span<ParameterWithDefault> posonlyargs;  // before "/"
  std::span<ParameterWithDefault> args;
  Parameter* vararg = nullptr;  // optional: the "*" parameter
  std::span<ParameterWithDefault> kwonlyargs;
  Parameter* kwarg = nullptr;  // optional: the "**" parameter

  // Every parameter in order: posonlyargs, args, vararg, kwonlyargs, kwarg.
  // Computed on demand; allocates nothing.
  ParameterRange iter() const;
};

// The lazy sequence of Parameters::iter.
class ParameterRange {
 public:
  class iterator {
   public:
    using value_type = ParameterRef;
    using difference_type = std::ptrdiff_t;

    iterator() = default;
    ParameterRef operator*() const;
    iterator& operator++() {
      ++position_;
      settle();
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const iterator& a, const iterator& b) {
      return a.section_ == b.section_ && a.position_ == b.position_;
    }

   private:
    friend class ParameterRange;
    // The sections in iteration order; kEnd is past the last.
    enum Section : std::uint8_t {
      kPosOnly,
      kArgs,
      kVararg,
      kKwOnly,
      kKwarg,
      kEnd
    };
    iterator(const Parameters* parameters, Section section)
        : parameters_(parameters), section_(section) {
      settle();
    }
    std::size_t section_size() const;
    // Moves past exhausted sections.
    void settle();

    const Parameters* parameters_ = nullptr;
    Section section_ = kEnd;
    std::size_t position_ = 0;
  };

  explicit ParameterRange(const Parameters& parameters)
      : parameters_(&parameters) {}
  iterator begin() const { return {parameters_, iterator::kPosOnly}; }
  iterator end() const { return {parameters_, iterator::kEnd}; }

 private:
  const Parameters* parameters_;
};

inline ParameterRange Parameters::iter() const { return ParameterRange(*this); }

struct TypeParams : NodeOf<NodeKind::TypeParams, Node> {
  std::span<TypeParam*> type_params;
};

struct TypeParamTypeVar : NodeOf<NodeKind::TypeParamTypeVar, TypeParam> {
  Identifier name;
  Expr* bound = nullptr;          // optional
  Expr* default_value = nullptr;  // optional (`default`)
};

// Written with "*".
struct TypeParamTypeVarTuple
    : NodeOf<NodeKind::TypeParamTypeVarTuple, TypeParam> {
  Identifier name;
  Expr* default_value = nullptr;  // optional (`default`)
};

// Written with "**".
struct TypeParamParamSpec : NodeOf<NodeKind::TypeParamParamSpec, TypeParam> {
  Identifier name;
  Expr* default_value = nullptr;  // optional (`default`)
};

// A keyword argument, or a "**" argument (without `arg`).
struct Keyword : NodeOf<NodeKind::Keyword, Node> {
  Identifier* arg = nullptr;  // optional
  Expr* value = nullptr;
};

// The arguments of a call or the bases of a class. Which positional argument
// came before which keyword is told only by their ranges.
struct Arguments : NodeOf<NodeKind::Arguments, Node> {
  std::span<Expr*> args;  // positional and starred, in source order
  std::span<Keyword> keywords;
};

struct ExceptHandlerExceptHandler
    : NodeOf<NodeKind::ExceptHandlerExceptHandler, ExceptHandler> {
  Expr* type = nullptr;        // optional: absent for a bare except
  Identifier* name = nullptr;  // optional: after `as`
  std::span<Stmt*> body;
};

// ---------------------------------------------------------------------------
// Modules.

struct ModModule : NodeOf<NodeKind::ModModule, Mod> {
  std::span<Stmt*> body;
};

struct ModExpression : NodeOf<NodeKind::ModExpression, Mod> {
  Expr* body = nullptr;
};

// ---------------------------------------------------------------------------
// Statements.

struct StmtFunctionDef : NodeOf<NodeKind::StmtFunctionDef, Stmt> {
  bool is_async = false;
  std::span<Decorator> decorator_list;
  Identifier name;
  TypeParams* type_params = nullptr;  // optional
  Parameters* parameters = nullptr;
  Expr* returns = nullptr;  // optional: after "->"
  std::span<Stmt*> body;
};

struct StmtClassDef : NodeOf<NodeKind::StmtClassDef, Stmt> {
  std::span<Decorator> decorator_list;
  Identifier name;
  TypeParams* type_params = nullptr;  // optional
  Arguments* arguments = nullptr;     // optional: absent without parentheses
  std::span<Stmt*> body;
};

struct StmtReturn : NodeOf<NodeKind::StmtReturn, Stmt> {
  Expr* value = nullptr;  // optional
};

struct StmtDelete : NodeOf<NodeKind::StmtDelete, Stmt> {
  std::span<Expr*> targets;
};

struct StmtTypeAlias : NodeOf<NodeKind::StmtTypeAlias, Stmt> {
  Expr* name = nullptr;               // a name expression
  TypeParams* type_params = nullptr;  // optional
  Expr* value = nullptr;
};

struct StmtAssign : NodeOf<NodeKind::StmtAssign, Stmt> {
  std::span<Expr*> targets;  // one per "=", left to right
  Expr* value = nullptr;
};

struct StmtAugAssign : NodeOf<NodeKind::StmtAugAssign, Stmt> {
  Expr* target = nullptr;
  Operator op = Operator::Add;
  Expr* value = nullptr;
};

struct StmtAnnAssign : NodeOf<NodeKind::StmtAnnAssign, Stmt> {
  Expr* target = nullptr;
  Expr* annotation = nullptr;
  Expr* value = nullptr;  // optional
  // The target is a name expression not written in parentheses.
  bool simple = false;
};

struct StmtFor : NodeOf<NodeKind::StmtFor, Stmt> {
  bool is_async = false;
  Expr* target = nullptr;
  Expr* iter = nullptr;
  std::span<Stmt*> body;
  std::span<Stmt*> orelse;  // the else block; empty when absent
};

struct StmtWhile : NodeOf<NodeKind::StmtWhile, Stmt> {
  Expr* test = nullptr;
  std::span<Stmt*> body;
  std::span<Stmt*> orelse;
};

struct StmtIf : NodeOf<NodeKind::StmtIf, Stmt> {
  Expr* test = nullptr;
  std::span<Stmt*> body;
  // Each `elif` in order, then the `else` if any.
  std::span<ElifElseClause> elif_else_clauses;
};

struct StmtWith : NodeOf<NodeKind::StmtWith, Stmt> {
  bool is_async = false;
  std::span<WithItem> items;
  std::span<Stmt*> body;
};

struct StmtMatch : NodeOf<NodeKind::StmtMatch, Stmt> {
  Expr* subject = nullptr;
  std::span<MatchCase> cases;
};

struct StmtRaise : NodeOf<NodeKind::StmtRaise, Stmt> {
  Expr* exc = nullptr;    // optional
  Expr* cause = nullptr;  // optional: after `from`
};

struct StmtTry : NodeOf<NodeKind::StmtTry, Stmt> {
  std::span<Stmt*> body;
  std::span<ExceptHandler*> handlers;
  std::span<Stmt*> orelse;
  std::span<Stmt*> finalbody;
  bool is_star = false;  // the handlers are written `except*`
};

struct StmtAssert : NodeOf<NodeKind::StmtAssert, Stmt> {
  Expr* test = nullptr;
  Expr* msg = nullptr;  // optional
};

struct StmtImport : NodeOf<NodeKind::StmtImport, Stmt> {
  std::span<Alias> names;
};

struct StmtImportFrom : NodeOf<NodeKind::StmtImportFrom, Stmt> {
  // The dotted module name; absent in `from . import x`.
  Identifier* module = nullptr;
  std::span<Alias> names;
  std::uint32_t level = 0;  // the number of leading dots
};

struct StmtGlobal : NodeOf<NodeKind::StmtGlobal, Stmt> {
  std::span<Identifier> names;
};

struct StmtNonlocal : NodeOf<NodeKind::StmtNonlocal, Stmt> {
  std::span<Identifier> names;
};

struct StmtExpr : NodeOf<NodeKind::StmtExpr, Stmt> {
  Expr* value = nullptr;
};

struct StmtPass : NodeOf<NodeKind::StmtPass, Stmt> {};
struct StmtBreak : NodeOf<NodeKind::StmtBreak, Stmt> {};
struct StmtContinue : NodeOf<NodeKind::StmtContinue, Stmt> {};

struct StmtIpyEscapeCommand : NodeOf<NodeKind::StmtIpyEscapeCommand, Stmt> {
  IpyEscapeKind kind = IpyEscapeKind::Shell;
  std::string_view value;  // the command
};

// ---------------------------------------------------------------------------
// Literal values.

// The value of a literal made of one part or of an implicit concatenation of
// two or more. `Traits` gives the part type and the message for a
// concatenation of fewer than two parts. A plain value of 24 bytes: a single
// part is held in place, without a list.
template <class Traits>
class LiteralValue {
 public:
  using Part = typename Traits::Part;

  LiteralValue() = default;

  // The value of one literal part.
  static LiteralValue single(Part* part) {
    LiteralValue value;
    value.single_ = part;
    return value;
  }
  // Takes over `parts`. REQUIRES: at least two parts; otherwise a broken
  // invariant with the type's message.
  static LiteralValue concatenated(std::span<Part* const> parts) {
    TRELK_CHECK(parts.size() >= 2, std::string(Traits::kTooFewParts));
    LiteralValue value;
    value.concatenated_ = parts;
    return value;
  }

  bool is_implicit_concatenated() const { return !concatenated_.empty(); }
  // The parts in source order; one for a single part. The span views this
  // value for a single part, so it lives as long as the value.
  std::span<Part* const> parts() const {
    if (concatenated_.empty()) {
      return {&single_, single_ != nullptr ? 1u : 0u};
    }
    return concatenated_;
  }

 private:
  Part* single_ = nullptr;
  std::span<Part* const> concatenated_;
};

// One string literal token: the whole token's range, its decoded text.
struct StringLiteral : NodeOf<NodeKind::StringLiteral, FStringPart> {
  std::string_view value;
  StringLiteralFlags flags;

  // The placeholder part that stands in a string concatenation for a part of
  // another kind: empty text, only the invalid mark.
  static StringLiteral invalid(TextRange range);
};

struct BytesLiteral : NodeOf<NodeKind::BytesLiteral, Node> {
  std::string_view value;  // the decoded bytes
  BytesLiteralFlags flags;
};

// One f-string token sequence.
struct FString : NodeOf<NodeKind::FString, FStringPart> {
  std::span<InterpolatedStringElement*> elements;
  FStringFlags flags;
};

// One t-string token sequence.
struct TString : NodeOf<NodeKind::TString, Node> {
  std::span<InterpolatedStringElement*> elements;
  TStringFlags flags;
};

struct StringLiteralValueTraits {
  using Part = StringLiteral;
  static constexpr std::string_view kTooFewParts =
      "Use `StringLiteralValue::single` to create single-part strings";
};
struct BytesLiteralValueTraits {
  using Part = BytesLiteral;
  static constexpr std::string_view kTooFewParts =
      "Use `BytesLiteralValue::single` to create single-part bytestrings";
};
struct FStringValueTraits {
  using Part = FStringPart;
  static constexpr std::string_view kTooFewParts =
      "Use `FStringValue::single` to create single-part f-strings";
};
struct TStringValueTraits {
  using Part = TString;
  static constexpr std::string_view kTooFewParts =
      "Use `TStringValue::single` to create single-part t-strings";
};

using StringLiteralValue = LiteralValue<StringLiteralValueTraits>;
using BytesLiteralValue = LiteralValue<BytesLiteralValueTraits>;
// Parts are StringLiteral (a plain literal concatenated with f-strings) or
// FString.
using FStringValue = LiteralValue<FStringValueTraits>;
// A t-string concatenates only with t-strings.
using TStringValue = LiteralValue<TStringValueTraits>;

// The value of a number literal: an integer, a float or an imaginary
// number (whose real part the parser always sets to 0). 32 bytes.
class NumberLiteralValue {
 public:
  enum class Kind : std::uint8_t { Int, Float, Complex };

  static NumberLiteralValue integer(Int value) {
    NumberLiteralValue result(Kind::Int);
    result.storage_.int_value = value;
    return result;
  }
  static NumberLiteralValue floating(double value) {
    NumberLiteralValue result(Kind::Float);
    result.storage_.float_value = value;
    return result;
  }
  static NumberLiteralValue complex(double real, double imag) {
    NumberLiteralValue result(Kind::Complex);
    result.storage_.complex = {.real = real, .imag = imag};
    return result;
  }

  NumberLiteralValue() : NumberLiteralValue(integer(Int())) {}

  Kind kind() const { return kind_; }
  // The value of its kind, or null for another kind.
  const Int* as_int() const {
    return kind_ == Kind::Int ? &storage_.int_value : nullptr;
  }
  const double* as_float() const {
    return kind_ == Kind::Float ? &storage_.float_value : nullptr;
  }
  struct Complex {
    double real;
    double imag;
  };
  const Complex* as_complex() const {
    return kind_ == Kind::Complex ? &storage_.complex : nullptr;
  }

 private:
  explicit NumberLiteralValue(Kind kind) : kind_(kind) {}

  union Storage {
    Storage() : float_value(0) {}
    Int int_value;
    double float_value;
    Complex complex;
  };
  Kind kind_;
  Storage storage_;
};

// The literal text of an interpolated string, decoded, each doubled brace
// reduced to one.
struct InterpolatedStringElementLiteral
    : NodeOf<NodeKind::InterpolatedStringElementLiteral,
             InterpolatedStringElement> {
  std::string_view value;
};

// The source texts around the expression of a self-documenting
// interpolation (written with "="), as written. No range of its own.
struct DebugText {
  std::string_view leading;   // between the opening brace and the expression
  std::string_view trailing;  // from the expression's end through the "="
};

// The part after ":" inside the braces of an interpolation.
struct InterpolatedStringFormatSpec
    : NodeOf<NodeKind::InterpolatedStringFormatSpec, Node> {
  std::span<InterpolatedStringElement*> elements;
};

struct InterpolatedStringElementInterpolation
    : NodeOf<NodeKind::InterpolatedStringElementInterpolation,
             InterpolatedStringElement> {
  Expr* expression = nullptr;
  DebugText* debug_text = nullptr;  // optional
  ConversionFlag conversion = ConversionFlag::None;
  InterpolatedStringFormatSpec* format_spec = nullptr;  // optional
};

// ---------------------------------------------------------------------------
// Expressions.

struct ExprBoolOp : NodeOf<NodeKind::ExprBoolOp, Expr> {
  BoolOp op = BoolOp::And;
  std::span<Expr*> values;  // the operands, left to right
};

// An assignment expression, written with ":=".
struct ExprNamed : NodeOf<NodeKind::ExprNamed, Expr> {
  Expr* target = nullptr;
  Expr* value = nullptr;
};

struct ExprBinOp : NodeOf<NodeKind::ExprBinOp, Expr> {
  Expr* left = nullptr;
  Operator op = Operator::Add;
  Expr* right = nullptr;
};

struct ExprUnaryOp : NodeOf<NodeKind::ExprUnaryOp, Expr> {
  UnaryOp op = UnaryOp::Invert;
  Expr* operand = nullptr;
};

struct ExprLambda : NodeOf<NodeKind::ExprLambda, Expr> {
  // Optional: absent when the colon follows the keyword directly.
  Parameters* parameters = nullptr;
  Expr* body = nullptr;
};

struct ExprIf : NodeOf<NodeKind::ExprIf, Expr> {
  Expr* test = nullptr;
  Expr* body = nullptr;  // the value when the test holds
  Expr* orelse = nullptr;
};

// One entry of a dictionary display. No range of its own.
struct DictItem {
  Expr* key = nullptr;  // optional: absent for a "**" entry
  Expr* value = nullptr;
};

struct ExprDict : NodeOf<NodeKind::ExprDict, Expr> {
  std::span<DictItem> items;
};

struct ExprSet : NodeOf<NodeKind::ExprSet, Expr> {
  std::span<Expr*> elts;
};

// One `for` clause of a comprehension or generator.
struct Comprehension : NodeOf<NodeKind::Comprehension, Node> {
  Expr* target = nullptr;
  Expr* iter = nullptr;
  std::span<Expr*> ifs;
  bool is_async = false;
};

struct ExprListComp : NodeOf<NodeKind::ExprListComp, Expr> {
  Expr* elt = nullptr;
  std::span<Comprehension> generators;
};

struct ExprSetComp : NodeOf<NodeKind::ExprSetComp, Expr> {
  Expr* elt = nullptr;
  std::span<Comprehension> generators;
};

struct ExprDictComp : NodeOf<NodeKind::ExprDictComp, Expr> {
  Expr* key = nullptr;
  Expr* value = nullptr;
  std::span<Comprehension> generators;
};

struct ExprGenerator : NodeOf<NodeKind::ExprGenerator, Expr> {
  Expr* elt = nullptr;
  std::span<Comprehension> generators;
  // Written inside parentheses of its own.
  bool parenthesized = false;
};

struct ExprAwait : NodeOf<NodeKind::ExprAwait, Expr> {
  Expr* value = nullptr;
};

struct ExprYield : NodeOf<NodeKind::ExprYield, Expr> {
  Expr* value = nullptr;  // optional
};

struct ExprYieldFrom : NodeOf<NodeKind::ExprYieldFrom, Expr> {
  Expr* value = nullptr;
};

// A comparison chain: `a < b < c` has two ops and two comparators.
struct ExprCompare : NodeOf<NodeKind::ExprCompare, Expr> {
  Expr* left = nullptr;
  std::span<CmpOp> ops;
  std::span<Expr*> comparators;  // as many as ops
};

struct ExprCall : NodeOf<NodeKind::ExprCall, Expr> {
  Expr* func = nullptr;
  Arguments arguments;
};

struct ExprFString : NodeOf<NodeKind::ExprFString, Expr> {
  FStringValue value;
};

struct ExprTString : NodeOf<NodeKind::ExprTString, Expr> {
  TStringValue value;
};

struct ExprStringLiteral : NodeOf<NodeKind::ExprStringLiteral, Expr> {
  StringLiteralValue value;
};

struct ExprBytesLiteral : NodeOf<NodeKind::ExprBytesLiteral, Expr> {
  BytesLiteralValue value;
};

struct ExprNumberLiteral : NodeOf<NodeKind::ExprNumberLiteral, Expr> {
  NumberLiteralValue value;
};

struct ExprBooleanLiteral : NodeOf<NodeKind::ExprBooleanLiteral, Expr> {
  bool value = false;
};

struct ExprNoneLiteral : NodeOf<NodeKind::ExprNoneLiteral, Expr> {};
struct ExprEllipsisLiteral : NodeOf<NodeKind::ExprEllipsisLiteral, Expr> {};

struct ExprAttribute : NodeOf<NodeKind::ExprAttribute, Expr> {
  Expr* value = nullptr;
  Identifier attr;
  ExprContext ctx = ExprContext::Load;
};

struct ExprSubscript : NodeOf<NodeKind::ExprSubscript, Expr> {
  Expr* value = nullptr;
  Expr* slice = nullptr;  // an ExprSlice, a tuple or any expression
  ExprContext ctx = ExprContext::Load;
};

struct ExprStarred : NodeOf<NodeKind::ExprStarred, Expr> {
  Expr* value = nullptr;
  ExprContext ctx = ExprContext::Load;
};

struct ExprName : NodeOf<NodeKind::ExprName, Expr> {
  Name id;
  ExprContext ctx = ExprContext::Load;
};

struct ExprList : NodeOf<NodeKind::ExprList, Expr> {
  std::span<Expr*> elts;
  ExprContext ctx = ExprContext::Load;
};

struct ExprTuple : NodeOf<NodeKind::ExprTuple, Expr> {
  std::span<Expr*> elts;
  ExprContext ctx = ExprContext::Load;
  bool parenthesized = false;  // written in parentheses
};

struct ExprSlice : NodeOf<NodeKind::ExprSlice, Expr> {
  Expr* lower = nullptr;  // optional
  Expr* upper = nullptr;  // optional
  Expr* step = nullptr;   // optional
};

struct ExprIpyEscapeCommand : NodeOf<NodeKind::ExprIpyEscapeCommand, Expr> {
  IpyEscapeKind kind = IpyEscapeKind::Shell;
  std::string_view value;
};

// ---------------------------------------------------------------------------
// Patterns.

// A literal or a dotted name.
struct PatternMatchValue : NodeOf<NodeKind::PatternMatchValue, Pattern> {
  Expr* value = nullptr;
};

struct PatternMatchSingleton
    : NodeOf<NodeKind::PatternMatchSingleton, Pattern> {
  Singleton value = Singleton::None;
};

struct PatternMatchSequence : NodeOf<NodeKind::PatternMatchSequence, Pattern> {
  std::span<Pattern*> patterns;
};

struct PatternMatchMapping : NodeOf<NodeKind::PatternMatchMapping, Pattern> {
  std::span<Expr*> keys;
  std::span<Pattern*> patterns;  // paired with keys by position
  Identifier* rest = nullptr;    // optional: the "**" capture
};

struct PatternKeyword : NodeOf<NodeKind::PatternKeyword, Node> {
  Identifier attr;
  Pattern* pattern = nullptr;
};

struct PatternArguments : NodeOf<NodeKind::PatternArguments, Node> {
  std::span<Pattern*> patterns;  // positional
  std::span<PatternKeyword> keywords;
};

struct PatternMatchClass : NodeOf<NodeKind::PatternMatchClass, Pattern> {
  Expr* cls = nullptr;
  PatternArguments arguments;
};

struct PatternMatchStar : NodeOf<NodeKind::PatternMatchStar, Pattern> {
  Identifier* name = nullptr;  // optional: absent for the wildcard
};

// The wildcard `_` has neither pattern nor name.
struct PatternMatchAs : NodeOf<NodeKind::PatternMatchAs, Pattern> {
  Pattern* pattern = nullptr;  // optional
  Identifier* name = nullptr;  // optional
};

struct PatternMatchOr : NodeOf<NodeKind::PatternMatchOr, Pattern> {
  std::span<Pattern*> patterns;  // the alternatives
};

// ---------------------------------------------------------------------------
// Sizes of the most common nodes, kept small on purpose: a large file has
// hundreds of thousands of them.
static_assert(sizeof(ExprName) == 40);
static_assert(sizeof(ExprAttribute) == 64);
static_assert(sizeof(ExprCall) == 72);
static_assert(sizeof(ExprBinOp) == 40);
static_assert(sizeof(ExprNumberLiteral) == 48);
static_assert(sizeof(ExprStringLiteral) == 40);
static_assert(sizeof(StmtExpr) == 24);
static_assert(sizeof(StmtAssign) == 40);

}  // namespace divu
