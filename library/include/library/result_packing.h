// Turns the walk's records into what a caller receives: per-field lists with
// the packed size, the packed result buffer, and the strings for callbacks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/handles.h"
#include "library/correlation.h"
#include "korvane.h"

namespace korvane {

// One string of the result lists: its first unit and its size in bytes,
// terminator included. In the narrow form data points into the record's own
// string (which must outlive the lists); in the wide form into copy, the
// UTF-16 copy that the entry owns. data is null only for a wide copy that
// could not be made (size 0).
struct ResultText {
  const void* data = nullptr;
  std::uint32_t bytes = 0;
  common::UniqueTaskMem<WCHAR> copy;
};

// Four parallel lists, one entry per record.
struct ResultLists {
  std::vector<ResultText> port0;
  std::vector<ResultText> name;
  std::vector<ResultText> port2;
  std::vector<std::int32_t> online;
};

// Size in bytes of one packed record: 16 in the 32-bit library.
constexpr std::uint32_t kPackedRecordSize = sizeof(PackedPrinterInfo);
#if defined(_WIN32) && !defined(_WIN64)
static_assert(kPackedRecordSize == 16, "a packed record is four 32-bit fields");
#endif

// Fills the lists from the records (narrow: wide false; UTF-16: wide true) and
// returns the bytes that the packed form takes: one record per entry and
// every string with its terminator. Throws std::bad_alloc when memory runs
// out, and std::length_error when the size does not fit 32 bits.
std::uint32_t BuildResultLists(const PrinterInfoList& records, ResultLists& lists, bool wide);

// Writes the records and the string pool (per record: port0, name, port2)
// into buffer, which must hold the bytes BuildResultLists returned. Writes
// nothing for a null buffer or empty lists. A wide string that could not be
// converted takes no pool bytes and its address field holds 0.
void PackResults(void* buffer, const ResultLists& lists, bool wide);

// Empties the lists. Each entry owns its UTF-16 copy, which goes with it, so
// this only gives the memory back before the lists themselves go.
void ReleaseResultLists(ResultLists& lists);

// A UTF-16 copy of a narrow string from the task allocator, and its size in
// bytes with the terminator; empty (size 0) for null input or on failure.
struct WideCopy {
  common::UniqueTaskMem<WCHAR> text;
  std::uint32_t bytes = 0;
};
WideCopy WidenString(const char* text);

// A narrow copy of a UTF-16 string from the task allocator, and its size in
// bytes with the terminator; empty (size 0) for null input or on failure.
struct NarrowCopy {
  common::UniqueTaskMem<char> text;
  std::uint32_t bytes = 0;
};
NarrowCopy NarrowString(const WCHAR* text);

}  // namespace korvane
