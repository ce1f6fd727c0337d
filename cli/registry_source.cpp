#include "registry_source.h"

#include <iterator>

#include "common/ansi.h"
#include "common/key_names.h"
#include "common/utf.h"
#include "regfile/registry_file.h"
#include "control_set.h"
#include "library/registry_paths.h"
#include "script_values.h"

namespace korvane_cli {
namespace {

regfile::Selection OfflineTrees() {
  return regfile::Selection(std::vector<std::string_view>(std::begin(korvane::paths::kOfflineTrees),
                                                          std::end(korvane::paths::kOfflineTrees)),
                            common::SameKeyName);
}

bool HoldsSerialPorts(const std::vector<regfile::Script>& scripts) {
  for (const auto& script : scripts) {
    for (const auto& key : script.keys) {
      if (IsMachineKey(key, korvane::paths::kSerialPorts)) return true;
    }
  }
  return false;
}

// Reads one file of either kind; false, with outcome.error set, when it is not fit to load.
bool ReadOne(const regfile::RegistryFile& file, const regfile::ReadOptions& options, LoadOutcome& outcome,
             std::vector<regfile::Script>& scripts) {
  regfile::FileRead read = regfile::ReadRegistryFile(file, options);
  for (const auto& note : read.notes) {
    outcome.notes.push_back(note);
    outcome.hiveNotes.push_back(note);
  }
  if (read.error) {
    outcome.error = read.error->message();
    return false;
  }
  if (read.replay) {
    if (!HoldsSystemKeys(read.script)) {
      outcome.error = file.path + ": not a SYSTEM hive: it holds neither Select nor a ControlSet key";
      return false;
    }
    outcome.hives.push_back(HiveReport{file.path, *read.replay, read.damage});
  }
  scripts.push_back(std::move(read.script));
  return true;
}

}  // namespace

LoadOutcome LoadRegistryFiles(const std::vector<std::string>& paths, const LoadOptions& loadOptions) {
  LoadOutcome outcome;
  std::optional<regfile::FileError> misplaced;
  const auto files = regfile::WithTheirLogs(paths, misplaced);
  if (misplaced) {
    outcome.error = misplaced->message();
    return outcome;
  }
  std::vector<regfile::Script> scripts;
  regfile::ReadOptions options;
  options.selection = OfflineTrees();
  options.replayLogs = loadOptions.replayLogs;
  // REGEDIT4 files hold their text data in the ANSI code page: the customer's, where it is given.
  if (loadOptions.codePage != 0) UseCodePage(loadOptions.codePage);
  options.ansiToUtf16 = &common::AnsiToUtf16;
  for (const auto& file : files) {
    if (!ReadOne(file, options, outcome, scripts)) return outcome;
  }
  if (!outcome.hives.empty() && !HoldsSerialPorts(scripts)) {
    regfile::KeyOp serialPorts;
    serialPorts.path = common::AsciiToUtf16(korvane::paths::kSerialPorts);
    scripts.emplace_back().keys.push_back(std::move(serialPorts));
    outcome.notes.push_back(std::string("no file gives ") + korvane::paths::kSerialPorts +
                            ", which a saved hive never holds: taken as empty, so every device shows OffLine "
                            "(an export of that key, taken while the machine ran, tells which are connected)");
  }
  if (auto note = ProvideCurrentControlSet(scripts); !note.empty()) outcome.notes.push_back(std::move(note));
  outcome.codePage = ChooseCodePage(loadOptions.codePage, FilesCodePage(scripts));
  if (!outcome.codePage.note.empty()) outcome.notes.push_back(outcome.codePage.note);
  if (!NamesFitCodePage(scripts)) outcome.notes.push_back(ReplacedNamesNote(outcome.codePage));
  outcome.source = InstallScripts(std::move(scripts), outcome.error);
  return outcome;
}

}  // namespace korvane_cli
