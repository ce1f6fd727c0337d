#include "control_set.h"

#include <algorithm>
#include <cstdio>

#include "common/key_names.h"
#include "common/little_endian.h"
#include "common/utf.h"
#include "library/registry_paths.h"
#include "regfile/selection.h"
#include "script_values.h"

namespace korvane_cli {
namespace {

using regfile::KeyOp;

constexpr std::u16string_view kSystemLevel = u"SYSTEM\\";
constexpr std::u16string_view kCurrentControlSet = u"CurrentControlSet";
// Control sets are named "ControlSet" and three digits: ControlSet001.
constexpr std::u16string_view kControlSetPrefix = u"ControlSet";

// The second level of a path below SYSTEM ("ControlSet001" of
// "SYSTEM\ControlSet001\Enum"), as the path spells it; empty for other paths.
std::u16string_view ControlSetOf(const KeyOp& key) {
  if (key.root != regfile::Root::LocalMachine || key.path.size() < kSystemLevel.size() ||
      !common::SameKeyName(std::u16string_view(key.path).substr(0, kSystemLevel.size()), kSystemLevel)) {
    return std::u16string_view();
  }
  const std::u16string_view rest = std::u16string_view(key.path).substr(kSystemLevel.size());
  return rest.substr(0, rest.find(u'\\'));
}

// SYSTEM\Select\Current, as the exports leave it; 0 when absent.
std::uint32_t SelectedControlSet(const std::vector<regfile::Script>& scripts) {
  const regfile::ValueOp* value =
      ValueAfterAll(scripts, korvane::paths::kControlSetSelect, korvane::paths::kSelectedControlSet);
  if (value == nullptr || value->type != regfile::kRegDword || value->data.size() != 4) return 0;
  return common::LittleEndian32(value->data.data());
}

// The name of control set number.
std::u16string ControlSetName(std::uint32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(number));
  return std::u16string(kControlSetPrefix) + common::AsciiToUtf16(digits);
}

bool Holds(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::u16string& held) { return common::SameKeyName(held, name); });
}

}  // namespace

bool HoldsSystemKeys(const regfile::Script& script) {
  for (const auto& key : script.keys) {
    if (IsMachineKey(key, korvane::paths::kControlSetSelect)) return true;
    const std::u16string_view controlSet = ControlSetOf(key);
    if (!controlSet.empty() && regfile::IsControlSetName(controlSet, common::SameKeyName)) return true;
  }
  return false;
}

std::string ProvideCurrentControlSet(std::vector<regfile::Script>& scripts) {
  std::vector<std::u16string> present;
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      const auto controlSet = ControlSetOf(key);
      if (common::SameKeyName(controlSet, kCurrentControlSet)) return std::string();
      if (!controlSet.empty() && !key.remove && !Holds(present, controlSet)) present.emplace_back(controlSet);
    }
  }
  const std::uint32_t selected = SelectedControlSet(scripts);
  std::u16string chosen = ControlSetName(selected);
  std::string why = "named by SYSTEM\\Select\\Current";
  if (selected == 0 || !Holds(present, chosen)) {
    chosen = ControlSetName(1);
    why = "SYSTEM\\Select\\Current names no control set of the files";
  }
  if (!Holds(present, chosen)) return std::string();
  for (auto& script : scripts) {
    for (auto& key : script.keys) {
      const auto controlSet = ControlSetOf(key);
      if (!controlSet.empty() && common::SameKeyName(controlSet, chosen)) {
        key.path.replace(kSystemLevel.size(), controlSet.size(), kCurrentControlSet);
      }
    }
  }
  return "the files hold no SYSTEM\\CurrentControlSet; using SYSTEM\\" + common::Utf16ToUtf8(chosen) + " (" + why + ")";
}

}  // namespace korvane_cli
