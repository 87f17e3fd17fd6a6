#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "record_dump.h"
#include "type_parsing.h"

namespace trelk {
namespace {

std::vector<FeatureClassAST> feature_classes(std::string_view source) {
  auto file = ParsedFileCache::parse("/project/pkg/m.py", std::string(source));
  if (!file) {
    ADD_FAILURE() << file.error();
    return {};
  }
  return parse_ast_file_with_feature_module(**file, "pkg.m").feature_classes;
}

std::string dump_all(const std::vector<FeatureClassAST>& classes) {
  std::string out;
  for (const FeatureClassAST& cls : classes) {
    out += dump_feature_class(cls);
  }
  return out;
}

TEST(FeatureClassExtractionTest, ExactLocations) {
  struct Case {
    std::string_view name;
    std::string_view source;
    std::string_view dump;
  };
  const Case kCases[] = {
      {.name = "an aliased decorator with a name; the unbound name is none",
       .source = "from trelk.features import features as ft\n"
                 "@ft(name=\"users\")\n"
                 "class User:\n"
                 "    x: int\n"
                 "@features\n"
                 "class Other:\n"
                 "    y: int\n",
       .dump = "feature_class User 2:6-2:10 module pkg.m namespace \"users\"\n"
               "  line 2:0-2:11\n"
               "  decorator 1:1-1:17\n"
               "  kwarg_name name 1:4-1:8\n"
               "  kwarg name 1:9-1:16\n"
               "  source \"@ft(name=\\\"users\\\")\\nclass User:\\n    x: "
               "int\\n\"\n"
               "  annotation x 3:4-3:5 annotation 3:7-3:10 call -\n"
               "  field x 3:4-3:5 annotation 3:7-3:10 call -\n"},
      {.name = "fields: annotated, plain, and statements that are none",
       .source = "from trelk.features import features\n"
                 "@features\n"
                 "class C:\n"
                 "    x: int\n"
                 "    y: str = feature(max_staleness=\"1d\")\n"
                 "    z = 5\n"
                 "    a = b = 1\n"
                 "    self.c = 2\n"
                 "    (d, e) = 1, 2\n"
                 "    if t:\n"
                 "        w: int\n"
                 "    def m(self):\n"
                 "        v = 1\n",
       .dump = "feature_class C 2:6-2:7 module pkg.m namespace \"c\"\n"
               "  line 2:0-2:8\n"
               "  decorator 1:1-1:9\n"
               "  source \"@features\\nclass C:\\n    x: int\\n    y: str = "
               "feature(max_staleness=\\\"1d\\\")\\n    z = 5\\n    a = b = "
               "1\\n    self.c = 2\\n    (d, e) = 1, 2\\n    if t:\\n        "
               "w: int\\n    def m(self):\\n        v = 1\\n\"\n"
               "  annotation x 3:4-3:5 annotation 3:7-3:10 call -\n"
               "  annotation y 4:4-4:5 annotation 4:7-4:10 call 4:13-4:40\n"
               "    kwarg_name max_staleness 4:21-4:34\n"
               "    kwarg max_staleness 4:35-4:39\n"
               "  field x 3:4-3:5 annotation 3:7-3:10 call -\n"
               "  field y 4:4-4:5 annotation 4:7-4:10 call 4:13-4:40\n"
               "    kwarg_name max_staleness 4:21-4:34\n"
               "    kwarg max_staleness 4:35-4:39\n"
               "  field z 5:4-5:5 annotation - call 5:8-5:9\n"},
      {.name = "merges of annotated and plain statements of one name",
       .source = "from trelk.features import features\n"
                 "@features()\n"
                 "class C:\n"
                 "    x: int = feature(a=1)\n"
                 "    x = other(b=2)\n"
                 "    y: int = feature(a=1)\n"
                 "    y = 5\n"
                 "    z: int\n"
                 "    z: str\n"
                 "    q: int = 5\n",
       .dump = "feature_class C 2:6-2:7 module pkg.m namespace \"c\"\n"
               "  line 2:0-2:8\n"
               "  decorator 1:1-1:11\n"
               "  source \"@features()\\nclass C:\\n    x: int = "
               "feature(a=1)\\n    x = other(b=2)\\n    y: int = "
               "feature(a=1)\\n    y = 5\\n    z: int\\n    z: str\\n    q: "
               "int = 5\\n\"\n"
               "  annotation x 3:4-3:5 annotation 3:7-3:10 call 3:13-3:25\n"
               "    kwarg_name a 3:21-3:22\n"
               "    kwarg a 3:23-3:24\n"
               "  annotation y 5:4-5:5 annotation 5:7-5:10 call 5:13-5:25\n"
               "    kwarg_name a 5:21-5:22\n"
               "    kwarg a 5:23-5:24\n"
               "  annotation z 7:4-7:5 annotation 7:7-7:10 call -\n"
               "  annotation z 8:4-8:5 annotation 8:7-8:10 call -\n"
               "  annotation q 9:4-9:5 annotation 9:7-9:10 call -\n"
               "  field x 3:4-3:5 annotation 3:7-3:10 call 4:8-4:18\n"
               "    kwarg_name b 4:14-4:15\n"
               "    kwarg b 4:16-4:17\n"
               "  field y 5:4-5:5 annotation 5:7-5:10 call 6:8-6:9\n"
               "  field z 7:4-7:5 annotation 7:7-7:10 call -\n"
               "  field q 9:4-9:5 annotation 9:7-9:10 call -\n"},
      {.name = "a class nested in a function, CRLF, a trailing comment",
       .source = "from trelk.features import features\r\n"
                 "def outer():\r\n"
                 "    @features\r\n"
                 "    class C:\r\n"
                 "        x: int\r\n"
                 "  \r\n"
                 "        y = 1  # tail\r\n"
                 "    z = 0\r\n",
       .dump =
           "feature_class C 3:10-3:11 module pkg.m namespace \"c\"\n"
           "  line 3:0-3:13\n"
           "  decorator 2:5-2:13\n"
           "  source \"@features\\r\\nclass C:\\r\\n    x: int\\r\\n\\r\\n  "
           "  y = 1  # tail\\r\\n\"\n"
           "  annotation x 4:8-4:9 annotation 4:11-4:14 call -\n"
           "  field x 4:8-4:9 annotation 4:11-4:14 call -\n"
           "  field y 6:8-6:9 annotation - call 6:12-6:13\n"},
      {.name = "tabs, and a byte-order mark",
       .source = "\xEF\xBB\xBF"
                 "from trelk.features import features\n"
                 "def outer():\n"
                 "\t@features\n"
                 "\tclass T:\n"
                 "\t\tx: int\n",
       .dump = "feature_class T 3:7-3:8 module pkg.m namespace \"t\"\n"
               "  line 3:0-3:9\n"
               "  decorator 2:2-2:10\n"
               "  source \"@features\\nclass T:\\n\\tx: int\\n\"\n"
               "  annotation x 4:2-4:3 annotation 4:5-4:8 call -\n"
               "  field x 4:2-4:3 annotation 4:5-4:8 call -\n"},
      {.name = "a string line at column 0 keeps every indentation",
       .source = "from trelk.features import features\n"
                 "def outer():\n"
                 "    @features\n"
                 "    class S:\n"
                 "        doc = \"\"\"\n"
                 "at zero\n"
                 "\"\"\"\n",
       .dump = "feature_class S 3:10-3:11 module pkg.m namespace \"s\"\n"
               "  line 3:0-3:12\n"
               "  decorator 2:5-2:13\n"
               "  source \"    @features\\n    class S:\\n        doc = "
               "\\\"\\\"\\\"\\nat zero\\n\\\"\\\"\\\"\\n\"\n"
               "  field doc 4:8-4:11 annotation - call 4:14-6:3\n"},
      {.name = "lines that end with a lone carriage return",
       .source = "from trelk.features import features\r@features\rclass "
                 "R:\r    x: int\r",
       .dump = "feature_class R 2:6-2:7 module pkg.m namespace \"r\"\n"
               "  line 0:0-4:0\n"
               "  decorator 1:1-1:9\n"
               "  source \"from trelk.features import "
               "features\\r@features\\rclass R:\\r    x: int\\r\"\n"
               "  annotation x 3:4-3:5 annotation 3:7-3:10 call -\n"
               "  field x 3:4-3:5 annotation 3:7-3:10 call -\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dump_all(feature_classes(c.source)), c.dump);
  }
}

TEST(FeatureClassExtractionTest, NamespaceFromTheNameKeywordOrTheClassName) {
  struct Case {
    std::string_view decorator;
    std::string_view namespace_name;
    std::vector<std::string> keywords = {};
  };
  const Case kCases[] = {
      {.decorator = "@features", .namespace_name = "user_profile"},
      {.decorator = "@features()", .namespace_name = "user_profile"},
      {.decorator = "@features(name='users')",
       .namespace_name = "users",
       .keywords = {"name"}},
      {.decorator = "@features(name=\"a\" \"b\")",
       .namespace_name = "user_profile",
       .keywords = {"name"}},
      {.decorator = "@features(name=f\"x\")",
       .namespace_name = "user_profile",
       .keywords = {"name"}},
      {.decorator = "@features(name=NS, owner='o')",
       .namespace_name = "user_profile",
       .keywords = {"name", "owner"}},
      {.decorator = "@features(**opts)", .namespace_name = "user_profile"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.decorator);
    const std::vector<FeatureClassAST> classes = feature_classes(
        "from trelk.features import features\n" + std::string(c.decorator) +
        "\nclass UserProfile:\n    x: int\n");
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_EQ(classes[0].namespace_name, c.namespace_name);
    std::vector<std::string> names;
    for (const auto& [name, location] : classes[0].kwarg_names) {
      names.push_back(name);
      EXPECT_TRUE(classes[0].kwargs.contains(name));
    }
    EXPECT_EQ(names, c.keywords);
  }
}

TEST(FeatureClassExtractionTest, WhichClassesAreFeatureClasses) {
  struct Case {
    std::string_view source;
    std::vector<std::string> classes;
  };
  const Case kCases[] = {
      {.source = "@features\nclass A: pass\n", .classes = {}},
      {.source = "import trelk.features\n@trelk.features.features\n"
                 "class A: pass\n",
       .classes = {}},
      {.source = "from trelk import features\n@features\nclass A: pass\n",
       .classes = {}},
      {.source = "from trelk.features import features\n"
                 "@other\nclass A: pass\n"
                 "@dataclass\n@features\nclass B: pass\n"
                 "class C:\n    @features\n    class D:\n        x: int\n"
                 "def f():\n    @features\n    class E: pass\n",
       .classes = {"B", "D", "E"}},
      {.source = "from trelk.features import features\n"
                 "@features\nclass Outer:\n    @features\n    class Inner: "
                 "pass\n",
       .classes = {"Outer", "Inner"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.source);
    std::vector<std::string> names;
    for (const FeatureClassAST& cls : feature_classes(c.source)) {
      names.push_back(cls.class_name);
    }
    EXPECT_EQ(names, c.classes);
  }
}

TEST(FeatureClassExtractionTest, DocumentingComments) {
  const std::vector<FeatureClassAST> classes = feature_classes(
      "from trelk.features import features\n"
      "@features  # on the decorator line\n"
      "class C:\n"
      "    # Name of the user.\n"
      "    # :owner: ops\n"
      "    # :tags: pii, core\n"
      "    name: str\n"
      "\n"
      "    # separated\n"
      "\n"
      "    gap: int\n"
      "    #\n"
      "    bare: int\n"
      "    last: int  # trailing\n"
      "    ##  Name\n"
      "    #:tags:a,b\n"
      "    # :tags: a b\n"
      "    #:tags:\n"
      "    # :owner:\n"
      "    tagged: int\n"
      "    # first\n"
      "    a: int\n"
      "    # second\n"
      "    b = feature()\n"
      "    # :Owner: X\n"
      "    # text :owner: Y\n"
      "    #\n"
      "    cap: int\n"
      "    #\n"
      "    # after empty\n"
      "    emp: int\n"
      "    # one\n"
      "    twice: int\n"
      "    # two\n"
      "    # :owner: later\n"
      "    twice = feature()\n"
      "    # :owner: first\n"
      "    # :owner:  last \n"
      "    # \n"
      "    owners: int\n"
      "# after the class\n");
  ASSERT_EQ(classes.size(), 1u);
  struct Expected {
    std::string_view field;
    std::optional<std::string> comment = {};
    std::optional<std::string> description = {};
    std::optional<std::string> owner = {};
    std::vector<std::string> tags = {};
  };
  const Expected kFields[] = {
      {.field = "name",
       .comment = "Name of the user.\n:owner: ops\n:tags: pii, core",
       .description = "Name of the user.",
       .owner = "ops",
       .tags = {"pii", "core"}},
      {.field = "gap"},
      {.field = "bare", .comment = ""},
      {.field = "last"},
      {.field = "tagged",
       .comment = "Name\n:tags:a,b\n:tags: a b\n:tags:\n:owner:",
       .description = "Name",
       .owner = "",
       .tags = {"a", "b", "a", "b"}},
      {.field = "a", .comment = "first", .description = "first"},
      {.field = "b", .comment = "second", .description = "second"},
      {.field = "cap",
       .comment = ":Owner: X\ntext :owner: Y\n",
       .description = ":Owner: X\ntext :owner: Y"},
      {.field = "emp",
       .comment = "\nafter empty",
       .description = "\nafter empty"},
      {.field = "twice",
       .comment = "two\n:owner: later",
       .description = "two",
       .owner = "later"},
      {.field = "owners",
       .comment = ":owner: first\n:owner:  last\n",
       .owner = "last"},
  };
  const FeatureClassAST& cls = classes[0];
  for (const Expected& expected : kFields) {
    SCOPED_TRACE(expected.field);
    const FeatureFieldAST* field = cls.fields.find(expected.field);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->comment, expected.comment);
    EXPECT_EQ(field->description, expected.description);
    EXPECT_EQ(field->owner, expected.owner);
    EXPECT_EQ(field->tags, expected.tags);
  }
  // Both statements of `twice` carry the later block.
  ASSERT_EQ(cls.annotations.size(), 10u);
  EXPECT_EQ(cls.annotations[8].field_name, "twice");
  EXPECT_EQ(cls.annotations[8].owner, "later");
}

TEST(CommentBlockTest, OwnerTagsAndDescription) {
  struct Case {
    std::vector<std::string_view> texts;
    FieldCommentMetadata metadata;
  };
  const Case kCases[] = {
      {.texts = {""}, .metadata = {.comment = ""}},
      {.texts = {":owner:"}, .metadata = {.comment = ":owner:", .owner = ""}},
      {.texts = {":tags:"}, .metadata = {.comment = ":tags:"}},
      {.texts = {"  ", "x"},
       .metadata = {.comment = "  \nx", .description = "  \nx"}},
      {.texts = {"   "}, .metadata = {.comment = "   "}},
      {.texts = {":tags: a,,b\xC2\xA0"
                 "c"},
       .metadata = {.comment = ":tags: a,,b\xC2\xA0"
                               "c",
                    .tags = {"a", "b", "c"}}},
      {.texts = {":ownerX"},
       .metadata = {.comment = ":ownerX", .description = ":ownerX"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.texts));
    EXPECT_EQ(parse_comment_block(c.texts), c.metadata);
  }
}

TEST(DedentTest, CutsWholeLinesAndRemovesTheCommonIndentation) {
  struct Case {
    std::string_view text;
    divu::TextSize start;
    divu::TextSize end;
    std::optional<std::string> source;
  };
  const Case kCases[] = {
      {.text = "    a\n      b\n", .start = 4, .end = 12, .source = "a\n  b\n"},
      {.text = "x\n  a\n \t\n  b", .start = 4, .end = 12, .source = "a\n\nb"},
      {.text = "\t a\n\t\tb\n", .start = 2, .end = 7, .source = " a\n\tb\n"},
      {.text = "  a\r\n  b\r\nrest",
       .start = 2,
       .end = 8,
       .source = "a\r\nb\r\n"},
      // Inside a character: no source.
      {.text = "\xC3\xA9", .start = 1, .end = 2, .source = std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(dedented_source(c.text, c.start, c.end), c.source);
  }
}

}  // namespace
}  // namespace trelk
