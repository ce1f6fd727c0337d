// korvane.exe --watch --json 4B31 under Wine, read through a pipe as another
// program would, while this program changes Wine's registry. The registry
// starts as devices.reg sets it up: two devices of 4B31, A online, B offline.
//
//   korvane_watch_test.exe events          a scripted series of changes gives exactly its events,
//                                          in order, and the watcher ends once its reader has gone
//   korvane_watch_test.exe leaks           1,000 change cycles leave the watcher's handles and
//                                          memory as they were
//   korvane_watch_test.exe measure SETTLE  prints the time from a change to its line (100 changes)
//                                          and the CPU used while idle, with --settle SETTLE
//
// Ends with "N passed, N failed".
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "common/handles.h"
#include "device_model.h"
#include "windows_editor.h"

namespace {

using common::UniqueKernelHandle;
using hardening::Device;
using hardening::Sz;
using wintest::WindowsEditor;

const std::u16string kSerialComm(hardening::kSerialComm);
constexpr char16_t kPortBName[] = u"\\Device\\KvSerialB";  // B's COM7, offline in devices.reg
constexpr char16_t kPortCName[] = u"\\Device\\KvSerialC";
constexpr DWORD kEventTimeoutMs = 15000;  // a walk under Wine takes a few hundred milliseconds at most

// A third device of 4B31, which the registry does not hold at first.
Device DeviceC() {
  Device c;
  c.instance0 = u"6&3c3c3c3c&0&0000";
  c.prefix = Sz(u"7&4d4d4d4d&0");
  c.modelInstance = u"7&4d4d4d4d&0&USB005";
  c.printerKey = u"Receipt Printer C";
  c.printerName = Sz(u"Receipt Printer C");
  c.printerPort = Sz(u"USB005");
  c.port0 = Sz(u"COM11");
  c.port2 = Sz(u"COM12");
  return c;
}

std::string DeviceJson(const char* name, const char* port0, const char* port2, bool online) {
  return std::string("{\"name\":\"") + name + "\",\"port0\":\"" + port0 + "\",\"port2\":\"" + port2 +
         "\",\"online\":" + (online ? "true" : "false") + "}";
}

// An event line without its time: ',"event":"added","device":{...}}'.
std::string Event(const char* event, const std::string& device) {
  return std::string(",\"event\":\"") + event + "\",\"device\":" + device + "}";
}

double MillisecondsNow() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Line {
  std::string text;
  double at = 0;  // MillisecondsNow() when it was read
};

// korvane.exe --watch, started with its standard output on a pipe that a
// thread of this program reads line by line.
class Watcher {
 public:
  explicit Watcher(int settleMs) {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&arrived_);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
    read_.reset(readEnd);
    const UniqueKernelHandle write(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"korvane.exe --watch --json --settle " + std::to_wstring(settleMs) + L" 4B31";
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                        nullptr, &startup, &started)) {
      return;
    }
    process_.reset(started.hProcess);
    const UniqueKernelHandle thread(started.hThread);
    pid_ = started.dwProcessId;
    reader_.reset(CreateThread(nullptr, 0, ReadLines, this, 0, nullptr));
  }

  ~Watcher() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 99);
    read_.reset();
    if (reader_) WaitForSingleObject(reader_.get(), 5000);
    DeleteCriticalSection(&lock_);
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  bool started() const { return static_cast<bool>(reader_); }
  HANDLE process() const { return process_.get(); }
  DWORD pid() const { return pid_; }

  // The next line, waiting for it up to timeoutMs.
  std::optional<Line> Next(DWORD timeoutMs) {
    EnterCriticalSection(&lock_);
    const double until = MillisecondsNow() + timeoutMs;
    while (lines_.empty() && !ended_ && MillisecondsNow() < until) {
      SleepConditionVariableCS(&arrived_, &lock_, static_cast<DWORD>(std::max(1.0, until - MillisecondsNow())));
    }
    std::optional<Line> line;
    if (!lines_.empty()) {
      line = lines_.front();
      lines_.pop_front();
    }
    LeaveCriticalSection(&lock_);
    return line;
  }

  // The reader goes away: the watcher must end at its next line.
  void CloseOutput() { read_.reset(); }

 private:
  static DWORD WINAPI ReadLines(void* self) {
    auto& watcher = *static_cast<Watcher*>(self);
    std::string pending;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(watcher.read_.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
      const double at = MillisecondsNow();
      pending.append(chunk, got);
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        EnterCriticalSection(&watcher.lock_);
        watcher.lines_.push_back(Line{pending.substr(0, end), at});
        LeaveCriticalSection(&watcher.lock_);
        WakeAllConditionVariable(&watcher.arrived_);
      }
    }
    EnterCriticalSection(&watcher.lock_);
    watcher.ended_ = true;
    LeaveCriticalSection(&watcher.lock_);
    WakeAllConditionVariable(&watcher.arrived_);
    return 0;
  }

  UniqueKernelHandle read_;
  UniqueKernelHandle process_;
  UniqueKernelHandle reader_;
  DWORD pid_ = 0;
  CRITICAL_SECTION lock_;
  CONDITION_VARIABLE arrived_;
  std::deque<Line> lines_;
  bool ended_ = false;
};

