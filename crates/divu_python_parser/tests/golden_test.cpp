// Golden tests of the parser: every testdata/<topic>/<name>.py is parsed and
// its tree dump, followed by the first error if any, is compared with
// <name>.tree beside it. Files named fail_*.py must have an error and all
// others must have none. Topics whose name starts with "expression" are read
// as one expression, the others as modules. Run with TRELK_UPDATE_GOLDEN=1
// to write the expectations anew (then review the diff). Each file is a test
// of its own, named "<topic>_<name>".

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

// Every input file, sorted, as its path below the test data directory,
// "<topic>/<name>.py".
std::vector<std::string> golden_inputs() {
  std::vector<std::string> inputs;
  for (const auto& topic : fs::directory_iterator(TRELK_PARSER_TESTDATA)) {
    if (!topic.is_directory()) {
      continue;
    }
    for (const auto& entry : fs::directory_iterator(topic.path())) {
      if (entry.path().extension() == ".py") {
        inputs.push_back(
            entry.path().lexically_relative(TRELK_PARSER_TESTDATA).string());
      }
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

// "<topic>_<name>", so that one file's test can be picked with
// --gtest_filter='*/compound_fail_else_after_finally'.
std::string golden_test_name(const testing::TestParamInfo<std::string>& info) {
  const fs::path input(info.param);
  std::string name =
      input.parent_path().filename().string() + "_" + input.stem().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }
  return name;
}

class GoldenTest : public testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, TreeAndFirstError) {
  const fs::path input = fs::path(TRELK_PARSER_TESTDATA) / GetParam();
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
  if (std::getenv("TRELK_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(expected_path, std::ios::binary) << actual;
    return;
  }
  ASSERT_TRUE(fs::exists(expected_path))
      << "no expectation; run with TRELK_UPDATE_GOLDEN=1";
  EXPECT_EQ(actual, read_file(expected_path));
}

INSTANTIATE_TEST_SUITE_P(Testdata, GoldenTest,
                         testing::ValuesIn(golden_inputs()), golden_test_name);

}  // namespace
}  // namespace divu
