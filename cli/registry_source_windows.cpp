// On Windows the library reads the machine's registry. Exports given with
// --reg are loaded into a volatile key of the current user, and that key
// stands in for HKEY_LOCAL_MACHINE for this process only.
#include <windows.h>

#include <string>

#include "regfile/reg_parser.h"
#include "registry_source.h"

namespace korvane_cli {
namespace {

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::u16string WidenAnsi(std::string_view bytes) {
  if (bytes.empty()) return std::u16string();
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, &wide[0], units);
  return std::u16string(wide.begin(), wide.end());
}

class OfflineRegistry : public RegistrySource {
 public:
  OfflineRegistry() : path_(L"Software\\korvane-offline-" + std::to_wstring(GetCurrentProcessId())) {}
  ~OfflineRegistry() override {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (root_ != nullptr) RegCloseKey(root_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  OfflineRegistry(const OfflineRegistry&) = delete;
  OfflineRegistry& operator=(const OfflineRegistry&) = delete;

  bool Create() {
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());  // a leftover of an earlier run with this id
    return RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &root_, nullptr) == ERROR_SUCCESS;
  }

  // Applies one file's sections below the stand-in root; keys outside
  // HKEY_LOCAL_MACHINE are not the library's business and are passed over.
  void Apply(const regfile::Script& script) {
    for (const auto& key : script.keys) {
      if (key.root != regfile::Root::LocalMachine) continue;
      const std::wstring path = Wide(key.path);
      if (key.remove) {
        RegDeleteTreeW(root_, path.c_str());
        continue;
      }
      HKEY opened = nullptr;
      if (RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &opened,
                          nullptr) != ERROR_SUCCESS) {
        continue;
      }
      for (const auto& value : key.values) {
        const std::wstring name = Wide(value.name);
        if (value.remove) {
          RegDeleteValueW(opened, name.c_str());
        } else {
          RegSetValueExW(opened, name.c_str(), 0, value.type, value.data.data(),
                         static_cast<DWORD>(value.data.size()));
        }
      }
      RegCloseKey(opened);
    }
  }

  bool StandIn() { return RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_) == ERROR_SUCCESS; }

 private:
  std::wstring path_;
  HKEY root_ = nullptr;
};

}  // namespace

bool HasLiveRegistry() { return true; }

LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files) {
  LoadOutcome outcome;
  std::vector<regfile::Script> scripts;
  outcome.error = ParseAll(files, scripts, &WidenAnsi);
  if (!outcome.error.empty()) return outcome;
  outcome.note = ProvideCurrentControlSet(scripts);
  auto registry = std::make_unique<OfflineRegistry>();
  if (!registry->Create()) {
    outcome.error = "cannot create a registry key to load the exports into";
    return outcome;
  }
  for (const auto& script : scripts) registry->Apply(script);
  if (!registry->StandIn()) {
    outcome.error = "cannot make the loaded exports stand in for HKEY_LOCAL_MACHINE";
    return outcome;
  }
  outcome.source = std::move(registry);
  return outcome;
}

}  // namespace korvane_cli
