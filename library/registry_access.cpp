#include "registry_access.h"

#include <cstring>

namespace korvane {
namespace {

constexpr DWORD kBufferSize = 1024;  // bytes, and characters for names

// Closes a key opened by one primitive when the primitive returns. RegOpenKeyA
// hands back the caller's own handle for an empty path; that one is not ours
// to close.
class OpenedKey {
 public:
  OpenedKey(HKEY key, HKEY root) : key_(key), root_(root) {}
  ~OpenedKey() {
    if (key_ != nullptr && key_ != root_) RegCloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
  HKEY root_;
};

// Text of registry data: up to its first NUL, and never past the bytes
// returned or the end of the buffer.
std::string_view TextOf(const char* bytes, DWORD size) {
  size = size < kBufferSize ? size : kBufferSize;
  const auto* nul = static_cast<const char*>(std::memchr(bytes, '\0', size));
  return std::string_view(bytes, static_cast<std::size_t>((nul != nullptr ? nul : bytes + size) - bytes));
}

}  // namespace

std::int32_t ListSubkeys(HKEY root, const char* path, StringList& names) {
  if (root == nullptr || path == nullptr) return -1;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return -1;
  const OpenedKey opened(key, root);
  char name[kBufferSize];
  std::int32_t index = 0;
  for (;; ++index) {
    DWORD nameChars = kBufferSize;
    FILETIME lastWrite;
    if (RegEnumKeyExA(opened.get(), static_cast<DWORD>(index), name, &nameChars, nullptr, nullptr,
                      nullptr, &lastWrite) != ERROR_SUCCESS) {
      break;
    }
    names.push_back(TextOf(name, nameChars));
  }
  return index;
}

std::int32_t ListValues(HKEY root, const char* path, StringList& names, StringList& data) {
  if (root == nullptr || path == nullptr) return -1;
  HKEY key = nullptr;
  if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS) return -1;
  const OpenedKey opened(key, root);
  char name[kBufferSize];
  BYTE bytes[kBufferSize];
  std::int32_t index = 0;
  for (;; ++index) {
    DWORD nameChars = kBufferSize;
    DWORD dataBytes = kBufferSize;
    if (RegEnumValueA(opened.get(), static_cast<DWORD>(index), name, &nameChars, nullptr, nullptr, bytes,
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
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::string();
  const OpenedKey opened(key, root);
  BYTE bytes[kBufferSize];
  DWORD dataBytes = kBufferSize;
  if (RegQueryValueExA(opened.get(), valueName, nullptr, nullptr, bytes, &dataBytes) != ERROR_SUCCESS) {
    return std::string();
  }
  return std::string(TextOf(reinterpret_cast<const char*>(bytes), dataBytes));
}

}  // namespace korvane
