#include <cstdio>
#include <set>

#include "common/utf.h"
#include "registry_paths.h"
#include "registry_source.h"

namespace korvane_cli {
namespace {

using regfile::KeyOp;

constexpr std::u16string_view kSystemLevel = u"SYSTEM\\";
constexpr std::u16string_view kCurrentControlSet = u"CurrentControlSet";
// Control sets are named "ControlSet" and three digits: ControlSet001.
constexpr std::u16string_view kControlSetPrefix = u"ControlSet";

using regfile::AsciiUpper;

// The second level of a path below SYSTEM ("ControlSet001" of
// "SYSTEM\ControlSet001\Enum"), upper-cased; empty for other paths.
std::u16string ControlSetOf(const KeyOp& key) {
  if (key.root != regfile::Root::LocalMachine) return std::u16string();
  const std::u16string upper = AsciiUpper(key.path);
  if (upper.compare(0, kSystemLevel.size(), kSystemLevel) != 0) return std::u16string();
  const auto end = upper.find(u'\\', kSystemLevel.size());
  return upper.substr(kSystemLevel.size(),
                      end == std::u16string::npos ? std::u16string::npos : end - kSystemLevel.size());
}

// SYSTEM\Select\Current, as the exports leave it; 0 when absent.
std::uint32_t SelectedControlSet(const std::vector<regfile::Script>& scripts) {
  const std::u16string selectKey = AsciiUpper(common::AsciiToUtf16(korvane::paths::kControlSetSelect));
  const std::u16string selectedValue = AsciiUpper(common::AsciiToUtf16(korvane::paths::kSelectedControlSet));
  std::uint32_t selected = 0;
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      if (key.root != regfile::Root::LocalMachine || AsciiUpper(key.path) != selectKey) continue;
      for (const auto& value : key.values) {
        if (AsciiUpper(value.name) != selectedValue || value.remove || value.type != regfile::kRegDword || value.data.size() != 4) continue;
        selected = static_cast<std::uint32_t>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16)) |
                   (static_cast<std::uint32_t>(value.data[3]) << 24);
      }
    }
  }
  return selected;
}

// The upper-cased name of control set number.
std::u16string ControlSetName(std::uint32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(number));
  return AsciiUpper(kControlSetPrefix) + std::u16string(digits, digits + std::char_traits<char>::length(digits));
}

std::string Ascii(std::u16string_view text) { return std::string(text.begin(), text.end()); }

}  // namespace

bool HoldsSystemKeys(const regfile::Script& script) {
  const std::u16string selectKey = AsciiUpper(common::AsciiToUtf16(korvane::paths::kControlSetSelect));
  for (const auto& key : script.keys) {
    if (key.root != regfile::Root::LocalMachine) continue;
    if (AsciiUpper(key.path) == selectKey) return true;
    const std::u16string controlSet = ControlSetOf(key);
    if (!controlSet.empty() && regfile::Selection::IsControlSetName(controlSet)) return true;
  }
  return false;
}

std::string ProvideCurrentControlSet(std::vector<regfile::Script>& scripts) {
  std::set<std::u16string> present;
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      const auto controlSet = ControlSetOf(key);
      if (controlSet == AsciiUpper(kCurrentControlSet)) return std::string();
      if (!controlSet.empty() && !key.remove) present.insert(controlSet);
    }
  }
  const std::uint32_t selected = SelectedControlSet(scripts);
  std::u16string chosen = ControlSetName(selected);
  std::string why = "named by SYSTEM\\Select\\Current";
  if (selected == 0 || present.count(chosen) == 0) {
    chosen = ControlSetName(1);
    why = "SYSTEM\\Select\\Current names no control set of the files";
  }
  if (present.count(chosen) == 0) return std::string();
  for (auto& script : scripts) {
    for (auto& key : script.keys) {
      if (ControlSetOf(key) == chosen) key.path.replace(kSystemLevel.size(), chosen.size(), kCurrentControlSet);
    }
  }
  const std::string shown = Ascii(kControlSetPrefix) + Ascii(chosen.substr(kControlSetPrefix.size()));
  return "the files hold no SYSTEM\\CurrentControlSet; using SYSTEM\\" + shown + " (" + why + ")";
}

}  // namespace korvane_cli
