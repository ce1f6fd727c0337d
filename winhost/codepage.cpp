#include "winhost/codepage.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "common/little_endian.h"
#include "common/unique_handle.h"
#include "common/utf.h"
#include "internal.h"
#include "winhost/system.h"

namespace winhost {
namespace {

constexpr char16_t kDoubleByteReplacement = u'\x30FB';

void CloseIconv(iconv_t cd) noexcept { iconv_close(cd); }
using UniqueIconv = common::UniqueHandle<iconv_t, CloseIconv>;

void FreeLocale(locale_t locale) noexcept { freelocale(locale); }
using UniqueLocale = common::UniqueHandle<locale_t, FreeLocale>;

// glibc names the Windows pages CP874, CP932, ..., CP1258.
std::string IconvName(unsigned codePage) { return "CP" + std::to_string(codePage); }

// One iconv descriptor per conversion; iconv state is not shareable between threads.
UniqueIconv OpenIconv(const std::string& to, const std::string& from) {
  const iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert " + from + " to " + to);
  return UniqueIconv(cd);
}

// Converts one character's worth of input; returns false if iconv refuses
// it, leaving the descriptor in its initial state for the next character.
bool Convert(const UniqueIconv& cd, const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
  if (iconv(cd.get(), const_cast<char**>(&in), &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) return true;
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  return false;
}

char16_t Unit(const char* littleEndian) {
  return static_cast<char16_t>(common::LittleEndian16(reinterpret_cast<const unsigned char*>(littleEndian)));
}

// A single-byte page as tables read from iconv once, one byte at a time:
// glibc's CP1255 and CP1258 would otherwise compose a letter with the accent
// byte after it, and decompose a precomposed letter on the way back, which
// the platform does not.
struct SingleBytePage {
  std::array<char16_t, 256> units{};
  std::array<bool, 256> defined{};
  std::array<std::pair<char16_t, unsigned char>, 256> bytesByUnit{};  // sorted
  std::array<unsigned char, 256> upper{};
};

bool DecodeByte(const UniqueIconv& cd, unsigned char byte, char16_t& unit) {
  const char in = static_cast<char>(byte);
  const char* inPtr = &in;
  std::size_t inLeft = 1;
  char out[8];
  char* outPtr = out;
  std::size_t outLeft = sizeof out;
  if (!Convert(cd, inPtr, inLeft, outPtr, outLeft)) return false;
  // Flushes a character held back to be composed with the next byte.
  const bool flushed = iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  if (!flushed || outPtr - out != 2) return false;
  unit = Unit(out);
  return true;
}

std::unique_ptr<const SingleBytePage> ReadSingleBytePage(unsigned codePage) {
  auto page = std::make_unique<SingleBytePage>();
  const auto decoder = OpenIconv("UTF-16LE", IconvName(codePage));
  for (unsigned b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    char16_t unit = byte;
    page->defined[b] = DecodeByte(decoder, byte, unit);
    page->units[b] = unit;
    page->bytesByUnit[b] = {unit, byte};
  }
  std::sort(page->bytesByUnit.begin(), page->bytesByUnit.end());

  // towupper_l in a locale of its own: the process's locale stays as it is.
  const UniqueLocale utf8(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{}));
  if (!utf8) throw std::runtime_error("the C.UTF-8 locale is missing");
  for (unsigned b = 0; b < 256; ++b) {
    page->upper[b] = static_cast<unsigned char>(b);
    // An undefined byte is no letter, and no letter's upper case either.
    if (!page->defined[b]) continue;
    const wint_t upper = towupper_l(page->units[b], utf8.get());
    for (unsigned u = 0; u < 256; ++u) {
      if (page->defined[u] && static_cast<wint_t>(page->units[u]) == upper) {
        page->upper[b] = static_cast<unsigned char>(u);
      }
    }
  }
  return page;
}

std::size_t IndexOf(unsigned codePage) {
  const auto* const end = std::end(common::kAnsiCodePages);
  const auto* const it = std::find(std::begin(common::kAnsiCodePages), end, codePage);
  if (it == end) throw std::invalid_argument("code page " + std::to_string(codePage) + " is no ANSI code page");
  return static_cast<std::size_t>(it - std::begin(common::kAnsiCodePages));
}

// Read on first use and kept: the tables never change.
const SingleBytePage& SingleBytePageOf(unsigned codePage) {
  struct Slot {
    std::once_flag once;
    std::unique_ptr<const SingleBytePage> page;
  };
  static std::array<Slot, std::size(common::kAnsiCodePages)> slots;
  auto& slot = slots[IndexOf(codePage)];
  std::call_once(slot.once, [&] { slot.page = ReadSingleBytePage(codePage); });
  return *slot.page;
}

std::string ToSingleByte(std::u16string_view text, const SingleBytePage& page, bool& usedDefault) {
  std::string result;
  result.reserve(text.size());
  // Unit by unit: each half of a surrogate pair is a character the page lacks.
  for (const char16_t unit : text) {
    const auto it = std::lower_bound(page.bytesByUnit.begin(), page.bytesByUnit.end(), unit,
                                     [](const auto& entry, char16_t wanted) { return entry.first < wanted; });
    if (it != page.bytesByUnit.end() && it->first == unit) {
      result.push_back(static_cast<char>(it->second));
    } else {
      result.push_back('?');
      usedDefault = true;
    }
  }
  return result;
}

std::u16string FromSingleByte(std::string_view bytes, const SingleBytePage& page) {
  std::u16string result;
  result.reserve(bytes.size());
  for (const char byte : bytes) result.push_back(page.units[static_cast<unsigned char>(byte)]);
  return result;
}

std::string ToDoubleByte(std::u16string_view text, unsigned codePage, bool& usedDefault) {
  const auto iconv = OpenIconv(IconvName(codePage), "UTF-16LE");
  std::string result;
  result.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    // A lone surrogate is a character of its own, as the terminator after it is.
    const std::size_t units = common::CodePointAt(text, i).units;
    std::vector<std::uint8_t> in;
    for (std::size_t k = 0; k < units; ++k) common::AppendLittleEndian16(in, text[i + k]);
    const char* inPtr = reinterpret_cast<const char*>(in.data());
    std::size_t inLeft = in.size();
    char out[8];
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    if (Convert(iconv, inPtr, inLeft, outPtr, outLeft)) {
      result.append(out, static_cast<std::size_t>(outPtr - out));
    } else {
      result.push_back('?');
      usedDefault = true;
    }
    i += units;
  }
  return result;
}

std::u16string FromDoubleByte(std::string_view bytes, unsigned codePage) {
  const auto iconv = OpenIconv("UTF-16LE", IconvName(codePage));
  std::u16string result;
  result.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const std::size_t width = (IsLeadByte(byte, codePage) && i + 1 < bytes.size()) ? 2 : 1;
    const char* inPtr = bytes.data() + i;
    std::size_t inLeft = width;
    char out[8];
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    if (Convert(iconv, inPtr, inLeft, outPtr, outLeft)) {
      for (char* p = out; p + 1 < outPtr; p += 2) result.push_back(Unit(p));
    } else {
      result.push_back(kDoubleByteReplacement);
    }
    i += width;
  }
  return result;
}