// The event of a line, without its time, after checking the time's form:
// "2026-12-09T19:40:01.123+01:00".
std::string WithoutTime(const std::string& line) {
  const std::string start = "{\"time\":\"";
  const std::size_t timeEnd = line.find('"', start.size());
  const std::string time = timeEnd == std::string::npos ? "" : line.substr(start.size(), timeEnd - start.size());
  const bool timeOk = line.compare(0, start.size(), start) == 0 && time.size() == 29 && time[10] == 'T' &&
                      time[19] == '.' && (time[23] == '+' || time[23] == '-') && time[26] == ':';
  CHECK_THAT(timeOk, "an event line begins with its local time to the millisecond: " + line);
  return timeEnd == std::string::npos ? line : line.substr(timeEnd + 1);
}

// Reads exactly the events expected, in order, then nothing more for a while.
void ExpectEvents(Watcher& watcher, const std::vector<std::string>& expected, DWORD quietMs) {
  for (const auto& event : expected) {
    const auto line = watcher.Next(kEventTimeoutMs);
    if (!CHECK_THAT(line.has_value(), "an event arrives: " + event)) return;
    CHECK_STR(WithoutTime(line->text), event);
  }
  const auto extra = watcher.Next(quietMs);
  CHECK_THAT(!extra.has_value(), "no event beyond those expected, but: " + (extra ? extra->text : ""));
}

void SetPort(WindowsEditor& editor, const char16_t* valueName, const char16_t* port, bool present) {
  if (present) {
    editor.SetValue(kSerialComm, valueName, Sz(port));
  } else {
    editor.DeleteValue(kSerialComm, valueName);
  }
}

void RemoveDevice(WindowsEditor& editor, const Device& device) {
  for (const char16_t number : {u'0', u'1', u'2'}) editor.DeleteKey(hardening::InstanceKey(device, number));
  editor.DeleteKey(hardening::ModelInstanceKey(device));
  editor.DeleteKey(hardening::PrinterKey(device));
}

