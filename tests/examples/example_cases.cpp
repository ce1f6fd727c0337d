// Writes the one table of cases that the C# and the Python examples are run
// through (run_examples.py), with the records that the fixtures' table
// (scenarios.h) says each registry gives. A case is a block of lines:
//
//   case NAME
//   languages cs py           which examples run it (only C# has the A forms)
//   form FORM                 buffer-w, callback-w, buffer-a, callback-a,
//                             callback-w-gc (with a thread forcing collections), layout
//   product ID                may be empty
//   registry FILE...          fixtures, imported in order
//   between WHAT...           KORVANE_HOST_BETWEEN_CALLS: what happens after each call
//   code-page N, task-mem N   the stand-in's code page, allocations that succeed a call
//   calls NAME...             the exports the example calls, in order
//   expect LINE               what the example prints, line by line: "record
//                             NAME|PORT0|PORT2|ONLINE", "error MESSAGE", "layout ..."
//   end
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scenarios.h"

namespace {

struct Case {
  std::string name;
  std::string languages = "cs py";
  std::string form;
  std::string product;
  std::string registry = "devices.reg";
  std::string between;
  int codePage = 0;
  int taskMem = -1;
  std::string calls;
  std::vector<std::string> expect;
};

const char* const kRetryError = "error the devices kept changing; tried 5 times";
const char* const kWalkError = "error the registry walk failed";
const char* const kPresets[] = {"4B31", "4B52", "4B53"};

std::string RecordLine(const fixtures::Record& r) {
  return std::string("record ") + r.name + "|" + r.port0 + "|" + r.port2 + "|" + std::to_string(r.online);
}

const fixtures::Scenario& ScenarioOf(const char* productId) {
  for (const auto& scenario : fixtures::kScenarios) {
    if (std::string(scenario.files[0]) == "devices.reg" && scenario.files[1] == nullptr &&
        std::string(scenario.productId) == productId) {
      return scenario;
    }
  }
  std::fprintf(stderr, "no scenario of devices.reg for %s\n", productId);
  std::exit(1);
}

std::vector<std::string> Records(const fixtures::Scenario& scenario) {
  std::vector<std::string> lines;
  if (!scenario.walkSucceeds) return {kWalkError};
  for (int i = 0; i < scenario.recordCount; ++i) lines.push_back(RecordLine(scenario.records[i]));
  return lines;
}

// The exports a form calls when nothing changes between the calls.
std::string CallsOf(const std::string& form) {
  if (form == "buffer-w" || form == "layout") return "EnumPrinterInfoW EnumPrinterInfoW";
  if (form == "buffer-a") return "EnumPrinterInfoA EnumPrinterInfoA";
  if (form == "callback-a") return "EnumPrinterInfoCallbackA";
  return "EnumPrinterInfoCallbackW";
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const struct {
    const char* form;
    const char* languages;
  } forms[] = {{"buffer-w", "cs py"}, {"callback-w", "cs py"}, {"buffer-a", "cs"}, {"callback-a", "cs"}};
  for (const char* preset : kPresets) {
    const auto& scenario = ScenarioOf(preset);
    for (const auto& form : forms) {
      cases.push_back({std::string(form.form) + " " + preset, form.languages, form.form, preset, "devices.reg", "", 0, -1,
                       CallsOf(form.form), Records(scenario)});
    }
  }
  for (const char* failing : {"FFFF", ""}) {
    for (const char* form : {"buffer-w", "callback-w"}) {
      cases.push_back({std::string(form) + " walk fails for '" + failing + "'", "cs py", form, failing, "devices.reg",
                       "", 0, -1, CallsOf(form), Records(ScenarioOf(failing))});
    }
  }
  const auto& devices = ScenarioOf("4B31");
  std::vector<std::string> withArrival = Records(devices);
  withArrival.push_back("record Arrived Printer 0|COM40|COM50|0");
  cases.push_back({"a device arrives between the calls: called again, the list complete", "cs py", "buffer-w", "4B31",
                   "devices.reg", "arrive", 0, -1, "EnumPrinterInfoW EnumPrinterInfoW EnumPrinterInfoW", withArrival});
  cases.push_back({"devices keep arriving: given up after 1 + 5 calls", "cs py", "buffer-w", "4B31", "devices.reg",
                   "arrive arrive arrive arrive arrive arrive", 0, -1,
                   "EnumPrinterInfoW EnumPrinterInfoW EnumPrinterInfoW EnumPrinterInfoW EnumPrinterInfoW EnumPrinterInfoW",
                   {kRetryError}});
  cases.push_back({"the fill call fails without a larger size: no retry", "cs py", "buffer-w", "4B31", "devices.reg",
                   "break", 0, -1, "EnumPrinterInfoW EnumPrinterInfoW", {kWalkError}});
  for (const char* form : {"buffer-w", "callback-w"}) {
    cases.push_back({std::string(form) + " a Japanese printer name under code page 932", "cs py", form, "4B80",
                     "devices.reg japanese_printer.reg", "", 932, -1, CallsOf(form),
                     {"record \xE5\x8F\x97\xE4\xBB\x98\xE3\x83\x97\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xBF|COM3|COM4|1"}});
  }
  // The product id's own copy is the one allocation that succeeds.
  cases.push_back({"the task allocator runs dry: records with 0 addresses are empty strings", "cs py", "buffer-w",
                   "4B31", "devices.reg", "", 0, 1, CallsOf("buffer-w"), {"record |||1", "record |||0"}});
  cases.push_back({"the 64-bit layout: record size, padding, addresses", "cs py", "layout", "4B31", "devices.reg", "", 0,
                   -1, CallsOf("layout"),
                   {"layout record size 32", "layout padding 0", "layout addresses inside the buffer"}});
  cases.push_back({"the callback form while another thread forces collections", "cs", "callback-w-gc", "4B31",
                   "devices.reg", "", 0, -1, "", Records(devices)});
  return cases;
}

}  // namespace

int main() {
  for (const auto& c : Cases()) {
    std::printf("case %s\nlanguages %s\nform %s\nproduct %s\nregistry %s\n", c.name.c_str(), c.languages.c_str(),
                c.form.c_str(), c.product.c_str(), c.registry.c_str());
    if (!c.between.empty()) std::printf("between %s\n", c.between.c_str());
    if (c.codePage != 0) std::printf("code-page %d\n", c.codePage);
    if (c.taskMem >= 0) std::printf("task-mem %d\n", c.taskMem);
    if (!c.calls.empty()) std::printf("calls %s\n", c.calls.c_str());
    for (const auto& line : c.expect) std::printf("expect %s\n", line.c_str());
    std::printf("end\n");
  }
  return 0;
}
