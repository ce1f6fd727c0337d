#include "registry_source.h"

#include "common/ansi.h"

namespace korvane_cli {

LoadOutcome LoadRegistryFiles(const std::vector<std::string>& files) {
  LoadOutcome outcome;
  std::vector<regfile::Script> scripts(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    // REGEDIT4 files hold their text data in the ANSI code page.
    if (const auto error = regfile::ParseFile(files[i], scripts[i], &common::AnsiToUtf16)) {
      outcome.error = error->message();
      return outcome;
    }
  }
  outcome.note = ProvideCurrentControlSet(scripts);
  outcome.source = InstallScripts(std::move(scripts), outcome.error);
  return outcome;
}

}  // namespace korvane_cli
