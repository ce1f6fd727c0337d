// Reader for .reg files.
//
// A state machine walks the file line by line. Each line is decoded on demand
// (UTF-16LE unit by unit, UTF-8 validated while decoding) into one reused
// UTF-16 buffer; a file is read a piece at a time, so the parser holds
// neither a copy of the whole file nor the keys it is not asked to keep.
// Every state is a small function that consumes part of the current line and
// names the state that follows. Results are collected in the parser state and
// handed out only when the whole file was accepted.
#include "regfile/reg_parser.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "common/utf.h"

namespace regfile {
namespace {

constexpr std::size_t kMaxKeyNameLength = 255;  // UTF-16 units per key level, as Windows allows
constexpr std::size_t kQuoteLimit = 40;         // longest piece of input echoed in a message
constexpr std::size_t kMaxTypeDigits = 8;       // a value type is a 32-bit number
constexpr std::size_t kReadPiece = 1 << 20;     // bytes read from a file at a time

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

enum class Encoding { Utf8, Utf16Le };

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The undecoded input: all of it, or the piece of a file read so far.
struct Source {
  std::string_view bytes;
  Encoding encoding = Encoding::Utf8;
  std::size_t offset = 0;     // start of the first line not yet decoded
  std::FILE* file = nullptr;  // where more comes from; null when bytes is all of it
  std::string piece;          // what bytes views when reading a file
  bool readFailed = false;
};

// Drops the decoded lines of a file's piece and reads more behind the rest;
// false at the end of the file. Offsets into bytes move back by the number of
// bytes dropped, which is the old offset.
bool ReadMore(Source& source) {
  if (source.file == nullptr || std::feof(source.file) || source.readFailed) return false;
  source.piece.erase(0, source.offset);
  source.offset = 0;
  const std::size_t kept = source.piece.size();
  source.piece.resize(kept + kReadPiece);
  const std::size_t got = std::fread(&source.piece[kept], 1, kReadPiece, source.file);
  source.piece.resize(kept + got);
  if (std::ferror(source.file) != 0) source.readFailed = true;
  source.bytes = source.piece;
  return got > 0;
}

struct ParserState {
  Source source;
  std::u16string lineText;    // the current line, decoded, with its CR but not its LF
  std::u16string_view text;   // view of lineText
  AnsiToUtf16 ansiToUtf16 = nullptr;
  const Selection* selection = nullptr;
  bool keepValues = true;     // whether the values of the current section are kept
  State state = State::Header;
  Version version = Version::Version5;
  Section section = Section::None;
  unsigned line = 0;          // 1-based number of the current line
  std::size_t pos = 0;        // next unit to read on the current line
  std::size_t lineEnd = 0;    // end of the current line, without its CR
  HexPosition hexPosition = HexPosition::Start;
  ValueOp value;              // the value line being read
  std::vector<std::uint8_t> hexBytes;  // hex data collected across continuation lines
  std::u16string scratch;     // reused for string data, so strings need no buffer of their own
  Script script;
  std::optional<ParseError> error;
};

// ---- Characters and messages ----------------------------------------------

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// `ascii` must be lower case.
bool StartsWithIgnoreCase(std::u16string_view text, std::string_view ascii) {
  if (text.size() < ascii.size()) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (AsciiLower(text[i]) != static_cast<char16_t>(ascii[i])) return false;
  }
  return true;
}

bool EqualsIgnoreCase(std::u16string_view text, std::string_view ascii) {
  return text.size() == ascii.size() && StartsWithIgnoreCase(text, ascii);
}

bool IsAllBlank(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), IsBlank);
}

// Reads 1 to maxDigits hex digits that make up all of `digits`.
std::optional<std::uint32_t> ParseHexNumber(std::u16string_view digits, std::size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  std::uint32_t number = 0;
  for (char16_t c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    number = (number << 4) | static_cast<std::uint32_t>(digit);
  }
  return number;
}

