// Edits HKEY_LOCAL_MACHINE through the Windows API, for test programs that
// change Wine's registry while KORVANE.dll or korvane.exe reads it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "common/handles.h"
#include "device_model.h"

namespace wintest {

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Edits HKEY_LOCAL_MACHINE through the Windows API. Removing what is already
// gone is no error; the first other error is kept.
class WindowsEditor : public hardening::RegistryEditor {
 public:
  void SetValue(const std::u16string& key, std::u16string_view name, const hardening::Data& data) override {
    const common::UniqueKey handle = Create(key);
    if (!handle) return;
    const std::u16string valueName(name);
    Note(RegSetValueExW(handle.get(), Wide(valueName), 0, data.type, data.bytes.data(),
                        static_cast<DWORD>(data.bytes.size())));
  }
  void CreateKey(const std::u16string& key) override { Create(key); }
  void DeleteKey(const std::u16string& key) override { Note(RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(key))); }
  void DeleteValue(const std::u16string& key, std::u16string_view name) override {
    const std::u16string valueName(name);
    Note(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, Wide(key), Wide(valueName)));
  }

  LSTATUS error() const { return error_; }

 private:
  common::UniqueKey Create(const std::u16string& key) {
    common::UniqueKey handle;
    Note(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(key), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                         handle.put(), nullptr));
    return handle;
  }
  void Note(LSTATUS status) {
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && error_ == ERROR_SUCCESS) error_ = status;
  }

  LSTATUS error_ = ERROR_SUCCESS;
};

}  // namespace wintest
