#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "arena.h"
#include "bit_flags.h"
#include "invariant.h"
#include "lexer.h"
#include "parse_error.h"
#include "recovery.h"
#include "stack_thread.h"
#include "syntax_tree.h"
#include "token.h"
#include "token_list.h"
#include "token_set.h"
#include "unsupported_syntax.h"

// The parser's state and the operations every grammar file moves through the
// input with. The grammar itself is split by topic, one file each, all
// member functions of Parser:
//   parser.cpp             state, consuming, errors, checkpoints, lists
//   token_source.cpp       the token list over the lexer, trivia set aside
//   expressions.cpp        operators, precedence, conditional, named, lambda
//   atoms.cpp              atoms, postfix forms, arguments, displays
//   strings.cpp            string concatenation, f-strings and t-strings
//   parameters.cpp         parameter lists of functions and lambdas
//   statements.cpp         statement dispatch and blocks
//   simple_statements.cpp  assignments, imports, return, raise, ...
//   compound_statements.cpp if, while, for, try, with
//   definitions.cpp        decorators, functions, classes, type parameters
//   patterns.cpp           match statements and patterns
//   parse_module.cpp       the entries and the merge of errors
//
// Contracts shared by all of them: nothing fails on bad input. Every problem
// is recorded with add_error (or expect) and the node is built from what
// could be read. Nodes are made in the parse's arena and get their range from
// node_range(start) once their last token is consumed.

namespace divu {

struct ParseOptions {
  Mode mode = Mode::Module;
  PythonVersion target_version{3, 10};
};

// An expression with the mark that its leftmost primary was written in
// parentheses: `(a).b`, `(a) + b` are marked; `-(a)`, `(a, b)` are not.
struct ParsedExpr {
  Expr* expr = nullptr;
  bool is_parenthesized = false;
};

// What an expression may contain at the place it is read.
class ExpressionContext : public BitFlags<ExpressionContext, std::uint8_t> {
 public:
  using BitFlags::BitFlags;
  // `in` ends the expression (comprehension and for targets).
  static constexpr std::uint8_t kExcludeIn = 1;
  // `*x` may stand here.
  static constexpr std::uint8_t kAllowStarred = 2;
  // The operand of `*` is read at bitwise-or level.
  static constexpr std::uint8_t kStarredBitwiseOr = 4;
  // `yield` may stand here.
  static constexpr std::uint8_t kAllowYield = 8;
};

// The contexts expressions are read in, named by the places that use them.
// Nothing beyond a plain expression: no `*x`, no yield, `in` an operator.
inline constexpr ExpressionContext kNoContext{};
// Call arguments, subscript elements, `del` and `with` targets: `*x` may
// stand, its operand any expression.
inline constexpr ExpressionContext kArgumentContext{
    ExpressionContext::kAllowStarred};
// Display elements, match subjects, annotations, `for` iterables, return and
// yield values: `*x` may stand, its operand read at bitwise-or level.
inline constexpr ExpressionContext kElementContext{
    ExpressionContext::kAllowStarred | ExpressionContext::kStarredBitwiseOr};
// A whole value: the right of `=`, an expression statement, the first element
// in parentheses, an interpolation, an expression body. A yield may stand too.
inline constexpr ExpressionContext kValueContext{
    ExpressionContext::kAllowStarred | ExpressionContext::kStarredBitwiseOr |
    ExpressionContext::kAllowYield};
// `for` targets, of statements and comprehensions: they end in front of `in`.
inline constexpr ExpressionContext kForTargetContext{
    ExpressionContext::kExcludeIn | ExpressionContext::kAllowStarred};

// Operator levels: a higher level binds tighter (see expressions.cpp).
using OperatorPrecedence = std::uint8_t;

// The owner of a block, named in "Expected an indented block after {}".
enum class Clause : std::uint8_t {
  If,
  Else,
  Elif,
  For,
  With,
  Class,
  While,
  FunctionDef,
  Case,
  Try,
  Except,
  Finally,
};

// "`if` statement", "function definition", ...
std::string_view display_text(Clause clause);

// Which construct a parameter list belongs to.
enum class ParametersKind : std::uint8_t { FunctionDef, Lambda };

// The token list of a parse over its lexer. The grammar sees only the
// current token and never trivia (comments and non-logical newlines), which
// go into the list as they come, so the list holds every consumed token and
// the trivia before the current one.
class TokenSource {
 public:
  TokenSource(std::string_view source, Mode mode, TextSize start_offset);

