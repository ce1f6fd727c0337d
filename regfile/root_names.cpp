#include "root_names.h"

#include "reg_text.h"

namespace regfile {
namespace {

struct RootNames {
  Root root;
  std::string_view name;
  std::string_view abbreviation;
};

constexpr RootNames kRootNames[] = {
    {Root::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {Root::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {Root::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {Root::Users, "HKEY_USERS", "HKU"},
    {Root::CurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

}  // namespace

std::optional<Root> RootFromName(std::u16string_view name) {
  for (const RootNames& entry : kRootNames) {
    if (EqualsIgnoreCase(name, entry.name) || EqualsIgnoreCase(name, entry.abbreviation)) return entry.root;
  }
  return std::nullopt;
}

std::string_view RootName(Root root) {
  for (const RootNames& entry : kRootNames) {
    if (entry.root == root) return entry.name;
  }
  return "";
}

}  // namespace regfile
