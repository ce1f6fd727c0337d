// On the host the library reads the stand-in's in-memory registry.
#include <stdexcept>

#include "registry_source.h"
#include "winhost/system.h"

namespace korvane_cli {
namespace {

class LoadedRegistry : public RegistrySource {
 public:
  explicit LoadedRegistry(std::shared_ptr<winhost::Registry> registry) { winhost::InstallRegistry(std::move(registry)); }
  ~LoadedRegistry() override { winhost::InstallRegistry(std::make_shared<winhost::Registry>()); }
};

}  // namespace

bool HasLiveRegistry() { return false; }

LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files) {
  LoadOutcome outcome;
  try {
    outcome.source = std::make_unique<LoadedRegistry>(winhost::LoadRegistry(files));
  } catch (const std::runtime_error& e) {
    outcome.error = e.what();
  }
  return outcome;
}

void AliasCurrentControlSet(const std::string& controlSet) {
  const std::u16string from = u"SYSTEM\\" + std::u16string(controlSet.begin(), controlSet.end());
  winhost::InstalledRegistry()->CopyKey(winhost::Root::LocalMachine, from, u"SYSTEM\\CurrentControlSet");
}

}  // namespace korvane_cli
