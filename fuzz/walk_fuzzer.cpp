// Builds the registry that the input describes (walk_input.h), installs it in
// the stand-in and runs all four exports on it, for "4B31" and, when the input
// says so, for a product id of its own. Checks:
//  - the whole contract of the exports and their agreement, through the
//    contract checker (tests/support/export_contract.h), with the result
//    buffer misaligned and the stopping callback stopping where the input says;
//  - there are no more devices than instances times printer models, and none
//    without a serial-port map;
//  - no key handle and no task-allocator block outlives the calls.
// The first broken rule aborts, so that libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "export_contract.h"
#include "korvane.h"
#include "linked_exports.h"
#include "walk_input.h"
#include "winhost/codepage.h"
#include "winhost/system.h"

namespace {

void CheckProduct(const walkfuzz::Input& input, std::u16string productId) {
  const unsigned codePage = walkfuzz::CodePage(input);
  productId = productId.substr(0, productId.find(u'\0'));
  const std::string narrowId = winhost::ToAnsi(productId, codePage);

  contract::Options options;
  options.misalign = input.misalign;
  options.stopAfter = input.stopAfter;
  const auto enumeration =
      contract::EnumerateAll(contract::LinkedExports(), narrowId.c_str(), productId.c_str(), options);
  CHECK_NO_FAULTS(contract::Faults(enumeration));
  const auto& found = enumeration.bufferA;
  if (found.result < 0) return;

  const auto instances = (input.flags & walkfuzz::kInterface0) != 0 ? input.instances.size() : 0;
  const auto models = (input.flags & walkfuzz::kUsbPrint) != 0 ? input.models.size() : 0;
  CHECK_THAT(static_cast<std::size_t>(found.result) <= instances * models,
             "at most one device per instance and printer model");
  CHECK_THAT((input.flags & walkfuzz::kSerialComm) != 0, "no walk succeeds without the serial-port map");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check::AbortOnFailure();
  FuzzedDataProvider provider(data, size);
  walkfuzz::Input input;
  walkfuzz::Reader reader(provider);
  walkfuzz::Visit(reader, input);

  winhost::SetAnsiCodePage(walkfuzz::CodePage(input));
  winhost::InstallRegistry(walkfuzz::Build(input));
  const auto before = winhost::ReadCounters();
  CheckProduct(input, u"4B31");
  if ((input.flags & walkfuzz::kFuzzedProduct) != 0) CheckProduct(input, walkfuzz::ProductId(input));
  const auto after = winhost::ReadCounters();
  CHECK_THAT(after.openKeys == before.openKeys, "every key opened is closed");
  CHECK_THAT(after.taskMemBlocks == before.taskMemBlocks, "every task-allocator block is freed");
  return 0;
}
