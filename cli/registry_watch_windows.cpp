// The registry's own change notifications, for korvane --watch: one per key
// that the walk reads, each a one-shot notification that is armed again
// after it fires, and an event that Ctrl+C and Ctrl+Break set.
#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"
#include "library/registry_paths.h"
#include "registry_watch.h"

namespace korvane_cli {
namespace {

namespace paths = korvane::paths;

constexpr DWORD kKeysAndValues = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

struct WatchedKey {
  const char* path;
  BOOL subtree;  // whether changes below the key count: they do where the walk reads subkeys
  DWORD filter;
};

// The walk reads the device trees and the printers below these keys, and the
// serial-port map's own values.
const WatchedKey kWatchedKeys[] = {
    {paths::kUsbDevices, TRUE, kKeysAndValues},
    {paths::kUsbPrintDevices, TRUE, kKeysAndValues},
    {paths::kPrinters, TRUE, kKeysAndValues},
    {paths::kSerialPorts, FALSE, REG_NOTIFY_CHANGE_LAST_SET},
};

// A console control handler gets no context, so the event it sets is the
// process's one: made once, never closed.
HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  SetEvent(StopEvent());
  return TRUE;
}

std::string Failure(const char* what, const char* path, LONG error) {
  return std::string("cannot ") + what + " HKLM\\" + path + " (error " + std::to_string(error) + ")";
}

class RegistryChangeSignal : public ChangeSignal {
 public:
  explicit RegistryChangeSignal(std::function<void(const std::string&)> note) : note_(std::move(note)) {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    for (const auto& watched : kWatchedKeys) {
      Key key{&watched, {}, common::UniqueKernelHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr))};
      const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, watched.path, 0, KEY_NOTIFY, key.handle.put());
      if (opened != ERROR_SUCCESS) {
        StopNotifying(Failure("open", watched.path, opened));
        return;
      }
      const LONG armed = Arm(key);
      if (armed != ERROR_SUCCESS) {
        StopNotifying(Failure("watch", watched.path, armed));
        return;
      }
      keys_.push_back(std::move(key));
    }
  }
  ~RegistryChangeSignal() override { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }

  Wake Wait(std::optional<std::chrono::milliseconds> timeout) override {
    std::vector<HANDLE> handles{StopEvent()};
    for (const auto& key : keys_) handles.push_back(key.changed.get());
    const DWORD limit = timeout ? static_cast<DWORD>(timeout->count()) : INFINITE;
    const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, limit);
    if (woken == WAIT_TIMEOUT) return Wake::kTimedOut;
    if (woken == WAIT_OBJECT_0 || woken >= WAIT_OBJECT_0 + handles.size()) return Wake::kStop;
    // A notification fires once: arm it again before the walk reads the key.
    Key& key = keys_[woken - WAIT_OBJECT_0 - 1];
    const LONG armed = Arm(key);
    if (armed != ERROR_SUCCESS) StopNotifying(Failure("watch", key.watched->path, armed));
    return Wake::kChanged;
  }

  bool Notifies() const override { return !keys_.empty(); }

 private:
  struct Key {
    const WatchedKey* watched;
    common::UniqueKey handle;
    common::UniqueKernelHandle changed;
  };

  static LONG Arm(const Key& key) {
    return RegNotifyChangeKeyValue(key.handle.get(), key.watched->subtree, key.watched->filter, key.changed.get(),
                                   TRUE);
  }

  // One key that cannot be watched (missing, access refused, deleted since)
  // and a change there would go unseen: enumerate on a timer instead.
  void StopNotifying(const std::string& why) {
    keys_.clear();
    note_(why);
  }

  std::function<void(const std::string&)> note_;
  std::vector<Key> keys_;
};

}  // namespace

std::unique_ptr<ChangeSignal> WatchTheRegistry(const std::function<void(const std::string&)>& note) {
  return std::make_unique<RegistryChangeSignal>(note);
}

}  // namespace korvane_cli