int Events() {
  constexpr int kSettleMs = 250;
  constexpr DWORD kQuietMs = kSettleMs + 1500;
  const std::string a = DeviceJson("Receipt Printer A", "COM3", "COM4", true);
  const std::string renamedA = DeviceJson("Front Desk A", "COM3", "COM4", true);
  const std::string cOnline = DeviceJson("Receipt Printer C", "COM11", "COM12", true);
  const std::string cOffline = DeviceJson("Receipt Printer C", "COM11", "COM12", false);
  const std::string bOnline = DeviceJson("Receipt Printer B", "COM7", "COM8", true);

  Watcher watcher(kSettleMs);
  if (!CHECK(watcher.started())) return check::Finish();
  {
    const check::ScopedCase named("the first listing");
    const auto first = watcher.Next(kEventTimeoutMs);
    CHECK_THAT(first && first->text.find("\"count\":2,") != std::string::npos &&
                   first->text.find("\"walkSucceeded\":true") != std::string::npos,
               "one JSON line with the two devices: " + (first ? first->text : std::string("(none)")));
  }
  WindowsEditor editor;
  const Device c = DeviceC();
  struct Step {
    const char* what;
    void (*change)(WindowsEditor&, const Device&);
    std::vector<std::string> events;
  };
  const Step steps[] = {
      {"a device appears",
       [](WindowsEditor& e, const Device& d) {
         hardening::AddDevice(e, d);
         SetPort(e, kPortCName, u"COM11", true);
       },
       {Event("added", cOnline)}},
      {"its port goes offline", [](WindowsEditor& e, const Device&) { SetPort(e, kPortCName, u"COM11", false); },
       {Event("changed", cOffline)}},
      {"it comes back", [](WindowsEditor& e, const Device&) { SetPort(e, kPortCName, u"COM11", true); },
       {Event("changed", cOnline)}},
      {"it is removed",
       [](WindowsEditor& e, const Device& d) {
         RemoveDevice(e, d);
         SetPort(e, kPortCName, u"COM11", false);
       },
       {Event("removed", cOnline)}},
      {"a printer is renamed: one device gone, one come",
       [](WindowsEditor& e, const Device&) {
         e.SetValue(std::u16string(hardening::kPrinters) + u"\\Receipt Printer A", u"Name", Sz(u"Front Desk A"));
       },
       {Event("removed", a), Event("added", renamedA)}},
      // 51 changes within 100 ms: B's port comes and goes, and is there at the end.
      {"a burst of changes gives its end state only",
       [](WindowsEditor& e, const Device&) {
         for (int i = 0; i < 51; ++i) {
           SetPort(e, kPortBName, u"COM7", i % 2 == 0);
           Sleep(1);
         }
       },
       {Event("changed", bOnline)}},
  };
  for (const auto& step : steps) {
    const check::ScopedCase named(step.what);
    const double started = MillisecondsNow();
    step.change(editor, c);
    CHECK_EQ(editor.error(), ERROR_SUCCESS);
    ExpectEvents(watcher, step.events, kQuietMs);
    std::printf("ok %s (%.0f ms)\n", step.what, MillisecondsNow() - started);
  }
  {
    const check::ScopedCase named("the reader goes away");
    watcher.CloseOutput();
    SetPort(editor, kPortBName, u"COM7", false);  // a change, so that there is a line to write
    const DWORD waited = WaitForSingleObject(watcher.process(), kEventTimeoutMs);
    DWORD status = 99;
    GetExitCodeProcess(watcher.process(), &status);
    CHECK_THAT(waited == WAIT_OBJECT_0, "korvane ends at its next line once nobody reads it");
    CHECK_EQ(status, 0u);
  }
  return check::Finish();
}

struct Footprint {
  DWORD handles = 0;
  SIZE_T privateBytes = 0;
};

// The process's handle count, from the system's process list: Wine answers
// GetProcessHandleCount for the calling process only.
DWORD HandleCountOf(DWORD pid) {
  std::vector<unsigned char> list(1 << 20);
  ULONG size = 0;
  if (NtQuerySystemInformation(SystemProcessInformation, list.data(), static_cast<ULONG>(list.size()), &size) != 0) {
    return 0;
  }
  for (std::size_t at = 0;;) {
    const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(list.data() + at);
    if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(process->UniqueProcessId)) == pid) return process->HandleCount;
    if (process->NextEntryOffset == 0) return 0;
    at += process->NextEntryOffset;
  }
}

// The first number on the line of /proc/PID/status that begins with `field`.
SIZE_T StatusKiB(const std::string& status, const char* field) {
  const std::size_t at = status.find(field);
  return at == std::string::npos ? 0 : static_cast<SIZE_T>(std::strtoull(status.c_str() + at + std::strlen(field), nullptr, 10));
}

std::string ReadFileText(const std::wstring& path) {
  const UniqueKernelHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  return text;
}

// Wine tells no other process's memory or times; Linux does, in /proc, which
// Wine shows as Z:\proc. The watcher is the one process there whose command
// line names korvane.exe --watch; "" when there is none (on Windows).
std::wstring WatcherInProc() {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return std::wstring();
  std::wstring watcher;
  do {
    if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9') continue;
    const std::wstring folder = std::wstring(L"Z:\\proc\\") + found.cFileName;
    const std::string commandLine = ReadFileText(folder + L"\\cmdline");
    if (commandLine.find("korvane.exe") != std::string::npos && commandLine.find("--watch") != std::string::npos) {
      watcher = folder;
    }
  } while (watcher.empty() && FindNextFileW(search, &found));
  FindClose(search);
  return watcher;
}

// Its anonymous memory resident (heap and the like).
SIZE_T PrivateBytesFromProc() {
  const std::wstring watcher = WatcherInProc();
  return watcher.empty() ? 0 : 1024 * StatusKiB(ReadFileText(watcher + L"\\status"), "RssAnon:");
}

