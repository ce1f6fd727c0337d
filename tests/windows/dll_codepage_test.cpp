// Run with the Japanese ANSI code page (LC_ALL=ja_JP.UTF-8 under Wine) on a
// registry holding a printer with a Japanese name: the A buffer carries its
// Shift-JIS bytes, and the W buffer's size counts UTF-16 units.
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "korvane_dll.h"

int main() {
  wintest::Korvane korvane;
  if (!CHECK(korvane.Load())) return wintest::Finish();
  CHECK_EQ(GetACP(), 932u);
  const std::string shiftJis = "\x8e\xf3\x95\x74\x83\x76\x83\x8a\x83\x93\x83\x5e";  // 6 characters, 12 bytes
  const std::wstring utf16 = L"\u53D7\u4ED8\u30D7\u30EA\u30F3\u30BF";
  const uint32_t R = sizeof(PackedPrinterInfo);

  uint32_t needed = 0;
  korvane.bufferA("4B80", nullptr, 0, &needed);
  CHECK_EQ(needed, R + 5 + 13 + 5);
  std::vector<unsigned char> a(needed);
  if (CHECK_EQ(korvane.bufferA("4B80", a.data(), needed, &needed), 1)) {
    PackedPrinterInfo record;
    std::memcpy(&record, a.data(), sizeof record);
    CHECK(std::string(static_cast<const char*>(record.name)) == shiftJis);
  }

  korvane.bufferW(L"4B80", nullptr, 0, &needed);
  CHECK_EQ(needed, R + 10 + 14 + 10);
  std::vector<unsigned char> w(needed);
  if (CHECK_EQ(korvane.bufferW(L"4B80", w.data(), needed, &needed), 1)) {
    PackedPrinterInfo record;
    std::memcpy(&record, w.data(), sizeof record);
    CHECK(std::wstring(static_cast<const wchar_t*>(record.name)) == utf16);
  }
  return wintest::Finish();
}