// Input text for a message: in single quotes, as UTF-8, shortened, with
// control characters and broken surrogates shown as '?'.
std::string Quote(std::u16string_view text) {
  const bool shortened = text.size() > kQuoteLimit;
  if (shortened) text = text.substr(0, kQuoteLimit);
  std::string out = "'";
  for (std::size_t i = 0; i < text.size();) {
    const auto point = common::CodePointAt(text, i);
    const bool control = point.value < 0x20 || point.value == 0x7F;
    if (control || common::IsSurrogate(point.value)) {
      out += '?';
    } else {
      common::AppendUtf8(out, point.value);
    }
    i += point.units;
  }
  out += shortened ? "...'" : "'";
  return out;
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

// ---- Decoding the bytes, one line at a time --------------------------------

// Picks the encoding from the byte order mark and moves past it; false for
// UTF-16 big-endian.
bool OpenSource(Source& source) {
  const std::string_view bytes = source.bytes;
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') return false;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    source.offset = 2;
    source.encoding = Encoding::Utf16Le;
  } else if (bytes.size() >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' && bytes[2] == '\xBF') {
    source.offset = 3;
  }
  return true;
}

char16_t Utf16LeUnit(std::string_view bytes, std::size_t at) {
  return static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// Decodes the units up to the next line feed. False when the input ends in half a unit.
bool DecodeUtf16LeLine(Source& source, std::u16string& out) {
  std::size_t scanned = 0;  // bytes of the line seen so far, a whole number of units
  for (;;) {
    const std::string_view bytes = source.bytes;
    std::size_t end = source.offset + scanned;
    while (end + 1 < bytes.size() && !(bytes[end] == '\n' && bytes[end + 1] == '\0')) end += 2;
    scanned = end - source.offset;
    if (end + 1 < bytes.size() || !ReadMore(source)) break;
  }
  const std::string_view bytes = source.bytes;
  const std::size_t start = source.offset;
  const std::size_t end = start + scanned;
  out.resize(scanned / 2);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = Utf16LeUnit(bytes, start + 2 * i);
  if (end + 1 < bytes.size()) {
    source.offset = end + 2;
    return true;
  }
  source.offset = bytes.size();
  return end == bytes.size();
}

// Length of the UTF-8 sequence that starts with `lead`, 0 when it cannot start one.
std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

// Decodes the multi-byte sequence at bytes[at]; rejects truncated, overlong
// and surrogate sequences and code points above U+10FFFF.
std::optional<std::uint32_t> DecodeUtf8Sequence(std::string_view bytes, std::size_t at) {
  static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  static constexpr unsigned char kLeadMask[] = {0, 0, 0x1F, 0x0F, 0x07};
  const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(bytes[at]));
  if (length < 2 || bytes.size() - at < length) return std::nullopt;
  std::uint32_t codePoint = static_cast<unsigned char>(bytes[at]) & kLeadMask[length];
  for (std::size_t k = 1; k < length; ++k) {
    const auto continuation = static_cast<unsigned char>(bytes[at + k]);
    if ((continuation & 0xC0) != 0x80) return std::nullopt;
    codePoint = (codePoint << 6) | (continuation & 0x3Fu);
  }
  if (codePoint < kSmallest[length] || codePoint > 0x10FFFF) return std::nullopt;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return std::nullopt;
  return codePoint;
}

