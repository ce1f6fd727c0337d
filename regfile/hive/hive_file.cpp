#include "hive_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace regfile::hive {
namespace {

// The base block's fields.
constexpr std::uint32_t kPrimarySequence = 4;
constexpr std::uint32_t kSecondarySequence = 8;
constexpr std::uint32_t kMajorVersion = 20;
constexpr std::uint32_t kMinorVersion = 24;
constexpr std::uint32_t kFileType = 28;  // 0 a primary file, else a log
constexpr std::uint32_t kFileFormat = 32;  // 1: direct memory load
constexpr std::uint32_t kRootCell = 36;
constexpr std::uint32_t kBinsSize = 40;
constexpr std::uint32_t kChecksum = 508;  // XOR of the 127 dwords before it

constexpr std::uint32_t kOldestMinor = 3;
constexpr std::uint32_t kNewestMinor = 6;

constexpr std::uint32_t kBinHeaderSize = 32;
constexpr std::uint32_t kBinUnit = 4096;  // bins are whole multiples of it
constexpr std::uint32_t kCellAlignment = 8;

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::uint32_t Checksum(const std::uint8_t* block) {
  std::uint32_t sum = 0;
  for (std::uint32_t at = 0; at < kChecksum; at += 4) sum ^= LittleEndian32(block + at);
  if (sum == 0) return 1;
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  return sum;
}

}  // namespace

void Fail(std::uint64_t fileOffset, std::string what) { throw Fault{fileOffset, std::move(what)}; }

std::string Hex(std::uint64_t number) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(number));
  return text;
}

// ---- Cell ------------------------------------------------------------------

const std::uint8_t* Cell::Bytes(std::uint32_t at, std::uint32_t length) const {
  if (at > size_ || length > size_ - at) {
    Fail(FileOffset(), "a record of " + std::to_string(size_) + " bytes has no room for " + std::to_string(length) +
                           " bytes at " + std::to_string(at));
  }
  return data_ + at;
}

std::uint16_t Cell::U16(std::uint32_t at) const {
  const std::uint8_t* bytes = Bytes(at, 2);
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t Cell::U32(std::uint32_t at) const { return LittleEndian32(Bytes(at, 4)); }

bool Cell::Is(const char* signature) const {
  return size_ >= 2 && data_[0] == static_cast<std::uint8_t>(signature[0]) &&
         data_[1] == static_cast<std::uint8_t>(signature[1]);
}

void Cell::Require(std::uint32_t length, const char* record) const {
  if (size_ < length) {
    Fail(FileOffset(), std::string(record) + " of " + std::to_string(size_) + " bytes, shorter than its " +
                           std::to_string(length) + " bytes of fields");
  }
}

// ---- HiveFile --------------------------------------------------------------

HiveFile::HiveFile(std::unique_ptr<std::istream> in) : in_(std::move(in)) {
  if (!*in_) Fail(0, "cannot read file");
  in_->seekg(0, std::ios::end);
  const auto end = in_->tellg();
  if (!*in_ || end < 0) Fail(0, "cannot read file");
  fileSize_ = static_cast<std::uint64_t>(end);
  ReadBaseBlock();
  IndexBins();
}

void HiveFile::ReadAt(std::uint64_t fileOffset, std::uint8_t* into, std::size_t length, const char* what) {
  if (fileOffset > fileSize_ || length > fileSize_ - fileOffset) {
    Fail(fileOffset, std::string("the file ends inside the ") + what + " (" + std::to_string(fileSize_) + " bytes)");
  }
  in_->clear();
  in_->seekg(static_cast<std::streamoff>(fileOffset));
  in_->read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(length));
  if (!*in_ || static_cast<std::size_t>(in_->gcount()) != length) Fail(fileOffset, "cannot read file");
}

