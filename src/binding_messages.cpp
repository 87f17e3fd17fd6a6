#include "binding_messages.h"

#include "invariant.h"

namespace trelk::py {

namespace {

std::string join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) {
    text += part;
  }
  return text;
}

}  // namespace

std::string callable_display_name(std::string_view class_name,
                                  std::string_view function_name) {
  if (class_name.empty()) {
    return join({function_name, "()"});
  }
  return join({class_name, ".", function_name, "()"});
}

std::string too_many_positional_message(std::string_view callable,
                                        std::size_t required,
                                        std::size_t parameters,
                                        std::size_t given) {
  std::string text(callable);
  if (required == parameters) {
    text += " takes " + std::to_string(parameters);
  } else {
    text += " takes from " + std::to_string(required) + " to " +
            std::to_string(parameters);
  }
  text += " positional arguments but " + std::to_string(given) +
          (given == 1 ? " was" : " were") + " given";
  return text;
}

std::string unexpected_keyword_message(std::string_view callable,
                                       std::string_view keyword) {
  return join(
      {callable, " got an unexpected keyword argument '", keyword, "'"});
}

std::string multiple_values_message(std::string_view callable,
                                    std::string_view parameter) {
  return join(
      {callable, " got multiple values for argument '", parameter, "'"});
}

std::string missing_required_message(
    std::string_view callable, std::span<const std::string_view> missing) {
  TRELK_CHECK(!missing.empty(), "no missing arguments to report");
  std::string text(callable);
  text += " missing " + std::to_string(missing.size()) +
          " required positional " +
          (missing.size() == 1 ? "argument" : "arguments") + ": ";
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) {
      if (missing.size() == 2) {
        text += " and ";
      } else if (i + 1 == missing.size()) {
        text += ", and ";
      } else {
        text += ", ";
      }
    }
    text += join({"'", missing[i], "'"});
  }
  return text;
}

std::string not_an_instance_message(bool is_none, std::string_view type_name,
                                    std::string_view expected) {
  if (is_none) {
    return join({"'None' is not an instance of '", expected, "'"});
  }
  return join(
      {"'", type_name, "' object is not an instance of '", expected, "'"});
}

std::string argument_message(std::string_view parameter,
                             std::string_view message) {
  return join({"argument '", parameter, "': ", message});
}

}  // namespace trelk::py
