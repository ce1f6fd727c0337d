#include "code_page.h"

#include "common/ansi.h"
#include "common/code_pages.h"
#include "common/little_endian.h"
#include "common/utf.h"
#include "library/registry_paths.h"
#include "registry_source.h"
#include "script_values.h"

namespace korvane_cli {
namespace {

using korvane::paths::kAnsiCodePage;
using korvane::paths::kCodePage;

const std::string kCodePageValue = std::string(kCodePage) + " (value " + kAnsiCodePage + ")";

// String data as the registry stores it, UTF-16LE.
std::u16string Utf16Of(const std::vector<std::uint8_t>& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(common::LittleEndian16(&data[2 * i]));
  return text;
}

// A REG_SZ up to its terminator, as ASCII; "" when it is not ASCII.
std::string AsciiString(const std::vector<std::uint8_t>& data) {
  std::string text;
  for (const char16_t unit : Utf16Of(data)) {
    if (unit == 0) break;
    if (unit >= 0x80) return std::string();
    text += static_cast<char>(unit);
  }
  return text;
}

unsigned Number(const std::string& digits) {
  if (digits.empty() || digits.size() > 5) return 0;
  unsigned number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number;
}

}  // namespace

std::string FilesCodePage(const std::vector<regfile::Script>& scripts) {
  const regfile::ValueOp* value = ValueAfterAll(scripts, kCodePage, kAnsiCodePage);
  return value != nullptr && value->type == regfile::kRegSz ? AsciiString(value->data) : std::string();
}

CodePageChoice ChooseCodePage(unsigned option, const std::string& filesCodePage) {
  CodePageChoice choice;
  std::string from;
  if (option != 0) {
    choice.codePage = option;
    from = "as --code-page gives it";
  } else if (!filesCodePage.empty()) {
    const unsigned number = Number(filesCodePage);
    if (!common::IsAnsiCodePage(number)) {
      choice.note = "the files give the machine's ANSI code page as \"" + filesCodePage + "\" (" + kCodePageValue +
                    "), which korvane does not convert through; names are converted through " +
                    std::to_string(kDefaultCodePage) + " (--code-page chooses another)";
      UseCodePage(kDefaultCodePage);
      return choice;
    }
    choice.codePage = number;
    from = "as the files give it, " + kCodePageValue;
  } else {
    UseCodePage(kDefaultCodePage);
    return choice;
  }
  const unsigned inForce = UseCodePage(choice.codePage);
  choice.customers = inForce == choice.codePage;
  choice.notTheCustomers = !choice.customers;
  const std::string page = std::to_string(choice.codePage);
  if (inForce == choice.codePage) {
    choice.note = "names are converted through code page " + page + ", the customer's ANSI code page " + from;
  } else {
    choice.note = "the customer's ANSI code page is " + page + " (" + from + "), but the library reads names "
                  "through this Windows's own, " + std::to_string(inForce) + ", which korvane cannot change: names "
                  "that " + std::to_string(inForce) + " lacks show as '?', and keys with such names cannot be "
                  "followed; run korvane on the host, or on a Windows whose code page is " + page;
    choice.codePage = inForce;
  }
  return choice;
}

bool NamesFitCodePage(const std::vector<regfile::Script>& scripts) {
  const auto fits = [](std::u16string_view text) {
    const common::WideString wide(text.begin(), text.end());
    return common::AnsiToWide(common::WideToAnsi(wide)) == wide;
  };
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      if (!fits(key.path)) return false;
      for (const auto& value : key.values) {
        if (!fits(value.name)) return false;
        if (value.type != regfile::kRegSz && value.type != regfile::kRegExpandSz && value.type != regfile::kRegMultiSz) {
          continue;
        }
        if (!fits(Utf16Of(value.data))) return false;
      }
    }
  }
  return true;
}

std::string ReplacedNamesNote(const CodePageChoice& choice) {
  const std::string page = std::to_string(choice.codePage);
  const std::string what = "some names in the files have characters that code page " + page +
                           " lacks: they show as '?', and keys with such names cannot be followed";
  if (choice.customers) return what + ", as on the customer's machine";
  if (choice.notTheCustomers) return what + " here";
  return what + "; give the customer's code page with --code-page (932 Japanese, 936 Chinese (simplified), "
                "949 Korean, 950 Chinese (traditional), 874 Thai, 1250 to 1258 European and Middle Eastern)";
}

}  // namespace korvane_cli
