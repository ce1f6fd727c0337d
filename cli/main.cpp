// korvane: the device enumeration of KORVANE from the command line, on this
// machine's registry or on registry exports, with an explanation of every
// link the walk follows.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/ansi.h"
#include "common/code_pages.h"
#include "library/correlation.h"
#include "enumeration.h"
#include "exit_status.h"
#include "explain.h"
#include "korvane.h"
#include "registry_source.h"
#include "report.h"
#include "watch_command.h"

namespace {

using korvane_cli::Enumeration;
using korvane_cli::Export;

using namespace korvane_cli::exit_status;

constexpr const char* kDescription =
    "Lists the installed devices of one product id: the spooler printer, the COM ports of\n"
    "interfaces 0 and 2, and whether the device is connected now.";

constexpr const char* kFooter = R"(Output: one line per device, "name, port0, port2, OnLine|OffLine".

Registry: on Windows the machine's own registry unless --reg is given. A --reg
file is a .reg export or a saved SYSTEM hive (reg save HKLM\SYSTEM system.hiv,
or a Windows disk's System32\config\SYSTEM), told apart by its first bytes.
Several --reg files are loaded in order, as importing them one after another
would; of each, only the trees the walk reads are kept. A hive, or an export
of an offline one, names ControlSet001 (or another) instead of
CurrentControlSet; the control set that SYSTEM\Select\Current names then
serves as it (a note on standard error says so). A hive never holds
HARDWARE\DEVICEMAP\SERIALCOMM, which tells which devices are connected: add
an export of it taken while the machine ran, or every device shows OffLine.

Transaction logs: a hive that Windows did not save cleanly (a crash, a power
loss, fast startup) has its newest changes in its logs. korvane replays the
logs beside the hive, FILE.LOG1 and FILE.LOG2 (Windows 8.1 on) or FILE.LOG
(Windows XP to 8), the names matched without regard to case, as Windows
would on loading it, and says on standard error what it applied, or that
the newest changes may be missing. A --reg file that is a log belongs to
the hive before it and replaces the search (--reg SYSTEM --reg SYSTEM.LOG1
--reg SYSTEM.LOG2). --no-logs reads every hive as it stands. Damage that
lies outside the keys the walk reads is passed over, with a note.

Code page: the library reads names through the ANSI code page, as on the
customer's machine. Reading files, korvane takes the customer's, which a
SYSTEM hive gives (Control\Nls\CodePage, value ACP), or --code-page N (874,
932, 936, 949, 950, 1250 to 1258), else 1252, and says which. On Windows the
library reads through the code page of the Windows it runs on, which korvane
cannot change: names that it lacks show as '?', and a note says so.

Exit status: 0 devices found, 1 none found, 2 the registry walk failed,
64 usage error, 65 a malformed .reg file or hive (damage on the walk's path).

Watching (Windows): --watch lists the devices, then waits for the registry to
change, lets a burst of changes settle (--settle MS, default 250), enumerates
again and prints one line per device that came (+), went (-) or whose online
state changed (~), each after the local time; with --json one JSON object a
line. A device is known by its printer name and its two COM ports together: a
renamed printer is one device gone and one come. Where a key cannot be
watched it enumerates every --interval S seconds (default 2). Ctrl+C or
Ctrl+Break ends it (exit status 0), and so does the end of the pipe it writes
to, at the next line it would write.

Examples:
  korvane 4B31
  korvane --reg usb.reg --reg printers.reg --reg serialcomm.reg 4B31
  korvane --reg system.hiv --reg serialcomm.reg 4B31
  korvane --reg SYSTEM --reg SYSTEM.LOG1 --reg SYSTEM.LOG2 4B31
  korvane --reg enum.reg --code-page 932 4B31        # names as a Japanese machine gives them
  korvane --reg system.reg --json 4B52
  korvane --reg system.reg --explain 4B31      # why was a device (not) found?
  korvane --wide --callback 4B31                # use EnumPrinterInfoCallbackW
  korvane --watch 4B31                          # report devices as they come and go
  korvane --watch --json 4B31 | my-monitor      # one JSON event a line)";

struct Options {
  std::vector<std::string> regFiles;
  bool wide = false;
  bool callback = false;
  bool json = false;
  bool explain = false;
  bool watch = false;
  bool noLogs = false;
  unsigned codePage = 0;  // 0: as the files say, else 1252
  int settleMs = 250;
  int intervalSeconds = 2;
  std::string productId;
};

Export ChosenExport(const Options& options) {
  if (options.callback) return options.wide ? Export::CallbackW : Export::CallbackA;
  return options.wide ? Export::BufferW : Export::BufferA;
}

void PrintJson(const Options& options, const Enumeration& enumeration,
               const std::vector<korvane_cli::HiveReport>& hives) {
  bool complete = true;
  nlohmann::json said = nlohmann::json::array();  // the hives there is something to say of
  for (const auto& hive : hives) {
    complete = complete && hive.replay.complete();
    if (!hive.replay.message.empty() || hive.damage) said.push_back(korvane_cli::HiveJson(hive.file, hive.replay, hive.damage));
  }
  nlohmann::json document =
      korvane_cli::EnumerationJson(common::AnsiToUtf8(options.productId), enumeration, complete);
  if (!said.empty()) document["hives"] = std::move(said);
  std::cout << korvane_cli::JsonText(document, 2) << "\n";
}

void Explain(const Options& options, const std::vector<std::string>& hiveNotes) {
  // With --json the document alone goes to standard output, and the notes are there already.
  std::ostream& out = options.json ? std::cerr : std::cout;
  if (!options.json) {
    for (const auto& note : hiveNotes) out << note << "\n";
  }
  korvane_cli::Explainer explainer(out, options.productId);
  korvane::PrinterInfoList records;
  const bool walked = korvane::CollectPrinterInfo(options.productId.c_str(), records, explainer);
  out << (walked ? "The walk ran to its end: " + std::to_string(records.size()) + " device(s).\n"
                 : std::string("The walk failed.\n"))
      << "\n";
}

int Watch(const Options& options) {
  if (!options.regFiles.empty()) {
    std::cerr << "korvane: --watch watches this machine's live registry; .reg exports do not change (leave out --reg)\n";
    return kUsage;
  }
  if (options.explain) {
    std::cerr << "korvane: --explain narrates one walk and does not go with --watch\n";
    return kUsage;
  }
  korvane_cli::WatchRequest request;
  request.productId = options.productId;
  request.form = ChosenExport(options);
  request.json = options.json;
  request.settings.settle = std::chrono::milliseconds(options.settleMs);
  request.settings.interval = std::chrono::seconds(options.intervalSeconds);
  return korvane_cli::RunWatch(request);
}

void Note(const std::string& note) { std::cerr << "korvane: " << note << "\n"; }

int Run(const Options& options) {
  if (options.watch) return Watch(options);
  std::unique_ptr<korvane_cli::RegistrySource> source;
  std::vector<std::string> hiveNotes;
  std::vector<korvane_cli::HiveReport> hives;
  if (!options.regFiles.empty()) {
    auto loaded =
        korvane_cli::LoadRegistryFiles(options.regFiles, korvane_cli::LoadOptions{!options.noLogs, options.codePage});
    for (const auto& note : loaded.notes) Note(note);
    if (!loaded.error.empty()) {
      Note(loaded.error);
      return kBadInput;
    }
    source = std::move(loaded.source);
    hiveNotes = std::move(loaded.hiveNotes);
    hives = std::move(loaded.hives);
  } else if (!korvane_cli::HasLiveRegistry()) {
    std::cerr << "korvane: there is no Windows registry here; give the exports to read with --reg FILE\n";
    return kUsage;
  }
  if (options.explain) Explain(options, hiveNotes);
  const Enumeration enumeration = korvane_cli::Enumerate(options.productId, ChosenExport(options));
  if (options.json) {
    PrintJson(options, enumeration, hives);
  } else {
    korvane_cli::PrintListing(std::cout, enumeration);
  }
  if (enumeration.result < 0) {
    std::cerr << "korvane: the registry walk failed" << (options.explain ? "" : " (--explain tells where)") << "\n";
    return kWalkFailed;
  }
  return enumeration.records.empty() ? kNoneFound : kFound;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The same bytes on every platform: UTF-8, lines ended by "\n" alone.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  Options options;
  CLI::App app(kDescription, "korvane");
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("korvane ") + KORVANE_VERSION_STRING,
                       "print the version of korvane and its library, then exit");
  const auto reg =
      app.add_option("--reg", options.regFiles,
                     "a registry export (.reg), a saved SYSTEM hive or a transaction log of the hive before it, "
                     "to read instead of this machine's registry")
          ->type_name("FILE")
          ->check(CLI::ExistingFile);
  app.add_flag("--no-logs", options.noLogs, "read every hive as it stands, without replaying its transaction logs")
      ->needs(reg);
  app.add_option("--code-page", options.codePage,
                 "the customer's ANSI code page to convert names through, where the files do not say or say wrong")
      ->type_name("N")
      ->check(CLI::IsMember(std::vector<unsigned>(std::begin(common::kAnsiCodePages), std::end(common::kAnsiCodePages))))
      ->needs(reg);
  app.add_flag("--wide", options.wide, "enumerate through the UTF-16 (W) export");
  app.add_flag("--callback", options.callback, "enumerate through the callback export instead of the buffer one");
  app.add_flag("--json", options.json, "print one JSON document (UTF-8) instead of lines");
  app.add_flag("--explain", options.explain, "narrate the walk: every key read and every link that holds or not");
  const auto watch = app.add_flag("--watch", options.watch,
                                  "after the listing, report devices that come, go or change, until Ctrl+C (Windows)");
  app.add_option("--settle", options.settleMs, "--watch: quiet after a change before enumerating again")
      ->type_name("MS")
      ->check(CLI::Range(0, 60000))
      ->needs(watch);
  app.add_option("--interval", options.intervalSeconds, "--watch: seconds between enumerations where keys cannot be watched")
      ->type_name("S")
      ->check(CLI::Range(1, 3600))
      ->needs(watch);
  app.add_option("PRODUCT_ID", options.productId, "the USB product id, e.g. 4B31")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kUsage;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cerr << "korvane: " << e.what() << "\n";
    return kWalkFailed;
  }
}
