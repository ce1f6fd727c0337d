// The registry calls of advapi32, answered from the installed in-memory registry.
//
// What the platform does and the stand-in copies: names and string data go
// out through the ANSI code page; a name or data that does not fit the
// caller's buffer fails with ERROR_MORE_DATA and, here, writes nothing into
// the buffers; an empty path opens the key itself; a path that begins with a
// backslash fails; a handle keeps working only as long as its key exists;
// enumeration and query need the matching access right.
#include <cstring>

#include "common/little_endian.h"
#include "internal.h"
#include "winhost/codepage.h"

namespace winhost {
namespace {

constexpr LSTATUS kAccessDenied = 5;

bool IsStringType(std::uint32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::u16string Widen(LPCSTR text) { return FromAnsi(text == nullptr ? "" : text); }

// The bytes that an ANSI call returns for a value: string types converted
// from their stored UTF-16 (terminators included), other types as stored.
std::string AnsiData(const Value& value) {
  if (!IsStringType(value.type)) return std::string(value.data.begin(), value.data.end());
  std::u16string units(value.data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(common::LittleEndian16(&value.data[2 * i]));
  }
  return ToAnsi(units);
}

LSTATUS OpenSubkey(HKEY key, LPCSTR subKey, std::uint32_t access, PHKEY result, bool sameHandleForEmpty) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  detail::OpenKey parent;
  if (!detail::ResolveHandle(key, parent)) return ERROR_INVALID_HANDLE;
  if (sameHandleForEmpty && (subKey == nullptr || *subKey == '\0')) {
    *result = key;  // RegOpenKeyA hands back the caller's own handle here
    return ERROR_SUCCESS;
  }
  KeyPtr opened;
  const auto status = parent.registry->Open(parent.key, Widen(subKey), opened);
  if (status != ERROR_SUCCESS) return static_cast<LSTATUS>(status);
  *result = detail::AddHandle(detail::OpenKey{parent.registry, std::move(opened), access});
  return ERROR_SUCCESS;
}

void RecordOpen(Call call, HKEY key, LPCSTR subKey, std::uint32_t access, PHKEY result, LSTATUS status) {
  if (!detail::Tracing()) return;
  const auto opened = (status == ERROR_SUCCESS && result != nullptr) ? *result : nullptr;
  detail::Record(TraceEntry{call, reinterpret_cast<std::uintptr_t>(key), subKey == nullptr ? "" : subKey,
                            0, access, reinterpret_cast<std::uintptr_t>(opened)});
}

void RecordRead(Call call, HKEY key, LPCSTR text, DWORD index) {
  if (!detail::Tracing()) return;
  detail::Record(TraceEntry{call, reinterpret_cast<std::uintptr_t>(key), text == nullptr ? "" : text,
                            index, 0, 0});
}

// Copies name + NUL into a buffer of *chars characters, or fails without writing.
LSTATUS CopyName(const std::string& name, LPSTR buffer, LPDWORD chars) {
  if (name.size() + 1 > *chars) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *chars = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Hands out value data: its size always, its bytes when the buffer holds them all.
LSTATUS CopyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD bytes) {
  const auto ansi = AnsiData(value);
  if (data != nullptr && ansi.size() > *bytes) {
    *bytes = static_cast<DWORD>(ansi.size());
    return ERROR_MORE_DATA;
  }
  if (data != nullptr) std::memcpy(data, ansi.data(), ansi.size());
  if (bytes != nullptr) *bytes = static_cast<DWORD>(ansi.size());
  if (type != nullptr) *type = value.type;
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace winhost

using namespace winhost;

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  detail::CountCall(Call::RegOpenKeyExA);
  const auto status = options != 0 ? ERROR_INVALID_PARAMETER : OpenSubkey(key, subKey, access, result, false);
  RecordOpen(Call::RegOpenKeyExA, key, subKey, access, result, status);
  return status;
}

LSTATUS WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  detail::CountCall(Call::RegOpenKeyA);
  const auto status = OpenSubkey(key, subKey, detail::kAllAccess, result, true);
  RecordOpen(Call::RegOpenKeyA, key, subKey, detail::kAllAccess, result, status);
  return status;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                             LPSTR className, LPDWORD classChars, PFILETIME lastWriteTime) {
  detail::CountCall(Call::RegEnumKeyExA);
  RecordRead(Call::RegEnumKeyExA, key, nullptr, index);
  if (name == nullptr || nameChars == nullptr || reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (className != nullptr && classChars == nullptr) return ERROR_INVALID_PARAMETER;
  detail::OpenKey open;
  if (!detail::ResolveHandle(key, open)) return ERROR_INVALID_HANDLE;
  if ((open.access & KEY_ENUMERATE_SUB_KEYS) == 0) return kAccessDenied;
  std::u16string wide;
  const auto status = open.registry->EnumKey(open.key, index, wide);
  if (status != ERROR_SUCCESS) return static_cast<LSTATUS>(status);
  const auto result = CopyName(ToAnsi(wide), name, nameChars);
  if (result != ERROR_SUCCESS) return result;
  if (className != nullptr && *classChars > 0) *className = '\0';
  if (classChars != nullptr) *classChars = 0;
  if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
  detail::CountCall(Call::RegEnumValueA);
  RecordRead(Call::RegEnumValueA, key, nullptr, index);
  if (name == nullptr || nameChars == nullptr || reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && dataBytes == nullptr) return ERROR_INVALID_PARAMETER;
  detail::OpenKey open;
  if (!detail::ResolveHandle(key, open)) return ERROR_INVALID_HANDLE;
  if ((open.access & KEY_QUERY_VALUE) == 0) return kAccessDenied;
  Value value;
  const auto status = open.registry->EnumValue(open.key, index, value);
  if (status != ERROR_SUCCESS) return static_cast<LSTATUS>(status);
  const auto ansiName = ToAnsi(value.name);
  // Check both sizes first so that a failure writes neither buffer.
  if (ansiName.size() + 1 > *nameChars) return ERROR_MORE_DATA;
  const auto result = CopyData(value, type, data, dataBytes);
  if (result != ERROR_SUCCESS) return result;
  return CopyName(ansiName, name, nameChars);
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataBytes) {
  detail::CountCall(Call::RegQueryValueExA);
  RecordRead(Call::RegQueryValueExA, key, valueName, 0);
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && dataBytes == nullptr) return ERROR_INVALID_PARAMETER;
  detail::OpenKey open;
  if (!detail::ResolveHandle(key, open)) return ERROR_INVALID_HANDLE;
  if ((open.access & KEY_QUERY_VALUE) == 0) return kAccessDenied;
  Value value;
  const auto status = open.registry->QueryValue(open.key, Widen(valueName), value);
  if (status != ERROR_SUCCESS) return static_cast<LSTATUS>(status);
  return CopyData(value, type, data, dataBytes);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  detail::CountCall(Call::RegCloseKey);
  RecordRead(Call::RegCloseKey, key, nullptr, 0);
  if (detail::IsPredefined(key)) return ERROR_SUCCESS;
  return detail::RemoveHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
