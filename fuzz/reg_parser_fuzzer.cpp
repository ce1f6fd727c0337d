// Feeds the bytes to regfile::Parse as a whole .reg file and checks what every
// answer must satisfy:
//  - an error names a line of the input, says what was wrong in a short,
//    printable UTF-8 message, and comes with no script;
//  - a script's sections follow the header in line order, every level of a
//    key path is 1 to 255 units long, a [-key] section names a key below the
//    root and holds no values, and a removed value has neither type nor data;
//  - the script written back as a UTF-16 version 5 file parses to the same
//    script: nothing is lost or changed on the way;
//  - parsing with an ANSI converter accepts and rejects exactly the same files;
//  - importing the script into a winhost::Registry leaves its last section's
//    key and values as that section says.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "check.h"
#include "common/utf.h"
#include "regfile/reg_parser.h"
#include "winhost/codepage.h"
#include "winhost/registry.h"

namespace {

constexpr std::size_t kMaxLevel = 255;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegMultiSz = 7;

// Lines as the parser numbers them: split at LF bytes, or at LF units after a UTF-16LE mark.
unsigned LineCount(std::string_view bytes) {
  unsigned lines = 1;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      if (bytes[i] == '\n' && bytes[i + 1] == '\0') ++lines;
    }
    return lines;
  }
  for (const char c : bytes) {
    if (c == '\n') ++lines;
  }
  return lines;
}

// Valid UTF-8 without control characters: safe to print to a terminal or put in a document.
bool IsPrintableUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto point = common::DecodeUtf8At(text, i);
    if (!point || point->value < 0x20 || point->value == 0x7F) return false;
    i += point->bytes;
  }
  return true;
}

void CheckError(const regfile::ParseResult& result, std::string_view bytes) {
  const auto& error = *result.error;
  CHECK_THAT(error.line >= 1, "an error names a line from 1");
  CHECK_THAT(error.line <= LineCount(bytes), "an error names a line of the input");
  CHECK_THAT(!error.message.empty(), "an error says what was wrong");
  CHECK_THAT(error.message.size() < 512, "an error message stays short");
  CHECK_THAT(IsPrintableUtf8(error.message), "an error message is printable UTF-8");
  CHECK_THAT(result.script.keys.empty(), "a rejected file gives no script");
}

void CheckPath(std::u16string_view path) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    CHECK_THAT(end > start, "no key path has an empty level");
    CHECK_THAT(end - start <= kMaxLevel, "no key path level is over 255 units");
    if (end == path.size()) return;
    start = end + 1;
  }
}

void CheckScript(const regfile::Script& script, std::string_view bytes) {
  unsigned previousLine = 1;  // the header
  for (const auto& key : script.keys) {
    CHECK_THAT(static_cast<unsigned>(key.root) <= static_cast<unsigned>(regfile::Root::CurrentConfig),
                 "a section names a known root");
    CHECK_THAT(key.line > previousLine, "sections follow the header, in line order");
    CHECK_THAT(key.line <= LineCount(bytes), "a section names a line of the input");
    previousLine = key.line;
    if (!key.path.empty()) CheckPath(key.path);
    if (key.remove) {
      CHECK_THAT(!key.path.empty(), "a [-key] section never names a root");
      CHECK_THAT(key.values.empty(), "a [-key] section holds no values");
    }
    for (const auto& value : key.values) {
      if (value.remove) CHECK_THAT(value.type == 0 && value.data.empty(), "a removed value has no data");
    }
  }
}

// ---- Writing a script back as a file ---------------------------------------

void AppendAscii(std::u16string& out, std::string_view ascii) {
  for (const char c : ascii) out.push_back(static_cast<char16_t>(c));
}

void AppendQuoted(std::u16string& out, std::u16string_view text) {
  out.push_back(u'"');
  for (const char16_t c : text) {
    switch (c) {
      case u'\\': out += u"\\\\"; break;
      case u'"': out += u"\\\""; break;
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      case u'\0': out += u"\\0"; break;
      default: out.push_back(c);
    }
  }
  out.push_back(u'"');
}

void AppendHex(std::u16string& out, std::uint32_t number, int minDigits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[number & 0xF]);
    number >>= 4;
  } while (number != 0);
  while (static_cast<int>(digits.size()) < minDigits) digits.insert(digits.begin(), '0');
  AppendAscii(out, digits);
}