  TokenKind current_kind() const { return lexer_.current_kind(); }
  TextRange current_range() const { return lexer_.current_range(); }
  TokenFlags current_flags() const { return lexer_.current_flags(); }
  TokenValue take_value() { return lexer_.take_value(); }
  const TokenValue& current_value() const { return lexer_.current_value(); }

  // Appends the current token with `kind`, then lexes up to the next
  // non-trivia token.
  void bump(TokenKind kind) {
    push_current(kind);
    if (is_trivia(lexer_.next_token())) [[unlikely]] {
      skip_trivia();
    }
  }
  // The next non-trivia token's kind, and the next two. Change nothing.
  TokenKind peek();
  std::pair<TokenKind, TokenKind> peek2();
  // Makes the line end of an abandoned bracket logical (see the lexer).
  void re_lex_logical_token();
  void re_lex_raw_string_in_format_spec() {
    lexer_.re_lex_raw_string_in_format_spec();
  }
  void re_lex_string_token_in_interpolation_element(
      InterpolatedStringKind kind) {
    lexer_.re_lex_string_token_in_interpolation_element(kind);
  }

  LexerCheckpoint lexer_checkpoint() const { return lexer_.checkpoint(); }
  std::size_t size() const { return tokens_.size(); }
  // Puts the lexer back and cuts the list to `size` (never grows it).
  void rewind(LexerCheckpoint checkpoint, std::size_t size);

  const TokenList& tokens() const { return tokens_; }
  // REQUIRES: the current token is EndOfFile, consumed once. Hands over the
  // tokens without the final EndOfFile, and the lexical errors.
  std::pair<TokenList, std::vector<LexicalError>> finish() &&;

 private:
  // Appends trivia until the current token is not trivia.
  void skip_trivia();
  // Appends the current token with `kind`. Inline, so that the fields are
  // stored straight into the list: a Token built on the stack and handed to
  // a call is written in parts and read back whole, which stalls.
  void push_current(TokenKind kind) {
    if (tokens_.size() == tokens_.capacity()) [[unlikely]] {
      grow();
    }
    tokens_.push_back(
        Token{lexer_.current_range(), lexer_.current_flags(), kind});
  }
  // Makes room for at least one more token: the rare path of push_current.
  [[gnu::noinline, gnu::cold]] void grow();

  Lexer lexer_;
  std::size_t source_size_;
  TokenList tokens_;
};

// Everything needed to put the parser back at an earlier token.
struct ParserCheckpoint {
  LexerCheckpoint lexer;
  std::size_t tokens_size;
  std::size_t errors_size;
  std::size_t unsupported_size;
  std::uint32_t current_token_id;
  TextSize prev_token_end;
  RecoveryContext recovery_context;
};

class Parser;

// Guards a loop that might consume nothing in an iteration: every iteration
// after the first must follow one that consumed a token.
class ParserProgress {
 public:
  // A broken invariant ("The parser is no longer progressing...") when no
  // token was consumed since the last call.
  inline void assert_progressing(const Parser& parser);

 private:
  std::optional<std::uint32_t> last_;
};

// The state of one parse.
class Parser {
 public:
  // REQUIRES: `source` is shorter than 4 GiB and outlives the parser and its
  // result; `start_offset` lies on a character boundary.
  Parser(std::string_view source, ParseOptions options,
         TextSize start_offset = 0);

  // ---- The current token ------------------------------------------------
  TokenKind current_token_kind() const { return tokens_.current_kind(); }
  TextRange current_token_range() const { return tokens_.current_range(); }
  TokenFlags current_token_flags() const { return tokens_.current_flags(); }
  TextSize current_token_start() const { return current_token_range().start(); }
  bool at(TokenKind kind) const { return current_token_kind() == kind; }
  bool at_ts(TokenSet set) const { return set.contains(current_token_kind()); }
  bool at_expr() const { return at_ts(kExpressionStart); }
  bool at_soft_keyword() const { return is_soft_keyword(current_token_kind()); }
  // A name, or a soft keyword that can be one.
  bool at_name_or_soft_keyword() const { return at_ts(kNameLike); }
  TokenKind peek() { return tokens_.peek(); }
  std::pair<TokenKind, TokenKind> peek2() { return tokens_.peek2(); }

