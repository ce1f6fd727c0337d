// The four exported functions and the two workers behind them. No exception
// leaves an export: running out of memory gives -1 after everything the call
// allocated has been freed by its owners' destructors.
#include <windows.h>

#include "library/correlation.h"
#include "korvane.h"
#include "library/result_packing.h"

namespace korvane {
namespace {

constexpr std::int32_t kFailure = -1;

// The caller's callback, in the form of the export that received it.
struct Callback {
  EnumPrinterInfoProcA narrow = nullptr;
  EnumPrinterInfoProcW wide = nullptr;
  explicit operator bool() const { return narrow != nullptr || wide != nullptr; }
};

// A string that a wide copy could not be made of still reaches a callback as
// an empty string, never as a null address.
template <typename Char>
const Char* TextOrEmpty(const ResultText& text) {
  static constexpr Char kEmpty[1] = {0};
  return text.data != nullptr ? static_cast<const Char*>(text.data) : kEmpty;
}

bool Offer(const Callback& callback, const ResultLists& lists, std::size_t i, uintptr_t context) {
  if (callback.wide != nullptr) {
    return callback.wide(TextOrEmpty<KorvaneWChar>(lists.name[i]), TextOrEmpty<KorvaneWChar>(lists.port0[i]),
                         TextOrEmpty<KorvaneWChar>(lists.port2[i]), lists.online[i], context) != 0;
  }
  return callback.narrow(TextOrEmpty<char>(lists.name[i]), TextOrEmpty<char>(lists.port0[i]),
                         TextOrEmpty<char>(lists.port2[i]), lists.online[i], context) != 0;
}

std::int32_t EnumerateIntoBuffer(const char* productId, void* buffer, std::uint32_t bufferSize,
                                 std::uint32_t* bytesNeeded, bool wide) noexcept {
  if (productId == nullptr || bytesNeeded == nullptr) return kFailure;
  try {
    PrinterInfoList records;
    if (!CollectPrinterInfo(productId, records)) return kFailure;
    ResultLists lists;
    const std::uint32_t needed = BuildResultLists(records, lists, wide);
    *bytesNeeded = needed;
    if (buffer == nullptr || needed > bufferSize) {
      ReleaseResultLists(lists);
      return korvane::kFailure;
    }
    PackResults(buffer, lists, wide);
    ReleaseResultLists(lists);
    return static_cast<std::int32_t>(records.size());
  } catch (...) {
    return korvane::kFailure;
  }
}

std::int32_t EnumerateWithCallback(const char* productId, const Callback& callback, uintptr_t context,
                                   bool wide) noexcept {
  if (!callback) return kFailure;
  try {
    PrinterInfoList records;
    if (!CollectPrinterInfo(productId != nullptr ? productId : "", records)) return kFailure;
    ResultLists lists;
    BuildResultLists(records, lists, wide);
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (!Offer(callback, lists, i, context)) break;
    }
    ReleaseResultLists(lists);
    return static_cast<std::int32_t>(records.size());
  } catch (...) {
    return korvane::kFailure;
  }
}

}  // namespace
}  // namespace korvane

using korvane::Callback;

extern "C" {

int32_t KORVANE_CALL EnumPrinterInfoA(const char* productId, void* buffer, uint32_t bufferSize,
                                      uint32_t* bytesNeeded) {
  return korvane::EnumerateIntoBuffer(productId, buffer, bufferSize, bytesNeeded, false);
}

int32_t KORVANE_CALL EnumPrinterInfoW(const KorvaneWChar* productId, void* buffer, uint32_t bufferSize,
                                      uint32_t* bytesNeeded) {
  try {
    const auto narrow = korvane::NarrowString(productId);
    return korvane::EnumerateIntoBuffer(narrow.text.get(), buffer, bufferSize, bytesNeeded, true);
  } catch (...) {
    return korvane::kFailure;
  }
}

int32_t KORVANE_CALL EnumPrinterInfoCallbackA(const char* productId, EnumPrinterInfoProcA callback,
                                              uintptr_t context) {
  Callback narrow;
  narrow.narrow = callback;
  return korvane::EnumerateWithCallback(productId, narrow, context, false);
}

int32_t KORVANE_CALL EnumPrinterInfoCallbackW(const KorvaneWChar* productId, EnumPrinterInfoProcW callback,
                                              uintptr_t context) {
  try {
    const auto narrow = korvane::NarrowString(productId);
    Callback wide;
    wide.wide = callback;
    return korvane::EnumerateWithCallback(narrow.text.get(), wide, context, true);
  } catch (...) {
    return korvane::kFailure;
  }
}

}  // extern "C"
