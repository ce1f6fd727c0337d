// On the host the library reads the stand-in's in-memory registry.
#include "registry_source.h"
#include "registry_watch.h"
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

std::unique_ptr<ChangeSignal> WatchTheRegistry(const std::function<void(const std::string&)>& /*note*/) {
  return nullptr;
}

unsigned UseCodePage(unsigned codePage) {
  winhost::SetAnsiCodePage(codePage);
  return codePage;
}

std::unique_ptr<RegistrySource> InstallScripts(std::vector<regfile::Script> scripts, std::string& /*error*/) {
  auto registry = std::make_shared<winhost::Registry>();
  for (auto& script : scripts) registry->Apply(std::move(script));
  return std::make_unique<LoadedRegistry>(std::move(registry));
}

}  // namespace korvane_cli
