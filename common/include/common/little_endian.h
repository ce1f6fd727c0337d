// Little-endian integers in bytes, as Windows writes every field of its
// registry files. The caller has checked that the bytes are there.
#pragma once

#include <cstdint>

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

}  // namespace common
