// The bins of a hive and the cells in them. Every record of a hive is a cell
// found by an offset read from another one, so CellAt is the one place where
// an offset from the file is checked.
//
// The bins' headers are indexed when the file is opened; a damaged one does
// not refuse the hive, it marks its place as damaged, and only a cell wanted
// there fails. A bin's cells are checked when a cell in it is first wanted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image.h"
#include "layout.h"

namespace regfile::hive {

// What is wrong with the hive, at which offset in its file. Thrown by the
// reader's parts, caught where the reading began.
struct Fault {
  std::uint64_t offset;
  std::string what;
};
[[noreturn]] void Fail(std::uint64_t fileOffset, std::string what);

// The offset in a message: "0x1a2b".
std::string Hex(std::uint64_t number);

// Where an offset counted from the first bin lies in the file.
constexpr std::uint64_t FileOffsetOf(std::uint32_t binsOffset) { return base_block::kSize + std::uint64_t{binsOffset}; }

// The bytes of a cell in use, after its size field. Fields are read through
// it, each checked against the cell's size.
class Cell {
 public:
  Cell(const std::uint8_t* data, std::uint32_t size, std::uint32_t offset) : data_(data), size_(size), offset_(offset) {}

  std::uint32_t size() const { return size_; }
  std::uint32_t offset() const { return offset_; }
  // Where byte `at` of the cell's data lies in the file.
  std::uint64_t FileOffset(std::uint32_t at = 0) const { return FileOffsetOf(offset_) + cell::kSizeField + at; }

  std::uint16_t U16(std::uint32_t at) const;
  std::uint32_t U32(std::uint32_t at) const;
  // `length` bytes from `at`, all inside the cell.
  const std::uint8_t* Bytes(std::uint32_t at, std::uint32_t length) const;
  // Whether the cell begins with the two letters of a record's signature.
  bool Is(const char* signature) const;
  // Fails unless the cell has room for `length` bytes, naming the record.
  void Require(std::uint32_t length, const char* record) const;

 private:
  const std::uint8_t* data_;
  std::uint32_t size_;
  std::uint32_t offset_;
};

class HiveFile {
 public:
  // Indexes the bins of `image`, whose root key node is at `rootCell`.
  HiveFile(HiveImage& image, std::uint32_t rootCell, std::uint32_t minorVersion);

  std::uint32_t rootCell() const { return root_; }
  std::uint32_t minorVersion() const { return minor_; }
  // The first damage among the bins' headers, if any.
  std::optional<Fault> FirstDamage() const;

  // The cell in use at `offset` (counted from the first bin), which must be
  // where a cell begins, wholly inside its bin; `record` names what the
  // offset was to lead to, for the message when it does not.
  Cell CellAt(std::uint32_t offset, const char* record);
  // The cell at `offset` as a record of the two-letter `signature` with
  // `fieldsSize` bytes of fields at least.
  Cell RecordAt(std::uint32_t offset, const char* signature, const char* record, std::uint32_t fieldsSize);

 private:
  struct Bin {
    std::uint32_t start = 0;  // counted from the first bin
    std::uint32_t size = 0;
    std::vector<std::uint8_t> bytes;        // read when a cell of the bin is first wanted
    std::vector<std::uint32_t> cellsInUse;  // offsets in the bin where cells in use begin, ascending
  };
  // Where no bin could be found, and why.
  struct Damaged {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    Fault fault;
  };

  void IndexBins();
  void MarkDamaged(std::uint32_t start, std::uint32_t end, Fault fault);
  // The bin header at `start` if it is sound; else why not.
  std::optional<Fault> CheckBinHeader(std::uint32_t start, std::uint32_t& size);
  void LoadBin(Bin& bin);

  HiveImage& image_;
  std::uint32_t root_;
  std::uint32_t minor_;
  std::vector<Bin> bins_;          // in file order
  std::vector<Damaged> damaged_;   // in file order, between the bins
};

}  // namespace regfile::hive
