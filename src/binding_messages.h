#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// The TypeError texts of argument binding and conversion. Pure formatting,
// free of the interpreter, so that they can be tested natively.
namespace trelk::py {

// "{Class}.{function}()" or "{function}()" when `class_name` is empty.
[[nodiscard]] std::string callable_display_name(std::string_view class_name,
                                                std::string_view function_name);

// "{} takes {} positional arguments but {} {} given", or the "from {} to {}"
// form when some parameters are optional.
[[nodiscard]] std::string too_many_positional_message(std::string_view callable,
                                                      std::size_t required,
                                                      std::size_t parameters,
                                                      std::size_t given);

// "{} got an unexpected keyword argument '{}'".
[[nodiscard]] std::string unexpected_keyword_message(std::string_view callable,
                                                     std::string_view keyword);

// "{} got multiple values for argument '{}'".
[[nodiscard]] std::string multiple_values_message(std::string_view callable,
                                                  std::string_view parameter);

// "{} missing {} required positional argument(s): 'a', 'b', and 'c'".
// REQUIRES: !missing.empty().
[[nodiscard]] std::string missing_required_message(
    std::string_view callable, std::span<const std::string_view> missing);

// "'{}' object is not an instance of '{}'", or "'None' is not an instance of
// '{}'" when the object was None.
[[nodiscard]] std::string not_an_instance_message(bool is_none,
                                                  std::string_view type_name,
                                                  std::string_view expected);

// "argument '{}': {}".
[[nodiscard]] std::string argument_message(std::string_view parameter,
                                           std::string_view message);

}  // namespace trelk::py
