// Run with the Japanese ANSI code page (LC_ALL=ja_JP.UTF-8 under Wine) on a
// registry holding a printer with a Japanese name: the A buffer carries its
// Shift-JIS bytes, the W buffer its UTF-16 form and a size that counts UTF-16
// units, and the exports keep their whole contract in this code page.
#include <string>

#include "check.h"
#include "export_contract.h"
#include "korvane_dll.h"
#include "loaded_exports.h"

int main() {
  wintest::Korvane korvane;
  if (!CHECK(korvane.Load())) return check::Finish();
  CHECK_EQ(GetACP(), 932u);
  const std::string shiftJis = "\x8e\xf3\x95\x74\x83\x76\x83\x8a\x83\x93\x83\x5e";  // 6 characters, 12 bytes
  const std::wstring utf16 = L"\u53D7\u4ED8\u30D7\u30EA\u30F3\u30BF";
  const uint32_t R = sizeof(PackedPrinterInfo);

  const auto enumeration = contract::EnumerateAll(wintest::LoadedExports(korvane), "4B80");
  CHECK_NO_FAULTS(contract::Faults(enumeration));
  CHECK_EQ(enumeration.bufferA.needed, R + 5 + 13 + 5);
  if (CHECK_EQ(enumeration.bufferA.records.size(), 1u)) CHECK(enumeration.bufferA.records[0].name == shiftJis);
  CHECK_EQ(enumeration.bufferW.needed, R + 10 + 14 + 10);
  if (CHECK_EQ(enumeration.bufferW.records.size(), 1u)) CHECK(enumeration.bufferW.records[0].name == utf16);
  return check::Finish();
}
