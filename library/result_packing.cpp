#include "library/result_packing.h"

#include <objbase.h>

#include <cstring>
#include <limits>
#include <stdexcept>

namespace korvane {
namespace {

ResultText NarrowText(const std::string& text) {
  return ResultText{text.c_str(), static_cast<std::uint32_t>(text.size() + 1), {}};
}

ResultText WideText(const std::string& text) {
  auto copy = WidenString(text.c_str());
  const void* data = copy.text.get();
  return ResultText{data, copy.bytes, std::move(copy.text)};
}

// Copies one string to the pool position and returns where it starts, or
// null (writing nothing) for a string that has no copy.
const void* CopyToPool(const ResultText& text, unsigned char*& position) {
  if (text.data == nullptr) return nullptr;
  std::memcpy(position, text.data, text.bytes);
  const void* start = position;
  position += text.bytes;
  return start;
}

}  // namespace

WideCopy WidenString(const char* text) {
  if (text == nullptr) return {};
  const int units = lstrlenA(text) + 1;
  common::UniqueTaskMem<WCHAR> copy(static_cast<WCHAR*>(CoTaskMemAlloc(2 * static_cast<SIZE_T>(units))));
  if (!copy) return {};
  WCHAR* block = copy.get();
  int written = MultiByteToWideChar(CP_ACP, 0, text, units, block, units);
  // A double-byte lead byte just before the terminator can swallow it into an
  // invalid pair; the copy must still end in a NUL that its size counts.
  if (written > 0 && block[written - 1] != 0) {
    if (written < units) {
      block[written++] = 0;
    } else {
      block[written - 1] = 0;
    }
  }
  if (written <= 0) return {};
  return WideCopy{std::move(copy), 2 * static_cast<std::uint32_t>(written)};
}

NarrowCopy NarrowString(const WCHAR* text) {
  if (text == nullptr) return {};
  const int units = lstrlenW(text) + 1;
  const int capacity = 2 * units;  // at most two bytes per unit in the ANSI code pages
  common::UniqueTaskMem<char> copy(static_cast<char*>(CoTaskMemAlloc(static_cast<SIZE_T>(capacity))));
  if (!copy) return {};
  const int written = WideCharToMultiByte(CP_ACP, 0, text, units, copy.get(), capacity, nullptr, nullptr);
  if (written <= 0) return {};
  return NarrowCopy{std::move(copy), static_cast<std::uint32_t>(written)};
}

std::uint32_t BuildResultLists(const PrinterInfoList& records, ResultLists& lists, bool wide) {
  if (records.empty()) return 0;
  // Reserve first: once a copy is made, appending it must not fail.
  for (auto* list : {&lists.port0, &lists.name, &lists.port2}) list->reserve(records.size());
  lists.online.reserve(records.size());
  std::uint64_t total = std::uint64_t{kPackedRecordSize} * records.size();
  for (const auto& record : records) {
    const auto text = wide ? WideText : NarrowText;
    lists.port0.push_back(text(record.port0));
    lists.name.push_back(text(record.name));
    lists.port2.push_back(text(record.port2));
    lists.online.push_back(record.online);
    total += std::uint64_t{lists.port0.back().bytes} + lists.name.back().bytes + lists.port2.back().bytes;
  }
  if (total > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("result too large");
  return static_cast<std::uint32_t>(total);
}

void PackResults(void* buffer, const ResultLists& lists, bool wide) {
  static_cast<void>(wide);  // the lists already hold each string's bytes in its form
  if (buffer == nullptr || lists.port0.empty() || lists.name.empty() || lists.port2.empty()) return;
  auto* base = static_cast<unsigned char*>(buffer);
  const std::size_t count = lists.port0.size();
  unsigned char* pool = base + kPackedRecordSize * count;
  for (std::size_t i = 0; i < count; ++i) {
    // Zeroed whole, so that the padding of a 64-bit record reaches the caller as 0.
    PackedPrinterInfo record;
    std::memset(&record, 0, sizeof record);
    record.port0 = CopyToPool(lists.port0[i], pool);
    record.name = CopyToPool(lists.name[i], pool);
    record.port2 = CopyToPool(lists.port2[i], pool);
    record.online = lists.online[i];
    // The caller's buffer need not be aligned for the record type.
    std::memcpy(base + kPackedRecordSize * i, &record, sizeof record);
  }
}

void ReleaseResultLists(ResultLists& lists) {
  lists.port0.clear();
  lists.name.clear();
  lists.port2.clear();
  lists.online.clear();
}

}  // namespace korvane
