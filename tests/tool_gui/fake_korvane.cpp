// A stand-in for KORVANE.dll that gives, on purpose, answers the real
// library never gives, chosen by the product id, so that tarnwell's handling
// of them can be driven through its window. Every other product id gets one
// well-formed record whose name is the id exactly as it arrived, which shows
// what tarnwell passes.
//
// Each call also checks that tarnwell keeps the two-call protocol: a size
// query with no buffer, then a fill call with a buffer of the size it was
// told. A call that breaks it gets -1, which tarnwell shows as "failure".
#include <cstdint>
#include <cstring>

#include "korvane.h"

namespace {

constexpr std::uint32_t kRecordSize = sizeof(PackedPrinterInfo);
constexpr std::uint32_t kLongNameSize = 2001;  // 2000 letters and a NUL

// Text at an address outside any buffer a caller passes.
const char kOutside[] = "outside";

const void* At(const unsigned char* buffer, std::uintptr_t offset) {
  return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(buffer) + offset);
}

void Put(unsigned char* buffer, std::uint32_t index, const void* name, const void* port0, const void* port2,
         std::int32_t online) {
  PackedPrinterInfo record;
  record.name = name;
  record.port0 = port0;
  record.port2 = port2;
  record.online = online;
  std::memcpy(buffer + kRecordSize * index, &record, sizeof record);
}

// The size query says there is one record; the fill call finds none.
std::int32_t FillNone(unsigned char*, std::uint32_t) { return 0; }

// The fill call fails.
std::int32_t FillFails(unsigned char*, std::uint32_t) { return -1; }

// Counts whose records would lie far past the end of the buffer.
std::int32_t FillTooMany(unsigned char*, std::uint32_t) { return 1000; }
std::int32_t FillMaxCount(unsigned char*, std::uint32_t) { return INT32_MAX; }

// Two records whose texts lie outside the buffer, or run to its end without
// a terminator: the address just before the buffer, none, the address just
// past it; a proper "Edge", text in this module, "COM9" cut by the end.
constexpr std::uint32_t kBadSize = 2 * kRecordSize + 5 + 4;
std::int32_t FillBadAddresses(unsigned char* buffer, std::uint32_t size) {
  const auto start = reinterpret_cast<std::uintptr_t>(buffer);
  Put(buffer, 0, reinterpret_cast<const void*>(start - 1), nullptr, At(buffer, size), 1);
  std::memcpy(buffer + 2 * kRecordSize, "Edge", 5);
  std::memcpy(buffer + 2 * kRecordSize + 5, "COM9", 4);
  Put(buffer, 1, At(buffer, 2 * kRecordSize), kOutside, At(buffer, 2 * kRecordSize + 5), 7);
  return 2;
}

// One record whose name is longer than tarnwell reads of a text.
constexpr std::uint32_t kLongSize = kRecordSize + kLongNameSize;
std::int32_t FillLongName(unsigned char* buffer, std::uint32_t) {
  std::memset(buffer + kRecordSize, 'x', kLongNameSize - 1);
  buffer[kRecordSize + kLongNameSize - 1] = 0;
  Put(buffer, 0, At(buffer, kRecordSize), nullptr, nullptr, 0);
  return 1;
}

// More records than tarnwell lists, all of them the same device.
constexpr std::uint32_t kManyRecords = 32768;
constexpr std::uint32_t kManySize = kManyRecords * kRecordSize + 5 + 5 + 5;
std::int32_t FillMany(unsigned char* buffer, std::uint32_t) {
  unsigned char* pool = buffer + kManyRecords * kRecordSize;
  std::memcpy(pool, "Many\0COM1\0COM2", 15);
  for (std::uint32_t i = 0; i < kManyRecords; ++i) Put(buffer, i, pool, pool + 5, pool + 10, 1);
  return static_cast<std::int32_t>(kManyRecords);
}

struct Behaviour {
  const char* productId;                                            // matched exactly, letter case included
  std::uint32_t size;                                               // what the size query reports
  std::int32_t (*fill)(unsigned char* buffer, std::uint32_t size);  // nullptr: never asked to fill
};

const Behaviour kBehaviours[] = {
    {"NF00", kRecordSize, FillNone},      {"FA00", kRecordSize, FillFails},  {"HUGE", kRecordSize, FillTooMany},
    {"MAXC", kRecordSize, FillMaxCount},  {"NEG0", 0x80000000u, nullptr},  // reads as a negative size
    {"BAD0", kBadSize, FillBadAddresses}, {"LONG", kLongSize, FillLongName}, {"MANY", kManySize, FillMany},
};

// Any other id: "<id>, COM1, COM2, OnLine".
std::uint32_t EchoSize(const char* productId) {
  return kRecordSize + static_cast<std::uint32_t>(std::strlen(productId)) + 1 + 5 + 5;
}

std::int32_t FillEcho(const char* productId, unsigned char* buffer) {
  const std::uint32_t idSize = static_cast<std::uint32_t>(std::strlen(productId)) + 1;
  unsigned char* pool = buffer + kRecordSize;
  std::memcpy(pool, productId, idSize);
  std::memcpy(pool + idSize, "COM1", 5);
  std::memcpy(pool + idSize + 5, "COM2", 5);
  Put(buffer, 0, pool, pool + idSize, pool + idSize + 5, 1);
  return 1;
}

const Behaviour* Find(const char* productId) {
  for (const auto& behaviour : kBehaviours) {
    if (std::strcmp(behaviour.productId, productId) == 0) return &behaviour;
  }
  return nullptr;
}

}  // namespace

// Exported as _EnumPrinterInfoA@16 by the .def file.
extern "C" std::int32_t KORVANE_CALL FakeEnumPrinterInfoA(const char* productId, void* buffer, std::uint32_t bufferSize,
                                                          std::uint32_t* bytesNeeded) {
  if (productId == nullptr || bytesNeeded == nullptr) return -1;
  const Behaviour* behaviour = Find(productId);
  const std::uint32_t size = behaviour != nullptr ? behaviour->size : EchoSize(productId);
  *bytesNeeded = size;
  if (buffer == nullptr || bufferSize != size) return -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  if (behaviour == nullptr) return FillEcho(productId, bytes);
  return behaviour->fill != nullptr ? behaviour->fill(bytes, size) : -1;
}
