#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>

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
// expression, statement or pattern is a Child, a pointer (optional children
// are null when absent); a list is a List, a std::span into the arena,
// holding pointers for lists of closed sets and records in place otherwise;
// a text is a std::string_view into the source or the arena. Everything a
// tree points to lives as long as its arena and its source text.
//
// Fields: each record lists all its fields once, in order, with DIVU_FIELDS
// beside their declarations. Every walk over the tree (node_children.h) and
// the tree dump read a record's children from that list, and a compile-time
// check there (node_children.cpp) fails when a record has a field its list
// leaves out.
//
// Construction: the parser is the only builder. It makes a record in the
// arena (its kind is set by the record's type), fills its fields, and never
// changes a node once the parse is finished; readers get the tree as const
// and may read it from any number of threads. Child and List carry the
// const-ness of the node that holds them to the nodes they point to, so a
// const tree hands out only const nodes and cannot be changed through.

namespace divu {

// A pointer to a child that passes on the const-ness of its holder: through
// a const Child, only a const T. A copy of the handle is the builder's tool
// (records are copied into lists whole); readers take the node, not the
// handle.
template <class T>
class Child {
 public:
  using element_type = T;

  Child() = default;
  Child(T* node) : node_(node) {}  // NOLINT(google-explicit-constructor)

  T* get() { return node_; }
  const T* get() const { return node_; }
  operator T*() { return node_; }              // NOLINT
  operator const T*() const { return node_; }  // NOLINT
  T* operator->() { return node_; }
  const T* operator->() const { return node_; }
  T& operator*() { return *node_; }
  const T& operator*() const { return *node_; }
  friend bool operator==(const Child& child, std::nullptr_t) {
    return child.node_ == nullptr;
  }

 private:
  T* node_ = nullptr;
};

// A list in the arena that passes on the const-ness of its holder: a const
// List<Stmt*> is a range of, and converts to, std::span<const Stmt* const>,
// a const List<Keyword> to std::span<const Keyword>. Copied like a Child, by
// the builder.
template <class T>
class List {
 public:
  using value_type = T;
  using ConstElement =
      std::conditional_t<std::is_pointer_v<T>,
                         const std::remove_pointer_t<T>* const, const T>;

  List() = default;
  List(std::span<T> items) : items_(items) {}  // NOLINT

  std::span<T> get() { return items_; }
  std::span<ConstElement> get() const {
    return {static_cast<ConstElement*>(items_.data()), items_.size()};
  }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  auto begin() { return get().begin(); }
  auto end() { return get().end(); }
  auto begin() const { return get().begin(); }
  auto end() const { return get().end(); }
  T& operator[](std::size_t index) { return items_[index]; }
  ConstElement& operator[](std::size_t index) const { return get()[index]; }
  T& front() { return items_.front(); }
  ConstElement& front() const { return get().front(); }
  T& back() { return items_.back(); }
  ConstElement& back() const { return get().back(); }

 private:
  std::span<T> items_;
};

// Inside a record: lists the record's own fields, every one in order of
// declaration, as fields(), a tuple of references (const in a const
// record). Walks take the children from it.
#define DIVU_FIELDS(...)                          \
  auto fields() { return std::tie(__VA_ARGS__); } \
  auto fields() const { return std::tie(__VA_ARGS__); }

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

  // A record without fields of its own; the others hide these.
  std::tuple<> fields() const { return {}; }
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
  DIVU_FIELDS(id)

  // False only for the empty placeholder.
  bool is_valid() const { return !id.empty(); }
};

static_assert(sizeof(Identifier) == 32);

// One `elif` (with a test) or the `else` (without) of an if statement.
struct ElifElseClause : NodeOf<NodeKind::ElifElseClause, Node> {
  Child<Expr> test;  // optional
  List<Stmt*> body;
  DIVU_FIELDS(test, body)
};

struct WithItem : NodeOf<NodeKind::WithItem, Node> {
  Child<Expr> context_expr;
  Child<Expr> optional_vars;  // optional: the target after `as`
  DIVU_FIELDS(context_expr, optional_vars)
};

struct MatchCase : NodeOf<NodeKind::MatchCase, Node> {
  Child<Pattern> pattern;
  Child<Expr> guard;  // optional: after `if`
  List<Stmt*> body;
  DIVU_FIELDS(pattern, guard, body)
};

