#include "hive_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/little_endian.h"

namespace regfile::hive {
namespace {

using common::LittleEndian32;

std::string Number(std::uint64_t number) { return std::to_string(number); }

// What is wrong with a cell's size, with `room` bytes left in its bin; nothing when it is sound.
std::optional<std::string> CellSizeProblem(std::int64_t length, std::uint32_t room) {
  if (length == 0) return std::string();
  if (length % cell::kAlignment != 0) return ", not a multiple of " + Number(cell::kAlignment);
  if (length > room) return std::string(", which runs past the end of its bin");
  return std::nullopt;
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
    Fail(FileOffset(), "a record of " + Number(size_) + " bytes has no room for " + Number(length) + " bytes at " +
                           Number(at));
  }
  return data_ + at;
}

std::uint16_t Cell::U16(std::uint32_t at) const { return common::LittleEndian16(Bytes(at, 2)); }

std::uint32_t Cell::U32(std::uint32_t at) const { return LittleEndian32(Bytes(at, 4)); }

bool Cell::Is(const char* signature) const {
  return size_ >= 2 && data_[0] == static_cast<std::uint8_t>(signature[0]) &&
         data_[1] == static_cast<std::uint8_t>(signature[1]);
}

void Cell::Require(std::uint32_t length, const char* record) const {
  if (size_ < length) {
    Fail(FileOffset(), std::string(record) + " of " + Number(size_) + " bytes, shorter than its " + Number(length) +
                           " bytes of fields");
  }
}

// ---- HiveFile --------------------------------------------------------------

HiveFile::HiveFile(HiveImage& image, std::uint32_t rootCell, std::uint32_t minorVersion)
    : image_(image), root_(rootCell), minor_(minorVersion) {
  IndexBins();
}

std::optional<Fault> HiveFile::FirstDamage() const {
  if (damaged_.empty()) return std::nullopt;
  return damaged_.front().fault;
}

std::optional<Fault> HiveFile::CheckBinHeader(std::uint32_t start, std::uint32_t& size) {
  const std::uint64_t at = FileOffsetOf(start);
  std::uint8_t header[bin::kHeaderSize];
  if (!image_.ReadBins(start, header, sizeof header)) return Fault{at, "cannot read file"};
  if (std::memcmp(header, bin::kSignature, 4) != 0) {
    return Fault{at, std::string("no bin begins here (\"") + bin::kSignature + "\")"};
  }
  if (LittleEndian32(header + bin::kOffset) != start) {
    return Fault{at + bin::kOffset, "the bin says it is at " + Hex(LittleEndian32(header + bin::kOffset)) + ", not at " +
                                        Hex(start)};
  }
  size = LittleEndian32(header + bin::kSize);
  const std::uint32_t binsSize = image_.binsSize();
  if (size == 0 || size % bin::kUnit != 0 || size > binsSize - start) {
    return Fault{at + bin::kSize, "a bin of " + Number(size) + " bytes, not a multiple of " + Number(bin::kUnit) +
                                      " within the hive's bins"};
  }
  if (start + std::uint64_t{size} > image_.EndOfFiles()) {
    return Fault{at, "the bins are said to take " + Number(binsSize) + " bytes, but the file ends inside this bin"};
  }
  return std::nullopt;
}

void HiveFile::IndexBins() {
  const std::uint32_t binsSize = image_.binsSize();
  const std::uint64_t endOfFiles = image_.EndOfFiles();
  for (std::uint32_t start = 0; start < binsSize;) {
    if (start >= endOfFiles) {
      MarkDamaged(start, binsSize,
                  Fault{FileOffsetOf(start), "the bins are said to take " + Number(binsSize) + " bytes, but " +
                                                 Number(start) + " follow the base block"});
      return;
    }
    std::uint32_t size = 0;
    if (auto fault = CheckBinHeader(start, size)) {
      // Bins are whole units: the next one may begin at the next unit.
      MarkDamaged(start, start + bin::kUnit, std::move(*fault));
      start += bin::kUnit;
      continue;
    }
    bins_.push_back(Bin{start, size, {}, {}});
    start += size;
  }
}

void HiveFile::MarkDamaged(std::uint32_t start, std::uint32_t end, Fault fault) {
  if (!damaged_.empty() && damaged_.back().end == start) {
    damaged_.back().end = end;  // one stretch of damage keeps the reason of its beginning
    return;
  }
  damaged_.push_back(Damaged{start, end, std::move(fault)});
}

void HiveFile::LoadBin(Bin& bin) {
  bin.bytes.resize(bin.size);
  if (!image_.ReadBins(bin.start, bin.bytes.data(), bin.size)) {
    bin.bytes.clear();
    Fail(FileOffsetOf(bin.start), "cannot read file");
  }
  for (std::uint32_t at = bin::kHeaderSize; at < bin.size;) {
    const auto raw = static_cast<std::int32_t>(LittleEndian32(bin.bytes.data() + at));
    const std::int64_t length = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
    if (const auto wrong = CellSizeProblem(length, bin.size - at)) {
      bin.bytes.clear();
      bin.cellsInUse.clear();
      Fail(FileOffsetOf(bin.start + at), "a cell of " + Number(static_cast<std::uint64_t>(length)) + " bytes" + *wrong);
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
  const std::uint64_t fileOffset = FileOffsetOf(offset);
  if (offset >= image_.binsSize()) {
    Fail(fileOffset, std::string("the offset of a ") + record + " lies past the hive's bins");
  }
  auto bin = std::upper_bound(bins_.begin(), bins_.end(), offset,
                              [](std::uint32_t wanted, const Bin& b) { return wanted < b.start; });
  if (bin == bins_.begin() || offset - (bin - 1)->start >= (bin - 1)->size) {
    const auto damage = std::upper_bound(damaged_.begin(), damaged_.end(), offset,
                                         [](std::uint32_t wanted, const Damaged& d) { return wanted < d.start; });
    // Bins and damage together cover the bins without gaps, so some damage is here.
    if (damage == damaged_.begin()) Fail(fileOffset, std::string("no bin holds the ") + record + " here");
    const Fault& why = (damage - 1)->fault;
    Fail(why.offset, why.what + ", where a " + record + " should be at " + Hex(fileOffset));
  }
  --bin;
  if (bin->bytes.empty()) LoadBin(*bin);
  const std::uint32_t inBin = offset - bin->start;
  if (!std::binary_search(bin->cellsInUse.begin(), bin->cellsInUse.end(), inBin)) {
    Fail(fileOffset, std::string("no cell in use begins here, where a ") + record + " should be");
  }
  const std::uint8_t* start = bin->bytes.data() + inBin;
  const std::uint32_t length = 0u - LittleEndian32(start);  // in use: the size is negative
  return Cell(start + cell::kSizeField, length - cell::kSizeField, offset);
}

}  // namespace regfile::hive
