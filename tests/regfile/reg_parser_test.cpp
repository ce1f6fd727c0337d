#include "regfile/reg_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/key_names.h"

namespace regfile {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";  // body starts on line 3
const std::string kV4 = "REGEDIT4\r\n\r\n";

Bytes Utf16Bytes(std::u16string_view text, bool terminated) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (terminated) out.insert(out.end(), {0, 0});
  return out;
}

Bytes Sz(std::u16string_view text) { return Utf16Bytes(text, true); }

// The file as regedit writes it: BOM, then UTF-16LE.
std::string Utf16File(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (std::uint8_t b : Utf16Bytes(text, false)) out += static_cast<char>(b);
  return out;
}

// Readable form of a script, so that whole results can be compared and printed.
std::string Dump(const Script& script) {
  std::string out;
  char buffer[16];
  for (const KeyOp& key : script.keys) {
    out += key.remove ? "[-" : "[";
    out += RootName(key.root);
    if (!key.path.empty()) out += '\\';
    for (char16_t c : key.path) out += c < 0x80 ? static_cast<char>(c) : '?';
    out += "] line " + std::to_string(key.line) + "\n";
    for (const ValueOp& value : key.values) {
      out += "  ";
      for (char16_t c : value.name) out += c < 0x80 ? static_cast<char>(c) : '?';
      if (value.remove) {
        out += " removed\n";
        continue;
      }
      out += " type " + std::to_string(value.type) + ":";
      for (std::uint8_t b : value.data) {
        std::snprintf(buffer, sizeof buffer, " %02x", b);
        out += buffer;
      }
      out += "\n";
    }
  }
  return out;
}

Script ParseOk(std::string_view bytes, AnsiToUtf16 ansi = nullptr) {
  ParseResult result = Parse(bytes, ansi);
  EXPECT_FALSE(result.error.has_value())
      << "line " << result.error->line << ": " << result.error->message;
  return result.script;
}

// ---- Malformed input -----------------------------------------------------

struct Malformed {
  const char* label;
  std::string input;
  unsigned line;
  const char* messagePart;
};

std::string LongLevel() { return std::string(256, 'k'); }

class MalformedInputTest : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedInputTest, IsRejectedWithLineAndReason) {
  const Malformed& c = GetParam();
  const ParseResult result = Parse(c.input);
  ASSERT_TRUE(result.error.has_value()) << "accepted:\n" << Dump(result.script);
  EXPECT_EQ(result.error->line, c.line) << result.error->message;
  EXPECT_NE(result.error->message.find(c.messagePart), std::string::npos)
      << "message: " << result.error->message;
  EXPECT_TRUE(result.script.keys.empty());
}

