// Calls the four exports the way a careful caller would and checks all that a
// caller relies on (korvane.h):
//  - buffer forms: the size query returns -1 and sets the size exactly when
//    the walk succeeds; a failed walk leaves the size alone and writes
//    nothing; a buffer one byte short is refused, learns the size again and
//    is untouched; a buffer of the size is filled with nothing written before
//    it or past the size; a larger buffer gets the very same bytes; no device
//    means 0 records and nothing written; the packed layout: n records, then
//    per record port0, name and port2 with their terminators and no gap, W
//    strings at even offsets, the pool ending exactly at the size; an address
//    of 0 only in a W buffer, and only where a copy may fail;
//  - callback forms: never a null string, as many calls as the count, none
//    after a failure, and a callback that returns 0 stops the calls but not
//    the count;
//  - the four agree: results, records, and every W string is its A string
//    widened in the ANSI code page;
//  - ports of at most 6 characters, online 0 or 1.
//
// The exports come as function pointers: linked (the host build, or KORVANE.dll
// through its import library, see linked_exports.h) or looked up in the DLL
// loaded by name. Builds for the host and for Windows, and needs no test
// framework: every broken rule is returned as a fault, for the caller to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "korvane.h"

namespace contract {

template <typename Char>
using BufferExport = std::int32_t(KORVANE_CALL*)(const Char*, void*, std::uint32_t, std::uint32_t*);
template <typename Char>
using Callback = std::int32_t(KORVANE_CALL*)(const Char*, const Char*, const Char*, std::int32_t, uintptr_t);
template <typename Char>
using CallbackExport = std::int32_t(KORVANE_CALL*)(const Char*, Callback<Char>, uintptr_t);

struct Exports {
  BufferExport<char> bufferA = nullptr;
  BufferExport<KorvaneWChar> bufferW = nullptr;
  CallbackExport<char> callbackA = nullptr;
  CallbackExport<KorvaneWChar> callbackW = nullptr;
};

// What *bytesNeeded holds before a call: a call that must leave it alone shows.
constexpr std::uint32_t kUntouched = 0xDEADBEEF;

template <typename Char>
struct Record {
  std::basic_string<Char> name;
  std::basic_string<Char> port0;
  std::basic_string<Char> port2;
  std::int32_t online = 0;
};

template <typename Char>
bool operator==(const Record<Char>& a, const Record<Char>& b) {
  return a.name == b.name && a.port0 == b.port0 && a.port2 == b.port2 && a.online == b.online;
}
template <typename Char>
bool operator!=(const Record<Char>& a, const Record<Char>& b) {
  return !(a == b);
}

using NarrowRecord = Record<char>;
using WideRecord = Record<KorvaneWChar>;

// The ASCII record in both forms.
NarrowRecord Narrow(const char* name, const char* port0, const char* port2, std::int32_t online);
WideRecord Widened(const NarrowRecord& ascii);

// The records one after another, for messages: {"name", "port0", "port2", online} ...
std::string Describe(const NarrowRecord& record);
std::string Describe(const WideRecord& record);
template <typename Char>
std::ostream& operator<<(std::ostream& out, const Record<Char>& record) {
  return out << Describe(record);
}
template <typename Char>
std::string Describe(const std::vector<Record<Char>>& records) {
  std::string text;
  for (const auto& record : records) text += Describe(record) + ' ';
  return text;
}

// What one export gave: its result (-1 or the number of devices), the size
// it reported (buffer forms; kUntouched when it set none), the records, and
// every way in which it broke its contract while giving them.
template <typename Char>
struct Outcome {
  std::int32_t result = -1;
  std::uint32_t needed = kUntouched;
  std::vector<Record<Char>> records;
  std::vector<std::string> faults;
};

struct Options {
  // The registry does not change during the calls: every call of one form
  // must then give the same answer, which is checked; otherwise only each
  // answer on its own is.
  bool stable = true;
  // The result buffer starts this many bytes into its allocation.
  std::size_t misalign = 0;
  // A second callback run (stable only) returns 0 after this many devices (1 or more).
  std::size_t stopAfter = 1;
  // An address of 0 in a W buffer is allowed: the task allocator may fail the copies.
  bool wideCopiesMayFail = false;
};

Outcome<char> BufferA(const Exports& exports, const char* productId, const Options& options = {});
Outcome<KorvaneWChar> BufferW(const Exports& exports, const KorvaneWChar* productId, const Options& options = {});
Outcome<char> CallbackA(const Exports& exports, const char* productId, const Options& options = {});
Outcome<KorvaneWChar> CallbackW(const Exports& exports, const KorvaneWChar* productId, const Options& options = {});

struct Enumeration {
  Outcome<char> bufferA;
  Outcome<char> callbackA;
  Outcome<KorvaneWChar> bufferW;
  Outcome<KorvaneWChar> callbackW;
};

// The four exports on one product id, given in both forms.
Enumeration EnumerateAll(const Exports& exports, const char* narrowId, const KorvaneWChar* wideId,
                         const Options& options = {});
// The same for an ASCII product id.
Enumeration EnumerateAll(const Exports& exports, std::string_view asciiId, const Options& options = {});

// Every export's faults, each named by its export, and every disagreement
// between the four: results, records, and each W string against its A
// string widened in the current ANSI code page (with its terminator: a
// double-byte lead byte at the end takes the terminator into one character).
std::vector<std::string> Faults(const Enumeration& enumeration);

// The arguments that the exports refuse without reading the registry, and
// the null product id of the callback forms, which must answer as the empty
// one does. productId names devices that exist, so that only the argument
// can make a call fail.
std::vector<std::string> ArgumentFaults(const Exports& exports, std::string_view asciiProductId);

}  // namespace contract
