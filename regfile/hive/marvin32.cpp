#include "marvin32.h"

#include "common/little_endian.h"

namespace regfile::hive {
namespace {

std::uint32_t RotateLeft(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

// One word into the state; the state stays in registers across a piece.
inline void Mix(std::uint32_t& low, std::uint32_t& high, std::uint32_t word) {
  low += word;
  high ^= low;
  low = RotateLeft(low, 20) + high;
  high = RotateLeft(high, 9) ^ low;
  low = RotateLeft(low, 27) + high;
  high = RotateLeft(high, 19);
}

}  // namespace

void Marvin32::Add(const std::uint8_t* bytes, std::size_t length) {
  std::uint32_t low = low_;
  std::uint32_t high = high_;
  while (pendingLength_ > 0 && pendingLength_ < 4 && length > 0) {
    pending_[pendingLength_++] = *bytes++;
    --length;
  }
  if (pendingLength_ == 4) {
    Mix(low, high, common::LittleEndian32(pending_));
    pendingLength_ = 0;
  }
  for (; length >= 4; bytes += 4, length -= 4) Mix(low, high, common::LittleEndian32(bytes));
  for (; length > 0; --length) pending_[pendingLength_++] = *bytes++;
  low_ = low;
  high_ = high;
}

std::uint64_t Marvin32::Finish() {
  // The tail's bytes, then 0x80 after them, as one word; then a word of zeros.
  std::uint32_t last = 0x80u << (8 * pendingLength_);
  for (std::size_t i = 0; i < pendingLength_; ++i) last |= static_cast<std::uint32_t>(pending_[i]) << (8 * i);
  pendingLength_ = 0;
  Mix(low_, high_, last);
  Mix(low_, high_, 0);
  return (static_cast<std::uint64_t>(high_) << 32) | low_;
}

std::uint64_t Marvin32Of(const std::uint8_t* bytes, std::size_t length, std::uint64_t seed) {
  Marvin32 hash(seed);
  hash.Add(bytes, length);
  return hash.Finish();
}

}  // namespace regfile::hive
