#include "enumeration_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "korvane.h"

namespace hardening {
namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;
constexpr unsigned char kSentinel = 0xCC;
constexpr std::size_t kTail = 64;                   // sentinel bytes after the size given to the export
constexpr std::size_t kMaxPort = 6;                 // characters of a port name
constexpr std::size_t kMaxCallbackUnits = 1 << 16;  // longer than any registry string the walk reads

template <typename Char>
using BufferExport = std::int32_t(KORVANE_CALL*)(const Char*, void*, std::uint32_t, std::uint32_t*);

template <typename Char>
using Callback = std::int32_t(KORVANE_CALL*)(const Char*, const Char*, const Char*, std::int32_t, uintptr_t);

template <typename Char>
using CallbackExport = std::int32_t(KORVANE_CALL*)(const Char*, Callback<Char>, uintptr_t);

bool UntouchedFrom(const std::vector<unsigned char>& buffer, std::size_t from) {
  for (std::size_t i = from; i < buffer.size(); ++i) {
    if (buffer[i] != kSentinel) return false;
  }
  return true;
}

template <typename Char>
void CheckRecordValues(const Record<Char>& record, std::size_t index, std::vector<std::string>& faults) {
  const auto where = "record " + std::to_string(index) + ": ";
  if (record.online != 0 && record.online != 1) faults.push_back(where + "online is neither 0 nor 1");
  if (record.port0.size() > kMaxPort) faults.push_back(where + "port0 longer than 6 characters");
  if (record.port2.size() > kMaxPort) faults.push_back(where + "port2 longer than 6 characters");
}

// Reads the packed result: the records, then the pool in which every string
// must start where the previous one ended, with its terminator before the end
// of the size reported, and the last one ending exactly there.
template <typename Char>
void Unpack(const unsigned char* base, std::uint32_t needed, Outcome<Char>& out) {
  const auto count = static_cast<std::size_t>(out.result);
  if (sizeof(PackedPrinterInfo) * count > needed) {
    out.faults.push_back("the records alone exceed the size reported");
    return;
  }
  const unsigned char* end = base + needed;
  const unsigned char* cursor = base + sizeof(PackedPrinterInfo) * count;
  for (std::size_t i = 0; i < count; ++i) {
    PackedPrinterInfo packed;
    std::memcpy(&packed, base + sizeof packed * i, sizeof packed);
    Record<Char> record;
    const std::pair<const void*, std::basic_string<Char>*> fields[] = {
        {packed.port0, &record.port0}, {packed.name, &record.name}, {packed.port2, &record.port2}};
    for (const auto& [address, text] : fields) {
      if (address == nullptr) {
        // Only a W buffer may carry an address of 0, for a string with no UTF-16 copy.
        if (sizeof(Char) == 1) out.faults.push_back("an address of 0 in an A buffer");
        continue;
      }
      if (static_cast<const unsigned char*>(address) != cursor) {
        out.faults.push_back("record " + std::to_string(i) + ": a string is not where the pool continues");
        return;
      }
      if (static_cast<std::size_t>(cursor - base) % sizeof(Char) != 0) {
        out.faults.push_back("a string starts at an odd offset");
      }
      for (;; cursor += sizeof(Char)) {
        if (cursor + sizeof(Char) > end) {
          out.faults.push_back("record " + std::to_string(i) + ": a string runs past the size reported");
          return;
        }
        Char unit;
        std::memcpy(&unit, cursor, sizeof unit);
        if (unit == 0) break;
        text->push_back(unit);
      }
      cursor += sizeof(Char);
    }
    record.online = packed.online;
    CheckRecordValues(record, i, out.faults);
    out.records.push_back(std::move(record));
  }
  if (cursor != end) out.faults.push_back("the pool ends before the size reported");
}

template <typename Char>
Outcome<Char> ProbeBuffer(BufferExport<Char> call, const Char* productId, bool stable) {
  Outcome<Char> out;
  std::uint32_t needed = kUntouched;
  if (call(productId, nullptr, 0, &needed) != -1) out.faults.push_back("the size query did not return -1");
  if (needed == kUntouched) return out;  // the walk failed
  const std::uint32_t size = needed;
  std::vector<unsigned char> buffer(size + kTail, kSentinel);
  if (stable && size > 0) {
    // One byte short: -1, the size again, and the buffer untouched.
    needed = kUntouched;
    if (call(productId, buffer.data(), size - 1, &needed) != -1) {
      out.faults.push_back("a buffer one byte short was filled");
    }
    if (needed != size) out.faults.push_back("a buffer one byte short did not get the size again");
    if (!UntouchedFrom(buffer, 0)) out.faults.push_back("a buffer one byte short was written into");
    std::fill(buffer.begin(), buffer.end(), kSentinel);
  }
  needed = kUntouched;
  out.result = call(productId, buffer.data(), size, &needed);
  if (out.result < 0) {
    out.result = -1;
    if (!UntouchedFrom(buffer, 0)) out.faults.push_back("a call that failed wrote into the buffer");
    if (needed != kUntouched && needed <= size) out.faults.push_back("-1 although the result fits the buffer");
    if (stable) out.faults.push_back("the call with the size just reported failed");
    return out;
  }
  if (needed > size) {
    out.faults.push_back("a result larger than the buffer");
    return out;
  }
  if (stable && needed != size) out.faults.push_back("the size changed between two calls");
  if (!UntouchedFrom(buffer, needed)) out.faults.push_back("bytes after the size reported were written");
  Unpack(buffer.data(), needed, out);
  return out;
}

template <typename Char>
std::basic_string<Char> CallbackText(const Char* text, std::vector<std::string>& faults) {
  if (text == nullptr) {
    faults.push_back("a callback received a null string");
    return {};
  }
  std::basic_string<Char> copy;
  for (std::size_t i = 0; text[i] != 0; ++i) {
    if (i == kMaxCallbackUnits) {
      faults.push_back("a callback string has no terminator in reach");
      break;
    }
    copy.push_back(text[i]);
  }
  return copy;
}

template <typename Char>
std::int32_t KORVANE_CALL Collect(const Char* name, const Char* port0, const Char* port2, std::int32_t online,
                                  uintptr_t context) {
  auto& out = *reinterpret_cast<Outcome<Char>*>(context);
  Record<Char> record;
  record.name = CallbackText(name, out.faults);
  record.port0 = CallbackText(port0, out.faults);
  record.port2 = CallbackText(port2, out.faults);
  record.online = online;
  CheckRecordValues(record, out.records.size(), out.faults);
  out.records.push_back(std::move(record));
  return 1;
}

template <typename Char>
Outcome<Char> ProbeCallback(CallbackExport<Char> call, const Char* productId) {
  Outcome<Char> out;
  const auto result = call(productId, Collect<Char>, reinterpret_cast<uintptr_t>(&out));
  out.result = result < 0 ? -1 : result;
  if (result < -1) out.faults.push_back("a negative result other than -1");
  if (result < 0 && !out.records.empty()) out.faults.push_back("-1 after calling the callback");
  if (result >= 0 && static_cast<std::size_t>(result) != out.records.size()) {
    out.faults.push_back("the result differs from the number of callbacks");
  }
  return out;
}

// The text converted from the ANSI code page the way the W exports convert it.
std::basic_string<KorvaneWChar> FromAnsi(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::basic_string<KorvaneWChar> wide(static_cast<std::size_t>(units), 0);
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
  return wide;
}

}  // namespace

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out.push_back(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

std::string Escaped(std::basic_string_view<KorvaneWChar> text) {
  std::string out;
  for (const KorvaneWChar unit : text) {
    if (unit >= 0x20 && unit < 0x7F && unit != '\\') {
      out.push_back(static_cast<char>(unit));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(unit));
      out += hex;
    }
  }
  return out;
}

