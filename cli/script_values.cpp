#include "script_values.h"

#include "common/key_names.h"
#include "common/utf.h"

namespace korvane_cli {

bool IsMachineKey(const regfile::KeyOp& key, std::string_view path) {
  return key.root == regfile::Root::LocalMachine && common::SameKeyName(key.path, common::AsciiToUtf16(path));
}

const regfile::ValueOp* ValueAfterAll(const std::vector<regfile::Script>& scripts, std::string_view path,
                                      std::string_view name) {
  const std::u16string valueName = common::AsciiToUtf16(name);
  const regfile::ValueOp* found = nullptr;
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      if (!IsMachineKey(key, path)) continue;
      if (key.remove) found = nullptr;
      for (const auto& value : key.values) {
        if (common::SameKeyName(value.name, valueName)) found = value.remove ? nullptr : &value;
      }
    }
  }
  return found;
}

}  // namespace korvane_cli
