// Prepares Wine's registry for a test scenario and shows what it holds.
//
//   regprep reset          delete the trees a scenario owns, empty the serial-port
//                          map, and create the map as a volatile key if it is missing
//   regprep dump KEYPATH   list the subkeys (in enumeration order), then the values
//                          (name=data), of HKEY_LOCAL_MACHINE\KEYPATH
//
// Exit code 0 on success; otherwise a message on stderr and a nonzero code
// (2 for a key that dump cannot open, 1 for anything else).
//
// Names and data are read through the wide API so that names with no form in
// the ANSI code page survive; output is ASCII, anything else written \uXXXX.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "common/handles.h"
#include "common/utf.h"

namespace {

// The trees a scenario owns outright, below HKEY_LOCAL_MACHINE.
const wchar_t* const kOwnedTrees[] = {
    L"SYSTEM\\CurrentControlSet\\Enum\\USB",
    L"SYSTEM\\CurrentControlSet\\Enum\\USBPRINT",
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers",
};

// Lives below the volatile HARDWARE key: regedit cannot create it, so it is
// kept (emptied) or recreated here rather than deleted.
const wchar_t kSerialComm[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

using Key = common::UniqueKey;

std::string Escape(const wchar_t* text, size_t length) { return common::Escaped(std::wstring_view(text, length)); }

std::string Escape(const std::wstring& text) { return Escape(text.data(), text.size()); }

void Fail(const char* what, const std::wstring& path, LONG status) {
  std::fprintf(stderr, "regprep: %s HKLM\\%s failed: error %ld\n", what, Escape(path).c_str(),
               static_cast<long>(status));
}

bool DeleteTree(const wchar_t* path) {
  const LONG status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, path);
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
    // Verify rather than trust: a key left behind would leak Wine's own
    // content into the scenario.
    Key key;
    const LONG reopen = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put());
    if (reopen == ERROR_FILE_NOT_FOUND) return true;
    Fail("deleting (key still present)", path, reopen);
    return false;
  }
  Fail("deleting", path, status);
  return false;
}

// Leaves the serial-port map present and empty.
bool ResetSerialComm() {
  Key key;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ | KEY_SET_VALUE, key.put());
  if (status == ERROR_FILE_NOT_FOUND) {
    // Any parent that has to be created is volatile too, as on Windows.
    status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_READ | KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
      Fail("creating", kSerialComm, status);
      return false;
    }
  } else if (status != ERROR_SUCCESS) {
    Fail("opening", kSerialComm, status);
    return false;
  }

  DWORD count = 0;
  DWORD maxNameLength = 0;
  status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                            &maxNameLength, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) {
    Fail("querying", kSerialComm, status);
    return false;
  }

  // Collect the names first: deleting while enumerating shifts the indices.
  std::vector<std::wstring> names;
  std::vector<wchar_t> name(maxNameLength + 1);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    status = RegEnumValueW(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      Fail("listing the values of", kSerialComm, status);
      return false;
    }
    names.emplace_back(name.data(), length);
  }
  for (const std::wstring& valueName : names) {
    status = RegDeleteValueW(key.get(), valueName.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      Fail(("deleting value \"" + Escape(valueName) + "\" of").c_str(), kSerialComm, status);
      return false;
    }
  }

  status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                            nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS || count != 0) {
    std::fprintf(stderr, "regprep: HKLM\\%s still holds %lu values (error %ld)\n",
                 Escape(kSerialComm, std::wcslen(kSerialComm)).c_str(), static_cast<unsigned long>(count),
                 static_cast<long>(status));
    return false;
  }
  return true;
}

int Reset() {
  bool ok = true;
  for (const wchar_t* tree : kOwnedTrees) ok = DeleteTree(tree) && ok;
  ok = ResetSerialComm() && ok;
  return ok ? 0 : 1;
}

std::string FormatData(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
      size_t length = size / sizeof(wchar_t);
      std::wstring text(length, L'\0');
      if (length != 0) std::memcpy(&text[0], data.data(), length * sizeof(wchar_t));
      // One terminator is storage, not content; a REG_MULTI_SZ keeps its
      // inner separators (shown as \u0000).
      if (!text.empty() && text.back() == L'\0') text.pop_back();
      if (type == REG_MULTI_SZ && !text.empty() && text.back() == L'\0') text.pop_back();
      return Escape(text);
    }
    case REG_DWORD:
      if (size == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, data.data(), sizeof value);
        char buf[24];
        std::snprintf(buf, sizeof buf, "dword:%08lx", static_cast<unsigned long>(value));
        return buf;
      }
      break;
    default:
      break;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "hex(%lx):", static_cast<unsigned long>(type));
  std::string out = buf;
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : ",%02x", data[i]);
    out += buf;
  }
  return out;
}

int Dump(const std::wstring& path) {
  Key key;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put());
  if (status != ERROR_SUCCESS) {
    Fail("opening", path, status);
    return 2;
  }
  DWORD maxSubkeyLength = 0;
  DWORD maxNameLength = 0;
  DWORD maxDataSize = 0;
  status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &maxSubkeyLength, nullptr,
                            nullptr, &maxNameLength, &maxDataSize, nullptr, nullptr);
  if (status != ERROR_SUCCESS) {
    Fail("querying", path, status);
    return 1;
  }

  std::vector<wchar_t> name((maxSubkeyLength > maxNameLength ? maxSubkeyLength : maxNameLength) + 1);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    status = RegEnumKeyExW(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      Fail("listing the subkeys of", path, status);
      return 1;
    }
    std::printf("key %s\n", Escape(name.data(), length).c_str());
  }

  std::vector<BYTE> data(maxDataSize + sizeof(wchar_t));
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    status = RegEnumValueW(key.get(), i, name.data(), &length, nullptr, &type, data.data(), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      Fail("listing the values of", path, status);
      return 1;
    }
    std::printf("value %s=%s\n", Escape(name.data(), length).c_str(), FormatData(type, data, size).c_str());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: regprep reset\n"
               "       regprep dump KEYPATH   (below HKEY_LOCAL_MACHINE)\n");
  return 1;
}

}  // namespace

// Wide arguments: a key path may hold names outside the ANSI code page.
int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"reset") == 0) return Reset();
  if (argc == 3 && std::wcscmp(argv[1], L"dump") == 0) return Dump(argv[2]);
  return Usage();
}