// One name of an import: a dotted name or "*", and the name after `as`.
struct Alias : NodeOf<NodeKind::Alias, Node> {
  Identifier name;
  Child<Identifier> asname;  // optional
  DIVU_FIELDS(name, asname)
};

struct Decorator : NodeOf<NodeKind::Decorator, Node> {
  Child<Expr> expression;  // everything after the at sign
  DIVU_FIELDS(expression)
};

struct Parameter : NodeOf<NodeKind::Parameter, Node> {
  Identifier name;
  Child<Expr> annotation;  // optional: after ":"
  DIVU_FIELDS(name, annotation)
};

struct ParameterWithDefault : NodeOf<NodeKind::ParameterWithDefault, Node> {
  Parameter parameter;
  Child<Expr> default_value;  // optional: after "=" (`default`)
  DIVU_FIELDS(parameter, default_value)
};

// One parameter in the order of Parameters::iter: its Parameter, and the
// list entry holding it (null for the "*" and "**" parameters).
struct ParameterRef {
  const Parameter* parameter = nullptr;
  const ParameterWithDefault* with_default = nullptr;

  // The default value, or null.
  const Expr* default_value() const {
    return with_default != nullptr ? with_default->default_value.get()
                                   : nullptr;
  }
};

class ParameterRange;

// The parameters of a function or lambda.
struct Parameters : NodeOf<NodeKind::Parameters, Node> {
  List<ParameterWithDefault> posonlyargs;  // before "/"
  List<ParameterWithDefault> args;
  Child<Parameter> vararg;  // optional: the "*" parameter
  List<ParameterWithDefault> kwonlyargs;
  Child<Parameter> kwarg;  // optional: the "**" parameter
  DIVU_FIELDS(posonlyargs, args, vararg, kwonlyargs, kwarg)

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
  List<TypeParam*> type_params;
  DIVU_FIELDS(type_params)
};

struct TypeParamTypeVar : NodeOf<NodeKind::TypeParamTypeVar, TypeParam> {
  Identifier name;
  Child<Expr> bound;          // optional
  Child<Expr> default_value;  // optional (`default`)
  DIVU_FIELDS(name, bound, default_value)
};

// Written with "*".
struct TypeParamTypeVarTuple
    : NodeOf<NodeKind::TypeParamTypeVarTuple, TypeParam> {
  Identifier name;
  Child<Expr> default_value;  // optional (`default`)
  DIVU_FIELDS(name, default_value)
};

// Written with "**".
struct TypeParamParamSpec : NodeOf<NodeKind::TypeParamParamSpec, TypeParam> {
  Identifier name;
  Child<Expr> default_value;  // optional (`default`)
  DIVU_FIELDS(name, default_value)
};

// A keyword argument, or a "**" argument (without `arg`).
struct Keyword : NodeOf<NodeKind::Keyword, Node> {
  Child<Identifier> arg;  // optional
  Child<Expr> value;
  DIVU_FIELDS(arg, value)
};

// The arguments of a call or the bases of a class. Which positional argument
// came before which keyword is told only by their ranges.
struct Arguments : NodeOf<NodeKind::Arguments, Node> {
  List<Expr*> args;  // positional and starred, in source order
  List<Keyword> keywords;
  DIVU_FIELDS(args, keywords)
};

struct ExceptHandlerExceptHandler
    : NodeOf<NodeKind::ExceptHandlerExceptHandler, ExceptHandler> {
  Child<Expr> type;        // optional: absent for a bare except
  Child<Identifier> name;  // optional: after `as`
  List<Stmt*> body;
  DIVU_FIELDS(type, name, body)
};

// ---------------------------------------------------------------------------
// Modules.

struct ModModule : NodeOf<NodeKind::ModModule, Mod> {
  List<Stmt*> body;
  DIVU_FIELDS(body)
};

struct ModExpression : NodeOf<NodeKind::ModExpression, Mod> {
  Child<Expr> body;
  DIVU_FIELDS(body)
};

// ---------------------------------------------------------------------------
// Statements.

struct StmtFunctionDef : NodeOf<NodeKind::StmtFunctionDef, Stmt> {
  bool is_async = false;
  List<Decorator> decorator_list;
  Identifier name;
  Child<TypeParams> type_params;  // optional
  Child<Parameters> parameters;
  Child<Expr> returns;  // optional: after "->"
  List<Stmt*> body;
  DIVU_FIELDS(is_async, decorator_list, name, type_params, parameters, returns,
              body)
};

