#include "registry_trace.h"

#include <windows.h>

#include <map>

namespace testing_support {
namespace {

using winhost::Call;

// The installed registry's key at path, through the Reg* calls themselves.
template <typename Visit>
void WithKey(std::string_view path, Visit visit) {
  HKEY key = nullptr;
  const std::string text(path);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, text.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  visit(key);
  RegCloseKey(key);
}

}  // namespace

std::vector<KeyUse> RegistryUse::Listings() const {
  std::vector<KeyUse> listings;
  for (const auto& use : uses) {
    if (use.kind == KeyUse::kSubkeys || use.kind == KeyUse::kValues) listings.push_back(use);
  }
  return listings;
}

std::size_t RegistryUse::CountListings(std::string_view path) const {
  std::size_t count = 0;
  for (const auto& use : Listings()) count += use.path == path ? 1 : 0;
  return count;
}

RegistryUse TraceRegistryUse(const std::function<void()>& code) {
  winhost::StartTrace();
  code();
  const auto trace = winhost::StopTrace();

  RegistryUse result;
  std::map<std::uintptr_t, std::size_t> open;  // handle -> index of its use
  const auto root = reinterpret_cast<std::uintptr_t>(HKEY_LOCAL_MACHINE);
  const auto useOf = [&](std::uintptr_t handle, const char* what) -> KeyUse* {
    const auto found = open.find(handle);
    if (found == open.end()) {
      result.handleFaults.push_back(std::string(what) + " on a handle that is not open");
      return nullptr;
    }
    return &result.uses[found->second];
  };
  const auto note = [](KeyUse& use, KeyUse::Kind kind) {
    use.kind = use.kind == KeyUse::kUnused || use.kind == kind ? kind : KeyUse::kMixed;
  };
  for (const auto& entry : trace) {
    switch (entry.call) {
      case Call::RegOpenKeyExA:
      case Call::RegOpenKeyA: {
        KeyUse use;
        if (entry.key == root) {
          use.path = entry.text;
        } else if (const KeyUse* parent = useOf(entry.key, "an open")) {
          use.path = parent->path + "\\" + entry.text;
        }
        if (entry.opened == 0) use.kind = KeyUse::kOpenFailed;
        result.uses.push_back(use);
        if (entry.opened != 0 && entry.opened != entry.key) open[entry.opened] = result.uses.size() - 1;
        break;
      }
      case Call::RegEnumKeyExA:
      case Call::RegEnumValueA:
        if (KeyUse* use = useOf(entry.key, "an enumeration")) {
          note(*use, entry.call == Call::RegEnumKeyExA ? KeyUse::kSubkeys : KeyUse::kValues);
          if (entry.index != use->enumerations) use->inIndexOrder = false;
          ++use->enumerations;
        }
        break;
      case Call::RegQueryValueExA:
        if (KeyUse* use = useOf(entry.key, "a value read")) {
          if (use->kind == KeyUse::kRead) use->kind = KeyUse::kMixed;  // one read per open
          note(*use, KeyUse::kRead);
          use->value = entry.text;
        }
        break;
      case Call::RegCloseKey:
        if (open.erase(entry.key) == 0) result.handleFaults.push_back("a close of a handle that is not open");
        break;
    }
  }
  for (const auto& [handle, index] : open) {
    result.handleFaults.push_back("the key " + result.uses[index].path + " was left open");
  }
  return result;
}

std::size_t SubkeyCount(std::string_view path) { return SubkeyNames(path).size(); }

std::vector<std::string> SubkeyNames(std::string_view path) {
  std::vector<std::string> names;
  WithKey(path, [&names](HKEY key) {
    char name[1024];
    for (DWORD i = 0;; ++i) {
      DWORD chars = sizeof name;
      if (RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, chars);
    }
  });
  return names;
}

std::size_t ValueCount(std::string_view path) {
  std::size_t count = 0;
  WithKey(path, [&count](HKEY key) {
    char name[1024];
    for (DWORD i = 0;; ++i) {
      DWORD chars = sizeof name;
      if (RegEnumValueA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      ++count;
    }
  });
  return count;
}

}  // namespace testing_support
