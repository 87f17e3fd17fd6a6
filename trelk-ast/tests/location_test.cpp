#include "location.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "type_parsing.h"

namespace trelk {

// Ranges print as "L:C-L:C" in failures.
void PrintTo(const Range& range, std::ostream* out) {
  *out << range.start.line << ":" << range.start.character << "-"
       << range.end.line << ":" << range.end.character;
}

namespace {

std::string uri_text(std::string_view path) {
  const std::optional<Uri> uri = file_uri(path);
  return uri ? uri->as_str() : "<none>";
}

TEST(FileUriTest, AbsolutePathsAreTakenAsTheyAreAndEncoded) {
  struct Case {
    std::string_view path;
    std::string_view uri;
  };
  constexpr Case kCases[] = {
      {.path = "/home/u/my proj/a.py", .uri = "file:///home/u/my%20proj/a.py"},
      {.path = "/a/../b.py", .uri = "file:///a/../b.py"},
      {.path = "/x\\y.py", .uri = "file:///x/y.py"},
      {.path = "/", .uri = "file:///"},
      {.path = "//srv/a.py", .uri = "file:////srv/a.py"},
      // Characters a URI path may not hold are percent-encoded, so these
      // files keep their locations.
      {.path = "/home/jos\xC3\xA9/a.py", .uri = "file:///home/jos%C3%A9/a.py"},
      {.path = "/w/weird[1]/a.py", .uri = "file:///w/weird%5B1%5D/a.py"},
      {.path = "/w/a#b?c.py", .uri = "file:///w/a%23b%3Fc.py"},
      {.path = "/w/100%/a.py", .uri = "file:///w/100%25/a.py"},
      {.path = "/w/a\"<>^`{|}.py",
       .uri = "file:///w/a%22%3C%3E%5E%60%7B%7C%7D.py"},
      {.path = "/w/tab\there", .uri = "file:///w/tab%09here"},
      {.path = "/w/-._~!$&'()*+,;=:@", .uri = "file:///w/-._~!$&'()*+,;=:@"},
      // Bytes that are not UTF-8 are shown as U+FFFD first.
      {.path = "/w/\xFF.py", .uri = "file:///w/%EF%BF%BD.py"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(uri_text(c.path), c.uri);
  }
}

// Decodes %XX escapes; every other byte must be one a path may hold.
std::string decode_uri_path(std::string_view uri) {
  constexpr std::string_view kAllowed =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
      "-._~!$&'()*+,;=:@/";
  std::string out;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%') {
      out.push_back(static_cast<char>(
          std::stoi(std::string(uri.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      EXPECT_NE(kAllowed.find(uri[i]), std::string_view::npos)
          << "unescaped byte " << static_cast<int>(uri[i]);
      out.push_back(uri[i]);
    }
  }
  return out;
}

TEST(FileUriTest, EveryAsciiByteRoundTrips) {
  for (int byte = 0; byte < 0x80; ++byte) {
    if (byte == '\\') {
      continue;
    }
    SCOPED_TRACE(byte);
    const std::string path = std::string("/d/") + static_cast<char>(byte);
    const std::string uri = uri_text(path);
    ASSERT_TRUE(uri.starts_with("file://"));
    EXPECT_EQ(decode_uri_path(std::string_view(uri).substr(7)), path);
  }
}

// Runs the test body in a fresh directory and goes back afterwards.
class RelativePathTest : public testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    root_ = std::filesystem::temp_directory_path() /
            ("trelk_location_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "real dir");
    std::ofstream(root_ / "real dir" / "a.py") << "x = 1\n";
    std::filesystem::create_directory_symlink(root_ / "real dir",
                                              root_ / "link");
    std::filesystem::current_path(root_);
    // The temporary directory may itself sit behind a symbolic link.
    root_ = std::filesystem::canonical(root_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(root_);
  }

  std::filesystem::path old_;
  std::filesystem::path root_;
};

TEST_F(RelativePathTest, ResolvesAgainstTheWorkingDirectory) {
  const std::string expected =
      "file://" + (root_ / "real%20dir" / "a.py").string();
  EXPECT_EQ(uri_text("real dir/a.py"), expected);
  EXPECT_EQ(uri_text("./real dir/../real dir/a.py"), expected);
  // Symbolic links are followed.
  EXPECT_EQ(uri_text("link/a.py"), expected);
}

TEST_F(RelativePathTest, UnresolvablePathsGiveNoLocation) {
  for (const std::string_view path :
       {std::string_view("missing.py"), std::string_view(""),
        std::string_view("real dir/missing.py"),
        std::string_view("real dir/a.py\0x", 15)}) {
    SCOPED_TRACE(testing::PrintToString(path));
    EXPECT_FALSE(file_uri(path).has_value());
    EXPECT_FALSE(file_location_for_range(path, Range{}).has_value());
  }
}

TEST_F(RelativePathTest, AnExtractionResolvesItsFileOnce) {
  auto file = ParsedFileCache::parse("link/a.py", "def f(x): return x\n");
  ASSERT_TRUE(file.has_value());
  const ParsedAstFile extracted =
      parse_ast_file_with_feature_module(**file, "a");
  ASSERT_EQ(extracted.functions.size(), 1u);
  const ResolverAST& function = extracted.functions[0];
  const std::string expected =
      "file://" + (root_ / "real%20dir" / "a.py").string();
  EXPECT_EQ(function.resolver_name_location.uri.as_str(), expected);
  EXPECT_EQ(function.args.find("x")->arg_location.uri.as_str(), expected);
  EXPECT_EQ(function.body->uri.as_str(), expected);
}

TEST(FileLocationTest, CarriesTheRangeAndTheUri) {
  const Range range{.start = {.line = 1, .character = 2},
                    .end = {.line = 3, .character = 4}};
  const std::optional<Location> location =
      file_location_for_range("/p/a b.py", range);
  ASSERT_TRUE(location.has_value());
  EXPECT_EQ(location->uri.as_str(), "file:///p/a%20b.py");
  EXPECT_EQ(location->range, range);
}

TEST(ToRangeTest, ZeroBasedLinesAndCharacters) {
  struct Case {
    std::string_view text;
    divu::TextSize start;
    divu::TextSize end;
    Range range;
  };
  const Case kCases[] = {
      // An identifier at the very start.
      {.text = "abc = 1\n", .start = 0, .end = 3, .range = {{0, 0}, {0, 3}}},
      // A byte-order mark is not counted on the first line.
      {.text = "\xEF\xBB\xBF"
               "abc = 1\n",
       .start = 3,
       .end = 6,
       .range = {{0, 0}, {0, 3}}},
      {.text = "\xEF\xBB\xBF"
               "a\nbc\n",
       .start = 5,
       .end = 7,
       .range = {{1, 0}, {1, 2}}},
      // A character of several bytes counts as one.
      {.text = "x\n\xC3\xA9 + y\n",
       .start = 5,
       .end = 8,
       .range = {{1, 2}, {1, 5}}},
      {.text = "\xF0\x9F\x98\x80y",
       .start = 4,
       .end = 5,
       .range = {{0, 1}, {0, 2}}},
      // A range that ends at a line break ends on that line.
      {.text = "ab\ncd\n", .start = 0, .end = 2, .range = {{0, 0}, {0, 2}}},
      {.text = "ab\r\ncd\n", .start = 0, .end = 3, .range = {{0, 0}, {0, 3}}},
      {.text = "ab\r\ncd\n", .start = 4, .end = 6, .range = {{1, 0}, {1, 2}}},
      // A lone "\r" ends a line.
      {.text = "ab\rcd", .start = 3, .end = 5, .range = {{1, 0}, {1, 2}}},
      {.text = "", .start = 0, .end = 0, .range = {{0, 0}, {0, 0}}},
      // A range from the very start over a byte-order mark: the mark counts
      // at neither end.
      {.text = "\xEF\xBB\xBF"
               "ab\ncd",
       .start = 0,
       .end = 5,
       .range = {{0, 0}, {0, 2}}},
      // Ranges over several lines, and one that ends where a line starts.
      {.text = "a\xC3\xA9\nb\xC3\xA9"
               "c\n",
       .start = 1,
       .end = 8,
       .range = {{0, 1}, {1, 3}}},
      {.text = "ab\ncd\n", .start = 1, .end = 3, .range = {{0, 1}, {1, 0}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const divu::LineIndex index = divu::LineIndex::from_source_text(c.text);
    EXPECT_EQ(to_range(divu::TextRange(c.start, c.end), c.text, index),
              c.range);
  }
}

}  // namespace
}  // namespace trelk