  // ---- Consuming --------------------------------------------------------
  // REQUIRES: the current token is `kind`.
  void bump(TokenKind kind) {
    TRELK_CHECK(current_token_kind() == kind,
                "assertion failed: the current token is `" +
                    std::string(debug_text(kind)) + "`");
    if (kind != TokenKind::Newline && kind != TokenKind::Dedent &&
        kind != TokenKind::Semi) {
      prev_token_end_ = current_token_range().end();
    }
    tokens_.bump(kind);
    ++current_token_id_;
  }
  // Consumes any token. REQUIRES: not at EndOfFile.
  void bump_any();
  // As bump, handing over the token's value (names, numbers, strings).
  TokenValue bump_value(TokenKind kind);
  // Consumes a soft keyword as a name: it goes into the token list as Name.
  // REQUIRES: at_soft_keyword().
  void bump_soft_keyword_as_name();
  // Consumes the current token when it is `kind`; says whether it did.
  bool eat(TokenKind kind) {
    if (!at(kind)) {
      return false;
    }
    bump(kind);
    return true;
  }
  // Consumes `kind`, or records "Expected {}, found {}" at the current token
  // and consumes nothing. Says whether it was there.
  bool expect(TokenKind kind);

  // ---- Errors and version gates ----------------------------------------
  // Records an error, unless the last recorded one starts at the same
  // offset. Errors beyond kMaxErrors are not kept: only the first error of a
  // parse is ever shown, and memory stays proportional to the input.
  void add_error(ParseErrorType error, TextRange range);
  // Records `kind` when the target version does not accept it.
  void add_unsupported_syntax_error(UnsupportedSyntaxErrorKind kind,
                                    TextRange range);
  void add_unsupported_syntax_error(UnsupportedSyntaxKind kind,
                                    TextRange range) {
    add_unsupported_syntax_error(
        UnsupportedSyntaxErrorKind{
            .kind = kind, .variant = 0, .description = {}},
        range);
  }
  const std::vector<ParseError>& errors() const { return errors_; }
  const std::vector<UnsupportedSyntaxError>& unsupported_syntax_errors() const {
    return unsupported_syntax_errors_;
  }
  const ParseOptions& options() const { return options_; }

  // ---- Checkpoints ------------------------------------------------------
  ParserCheckpoint checkpoint() const;
  // Puts everything back as it was at `checkpoint`; what was recorded since
  // (tokens, errors, gates) is dropped.
  void rewind(ParserCheckpoint checkpoint);

  // ---- Positions and nodes ----------------------------------------------
  // The end of the last consumed token other than Newline, Dedent and Semi.
  TextSize prev_token_end() const { return prev_token_end_; }
  // (min(start, prev_token_end), prev_token_end): a node's range once its
  // last token is consumed.
  TextRange node_range(TextSize start) {
    if (start < prev_token_end_) {
      return TextRange(start, prev_token_end_);
    }
    return placeholder_range();
  }
  // The empty range at prev_token_end, for something required but missing.
  // When whitespace, comments or skipped tokens lie between it and the
  // current token, a node that starts at the current token may come to hold
  // it as its first part, and start after it; widen_to_children mends that
  // once the tree is built.
  TextRange placeholder_range() {
    if (prev_token_end_ < current_token_start()) {
      placeholder_before_token_ = true;
    }
    return TextRange::empty(prev_token_end_);
  }
  // Whether a placeholder was made before the token that followed it.
  bool placeholder_before_token() const { return placeholder_before_token_; }
  // Widens every node below `root` to cover its children, so that every
  // node lies inside its parent.
  static void widen_to_children(Node& root);
  // The source text of `range`. REQUIRES: it lies on character boundaries.
  std::string_view src_text(TextRange range) const {
    return range.slice(source_);
  }
  std::string_view source() const { return source_; }
  std::uint32_t current_token_id() const { return current_token_id_; }

