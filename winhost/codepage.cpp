#include "winhost/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <stdexcept>

#include "common/unique_handle.h"
#include "winhost/system.h"

namespace winhost {
namespace {

// Code page 1252 differs from Latin-1 only in 0x80-0x9F; the five bytes it
// leaves undefined map to the C1 control of the same value, as on Windows.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned char byte) {
  return (byte >= 0x80 && byte < 0xA0) ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

bool ToCp1252(char16_t unit, char& out) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
    out = static_cast<char>(unit);
    return true;
  }
  for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == unit) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

void CloseIconv(iconv_t cd) noexcept { iconv_close(cd); }
using UniqueIconv = common::UniqueHandle<iconv_t, CloseIconv>;

// One iconv descriptor per conversion; iconv state is not shareable between threads.
UniqueIconv OpenIconv(const char* to, const char* from) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  return UniqueIconv(cd);
}

// Converts one character's worth of input; returns false if iconv refuses it.
bool Convert(const UniqueIconv& cd, const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
  return iconv(cd.get(), const_cast<char**>(&in), &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
}

std::string ToCp932(std::u16string_view text, bool& usedDefault) {
  const auto iconv = OpenIconv("CP932", "UTF-16LE");
  std::string result;
  result.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    // Only a low surrogate completes a pair; after a lone high surrogate the
    // next unit (the terminator, say) is a character of its own.
    const std::size_t units = (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() &&
                               text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                                  ? 2
                                  : 1;
    char in[4];
    for (std::size_t k = 0; k < units; ++k) {
      in[2 * k] = static_cast<char>(text[i + k] & 0xFF);
      in[2 * k + 1] = static_cast<char>(text[i + k] >> 8);
    }
    const char* inPtr = in;
    std::size_t inLeft = units * 2;
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

std::u16string FromCp932(std::string_view bytes) {
  const auto iconv = OpenIconv("UTF-16LE", "CP932");
  std::u16string result;
  result.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const std::size_t width = (IsLeadByte(byte, 932) && i + 1 < bytes.size()) ? 2 : 1;
    const char* inPtr = bytes.data() + i;
    std::size_t inLeft = width;
    char out[8];
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    if (Convert(iconv, inPtr, inLeft, outPtr, outLeft)) {
      for (char* p = out; p + 1 < outPtr; p += 2) {
        result.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                               (static_cast<unsigned char>(p[1]) << 8)));
      }
    } else {
      result.push_back(u'\x30FB');
    }
    i += width;
  }
  return result;
}

}  // namespace

bool IsLeadByte(unsigned char byte, unsigned codePage) {
  return codePage == 932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

std::string ToAnsi(std::u16string_view text, unsigned codePage, bool* usedDefault) {
  bool defaulted = false;
  std::string result;
  if (codePage == 932) {
    result = ToCp932(text, defaulted);
  } else {
    result.reserve(text.size());
    for (const char16_t unit : text) {
      char c;
      if (!ToCp1252(unit, c)) {
        c = '?';
        defaulted = true;
      }
      result.push_back(c);
    }
  }
  if (usedDefault != nullptr) *usedDefault = defaulted;
  return result;
}

std::string ToAnsi(std::u16string_view text) { return ToAnsi(text, AnsiCodePage()); }

std::u16string FromAnsi(std::string_view bytes) { return FromAnsi(bytes, AnsiCodePage()); }

std::u16string FromAnsi(std::string_view bytes, unsigned codePage) {
  if (codePage == 932) return FromCp932(bytes);
  std::u16string result;
  result.reserve(bytes.size());
  for (const char byte : bytes) result.push_back(FromCp1252(static_cast<unsigned char>(byte)));
  return result;
}

}  // namespace winhost