// Every value as hex(type): bytes, which version 5 stores as given; long data
// continues on further lines as regedit writes it.
std::string WriteVersion5(const regfile::Script& script) {
  std::u16string text = u"Windows Registry Editor Version 5.00\n";
  for (const auto& key : script.keys) {
    text += key.remove ? u"\n[-" : u"\n[";
    AppendAscii(text, regfile::RootName(key.root));
    if (!key.path.empty()) text.append(u"\\").append(key.path);
    text += u"]\n";
    for (const auto& value : key.values) {
      if (value.name.empty()) {
        text += u"@";
      } else {
        AppendQuoted(text, value.name);
      }
      if (value.remove) {
        text += u"=-\n";
        continue;
      }
      text += u"=hex(";
      AppendHex(text, value.type, 1);
      text += u"):";
      for (std::size_t i = 0; i < value.data.size(); ++i) {
        if (i > 0) text += (i % 20 == 0) ? u",\\\n  " : u",";
        AppendHex(text, value.data[i], 2);
      }
      text += u"\n";
    }
  }
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

bool IsTextType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// Same sections and values; data of text types compared only when `textData`.
bool SameScript(const regfile::Script& a, const regfile::Script& b, bool textData) {
  if (a.keys.size() != b.keys.size()) return false;
  for (std::size_t k = 0; k < a.keys.size(); ++k) {
    const auto& x = a.keys[k];
    const auto& y = b.keys[k];
    if (x.root != y.root || x.path != y.path || x.remove != y.remove || x.values.size() != y.values.size()) {
      return false;
    }
    for (std::size_t v = 0; v < x.values.size(); ++v) {
      const auto& p = x.values[v];
      const auto& q = y.values[v];
      if (p.name != q.name || p.remove != q.remove || p.type != q.type) return false;
      if ((textData || !IsTextType(p.type)) && p.data != q.data) return false;
    }
  }
  return true;
}

// ---- Importing ---------------------------------------------------------------

void CheckImport(const regfile::Script& script) {
  if (script.keys.empty()) return;
  auto registry = std::make_shared<winhost::Registry>();
  registry->Apply(script);
  const auto& last = script.keys.back();
  winhost::KeyPtr key;
  const auto status = registry->Open(registry->RootKey(last.root), last.path, key);
  if (last.remove) {
    CHECK_THAT(status != 0, "a deleted key is gone");
    return;
  }
  CHECK_THAT(status == 0, "an imported key can be opened");
  // The last line for each name (names match without regard to case) decides its value.
  std::map<std::u16string, const regfile::ValueOp*> lastWrite;
  for (const auto& value : last.values) lastWrite[winhost::UpperCaseName(value.name)] = &value;
  for (const auto& [upper, value] : lastWrite) {
    winhost::Value stored;
    const auto found = registry->QueryValue(key, value->name, stored);
    if (value->remove) {
      CHECK_THAT(found != 0, "a removed value is gone");
    } else {
      CHECK_THAT(found == 0, "an imported value can be read");
      CHECK_THAT(stored.type == value->type && stored.data == value->data, "an imported value keeps its data");
    }
  }
}

std::u16string WidenCodePage932(std::string_view bytes) { return winhost::FromAnsi(bytes, 932); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check::AbortOnFailure();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const regfile::ParseResult result = regfile::Parse(bytes);

  const regfile::ParseResult converted = regfile::Parse(bytes, &WidenCodePage932);
  CHECK_THAT(result.error.has_value() == converted.error.has_value(), "a converter changes no verdict");

  if (result.error) {
    CheckError(result, bytes);
    CHECK_THAT(converted.error->line == result.error->line && converted.error->message == result.error->message,
                 "a converter changes no error");
    return 0;
  }
  CheckScript(result.script, bytes);
  CHECK_THAT(SameScript(result.script, converted.script, false), "a converter changes only text data");

  const std::string written = WriteVersion5(result.script);
  const regfile::ParseResult reread = regfile::Parse(written);
  CHECK_THAT(!reread.error.has_value(), "a script written back parses");
  CHECK_THAT(SameScript(result.script, reread.script, true), "a script written back parses to itself");

  CheckImport(result.script);
  return 0;
}
