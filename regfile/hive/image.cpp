#include "image.h"

#include <algorithm>
#include <cstring>

#include "layout.h"

namespace regfile::hive {

RandomAccessFile::RandomAccessFile(std::unique_ptr<std::istream> in, std::string name)
    : in_(std::move(in)), name_(std::move(name)) {
  if (!*in_) return;
  in_->seekg(0, std::ios::end);
  const auto end = in_->tellg();
  size_ = (*in_ && end > 0) ? static_cast<std::uint64_t>(end) : 0;
}

bool RandomAccessFile::Read(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
  if (offset > size_ || length > size_ - offset) return false;
  if (length == 0) return true;
  in_->clear();
  in_->seekg(static_cast<std::streamoff>(offset));
  in_->read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(length));
  return *in_ && static_cast<std::size_t>(in_->gcount()) == length;
}

HiveImage::HiveImage(std::unique_ptr<RandomAccessFile> hive, std::uint32_t binsSize) : binsSize_(binsSize) {
  files_.push_back(std::move(hive));
}

std::size_t HiveImage::AddLog(std::unique_ptr<RandomAccessFile> log) {
  files_.push_back(std::move(log));
  return files_.size() - 1;
}

void HiveImage::LayOver(std::uint32_t binsOffset, std::uint32_t length, std::size_t log, std::uint64_t logOffset) {
  for (std::uint32_t at = 0; at < length; at += kSectorSize) {
    sectors_.push_back(Replaced{(binsOffset + at) / kSectorSize, static_cast<std::uint32_t>(log), logOffset + at});
  }
  settled_ = false;
}

void HiveImage::Settle() {
  if (settled_) return;
  std::stable_sort(sectors_.begin(), sectors_.end(),
                   [](const Replaced& a, const Replaced& b) { return a.sector < b.sector; });
  // Of a sector laid over more than once, the last.
  std::vector<Replaced> last;
  for (std::size_t i = 0; i < sectors_.size(); ++i) {
    if (i + 1 == sectors_.size() || sectors_[i + 1].sector != sectors_[i].sector) last.push_back(sectors_[i]);
  }
  sectors_ = std::move(last);
  settled_ = true;
}

std::uint64_t HiveImage::EndOfFiles() {
  Settle();
  const std::uint64_t hiveSize = files_.front()->size();
  std::uint64_t end = hiveSize > base_block::kSize ? hiveSize - base_block::kSize : 0;
  if (!sectors_.empty()) end = std::max<std::uint64_t>(end, (sectors_.back().sector + 1ull) * kSectorSize);
  return end;
}

bool HiveImage::ReadBins(std::uint32_t binsOffset, std::uint8_t* into, std::size_t length) {
  Settle();
  std::uint64_t at = binsOffset;
  const std::uint64_t end = at + length;
  auto replaced = std::lower_bound(sectors_.begin(), sectors_.end(), at / kSectorSize,
                                   [](const Replaced& r, std::uint64_t sector) { return r.sector < sector; });
  while (at < end) {
    const std::uint64_t sector = at / kSectorSize;
    std::uint8_t* out = into + (at - binsOffset);
    if (replaced != sectors_.end() && replaced->sector == sector) {
      // A run of sectors that lie one after another in the same log.
      const Replaced start = *replaced;
      std::uint64_t runEnd = (sector + 1) * kSectorSize;
      for (++replaced; replaced != sectors_.end() && replaced->sector == runEnd / kSectorSize &&
                       replaced->file == start.file && replaced->offset == start.offset + (runEnd - sector * kSectorSize);
           ++replaced) {
        runEnd += kSectorSize;
      }
      runEnd = std::min(runEnd, end);
      // Every run lies within the bytes asked for, so its length fits a size_t.
      if (!files_[start.file]->Read(start.offset + at % kSectorSize, out, static_cast<std::size_t>(runEnd - at))) {
        return false;
      }
      at = runEnd;
      continue;
    }
    // The hive's own bytes up to the next replaced sector; zeros past its file.
    const std::uint64_t runEnd =
        replaced == sectors_.end() ? end : std::min<std::uint64_t>(end, replaced->sector * std::uint64_t{kSectorSize});
    const std::uint64_t fileOffset = base_block::kSize + at;
    const std::uint64_t hiveSize = files_.front()->size();
    const auto run = static_cast<std::size_t>(runEnd - at);
    const auto inFile =
        fileOffset < hiveSize ? static_cast<std::size_t>(std::min<std::uint64_t>(run, hiveSize - fileOffset)) : 0;
    if (!files_.front()->Read(fileOffset, out, inFile)) return false;
    std::memset(out + inFile, 0, run - inFile);
    at = runEnd;
  }
  return true;
}

}  // namespace regfile::hive
