// korvane: runs the device enumeration on registry exports and prints one
// line per device found, "name, port0, port2, OnLine|OffLine".
//
//   korvane --reg FILE [--reg FILE]... PRODUCT_ID
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "correlation.h"
#include "winhost/system.h"

namespace {

constexpr int kFound = 0;
constexpr int kNoneFound = 1;
constexpr int kWalkFailed = 2;
constexpr int kUsage = 64;
constexpr int kBadInput = 65;

int Usage() {
  std::fputs("usage: korvane --reg FILE [--reg FILE]... PRODUCT_ID\n", stderr);
  return kUsage;
}

std::string Line(const korvane::PrinterInfo& record) {
  return record.name + ", " + record.port0 + ", " + record.port2 + ", " + (record.online != 0 ? "OnLine" : "OffLine");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> regFiles;
  std::string productId;
  bool haveProductId = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reg" && i + 1 < argc) {
      regFiles.emplace_back(argv[++i]);
    } else if (!haveProductId && (arg.empty() || arg[0] != '-')) {
      productId = arg;
      haveProductId = true;
    } else {
      return Usage();
    }
  }
  if (regFiles.empty() || !haveProductId) return Usage();
  try {
    winhost::InstallRegistry(winhost::LoadRegistry(regFiles));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane: %s\n", e.what());
    return kBadInput;
  }
  korvane::PrinterInfoList records;
  if (!korvane::CollectPrinterInfo(productId.c_str(), records)) {
    std::fprintf(stderr, "korvane: the registry walk failed\n");
    return kWalkFailed;
  }
  for (const auto& record : records) std::printf("%s\n", Line(record).c_str());
  return records.empty() ? kNoneFound : kFound;
}