struct StmtClassDef : NodeOf<NodeKind::StmtClassDef, Stmt> {
  List<Decorator> decorator_list;
  Identifier name;
  Child<TypeParams> type_params;  // optional
  Child<Arguments> arguments;     // optional: absent without parentheses
  List<Stmt*> body;
  DIVU_FIELDS(decorator_list, name, type_params, arguments, body)
};

struct StmtReturn : NodeOf<NodeKind::StmtReturn, Stmt> {
  Child<Expr> value;  // optional
  DIVU_FIELDS(value)
};

struct StmtDelete : NodeOf<NodeKind::StmtDelete, Stmt> {
  List<Expr*> targets;
  DIVU_FIELDS(targets)
};

struct StmtTypeAlias : NodeOf<NodeKind::StmtTypeAlias, Stmt> {
  Child<Expr> name;               // a name expression
  Child<TypeParams> type_params;  // optional
  Child<Expr> value;
  DIVU_FIELDS(name, type_params, value)
};

struct StmtAssign : NodeOf<NodeKind::StmtAssign, Stmt> {
  List<Expr*> targets;  // one per "=", left to right
  Child<Expr> value;
  DIVU_FIELDS(targets, value)
};

struct StmtAugAssign : NodeOf<NodeKind::StmtAugAssign, Stmt> {
  Child<Expr> target;
  Operator op = Operator::Add;
  Child<Expr> value;
  DIVU_FIELDS(target, op, value)
};

struct StmtAnnAssign : NodeOf<NodeKind::StmtAnnAssign, Stmt> {
  Child<Expr> target;
  Child<Expr> annotation;
  Child<Expr> value;  // optional
  // The target is a name expression not written in parentheses.
  bool simple = false;
  DIVU_FIELDS(target, annotation, value, simple)
};

struct StmtFor : NodeOf<NodeKind::StmtFor, Stmt> {
  bool is_async = false;
  Child<Expr> target;
  Child<Expr> iter;
  List<Stmt*> body;
  List<Stmt*> orelse;  // the else block; empty when absent
  DIVU_FIELDS(is_async, target, iter, body, orelse)
};

struct StmtWhile : NodeOf<NodeKind::StmtWhile, Stmt> {
  Child<Expr> test;
  List<Stmt*> body;
  List<Stmt*> orelse;
  DIVU_FIELDS(test, body, orelse)
};

struct StmtIf : NodeOf<NodeKind::StmtIf, Stmt> {
  Child<Expr> test;
  List<Stmt*> body;
  // Each `elif` in order, then the `else` if any.
  List<ElifElseClause> elif_else_clauses;
  DIVU_FIELDS(test, body, elif_else_clauses)
};

struct StmtWith : NodeOf<NodeKind::StmtWith, Stmt> {
  bool is_async = false;
  List<WithItem> items;
  List<Stmt*> body;
  DIVU_FIELDS(is_async, items, body)
};

struct StmtMatch : NodeOf<NodeKind::StmtMatch, Stmt> {
  Child<Expr> subject;
  List<MatchCase> cases;
  DIVU_FIELDS(subject, cases)
};

struct StmtRaise : NodeOf<NodeKind::StmtRaise, Stmt> {
  Child<Expr> exc;    // optional
  Child<Expr> cause;  // optional: after `from`
  DIVU_FIELDS(exc, cause)
};

struct StmtTry : NodeOf<NodeKind::StmtTry, Stmt> {
  List<Stmt*> body;
  List<ExceptHandler*> handlers;
  List<Stmt*> orelse;
  List<Stmt*> finalbody;
  bool is_star = false;  // the handlers are written `except*`
  DIVU_FIELDS(body, handlers, orelse, finalbody, is_star)
};

struct StmtAssert : NodeOf<NodeKind::StmtAssert, Stmt> {
  Child<Expr> test;
  Child<Expr> msg;  // optional
  DIVU_FIELDS(test, msg)
};

struct StmtImport : NodeOf<NodeKind::StmtImport, Stmt> {
  List<Alias> names;
  DIVU_FIELDS(names)
};

struct StmtImportFrom : NodeOf<NodeKind::StmtImportFrom, Stmt> {
  // The dotted module name; absent in `from . import x`.
  Child<Identifier> module;
  List<Alias> names;
  std::uint32_t level = 0;  // the number of leading dots
  DIVU_FIELDS(module, names, level)
};

