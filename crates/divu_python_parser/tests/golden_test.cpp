// Golden tests of the parser: every testdata/<topic>/<name>.py is parsed and
// its tree dump, followed by the first error if any, is compared with
// <name>.tree beside it. Files named fail_*.py must have an error and all
// others must have none. Topics whose name starts with "expression" are read
// as one expression, the others as modules. Run with TRELK_UPDATE_GOLDEN=1
// to write the expectations anew (then review the diff).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "parse_module.h"
#include "tree_dump.h"

namespace divu {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

template <class T>
std::string render(const Parsed<T>& parsed) {
  std::string out = dump_tree(parsed.syntax());
  if (!parsed.errors().empty()) {
    out += "error: " + parsed.errors().front().to_string() + "\n";
  }
  return out;
}

std::vector<fs::path> golden_inputs() {
  std::vector<fs::path> inputs;
  for (const auto& topic : fs::directory_iterator(TRELK_PARSER_TESTDATA)) {
    if (!topic.is_directory()) {
      continue;
    }
    for (const auto& entry : fs::directory_iterator(topic.path())) {
      if (entry.path().extension() == ".py") {
        inputs.push_back(entry.path());
      }
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

TEST(GoldenTest, TreesAndFirstErrors) {
  const bool update = std::getenv("TRELK_UPDATE_GOLDEN") != nullptr;
  for (const fs::path& input : golden_inputs()) {
    SCOPED_TRACE(input.string());
    const std::string source = read_file(input);
    const std::string topic = input.parent_path().filename().string();
    const bool expression = topic.starts_with("expression");
    bool has_error = false;
    std::string actual;
    if (expression) {
      Parsed<ModExpression> parsed = parse_expression(source);
      has_error = !parsed.errors().empty();
      actual = render(parsed);
    } else {
      Parsed<ModModule> parsed = parse_module_with_errors(source);
      has_error = !parsed.errors().empty();
      actual = render(parsed);
    }
    const bool must_fail = input.filename().string().starts_with("fail_");
    EXPECT_EQ(has_error, must_fail) << actual;
    fs::path expected_path = input;
    expected_path.replace_extension(".tree");
    if (update) {
      std::ofstream(expected_path, std::ios::binary) << actual;
      continue;
    }
    ASSERT_TRUE(fs::exists(expected_path))
        << "no expectation; run with TRELK_UPDATE_GOLDEN=1";
    EXPECT_EQ(actual, read_file(expected_path));
  }
}

}  // namespace
}  // namespace divu
