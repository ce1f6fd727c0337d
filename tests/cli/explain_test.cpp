// The explanation and the walk call the same names the same: a product the
// explanation says is there is one whose interface keys the walk finds, in
// the code page in force, where byte-wise folding would say otherwise (a
// double-byte character's second byte, an accented letter of 1252).
#include "explain.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/ansi.h"
#include "library/correlation.h"
#include "library/interface_keys.h"
#include "registry_fixture.h"

namespace korvane_cli {
namespace {

using testing_support::ScopedCodePage;
using testing_support::ScopedRegistry;

constexpr std::u16string_view kUsb = u"SYSTEM\\CurrentControlSet\\Enum\\USB\\";
constexpr std::string_view kAmongThem = "is among them";

struct Case {
  const char* what;
  unsigned codePage;
  std::vector<std::u16string> productsInstalled;  // each with interface 1 only
  std::string asked;                              // in the code page
  bool found;                                     // by the walk, as the explanation must say
  std::string productsListed;                     // the explanation's list, UTF-8
};

std::string Explain(const Case& c, std::string& interface1) {
  auto registry = std::make_shared<winhost::Registry>();
  for (const auto& product : c.productsInstalled) {
    registry->CreateKey(winhost::Root::LocalMachine, std::u16string(kUsb) + u"Vid_7c1f&Pid_" + product + u"&MI_01");
  }
  ScopedRegistry scope(registry);
  std::string interface0;
  std::string interface2;
  korvane::FindInterfaceKeys(c.asked, interface0, interface1, interface2);
  std::ostringstream out;
  Explainer explainer(out, c.asked);
  korvane::PrinterInfoList records;
  korvane::CollectPrinterInfo(c.asked.c_str(), records, explainer);
  return out.str();
}

TEST(ExplainerTest, SaysAProductIsThereExactlyWhenTheWalkFindsIt) {
  const Case cases[] = {
      {"ASCII letters fold", 1252, {u"4B31"}, "4b31", true, "4B31"},
      {"another product", 1252, {u"4B31"}, "4B32", false, "4B31"},
      {"1252 folds its accented letters", 1252, {u"\u00C91"}, "\xE9" "1", true, "\u00C9" "1"},
      {"one product in two letter cases", 1252, {u"\u00C91", u"\u00E91"}, "\xC9" "1", true, "\u00C9" "1"},
      // 0x83 0x41 and 0x83 0x61 are two katakana whose second bytes are 'A' and 'a'.
      {"932 compares a second byte as it is", 932, {u"\u30A21"}, "\x83\x61" "1", false, "\u30A2" "1"},
      {"932 keeps two characters apart", 932, {u"\u30A21", u"\u30C21"}, "\x83\x41" "1", true,
       "\u30A2" "1, \u30C2" "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ScopedCodePage codePage(c.codePage);
    std::string interface1;
    const std::string explanation = Explain(c, interface1);
    EXPECT_EQ(!interface1.empty(), c.found);
    EXPECT_EQ(explanation.find(kAmongThem) != std::string::npos, c.found) << explanation;
    EXPECT_NE(explanation.find("in the registry: " + c.productsListed + "\n"), std::string::npos) << explanation;
  }
}

}  // namespace
}  // namespace korvane_cli