  Arena& arena() { return arena_; }
  // A new node of type T in the arena, with its range.
  template <class T>
  T* make(TextRange range) {
    T* node = arena_.make<T>();
    node->range = range;
    return node;
  }
  // The text of a token value, kept for the tree: borrowed text stays a view
  // of the source, owned text is copied into the arena.
  std::string_view keep_text(const ValueText& text) {
    return text.is_owned() ? arena_.copy_string(text.view()) : text.view();
  }
  // The placeholder for a missing expression: an empty name with context
  // Invalid, at the empty range at prev_token_end. Records nothing.
  ExprName* make_missing_name_expr();
  // Sets the context of an assignment or deletion target and of its parts.
  static void set_expr_ctx(Expr* expr, ExprContext ctx);

  // ---- Lists ------------------------------------------------------------
  RecoveryContext recovery_context() const { return recovery_context_; }
  // Whether the current token starts an element of, or ends, some list
  // being parsed.
  bool is_enclosing_list_element_or_terminator() const;
  void re_lex_logical_token() { tokens_.re_lex_logical_token(); }
  TokenSource& token_source() { return tokens_; }

  // The plain list: statements, assignment targets, f-string elements.
  template <class F>
  void parse_list(RecoveryContextKind kind, F&& parse_element);
  // The comma-separated list; says whether it ended with a trailing comma.
  template <class F>
  bool parse_comma_separated_list(RecoveryContextKind kind, F&& parse_element);
  // The clause loop of `elif` and `except`: parses clauses while the current
  // token starts one, with the kind registered for recovery.
  template <class F>
  void parse_clauses(RecoveryContextKind kind, F&& parse_clause);

  // ---- Nesting bound ----------------------------------------------------
  // Recursion is counted where the grammar re-enters itself through real
  // nesting (brackets, blocks, f-string replacement fields, patterns, and
  // the operands of a prefix operator). Chains that repeat one shape, such
  // as `- - x`, `a ** b ** c`, `a if b else c if d else e` and
  // `lambda: lambda: x`, are read in loops and cost nothing here. Past
  // kMaxNesting the parser records "Parser stack overflowed - Python source
  // too complex to parse" at the current token, consumes the rest of the
  // text and recurses no further, so any input parses within a bounded
  // stack.
  //
  // The bound is the same in every build, so that every build gives the
  // same verdict. Python accepts 200 brackets inside one another (two
  // counted levels each, three through a lambda's default), 149 nested
  // f-strings (three each), 99 indented blocks (one each), and a right
  // operand of `**` behind a prefix operator, `a ** -a ** -a ...`, up to
  // 1989 deep (one each); 2000 admits all of them.
  static constexpr std::uint32_t kMaxNesting = 2000;
  // Indented blocks inside one another: Python's tokenizer keeps at most
  // 100 indentation levels, column 0 being the first.
  static constexpr std::uint32_t kMaxIndentedBlocks = 99;
  // The stack of the dearest counted level, measured by the nesting tests
  // (expression_test.cpp) with a painted stack over the deepest shapes of
  // every grammar file; sanitizer builds give every local its own red zone
  // and unoptimised builds keep every temporary.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  static constexpr std::size_t kStackPerLevel = std::size_t{16} << 10;
#elif !defined(__OPTIMIZE__)
  static constexpr std::size_t kStackPerLevel = std::size_t{4} << 10;
#else
  static constexpr std::size_t kStackPerLevel = std::size_t{2} << 10;
#endif
  // The stack a parse may take: the bound's levels and 64 KiB for the
  // frames below the first one. The entry runs a parse whose caller has
  // less left on a thread of its own with kParseThreadStackSize bytes.
  static constexpr std::size_t kStackBytes =
      kMaxNesting * kStackPerLevel + (std::size_t{64} << 10);
  static constexpr std::size_t kParseThreadStackSize =
      kStackBytes + (std::size_t{64} << 10);
  static constexpr std::size_t kMaxErrors = 1000;

