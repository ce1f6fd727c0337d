#include "registry_source.h"

#include <fstream>
#include <iterator>

#include "common/ansi.h"
#include "common/utf.h"
#include "regfile/hive_reader.h"
#include "registry_paths.h"

namespace korvane_cli {
namespace {

// A hive is the SYSTEM hive, read as this key.
constexpr std::u16string_view kHiveRoot = u"SYSTEM";

bool IsHiveFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  char first[4] = {};
  in.read(first, sizeof first);
  return in.gcount() == sizeof first && std::string_view(first, sizeof first) == regfile::kHiveSignature;
}

regfile::Selection OfflineTrees() {
  return regfile::Selection(std::vector<std::string_view>(std::begin(korvane::paths::kOfflineTrees),
                                                          std::end(korvane::paths::kOfflineTrees)));
}

bool HoldsSerialPorts(const std::vector<regfile::Script>& scripts) {
  const std::u16string serialPorts = regfile::AsciiUpper(common::AsciiToUtf16(korvane::paths::kSerialPorts));
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      if (key.root == regfile::Root::LocalMachine && regfile::AsciiUpper(key.path) == serialPorts) return true;
    }
  }
  return false;
}

// Reads one file of either kind; false, with outcome.error set, when it is not fit to load.
bool ReadFile(const std::string& file, const regfile::Selection& selection, regfile::Script& script, bool& hive,
              LoadOutcome& outcome) {
  hive = IsHiveFile(file);
  if (!hive) {
    // REGEDIT4 files hold their text data in the ANSI code page.
    const auto error = regfile::ParseFile(file, script, &common::AnsiToUtf16, selection);
    if (error) outcome.error = error->message();
    return !error;
  }
  regfile::HiveRead read = regfile::ReadHive(file, kHiveRoot, selection);
  if (read.error) {
    outcome.error = read.error->message(file);
    return false;
  }
  if (!HoldsSystemKeys(read.script)) {
    outcome.error = file + ": not a SYSTEM hive: it holds neither Select nor a ControlSet key";
    return false;
  }
  if (read.dirty) {
    outcome.notes.push_back(file + ": the hive was not saved cleanly (Windows still had changes in its .LOG1/.LOG2 "
                                   "files), so the newest changes may be missing; reg save HKLM\\SYSTEM gives a clean copy");
  }
  script = std::move(read.script);
  return true;
}

}  // namespace

LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files) {
  LoadOutcome outcome;
  const regfile::Selection selection = OfflineTrees();
  std::vector<regfile::Script> scripts(files.size());
  bool anyHive = false;
  for (std::size_t i = 0; i < files.size(); ++i) {
    bool hive = false;
    if (!ReadFile(files[i], selection, scripts[i], hive, outcome)) return outcome;
    anyHive = anyHive || hive;
  }
  if (anyHive && !HoldsSerialPorts(scripts)) {
    regfile::KeyOp serialPorts;
    serialPorts.path = common::AsciiToUtf16(korvane::paths::kSerialPorts);
    scripts.emplace_back().keys.push_back(std::move(serialPorts));
    outcome.notes.push_back(std::string("no file gives ") + korvane::paths::kSerialPorts +
                            ", which a saved hive never holds: taken as empty, so every device shows OffLine "
                            "(an export of that key, taken while the machine ran, tells which are connected)");
  }
  if (auto note = ProvideCurrentControlSet(scripts); !note.empty()) outcome.notes.push_back(std::move(note));
  outcome.source = InstallScripts(std::move(scripts), outcome.error);
  return outcome;
}

}  // namespace korvane_cli
