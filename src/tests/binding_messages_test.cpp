#include "binding_messages.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace trelk::py {
namespace {

TEST(BindingMessagesTest, CallableNames) {
  EXPECT_EQ(callable_display_name("StdAstFileSystem", "__new__"),
            "StdAstFileSystem.__new__()");
  EXPECT_EQ(callable_display_name("", "to_snake_case"), "to_snake_case()");
}

TEST(BindingMessagesTest, TooManyPositional) {
  struct Case {
    std::size_t required;
    std::size_t parameters;
    std::size_t given;
    std::string_view expected;
  };
  constexpr Case kCases[] = {
      {.required = 1,
       .parameters = 1,
       .given = 2,
       .expected = "f() takes 1 positional arguments but 2 were given"},
      {.required = 0,
       .parameters = 0,
       .given = 1,
       .expected = "f() takes 0 positional arguments but 1 was given"},
      {.required = 2,
       .parameters = 3,
       .given = 4,
       .expected =
           "f() takes from 2 to 3 positional arguments but 4 were given"},
      {.required = 0,
       .parameters = 2,
       .given = 3,
       .expected =
           "f() takes from 0 to 2 positional arguments but 3 were given"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(
        too_many_positional_message("f()", c.required, c.parameters, c.given),
        c.expected);
  }
}

TEST(BindingMessagesTest, MissingRequiredNamesJoinedInParameterOrder) {
  struct Case {
    std::vector<std::string_view> missing;
    std::string_view expected;
  };
  const Case kCases[] = {
      {.missing = {"files"},
       .expected = "C.f() missing 1 required positional argument: 'files'"},
      {.missing = {"module", "class_name"},
       .expected = "C.f() missing 2 required positional arguments: 'module' "
                   "and 'class_name'"},
      {.missing = {"a", "b", "c"},
       .expected = "C.f() missing 3 required positional arguments: 'a', 'b', "
                   "and 'c'"},
      {.missing = {"a", "b", "c", "d"},
       .expected = "C.f() missing 4 required positional arguments: 'a', 'b', "
                   "'c', and 'd'"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(missing_required_message("C.f()", c.missing), c.expected);
  }
}

TEST(BindingMessagesTest, KeywordAndConversionTexts) {
  EXPECT_EQ(unexpected_keyword_message("to_snake_case()", "nam"),
            "to_snake_case() got an unexpected keyword argument 'nam'");
  EXPECT_EQ(multiple_values_message("to_snake_case()", "name"),
            "to_snake_case() got multiple values for argument 'name'");
  EXPECT_EQ(not_an_instance_message(false, "int", "str"),
            "'int' object is not an instance of 'str'");
  EXPECT_EQ(not_an_instance_message(true, "ignored", "Sequence"),
            "'None' is not an instance of 'Sequence'");
  EXPECT_EQ(argument_message("files", "Can't extract `str` to `Vec`"),
            "argument 'files': Can't extract `str` to `Vec`");
}

}  // namespace
}  // namespace trelk::py
