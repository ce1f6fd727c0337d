// Reader for .reg files.
//
// A state machine walks the lines that the line reader decodes, so the
// parser holds neither a copy of the whole file nor the keys it is not asked
// to keep. Every state is a small function that consumes part of the current
// line and names the state that follows. Results are collected in the parser
// state and handed out only when the whole file was accepted.
#include "regfile/reg_parser.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "common/little_endian.h"
#include "line_reader.h"
#include "reg_text.h"
#include "root_names.h"

namespace regfile {
namespace {

constexpr std::size_t kMaxKeyNameLength = 255;  // UTF-16 units per key level, as Windows allows
constexpr std::size_t kEscapeLength = 2;        // a backslash and what it escapes

constexpr std::u16string_view kHeaderVersion5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeaderRegedit4 = u"REGEDIT4";

enum class Version { Regedit4, Version5 };

// What kind of section the lines being read belong to.
enum class Section { None, Key, DeletedKey };

enum class State {
  Header,           // the first line, which names the file format
  LineStart,        // deciding what the current line is
  KeyName,          // after '[' of a section header
  ValueName,        // at '"' or '@' of a value line
  ValueData,        // after '=' of a value line
  HexBytes,         // inside the comma-separated bytes of hex data
  HexContinuation,  // at the start of a line that continues hex data
  Finished,         // end of input or an error
};

// Where hex data stands between two bytes.
enum class HexPosition { Start, AfterByte, AfterComma };

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

struct ParserState {
  explicit ParserState(LineReader& lines) : reader(lines) {}

