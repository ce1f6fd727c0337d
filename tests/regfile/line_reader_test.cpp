#include "line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace regfile {
namespace {

using Kind = LineError::Kind;

std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

const std::string kUtf16Mark = "\xFF\xFE";
const std::string kUtf8Mark = "\xEF\xBB\xBF";

struct Expected {
  Expected(std::vector<std::u16string> lines_ = {}, TextEncoding encoding_ = TextEncoding::Utf8,
           std::optional<Kind> error_ = std::nullopt, std::uint64_t errorOffset_ = 0)
      : lines(std::move(lines_)), encoding(encoding_), error(error_), errorOffset(errorOffset_) {}

  std::vector<std::u16string> lines;
  TextEncoding encoding;
  std::optional<Kind> error;
  std::uint64_t errorOffset;
};

struct ReadCase {
  const char* label;
  std::string bytes;
  Expected expected;
};

const ReadCase kCases[] = {
    {"NoMarkIsUtf8", "a\nb", {{u"a", u"b"}}},
    {"Utf8MarkSkipped", kUtf8Mark + "a\r\nb\r\n", {{u"a", u"b"}}},
    {"Utf16LeMark", kUtf16Mark + Utf16Le(u"a\r\nb"), {{u"a", u"b"}, TextEncoding::Utf16Le}},
    {"Utf8MultiByteAndFourByte", "\xC3\xA9\xE2\x82\xAC\n\xF0\x9F\x98\x80", {{u"\u00E9\u20AC", u"\U0001F600"}}},
    {"Utf16NonAsciiAndSurrogatePair", kUtf16Mark + Utf16Le(u"\u00E9\U0001F600x\n\U0001F5A8"),
     {{u"\u00E9\U0001F600x", u"\U0001F5A8"}, TextEncoding::Utf16Le}},
    // Only the unit 0x000A ends a UTF-16 line, not a 0x0A byte in another unit.
    {"Utf16LineFeedIsAWholeUnit", kUtf16Mark + Utf16Le(u"\u010A\u0A00\u0A0A\n"),
     {{u"\u010A\u0A00\u0A0A"}, TextEncoding::Utf16Le}},
    // A CR is dropped only before an LF or at the end; a lone CR does not end a line.
    {"CrBeforeLfOrAtEndDropped", "a\r\r\nb\rc\n\r", {{u"a\r", u"b\rc", u""}}},
    {"Utf16CrHandledAlike", kUtf16Mark + Utf16Le(u"a\r\r\nb\rc\n\r"),
     {{u"a\r", u"b\rc", u""}, TextEncoding::Utf16Le}},
    {"EmptyLinesKept", "\n\r\n\n", {{u"", u"", u""}}},
    {"FinalLineBreakAddsNoLine", "x\n", {{u"x"}}},
    {"EmptyInputHasNoLines", "", {}},
    {"MarkOnlyHasNoLines", kUtf8Mark, {}},
    {"Utf16MarkOnlyHasNoLines", kUtf16Mark, {{}, TextEncoding::Utf16Le}},
    {"Utf16NulUnitsAreText", kUtf16Mark + Utf16Le(std::u16string(u"a\0b", 3)),
     {{std::u16string(u"a\0b", 3)}, TextEncoding::Utf16Le}},
    // Offsets count from the first byte of the input, the mark included.
    {"InvalidUtf8AfterAGoodLine", "ok\nab\xC3\x28\n", {{u"ok"}, TextEncoding::Utf8, Kind::InvalidUtf8, 5}},
    {"InvalidUtf8OffsetCountsTheMark", kUtf8Mark + "ok\n\xFF", {{u"ok"}, TextEncoding::Utf8, Kind::InvalidUtf8, 6}},
    {"TruncatedUtf8AtTheEnd", "a\xE2\x82", {{}, TextEncoding::Utf8, Kind::InvalidUtf8, 1}},
    {"OverlongUtf8", "\xC0\xAF", {{}, TextEncoding::Utf8, Kind::InvalidUtf8, 0}},
    {"Utf8EncodedSurrogate", "x\n\xED\xA0\x80", {{u"x"}, TextEncoding::Utf8, Kind::InvalidUtf8, 2}},
    {"OddByteEndsUtf16", kUtf16Mark + Utf16Le(u"a\nb") + "x",
     {{u"a"}, TextEncoding::Utf16Le, Kind::OddUtf16Length, 8}},
    {"OddByteAfterUtf16LineFeed", kUtf16Mark + Utf16Le(u"a\n") + "x",
     {{u"a"}, TextEncoding::Utf16Le, Kind::OddUtf16Length, 6}},
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.label; }

// Every case read from memory, and from a file in chunks that split marks,
// units, surrogate pairs, UTF-8 sequences and CR LF pairs.
const std::size_t kChunkSizes[] = {1, 2, 3, 5, LineReader::kDefaultChunkSize};

Expected ReadAll(LineReader& reader) {
  Expected got;
  EXPECT_TRUE(reader.Open());
  got.encoding = reader.encoding();
  while (const auto line = reader.NextLine()) got.lines.emplace_back(*line);
  if (reader.error()) {
    got.error = reader.error()->kind;
    got.errorOffset = reader.error()->offset;
    EXPECT_FALSE(reader.NextLine().has_value()) << "no line after one that does not decode";
  }
  EXPECT_FALSE(reader.readFailed());
  return got;
}

void ExpectSame(const Expected& got, const Expected& expected) {
  EXPECT_EQ(got.lines, expected.lines);
  EXPECT_EQ(got.encoding, expected.encoding);
  EXPECT_EQ(got.error, expected.error);
  if (expected.error) {
    EXPECT_EQ(got.errorOffset, expected.errorOffset);
  }
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

class LineReaderTest : public testing::TestWithParam<ReadCase> {
 protected:
  void SetUp() override {
    // A folder of each test's own, as ctest runs them side by side.
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    dir_ = std::filesystem::temp_directory_path() / ("regfile_line_reader_test_" + name);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  File OpenFileOf(const std::string& bytes) {
    const std::string path = (dir_ / "input").string();
    std::ofstream(path, std::ios::binary) << bytes;
    return File(std::fopen(path.c_str(), "rb"), &std::fclose);
  }

  std::filesystem::path dir_;
};

TEST_P(LineReaderTest, GivesTheLinesWhateverTheChunks) {
  const ReadCase& c = GetParam();
  {
    SCOPED_TRACE("in memory");
    LineReader reader(c.bytes);
    ExpectSame(ReadAll(reader), c.expected);
  }
  for (const std::size_t chunk : kChunkSizes) {
    SCOPED_TRACE("chunks of " + std::to_string(chunk));
    const File file = OpenFileOf(c.bytes);
    ASSERT_NE(file, nullptr);
    LineReader reader(file.get(), chunk);
    ExpectSame(ReadAll(reader), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, LineReaderTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ReadCase>& param) { return std::string(param.param.label); });

TEST(LineReaderOpenTest, RefusesUtf16BigEndian) {
  LineReader reader(std::string_view("\xFE\xFF\0R", 4));
  EXPECT_FALSE(reader.Open());
}

TEST(LineReaderOpenTest, AFolderReadsAsAFailedRead) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const File folder(std::fopen(dir.string().c_str(), "rb"), &std::fclose);
  if (folder == nullptr) GTEST_SKIP() << "folders do not open as files here";
  LineReader reader(folder.get());
  EXPECT_TRUE(reader.Open());
  EXPECT_FALSE(reader.NextLine().has_value());
  EXPECT_TRUE(reader.readFailed());
}

}  // namespace
}  // namespace regfile
