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

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kFirstSupplementary = 0x10000;  // the first code point that takes a surrogate pair

// Length of the UTF-8 sequence that `lead` begins, 0 when it begins none.
std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

}  // namespace

std::optional<Utf8CodePoint> DecodeUtf8At(std::string_view bytes, std::size_t at) {
  // By length: the smallest code point that needs it (shorter forms are overlong), the lead's payload bits.
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, kFirstSupplementary};
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  const auto lead = static_cast<unsigned char>(bytes[at]);
  const std::size_t length = Utf8SequenceLength(lead);
  if (length == 1) return Utf8CodePoint{lead, 1};
  if (length == 0 || bytes.size() - at < length) return std::nullopt;
  char32_t codePoint = lead & kLeadMask[length];
  for (std::size_t k = 1; k < length; ++k) {
    const auto continuation = static_cast<unsigned char>(bytes[at + k]);
    if ((continuation & 0xC0) != 0x80) return std::nullopt;
    codePoint = (codePoint << 6) | (continuation & 0x3Fu);
  }
  if (codePoint < kSmallest[length] || codePoint > kLastCodePoint || IsSurrogate(codePoint)) return std::nullopt;
  return Utf8CodePoint{codePoint, length};
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
  if (codePoint < kFirstSupplementary) {
    out += static_cast<char16_t>(codePoint);
    return;
  }
  const char32_t offset = codePoint - kFirstSupplementary;
  out += static_cast<char16_t>(0xD800 + (offset >> 10));
  out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
}

Utf16CodePoint CodePointAt(std::u16string_view text, std::size_t i) {
  const char32_t c = text[i];
  const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                    text[i + 1] <= 0xDFFF;
  if (!pair) return {c, 1};
  return {kFirstSupplementary + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00), 2};
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