std::array<unsigned char, 256> UpperAsciiBytes() {
  std::array<unsigned char, 256> upper{};
  for (unsigned b = 0; b < 256; ++b) {
    upper[b] = static_cast<unsigned char>((b >= 'a' && b <= 'z') ? b - 0x20 : b);
  }
  return upper;
}

}  // namespace

std::string ToAnsi(std::u16string_view text, unsigned codePage, bool* usedDefault) {
  bool defaulted = false;
  std::string result = common::IsDoubleByteCodePage(codePage)
                           ? ToDoubleByte(text, codePage, defaulted)
                           : ToSingleByte(text, SingleBytePageOf(codePage), defaulted);
  if (usedDefault != nullptr) *usedDefault = defaulted;
  return result;
}

std::string ToAnsi(std::u16string_view text) { return ToAnsi(text, AnsiCodePage()); }

std::u16string FromAnsi(std::string_view bytes) { return FromAnsi(bytes, AnsiCodePage()); }

std::u16string FromAnsi(std::string_view bytes, unsigned codePage) {
  return common::IsDoubleByteCodePage(codePage) ? FromDoubleByte(bytes, codePage)
                                                : FromSingleByte(bytes, SingleBytePageOf(codePage));
}

const std::array<unsigned char, 256>& UpperCaseBytes(unsigned codePage) {
  static const std::array<unsigned char, 256> kUpperAscii = UpperAsciiBytes();
  return common::IsDoubleByteCodePage(codePage) ? kUpperAscii : SingleBytePageOf(codePage).upper;
}

namespace detail {

void LoadCodePage(unsigned codePage) {
  if (common::IsDoubleByteCodePage(codePage)) {
    static_cast<void>(OpenIconv(IconvName(codePage), "UTF-16LE"));
    static_cast<void>(OpenIconv("UTF-16LE", IconvName(codePage)));
  } else {
    static_cast<void>(SingleBytePageOf(codePage));
  }
}

}  // namespace detail
}  // namespace winhost
