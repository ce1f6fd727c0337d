#include "enumeration.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "korvane.h"

namespace korvane_cli {
namespace {

std::u16string Utf16Of(const KorvaneWChar* text) {
  std::u16string out;
  for (; *text != 0; ++text) out.push_back(static_cast<char16_t>(*text));
  return out;
}

std::string Utf8Of(const char* text) { return AnsiToUtf8(text); }
std::string Utf8Of(const KorvaneWChar* text) { return Utf16ToUtf8(Utf16Of(text)); }

// The product id in the form the W exports take.
std::basic_string<KorvaneWChar> WideProductId(const std::string& productId) {
  std::basic_string<KorvaneWChar> wide;
  const int units = MultiByteToWideChar(CP_ACP, 0, productId.c_str(), -1, nullptr, 0);
  if (units <= 0) return wide;
  std::vector<WCHAR> buffer(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, productId.c_str(), -1, buffer.data(), units);
  wide.assign(buffer.begin(), buffer.end() - 1);
  return wide;
}

// The two-call protocol. A size of 0 means no device or a failed walk; a
// call with a buffer tells which. A size that grew between the calls (a
// device plugged in) is taken up again.
template <typename Char, typename Call>
Enumeration FromBuffer(Call call) {
  Enumeration enumeration;
  std::uint32_t needed = 0;
  call(nullptr, 0, &needed);
  std::vector<unsigned char> buffer(std::max<std::uint32_t>(needed, 1));
  for (int attempt = 0; attempt < 3; ++attempt) {
    enumeration.result = call(buffer.data(), needed, &needed);
    if (enumeration.result != -1 || needed <= buffer.size()) break;
    buffer.resize(needed);
  }
  for (std::int32_t i = 0; i < enumeration.result; ++i) {
    PackedPrinterInfo record;
    std::memcpy(&record, buffer.data() + sizeof record * static_cast<std::size_t>(i), sizeof record);
    const auto text = [](const void* address) {
      return address != nullptr ? Utf8Of(static_cast<const Char*>(address)) : std::string();
    };
    enumeration.devices.push_back(Device{text(record.name), text(record.port0), text(record.port2), record.online != 0});
  }
  return enumeration;
}

template <typename Char>
int32_t KORVANE_CALL Collect(const Char* name, const Char* port0, const Char* port2, int32_t online, uintptr_t context) {
  reinterpret_cast<Enumeration*>(context)->devices.push_back(
      Device{Utf8Of(name), Utf8Of(port0), Utf8Of(port2), online != 0});
  return 1;
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
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
  return out;
}

std::string AnsiToUtf8(const char* text) {
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 1) return std::string();
  std::vector<WCHAR> wide(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end() - 1));
}

Enumeration Enumerate(const std::string& productId, Export form) {
  const auto wideId = WideProductId(productId);
  switch (form) {
    case Export::BufferA:
      return FromBuffer<char>([&](void* buffer, std::uint32_t size, std::uint32_t* needed) {
        return EnumPrinterInfoA(productId.c_str(), buffer, size, needed);
      });
    case Export::BufferW:
      return FromBuffer<KorvaneWChar>([&](void* buffer, std::uint32_t size, std::uint32_t* needed) {
        return EnumPrinterInfoW(wideId.c_str(), buffer, size, needed);
      });
    case Export::CallbackA: {
      Enumeration enumeration;
      enumeration.result =
          EnumPrinterInfoCallbackA(productId.c_str(), Collect<char>, reinterpret_cast<uintptr_t>(&enumeration));
      return enumeration;
    }
    case Export::CallbackW: {
      Enumeration enumeration;
      enumeration.result =
          EnumPrinterInfoCallbackW(wideId.c_str(), Collect<KorvaneWChar>, reinterpret_cast<uintptr_t>(&enumeration));
      return enumeration;
    }
  }
  return Enumeration{};
}

}  // namespace korvane_cli
