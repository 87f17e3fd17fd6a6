#include "ast_filesystem.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace trelk {
namespace {

TEST(HasPyExtensionTest, FinalNameDecides) {
  struct Case {
    std::string_view path;
    bool kept;
  };
  constexpr Case kCases[] = {
      {.path = "a.py", .kept = true},
      {.path = "a.b.py", .kept = true},
      {.path = "pkg/a.py/", .kept = true},
      {.path = "pkg/a.py/.", .kept = true},
      {.path = "pkg/a.py//./", .kept = true},
      {.path = "..py", .kept = true},
      {.path = "/abs/x.py", .kept = true},
      {.path = ".py", .kept = false},
      {.path = "dir/.py", .kept = false},
      {.path = "a.PY", .kept = false},
      {.path = "a.pyi", .kept = false},
      {.path = "a.py.bak", .kept = false},
      {.path = "a.py.", .kept = false},
      {.path = "pkg/..", .kept = false},
      {.path = "..", .kept = false},
      {.path = ".", .kept = false},
      {.path = "/", .kept = false},
      {.path = "", .kept = false},
      {.path = "py", .kept = false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(has_py_extension(c.path), c.kept);
  }
}

TEST(StdAstFileSystemTest, FiltersSortsAndDeduplicatesByBytes) {
  const StdAstFileSystem fs({"b.py", "a.py", "b.py", "c.txt", ".py", "d.PY",
                             "B.py", "a.py/", "./a.py", "\xC3\xA9.py"});
  const std::vector<std::string> expected = {"./a.py", "B.py", "a.py",
                                             "a.py/",  "b.py", "\xC3\xA9.py"};
  EXPECT_EQ(fs.files(), expected);
  EXPECT_EQ(fs.all_files().value(), expected);
}

TEST(StdAstFileSystemTest, EmptyListServesNothing) {
  const StdAstFileSystem fs({});
  EXPECT_TRUE(fs.all_files().value().empty());
}

TEST(OsErrorTextTest, DescriptionThenNumber) {
  EXPECT_EQ(os_error_text(2), "No such file or directory (os error 2)");
}

}  // namespace
}  // namespace trelk
