#include "parse_module.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "invariant.h"
#include "node_children.h"
#include "parser.h"
#include "stack_thread.h"

namespace divu {

ModModule* Parser::parse_module_body() {
  ListBuilder<Stmt*> body(*this);
  parse_list(RecoveryContextKind::ModuleStatements,
             [&] { body.push(parse_statement()); });
  std::span<Stmt*> statements = body.finish();
  bump(TokenKind::EndOfFile);
  ModModule* module = arena_.make<ModModule>();
  module->range = TextRange(start_offset_, current_token_range().end());
  module->body = statements;
  return module;
}

ModExpression* Parser::parse_expression_body() {
  const TextSize start = current_token_start();
  ParsedExpr parsed = parse_expression_list(kValueContext);
  while (eat(TokenKind::Newline)) {
  }
  if (!at(TokenKind::EndOfFile)) {
    add_error(ParseErrorKind::UnexpectedExpressionToken, current_token_range());
    skip_to_end();
  }
  ModExpression* module = make<ModExpression>(node_range(start));
  bump(TokenKind::EndOfFile);
  module->body = parsed.expr;
  return module;
}

std::pair<TokenList, std::vector<ParseError>> Parser::finish() && {
  TRELK_CHECK(at(TokenKind::EndOfFile),
              "Parser should be at the end of the file.");
  auto [tokens, lexical] = std::move(tokens_).finish();
  if (lexical.empty()) {
    return {std::move(tokens), std::move(errors_)};
  }
  // Both lists are in the order found, not sorted: only their fronts are
  // compared, and at equal starts the lexical error wins.
  std::vector<ParseError> merged;
  merged.reserve(errors_.size() + lexical.size());
  std::size_t parse_index = 0;
  std::size_t lexical_index = 0;
  while (parse_index < errors_.size() && lexical_index < lexical.size()) {
    const TextSize parse_start = errors_[parse_index].location.start();
    const TextSize lexical_start = lexical[lexical_index].location.start();
    if (parse_start < lexical_start) {
      merged.push_back(std::move(errors_[parse_index++]));
      continue;
    }
    if (parse_start == lexical_start) {
      ++parse_index;
    }
    merged.push_back(
        ParseError::from_lexical(std::move(lexical[lexical_index++])));
  }
  for (; parse_index < errors_.size(); ++parse_index) {
    merged.push_back(std::move(errors_[parse_index]));
  }
  for (; lexical_index < lexical.size(); ++lexical_index) {
    merged.push_back(
        ParseError::from_lexical(std::move(lexical[lexical_index])));
  }
  return {std::move(tokens), std::move(merged)};
}

void Parser::widen_to_children(Node& root) {
  // Preorder with each node's parent: walked backwards, every node comes
  // after all of its descendants, so it is final when it widens its parent.
  struct Entry {
    Node* node;
    std::size_t parent;
  };
  constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
  std::vector<Entry> order;
  std::vector<std::pair<Node*, std::size_t>> stack{{&root, kNoParent}};
  while (!stack.empty()) {
    const auto [node, parent] = stack.back();
    stack.pop_back();
    const std::size_t index = order.size();
    order.push_back({node, parent});
    for_each_child(*node, [&stack, index](Node& child) {
      stack.emplace_back(&child, index);
    });
  }
  for (std::size_t index = order.size(); index-- > 1;) {
    const TextRange child = order[index].node->range;
    TextRange& parent = order[order[index].parent].node->range;
    parent = TextRange(std::min(parent.start(), child.start()),
                       std::max(parent.end(), child.end()));
  }
}

namespace {

template <class T, class Body>
Parsed<T> parse_on_this_stack(std::string_view source, Mode mode, Body body) {
  Parser parser(source, ParseOptions{.mode = mode});
  T* syntax = body(parser);
  if (parser.placeholder_before_token()) {
    Parser::widen_to_children(*syntax);
  }
  std::vector<UnsupportedSyntaxError> unsupported =
      parser.unsupported_syntax_errors();
  // The tree is complete: the rest of its estimate is for the next parse.
  parser.arena().release_unused();
  Arena arena = std::move(parser.arena());
  auto [tokens, errors] = std::move(parser).finish();
  return Parsed<T>(std::move(arena), syntax, Tokens(std::move(tokens)),
                   std::move(errors), std::move(unsupported));
}

// Every parse gets the stack its nesting bound was measured for, whatever
// thread calls it: a caller with less left (a thread made with a small
// stack size, or one deep in its own frames) has the parse run on a thread
// of its own, so that the verdict never depends on the caller.
template <class T, class Body>
Parsed<T> run_parse(std::string_view source, Mode mode, Body body) {
  if (trelk::stack_bytes_left() >= Parser::kStackBytes) [[likely]] {
    return parse_on_this_stack<T>(source, mode, body);
  }
  std::optional<Parsed<T>> parsed;
  try {
    trelk::run_on_thread_with_stack(Parser::kParseThreadStackSize, [&] {
      parsed.emplace(parse_on_this_stack<T>(source, mode, body));
    });
  } catch (const std::system_error&) {
    // No thread could be made (the system is out of memory or of threads):
    // the parse did not run, and fails as an allocation does.
    throw std::bad_alloc();
  }
  return std::move(*parsed);
}

}  // namespace

Parsed<ModModule> parse_module_with_errors(std::string_view source) {
  return run_parse<ModModule>(source, Mode::Module, [](Parser& parser) {
    return parser.parse_module_body();
  });
}

std::expected<Parsed<ModModule>, ParseError> parse_module(
    std::string_view source) {
  Parsed<ModModule> parsed = parse_module_with_errors(source);
  if (!parsed.errors().empty()) {
    return std::unexpected(parsed.errors().front());
  }
  return parsed;
}

Parsed<ModExpression> parse_expression(std::string_view source) {
  return run_parse<ModExpression>(source, Mode::Expression, [](Parser& parser) {
    return parser.parse_expression_body();
  });
}

}  // namespace divu
