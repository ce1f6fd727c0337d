#include "base_block.h"

#include "common/little_endian.h"
#include "layout.h"

namespace regfile::hive {
namespace {

using common::LittleEndian32;

std::uint32_t Checksum(const std::uint8_t* block) {
  std::uint32_t sum = 0;
  for (std::uint32_t at = 0; at < base_block::kChecksum; at += 4) sum ^= LittleEndian32(block + at);
  // Windows never stores 0 or all ones.
  if (sum == 0) return 1;
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  return sum;
}

}  // namespace

bool BaseBlock::isLog() const {
  return fileType == base_block::kOldLog || fileType == base_block::kVeryOldLog || fileType == base_block::kNewLog;
}

bool BaseBlock::isNewLog() const { return fileType == base_block::kNewLog; }

BaseBlock ReadBaseBlock(const std::uint8_t* bytes) {
  using namespace base_block;
  BaseBlock block;
  block.primarySequence = LittleEndian32(bytes + kPrimarySequence);
  block.secondarySequence = LittleEndian32(bytes + kSecondarySequence);
  block.lastWritten = common::LittleEndian64(bytes + kLastWritten);
  block.majorVersion = LittleEndian32(bytes + kMajorVersion);
  block.minorVersion = LittleEndian32(bytes + kMinorVersion);
  block.fileType = LittleEndian32(bytes + kFileType);
  block.fileFormat = LittleEndian32(bytes + kFileFormat);
  block.rootCell = LittleEndian32(bytes + kRootCell);
  block.binsSize = LittleEndian32(bytes + kBinsSize);
  block.storedChecksum = LittleEndian32(bytes + kChecksum);
  block.checksum = Checksum(bytes);
  return block;
}

bool SequenceAfter(std::uint32_t later, std::uint32_t earlier) {
  return later != earlier && later - earlier < 0x80000000u;
}

}  // namespace regfile::hive
