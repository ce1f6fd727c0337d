// Runs one fixture scenario through all four exports of KORVANE.dll, loaded by
// name, against the registry that the driver imported into Wine: the records
// and their order, and the byte layout of the packed A and W buffers.
//
//   dll_scenario_test --list     prints "INDEX FILE..." for every scenario
//   dll_scenario_test INDEX      checks that scenario
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "korvane_dll.h"
#include "scenarios.h"

namespace {

using fixtures::Record;
using fixtures::Scenario;
using wintest::Korvane;

constexpr unsigned char kSentinel = 0xA5;
constexpr std::size_t kRecordSize = sizeof(PackedPrinterInfo);
#if defined(__i386__)
static_assert(kRecordSize == 16, "four 32-bit fields");
static_assert(offsetof(PackedPrinterInfo, name) == 0 && offsetof(PackedPrinterInfo, port0) == 4 &&
                  offsetof(PackedPrinterInfo, port2) == 8 && offsetof(PackedPrinterInfo, online) == 12,
              "field order name, port0, port2, online");
#endif
constexpr uint32_t kUntouched = 0xDEADBEEF;

std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

template <typename Char>
std::size_t Length(const Char* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (std::size_t i = 0; text[i] != 0; ++i) out.push_back(static_cast<char>(text[i]));
  return out;
}
std::string Narrow(const char* text) { return text; }

// Follows the packed buffer's addresses and checks that they lie in order in
// the pool, with no gap, ending exactly at bytes needed.
template <typename Char>
void CheckBuffer(const Scenario& scenario, const std::vector<unsigned char>& buffer, uint32_t needed) {
  const unsigned char* base = buffer.data();
  const std::size_t count = static_cast<std::size_t>(scenario.recordCount);
  const unsigned char* expectedNext = base + kRecordSize * count;
  for (std::size_t i = 0; i < count; ++i) {
    PackedPrinterInfo record;
    std::memcpy(&record, base + kRecordSize * i, sizeof record);
    const void* inPoolOrder[] = {record.port0, record.name, record.port2};
    for (const void* address : inPoolOrder) {
      const auto* text = static_cast<const unsigned char*>(address);
      if (!CHECK(text == expectedNext)) return;  // no gap, port0-name-port2 order
      CHECK((text - base) % static_cast<std::ptrdiff_t>(sizeof(Char)) == 0);
      expectedNext = text + sizeof(Char) * (Length(reinterpret_cast<const Char*>(text)) + 1);
    }
    const Record& expected = scenario.records[i];
    CHECK_STR(Narrow(static_cast<const Char*>(record.name)), expected.name);
    CHECK_STR(Narrow(static_cast<const Char*>(record.port0)), expected.port0);
    CHECK_STR(Narrow(static_cast<const Char*>(record.port2)), expected.port2);
    CHECK_EQ(record.online, expected.online);
  }
  CHECK(expectedNext == base + needed);
  for (std::size_t i = needed; i < buffer.size(); ++i) CHECK_EQ(buffer[i], kSentinel);
}

template <typename Char, typename Enum>
void CheckBufferForm(Enum enumerate, const Char* productId, const Scenario& scenario) {
  uint32_t needed = kUntouched;
  CHECK_EQ(enumerate(productId, nullptr, 0, &needed), -1);
  if (!scenario.walkSucceeds) {
    CHECK_EQ(needed, kUntouched);
    return;
  }
  std::vector<unsigned char> buffer(needed + 16u, kSentinel);
  CHECK_EQ(enumerate(productId, buffer.data(), needed, &needed), scenario.recordCount);
  CheckBuffer<Char>(scenario, buffer, needed);
}

struct Collected {
  std::vector<std::string> lines;
};

std::string Line(const std::string& name, const std::string& port0, const std::string& port2, int32_t online) {
  return name + ", " + port0 + ", " + port2 + ", " + (online != 0 ? "OnLine" : "OffLine");
}

int32_t __stdcall CollectA(const char* name, const char* port0, const char* port2, int32_t online, uintptr_t context) {
  reinterpret_cast<Collected*>(context)->lines.push_back(Line(name, port0, port2, online));
  return 1;
}

int32_t __stdcall CollectW(const wchar_t* name, const wchar_t* port0, const wchar_t* port2, int32_t online,
                           uintptr_t context) {
  reinterpret_cast<Collected*>(context)->lines.push_back(Line(Narrow(name), Narrow(port0), Narrow(port2), online));
  return 1;
}

template <typename Char, typename Enum, typename Proc>
void CheckCallbackForm(Enum enumerate, const Char* productId, Proc collect, const Scenario& scenario) {
  Collected collected;
  const int32_t result = enumerate(productId, collect, reinterpret_cast<uintptr_t>(&collected));
  if (!scenario.walkSucceeds) {
    CHECK_EQ(result, -1);
    CHECK_EQ(collected.lines.size(), 0u);
    return;
  }
  CHECK_EQ(result, scenario.recordCount);
  if (!CHECK_EQ(collected.lines.size(), static_cast<std::size_t>(scenario.recordCount))) return;
  for (int i = 0; i < scenario.recordCount; ++i) {
    const Record& r = scenario.records[i];
    CHECK_STR(collected.lines[static_cast<std::size_t>(i)], Line(r.name, r.port0, r.port2, r.online));
  }
}

void ListScenarios() {
  int index = 0;
  for (const Scenario& scenario : fixtures::kScenarios) {
    std::printf("%d", index++);
    for (const char* file : scenario.files) {
      if (file != nullptr) std::printf(" %s", file);
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    ListScenarios();
    return 0;
  }
  const int count = static_cast<int>(sizeof fixtures::kScenarios / sizeof fixtures::kScenarios[0]);
  const int index = argc == 2 ? std::atoi(argv[1]) : -1;
  if (index < 0 || index >= count) {
    std::fprintf(stderr, "usage: dll_scenario_test --list | INDEX\n");
    return 64;
  }
  Korvane korvane;
  if (!CHECK(korvane.Load())) return wintest::Finish();
  const Scenario& scenario = fixtures::kScenarios[index];
  std::printf("scenario %d: %s (%s)\n", index, scenario.shows, scenario.productId);
  const std::wstring wideId = Widen(scenario.productId);
  CheckBufferForm<char>(korvane.bufferA, scenario.productId, scenario);
  CheckBufferForm<wchar_t>(korvane.bufferW, wideId.c_str(), scenario);
  CheckCallbackForm<char>(korvane.callbackA, scenario.productId, CollectA, scenario);
  CheckCallbackForm<wchar_t>(korvane.callbackW, wideId.c_str(), CollectW, scenario);
  return wintest::Finish();
}
