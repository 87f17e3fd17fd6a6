#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record_dump.h"
#include "type_parsing.h"

namespace trelk {
namespace {

ParsedAstFile extract(std::string_view source,
                      std::string path = "/project/pkg/m.py") {
  auto file = ParsedFileCache::parse(std::move(path), std::string(source));
  if (!file) {
    ADD_FAILURE() << file.error();
    return {};
  }
  return parse_ast_file_with_feature_module(**file, "pkg.m");
}

std::vector<std::string> resolver_names(const ParsedAstFile& file) {
  std::vector<std::string> names;
  for (const ResolverAST& resolver : file.resolvers) {
    names.push_back(resolver.resolver_name);
  }
  return names;
}

TEST(ResolverRecognitionTest, OnlyNamesBoundByTopLevelFromImports) {
  struct Case {
    std::string_view source;
    std::vector<std::string> resolvers;
  };
  const Case kCases[] = {
      {.source = "def f(): pass\n@online\ndef g(): pass\n", .resolvers = {}},
      {.source = "from trelk import online as ol\n"
                 "@ol(cron='1h')\ndef f(): pass\n"
                 "@online\ndef g(): pass\n",
       .resolvers = {"f"}},
      {.source = "from trelk.features import offline, stream\n"
                 "@offline\ndef a(): pass\n"
                 "@stream()\ndef b(): pass\n"
                 "@x.stream\ndef c(): pass\n"
                 "@stream.x\ndef d(): pass\n"
                 "@stream()()\ndef e(): pass\n",
       .resolvers = {"a", "b"}},
      {.source = "import trelk\n@trelk.online\ndef f(): pass\n",
       .resolvers = {}},
      {.source = "from trelk import online\n"
                 "@other\n@online\ndef f(): pass\n",
       .resolvers = {"f"}},
      {.source = "if t:\n    from trelk import online\n"
                 "def g():\n    from trelk import online\n"
                 "@online\ndef f(): pass\n",
       .resolvers = {}},
      {.source = "from trelk.sub import online\nfrom .trelk import stream\n"
                 "@online\ndef f(): pass\n@stream\ndef g(): pass\n",
       .resolvers = {}},
      {.source = "from trelk import online\n"
                 "class C:\n    @online\n    def m(self): pass\n"
                 "    @online\n    async def n(self):\n"
                 "        @online\n        def inner(): pass\n",
       .resolvers = {"m", "n", "inner"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(resolver_names(extract(c.source)), c.resolvers);
  }
}

TEST(FunctionExtractionTest, ExactLocations) {
  struct Case {
    std::string_view name;
    std::string_view source;
    std::string_view dump;
  };
  const Case kCases[] = {
      {.name = "an aliased resolver and a plain function",
       .source = "from trelk import online as ol\n"
                 "@ol(cron=\"1h\")\n"
                 "def f(x):\n"
                 "    return x\n"
                 "@online\n"
                 "def g(): pass\n",
       .dump = "function f 2:4-2:5 module pkg.m\n"
               "  decorator 1:1-1:14\n"
               "  kwarg_name cron 1:4-1:8\n"
               "  kwarg cron 1:9-1:13\n"
               "  args x\n"
               "  arg x 2:6-2:7 annotation -\n"
               "  returns - missing 2:8-2:9\n"
               "  return 3:4-3:12\n"
               "  body 3:4-3:12 return_arg 3:11-3:12\n"
               "function g 5:4-5:5 module pkg.m\n"
               "  args\n"
               "  returns - missing 5:7-5:8\n"
               "  body 5:9-5:13 return_arg -\n"
               "resolver f\n"},
      {.name = "only the first matching decorator counts; a bare name",
       .source = "from trelk.features import online, offline\n"
                 "@offline\n"
                 "@online(a=1)\n"
                 "def f(): ...\n",
       .dump = "function f 3:4-3:5 module pkg.m\n"
               "  decorator 1:1-1:8\n"
               "  args\n"
               "  returns - missing 3:7-3:8\n"
               "  body 3:9-3:12 return_arg -\n"
               "resolver f\n"},
      {.name = "dictionary keywords keep string-literal keys only",
       .source = "from trelk import online\n"
                 "@online(cron=\"1h\", tags={\"a\": 1, \"b\": x, c: 2}, "
                 "owner={d: 1}, **rest)\n"
                 "def f(): ...\n",
       .dump = "function f 2:4-2:5 module pkg.m\n"
               "  decorator 1:1-1:69\n"
               "  kwarg_name cron 1:8-1:12\n"
               "  kwarg_name tags 1:19-1:23\n"
               "  kwarg_name owner 1:48-1:53\n"
               "  kwarg cron 1:13-1:17\n"
               "  kwarg tags 1:24-1:46\n"
               "  kwarg owner 1:54-1:60\n"
               "  dict_key tags \"a\" 1:25-1:28\n"
               "  dict_key tags \"b\" 1:33-1:36\n"
               "  dict_value tags \"a\" 1:30-1:31\n"
               "  dict_value tags \"b\" 1:38-1:39\n"
               "  args\n"
               "  returns - missing 2:7-2:8\n"
               "  body 2:9-2:12 return_arg -\n"
               "resolver f\n"},
      {.name = "a concatenated key and a repeated key",
       .source = "from trelk import online\n"
                 "@online(t={\"a\" \"b\": 1, \"k\": 2, \"k\": 3})\n"
                 "def f(): ...\n",
       .dump = "function f 2:4-2:5 module pkg.m\n"
               "  decorator 1:1-1:39\n"
               "  kwarg_name t 1:8-1:9\n"
               "  kwarg t 1:10-1:38\n"
               "  dict_key t \"k\" 1:31-1:34\n"
               "  dict_value t \"k\" 1:36-1:37\n"
               "  args\n"
               "  returns - missing 2:7-2:8\n"
               "  body 2:9-2:12 return_arg -\n"
               "resolver f\n"},
      {.name = "every parameter kind, an annotation, nested returns",
       .source = "def f(a, /, b=1, *args, c: int, **kw) -> int:\n"
                 "    if c:\n"
                 "        return 1\n"
                 "    return 2\n",
       .dump = "function f 0:4-0:5 module pkg.m\n"
               "  args a b args c kw\n"
               "  arg a 0:6-0:7 annotation -\n"
               "  arg b 0:12-0:13 annotation -\n"
               "  arg args 0:17-0:22 annotation -\n"
               "  arg c 0:24-0:30 annotation 0:27-0:30\n"
               "  arg kw 0:32-0:36 annotation -\n"
               "  returns 0:41-0:44 missing -\n"
               "  return 2:8-2:16\n"
               "  return 3:4-3:12\n"
               "  body 1:4-3:12 return_arg 3:11-3:12\n"},
      {.name = "a repeated parameter name; a bare first return",
       .source = "def f(a, *, a: int = 0):\n"
                 "    return\n"
                 "    return 1\n",
       .dump = "function f 0:4-0:5 module pkg.m\n"
               "  args a a\n"
               "  arg a 0:12-0:18 annotation 0:15-0:18\n"
               "  returns - missing 0:23-0:24\n"
               "  return 1:4-1:10\n"
               "  return 2:4-2:12\n"
               "  body 1:4-2:12 return_arg -\n"},
      {.name = "methods and nested functions",
       .source = "class C:\n"
                 "    def m(self):\n"
                 "        def inner():\n"
                 "            return 1\n"
                 "        return inner\n",
       .dump = "function m 1:8-1:9 module pkg.m\n"
               "  args self\n"
               "  arg self 1:10-1:14 annotation -\n"
               "  returns - missing 1:15-1:16\n"
               "  return 3:12-3:20\n"
               "  return 4:8-4:20\n"
               "  body 2:8-4:20 return_arg 4:15-4:20\n"
               "function inner 2:12-2:17 module pkg.m\n"
               "  args\n"
               "  returns - missing 2:19-2:20\n"
               "  return 3:12-3:20\n"
               "  body 3:12-3:20 return_arg 3:19-3:20\n"},
      {.name = "a keyword written in a compatibility form is left out",
       .source = "from trelk import online\n"
                 "@online(\xEF\xBD\x83ron=1, b=2)\n"
                 "def f(): pass\n",
       .dump = "function f 2:4-2:5 module pkg.m\n"
               "  decorator 1:1-1:20\n"
               "  kwarg_name b 1:16-1:17\n"
               "  kwarg b 1:18-1:19\n"
               "  args\n"
               "  returns - missing 2:7-2:8\n"
               "  body 2:9-2:13 return_arg -\n"
               "resolver f\n"},
      {.name = "a byte-order mark, async and CRLF",
       .source = "\xEF\xBB\xBF"
                 "async def f(x):\r\n    return x\r\n",
       .dump = "function f 0:10-0:11 module pkg.m\n"
               "  args x\n"
               "  arg x 0:12-0:13 annotation -\n"
               "  returns - missing 0:14-0:15\n"
               "  return 1:4-1:12\n"
               "  body 1:4-1:12 return_arg 1:11-1:12\n"},
      {.name = "characters of several bytes count once",
       .source = "def \xC3\xA9(\xC3\xBC): return \xC3\xBC\n",
       .dump = "function \xC3\xA9 0:4-0:5 module pkg.m\n"
               "  args \xC3\xBC\n"
               "  arg \xC3\xBC 0:6-0:7 annotation -\n"
               "  returns - missing 0:8-0:9\n"
               "  return 0:10-0:18\n"
               "  body 0:10-0:18 return_arg 0:17-0:18\n"},
      {.name = "the header colon after a line continuation",
       .source = "def f(\n    x,\n)   \\\n  :\n    pass\n",
       .dump = "function f 0:4-0:5 module pkg.m\n"
               "  args x\n"
               "  arg x 1:4-1:5 annotation -\n"
               "  returns - missing 3:2-3:3\n"
               "  body 4:4-4:8 return_arg -\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dump_parsed_ast_file(extract(c.source)), c.dump);
  }
}

TEST(FunctionExtractionTest, LambdasAreNoDefinitions) {
  const ParsedAstFile file = extract("f = lambda x: x\nclass C: pass\n");
  EXPECT_TRUE(file.functions.empty());
}

TEST(FunctionExtractionTest, APathThatDoesNotResolveHasNoDefinitions) {
  const ParsedAstFile file = extract(
      "from trelk import online\n@online\ndef f(): pass\n", "no/such/dir/m.py");
  EXPECT_TRUE(file.functions.empty());
  EXPECT_TRUE(file.resolvers.empty());
  EXPECT_TRUE(file.feature_classes.empty());
}

TEST(FunctionExtractionTest, PathsThatNeedEscapingKeepTheirLocations) {
  for (const std::string path : {"/home/jos\xC3\xA9/m.py", "/w/weird[1]/m.py",
                                 "/w/a#b/m.py", "/w/my proj/m.py"}) {
    SCOPED_TRACE(path);
    const ParsedAstFile file = extract("def f(): pass\n", path);
    ASSERT_EQ(file.functions.size(), 1u);
    EXPECT_TRUE(
        file.functions[0].resolver_name_location.uri.as_str().starts_with(
            "file:///"));
  }
}

// Past the few names that maps search in order: every name keeps the place
// of its first appearance, and a later one of the same name gives the value.
TEST(FunctionExtractionTest, ManyNamesKeepTheirFirstPlaceAndTheirLastValue) {
  constexpr std::size_t kCount = 20;
  std::string parameters;
  std::string keywords;
  std::string keys;
  for (std::size_t number = 0; number < kCount; ++number) {
    const std::string digits = std::to_string(number);
    parameters += "p" + digits + ", ";
    keywords += "k" + digits + "=0, ";
    keys += "'a" + digits + "': 0, ";
  }
  const std::string source = "from trelk import online\n@online(" + keywords +
                             "keys={" + keys + "'a5': 1})\ndef f(" +
                             parameters + "p3: int): pass\n";
  const ParsedAstFile file = extract(source);
  ASSERT_EQ(file.resolvers.size(), 1u);
  const ResolverAST& resolver = file.resolvers[0];
  EXPECT_EQ(resolver.args_in_order.size(), kCount + 1);
  ASSERT_EQ(resolver.args.size(), kCount);
  std::size_t number = 0;
  for (const auto& [name, arg] : resolver.args) {
    EXPECT_EQ(name, "p" + std::to_string(number));
    EXPECT_EQ(arg.annotation.has_value(), number == 3) << name;
    ++number;
  }
  EXPECT_EQ(resolver.kwargs.size(), kCount + 1);
  EXPECT_NE(resolver.kwarg_names.find("k19"), nullptr);
  const LocationMap* values = resolver.kwarg_dict_values.find("keys");
  ASSERT_NE(values, nullptr);
  ASSERT_EQ(values->size(), kCount);
  // The value of the last 'a5' is the "1" just before "})"; the decorator
  // stands on line 1.
  const auto last =
      static_cast<std::uint32_t>(source.find("1})") - source.find('@'));
  number = 0;
  for (const auto& [name, location] : *values) {
    EXPECT_EQ(name, "a" + std::to_string(number));
    EXPECT_EQ(location.range.start.character == last, number == 5) << name;
    ++number;
  }
  EXPECT_EQ(resolver.args.find("p20"), nullptr);
}

TEST(ImportNamesTest, UnionOverModulesAndSymbols) {
  auto file = ParsedFileCache::parse(
      "m.py",
      "from a import x as one, y\nfrom b import x as two\nfrom c import x\n");
  ASSERT_TRUE(file.has_value());
  constexpr std::string_view kModules[] = {"a", "b", "missing"};
  constexpr std::string_view kSymbols[] = {"x", "z"};
  EXPECT_EQ(collect_import_names_for_symbols_from_map((*file)->import_map(),
                                                      kModules, kSymbols),
            (NameSet{"one", "two"}));
}

}  // namespace
}  // namespace trelk
