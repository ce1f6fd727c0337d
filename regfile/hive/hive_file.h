// The file of a hive: its base block, its bins, and the cells in them. Every
// record of a hive is a cell found by an offset read from another one, so
// CellAt is the one place where an offset from the file is checked.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace regfile::hive {

constexpr std::uint64_t kBaseBlockSize = 4096;  // the bins begin behind it; cell offsets count from there
constexpr std::uint32_t kNoCell = 0xFFFFFFFF;   // an offset field that points nowhere

// What is wrong with the file, at which offset in it. Thrown by the reader's
// parts, caught where the reading began.
struct Fault {
  std::uint64_t offset;
  std::string what;
};
[[noreturn]] void Fail(std::uint64_t fileOffset, std::string what);

// The offset in a message: "0x1a2b".
std::string Hex(std::uint64_t number);

// The bytes of a cell in use, after its size field. Fields are read through
// it, each checked against the cell's size.
class Cell {
 public:
  Cell(const std::uint8_t* data, std::uint32_t size, std::uint32_t offset) : data_(data), size_(size), offset_(offset) {}

  std::uint32_t size() const { return size_; }
  std::uint32_t offset() const { return offset_; }
  // Where byte `at` of the cell's data lies in the file.
  std::uint64_t FileOffset(std::uint32_t at = 0) const { return kBaseBlockSize + offset_ + 4 + at; }

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
  // Checks the base block and the headers of the bins of a hive read from
  // `in` (a file, or bytes in memory).
  explicit HiveFile(std::unique_ptr<std::istream> in);

  std::uint32_t rootCell() const { return root_; }
  std::uint32_t minorVersion() const { return minor_; }
  bool dirty() const { return dirty_; }

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
    std::vector<std::uint8_t> bytes;  // read when a cell of the bin is first wanted
    std::vector<std::uint32_t> cellsInUse;  // offsets in the bin where cells in use begin, ascending
  };

  void ReadBaseBlock();
  void IndexBins();
  void LoadBin(Bin& bin);
  void ReadAt(std::uint64_t fileOffset, std::uint8_t* into, std::size_t length, const char* what);

  std::unique_ptr<std::istream> in_;
  std::uint64_t fileSize_ = 0;
  std::uint32_t root_ = 0;
  std::uint32_t minor_ = 0;
  std::uint32_t binsSize_ = 0;
  bool dirty_ = false;
  std::vector<Bin> bins_;  // in file order, without gaps
};

}  // namespace regfile::hive