  // A counted level of recursion, entered on construction. Test it before
  // recursing: false means the bound was passed and the rest of the text has
  // been consumed.
  class NestingScope {
   public:
    explicit NestingScope(Parser& parser) : parser_(parser), ok_(true) {
      if (++parser_.nesting_ > kMaxNesting) [[unlikely]] {
        ok_ = false;
        parser_.overflow_nesting();
      }
    }
    ~NestingScope() { --parser_.nesting_; }
    NestingScope(const NestingScope&) = delete;
    NestingScope& operator=(const NestingScope&) = delete;
    explicit operator bool() const { return ok_; }

   private:
    Parser& parser_;
    bool ok_;
  };

  // ---- Scratch lists ----------------------------------------------------
  // Collects the elements of one list on a stack shared by the whole parse,
  // then moves them into the arena: no heap allocation per list. Builders
  // nest like the lists they collect (an inner list finishes before the
  // outer one takes its next element).
  //
  // Elements live in a byte buffer that may move when it grows, so T must be
  // relocatable by copying its bytes: true of every node record (their one
  // non-trivial member, the node index, is a plain 32-bit cell) and of the
  // pointers and small structs the grammar collects.
  template <class T>
  class ListBuilder {
    static_assert(std::is_trivially_destructible_v<T>);

   public:
    explicit ListBuilder(Parser& parser)
        : parser_(parser), saved_size_(parser.scratch_.size()) {
      start_ = (saved_size_ + alignof(std::max_align_t) - 1) &
               ~(alignof(std::max_align_t) - 1);
      parser.scratch_.resize(start_);
    }
    ~ListBuilder() { parser_.scratch_.resize(saved_size_); }
    ListBuilder(const ListBuilder&) = delete;
    ListBuilder& operator=(const ListBuilder&) = delete;

    void push(const T& value) {
      std::vector<unsigned char>& scratch = parser_.scratch_;
      TRELK_CHECK(scratch.size() == start_ + size_ * sizeof(T),
                  "a list builder was filled while an inner one was open");
      scratch.resize(scratch.size() + sizeof(T));
      ::new (scratch.data() + start_ + size_ * sizeof(T)) T(value);
      ++size_;
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Valid until the next push of any builder.
    T* data() { return reinterpret_cast<T*>(parser_.scratch_.data() + start_); }
    T& operator[](std::size_t index) { return data()[index]; }
    T& back() { return data()[size_ - 1]; }
    // The elements, copied into the arena.
    std::span<T> finish() {
      return parser_.arena_.copy_list(std::span<const T>(data(), size_));
    }

   private:
    Parser& parser_;
    std::size_t saved_size_;
    std::size_t start_;
    std::size_t size_ = 0;
  };

  // ---- Entries (parse_module.cpp) ---------------------------------------
  // Reads the module's statements to EndOfFile.
  ModModule* parse_module_body();
  // Reads an expression list followed by newlines to EndOfFile.
  ModExpression* parse_expression_body();
  // REQUIRES: at EndOfFile. Hands over the tokens and the errors of both
  // kinds merged by start offset.
  std::pair<TokenList, std::vector<ParseError>> finish() &&;

  // ======================================================================
  // The grammar. Each group is defined in the file named above it.

  // ---- expressions.cpp --------------------------------------------------
  ParsedExpr parse_expression_list(ExpressionContext context);
  ParsedExpr parse_named_expression_or_higher(ExpressionContext context);
  ParsedExpr parse_conditional_expression_or_higher_impl(
      ExpressionContext context);
  ParsedExpr parse_conditional_expression_or_higher() {
    return parse_conditional_expression_or_higher_impl(kNoContext);
  }
  // The operand of a chain's first `if`, already read, and where it began.
  struct ChainStart {
    TextSize start;
    ParsedExpr body;
  };
  // The lambdas and conditionals that nest to the right from the current
  // token (a lambda), or from `first`'s `if`.
  ParsedExpr parse_conditional_chain(std::optional<ChainStart> first,
                                     ExpressionContext context);
  ParsedExpr parse_expression_with_bitwise_or_precedence();
  ParsedExpr parse_lhs_expression(OperatorPrecedence level,
                                  ExpressionContext context);
  // An operand that is a starred expression, a lambda or a yield.
  // REQUIRES: at `*`, `lambda` or `yield`.
  [[gnu::noinline]] ParsedExpr parse_starred_lambda_or_yield(
      OperatorPrecedence level, ExpressionContext context);
  // The infix operators after `left` that bind tighter than `level`. It
  // loops over each level's run of operators, recursing only for an
  // operator of a tighter level, so long chains take no more stack.
  ParsedExpr parse_binary_expression_or_higher_recursive(
      ParsedExpr left, OperatorPrecedence level, ExpressionContext context,
      TextSize start);
  // Its loop, once the current token may be an operator.
  [[gnu::noinline]] ParsedExpr parse_binary_operators(ParsedExpr left,
                                                      OperatorPrecedence level,
                                                      ExpressionContext context,
                                                      TextSize start);
  ExprLambda* parse_lambda_expr();
  // The run of prefix operators at the current token with its operand.
  ParsedExpr parse_prefix_run(OperatorPrecedence level,
                              ExpressionContext context);
  // The right operand of `**` with the `**` chain that follows it.
  Expr* parse_power_operands(ExpressionContext context);
  // `lambda` and its parameters up to the colon.
  Parameters* parse_lambda_parameters();

