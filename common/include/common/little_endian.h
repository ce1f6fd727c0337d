// Little-endian integers in bytes, as Windows writes every field of its
// registry files and every UTF-16 unit of its text: read from bytes, and
// appended to them. The one place in the tree that orders the bytes of an
// integer. A reader's caller has checked that the bytes are there.
#pragma once

#include <cstdint>
#include <vector>

namespace common {

inline std::uint16_t LittleEndian16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline std::uint64_t LittleEndian64(const std::uint8_t* bytes) {
  return static_cast<std::uint64_t>(LittleEndian32(bytes)) | (static_cast<std::uint64_t>(LittleEndian32(bytes + 4)) << 32);
}

inline void AppendLittleEndian16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void AppendLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  AppendLittleEndian16(out, static_cast<std::uint16_t>(value & 0xFFFF));
  AppendLittleEndian16(out, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace common
