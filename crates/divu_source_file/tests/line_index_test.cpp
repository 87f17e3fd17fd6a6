#include "line_index.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "invariant.h"
#include "line_ranges.h"

namespace divu {

void PrintTo(const SourceLocation& location, std::ostream* out) {
  *out << location.line << ":" << location.column;
}

namespace {

using namespace std::string_view_literals;

// How a probe asks: source_location in one unit, or line_column.
enum class Ask { Bytes, Utf16, Characters, LineColumn };

struct Probe {
  TextSize offset;
  Ask ask;
  std::uint32_t line;
  std::uint32_t column;
};

struct Case {
  std::string_view name;
  std::string_view text;
  std::vector<TextSize> line_starts;
  TextKind kind;
  std::vector<Probe> probes;
};

SourceLocation ask(const LineIndex& index, std::string_view text,
                   const Probe& probe) {
  switch (probe.ask) {
    case Ask::Bytes:
      return index.source_location(probe.offset, text, ColumnUnit::Bytes);
    case Ask::Utf16:
      return index.source_location(probe.offset, text, ColumnUnit::Utf16Units);
    case Ask::Characters:
      return index.source_location(probe.offset, text, ColumnUnit::Characters);
    case Ask::LineColumn:
      return index.line_column(probe.offset, text);
  }
  return {};
}

// "\xC3\xA9" is U+00E9 (two bytes), "\xF0\x9F\x98\x80" U+1F600 (four bytes,
// two UTF-16 units), "\xE2\x82\xAC" U+20AC (three bytes).
const std::vector<Case>& cases() {
  static const std::vector<Case> kCases = {
      {.name = "empty",
       .text = ""sv,
       .line_starts = {0},
       .kind = TextKind::Ascii,
       .probes = {{0, Ask::LineColumn, 1, 1}, {0, Ask::Bytes, 1, 1}}},
      {.name = "LF",
       .text = "a\nb"sv,
       .line_starts = {0, 2},
       .kind = TextKind::Ascii,
       .probes = {{2, Ask::LineColumn, 2, 1}, {1, Ask::LineColumn, 1, 2}}},
      {.name = "CRLF counts once, at its LF",
       .text = "a\r\nb"sv,
       .line_starts = {0, 3},
       .kind = TextKind::Ascii,
       .probes = {{1, Ask::LineColumn, 1, 2},
                  {2, Ask::LineColumn, 1, 3},
                  {3, Ask::LineColumn, 2, 1}}},
      {.name = "lone CR",
       .text = "a\rb"sv,
       .line_starts = {0, 2},
       .kind = TextKind::Ascii,
       .probes = {{2, Ask::LineColumn, 2, 1}}},
      {.name = "trailing LF makes an empty last line",
       .text = "a\n"sv,
       .line_starts = {0, 2},
       .kind = TextKind::Ascii,
       .probes = {{2, Ask::LineColumn, 2, 1}}},
      {.name = "CR alone",
       .text = "\r"sv,
       .line_starts = {0, 1},
       .kind = TextKind::Ascii,
       .probes = {{0, Ask::LineColumn, 1, 1}, {1, Ask::LineColumn, 2, 1}}},
      {.name = "CR then CRLF",
       .text = "\r\r\n"sv,
       .line_starts = {0, 1, 3},
       .kind = TextKind::Ascii,
       .probes = {{1, Ask::LineColumn, 2, 1}, {2, Ask::LineColumn, 2, 2}}},
      {.name = "LF CR is two breaks",
       .text = "\n\rx"sv,
       .line_starts = {0, 1, 2},
       .kind = TextKind::Ascii,
       .probes = {{2, Ask::LineColumn, 3, 1}}},
      {.name = "other separators end no line",
       .text = "a\f\vb\xC2\x85"
               "c\xE2\x80\xA8"
               "d\xE2\x80\xA9"
               "e"sv,
       .line_starts = {0},
       .kind = TextKind::Utf8,
       .probes = {{14, Ask::LineColumn, 1, 10}}},
      {.name = "two-byte character",
       .text = "\xC3\xA9x"sv,
       .line_starts = {0},
       .kind = TextKind::Utf8,
       .probes = {{2, Ask::Bytes, 1, 3},
                  {2, Ask::Characters, 1, 2},
                  {2, Ask::Utf16, 1, 2},
                  {2, Ask::LineColumn, 1, 2}}},
      {.name = "astral character",
       .text = "a\xF0\x9F\x98\x80x\n\xE2\x82\xAC\xF0\x9F\x98\x80y"sv,
       .line_starts = {0, 7},
       .kind = TextKind::Utf8,
       .probes = {{5, Ask::Bytes, 1, 6},
                  {5, Ask::Utf16, 1, 4},
                  {5, Ask::Characters, 1, 3},
                  {6, Ask::LineColumn, 1, 4},
                  {14, Ask::Bytes, 2, 8},
                  {14, Ask::Utf16, 2, 4},
                  {14, Ask::Characters, 2, 3}}},
      {.name = "multi-byte characters after CRLF",
       .text = "\xC3\xA9\r\n\xC3\xA9\xC3\xA9x"sv,
       .line_starts = {0, 4},
       .kind = TextKind::Utf8,
       .probes = {{3, Ask::LineColumn, 1, 3},
                  {8, Ask::LineColumn, 2, 3},
                  {8, Ask::Bytes, 2, 5}}},
      {.name = "byte-order mark is not a column on line 1",
       .text = "\xEF\xBB\xBFx\ny"sv,
       .line_starts = {0, 5},
       .kind = TextKind::Utf8,
       .probes = {{3, Ask::LineColumn, 1, 1},
                  {3, Ask::Characters, 1, 2},
                  {0, Ask::LineColumn, 1, 1},
                  {4, Ask::LineColumn, 1, 2},
                  {5, Ask::LineColumn, 2, 1},
                  {6, Ask::LineColumn, 2, 2}}},
      {.name = "byte-order mark later in the text is a character",
       .text = "x\n\xEF\xBB\xBFy"sv,
       .line_starts = {0, 2},
       .kind = TextKind::Utf8,
       .probes = {{5, Ask::LineColumn, 2, 2}}},
      {.name = "offset past the last line start",
       .text = "ab\ncd"sv,
       .line_starts = {0, 3},
       .kind = TextKind::Ascii,
       .probes = {{5, Ask::LineColumn, 2, 3}}},
      {.name = "a word of text without breaks, then breaks in one word",
       .text = "0123456789abcdef\n\n\r\r\n\n\r\n"sv,
       .line_starts = {0, 17, 18, 19, 21, 22, 24},
       .kind = TextKind::Ascii,
       .probes = {{20, Ask::LineColumn, 4, 2}, {24, Ask::LineColumn, 7, 1}}},
  };
  return kCases;
}

TEST(LineIndexTest, LineStartsKindsAndPositions) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const LineIndex index = LineIndex::from_source_text(c.text);
    EXPECT_EQ(std::vector<TextSize>(index.line_starts().begin(),
                                    index.line_starts().end()),
              c.line_starts);
    EXPECT_EQ(index.kind(), c.kind);
    for (const Probe& probe : c.probes) {
      SCOPED_TRACE(testing::Message() << "offset " << probe.offset << " ask "
                                      << static_cast<int>(probe.ask));
      EXPECT_EQ(ask(index, c.text, probe),
                (SourceLocation{probe.line, probe.column}));
    }
  }
}

