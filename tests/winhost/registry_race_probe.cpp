// Readers and a writer on one registry at once. It asserts nothing: it has
// value only under ThreadSanitizer (scripts/tsan.sh runs it), which reports
// the races it provokes; elsewhere it only shows that both sides finish.
#include "winhost/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "registry_fixture.h"

namespace winhost {
namespace {

using testing_support::SzData;
using testing_support::U16;

TEST(RegistryRaceProbe, ReadersRunWhileAWriterChangesKeys) {
  // Both sides do a fixed amount of work, so neither can starve the other forever.
  auto registry = std::make_shared<Registry>();
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      const auto name = U16("K\\child" + std::to_string(i % 50));
      registry->SetValue(Root::LocalMachine, name, u"v", REG_SZ, SzData("x"));
      if (i % 3 == 0) registry->DeleteKey(Root::LocalMachine, name);
    }
  });
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      for (int pass = 0; pass < 200; ++pass) {
        KeyPtr key;
        if (registry->Open(registry->RootKey(Root::LocalMachine), u"K", key) != 0) continue;
        std::u16string name;
        for (std::uint32_t i = 0; registry->EnumKey(key, i, name) == 0; ++i) {
          KeyPtr child;
          Value value;
          if (registry->Open(key, name, child) == 0) registry->QueryValue(child, u"v", value);
        }
      }
    });
  }
  writer.join();
  for (auto& reader : readers) reader.join();
}

}  // namespace
}  // namespace winhost
