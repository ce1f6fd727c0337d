#include "common/utf.h"

#include <cstdio>

namespace common {

void AppendUtf8(std::string& out, char32_t codePoint) {
  const auto c = static_cast<std::uint32_t>(codePoint);
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

Utf16CodePoint CodePointAt(std::u16string_view text, std::size_t i) {
  const char32_t c = text[i];
  const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                    text[i + 1] <= 0xDFFF;
  if (!pair) return {c, 1};
  return {0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00), 2};
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto point = CodePointAt(text, i);
    AppendUtf8(out, IsSurrogate(point.value) ? U'\uFFFD' : point.value);
    i += point.units;
  }
  return out;
}

namespace {

template <typename Unit>
std::string EscapedUnits(std::basic_string_view<Unit> text, const char* format) {
  std::string out;
  out.reserve(text.size());
  for (const Unit unit : text) {
    const auto value = static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(unit));
    if (value >= 0x20 && value < 0x7F) {
      out.push_back(static_cast<char>(value));
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, format, value);
      out += escape;
    }
  }
  return out;
}

}  // namespace

std::string Escaped(std::string_view bytes) { return EscapedUnits(bytes, "\\x%02X"); }

std::string Escaped(std::u16string_view units) { return EscapedUnits(units, "\\u%04X"); }

}  // namespace common
