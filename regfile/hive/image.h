// The bytes of a hive's bins as Windows would load them: the hive's file,
// with the pages that its transaction logs hold laid over it, to the bins
// size that the last change applied gives. Nothing is copied: the image
// keeps, for each 512-byte sector a log replaces, where in that log it lies,
// and reads every byte from its file when asked.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace regfile::hive {

// A file read at any offset: the hive's, or a log's (or bytes in memory).
class RandomAccessFile {
 public:
  RandomAccessFile(std::unique_ptr<std::istream> in, std::string name);

  const std::string& name() const { return name_; }
  std::uint64_t size() const { return size_; }
  // False, reading nothing, unless all of [offset, offset + length) is in the file and reads.
  bool Read(std::uint64_t offset, std::uint8_t* into, std::size_t length);

 private:
  std::unique_ptr<std::istream> in_;
  std::string name_;
  std::uint64_t size_ = 0;
};

class HiveImage {
 public:
  // The hive's file, read as it stands, with the bins size its base block gives.
  HiveImage(std::unique_ptr<RandomAccessFile> hive, std::uint32_t binsSize);

  RandomAccessFile& hive() { return *files_.front(); }
  // Takes a log over, for its pages to be laid over the bins; returns its number.
  std::size_t AddLog(std::unique_ptr<RandomAccessFile> log);
  RandomAccessFile& log(std::size_t number) { return *files_[number]; }

  // Bytes [binsOffset, binsOffset + length) of the bins are those of the
  // log at `logOffset`; both offsets and the length are whole sectors. A
  // sector laid over again takes the later bytes.
  void LayOver(std::uint32_t binsOffset, std::uint32_t length, std::size_t log, std::uint64_t logOffset);
  void SetBinsSize(std::uint32_t size) { binsSize_ = size; }
  std::uint32_t binsSize() const { return binsSize_; }

  // The offset in the bins past which no file holds a byte; bytes no file
  // holds (the hive grew past its file, or the file is short) read as zeros.
  std::uint64_t EndOfFiles();
  // Reads bytes of the bins; false when a file does not read.
  bool ReadBins(std::uint32_t binsOffset, std::uint8_t* into, std::size_t length);

 private:
  // A sector of the bins that a log replaces, and where in the log it is.
  struct Replaced {
    std::uint32_t sector;
    std::uint32_t file;
    std::uint64_t offset;
  };

  // Orders the sectors laid over, the last laid over of each kept.
  void Settle();

  std::vector<std::unique_ptr<RandomAccessFile>> files_;  // the hive's first, then the logs
  std::vector<Replaced> sectors_;                         // by sector once settled
  bool settled_ = true;
  std::uint32_t binsSize_ = 0;
};

}  // namespace regfile::hive