  LineReader& reader;
  std::u16string_view text;   // the current line, as the reader decoded it
  AnsiToUtf16 ansiToUtf16 = nullptr;
  const Selection* selection = nullptr;
  bool keepValues = true;     // whether the values of the current section are kept
  State state = State::Header;
  Version version = Version::Version5;
  Section section = Section::None;
  unsigned line = 0;          // 1-based number of the current line
  std::size_t pos = 0;        // next unit to read on the current line
  HexPosition hexPosition = HexPosition::Start;
  ValueOp value;              // the value line being read
  std::vector<std::uint8_t> hexBytes;  // hex data collected across continuation lines
  std::u16string scratch;     // reused for string data, so strings need no buffer of their own
  Script script;
  std::optional<ParseError> error;
};

// ---- Moving through lines -------------------------------------------------

void Fail(ParserState& s, std::string message) {
  s.error = ParseError{s.line, std::move(message)};
  s.state = State::Finished;
}

std::string LineErrorMessage(const LineError& error) {
  switch (error.kind) {
    case LineError::Kind::InvalidUtf8: return "invalid UTF-8";
    case LineError::Kind::OddUtf16Length: return "UTF-16 file has an odd number of bytes";
  }
  return "";
}

// Starts reading the next line. False at the end of the input, and when the
// line does not decode, which fails the parse.
bool EnterLine(ParserState& s) {
  const std::optional<std::u16string_view> line = s.reader.NextLine();
  if (!line && !s.reader.error()) return false;
  ++s.line;
  if (!line) {
    Fail(s, LineErrorMessage(*s.reader.error()));
    return false;
  }
  s.text = *line;
  s.pos = 0;
  return true;
}

void MoveToNextLine(ParserState& s) {
  if (EnterLine(s)) {
    s.state = State::LineStart;
  } else if (!s.error) {
    s.state = State::Finished;
  }
}

bool AtLineEnd(const ParserState& s) { return s.pos >= s.text.size(); }

std::u16string_view RestOfLine(const ParserState& s) { return s.text.substr(s.pos); }

void SkipBlanks(ParserState& s) {
  while (s.pos < s.text.size() && IsBlank(s.text[s.pos])) ++s.pos;
}

// End of the run of units from s.pos up to a blank or the line end.
std::size_t WordEnd(const ParserState& s) {
  std::size_t end = s.pos;
  while (end < s.text.size() && !IsBlank(s.text[end])) ++end;
  return end;
}

// End of the run of units from s.pos up to a blank, `stop` or the line end.
std::size_t TokenEnd(const ParserState& s, char16_t stop) {
  std::size_t end = s.pos;
  while (end < s.text.size() && !IsBlank(s.text[end]) && s.text[end] != stop) ++end;
  return end;
}

// After value data only blanks may follow, or blanks and a ';' comment.
bool OnlyCommentRemains(ParserState& s) {
  const std::size_t dataEnd = s.pos;
  SkipBlanks(s);
  return AtLineEnd(s) || (s.text[s.pos] == u';' && s.pos > dataEnd);
}

// ---- Header and line dispatch ---------------------------------------------

void ReadHeader(ParserState& s) {
  if (!EnterLine(s)) {
    if (s.error) return;
    ++s.line;  // a file of no bytes has one line, an empty one, which is no header
  }
  std::u16string_view header = RestOfLine(s);
  while (!header.empty() && IsBlank(header.back())) header.remove_suffix(1);
  if (header == kHeaderVersion5) {
    s.version = Version::Version5;
  } else if (header == kHeaderRegedit4) {
    s.version = Version::Regedit4;
  } else {
    Fail(s, "not a .reg file: the first line must be 'Windows Registry Editor Version 5.00' or "
            "'REGEDIT4'");
    return;
  }
  MoveToNextLine(s);
}

void ReadLineStart(ParserState& s) {
  SkipBlanks(s);
  if (AtLineEnd(s) || s.text[s.pos] == u';' || s.text[s.pos] == u'#') {
    MoveToNextLine(s);
    return;
  }
  const char16_t first = s.text[s.pos];
  if (first == u'[') {
    ++s.pos;
    s.state = State::KeyName;
    return;
  }
  if (first == u'"' || first == u'@') {
    if (s.section == Section::None) {
      Fail(s, "value outside a key section");
    } else if (s.section == Section::DeletedKey) {
      Fail(s, "value in a section that deletes its key");
    } else {
      s.state = State::ValueName;
    }
    return;
  }
  Fail(s, "unexpected text " + Quote(RestOfLine(s)) + ": expected a [key], a value or a comment");
}

// ---- Key sections ---------------------------------------------------------

// Every level of the path must be 1 to kMaxKeyNameLength units long.
bool CheckKeyPath(ParserState& s, std::u16string_view path) {
  std::size_t levelStart = 0;
  for (;;) {
    std::size_t levelEnd = path.find(u'\\', levelStart);
    if (levelEnd == std::u16string_view::npos) levelEnd = path.size();
    const std::size_t length = levelEnd - levelStart;
    if (length == 0) {
      Fail(s, "empty key name in the path (doubled or trailing backslash)");
      return false;
    }
    if (length > kMaxKeyNameLength) {
      Fail(s, "key name longer than " + std::to_string(kMaxKeyNameLength) +
                  " characters: " + Quote(path.substr(levelStart, length)));
      return false;
    }
    if (levelEnd == path.size()) return true;
    levelStart = levelEnd + 1;
  }
}

void ReadKeyName(ParserState& s) {
  KeyOp key;
  key.line = s.line;
  if (!AtLineEnd(s) && s.text[s.pos] == u'-') {
    key.remove = true;
    ++s.pos;
  }
  // Key names may contain ']', so the name runs up to the last one on the line.
  const std::u16string_view rest = RestOfLine(s);
  const std::size_t close = rest.rfind(u']');
  if (close == std::u16string_view::npos) {
    Fail(s, "missing ']' at the end of the key name");
    return;
  }
  if (!IsAllBlank(rest.substr(close + 1))) {
    Fail(s, "unexpected text after ']': " + Quote(rest.substr(close + 1)));
    return;
  }
  const std::u16string_view name = rest.substr(0, close);
  const std::size_t backslash = name.find(u'\\');
  const std::u16string_view rootName = name.substr(0, backslash);
  const std::optional<Root> root = RootFromName(rootName);
  if (!root) {
    Fail(s, "unknown root key " + Quote(rootName));
    return;
  }
  key.root = *root;
  if (backslash != std::u16string_view::npos) {
    const std::u16string_view path = name.substr(backslash + 1);
    if (!CheckKeyPath(s, path)) return;
    key.path.assign(path.data(), path.size());
  } else if (key.remove) {
    // Importing this would try to empty a whole hive; no export ever contains it.
    Fail(s, "a root key cannot be deleted");
    return;
  }
  s.section = key.remove ? Section::DeletedKey : Section::Key;
  const Selection::Place place = s.selection->PlaceOf(key.root, key.path);
  s.keepValues = place == Selection::Place::Inside;
  if (place != Selection::Place::Outside) s.script.keys.push_back(std::move(key));
  MoveToNextLine(s);
}

// ---- Value lines ----------------------------------------------------------

// Reads a quoted string whose opening quote is already consumed, up to and
// including the closing quote, resolving escapes.
bool ReadQuoted(ParserState& s, std::u16string& out) {
  std::size_t runStart = s.pos;
  while (s.pos < s.text.size()) {
    const char16_t c = s.text[s.pos];
    if (c == u'"') {
      out.append(s.text.data() + runStart, s.pos - runStart);
      ++s.pos;
      return true;
    }
    if (c != u'\\') {
      ++s.pos;
      continue;
    }
    out.append(s.text.data() + runStart, s.pos - runStart);
    if (s.pos + 1 >= s.text.size()) break;
    const char16_t escaped = s.text[s.pos + 1];
    const bool version5 = s.version == Version::Version5;
    if (escaped == u'\\' || escaped == u'"') {
      out += escaped;
    } else if (version5 && escaped == u'n') {
      out += u'\n';
    } else if (version5 && escaped == u'r') {
      out += u'\r';
    } else if (version5 && escaped == u'0') {
      out += u'\0';
    } else {
      Fail(s, "bad escape " + Quote(s.text.substr(s.pos, kEscapeLength)) + " in a quoted string");
      return false;
    }
    s.pos += kEscapeLength;
    runStart = s.pos;
  }
  Fail(s, "unterminated string");
  return false;
}

void ReadValueName(ParserState& s) {
  s.value = ValueOp{};
  if (s.text[s.pos] == u'@') {
    ++s.pos;
  } else {
    ++s.pos;
    if (!ReadQuoted(s, s.value.name)) return;
  }
  SkipBlanks(s);
  if (AtLineEnd(s) || s.text[s.pos] != u'=') {
    Fail(s, "expected '=' after the value name");
    return;
  }
  ++s.pos;
  SkipBlanks(s);
  s.state = State::ValueData;
}

bool IsTextType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

void CommitValue(ParserState& s) {
  if (s.keepValues) s.script.keys.back().values.push_back(std::move(s.value));
  s.value = ValueOp{};
  MoveToNextLine(s);
}

// The handlers of the data tags: each starts just after its tag.

void ReadStringData(ParserState& s, std::uint32_t type) {
  s.scratch.clear();
  if (!ReadQuoted(s, s.scratch)) return;
  SkipBlanks(s);
  if (!AtLineEnd(s)) {
    Fail(s, "unexpected text after the string: " + Quote(RestOfLine(s)));
    return;
  }
  s.value.type = type;
  s.value.data.reserve((s.scratch.size() + 1) * sizeof(char16_t));
  AppendUtf16Le(s.value.data, s.scratch);
  common::AppendLittleEndian16(s.value.data, 0);  // the terminator the registry stores
  CommitValue(s);
}

void ReadRemoval(ParserState& s, std::uint32_t /*type*/) {
  SkipBlanks(s);
  if (!AtLineEnd(s)) {
    Fail(s, "unexpected text after '-': " + Quote(RestOfLine(s)));
    return;
  }
  s.value.remove = true;
  CommitValue(s);
}

void ReadDwordData(ParserState& s, std::uint32_t type) {
  const std::size_t digitsEnd = WordEnd(s);
  const std::u16string_view digits = s.text.substr(s.pos, digitsEnd - s.pos);
  const std::optional<std::uint32_t> number = ParseHexNumber(digits, kHexDigitsOf32Bits);
  if (!number) {
    Fail(s, "bad dword " + Quote(digits) + ": expected 1 to " + std::to_string(kHexDigitsOf32Bits) + " hex digits");
    return;
  }
  s.pos = digitsEnd;
  if (!OnlyCommentRemains(s)) {
    Fail(s, "unexpected text after the dword: " + Quote(RestOfLine(s)));
    return;
  }
  s.value.type = type;
  common::AppendLittleEndian32(s.value.data, *number);
  CommitValue(s);
}

void BeginHexData(ParserState& s, std::uint32_t type) {
  s.value.type = type;
  s.hexBytes.clear();
  s.hexPosition = HexPosition::Start;
  s.state = State::HexBytes;
}

// At the number in "hex(N):", which is the value's type.
void ReadHexType(ParserState& s, std::uint32_t /*type*/) {
  static constexpr std::u16string_view kTypeEnd = u"):";
  const std::u16string_view rest = RestOfLine(s);
  const std::size_t close = rest.find(kTypeEnd.front());
  if (close == std::u16string_view::npos) {
    Fail(s, "missing ')' after the value type of hex data");
    return;
  }
  const std::optional<std::uint32_t> type = ParseHexNumber(rest.substr(0, close), kHexDigitsOf32Bits);
  if (!type) {
    Fail(s, "bad value type " + Quote(rest.substr(0, close)) + " in hex(...): expected hex digits");
    return;
  }
  if (rest.substr(close, kTypeEnd.size()) != kTypeEnd) {
    Fail(s, "expected ':' after hex(...)");
    return;
  }
  s.pos += close + kTypeEnd.size();
  BeginHexData(s, *type);
}

// What the data after '=' begins with, and how the rest is read. Tags are
// matched in order, ASCII letters in either case.
struct DataTag {
  std::string_view tag;
  std::uint32_t type;  // of the value; hex(N) gives its own
  void (*read)(ParserState&, std::uint32_t type);
};

constexpr DataTag kDataTags[] = {
    {"\"", kRegSz, ReadStringData},
    {"-", 0, ReadRemoval},
    {"dword:", kRegDword, ReadDwordData},
    {"hex:", kRegBinary, BeginHexData},
    {"hex(", 0, ReadHexType},
};

void ReadValueData(ParserState& s) {
  if (AtLineEnd(s)) {
    Fail(s, "missing value data after '='");
    return;
  }
  const std::u16string_view rest = RestOfLine(s);
  for (const DataTag& tag : kDataTags) {
    if (StartsWithIgnoreCase(rest, tag.tag)) {
      s.pos += tag.tag.size();
      tag.read(s, tag.type);
      return;
    }
  }
  Fail(s, "unknown data type " + Quote(rest.substr(0, TokenEnd(s, u':') - s.pos)));
}

// ---- Hex data -------------------------------------------------------------

std::optional<std::uint8_t> ParseHexByte(std::u16string_view token) {
  const std::optional<std::uint32_t> number = ParseHexNumber(token, kHexDigitsOfByte);
  if (!number) return std::nullopt;
  return static_cast<std::uint8_t>(*number);
}

void FinishHexValue(ParserState& s) {
  if (s.version == Version::Regedit4 && IsTextType(s.value.type)) {
    s.value.data = AnsiBytesToUtf16(s.hexBytes, s.ansiToUtf16);
  } else {
    s.value.data.assign(s.hexBytes.begin(), s.hexBytes.end());
  }
  CommitValue(s);
}

void ContinueHexOnNextLine(ParserState& s) {
  if (EnterLine(s)) {
    s.state = State::HexContinuation;
  } else if (!s.error) {
    Fail(s, "hex data continues past the end of the file");
  }
}

// Reads bytes up to the end of the current line; ends the value there, or
// moves on to the next line after a trailing "\".
void ReadHexBytes(ParserState& s) {
  for (;;) {
    const std::size_t separatorStart = s.pos;
    SkipBlanks(s);
    if (AtLineEnd(s)) {
      if (s.hexPosition == HexPosition::AfterComma) {
        Fail(s, "hex data ends with ',': missing '\\' continuation");
        return;
      }
      FinishHexValue(s);
      return;
    }
    const char16_t c = s.text[s.pos];
    if (s.hexPosition == HexPosition::AfterByte && c == u',') {
      ++s.pos;
      s.hexPosition = HexPosition::AfterComma;
      continue;
    }
    const bool blankBefore = s.pos > separatorStart;
    if (s.hexPosition != HexPosition::AfterComma && c == u';' && blankBefore) {
      FinishHexValue(s);
      return;
    }
    const std::size_t tokenEnd = TokenEnd(s, u',');
    const std::u16string_view token = s.text.substr(s.pos, tokenEnd - s.pos);
    if (s.hexPosition == HexPosition::AfterByte) {
      Fail(s, "expected ',' between hex bytes, found " + Quote(token));
      return;
    }
    if (s.hexPosition == HexPosition::AfterComma && token == u"\\" &&
        IsAllBlank(s.text.substr(tokenEnd))) {
      ContinueHexOnNextLine(s);
      return;
    }
    const std::optional<std::uint8_t> byte = ParseHexByte(token);
    if (!byte) {
      Fail(s, "bad hex byte " + Quote(token));
      return;
    }
    s.hexBytes.push_back(*byte);
    s.pos = tokenEnd;
    s.hexPosition = HexPosition::AfterByte;
  }
}

void ReadHexContinuation(ParserState& s) {
  SkipBlanks(s);
  if (AtLineEnd(s)) {
    Fail(s, "missing continuation of hex data: the previous line ends with '\\'");
    return;
  }
  s.hexPosition = HexPosition::AfterComma;
  s.state = State::HexBytes;
}

// ---- The machine ----------------------------------------------------------

void Run(ParserState& s) {
  while (s.state != State::Finished) {
    switch (s.state) {
      case State::Header: ReadHeader(s); break;
      case State::LineStart: ReadLineStart(s); break;
      case State::KeyName: ReadKeyName(s); break;
      case State::ValueName: ReadValueName(s); break;
      case State::ValueData: ReadValueData(s); break;
      case State::HexBytes: ReadHexBytes(s); break;
      case State::HexContinuation: ReadHexContinuation(s); break;
      case State::Finished: break;
    }
  }
}

// Parses the lines that `reader` decodes.
ParseResult RunParser(LineReader& reader, AnsiToUtf16 ansiToUtf16, const Selection& selection) {
  ParseResult result;
  if (!reader.Open()) {
    result.error = ParseError{1, "UTF-16 big-endian files are not supported"};
    return result;
  }
  ParserState state(reader);
  state.ansiToUtf16 = ansiToUtf16;
  state.selection = &selection;
  Run(state);
  if (reader.readFailed()) {
    result.error = ParseError{0, "cannot read file"};
  } else if (state.error) {
    result.error = std::move(state.error);
  } else {
    result.script = std::move(state.script);
  }
  return result;
}

}  // namespace

ParseResult Parse(std::string_view bytes, AnsiToUtf16 ansiToUtf16, const Selection& selection) {
  LineReader reader(bytes);
  return RunParser(reader, ansiToUtf16, selection);
}

FileRead ParseFile(const std::string& fileName, AnsiToUtf16 ansiToUtf16, const Selection& selection) {
  FileRead read;
  const File file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  if (file == nullptr) {
    read.error = FileError{fileName, 0, std::nullopt, "cannot read file"};
    return read;
  }
  // A folder opens, but fails to read: "cannot read file" too.
  LineReader reader(file.get());
  ParseResult result = RunParser(reader, ansiToUtf16, selection);
  if (result.error) {
    read.error = FileError{fileName, result.error->line, std::nullopt, result.error->message};
  } else {
    read.script = std::move(result.script);
  }
  return read;
}

}  // namespace regfile
