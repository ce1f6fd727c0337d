// Calls the four exports the way a careful caller would and checks, beyond
// the records themselves, everything a caller relies on: the two-call
// protocol, the packed layout (records, then per record port0, name and port2
// with their terminators and no gap), no byte written past the size reported,
// terminated strings, ports of at most 6 characters, online 0 or 1.
#pragma once

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "korvane.h"

namespace hardening {

template <typename Char>
struct Record {
  std::basic_string<Char> name;
  std::basic_string<Char> port0;
  std::basic_string<Char> port2;
  std::int32_t online = 0;
};

template <typename Char>
bool operator==(const Record<Char>& a, const Record<Char>& b) {
  return a.name == b.name && a.port0 == b.port0 && a.port2 == b.port2 && a.online == b.online;
}
template <typename Char>
bool operator!=(const Record<Char>& a, const Record<Char>& b) {
  return !(a == b);
}

using NarrowRecord = Record<char>;
using WideRecord = Record<KorvaneWChar>;

// Text with every unit outside printable ASCII escaped, for failure messages.
std::string Escaped(std::string_view text);
std::string Escaped(std::basic_string_view<KorvaneWChar> text);

template <typename Char>
std::ostream& operator<<(std::ostream& out, const Record<Char>& record) {
  return out << "{\"" << Escaped(record.name) << "\", \"" << Escaped(record.port0) << "\", \""
             << Escaped(record.port2) << "\", " << record.online << "}";
}

// The records one after another, for failure messages.
template <typename Char>
std::string Describe(const std::vector<Record<Char>>& records) {
  std::ostringstream text;
  for (const auto& record : records) text << record << ' ';
  return text.str();
}

// What one export gave: its result, the records, and every way in which the
// export broke its contract while giving them.
template <typename Char>
struct Outcome {
  std::int32_t result = -1;
  std::vector<Record<Char>> records;
  std::vector<std::string> faults;
};

// stable: the registry does not change during the calls, so the size query
// and the call that fills the buffer must agree.
Outcome<char> BufferA(const char* productId, bool stable);
Outcome<KorvaneWChar> BufferW(const KorvaneWChar* productId, bool stable);
Outcome<char> CallbackA(const char* productId);
Outcome<KorvaneWChar> CallbackW(const KorvaneWChar* productId);

struct Enumeration {
  Outcome<char> bufferA;
  Outcome<char> callbackA;
  Outcome<KorvaneWChar> bufferW;
  Outcome<KorvaneWChar> callbackW;
};

// The four exports on one ASCII product id, on a registry that does not change.
Enumeration EnumerateAll(std::string_view productId);

// Every export's faults, and every disagreement between the four: results,
// records, and each W string against the conversion of its A string in the
// current ANSI code page.
std::vector<std::string> Faults(const Enumeration& enumeration);

}  // namespace hardening
