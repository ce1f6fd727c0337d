// Marvin32, the keyed hash with which Windows signs the entries of a hive's
// transaction logs. The result is the 64-bit state (high word, low word) that
// the entries store, not .NET's 32-bit fold of it. Bytes may come in pieces
// of any size; the hash is that of their concatenation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace regfile::hive {

class Marvin32 {
 public:
  explicit Marvin32(std::uint64_t seed)
      : low_(static_cast<std::uint32_t>(seed)), high_(static_cast<std::uint32_t>(seed >> 32)) {}

  void Add(const std::uint8_t* bytes, std::size_t length);
  std::uint64_t Finish();

 private:
  std::uint32_t low_;
  std::uint32_t high_;
  std::uint8_t pending_[4] = {};  // the bytes of a word not yet complete
  std::size_t pendingLength_ = 0;
};

// The hash of one piece of bytes.
std::uint64_t Marvin32Of(const std::uint8_t* bytes, std::size_t length, std::uint64_t seed);

}  // namespace regfile::hive
