#include "library/registry_access.h"

#include <cstring>

#include "common/handles.h"

namespace korvane {
namespace {

constexpr DWORD kBufferSize = 1024;  // bytes, and characters for names

// Text of registry data: up to its first NUL, and never past the bytes
// returned or the end of the buffer.
std::string_view TextOf(const char* bytes, DWORD size) {
  size = size < kBufferSize ? size : kBufferSize;
  const auto* nul = static_cast<const char*>(std::memchr(bytes, '\0', size));
  return std::string_view(bytes, static_cast<std::size_t>((nul != nullptr ? nul : bytes + size) - bytes));
}

}  // namespace

std::int32_t ListSubkeys(HKEY root, const char* path, StringList& names) {
  if (root == nullptr || path == nullptr) return kListingFailed;
  common::UniqueKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) return kListingFailed;
  char name[kBufferSize];
  std::int32_t index = 0;
  for (;; ++index) {
    DWORD nameChars = kBufferSize;
    FILETIME lastWrite;
    if (RegEnumKeyExA(key.get(), static_cast<DWORD>(index), name, &nameChars, nullptr, nullptr,
                      nullptr, &lastWrite) != ERROR_SUCCESS) {
      break;
    }
    names.push_back(TextOf(name, nameChars));
  }
  return index;
}

std::int32_t ListValues(HKEY root, const char* path, StringList& names, StringList& data) {
  if (root == nullptr || path == nullptr) return kListingFailed;
  HKEY opened = nullptr;
  if (RegOpenKeyA(root, path, &opened) != ERROR_SUCCESS) return kListingFailed;
  // For an empty path RegOpenKeyA hands back root itself, which is not ours to close.
  const common::UniqueKey key(opened != root ? opened : nullptr);
  char name[kBufferSize];
  BYTE bytes[kBufferSize];
  std::int32_t index = 0;
  for (;; ++index) {
    DWORD nameChars = kBufferSize;
    DWORD dataBytes = kBufferSize;
    if (RegEnumValueA(opened, static_cast<DWORD>(index), name, &nameChars, nullptr, nullptr, bytes,
                      &dataBytes) != ERROR_SUCCESS) {
      break;
    }
    names.push_back(TextOf(name, nameChars));
    data.push_back(TextOf(reinterpret_cast<const char*>(bytes), dataBytes));
  }
  return index;
}

std::string ReadStringValue(HKEY root, const char* path, const char* valueName) {
  if (root == nullptr || path == nullptr || valueName == nullptr) return std::string();
  common::UniqueKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::string();
  BYTE bytes[kBufferSize];
  DWORD dataBytes = kBufferSize;
  if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, bytes, &dataBytes) != ERROR_SUCCESS) {
    return std::string();
  }
  return std::string(TextOf(reinterpret_cast<const char*>(bytes), dataBytes));
}

}  // namespace korvane