struct StmtGlobal : NodeOf<NodeKind::StmtGlobal, Stmt> {
  List<Identifier> names;
  DIVU_FIELDS(names)
};

struct StmtNonlocal : NodeOf<NodeKind::StmtNonlocal, Stmt> {
  List<Identifier> names;
  DIVU_FIELDS(names)
};

struct StmtExpr : NodeOf<NodeKind::StmtExpr, Stmt> {
  Child<Expr> value;
  DIVU_FIELDS(value)
};

struct StmtPass : NodeOf<NodeKind::StmtPass, Stmt> {};
struct StmtBreak : NodeOf<NodeKind::StmtBreak, Stmt> {};
struct StmtContinue : NodeOf<NodeKind::StmtContinue, Stmt> {};

struct StmtIpyEscapeCommand : NodeOf<NodeKind::StmtIpyEscapeCommand, Stmt> {
  IpyEscapeKind kind = IpyEscapeKind::Shell;
  std::string_view value;  // the command
  DIVU_FIELDS(kind, value)
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
  std::span<const Part* const> parts() const {
    const std::span<Part* const> parts = parts_of(single_, concatenated_);
    return {parts.data(), parts.size()};
  }
  std::span<Part* const> parts() { return parts_of(single_, concatenated_); }

 private:
  static std::span<Part* const> parts_of(Part* const& single,
                                         std::span<Part* const> concatenated) {
    if (concatenated.empty()) {
      return {&single, single != nullptr ? 1u : 0u};
    }
    return concatenated;
  }

  Part* single_ = nullptr;
  std::span<Part* const> concatenated_;
};

// One string literal token: the whole token's range, its decoded text.
struct StringLiteral : NodeOf<NodeKind::StringLiteral, FStringPart> {
  std::string_view value;
  StringLiteralFlags flags;
  DIVU_FIELDS(value, flags)

  // The placeholder part that stands in a string concatenation for a part of
  // another kind: empty text, only the invalid mark.
  static StringLiteral invalid(TextRange range);
};

struct BytesLiteral : NodeOf<NodeKind::BytesLiteral, Node> {
  std::string_view value;  // the decoded bytes
  BytesLiteralFlags flags;
  DIVU_FIELDS(value, flags)
};

// One f-string token sequence.
struct FString : NodeOf<NodeKind::FString, FStringPart> {
  List<InterpolatedStringElement*> elements;
  FStringFlags flags;
  DIVU_FIELDS(elements, flags)
};

// One t-string token sequence.
struct TString : NodeOf<NodeKind::TString, Node> {
  List<InterpolatedStringElement*> elements;
  TStringFlags flags;
  DIVU_FIELDS(elements, flags)
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
  DIVU_FIELDS(value)
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
  List<InterpolatedStringElement*> elements;
  DIVU_FIELDS(elements)
};

struct InterpolatedStringElementInterpolation
    : NodeOf<NodeKind::InterpolatedStringElementInterpolation,
             InterpolatedStringElement> {
  Child<Expr> expression;
  Child<DebugText> debug_text;  // optional
  ConversionFlag conversion = ConversionFlag::None;
  Child<InterpolatedStringFormatSpec> format_spec;  // optional
  DIVU_FIELDS(expression, debug_text, conversion, format_spec)
};

// ---------------------------------------------------------------------------
// Expressions.

struct ExprBoolOp : NodeOf<NodeKind::ExprBoolOp, Expr> {
  BoolOp op = BoolOp::And;
  List<Expr*> values;  // the operands, left to right
  DIVU_FIELDS(op, values)
};

// An assignment expression, written with ":=".
struct ExprNamed : NodeOf<NodeKind::ExprNamed, Expr> {
  Child<Expr> target;
  Child<Expr> value;
  DIVU_FIELDS(target, value)
};

struct ExprBinOp : NodeOf<NodeKind::ExprBinOp, Expr> {
  Child<Expr> left;
  Operator op = Operator::Add;
  Child<Expr> right;
  DIVU_FIELDS(left, op, right)
};

struct ExprUnaryOp : NodeOf<NodeKind::ExprUnaryOp, Expr> {
  UnaryOp op = UnaryOp::Invert;
  Child<Expr> operand;
  DIVU_FIELDS(op, operand)
};

