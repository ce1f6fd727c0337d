#include "enumeration.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "common/ansi.h"
#include "common/utf.h"
#include "korvane.h"

namespace korvane_cli {
namespace {

std::string Utf8Of(const char* text) { return common::AnsiToUtf8(text); }
std::string Utf8Of(const KorvaneWChar* text) { return common::Utf16ToUtf8(std::basic_string_view<KorvaneWChar>(text)); }

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
    enumeration.records.push_back(PrinterInfo{text(record.name), text(record.port0), text(record.port2), record.online != 0});
  }
  return enumeration;
}

template <typename Char>
int32_t KORVANE_CALL Collect(const Char* name, const Char* port0, const Char* port2, int32_t online, uintptr_t context) {
  reinterpret_cast<Enumeration*>(context)->records.push_back(
      PrinterInfo{Utf8Of(name), Utf8Of(port0), Utf8Of(port2), online != 0});
  return 1;
}

}  // namespace

Enumeration Enumerate(const std::string& productId, Export form) {
  const auto wideId = common::AnsiToWide(productId);
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