  // ---- atoms.cpp --------------------------------------------------------
  // The atom at the current token with its postfix forms (the part of
  // parse_lhs_expression that is not a prefix form).
  ParsedExpr parse_atom_and_postfix(OperatorPrecedence level,
                                    ExpressionContext context);
  // An atom without postfix forms. REQUIRES: not at a name, which
  // parse_atom_and_postfix makes itself, without this function's frame.
  ParsedExpr parse_atom(OperatorPrecedence level);
  ParsedExpr parse_postfix_expression(ParsedExpr lhs, TextSize start);
  ExprName* parse_name();
  Identifier parse_identifier();
  Identifier parse_missing_identifier();
  // The text of the current Name token. REQUIRES: at(TokenKind::Name).
  Name current_name_text();
  ExprAttribute* parse_attribute_expression(ParsedExpr value, TextSize start);
  // REQUIRES: at `(`.
  Arguments parse_arguments();
  ExprNumberLiteral* parse_number_literal();
  ParsedExpr parse_parenthesized_expression();

  // ---- strings.cpp ------------------------------------------------------
  // The run of adjacent string literals at the current token.
  // REQUIRES: at String, FStringStart or TStringStart.
  Expr* parse_strings();

  // ---- parameters.cpp ---------------------------------------------------
  Parameters* parse_parameters(ParametersKind kind);

  // ---- statements.cpp ---------------------------------------------------
  Stmt* parse_statement();
  std::span<Stmt*> parse_body(Clause clause);

  // ---- simple_statements.cpp --------------------------------------------
  Stmt* parse_simple_statement();
  void validate_assignment_target(const Expr* expr);
  void validate_delete_target(const Expr* expr);
  Alias parse_alias(bool from_import);
  Identifier parse_dotted_name();
  // The version gate on starred elements of an unparenthesized tuple.
  void check_tuple_unpacking(const Expr* expr, StarredTupleKind kind);
  // The same for any gate of that form (`for` iterables use
  // UnparenthesizedForIterableUnpacking): one record per starred element.
  void check_tuple_unpacking(const Expr* expr, UnsupportedSyntaxErrorKind gate);

  // ---- compound_statements.cpp ------------------------------------------
  Stmt* parse_if_statement();
  Stmt* parse_while_statement();
  Stmt* parse_for_statement(TextSize start);
  Stmt* parse_try_statement();
  Stmt* parse_with_statement(TextSize start);

  // ---- definitions.cpp --------------------------------------------------
  // The decorators at `@` and the definition they decorate.
  Stmt* parse_decorated_definition(TextSize start);
  Stmt* parse_function_definition(std::span<Decorator> decorators,
                                  TextSize start);
  Stmt* parse_class_definition(std::span<Decorator> decorators, TextSize start);
  TypeParams* try_parse_type_params();

  // ---- patterns.cpp -----------------------------------------------------
  // REQUIRES: at a `match` that starts a match statement.
  Stmt* parse_match_statement(TextSize start);

 private:
  friend class ParserProgress;
  // Consumes every token up to EndOfFile.
  void skip_to_end();
  // Records that the nesting bound was passed and consumes the rest.
  void overflow_nesting();

