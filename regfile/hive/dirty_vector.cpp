// An old-format log: after the base block's copy, "DIRT" and a bitmap with a
// bit for each 512-byte page of the bins (the lowest bit of a byte first),
// then from the next page boundary the pages whose bits are set, in order.
#include <cstring>
#include <vector>

#include "hive_file.h"
#include "layout.h"
#include "logs.h"

namespace regfile::hive {

LogOutcome ApplyDirtyPages(HiveImage& image, std::size_t log, std::uint32_t binsSize) {
  using namespace dirty_vector;
  RandomAccessFile& file = image.log(log);
  LogOutcome outcome;
  const auto stop = [&](std::uint64_t at, std::string what) {
    outcome.stop = LogOutcome::Stop{at, std::move(what)};
    return outcome;
  };
  if (binsSize == 0 || binsSize % bin::kUnit != 0 || binsSize > bin::kMaxBinsSize) {
    return stop(base_block::kBinsSize, "it gives the bins " + std::to_string(binsSize) + " bytes, not a multiple of " +
                                           std::to_string(bin::kUnit) + " up to " + std::to_string(bin::kMaxBinsSize));
  }
  const std::uint32_t pages = binsSize / kPageSize;
  const std::uint64_t bitmapEnd = std::uint64_t{kStart} + kBitmap + pages / kPagesPerByte;
  std::vector<std::uint8_t> vector;
  if (bitmapEnd > file.size()) return stop(kStart, "the file ends inside its dirty vector");
  vector.resize(static_cast<std::size_t>(bitmapEnd - kStart));
  if (!file.Read(kStart, vector.data(), vector.size())) return stop(kStart, "cannot read file");
  if (std::memcmp(vector.data(), kSignature, 4) != 0) {
    return stop(kStart, std::string("no dirty vector (\"") + kSignature + "\") here");
  }
  const std::uint8_t* bitmap = vector.data() + kBitmap;
  const auto dirty = [bitmap](std::uint32_t page) { return (bitmap[page / kPagesPerByte] >> (page % kPagesPerByte) & 1) != 0; };
  const std::uint64_t first = (bitmapEnd + kPageSize - 1) / kPageSize * kPageSize;
  std::uint64_t count = 0;
  for (std::uint32_t page = 0; page < pages; ++page) count += dirty(page) ? 1 : 0;
  // The log is one change: applied whole, or not at all.
  if (first + count * kPageSize > file.size()) return stop(file.size(), "the file ends inside its dirty pages");
  std::uint64_t next = first;
  for (std::uint32_t page = 0; page < pages; ++page) {
    if (!dirty(page)) continue;
    image.LayOver(page * kPageSize, kPageSize, log, next);
    next += kPageSize;
    ++outcome.applied;
  }
  image.SetBinsSize(binsSize);
  return outcome;
}

}  // namespace regfile::hive
