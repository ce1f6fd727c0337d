// Writes the benchmarks' large registry as a .reg file: for importing it into
// Wine's registry with regedit (bench/run_wine_benchmark.sh), and, padded to
// the size of a whole machine's export, for timing korvane on it
// (bench/cli_benchmark.sh).
//
//   make_bench_registry [--pad-mb N] [--utf16] OUT.reg
//
// --pad-mb N  adds software keys the walk never reads until the file holds N MB
// --utf16     writes UTF-16LE with a byte order mark, as regedit exports
//
// Exit status: 0 written, 1 the file could not be written, 64 usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_registry.h"

namespace {

// Keys of installed software, in the shape a real export is full of.
std::string Padding(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 1024);
  for (unsigned i = 0; text.size() < bytes; ++i) {
    char section[512];
    std::snprintf(section, sizeof section,
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor%03u\\Product%05u\\Settings]\r\n"
                  "\"InstallPath\"=\"C:\\\\Program Files\\\\Vendor%03u\\\\Product%05u\"\r\n"
                  "\"Version\"=\"%u.%u.%u\"\r\n"
                  "\"Flags\"=dword:%08x\r\n"
                  "\"Data\"=hex:%02x,%02x,%02x,%02x,%02x,%02x,%02x,%02x\r\n\r\n",
                  i % 997, i, i % 997, i, i % 10, i % 7, i % 100, i, i & 0xFF, (i >> 8) & 0xFF, 1, 2, 3, 4, 5, 6);
    text += section;
  }
  return text;
}

std::string Utf16Le(const std::string& ascii) {
  std::string out("\xFF\xFE", 2);
  out.reserve(2 * ascii.size() + 2);
  for (const char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t padMb = 0;
  bool utf16 = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pad-mb") == 0 && i + 1 < argc) {
      padMb = std::strtoul(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--utf16") == 0) {
      utf16 = true;
    } else if (path == nullptr && argv[i][0] != '-') {
      path = argv[i];
    } else {
      path = nullptr;
      break;
    }
  }
  if (path == nullptr) {
    std::fputs("usage: make_bench_registry [--pad-mb N] [--utf16] OUT.reg\n", stderr);
    return 64;
  }
  std::string text = bench::RegistryText();
  if (padMb > 0) {
    const std::size_t target = padMb * 1000 * 1000 / (utf16 ? 2 : 1);
    if (target > text.size()) text += Padding(target - text.size());
  }
  if (utf16) text = Utf16Le(text);
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::perror(path);
    return 1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  // A full disk may show only when the buffered rest is flushed.
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "make_bench_registry: writing %s failed\n", path);
    std::remove(path);
    return 1;
  }
  return 0;
}