const Malformed kMalformed[] = {
    {"EmptyFile", "", 1, "first line"},
    {"UnknownHeader", "REGEDIT5\r\n[HKLM\\A]\r\n", 1, "first line"},
    {"UnknownRoot", kV5 + "[HKEY_FOO\\Bar]\r\n", 3, "unknown root key 'HKEY_FOO'"},
    {"DoubledBackslash", kV5 + "[HKLM\\A\\\\B]\r\n", 3, "empty key name"},
    {"TrailingBackslash", kV5 + "[HKLM\\A\\]\r\n", 3, "empty key name"},
    {"LevelTooLong", kV5 + "[HKLM\\A\\" + LongLevel() + "\\B]\r\n", 3, "longer than 255"},
    {"MissingBracket", kV5 + "[HKLM\\A\r\n", 3, "missing ']'"},
    {"JunkAfterBracket", kV5 + "[HKLM\\A] x\r\n", 3, "after ']'"},
    {"DeleteWholeRoot", kV5 + "[-HKEY_LOCAL_MACHINE]\r\n", 3, "root key cannot be deleted"},
    {"ValueBeforeAnyKey", kV5 + "\"a\"=\"b\"\r\n", 3, "value outside a key section"},
    {"ValueUnderDeletedKey", kV5 + "[-HKLM\\A]\r\n\"a\"=-\r\n", 4, "deletes its key"},
    {"UnterminatedData", kV5 + "[HKLM\\A]\r\n\"a\"=\"bc\r\n", 4, "unterminated string"},
    {"UnterminatedName", kV5 + "[HKLM\\A]\r\n\"a=dword:1\r\n", 4, "unterminated string"},
    {"BackslashAtLineEnd", kV5 + "[HKLM\\A]\r\n\"a\"=\"bc\\\r\n\"\r\n", 4, "unterminated string"},
    {"UnknownEscape", kV5 + "[HKLM\\A]\r\n\"a\"=\"x\\ty\"\r\n", 4, "bad escape '\\t'"},
    {"Regedit4HasNoNewlineEscape", kV4 + "[HKLM\\A]\r\n\"a\"=\"x\\ny\"\r\n", 4, "bad escape '\\n'"},
    {"MissingEquals", kV5 + "[HKLM\\A]\r\n\"a\" \"b\"\r\n", 4, "expected '='"},
    {"MissingData", kV5 + "[HKLM\\A]\r\n\"a\"=\r\n", 4, "missing value data"},
    {"UnknownType", kV5 + "[HKLM\\A]\r\n\"a\"=qword:1\r\n", 4, "unknown data type 'qword'"},
    {"DwordTooLong", kV5 + "[HKLM\\A]\r\n\"a\"=dword:123456789\r\n", 4, "bad dword"},
    {"DwordNotHex", kV5 + "[HKLM\\A]\r\n\"a\"=dword:0000zz00\r\n", 4, "bad dword '0000zz00'"},
    {"DwordCommentWithoutBlank", kV5 + "[HKLM\\A]\r\n\"a\"=dword:1;x\r\n", 4, "bad dword"},
    {"JunkAfterDword", kV5 + "[HKLM\\A]\r\n\"a\"=dword:1 2\r\n", 4, "after the dword"},
    {"JunkAfterString", kV5 + "[HKLM\\A]\r\n\"a\"=\"b\" c\r\n", 4, "after the string"},
    {"JunkAfterRemoval", kV5 + "[HKLM\\A]\r\n\"a\"=-1\r\n", 4, "after '-'"},
    {"BadHexByte", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01,zz,02\r\n", 4, "bad hex byte 'zz'"},
    {"HexByteTooLong", kV5 + "[HKLM\\A]\r\n\"a\"=hex:123\r\n", 4, "bad hex byte '123'"},
    {"HexEmptyByte", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01,,02\r\n", 4, "bad hex byte ''"},
    {"HexMissingComma", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01 02\r\n", 4, "expected ','"},
    {"HexCommentWithoutBlank", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01;x\r\n", 4, "bad hex byte '01;x'"},
    {"HexTrailingCommaNoContinuation", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01,02,\r\n\"b\"=-\r\n", 4,
     "missing '\\' continuation"},
    {"HexBackslashWithoutComma", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01\\\r\n  02\r\n", 4,
     "bad hex byte '01\\'"},
    {"HexContinuesPastEnd", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01,\\\r\n", 4, "past the end"},
    {"HexContinuationLineBlank", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01,\\\r\n\r\n\"b\"=-\r\n", 5,
     "missing continuation"},
    {"BadByteOnContinuationLine", kV5 + "[HKLM\\A]\r\n\"a\"=hex:01,\\\r\n  02,\\\r\n  0g\r\n", 6,
     "bad hex byte '0g'"},
    {"HexTypeNotHex", kV5 + "[HKLM\\A]\r\n\"a\"=hex(zz):01\r\n", 4, "bad value type 'zz'"},
    {"HexTypeUnclosed", kV5 + "[HKLM\\A]\r\n\"a\"=hex(7:01\r\n", 4, "missing ')'"},
    {"HexTypeWithoutColon", kV5 + "[HKLM\\A]\r\n\"a\"=hex(7)01\r\n", 4, "expected ':'"},
    {"UnrecognisedLine", kV5 + "[HKLM\\A]\r\nfoo\r\n", 4, "unexpected text 'foo'"},
    {"ErrorLineCountsWithLfOnly", "REGEDIT4\n[HKLM\\A]\n\n\"a\"=dword:x\n", 4, "bad dword"},
    {"InvalidUtf8", kV5 + "[HKLM\\A]\r\n\"a\"=\"\xC3\x28\"\r\n", 4, "invalid UTF-8"},
    {"OverlongUtf8", kV5 + "[HKLM\\A]\r\n\r\n\"a\"=\"\xC0\xAF\"\r\n", 5, "invalid UTF-8"},
    {"Utf8EncodedSurrogate", kV5 + "[HKLM\\A\xED\xA0\x80]\r\n", 3, "invalid UTF-8"},
    {"OddUtf16Length", Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\A]") + "x", 3,
     "odd number of bytes"},
    {"Utf16BigEndian", std::string("\xFE\xFF\0R", 4), 1, "big-endian"},
};

INSTANTIATE_TEST_SUITE_P(Parse, MalformedInputTest, testing::ValuesIn(kMalformed),
                         [](const testing::TestParamInfo<Malformed>& param) {
                           return std::string(param.param.label);
                         });

TEST(ParseTest, ErrorDiscardsSectionsReadBeforeIt) {
  const ParseResult result = Parse(kV5 + "[HKLM\\A]\r\n\"a\"=dword:1\r\n[HKLM\\B]\r\n\"b\"=hex:zz\r\n");
  ASSERT_TRUE(result.error.has_value());
  EXPECT_EQ(result.error->line, 6u);
  EXPECT_TRUE(result.script.keys.empty());
}

TEST(ParseTest, QuotesLongInputShortenedInMessages) {
  const ParseResult result = Parse(kV5 + "[HKEY_" + std::string(500, 'X') + "]\r\n");
  ASSERT_TRUE(result.error.has_value());
  EXPECT_LT(result.error->message.size(), 100u);
  EXPECT_NE(result.error->message.find("...'"), std::string::npos);
}

// ---- Well-formed input ---------------------------------------------------

const char kExportBody[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0781&PID_5567\\4C53]\r\n"
    "\"ParentIdPrefix\"=\"7&2f1a&0\"\r\n"
    "@=\"default\"\r\n"
    "\"Capabilities\"=dword:00000084\r\n"
    "\"HardwareID\"=hex(7):55,00,53,00,42,00,00,00,\\\r\n"
    "  41,00,00,00,00,00\r\n"
    "\"Blob\"=hex:de,ad,BE,ef\r\n"
    "\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
    "\"Gone\"=-\r\n";

const char kExportDump[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0781&PID_5567\\4C53] line 3\n"
    "  ParentIdPrefix type 1: 37 00 26 00 32 00 66 00 31 00 61 00 26 00 30 00 00 00\n"
    "   type 1: 64 00 65 00 66 00 61 00 75 00 6c 00 74 00 00 00\n"
    "  Capabilities type 4: 84 00 00 00\n"
    "  HardwareID type 7: 55 00 53 00 42 00 00 00 41 00 00 00 00 00\n"
    "  Blob type 3: de ad be ef\n"
    "[-HKEY_CURRENT_USER\\Software\\Old] line 11\n"
    "[HKEY_CURRENT_USER\\Software\\Keep] line 13\n"
    "  Gone removed\n";

TEST(ParseTest, Version5AsciiExport) {
  EXPECT_EQ(Dump(ParseOk(kV5 + kExportBody)), kExportDump);
}

TEST(ParseTest, Utf16ExportGivesSameScriptAsUtf8) {
  std::u16string text;
  for (char c : kV5 + kExportBody) text += static_cast<char16_t>(c);
  EXPECT_EQ(Dump(ParseOk(Utf16File(text))), kExportDump);
  EXPECT_EQ(Dump(ParseOk("\xEF\xBB\xBF" + kV5 + kExportBody)), kExportDump);
}

TEST(ParseTest, LineFeedsAloneGiveSameScriptAsCrLf) {
  std::string lf;
  for (char c : kV5 + kExportBody) {
    if (c != '\r') lf += c;
  }
  EXPECT_EQ(Dump(ParseOk(lf)), kExportDump);
}

TEST(ParseTest, NonAsciiTextSurvivesBothEncodings) {
  const std::u16string name = u"Ger\u00e4t \U0001F600";
  const std::u16string utf16 =
      u"Windows Registry Editor Version 5.00\r\n[HKCU\\" + name + u"]\r\n\"" + name + u"\"=\"" +
      name + u"\"\r\n";
  const std::string utf8 =
      "Windows Registry Editor Version 5.00\n[HKCU\\Ger\xC3\xA4t \xF0\x9F\x98\x80]\n"
      "\"Ger\xC3\xA4t \xF0\x9F\x98\x80\"=\"Ger\xC3\xA4t \xF0\x9F\x98\x80\"\n";
  for (const std::string& file : {Utf16File(utf16), utf8}) {
    const Script script = ParseOk(file);
    ASSERT_EQ(script.keys.size(), 1u);
    EXPECT_EQ(script.keys[0].path, name);
    ASSERT_EQ(script.keys[0].values.size(), 1u);
    EXPECT_EQ(script.keys[0].values[0].name, name);
    EXPECT_EQ(script.keys[0].values[0].data, Sz(name));
  }
}

TEST(ParseTest, HeaderOnlyFileIsEmptyScript) {
  for (const char* file : {"REGEDIT4", "REGEDIT4\r\n", "Windows Registry Editor Version 5.00  \n\n"}) {
    const ParseResult result = Parse(file);
    EXPECT_FALSE(result.error.has_value()) << file;
    EXPECT_TRUE(result.script.keys.empty());
  }
}

TEST(ParseTest, CommentsBlankLinesAndIndentation) {
  const Script script = ParseOk(kV5 +
                                "; comment\r\n"
                                "  # another\r\n"
                                "\t[HKLM\\A]\r\n"
                                "   \r\n"
                                "  \"d\" =\tdword:A ; trailing comment\r\n"
                                "; \"x\"=\"not a value\"\r\n"
                                "\"h\"= hex:01,02\t;c\r\n"
                                "\"e\"=hex: ;empty\r\n");
  EXPECT_EQ(Dump(script),
            "[HKEY_LOCAL_MACHINE\\A] line 5\n"
            "  d type 4: 0a 00 00 00\n"
            "  h type 3: 01 02\n"
            "  e type 3:\n");
}

TEST(ParseTest, EscapesInNamesAndStrings) {
  const Script script = ParseOk(kV5 +
                                "[HKLM\\A]\r\n"
                                "\"a\\\\b\\\"c\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n"
                                "\"lines\"=\"1\\n2\\r3\\0\"\r\n"
                                "\"semi;colon\"=\"x;y]\"\r\n");
  const auto& values = script.keys.at(0).values;
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, u"a\\b\"c");
  EXPECT_EQ(values[0].data, Sz(u"C:\\dir\\\"q\""));
  EXPECT_EQ(values[1].data, Sz(std::u16string(u"1\n2\r3\0", 6)));
  EXPECT_EQ(values[2].name, u"semi;colon");
  EXPECT_EQ(values[2].data, Sz(u"x;y]"));
}

TEST(ParseTest, KeyPathsKeepUnusualCharacters) {
  const Script script = ParseOk(kV5 +
                                "[HKLM\\SYSTEM\\Enum\\USB\\VID_1234&PID_5678\\#1 serial; 2]\r\n"
                                "[HKLM\\a]b\\c] \t\r\n"
                                "[HKEY_LOCAL_MACHINE]\r\n"
                                "[HKLM\\" + std::string(255, 'k') + "]\r\n");
  ASSERT_EQ(script.keys.size(), 4u);
  EXPECT_EQ(script.keys[0].path, u"SYSTEM\\Enum\\USB\\VID_1234&PID_5678\\#1 serial; 2");
  EXPECT_EQ(script.keys[1].path, u"a]b\\c");
  EXPECT_EQ(script.keys[2].path, u"");
  EXPECT_EQ(script.keys[3].path.size(), 255u);
}

TEST(ParseTest, RootNamesLongShortAndAnyCase) {
  const struct {
    const char* text;
    Root root;
  } cases[] = {
      {"HKEY_CLASSES_ROOT", Root::ClassesRoot}, {"hkcr", Root::ClassesRoot},
      {"HKEY_CURRENT_USER", Root::CurrentUser}, {"HKCU", Root::CurrentUser},
      {"hkey_local_machine", Root::LocalMachine}, {"HkLm", Root::LocalMachine},
      {"HKEY_USERS", Root::Users}, {"HKU", Root::Users},
      {"HKEY_CURRENT_CONFIG", Root::CurrentConfig}, {"hkcc", Root::CurrentConfig},
  };
  for (const auto& c : cases) {
    const Script script = ParseOk(kV5 + "[" + c.text + "\\K]\r\n");
    ASSERT_EQ(script.keys.size(), 1u) << c.text;
    EXPECT_EQ(script.keys[0].root, c.root) << c.text;
  }
  EXPECT_EQ(RootName(Root::ClassesRoot), "HKEY_CLASSES_ROOT");
  EXPECT_EQ(RootName(Root::CurrentUser), "HKEY_CURRENT_USER");
  EXPECT_EQ(RootName(Root::LocalMachine), "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(RootName(Root::Users), "HKEY_USERS");
  EXPECT_EQ(RootName(Root::CurrentConfig), "HKEY_CURRENT_CONFIG");
}

std::u16string UpperCaseAnsi(std::string_view ansi) {
  std::u16string out;
  for (char c : ansi) out += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return out;
}

TEST(ParseTest, DataTypesAndEncodings) {
  const struct {
    const char* data;
    std::uint32_t type;
    Bytes bytes;
  } cases[] = {
      {"dword:1", 4, {1, 0, 0, 0}},
      {"dword:FfFe0102", 4, {0x02, 0x01, 0xfe, 0xff}},
      {"DWORD:00000000", 4, {0, 0, 0, 0}},
      {"hex:", 3, {}},
      {"hex:f, 0a ,\t1", 3, {0x0f, 0x0a, 0x01}},
      {"hex(b):01,00,00,00,00,00,00,80", 0xb, {1, 0, 0, 0, 0, 0, 0, 0x80}},
      {"hex(0):ff", 0, {0xff}},
      {"hex(FFFFFFFF):", 0xffffffff, {}},
      {"hex(2):25,00,00,00", 2, {0x25, 0, 0, 0}},  // version 5 text: kept as given
      {"hex(7):61,00,00,00,00,00", 7, {0x61, 0, 0, 0, 0, 0}},
      {"\"\"", 1, {0, 0}},
  };
  for (const auto& c : cases) {
    const Script script = ParseOk(kV5 + "[HKLM\\A]\r\n@=" + c.data + "\r\n", UpperCaseAnsi);
    ASSERT_EQ(script.keys.at(0).values.size(), 1u) << c.data;
    const ValueOp& value = script.keys[0].values[0];
    EXPECT_TRUE(value.name.empty());
    EXPECT_FALSE(value.remove);
    EXPECT_EQ(value.type, c.type) << c.data;
    EXPECT_EQ(value.data, c.bytes) << c.data;
  }
}

TEST(ParseTest, MultiStringAcrossContinuationLines) {
  // Two strings "USB\VID" and "X", wrapped the way regedit wraps long hex data.
  const Script script = ParseOk(kV5 +
                                "[HKLM\\A]\r\n"
                                "\"HardwareID\"=hex(7):55,00,53,00,42,00,5c,00,\\\r\n"
                                "  56,00,49,00,44,00,00,00,\\\r\n"
                                "\t58,00,00,00,00,00\r\n"
                                "[HKLM\\B]\r\n");
  ASSERT_EQ(script.keys.size(), 2u);
  EXPECT_EQ(script.keys[0].values.at(0).type, 7u);
  EXPECT_EQ(script.keys[0].values[0].data, Sz(std::u16string(u"USB\\VID\0X\0", 10)));
  EXPECT_EQ(script.keys[1].line, 7u);
}

TEST(ParseTest, Regedit4ConvertsAnsiTextDataToUtf16) {
  const std::string file = kV4 +
                           "[HKEY_CURRENT_USER\\Env]\r\n"
                           "\"Path\"=hex(2):25,61,25,00\r\n"
                           "\"List\"=hex(7):61,62,00,63,00,00\r\n"
                           "\"Sz\"=hex(1):e9,00\r\n"
                           "\"Raw\"=hex:61,00\r\n"
                           "\"Quoted\"=\"q\\\"\\\\\"\r\n";
  const Script widened = ParseOk(file);
  const auto& values = widened.keys.at(0).values;
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[0].data, Sz(u"%a%"));
  EXPECT_EQ(values[1].data, Sz(std::u16string(u"ab\0c\0", 5)));
  EXPECT_EQ(values[2].data, Sz(u"\u00e9"));
  EXPECT_EQ(values[3].data, (Bytes{0x61, 0x00}));  // binary is not text
  EXPECT_EQ(values[4].data, Sz(u"q\"\\"));

  const Script converted = ParseOk(file, UpperCaseAnsi);
  EXPECT_EQ(converted.keys.at(0).values.at(0).data, Sz(u"%A%"));
  EXPECT_EQ(converted.keys[0].values.at(1).data, Sz(std::u16string(u"AB\0C\0", 5)));
}

// ---- Files ---------------------------------------------------------------

class ParseFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("regfile_test_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  std::filesystem::path dir_;
};

TEST_F(ParseFileTest, ReadsUtf16Export) {
  std::u16string text;
  for (char c : kV5 + kExportBody) text += static_cast<char16_t>(c);
  const std::string path = Write("export.reg", Utf16File(text));
  const FileRead read = ParseFile(path);
  EXPECT_FALSE(read.error.has_value()) << read.error->message();
  EXPECT_EQ(Dump(read.script), kExportDump);
}

TEST_F(ParseFileTest, ErrorNamesFileAndLineAndClearsScript) {
  const std::string path = Write("bad.reg", kV5 + "[HKLM\\A]\r\n\"a\"=hex:zz\r\n");
  const FileRead read = ParseFile(path);
  ASSERT_TRUE(read.error.has_value());
  EXPECT_EQ(read.error->line, 4u);
  EXPECT_EQ(read.error->message(), path + ":4: bad hex byte 'zz'");
  EXPECT_TRUE(read.script.keys.empty());
}

TEST_F(ParseFileTest, UnreadableFileIsLineZero) {
  for (const std::string& path : {(dir_ / "missing.reg").string(), dir_.string()}) {
    const FileRead read = ParseFile(path);
    ASSERT_TRUE(read.error.has_value()) << path;
    EXPECT_EQ(read.error->message(), path + ":0: cannot read file");
  }
}

// Files larger than the piece the reader reads at a time (1 MiB): lines,
// units and hex data that straddle the pieces, in both encodings, give what
// parsing the same bytes in memory gives; a malformed line far into the file
// is still found, with its number.
TEST_F(ParseFileTest, ReadsFilesLargerThanAPieceAsTheBytesInMemory) {
  std::string body = kV5;
  for (int key = 0; body.size() < 2600000; ++key) {
    body += "[HKEY_LOCAL_MACHINE\\SYSTEM\\K" + std::to_string(key) + "]\r\n\"v\"=\"" +
            std::string(static_cast<std::size_t>(key % 97), 'x') + "\"\r\n\"h\"=hex:01,\\\r\n  02,03\r\n";
  }
  std::u16string wide(body.begin(), body.end());
  const struct {
    const char* label;
    std::string bytes;
  } files[] = {{"UTF-8", body}, {"UTF-16LE", Utf16File(wide)}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.label);
    const std::string path = Write("big.reg", file.bytes);
    const FileRead read = ParseFile(path);
    ASSERT_FALSE(read.error.has_value()) << read.error->message();
    EXPECT_EQ(Dump(read.script), Dump(ParseOk(file.bytes)));
  }
  const std::string broken = body + "[HKLM\\A]\r\n\"a\"=hex:zz\r\n";
  const FileRead read = ParseFile(Write("broken.reg", broken));
  ASSERT_TRUE(read.error.has_value());
  EXPECT_EQ(read.error->line, static_cast<unsigned>(std::count(broken.begin(), broken.end(), '\n')));
  EXPECT_TRUE(read.script.keys.empty());
}

// ---- Selections -------------------------------------------------------------

TEST(SelectionTest, PlacesKeysByTheTrees) {
  const Selection selection({"SYSTEM\\CurrentControlSet\\Enum\\USB", "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                             "SYSTEM\\Select"},
                            common::SameKeyName);
  using Place = Selection::Place;
  const struct {
    Root root;
    std::u16string_view path;
    Place place;
  } cases[] = {
      {Root::LocalMachine, u"SYSTEM\\CurrentControlSet\\Enum\\USB", Place::Inside},
      {Root::LocalMachine, u"system\\controlset001\\enum\\usb\\Vid_1\\x", Place::Inside},
      {Root::LocalMachine, u"SYSTEM\\ControlSet123\\Enum\\USB", Place::Inside},
      {Root::LocalMachine, u"SYSTEM\\ControlSet1\\Enum\\USB", Place::Outside},       // three digits
      {Root::LocalMachine, u"SYSTEM\\ControlSet00x\\Enum\\USB", Place::Outside},
      {Root::LocalMachine, u"SYSTEM\\Other\\Enum\\USB", Place::Outside},
      {Root::LocalMachine, u"SYSTEM\\ControlSet002\\Enum\\USBPRINT", Place::Outside},  // a level, not a prefix
      {Root::LocalMachine, u"SYSTEM\\ControlSet002\\Enum", Place::Ancestor},
      {Root::LocalMachine, u"SYSTEM\\ControlSet002", Place::Ancestor},
      {Root::LocalMachine, u"SYSTEM", Place::Ancestor},
      {Root::LocalMachine, u"", Place::Ancestor},
      {Root::LocalMachine, u"SYSTEM\\Select", Place::Inside},
      {Root::LocalMachine, u"SYSTEM\\Setup", Place::Outside},
      {Root::LocalMachine, u"HARDWARE\\DEVICEMAP", Place::Ancestor},
      {Root::LocalMachine, u"HARDWARE\\DEVICEMAP\\SERIALCOMM", Place::Inside},
      {Root::LocalMachine, u"HARDWARE\\ControlSet001\\Enum\\USB", Place::Outside},  // control sets are SYSTEM's
      {Root::CurrentUser, u"SYSTEM\\CurrentControlSet\\Enum\\USB", Place::Outside},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(selection.PlaceOf(c.root, c.path), c.place) << std::string(c.path.begin(), c.path.end());
  }
  EXPECT_EQ(Selection().PlaceOf(Root::CurrentUser, u"Anything"), Place::Inside);
}

TEST(SelectionTest, AParseKeepsTheTreesAndChecksTheRest) {
  const Selection selection({"SYSTEM\\CurrentControlSet\\Enum\\USB"}, common::SameKeyName);
  const std::string file = kV5 +
                           "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001]\r\n\"dropped\"=dword:1\r\n"
                           "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Enum\\USB\\Dev]\r\n\"kept\"=dword:2\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"gone\"=dword:3\r\n"
                           "[-HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Enum]\r\n"
                           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n";
  const ParseResult result = Parse(file, nullptr, selection);
  ASSERT_FALSE(result.error.has_value());
  EXPECT_EQ(Dump(result.script),
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001] line 3\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Enum\\USB\\Dev] line 5\n"
            "  kept type 4: 02 00 00 00\n"
            "[-HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Enum] line 9\n");
  const ParseResult broken = Parse(file + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"a\"=hex:zz\r\n", nullptr, selection);
  ASSERT_TRUE(broken.error.has_value());
  EXPECT_EQ(broken.error->line, 12u);
}

}  // namespace
}  // namespace regfile
