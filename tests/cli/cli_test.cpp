// Runs the korvane program as support staff would, on the fixture exports.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "korvane.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Fixture(const std::string& name) { return std::string(KORVANE_FIXTURES) + "/" + name; }

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (const char c : arg) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Outcome RunKorvane(const std::vector<std::string>& args) {
  // One file per test process: ctest runs several of them at once.
  const std::string errFile = testing::TempDir() + "korvane_cli_stderr_" + std::to_string(getpid()) + ".txt";
  std::string command = Quote(KORVANE_CLI);
  for (const auto& arg : args) command += " " + Quote(arg);
  command += " 2>" + Quote(errFile);
  Outcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) outcome.out.append(chunk, got);
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errFile);
  std::stringstream text;
  text << err.rdbuf();
  outcome.err = text.str();
  return outcome;
}

const std::string kDevices4B31 = "Receipt Printer A, COM3, COM4, OnLine\nReceipt Printer B, COM7, COM8, OffLine\n";

struct Case {
  const char* shows;
  std::vector<std::string> args;
  int status;
  std::string out;  // exact standard output
  std::string err;  // a part of standard error
};

TEST(KorvaneCliTest, OutputAndExitStatus) {
  const std::string devices = Fixture("devices.reg");
  const Case cases[] = {
      {"devices found", {"--reg", devices, "4B31"}, 0, kDevices4B31, ""},
      {"W export", {"--reg", devices, "--wide", "4B31"}, 0, kDevices4B31, ""},
      {"callback export", {"--reg", devices, "--callback", "4B31"}, 0, kDevices4B31, ""},
      {"W callback export", {"--reg", devices, "--callback", "--wide", "4B31"}, 0, kDevices4B31, ""},
      {"none found", {"--reg", devices, "4B61"}, 1, "", ""},
      {"walk fails", {"--reg", devices, "FFFF"}, 2, "", "the registry walk failed"},
      {"files merge in order", {"--reg", devices, "--reg", Fixture("no_serialcomm.reg"), "4B31"}, 2, "", ""},
      {"offline hive", {"--reg", Fixture("offline_hive.reg"), "4B31"}, 0, "Receipt Printer A, COM3, COM4, OnLine\n",
       "using SYSTEM\\ControlSet002 (named by SYSTEM\\Select\\Current)"},
      {"malformed export", {"--reg", devices, "--reg", Fixture("malformed.reg"), "4B31"}, 65, "",
       "malformed.reg:4: bad dword"},
      {"missing export", {"--reg", Fixture("no_such.reg"), "4B31"}, 64, "", "no_such.reg"},
      {"no product id", {"--reg", devices}, 64, "", "PRODUCT_ID"},
      {"unknown option", {"--reg", devices, "--fast", "4B31"}, 64, "", "--fast"},
      {"no registry on the host", {"4B31"}, 64, "", "--reg"},
      {"--no-logs without files", {"--no-logs", "4B31"}, 64, "", "--reg"},
      {"--code-page without files", {"--code-page", "932", "4B31"}, 64, "", "--reg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shows);
    const auto outcome = RunKorvane(c.args);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_NE(outcome.err.find(c.err), std::string::npos) << outcome.err;
  }
}

TEST(KorvaneCliTest, HelpDocumentsEveryOptionWithExamples) {
  const auto outcome = RunKorvane({"--help"});
  EXPECT_EQ(outcome.status, 0);
  for (const char* word : {"--reg", "--wide", "--callback", "--json", "--explain", "--watch", "--settle", "--interval",
                           "--version", "Exit status", "Examples"}) {
    EXPECT_NE(outcome.out.find(word), std::string::npos) << word;
  }
}

TEST(KorvaneCliTest, VersionIsTheLibrarysOwn) {
  const auto outcome = RunKorvane({"--version"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, std::string("korvane ") + KORVANE_VERSION_STRING + "\n");
}

TEST(KorvaneCliTest, JsonCarriesAnyTextIntact) {
  const auto outcome = RunKorvane({"--reg", Fixture("devices.reg"), "--reg", Fixture("odd_names.reg"), "--json", "4B90"});
  EXPECT_EQ(outcome.status, 0);
  const auto document = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(document["productId"], "4B90");
  EXPECT_EQ(document["count"], 1);
  EXPECT_EQ(document["records"][0]["name"], "Q\" \\ \xC3\xA9\t!");  // é as UTF-8
  EXPECT_EQ(document["records"][0]["port2"], "");
  EXPECT_EQ(document["records"][0]["online"], true);
  for (const bool wide : {false, true}) {
    std::vector<std::string> args = {"--reg", Fixture("devices.reg"), "--json", "FFFF"};
    if (wide) args.push_back("--wide");
    const auto failed = RunKorvane(args);
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(nlohmann::json::parse(failed.out)["walkSucceeded"], false);
  }
}

// --explain names each link that does not hold, and where the walk fails.
TEST(KorvaneCliTest, ExplainNamesTheBrokenLink) {
  struct Explained {
    std::vector<std::string> overlays;
    const char* productId;
    std::vector<std::string> says;
  };
  const Explained cases[] = {
      {{}, "4B31", {"found: \"Receipt Printer A\"", "offline: \"COM7\" is not among the serial ports present"}},
      {{}, "FFFF",
       {"none named Vid_7c1f&Pid_FFFF&MI_00",
        "Product ids of this vendor in the registry: 4B31, 4B52, 4B53, 4B60, 4B61, 4B62, 4B63, 4B64"}},
      {{"no_serialcomm.reg"}, "4B31",
       {"Cannot list HARDWARE\\DEVICEMAP\\SERIALCOMM", "reg export HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"}},
      {{"no_usbprint.reg"}, "4B31", {"Cannot list SYSTEM\\CurrentControlSet\\Enum\\USBPRINT: the walk fails here"}},
      {{"no_printers.reg"}, "4B31", {"Cannot list SYSTEM\\CurrentControlSet\\Control\\Print\\Printers"}},
      {{"empty_usb.reg"}, "4B31", {"It holds no device"}},
      {{"unlistable_instance.reg"}, "4B70", {"Cannot list SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_7c1f&Pid_4B70&MI_00\\6&?&0&0000"}},
      {{}, "4B60", {"Interface 1 key: none named Vid_7c1f&Pid_4B60&MI_01", "No \"ParentIdPrefix\""}},
      {{}, "4B61", {"No device of this product has been installed"}},
      {{}, "4B64", {"7&6464dddd&0&USB065 begins with the prefix", "no printer's \"Port\" begins with \"USB065\""}},
      {{}, "4B53", {"first 11 characters: \"7&55\"", "\"PortName\" of interface 0", "\"COM123\""}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--reg", Fixture("devices.reg")};
    for (const auto& overlay : c.overlays) {
      args.push_back("--reg");
      args.push_back(Fixture(overlay));
    }
    args.push_back("--explain");
    args.push_back(c.productId);
    SCOPED_TRACE(c.productId + (c.overlays.empty() ? std::string() : " + " + c.overlays[0]));
    const auto outcome = RunKorvane(args);
    for (const auto& said : c.says) EXPECT_NE(outcome.out.find(said), std::string::npos) << said << "\n" << outcome.out;
  }
}

// The runs listed in cases.txt give exactly their expected output, which the
// Windows build under Wine is held to as well.
TEST(KorvaneCliTest, ListedRunsGiveTheirExpectedOutput) {
  std::ifstream cases(std::string(KORVANE_CLI_CASES) + "/cases.txt");
  std::string line;
  int runs = 0;
  while (std::getline(cases, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string name;
    int status = 0;
    words >> name >> status;
    std::vector<std::string> args;
    for (std::string word; words >> word;) args.push_back(word[0] == '@' ? Fixture(word.substr(1)) : word);
    std::ifstream expectedFile(std::string(KORVANE_CLI_CASES) + "/expected/" + name + ".out", std::ios::binary);
    std::stringstream expected;
    expected << expectedFile.rdbuf();
    SCOPED_TRACE(name);
    const auto outcome = RunKorvane(args);
    EXPECT_EQ(outcome.status, status);
    EXPECT_EQ(outcome.out, expected.str());
    ++runs;
  }
  EXPECT_GE(runs, 16);
}

}  // namespace
