#include <cstdio>
#include <set>

#include "registry_source.h"

namespace korvane_cli {
namespace {

using regfile::KeyOp;

std::u16string Upper(std::u16string_view text) {
  std::u16string upper(text);
  for (auto& c : upper) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  return upper;
}

// The second level of a path below SYSTEM ("ControlSet001" of
// "SYSTEM\ControlSet001\Enum"), upper-cased; empty for other paths.
std::u16string ControlSetOf(const KeyOp& key) {
  if (key.root != regfile::Root::LocalMachine) return std::u16string();
  const std::u16string upper = Upper(key.path);
  const std::u16string system = u"SYSTEM\\";
  if (upper.compare(0, system.size(), system) != 0) return std::u16string();
  const auto end = upper.find(u'\\', system.size());
  return upper.substr(system.size(), end == std::u16string::npos ? std::u16string::npos : end - system.size());
}

// SYSTEM\Select\Current, as the exports leave it; 0 when absent.
std::uint32_t SelectedControlSet(const std::vector<regfile::Script>& scripts) {
  std::uint32_t selected = 0;
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      if (key.root != regfile::Root::LocalMachine || Upper(key.path) != u"SYSTEM\\SELECT") continue;
      for (const auto& value : key.values) {
        if (Upper(value.name) != u"CURRENT" || value.remove || value.type != 4 || value.data.size() != 4) continue;
        selected = static_cast<std::uint32_t>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16)) |
                   (static_cast<std::uint32_t>(value.data[3]) << 24);
      }
    }
  }
  return selected;
}

std::u16string ControlSetName(std::uint32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "CONTROLSET%03u", static_cast<unsigned>(number));
  return std::u16string(name, name + std::char_traits<char>::length(name));
}

std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

}  // namespace

std::string ParseAll(const std::vector<std::string>& files, std::vector<regfile::Script>& scripts,
                     regfile::AnsiToUtf16 ansiToUtf16) {
  scripts.assign(files.size(), regfile::Script{});
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (const auto error = regfile::ParseFile(files[i], scripts[i], ansiToUtf16)) return error->message();
  }
  return std::string();
}

std::string ProvideCurrentControlSet(std::vector<regfile::Script>& scripts) {
  std::set<std::u16string> present;
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      const auto controlSet = ControlSetOf(key);
      if (controlSet == u"CURRENTCONTROLSET") return std::string();
      if (!controlSet.empty() && !key.remove) present.insert(controlSet);
    }
  }
  const std::uint32_t selected = SelectedControlSet(scripts);
  std::u16string chosen = ControlSetName(selected);
  std::string why = "named by SYSTEM\\Select\\Current";
  if (selected == 0 || present.count(chosen) == 0) {
    chosen = ControlSetName(1);
    why = "SYSTEM\\Select\\Current names no control set of the exports";
  }
  if (present.count(chosen) == 0) return std::string();
  const std::u16string current = u"CurrentControlSet";
  const std::size_t nameStart = 7;  // after "SYSTEM\"
  for (auto& script : scripts) {
    for (auto& key : script.keys) {
      if (ControlSetOf(key) == chosen) key.path.replace(nameStart, chosen.size(), current);
    }
  }
  std::string shown = "ControlSet" + Ascii(chosen.substr(10));
  return "the exports hold no SYSTEM\\CurrentControlSet; using SYSTEM\\" + shown + " (" + why + ")";
}

}  // namespace korvane_cli