  TokenSource tokens_;
  std::vector<ParseError> errors_;
  std::vector<UnsupportedSyntaxError> unsupported_syntax_errors_;
  std::string_view source_;
  std::uint32_t current_token_id_ = 0;
  TextSize prev_token_end_ = 0;
  RecoveryContext recovery_context_;
  bool placeholder_before_token_ = false;
  TextSize start_offset_;
  ParseOptions options_;
  std::uint32_t nesting_ = 0;
  std::uint32_t indented_blocks_ = 0;
  Arena arena_;
  std::vector<unsigned char> scratch_;
};

inline void ParserProgress::assert_progressing(const Parser& parser) {
  TRELK_CHECK(!last_ || *last_ != parser.current_token_id_, [&] {
    const TextRange range = parser.current_token_range();
    return "The parser is no longer progressing. Stuck at '" +
           std::string(parser.src_text(range)) + "' " +
           std::string(debug_text(parser.current_token_kind())) + ":" +
           range.to_string();
  }());
  last_ = parser.current_token_id_;
}

// ---------------------------------------------------------------------------
// The list loops. The order of the tests is significant: a token that starts
// an element is never taken for a terminator, and a token that belongs to an
// enclosing list ends this one without an error.

template <class F>
void Parser::parse_list(RecoveryContextKind kind, F&& parse_element) {
  const RecoveryContext saved = recovery_context_;
  recovery_context_ = recovery_context_.with(RecoveryContext::flag(kind));
  ParserProgress progress;
  while (true) {
    progress.assert_progressing(*this);
    const TokenKind current = current_token_kind();
    if (is_list_element(kind, current)) {
      parse_element();
      continue;
    }
    if (list_terminator_kind(kind, current) == ListTerminatorKind::Regular) {
      break;
    }
    if (is_enclosing_list_element_or_terminator()) {
      re_lex_logical_token();
      break;
    }
    add_error(create_error(kind, current), current_token_range());
    bump_any();
  }
  recovery_context_ = saved;
}

template <class F>
bool Parser::parse_comma_separated_list(RecoveryContextKind kind,
                                        F&& parse_element) {
  const RecoveryContext saved = recovery_context_;
  recovery_context_ = recovery_context_.with(RecoveryContext::flag(kind));
  bool first_element = true;
  std::optional<TextRange> trailing_comma;
  ParserProgress progress;
  while (true) {
    progress.assert_progressing(*this);
    if (is_list_element(kind, current_token_kind())) {
      parse_element();
      first_element = false;
      if (at(TokenKind::Comma)) {
        trailing_comma = current_token_range();
        bump(TokenKind::Comma);
        continue;
      }
      trailing_comma.reset();
    }
    const TokenKind current = current_token_kind();
    if (list_terminator_kind(kind, current) == ListTerminatorKind::Regular) {
      break;
    }
    if (is_list_element(kind, current)) {
      // Two elements without a comma between them.
      expect(TokenKind::Comma);
      continue;
    }
    if (is_enclosing_list_element_or_terminator()) {
      re_lex_logical_token();
      break;
    }
    if (first_element || current == TokenKind::Comma) {
      add_error(create_error(kind, current), current_token_range());
      if (current == TokenKind::Comma) {
        trailing_comma = current_token_range();
      } else {
        trailing_comma.reset();
      }
    } else {
      expect(TokenKind::Comma);
      trailing_comma.reset();
    }
    bump_any();
  }
  if (trailing_comma && !allows_trailing_comma(kind)) {
    add_error(OtherParseError::TrailingCommaNotAllowed, *trailing_comma);
  }
  recovery_context_ = saved;
  return trailing_comma.has_value();
}

template <class F>
void Parser::parse_clauses(RecoveryContextKind kind, F&& parse_clause) {
  const RecoveryContext saved = recovery_context_;
  recovery_context_ = recovery_context_.with(RecoveryContext::flag(kind));
  ParserProgress progress;
  while (is_list_element(kind, current_token_kind())) {
    progress.assert_progressing(*this);
    parse_clause();
  }
  recovery_context_ = saved;
}

}  // namespace divu
