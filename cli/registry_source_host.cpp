// On the host the library reads the stand-in's in-memory registry.
#include "registry_source.h"
#include "winhost/codepage.h"
#include "winhost/system.h"

namespace korvane_cli {
namespace {

class LoadedRegistry : public RegistrySource {
 public:
  explicit LoadedRegistry(std::shared_ptr<winhost::Registry> registry) { winhost::InstallRegistry(std::move(registry)); }
  ~LoadedRegistry() override { winhost::InstallRegistry(std::make_shared<winhost::Registry>()); }
};

std::u16string WidenAnsi(std::string_view bytes) { return winhost::FromAnsi(bytes, winhost::AnsiCodePage()); }

}  // namespace

bool HasLiveRegistry() { return false; }

LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files) {
  LoadOutcome outcome;
  std::vector<regfile::Script> scripts;
  outcome.error = ParseAll(files, scripts, &WidenAnsi);
  if (!outcome.error.empty()) return outcome;
  outcome.note = ProvideCurrentControlSet(scripts);
  auto registry = std::make_shared<winhost::Registry>();
  for (auto& script : scripts) registry->Apply(std::move(script));
  outcome.source = std::make_unique<LoadedRegistry>(std::move(registry));
  return outcome;
}

}  // namespace korvane_cli
