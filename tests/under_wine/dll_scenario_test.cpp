// Runs one fixture scenario through all four exports of KORVANE.dll, loaded by
// name, against the registry that the driver imported into Wine: the records
// and their order, and the whole contract of the exports, the byte layout of
// the packed A and W buffers included.
//
//   dll_scenario_test --list     prints "INDEX FILE..." for every scenario
//   dll_scenario_test INDEX      checks that scenario
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "export_contract.h"
#include "korvane_dll.h"
#include "loaded_exports.h"
#include "scenarios.h"

namespace {

using fixtures::Scenario;
using wintest::Korvane;

#if defined(__i386__)
static_assert(sizeof(PackedPrinterInfo) == 16, "four 32-bit fields");
static_assert(offsetof(PackedPrinterInfo, name) == 0 && offsetof(PackedPrinterInfo, port0) == 4 &&
                  offsetof(PackedPrinterInfo, port2) == 8 && offsetof(PackedPrinterInfo, online) == 12,
              "field order name, port0, port2, online");
#endif

// The four exports keep their contract (export_contract.h) and give the
// scenario's records, in both forms.
void CheckScenario(const Korvane& korvane, const Scenario& scenario) {
  const auto enumeration = contract::EnumerateAll(wintest::LoadedExports(korvane), scenario.productId);
  CHECK_NO_FAULTS(contract::Faults(enumeration));
  if (!scenario.walkSucceeds) {
    CHECK_EQ(enumeration.bufferA.result, -1);
    CHECK_EQ(enumeration.bufferA.needed, contract::kUntouched);
    CHECK_EQ(enumeration.bufferW.needed, contract::kUntouched);
    return;
  }
  std::vector<contract::NarrowRecord> expected;
  std::vector<contract::WideRecord> expectedWide;
  for (int i = 0; i < scenario.recordCount; ++i) {
    const auto& r = scenario.records[i];
    expected.push_back(contract::Narrow(r.name, r.port0, r.port2, r.online));
    expectedWide.push_back(contract::Widened(expected.back()));
  }
  CHECK_EQ(enumeration.bufferA.result, scenario.recordCount);
  CHECK_THAT(enumeration.bufferA.records == expected, "A records " + contract::Describe(enumeration.bufferA.records) +
                                                          "instead of " + contract::Describe(expected));
  CHECK_THAT(enumeration.bufferW.records == expectedWide, "W records " +
                                                              contract::Describe(enumeration.bufferW.records) +
                                                              "instead of " + contract::Describe(expectedWide));
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
  if (!CHECK(korvane.Load())) return check::Finish();
  const Scenario& scenario = fixtures::kScenarios[index];
  std::printf("scenario %d: %s (%s)\n", index, scenario.shows, scenario.productId);
  const check::ScopedCase named("scenario " + std::to_string(index));
  CheckScenario(korvane, scenario);
  return check::Finish();
}
