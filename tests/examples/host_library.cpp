// KORVANE.dll's four exports for programs on the host: the library's own
// functions (exports.cpp) over the stand-in for the Windows API, built as a
// shared library, so that the C#, Python and C examples run against the
// library's code under Mono, python3 and gcc.
//
// An ELF symbol cannot be named "_EnumPrinterInfoW@16": GNU ld and lld read
// "@16" as a symbol version. So this library exports the four under the
// names korvane_host_<C name>, and the callers' loaders map the DLL's export
// names onto them: Mono by <dllentry> in a dllmap, the Python tests' stand-in
// for Windows' ctypes by the same table, C by the header's names.
//
// What the registry holds, and what happens to it between calls, comes from
// these settings, read from the environment on the first call (not when the
// library is loaded: the stand-in's own globals may not be initialised yet
// then), or given by korvane_host_configure, which starts afresh with them:
// an in-process test runner cannot change the process's environment (the
// .NET runtime keeps its own copy), and runs many cases in one process.
//
//   KORVANE_HOST_REG              .reg files, separated by ':', imported in order
//   KORVANE_HOST_BETWEEN_CALLS    what happens after each call, in turn, separated by
//                                 spaces: "arrive" (another device of 4B31 is plugged
//                                 in), "break" (USBPRINT goes: the next walk fails),
//                                 "-" (nothing)
//   KORVANE_HOST_CODE_PAGE        the ANSI code page, 1252 (default) or another of
//                                 common::kAnsiCodePages
//   KORVANE_HOST_TASK_MEM         CoTaskMemAlloc calls that succeed in each call; the
//                                 rest fail, as an exhausted allocator's would
//   KORVANE_HOST_CALL_LOG         a file to which each call appends its export's name
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "device_registry.h"
#include "korvane.h"
#include "winhost/system.h"

#define KORVANE_HOST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::vector<std::string> Split(const char* text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text != nullptr ? text : "");
  for (std::string part; std::getline(stream, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

// The device that the nth arrival plugs in: its own instances, prefix, printer and ports.
hardening::Device Arrival(int n) {
  hardening::Device device;
  const std::u16string number(1, static_cast<char16_t>(u'a' + n));
  device.instance0 = u"6&aa00aa0" + number + u"&0&0000";
  device.prefix = hardening::Sz(u"7&bb00bb0" + number + u"&0");
  const std::u16string digit(1, static_cast<char16_t>(u'0' + n % 10));
  device.modelInstance = u"7&bb00bb0" + number + u"&0&USB20" + digit;
  device.printerKey = u"Arrived Printer " + digit;
  device.printerName = hardening::Sz(device.printerKey);
  device.printerPort = hardening::Sz(u"USB20" + digit);
  device.port0 = hardening::Sz(u"COM4" + digit);
  device.port2 = hardening::Sz(u"COM5" + digit);
  return device;
}

class Host {
 public:
  static Host& Get() {
    static Host host;
    return host;
  }

  // Runs one export call: the set-up on the first, the change after it.
  // A setting by its environment variable's name; nullptr when not set.
  using Settings = std::function<const char*(const char*)>;

  // Starts afresh: the registry, the changes to come, the counts.
  void Configure(const Settings& setting) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Start(setting);
    configured_ = true;
  }

  template <typename Call>
  int32_t Run(const char* name, Call call) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);  // a callback may call again
    if (!configured_) {
      Start([](const char* variable) -> const char* { return std::getenv(variable); });
      configured_ = true;
    }
    if (!callLog_.empty()) {
      if (std::FILE* log = std::fopen(callLog_.c_str(), "a")) {
        std::fprintf(log, "%s\n", name);
        std::fclose(log);
      }
    }
    if (taskMemPerCall_ >= 0) winhost::FailTaskMemAllocAfter(taskMemPerCall_);
    const int32_t result = call();
    winhost::FailTaskMemAllocAfter(-1);
    if (calls_ < between_.size()) Change(between_[calls_]);
    ++calls_;
    return result;
  }

 private:
  void Start(const Settings& setting) {
    try {
      registry_ = winhost::LoadRegistry(Split(setting("KORVANE_HOST_REG"), ':'));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "korvane_host: %s\n", e.what());
      registry_ = std::make_shared<winhost::Registry>();
    }
    winhost::InstallRegistry(registry_);
    between_ = Split(setting("KORVANE_HOST_BETWEEN_CALLS"), ' ');
    const char* codePage = setting("KORVANE_HOST_CODE_PAGE");
    winhost::SetAnsiCodePage(codePage != nullptr ? std::atoi(codePage) : kDefaultCodePage);
    const char* taskMem = setting("KORVANE_HOST_TASK_MEM");
    taskMemPerCall_ = taskMem != nullptr ? std::atol(taskMem) : -1;
    const char* log = setting("KORVANE_HOST_CALL_LOG");
    callLog_ = log != nullptr ? log : "";
    calls_ = 0;
    arrivals_ = 0;
  }

  void Change(const std::string& what) {
    if (what == "arrive") {
      hardening::AddDevice(*registry_, Arrival(arrivals_++));
    } else if (what == "break") {
      registry_->DeleteKey(hardening::kLM, hardening::kUsbPrint);
    }
  }

  static constexpr unsigned kDefaultCodePage = 1252;

  std::recursive_mutex mutex_;
  bool configured_ = false;
  std::shared_ptr<winhost::Registry> registry_;
  std::vector<std::string> between_;
  std::size_t calls_ = 0;
  int arrivals_ = 0;
  long taskMemPerCall_ = -1;
  std::string callLog_;
};

}  // namespace

KORVANE_HOST_EXPORT int32_t korvane_host_EnumPrinterInfoA(const char* productId, void* buffer, uint32_t bufferSize,
                                                          uint32_t* bytesNeeded) {
  return Host::Get().Run("EnumPrinterInfoA", [&] { return EnumPrinterInfoA(productId, buffer, bufferSize, bytesNeeded); });
}

KORVANE_HOST_EXPORT int32_t korvane_host_EnumPrinterInfoW(const KorvaneWChar* productId, void* buffer,
                                                          uint32_t bufferSize, uint32_t* bytesNeeded) {
  return Host::Get().Run("EnumPrinterInfoW", [&] { return EnumPrinterInfoW(productId, buffer, bufferSize, bytesNeeded); });
}

KORVANE_HOST_EXPORT int32_t korvane_host_EnumPrinterInfoCallbackA(const char* productId, EnumPrinterInfoProcA callback,
                                                                  uintptr_t context) {
  return Host::Get().Run("EnumPrinterInfoCallbackA",
                         [&] { return EnumPrinterInfoCallbackA(productId, callback, context); });
}

KORVANE_HOST_EXPORT int32_t korvane_host_EnumPrinterInfoCallbackW(const KorvaneWChar* productId,
                                                                  EnumPrinterInfoProcW callback, uintptr_t context) {
  return Host::Get().Run("EnumPrinterInfoCallbackW",
                         [&] { return EnumPrinterInfoCallbackW(productId, callback, context); });
}

// Starts afresh with SETTINGS, lines of "NAME=VALUE" with the environment
// variables' names above; a name not given is not set.
KORVANE_HOST_EXPORT void korvane_host_configure(const char* settings) {
  std::map<std::string, std::string> values;
  for (const auto& line : Split(settings, '\n')) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  Host::Get().Configure([&values](const char* variable) -> const char* {
    const auto found = values.find(variable);
    return found != values.end() ? found->second.c_str() : nullptr;
  });
}
