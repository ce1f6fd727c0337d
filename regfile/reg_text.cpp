#include "reg_text.h"

#include <algorithm>

#include "common/little_endian.h"
#include "common/utf.h"

namespace regfile {
namespace {

constexpr std::size_t kQuoteLimit = 40;  // longest piece of input echoed in a message

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }

}  // namespace

bool IsAllBlank(std::u16string_view text) { return std::all_of(text.begin(), text.end(), IsBlank); }

std::string Quote(std::u16string_view text) {
  const bool shortened = text.size() > kQuoteLimit;
  if (shortened) text = text.substr(0, kQuoteLimit);
  std::string out = "'";
  for (std::size_t i = 0; i < text.size();) {
    const auto point = common::CodePointAt(text, i);
    if (IsControl(point.value) || common::IsSurrogate(point.value)) {
      out += '?';
    } else {
      common::AppendUtf8(out, point.value);
    }
    i += point.units;
  }
  out += shortened ? "...'" : "'";
  return out;
}

std::vector<std::uint8_t> AnsiBytesToUtf16(const std::vector<std::uint8_t>& ansi, AnsiToUtf16 convert) {
  std::vector<std::uint8_t> out;
  out.reserve(ansi.size() * 2);
  std::size_t runStart = 0;
  for (std::size_t i = 0; i <= ansi.size(); ++i) {
    if (i < ansi.size() && ansi[i] != 0) continue;
    if (i > runStart) {
      const std::string_view run(reinterpret_cast<const char*>(ansi.data()) + runStart, i - runStart);
      if (convert != nullptr) {
        AppendUtf16Le(out, convert(run));
      } else {
        for (char c : run) common::AppendLittleEndian16(out, static_cast<std::uint8_t>(c));
      }
    }
    if (i < ansi.size()) common::AppendLittleEndian16(out, 0);
    runStart = i + 1;
  }
  return out;
}

}  // namespace regfile
