#include "module_name.h"

#include <gtest/gtest.h>

#include <string_view>

#include "path_components.h"

namespace trelk {
namespace {

TEST(ModuleNameTest, NamesFromPathsUnderAndOutsideTheRoot) {
  struct Case {
    std::string_view path;
    std::string_view root = "/r";
    std::string_view name;
  };
  const Case kCases[] = {
      {.path = "/r/pkg/mod.py", .name = "pkg.mod"},
      {.path = "/r/pkg/__init__.py", .name = "pkg"},
      {.path = "/r/mod.py", .name = "mod"},
      // No part is collected: the stem of the file, or of the root itself.
      {.path = "/r/__init__.py", .name = "__init__"},
      {.path = "/r", .name = "r"},
      {.path = "/r/", .name = "r"},
      // Every component that ends in ".py" loses it, directories included.
      {.path = "/r/pkg/mod.pyi", .name = "pkg.mod.pyi"},
      {.path = "/r/a.b.py", .name = "a.b"},
      {.path = "/r/pkg.py/mod.py", .name = "pkg.mod"},
      {.path = "/r/a/__init__.py/b.py", .name = "a.b"},
      {.path = "/r/pkg/.py", .name = "pkg."},
      {.path = "/r/.py", .name = ""},
      {.path = "/r/__init__/x.py", .name = "__init__.x"},
      {.path = "/r/data/file.txt", .name = "data.file.txt"},
      {.path = "/r/a.PY", .name = "a.PY"},
      // ".." and "." are skipped, not resolved.
      {.path = "/r/../x/y.py", .name = "x.y"},
      {.path = "/r/./a.py", .name = "a"},
      {.path = "/r/a/./../b.py", .name = "a.b"},
      {.path = "/r/..", .name = "/r/.."},
      // The root is compared by whole components, separators not counted.
      {.path = "/r//a.py", .root = "/r/", .name = "a"},
      {.path = "/r/a.py", .root = "/r//", .name = "a"},
      {.path = "/r/a.py", .root = "/r/.", .name = "a"},
      {.path = "/rs/a.py", .name = "a"},
      {.path = "/r", .root = "/r/a", .name = "r"},
      // Outside the root: the file stem.
      {.path = "/other/x.py", .name = "x"},
      {.path = "/other/.env", .name = ".env"},
      {.path = "/other/archive.tar.gz", .name = "archive.tar"},
      {.path = "/other/a.", .name = "a"},
      {.path = "/other/..py", .name = "."},
      {.path = "/", .name = "/"},
      {.path = "", .name = ""},
      // Relative roots: the joined path is relative as well.
      {.path = "src/pkg/mod.py", .root = "src", .name = "pkg.mod"},
      {.path = "src/pkg/mod.py", .root = "./src", .name = "mod"},
      {.path = "./src/pkg/mod.py", .root = "./src", .name = "pkg.mod"},
      {.path = "pkg/mod.py", .root = "", .name = "pkg.mod"},
      {.path = "./pkg/mod.py", .root = "", .name = "pkg.mod"},
      {.path = "/abs/pkg/mod.py", .root = "", .name = "abs.pkg.mod"},
      {.path = "./a.py", .root = ".", .name = "a"},
      // Not UTF-8: a part abandons the dotted name; a stem that is not
      // UTF-8 gives the whole path with U+FFFD.
      {.path = "/r/\xFF.py", .name = "/r/\xEF\xBF\xBD.py"},
      {.path = "/r/\xFF/a.py", .name = "a"},
      {.path = "/r/\xC3\xA9t\xC3\xA9.py", .name = "\xC3\xA9t\xC3\xA9"},
      {.path = "/other/\xE2\x82.py", .name = "/other/\xEF\xBF\xBD.py"},
      {.path = "/\xFF\xFE/..", .name = "/\xEF\xBF\xBD\xEF\xBF\xBD/.."},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "path " << c.path << " root " << c.root);
    EXPECT_EQ(module_name_for_absolute_path(c.path, c.root), c.name);
  }
}

TEST(PathComponentsTest, ReadsSeparatorsAndDots) {
  using enum PathComponentKind;
  struct Case {
    std::string_view path;
    std::vector<PathComponent> components;
  };
  const Case kCases[] = {
      {.path = "", .components = {}},
      {.path = "/", .components = {{RootDir, "/"}}},
      {.path = "//a//b/",
       .components = {{RootDir, "/"}, {Normal, "a"}, {Normal, "b"}}},
      {.path = "./a/./b/.",
       .components = {{CurDir, "."}, {Normal, "a"}, {Normal, "b"}}},
      {.path = ".", .components = {{CurDir, "."}}},
      {.path = "/./a", .components = {{RootDir, "/"}, {Normal, "a"}}},
      {.path = ".a/..", .components = {{Normal, ".a"}, {ParentDir, ".."}}},
      {.path = "../x", .components = {{ParentDir, ".."}, {Normal, "x"}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    std::vector<PathComponent> got;
    PathComponents components(c.path);
    while (std::optional<PathComponent> component = components.next()) {
      got.push_back(*component);
    }
    EXPECT_EQ(got, c.components);
  }
}

TEST(PathComponentsTest, JoinsWithOneSeparator) {
  EXPECT_EQ(join_path("/r", "a.py"), "/r/a.py");
  EXPECT_EQ(join_path("/r/", "a.py"), "/r/a.py");
  EXPECT_EQ(join_path("", "a.py"), "a.py");
  EXPECT_EQ(join_path("/r", "/abs/a.py"), "/abs/a.py");
  EXPECT_EQ(join_path("src", "./a.py"), "src/./a.py");
  EXPECT_EQ(join_path("/r", ""), "/r/");
}

}  // namespace
}  // namespace trelk
