// Throughput of the .reg reader on a large generated export.
//
// Builds in memory a UTF-16LE export with a BOM, laid out the way regedit
// writes one (USB device keys with strings, dwords and wrapped hex(7) lists),
// parses it several times and prints the size, the best time and MB/s.
//
// Build (bench/CMakeLists.txt):
//   add_executable(regfile_throughput regfile_throughput.cpp)
//   target_link_libraries(regfile_throughput PRIVATE regfile)
#include "regfile/reg_parser.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace {

constexpr std::size_t kTargetBytes = 105u * 1024u * 1024u;  // a little over 100 MiB of UTF-16
constexpr int kRuns = 5;

// Deterministic numbers so that every run parses the same file.
struct Random {
  std::uint32_t state = 0x2545F491u;
  std::uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
};

std::string Hex(std::uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(value));
  return buffer;
}

std::string LowerHex(std::uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*x", digits, static_cast<unsigned>(value));
  return buffer;
}

// A REG_MULTI_SZ value as regedit writes it: UTF-16LE bytes, wrapped near
// 80 columns with "\" and two spaces of indentation.
void AppendMultiString(std::string& out, const std::string& name,
                       std::initializer_list<std::string> strings) {
  std::string line = "\"" + name + "\"=hex(7):";
  std::string bytes;
  for (const std::string& s : strings) bytes += s + '\0';
  bytes += '\0';
  bool first = true;
  for (char c : bytes) {
    for (int half = 0; half < 2; ++half) {
      const auto byte = half == 0 ? static_cast<unsigned char>(c) : 0u;
      if (!first) {
        line += ',';
        if (line.size() > 76) {
          out += line + "\\\r\n";
          line = "  ";
        }
      }
      first = false;
      line += LowerHex(byte, 2);
    }
  }
  out += line + "\r\n";
}

void AppendDevice(std::string& out, Random& random) {
  const std::string vid = Hex(random.Next() & 0xFFFF, 4);
  const std::string pid = Hex(random.Next() & 0xFFFF, 4);
  const std::string serial = Hex(random.Next(), 8) + Hex(random.Next(), 8);
  const std::string key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_" + vid +
                          "&PID_" + pid + "\\" + serial;
  const std::string guid = "{" + LowerHex(random.Next(), 8) + "-" + LowerHex(random.Next() & 0xFFFF, 4) +
                           "-11d2-901f-" + LowerHex(random.Next(), 8) + "abcd}";
  out += "[" + key + "]\r\n";
  out += "\"DeviceDesc\"=\"@usb.inf,%usb\\\\mass.devicedesc%;USB Mass Storage Device\"\r\n";
  out += "\"LocationInformation\"=\"Port_#000" + std::to_string(random.Next() % 8) + ".Hub_#0001\"\r\n";
  out += "\"Capabilities\"=dword:00000084\r\n";
  out += "\"Address\"=dword:0000000" + std::to_string(random.Next() % 8) + "\r\n";
  out += "\"ContainerID\"=\"" + guid + "\"\r\n";
  AppendMultiString(out, "HardwareID",
                    {"USB\\VID_" + vid + "&PID_" + pid + "&REV_0100", "USB\\VID_" + vid + "&PID_" + pid});
  AppendMultiString(out, "CompatibleIDs",
                    {"USB\\Class_08&SubClass_06&Prot_50", "USB\\Class_08&SubClass_06", "USB\\Class_08"});
  out += "\"ClassGUID\"=\"{36fc9e60-c465-11cf-8056-444553540000}\"\r\n";
  out += "\"Service\"=\"USBSTOR\"\r\n";
  out += "\"Driver\"=\"{36fc9e60-c465-11cf-8056-444553540000}\\\\" + Hex(random.Next() % 10000, 4) + "\"\r\n";
  out += "\"Mfg\"=\"@usb.inf,%generic.mfg%;(Standard USB Host Controller)\"\r\n";
  out += "\"ConfigFlags\"=dword:00000000\r\n";
  out += "\"ParentIdPrefix\"=\"7&" + LowerHex(random.Next(), 8) + "&0\"\r\n";
  out += "\r\n";
  out += "[" + key + "\\Device Parameters]\r\n";
  out += "\"SymbolicName\"=\"\\\\??\\\\USB#VID_" + vid + "&PID_" + pid + "#" + serial +
         "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\"\r\n";
  out += "\"SelectiveSuspendEnabled\"=hex:01\r\n";
  out += "\r\n";
}

// The text is ASCII, so each character becomes one UTF-16 unit.
std::string ToUtf16LeWithBom(const std::string& ascii) {
  std::string out;
  out.reserve(2 + ascii.size() * 2);
  out += "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string GenerateExport() {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  text.reserve(kTargetBytes / 2 + 4096);
  Random random;
  while (text.size() * 2 < kTargetBytes) AppendDevice(text, random);
  return ToUtf16LeWithBom(text);
}

}  // namespace

int main() {
  const std::string file = GenerateExport();
  std::size_t keys = 0;
  std::size_t values = 0;
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const regfile::ParseResult result = regfile::Parse(file);
    const auto stop = std::chrono::steady_clock::now();
    if (result.error) {
      std::fprintf(stderr, "line %u: %s\n", result.error->line, result.error->message.c_str());
      return 1;
    }
    best = std::min(best, std::chrono::duration<double>(stop - start).count());
    keys = result.script.keys.size();
    values = 0;
    for (const regfile::KeyOp& key : result.script.keys) values += key.values.size();
  }
  const double megabytes = static_cast<double>(file.size()) / 1e6;
  std::printf("file: %.1f MB (%zu bytes, UTF-16LE), %zu keys, %zu values\n", megabytes, file.size(),
              keys, values);
  std::printf("best of %d: %.3f s, %.0f MB/s\n", kRuns, best, megabytes / best);
  return 0;
}