// Its user and system time in milliseconds: fields 14 and 15 of
// /proc/PID/stat, in 100ths of a second, after the name in parentheses.
double CpuMsFromProc() {
  const std::string stat = ReadFileText(WatcherInProc() + L"\\stat");
  const std::size_t afterName = stat.rfind(')');
  if (afterName == std::string::npos) return 0;
  const char* field = stat.c_str() + afterName + 2;  // field 3, the state
  for (int i = 3; i < 14 && field != nullptr; ++i) {
    field = std::strchr(field, ' ');
    if (field != nullptr) ++field;
  }
  if (field == nullptr) return 0;
  char* next = nullptr;
  const double user = std::strtod(field, &next);
  const double system = std::strtod(next, nullptr);
  return 10.0 * (user + system);
}

Footprint FootprintOf(const Watcher& watcher) {
  Footprint footprint;
  footprint.handles = HandleCountOf(watcher.pid());
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(watcher.process(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    footprint.privateBytes = memory.PrivateUsage;
  }
  if (footprint.privateBytes == 0) footprint.privateBytes = PrivateBytesFromProc();
  return footprint;
}

// One cycle: B's port comes (changed) and goes (changed): two events.
bool Cycle(Watcher& watcher, WindowsEditor& editor) {
  for (const bool present : {true, false}) {
    SetPort(editor, kPortBName, u"COM7", present);
    if (!watcher.Next(kEventTimeoutMs)) return false;
  }
  return true;
}

int Leaks() {
  constexpr int kCycles = 1000;
  constexpr SIZE_T kMemorySlack = 64 * 1024;  // heap arenas settle; a leak per cycle would be far larger
  Watcher watcher(0);
  if (!CHECK(watcher.started())) return check::Finish();
  CHECK(watcher.Next(kEventTimeoutMs).has_value());
  WindowsEditor editor;
  CHECK(Cycle(watcher, editor));
  const Footprint first = FootprintOf(watcher);
  int done = 1;
  for (; done < kCycles && Cycle(watcher, editor); ++done) {
  }
  CHECK_EQ(done, kCycles);
  const Footprint last = FootprintOf(watcher);
  std::printf("after cycle 1: %lu handles, %lu KiB private; after cycle %d: %lu handles, %lu KiB private\n",
              static_cast<unsigned long>(first.handles), static_cast<unsigned long>(first.privateBytes / 1024), done,
              static_cast<unsigned long>(last.handles), static_cast<unsigned long>(last.privateBytes / 1024));
  CHECK_THAT(first.handles > 0 && first.privateBytes > 0, "the watcher's handle count and memory can be read");
  CHECK_EQ(last.handles, first.handles);
  CHECK_THAT(last.privateBytes <= first.privateBytes + kMemorySlack, "private memory stays where it was");
  return check::Finish();
}

int Measure(int settleMs) {
  constexpr int kChanges = 100;
  Watcher watcher(settleMs);
  if (!CHECK(watcher.started())) return check::Finish();
  CHECK(watcher.Next(kEventTimeoutMs).has_value());
  WindowsEditor editor;
  std::vector<double> latencies;
  for (int i = 0; i < kChanges; ++i) {
    const double changed = MillisecondsNow();
    SetPort(editor, kPortBName, u"COM7", i % 2 == 0);
    const auto line = watcher.Next(kEventTimeoutMs);
    if (!CHECK(line.has_value())) break;
    latencies.push_back(line->at - changed);
  }
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    std::printf("--settle %d: change to line over %zu changes: median %.0f ms, worst %.0f ms, best %.0f ms\n",
                settleMs, latencies.size(), latencies[latencies.size() / 2], latencies.back(), latencies.front());
  }
  const auto cpuMs = [&watcher] {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(watcher.process(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) {
      return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    const double times = ms(kernel) + ms(user);
    return times > 0 ? times : CpuMsFromProc();
  };
  constexpr DWORD kIdleMs = 10000;
  const double before = cpuMs();
  Sleep(kIdleMs);
  const double after = cpuMs();
  std::printf("idle for %lu ms: %.1f ms of CPU (%.0f ms in all before)\n", static_cast<unsigned long>(kIdleMs),
              after - before, before);
  return check::Finish();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "events") return Events();
  if (mode == "leaks") return Leaks();
  if (mode == "measure" && argc > 2) return Measure(std::atoi(argv[2]));
  std::fprintf(stderr, "usage: korvane_watch_test.exe events | leaks | measure SETTLE_MS\n");
  return 64;
}
