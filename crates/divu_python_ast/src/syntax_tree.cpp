#include "syntax_tree.h"

#include <string>

#include "invariant.h"

namespace divu {

void Node::fail_cast(std::string_view expected) const {
  std::string message = "syntax tree node ";
  message += node_kind_name(kind_);
  message += " is not a ";
  message += expected;
  trelk::fail_invariant(std::move(message));
}

std::string_view to_string(UnaryOp op) {
  switch (op) {
    case UnaryOp::Invert:
      return "~";
    case UnaryOp::Not:
      return "not";
    case UnaryOp::UAdd:
      return "+";
    case UnaryOp::USub:
      return "-";
  }
  return "";
}

StringLiteral StringLiteral::invalid(TextRange range) {
  StringLiteral part;
  part.range = range;
  part.flags = StringLiteralFlags(StringLiteralFlags::kInvalid);
  return part;
}

std::size_t ParameterRange::iterator::section_size() const {
  switch (section_) {
    case kPosOnly:
      return parameters_->posonlyargs.size();
    case kArgs:
      return parameters_->args.size();
    case kVararg:
      return parameters_->vararg != nullptr ? 1 : 0;
    case kKwOnly:
      return parameters_->kwonlyargs.size();
    case kKwarg:
      return parameters_->kwarg != nullptr ? 1 : 0;
    case kEnd:
      break;
  }
  return 0;
}

void ParameterRange::iterator::settle() {
  while (section_ != kEnd && position_ >= section_size()) {
    section_ = static_cast<Section>(section_ + 1);
    position_ = 0;
  }
}

ParameterRef ParameterRange::iterator::operator*() const {
  auto entry = [](const ParameterWithDefault& with_default) {
    return ParameterRef{.parameter = &with_default.parameter,
                        .with_default = &with_default};
  };
  switch (section_) {
    case kPosOnly:
      return entry(parameters_->posonlyargs[position_]);
    case kArgs:
      return entry(parameters_->args[position_]);
    case kVararg:
      return ParameterRef{.parameter = parameters_->vararg,
                          .with_default = nullptr};
    case kKwOnly:
      return entry(parameters_->kwonlyargs[position_]);
    case kKwarg:
      return ParameterRef{.parameter = parameters_->kwarg,
                          .with_default = nullptr};
    case kEnd:
      break;
  }
  trelk::fail_invariant("dereferenced the end of a parameter sequence");
}

}  // namespace divu