// Texts of 1 to 90 lines, of lengths that vary (empty lines included) and
// ending in each kind of break, so that the line starts cross the
// scanner's 16- and 64-byte steps and the search meets every count of
// lines: at every offset, the line and column are those counted by hand.
TEST(LineIndexTest, EveryOffsetFindsItsLine) {
  constexpr std::string_view kBreaks[] = {"\n", "\r\n", "\r"};
  for (std::size_t lines = 1; lines <= 90; ++lines) {
    std::string text;
    std::vector<TextSize> starts = {0};
    for (std::size_t line = 0; line + 1 < lines; ++line) {
      // A line after a lone "\r" is never empty: it would make "\r\n".
      text.append((line * 7) % 5 + (line % 3 == 0 ? 1 : 0), 'x');
      text += kBreaks[line % 3];
      starts.push_back(static_cast<TextSize>(text.size()));
    }
    text += "tail";
    SCOPED_TRACE(testing::Message() << lines << " lines");
    const LineIndex index = LineIndex::from_source_text(text);
    ASSERT_EQ(std::vector<TextSize>(index.line_starts().begin(),
                                    index.line_starts().end()),
              starts);
    std::size_t line = 0;
    for (TextSize offset = 0; offset <= text.size(); ++offset) {
      while (line + 1 < starts.size() && starts[line + 1] <= offset) {
        ++line;
      }
      ASSERT_EQ(index.source_location(offset, text, ColumnUnit::Bytes),
                (SourceLocation{static_cast<std::uint32_t>(line + 1),
                                offset - starts[line] + 1}))
          << "offset " << offset;
    }
  }
}