// Decodes the bytes up to the next line feed. False on a malformed sequence.
bool DecodeUtf8Line(Source& source, std::u16string& out) {
  std::size_t scanned = 0;
  std::size_t end = std::string_view::npos;
  for (;;) {
    end = source.bytes.find('\n', source.offset + scanned);
    scanned = source.bytes.size() - source.offset;
    if (end != std::string_view::npos || !ReadMore(source)) break;
  }
  const std::size_t start = source.offset;
  if (end == std::string_view::npos) {
    end = source.bytes.size();
    source.offset = end;
  } else {
    source.offset = end + 1;
  }
  const std::string_view line = source.bytes.substr(start, end - start);
  out.resize(line.size());  // never more units than bytes
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < line.size()) {
    const auto lead = static_cast<unsigned char>(line[i]);
    if (lead < 0x80) {
      out[written++] = lead;
      ++i;
      continue;
    }
    const std::optional<std::uint32_t> codePoint = DecodeUtf8Sequence(line, i);
    if (!codePoint) return false;
    if (*codePoint >= 0x10000) {
      const std::uint32_t offset = *codePoint - 0x10000;
      out[written++] = static_cast<char16_t>(0xD800 + (offset >> 10));
      out[written++] = static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
    } else {
      out[written++] = static_cast<char16_t>(*codePoint);
    }
    i += Utf8SequenceLength(lead);
  }
  out.resize(written);
  return true;
}

// ---- Moving through lines -------------------------------------------------

void Fail(ParserState& s, std::string message) {
  s.error = ParseError{s.line, std::move(message)};
  s.state = State::Finished;
}

// Decodes the next line and starts reading it. Fails the parse when its bytes are malformed.
bool EnterLine(ParserState& s) {
  ++s.line;
  const bool utf16 = s.source.encoding == Encoding::Utf16Le;
  const bool decoded =
      utf16 ? DecodeUtf16LeLine(s.source, s.lineText) : DecodeUtf8Line(s.source, s.lineText);
  s.text = s.lineText;
  s.pos = 0;
  s.lineEnd = s.text.size();
  if (s.lineEnd > 0 && s.text[s.lineEnd - 1] == u'\r') --s.lineEnd;
  if (!decoded) Fail(s, utf16 ? "UTF-16 file has an odd number of bytes" : "invalid UTF-8");
  return decoded;
}

bool HasNextLine(ParserState& s) {
  return s.source.offset < s.source.bytes.size() || ReadMore(s.source);
}

void MoveToNextLine(ParserState& s) {
  if (!HasNextLine(s)) {
    s.state = State::Finished;
    return;
  }
  s.state = State::LineStart;
  EnterLine(s);
}

bool AtLineEnd(const ParserState& s) { return s.pos >= s.lineEnd; }

std::u16string_view RestOfLine(const ParserState& s) {
  return s.text.substr(s.pos, s.lineEnd - s.pos);
}

void SkipBlanks(ParserState& s) {
  while (s.pos < s.lineEnd && IsBlank(s.text[s.pos])) ++s.pos;
}

// End of the run of units from s.pos up to a blank or the line end.
std::size_t WordEnd(const ParserState& s) {
  std::size_t end = s.pos;
  while (end < s.lineEnd && !IsBlank(s.text[end])) ++end;
  return end;
}

