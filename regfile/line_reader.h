// The lines of a .reg file, decoded to UTF-16 one at a time.
//
// The byte order mark picks the encoding: UTF-16LE after FF FE, else UTF-8
// (its mark skipped; plain ASCII is UTF-8 too), validated while decoding. A
// file is read a chunk at a time and the decoded lines of a chunk are dropped,
// so that the reader holds neither a copy of the whole file nor more than one
// decoded line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace regfile {

enum class TextEncoding { Utf8, Utf16Le };

// Why a line does not decode, and the offset in the input of the first byte that does not.
struct LineError {
  enum class Kind { InvalidUtf8, OddUtf16Length } kind;
  std::uint64_t offset;
};

class LineReader {
 public:
  static constexpr std::size_t kDefaultChunkSize = std::size_t{1} << 20;

  // Over bytes held in memory, which must outlive the reader; nothing is copied.
  explicit LineReader(std::string_view bytes);
  // Over an open file, read `chunkSize` bytes at a time.
  explicit LineReader(std::FILE* file, std::size_t chunkSize = kDefaultChunkSize);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Reads the byte order mark, picks the encoding and moves past the mark.
  // False for the mark of UTF-16 big-endian, which is not read.
  bool Open();
  TextEncoding encoding() const { return encoding_; }

  // The next line, without its line break: a line ends at an LF (an LF unit
  // in UTF-16), and a CR just before it, or at the end of the input, is
  // dropped; a CR anywhere else is text. Valid up to the next call. Nothing at
  // the end of the input, and from a line that does not decode on: error()
  // then says why. A final line break is not followed by an empty line.
  std::optional<std::u16string_view> NextLine();
  const std::optional<LineError>& error() const { return error_; }

  // Whether reading the file failed; the input then ends where reading stopped.
  bool readFailed() const { return readFailed_; }

 private:
  // Drops the bytes before offset_ and appends the next chunk; false at the end of the file.
  bool ReadMore();
  bool HasMore();
  bool DecodeUtf16LeLine();
  bool DecodeUtf8Line();
  std::u16string_view LineWithoutCr() const;

  std::FILE* file_ = nullptr;  // null when bytes_ is all of the input
  std::size_t chunkSize_ = kDefaultChunkSize;
  std::string chunk_;          // what bytes_ views when reading a file
  std::string_view bytes_;     // the undecoded input: all of it, or the chunks read and not yet dropped
  std::size_t offset_ = 0;     // in bytes_, where the first line not yet decoded begins
  std::uint64_t dropped_ = 0;  // bytes of the input before bytes_
  TextEncoding encoding_ = TextEncoding::Utf8;
  std::u16string line_;        // the line last decoded, reused
  std::optional<LineError> error_;
  bool readFailed_ = false;
};

}  // namespace regfile
