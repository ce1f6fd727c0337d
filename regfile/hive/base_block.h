// The base block of a hive file, and its copy at the start of a log file.
#pragma once

#include <cstdint>
#include <string>

namespace regfile::hive {

struct BaseBlock {
  std::uint32_t primarySequence = 0;
  std::uint32_t secondarySequence = 0;
  std::uint64_t lastWritten = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t fileType = 0;
  std::uint32_t fileFormat = 0;
  std::uint32_t rootCell = 0;
  std::uint32_t binsSize = 0;
  std::uint32_t storedChecksum = 0;
  std::uint32_t checksum = 0;  // of the bytes as they are

  bool checksumValid() const { return storedChecksum == checksum; }
  // Both sequence numbers equal: the last write to the file finished.
  bool synchronized() const { return primarySequence == secondarySequence; }
  bool isLog() const;
  bool isNewLog() const;
};

// Reads the fields of the first base_block::kLogCopySize bytes, which a log's
// copy holds too; `bytes` must hold that many.
BaseBlock ReadBaseBlock(const std::uint8_t* bytes);

// Whether a sequence number comes after another, as the numbers wrap at 2^32.
bool SequenceAfter(std::uint32_t later, std::uint32_t earlier);

}  // namespace regfile::hive