// End of the run of units from s.pos up to a blank, `stop` or the line end.
std::size_t TokenEnd(const ParserState& s, char16_t stop) {
  std::size_t end = s.pos;
  while (end < s.lineEnd && !IsBlank(s.text[end]) && s.text[end] != stop) ++end;
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
  if (!EnterLine(s)) return;
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

std::optional<Root> RootFromName(std::u16string_view name) {
  static constexpr struct {
    Root root;
    std::string_view longName;
    std::string_view shortName;
  } kRoots[] = {
      {Root::ClassesRoot, "hkey_classes_root", "hkcr"},
      {Root::CurrentUser, "hkey_current_user", "hkcu"},
      {Root::LocalMachine, "hkey_local_machine", "hklm"},
      {Root::Users, "hkey_users", "hku"},
      {Root::CurrentConfig, "hkey_current_config", "hkcc"},
  };
  for (const auto& entry : kRoots) {
    if (EqualsIgnoreCase(name, entry.longName) || EqualsIgnoreCase(name, entry.shortName)) {
      return entry.root;
    }
  }
  return std::nullopt;
}

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
      Fail(s, "key name longer than 255 characters: " + Quote(path.substr(levelStart, length)));
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
  while (s.pos < s.lineEnd) {
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
    if (s.pos + 1 >= s.lineEnd) break;
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
      Fail(s, "bad escape " + Quote(s.text.substr(s.pos, 2)) + " in a quoted string");
      return false;
    }
    s.pos += 2;
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

// Text in ANSI of a REGEDIT4 file becomes UTF-16LE; each NUL byte, which
// ends a string, becomes a UTF-16 NUL.
std::vector<std::uint8_t> AnsiBytesToUtf16(const std::vector<std::uint8_t>& ansi,
                                           AnsiToUtf16 convert) {
  std::vector<std::uint8_t> out;
  out.reserve(ansi.size() * 2);
  std::size_t runStart = 0;
  for (std::size_t i = 0; i <= ansi.size(); ++i) {
    if (i < ansi.size() && ansi[i] != 0) continue;
    if (i > runStart) {
      const std::string_view run(reinterpret_cast<const char*>(ansi.data()) + runStart,
                                 i - runStart);
      if (convert != nullptr) {
        AppendUtf16Le(out, convert(run));
      } else {
        for (char c : run) {
          out.push_back(static_cast<std::uint8_t>(c));
          out.push_back(0);
        }
      }
    }
    if (i < ansi.size()) {
      out.push_back(0);
      out.push_back(0);
    }
    runStart = i + 1;
  }
  return out;
}

bool IsTextType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

void CommitValue(ParserState& s) {
  if (s.keepValues) s.script.keys.back().values.push_back(std::move(s.value));
  s.value = ValueOp{};
  MoveToNextLine(s);
}

void ReadStringData(ParserState& s) {
  ++s.pos;  // opening quote
  s.scratch.clear();
  if (!ReadQuoted(s, s.scratch)) return;
  SkipBlanks(s);
  if (!AtLineEnd(s)) {
    Fail(s, "unexpected text after the string: " + Quote(RestOfLine(s)));
    return;
  }
  s.value.type = kRegSz;
  s.value.data.reserve((s.scratch.size() + 1) * 2);
  AppendUtf16Le(s.value.data, s.scratch);
  s.value.data.push_back(0);
  s.value.data.push_back(0);
  CommitValue(s);
}

void ReadRemoval(ParserState& s) {
  ++s.pos;  // '-'
  SkipBlanks(s);
  if (!AtLineEnd(s)) {
    Fail(s, "unexpected text after '-': " + Quote(RestOfLine(s)));
    return;
  }
  s.value.remove = true;
  CommitValue(s);
}

void ReadDwordData(ParserState& s) {
  const std::size_t digitsEnd = WordEnd(s);
  const std::u16string_view digits = s.text.substr(s.pos, digitsEnd - s.pos);
  const std::optional<std::uint32_t> number = ParseHexNumber(digits, 8);
  if (!number) {
    Fail(s, "bad dword " + Quote(digits) + ": expected 1 to 8 hex digits");
    return;
  }
  s.pos = digitsEnd;
  if (!OnlyCommentRemains(s)) {
    Fail(s, "unexpected text after the dword: " + Quote(RestOfLine(s)));
    return;
  }
  s.value.type = kRegDword;
  s.value.data = {static_cast<std::uint8_t>(*number & 0xFF),
                  static_cast<std::uint8_t>((*number >> 8) & 0xFF),
                  static_cast<std::uint8_t>((*number >> 16) & 0xFF),
                  static_cast<std::uint8_t>(*number >> 24)};
  CommitValue(s);
}

void BeginHexData(ParserState& s, std::uint32_t type) {
  s.value.type = type;
  s.hexBytes.clear();
  s.hexPosition = HexPosition::Start;
  s.state = State::HexBytes;
}

// At the number in "hex(N):".
void ReadHexType(ParserState& s) {
  const std::u16string_view rest = RestOfLine(s);
  const std::size_t close = rest.find(u')');
  if (close == std::u16string_view::npos) {
    Fail(s, "missing ')' after the value type of hex data");
    return;
  }
  const std::optional<std::uint32_t> type = ParseHexNumber(rest.substr(0, close), kMaxTypeDigits);
  if (!type) {
    Fail(s, "bad value type " + Quote(rest.substr(0, close)) + " in hex(...): expected hex digits");
    return;
  }
  if (close + 1 >= rest.size() || rest[close + 1] != u':') {
    Fail(s, "expected ':' after hex(...)");
    return;
  }
  s.pos += close + 2;
  BeginHexData(s, *type);
}

void ReadValueData(ParserState& s) {
  if (AtLineEnd(s)) {
    Fail(s, "missing value data after '='");
    return;
  }
  const char16_t first = s.text[s.pos];
  const std::u16string_view rest = RestOfLine(s);
  if (first == u'"') {
    ReadStringData(s);
  } else if (first == u'-') {
    ReadRemoval(s);
  } else if (StartsWithIgnoreCase(rest, "dword:")) {
    s.pos += 6;
    ReadDwordData(s);
  } else if (StartsWithIgnoreCase(rest, "hex:")) {
    s.pos += 4;
    BeginHexData(s, kRegBinary);
  } else if (StartsWithIgnoreCase(rest, "hex(")) {
    s.pos += 4;
    ReadHexType(s);
  } else {
    Fail(s, "unknown data type " + Quote(rest.substr(0, TokenEnd(s, u':') - s.pos)));
  }
}

// ---- Hex data -------------------------------------------------------------

std::optional<std::uint8_t> ParseHexByte(std::u16string_view token) {
  const std::optional<std::uint32_t> number = ParseHexNumber(token, 2);
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
  if (!HasNextLine(s)) {
    Fail(s, "hex data continues past the end of the file");
    return;
  }
  s.state = State::HexContinuation;
  EnterLine(s);
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
        IsAllBlank(s.text.substr(tokenEnd, s.lineEnd - tokenEnd))) {
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

// Parses the input that state.source holds or reads.
ParseResult RunParser(ParserState& state, AnsiToUtf16 ansiToUtf16, const Selection& selection) {
  ParseResult result;
  if (!OpenSource(state.source)) {
    result.error = ParseError{1, "UTF-16 big-endian files are not supported"};
    return result;
  }
  state.ansiToUtf16 = ansiToUtf16;
  state.selection = &selection;
  Run(state);
  if (state.source.readFailed) {
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
  ParserState state;
  state.source.bytes = bytes;
  return RunParser(state, ansiToUtf16, selection);
}

FileRead ParseFile(const std::string& fileName, AnsiToUtf16 ansiToUtf16, const Selection& selection) {
  FileRead read;
  const File file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  if (file == nullptr) {
    read.error = FileError{fileName, 0, std::nullopt, "cannot read file"};
    return read;
  }
  ParserState state;
  state.source.file = file.get();
  // The first piece, where the byte order mark is; a folder fails here.
  if (!ReadMore(state.source) && state.source.readFailed) {
    read.error = FileError{fileName, 0, std::nullopt, "cannot read file"};
    return read;
  }
  ParseResult result = RunParser(state, ansiToUtf16, selection);
  if (result.error) {
    read.error = FileError{fileName, result.error->line, std::nullopt, result.error->message};
  } else {
    read.script = std::move(result.script);
  }
  return read;
}

std::string_view RootName(Root root) {
  switch (root) {
    case Root::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case Root::CurrentUser: return "HKEY_CURRENT_USER";
    case Root::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Root::Users: return "HKEY_USERS";
    case Root::CurrentConfig: return "HKEY_CURRENT_CONFIG";
  }
  return "";
}

}  // namespace regfile