struct ExprLambda : NodeOf<NodeKind::ExprLambda, Expr> {
  // Optional: absent when the colon follows the keyword directly.
  Child<Parameters> parameters;
  Child<Expr> body;
  DIVU_FIELDS(parameters, body)
};

struct ExprIf : NodeOf<NodeKind::ExprIf, Expr> {
  Child<Expr> test;
  Child<Expr> body;  // the value when the test holds
  Child<Expr> orelse;
  DIVU_FIELDS(test, body, orelse)
};

// One entry of a dictionary display. No range of its own.
struct DictItem {
  Child<Expr> key;  // optional: absent for a "**" entry
  Child<Expr> value;
  DIVU_FIELDS(key, value)
};

struct ExprDict : NodeOf<NodeKind::ExprDict, Expr> {
  List<DictItem> items;
  DIVU_FIELDS(items)
};

struct ExprSet : NodeOf<NodeKind::ExprSet, Expr> {
  List<Expr*> elts;
  DIVU_FIELDS(elts)
};

// One `for` clause of a comprehension or generator.
struct Comprehension : NodeOf<NodeKind::Comprehension, Node> {
  Child<Expr> target;
  Child<Expr> iter;
  List<Expr*> ifs;
  bool is_async = false;
  DIVU_FIELDS(target, iter, ifs, is_async)
};

struct ExprListComp : NodeOf<NodeKind::ExprListComp, Expr> {
  Child<Expr> elt;
  List<Comprehension> generators;
  DIVU_FIELDS(elt, generators)
};

struct ExprSetComp : NodeOf<NodeKind::ExprSetComp, Expr> {
  Child<Expr> elt;
  List<Comprehension> generators;
  DIVU_FIELDS(elt, generators)
};

struct ExprDictComp : NodeOf<NodeKind::ExprDictComp, Expr> {
  Child<Expr> key;
  Child<Expr> value;
  List<Comprehension> generators;
  DIVU_FIELDS(key, value, generators)
};

struct ExprGenerator : NodeOf<NodeKind::ExprGenerator, Expr> {
  Child<Expr> elt;
  List<Comprehension> generators;
  // Written inside parentheses of its own.
  bool parenthesized = false;
  DIVU_FIELDS(elt, generators, parenthesized)
};

struct ExprAwait : NodeOf<NodeKind::ExprAwait, Expr> {
  Child<Expr> value;
  DIVU_FIELDS(value)
};

struct ExprYield : NodeOf<NodeKind::ExprYield, Expr> {
  Child<Expr> value;  // optional
  DIVU_FIELDS(value)
};

struct ExprYieldFrom : NodeOf<NodeKind::ExprYieldFrom, Expr> {
  Child<Expr> value;
  DIVU_FIELDS(value)
};

// A comparison chain: `a < b < c` has two ops and two comparators.
struct ExprCompare : NodeOf<NodeKind::ExprCompare, Expr> {
  Child<Expr> left;
  List<CmpOp> ops;
  List<Expr*> comparators;  // as many as ops
  DIVU_FIELDS(left, ops, comparators)
};

struct ExprCall : NodeOf<NodeKind::ExprCall, Expr> {
  Child<Expr> func;
  Arguments arguments;
  DIVU_FIELDS(func, arguments)
};

struct ExprFString : NodeOf<NodeKind::ExprFString, Expr> {
  FStringValue value;
  DIVU_FIELDS(value)
};

struct ExprTString : NodeOf<NodeKind::ExprTString, Expr> {
  TStringValue value;
  DIVU_FIELDS(value)
};

struct ExprStringLiteral : NodeOf<NodeKind::ExprStringLiteral, Expr> {
  StringLiteralValue value;
  DIVU_FIELDS(value)
};

struct ExprBytesLiteral : NodeOf<NodeKind::ExprBytesLiteral, Expr> {
  BytesLiteralValue value;
  DIVU_FIELDS(value)
};

struct ExprNumberLiteral : NodeOf<NodeKind::ExprNumberLiteral, Expr> {
  NumberLiteralValue value;
  DIVU_FIELDS(value)
};

struct ExprBooleanLiteral : NodeOf<NodeKind::ExprBooleanLiteral, Expr> {
  bool value = false;
  DIVU_FIELDS(value)
};

struct ExprNoneLiteral : NodeOf<NodeKind::ExprNoneLiteral, Expr> {};
struct ExprEllipsisLiteral : NodeOf<NodeKind::ExprEllipsisLiteral, Expr> {};

