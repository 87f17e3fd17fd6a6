#include "recovery.h"

#include <string>
#include <string_view>

namespace divu {
namespace {

struct ListKindInfo {
  TokenSet elements;
  TokenSet regular;
  TokenSet recovery;
  bool trailing_comma;
  std::string_view message;
};

// Lets a table cell be a named set, a braced list of kinds or `{}`.
constexpr TokenSet as_set(TokenSet set) { return set; }

constexpr ListKindInfo kListKinds[] = {
#define LIST_KIND(Name, elements, regular, recovery, trailing, message) \
  {as_set(elements), as_set(regular), as_set(recovery), trailing, message},
#include "recovery.def"
};

constexpr const ListKindInfo& info(RecoveryContextKind kind) {
  return kListKinds[static_cast<unsigned>(kind)];
}

}  // namespace

bool is_list_element(RecoveryContextKind kind, TokenKind token) {
  return info(kind).elements.contains(token);
}

ListTerminatorKind list_terminator_kind(RecoveryContextKind kind,
                                        TokenKind token) {
  const ListKindInfo& list = info(kind);
  if (token == TokenKind::EndOfFile || list.regular.contains(token)) {
    return ListTerminatorKind::Regular;
  }
  if (list.recovery.contains(token)) {
    return ListTerminatorKind::ErrorRecovery;
  }
  return ListTerminatorKind::None;
}

ParseErrorType create_error(RecoveryContextKind kind, TokenKind token) {
  switch (kind) {
    case RecoveryContextKind::ModuleStatements:
    case RecoveryContextKind::BlockStatements:
      if (token == TokenKind::Indent) {
        return ParseErrorKind::UnexpectedIndentation;
      }
      break;
    case RecoveryContextKind::AssignmentTargets:
      if (is_keyword(token)) {
        return OtherParseError::KeywordAsDeclarationName;
      }
      break;
    default:
      break;
  }
  return ParseErrorType::other(std::string(info(kind).message));
}

bool allows_trailing_comma(RecoveryContextKind kind) {
  return info(kind).trailing_comma;
}

}  // namespace divu