Outcome<char> BufferA(const char* productId, bool stable) {
  return ProbeBuffer<char>(EnumPrinterInfoA, productId, stable);
}

Outcome<KorvaneWChar> BufferW(const KorvaneWChar* productId, bool stable) {
  return ProbeBuffer<KorvaneWChar>(EnumPrinterInfoW, productId, stable);
}

Outcome<char> CallbackA(const char* productId) { return ProbeCallback<char>(EnumPrinterInfoCallbackA, productId); }

Outcome<KorvaneWChar> CallbackW(const KorvaneWChar* productId) {
  return ProbeCallback<KorvaneWChar>(EnumPrinterInfoCallbackW, productId);
}

Enumeration EnumerateAll(std::string_view productId) {
  const std::string narrow(productId);
  const std::basic_string<KorvaneWChar> wide(productId.begin(), productId.end());
  return Enumeration{BufferA(narrow.c_str(), true), CallbackA(narrow.c_str()), BufferW(wide.c_str(), true),
                     CallbackW(wide.c_str())};
}

std::vector<std::string> Faults(const Enumeration& e) {
  std::vector<std::string> faults;
  const auto take = [&faults](const char* form, const std::vector<std::string>& found) {
    for (const auto& fault : found) faults.push_back(std::string(form) + ": " + fault);
  };
  take("EnumPrinterInfoA", e.bufferA.faults);
  take("EnumPrinterInfoCallbackA", e.callbackA.faults);
  take("EnumPrinterInfoW", e.bufferW.faults);
  take("EnumPrinterInfoCallbackW", e.callbackW.faults);
  if (e.bufferA.result != e.callbackA.result || e.bufferA.result != e.bufferW.result ||
      e.bufferA.result != e.callbackW.result) {
    faults.push_back("the four results differ: " + std::to_string(e.bufferA.result) + " " +
                     std::to_string(e.callbackA.result) + " " + std::to_string(e.bufferW.result) + " " +
                     std::to_string(e.callbackW.result));
  }
  if (e.bufferA.records != e.callbackA.records) {
    faults.push_back("A buffer " + Describe(e.bufferA.records) + "differs from A callback " +
                     Describe(e.callbackA.records));
  }
  if (e.bufferW.records != e.callbackW.records) {
    faults.push_back("W buffer " + Describe(e.bufferW.records) + "differs from W callback " +
                     Describe(e.callbackW.records));
  }
  if (e.bufferA.records.size() == e.bufferW.records.size()) {
    for (std::size_t i = 0; i < e.bufferA.records.size(); ++i) {
      const auto& a = e.bufferA.records[i];
      const WideRecord converted{FromAnsi(a.name), FromAnsi(a.port0), FromAnsi(a.port2), a.online};
      if (converted != e.bufferW.records[i]) {
        faults.push_back("W record " + Describe(std::vector<WideRecord>{e.bufferW.records[i]}) +
                         "is not the A record " + Describe(std::vector<NarrowRecord>{a}) + "converted");
      }
    }
  } else {
    faults.push_back("A and W buffers hold different numbers of records");
  }
  return faults;
}

}  // namespace hardening