void HiveFile::ReadBaseBlock() {
  std::uint8_t block[kBaseBlockSize];
  ReadAt(0, block, sizeof block, "base block");
  if (std::memcmp(block, "regf", 4) != 0) Fail(0, "no hive: it does not begin with \"regf\"");
  if (LittleEndian32(block + kChecksum) != Checksum(block)) {
    Fail(kChecksum, "the base block's checksum " + Hex(LittleEndian32(block + kChecksum)) + " is not its sum " +
                        Hex(Checksum(block)));
  }
  const std::uint32_t major = LittleEndian32(block + kMajorVersion);
  minor_ = LittleEndian32(block + kMinorVersion);
  if (major != 1 || minor_ < kOldestMinor || minor_ > kNewestMinor) {
    Fail(kMajorVersion, "hive version " + std::to_string(major) + "." + std::to_string(minor_) +
                            ", where 1.3 to 1.6 are known");
  }
  if (LittleEndian32(block + kFileType) != 0) Fail(kFileType, "a transaction log, not the hive itself");
  if (LittleEndian32(block + kFileFormat) != 1) Fail(kFileFormat, "an unknown file format");
  dirty_ = LittleEndian32(block + kPrimarySequence) != LittleEndian32(block + kSecondarySequence);
  root_ = LittleEndian32(block + kRootCell);
  binsSize_ = LittleEndian32(block + kBinsSize);
  if (binsSize_ % kBinUnit != 0 || binsSize_ > fileSize_ - kBaseBlockSize) {
    Fail(kBinsSize, "the bins are said to take " + std::to_string(binsSize_) + " bytes, but " +
                        std::to_string(fileSize_ - kBaseBlockSize) + " follow the base block");
  }
}

void HiveFile::IndexBins() {
  for (std::uint32_t start = 0; start < binsSize_;) {
    std::uint8_t header[kBinHeaderSize];
    const std::uint64_t at = kBaseBlockSize + start;
    ReadAt(at, header, sizeof header, "bin header");
    if (std::memcmp(header, "hbin", 4) != 0) Fail(at, "no bin begins here (\"hbin\")");
    if (LittleEndian32(header + 4) != start) {
      Fail(at + 4, "the bin says it is at " + Hex(LittleEndian32(header + 4)) + ", not at " + Hex(start));
    }
    const std::uint32_t size = LittleEndian32(header + 8);
    if (size == 0 || size % kBinUnit != 0 || size > binsSize_ - start) {
      Fail(at + 8, "a bin of " + std::to_string(size) + " bytes, not a multiple of 4096 within the hive's bins");
    }
    bins_.push_back(Bin{start, size, {}, {}});
    start += size;
  }
}

void HiveFile::LoadBin(Bin& bin) {
  bin.bytes.resize(bin.size);
  ReadAt(kBaseBlockSize + bin.start, bin.bytes.data(), bin.size, "bin");
  for (std::uint32_t at = kBinHeaderSize; at < bin.size;) {
    const auto raw = static_cast<std::int32_t>(LittleEndian32(bin.bytes.data() + at));
    const std::int64_t length = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
    const std::uint64_t fileOffset = kBaseBlockSize + bin.start + at;
    const char* wrong = length == 0                      ? ""
                        : length % kCellAlignment != 0     ? ", not a multiple of 8"
                        : length > bin.size - at           ? ", which runs past the end of its bin"
                                                           : nullptr;
    if (wrong != nullptr) {
      bin.bytes.clear();
      bin.cellsInUse.clear();
      Fail(fileOffset, "a cell of " + std::to_string(length) + " bytes" + wrong);
    }
    if (raw < 0) bin.cellsInUse.push_back(at);
    at += static_cast<std::uint32_t>(length);
  }
}

Cell HiveFile::RecordAt(std::uint32_t offset, const char* signature, const char* record, std::uint32_t fieldsSize) {
  const Cell cell = CellAt(offset, record);
  if (!cell.Is(signature)) Fail(cell.FileOffset(), std::string("no ") + record + " (" + signature + ") here");
  cell.Require(fieldsSize, record);
  return cell;
}

Cell HiveFile::CellAt(std::uint32_t offset, const char* record) {
  const std::uint64_t fileOffset = kBaseBlockSize + offset;
  if (offset >= binsSize_) {
    Fail(fileOffset, std::string("the offset of a ") + record + " lies past the hive's bins");
  }
  auto bin = std::upper_bound(bins_.begin(), bins_.end(), offset,
                              [](std::uint32_t wanted, const Bin& b) { return wanted < b.start; });
  --bin;  // the first bin starts at 0, so some bin starts at or before offset
  if (bin->bytes.empty()) LoadBin(*bin);
  const std::uint32_t inBin = offset - bin->start;
  if (!std::binary_search(bin->cellsInUse.begin(), bin->cellsInUse.end(), inBin)) {
    Fail(fileOffset, std::string("no cell in use begins here, where a ") + record + " should be");
  }
  const std::uint8_t* start = bin->bytes.data() + inBin;
  const std::uint32_t length = 0u - LittleEndian32(start);  // in use: the size is negative
  return Cell(start + 4, length - 4, offset);
}

}  // namespace regfile::hive