TEST(LineIndexTest, CopiesShareOneTable) {
  const LineIndex index = LineIndex::from_source_text("a\nb\n");
  const LineIndex copy = index;
  EXPECT_EQ(copy.line_starts().data(), index.line_starts().data());
}

TEST(LineIndexTest, OffsetsOutsideTheContractAreBrokenInvariants) {
  const std::string_view text = "\xC3\xA9\n";
  const LineIndex index = LineIndex::from_source_text(text);
  EXPECT_THROW((void)index.line_column(4, text), trelk::InvariantFailure);
  EXPECT_THROW((void)index.line_column(1, text), trelk::InvariantFailure);
  // In bytes no character is walked, so only the bounds count.
  EXPECT_EQ(index.source_location(1, text, ColumnUnit::Bytes),
            (SourceLocation{1, 2}));
  const LineIndex ascii = LineIndex::from_source_text("ab");
  EXPECT_THROW((void)ascii.line_column(3, "ab"), trelk::InvariantFailure);
}

// A text of 2^32 bytes is refused before any byte of it is read, so an
// inaccessible reservation of that size stands in for it.
TEST(LineIndexTest, TextOfFourGibibytesIsRefused) {
  constexpr std::size_t kSize = std::size_t{1} << 32;
  void* memory = mmap(nullptr, kSize, PROT_NONE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (memory == MAP_FAILED) {
    GTEST_SKIP() << "cannot reserve 4 GiB of address space";
  }
  const std::string_view text(static_cast<const char*>(memory), kSize);
  try {
    (void)LineIndex::from_source_text(text);
    ADD_FAILURE() << "no failure";
  } catch (const trelk::InvariantFailure& failure) {
    EXPECT_EQ(failure.message(),
              "assertion failed: u32::try_from(bytes.len()).is_ok()");
  }
  munmap(memory, kSize);
}

struct LineStartCase {
  std::string_view text;
  TextSize offset;
  TextSize line_start;
};

constexpr LineStartCase kLineStartCases[] = {
    {.text = "abc", .offset = 0, .line_start = 0},
    {.text = "abc", .offset = 2, .line_start = 0},
    {.text = "\xEF\xBB\xBF#x", .offset = 0, .line_start = 3},
    {.text = "\xEF\xBB\xBF#x", .offset = 4, .line_start = 3},
    {.text = "a\nb", .offset = 2, .line_start = 2},
    {.text = "a\nb", .offset = 3, .line_start = 2},
    {.text = "a\rb", .offset = 2, .line_start = 2},
    // The LF of a CRLF pair starts a line here, unlike in the index.
    {.text = "a\r\nb", .offset = 2, .line_start = 2},
    {.text = "a\r\nb", .offset = 4, .line_start = 3},
    {.text = "\xEF\xBB\xBFx\nb", .offset = 5, .line_start = 5},
    {.text = "0123456789\nabcdefghijklmnopqrstuvwxyz",
     .offset = 37,
     .line_start = 11},
};

TEST(LineRangesTest, LineStart) {
  for (const LineStartCase& c : kLineStartCases) {
    SCOPED_TRACE(testing::Message() << c.text << " @" << c.offset);
    EXPECT_EQ(LineRanges::line_start(c.text, c.offset), c.line_start);
  }
  EXPECT_THROW((void)LineRanges::line_start("ab", 3), trelk::InvariantFailure);
  // Inside a character is outside the contract too, as for the index.
  EXPECT_THROW((void)LineRanges::line_start("\xC3\xA9#", 1),
               trelk::InvariantFailure);
}

}  // namespace
}  // namespace divu
