// On Windows the library reads the machine's registry. Exports given with
// --reg are loaded into a volatile key of the current user, and that key
// stands in for HKEY_LOCAL_MACHINE for this process only.
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "common/handles.h"
#include "regfile/reg_parser.h"
#include "registry_source.h"

namespace korvane_cli {
namespace {

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// A key and all below it. SHDeleteKeyW, not RegDeleteTreeW, which Windows XP
// lacks.
void DeleteTree(HKEY parent, const std::wstring& path) { SHDeleteKeyW(parent, path.c_str()); }

class OfflineRegistry : public RegistrySource {
 public:
  OfflineRegistry() : path_(L"Software\\korvane-offline-" + std::to_wstring(GetCurrentProcessId())) {}
  ~OfflineRegistry() override {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    root_.reset();
    DeleteTree(HKEY_CURRENT_USER, path_);
  }
  OfflineRegistry(const OfflineRegistry&) = delete;
  OfflineRegistry& operator=(const OfflineRegistry&) = delete;

  bool Create() {
    DeleteTree(HKEY_CURRENT_USER, path_);  // a leftover of an earlier run with this id
    return RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, root_.put(), nullptr) == ERROR_SUCCESS;
  }

  // Applies one file's sections below the stand-in root; keys outside
  // HKEY_LOCAL_MACHINE are not the library's business and are passed over.
  void Apply(const regfile::Script& script) {
    for (const auto& key : script.keys) {
      if (key.root != regfile::Root::LocalMachine) continue;
      const std::wstring path = Wide(key.path);
      if (key.remove) {
        DeleteTree(root_.get(), path);
        continue;
      }
      common::UniqueKey opened;
      if (RegCreateKeyExW(root_.get(), path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          opened.put(), nullptr) != ERROR_SUCCESS) {
        continue;
      }
      for (const auto& value : key.values) {
        const std::wstring name = Wide(value.name);
        if (value.remove) {
          RegDeleteValueW(opened.get(), name.c_str());
        } else {
          RegSetValueExW(opened.get(), name.c_str(), 0, value.type, value.data.data(),
                         static_cast<DWORD>(value.data.size()));
        }
      }
    }
  }

  bool StandIn() { return RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_.get()) == ERROR_SUCCESS; }

 private:
  std::wstring path_;
  common::UniqueKey root_;
};

}  // namespace

bool HasLiveRegistry() { return true; }

// The A functions convert through the process's code page, which is Windows's own.
unsigned UseCodePage(unsigned /*codePage*/) { return GetACP(); }

std::unique_ptr<RegistrySource> InstallScripts(std::vector<regfile::Script> scripts, std::string& error) {
  auto registry = std::make_unique<OfflineRegistry>();
  if (!registry->Create()) {
    error = "cannot create a registry key to load the exports into";
    return nullptr;
  }
  for (const auto& script : scripts) registry->Apply(script);
  if (!registry->StandIn()) {
    error = "cannot make the loaded exports stand in for HKEY_LOCAL_MACHINE";
    return nullptr;
  }
  return registry;
}

}  // namespace korvane_cli