struct ExprAttribute : NodeOf<NodeKind::ExprAttribute, Expr> {
  Child<Expr> value;
  Identifier attr;
  ExprContext ctx = ExprContext::Load;
  DIVU_FIELDS(value, attr, ctx)
};

struct ExprSubscript : NodeOf<NodeKind::ExprSubscript, Expr> {
  Child<Expr> value;
  Child<Expr> slice;  // an ExprSlice, a tuple or any expression
  ExprContext ctx = ExprContext::Load;
  DIVU_FIELDS(value, slice, ctx)
};

struct ExprStarred : NodeOf<NodeKind::ExprStarred, Expr> {
  Child<Expr> value;
  ExprContext ctx = ExprContext::Load;
  DIVU_FIELDS(value, ctx)
};

struct ExprName : NodeOf<NodeKind::ExprName, Expr> {
  Name id;
  ExprContext ctx = ExprContext::Load;
  DIVU_FIELDS(id, ctx)
};

struct ExprList : NodeOf<NodeKind::ExprList, Expr> {
  List<Expr*> elts;
  ExprContext ctx = ExprContext::Load;
  DIVU_FIELDS(elts, ctx)
};

struct ExprTuple : NodeOf<NodeKind::ExprTuple, Expr> {
  List<Expr*> elts;
  ExprContext ctx = ExprContext::Load;
  bool parenthesized = false;  // written in parentheses
  DIVU_FIELDS(elts, ctx, parenthesized)
};

struct ExprSlice : NodeOf<NodeKind::ExprSlice, Expr> {
  Child<Expr> lower;  // optional
  Child<Expr> upper;  // optional
  Child<Expr> step;   // optional
  DIVU_FIELDS(lower, upper, step)
};

struct ExprIpyEscapeCommand : NodeOf<NodeKind::ExprIpyEscapeCommand, Expr> {
  IpyEscapeKind kind = IpyEscapeKind::Shell;
  std::string_view value;
  DIVU_FIELDS(kind, value)
};

// ---------------------------------------------------------------------------
// Patterns.

// A literal or a dotted name.
struct PatternMatchValue : NodeOf<NodeKind::PatternMatchValue, Pattern> {
  Child<Expr> value;
  DIVU_FIELDS(value)
};

struct PatternMatchSingleton
    : NodeOf<NodeKind::PatternMatchSingleton, Pattern> {
  Singleton value = Singleton::None;
  DIVU_FIELDS(value)
};

struct PatternMatchSequence : NodeOf<NodeKind::PatternMatchSequence, Pattern> {
  List<Pattern*> patterns;
  DIVU_FIELDS(patterns)
};

struct PatternMatchMapping : NodeOf<NodeKind::PatternMatchMapping, Pattern> {
  List<Expr*> keys;
  List<Pattern*> patterns;  // paired with keys by position
  Child<Identifier> rest;   // optional: the "**" capture
  DIVU_FIELDS(keys, patterns, rest)
};

struct PatternKeyword : NodeOf<NodeKind::PatternKeyword, Node> {
  Identifier attr;
  Child<Pattern> pattern;
  DIVU_FIELDS(attr, pattern)
};

struct PatternArguments : NodeOf<NodeKind::PatternArguments, Node> {
  List<Pattern*> patterns;  // positional
  List<PatternKeyword> keywords;
  DIVU_FIELDS(patterns, keywords)
};

struct PatternMatchClass : NodeOf<NodeKind::PatternMatchClass, Pattern> {
  Child<Expr> cls;
  PatternArguments arguments;
  DIVU_FIELDS(cls, arguments)
};

struct PatternMatchStar : NodeOf<NodeKind::PatternMatchStar, Pattern> {
  Child<Identifier> name;  // optional: absent for the wildcard
  DIVU_FIELDS(name)
};

// The wildcard `_` has neither pattern nor name.
struct PatternMatchAs : NodeOf<NodeKind::PatternMatchAs, Pattern> {
  Child<Pattern> pattern;  // optional
  Child<Identifier> name;  // optional
  DIVU_FIELDS(pattern, name)
};

struct PatternMatchOr : NodeOf<NodeKind::PatternMatchOr, Pattern> {
  List<Pattern*> patterns;  // the alternatives
  DIVU_FIELDS(patterns)
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
