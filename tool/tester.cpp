#include "tester.h"

#include <algorithm>
#include <cstring>

#include "common/ansi.h"
#include "korvane.h"

#if defined(_WIN32)
#define WTEXT(s) L##s
#else
#define WTEXT(s) u##s
#endif

namespace tarnwell {
namespace {

constexpr std::size_t kMaxTextBytes = 1024;       // of one string of a record
constexpr std::int32_t kMaxListedRecords = 32767;  // the record index is a 16-bit number

// Product ids of the three preset models, by option index.
const WCHAR* const kPresets[] = {WTEXT("4B31"), WTEXT("4B52"), WTEXT("4B53")};
const WCHAR* const kInputTooShort = WTEXT("入力不足です");
const WCHAR* const kFailure = WTEXT("failure");
const WCHAR* const kNotFound = WTEXT("not found");

WString FromAscii(const std::string& text) { return WString(text.begin(), text.end()); }

// The NUL-terminated ANSI string at address, read only inside the buffer.
WString StringInBuffer(const std::vector<unsigned char>& buffer, const void* address) {
  const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  if (address == nullptr || at < start || at - start >= buffer.size()) return WString();
  const unsigned char* text = buffer.data() + (at - start);
  const std::size_t available = std::min(buffer.size() - (at - start), kMaxTextBytes);
  const void* nul = std::memchr(text, 0, available);
  const std::size_t length = nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - text)
                                            : available;
  return common::AnsiToWide(std::string_view(reinterpret_cast<const char*>(text), length));
}

}  // namespace

WString FormatLine(const DecodedRecord& record) {
  const WString separator = WTEXT(", ");
  return record.name + separator + record.port0 + separator + record.port2 + separator +
         (record.online ? WTEXT("OnLine") : WTEXT("OffLine"));
}

std::vector<DecodedRecord> DecodeRecords(const std::vector<unsigned char>& buffer, std::size_t count) {
  std::vector<DecodedRecord> records(count);
  for (std::size_t i = 0; i < count; ++i) {
    PackedPrinterInfo raw;
    std::memcpy(&raw, buffer.data() + sizeof raw * i, sizeof raw);
    records[i].name = StringInBuffer(buffer, raw.name);
    records[i].port0 = StringInBuffer(buffer, raw.port0);
    records[i].port2 = StringInBuffer(buffer, raw.port2);
    records[i].online = raw.online != 0;
  }
  return records;
}

void Tester::OnOption(std::int16_t index) {
  if (index >= 0 && index <= 2) {
    productId_ = kPresets[index];
    return;
  }
  if (index != 3) return;
  const WString text = view_.ProductIdText();
  productId_ = text.substr(0, 4);
  // A short id only draws a warning; it is still the one used.
  if (text.size() != 4) {
    view_.ShowMessage(kInputTooShort);
    view_.FocusProductIdText();
  }
}

void Tester::OnGet() {
  view_.ClearList();
  WString error;
  if (!library_.Bind(error)) {
    view_.ShowMessage(error);
    return;
  }
  const std::string productId = common::WideToAnsi(productId_);
  std::uint32_t bytesNeeded = 0;
  library_.EnumPrinterInfoA(productId.c_str(), nullptr, 0, &bytesNeeded);
  const auto size = static_cast<std::int32_t>(bytesNeeded);
  if (size <= 0) {
    view_.ShowMessage(FromAscii(std::to_string(size)));
    return;
  }
  std::vector<unsigned char> buffer(static_cast<std::size_t>(size), 0);
  const std::int32_t count = library_.EnumPrinterInfoA(productId.c_str(), buffer.data(), bytesNeeded, &bytesNeeded);
  if (count < 0) {
    view_.ShowMessage(kFailure);
    return;
  }
  if (count == 0) {
    view_.ShowMessage(kNotFound);
    return;
  }
  ListRecords(buffer, count);
}

void Tester::ListRecords(const std::vector<unsigned char>& buffer, std::int32_t count) {
  // A count whose records would not lie inside the buffer is no result at all.
  if (static_cast<std::uint64_t>(count) * sizeof(PackedPrinterInfo) > buffer.size()) {
    view_.ShowMessage(kFailure);
    return;
  }
  const std::int32_t listed = std::min(count, kMaxListedRecords);
  std::vector<WString> lines;
  lines.reserve(static_cast<std::size_t>(listed));
  for (const auto& record : DecodeRecords(buffer, static_cast<std::size_t>(listed))) {
    lines.push_back(FormatLine(record));
  }
  view_.AppendLines(lines);
  if (count > listed) {
    view_.ShowMessage(FromAscii(std::to_string(count) + " devices found; the first " + std::to_string(listed) +
                                " are listed."));
  }
}

}  // namespace tarnwell
