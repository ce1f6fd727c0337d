#include "line_reader.h"

#include <algorithm>

#include "common/little_endian.h"
#include "common/utf.h"

namespace regfile {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr std::size_t kLongestMark = kUtf8Mark.size();
constexpr std::size_t kUnitSize = 2;  // bytes of a UTF-16 unit

bool IsUtf16LeLineFeed(std::string_view bytes, std::size_t at) { return bytes[at] == '\n' && bytes[at + 1] == '\0'; }

char16_t Utf16LeUnit(std::string_view bytes, std::size_t at) {
  return static_cast<char16_t>(common::LittleEndian16(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at));
}

bool StartsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

}  // namespace

LineReader::LineReader(std::string_view bytes) : bytes_(bytes) {}

LineReader::LineReader(std::FILE* file, std::size_t chunkSize) : file_(file), chunkSize_(std::max<std::size_t>(chunkSize, 1)) {}

bool LineReader::ReadMore() {
  if (file_ == nullptr || std::feof(file_) || readFailed_) return false;
  chunk_.erase(0, offset_);
  dropped_ += offset_;
  offset_ = 0;
  const std::size_t kept = chunk_.size();
  chunk_.resize(kept + chunkSize_);
  const std::size_t got = std::fread(&chunk_[kept], 1, chunkSize_, file_);
  chunk_.resize(kept + got);
  if (std::ferror(file_) != 0) readFailed_ = true;
  bytes_ = chunk_;
  return got > 0;
}

bool LineReader::HasMore() { return offset_ < bytes_.size() || ReadMore(); }

bool LineReader::Open() {
  // Chunks may be shorter than the longest mark.
  while (bytes_.size() - offset_ < kLongestMark && ReadMore()) {
  }
  const std::string_view start = bytes_.substr(offset_);
  if (StartsWith(start, kUtf16BeMark)) return false;
  if (StartsWith(start, kUtf16LeMark)) {
    offset_ += kUtf16LeMark.size();
    encoding_ = TextEncoding::Utf16Le;
  } else if (StartsWith(start, kUtf8Mark)) {
    offset_ += kUtf8Mark.size();
  }
  return true;
}

std::optional<std::u16string_view> LineReader::NextLine() {
  if (error_ || !HasMore()) return std::nullopt;
  const bool decoded = encoding_ == TextEncoding::Utf16Le ? DecodeUtf16LeLine() : DecodeUtf8Line();
  if (!decoded) return std::nullopt;
  return LineWithoutCr();
}

std::u16string_view LineReader::LineWithoutCr() const {
  std::u16string_view line = line_;
  if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
  return line;
}

// Decodes the units up to the next LF unit; fails when the input ends in half a unit.
bool LineReader::DecodeUtf16LeLine() {
  std::size_t scanned = 0;  // bytes of the line seen so far, a whole number of units
  std::size_t end = 0;
  for (;;) {
    end = offset_ + scanned;
    while (end + 1 < bytes_.size() && !IsUtf16LeLineFeed(bytes_, end)) end += kUnitSize;
    scanned = end - offset_;
    if (end + 1 < bytes_.size() || !ReadMore()) break;
  }
  const std::size_t start = offset_;
  end = start + scanned;
  line_.resize(scanned / kUnitSize);
  for (std::size_t i = 0; i < line_.size(); ++i) line_[i] = Utf16LeUnit(bytes_, start + kUnitSize * i);
  if (end + 1 < bytes_.size()) {
    offset_ = end + kUnitSize;
    return true;
  }
  offset_ = bytes_.size();
  if (end == bytes_.size()) return true;
  error_ = LineError{LineError::Kind::OddUtf16Length, dropped_ + end};
  return false;
}

// Decodes the bytes up to the next LF; fails on a malformed sequence.
bool LineReader::DecodeUtf8Line() {
  std::size_t scanned = 0;
  std::size_t end = std::string_view::npos;
  for (;;) {
    end = bytes_.find('\n', offset_ + scanned);
    scanned = bytes_.size() - offset_;
    if (end != std::string_view::npos || !ReadMore()) break;
  }
  const std::size_t start = offset_;
  if (end == std::string_view::npos) {
    end = bytes_.size();
    offset_ = end;
  } else {
    offset_ = end + 1;
  }
  const std::string_view line = bytes_.substr(start, end - start);
  line_.clear();
  line_.reserve(line.size());  // never more units than bytes
  for (std::size_t i = 0; i < line.size();) {
    const auto lead = static_cast<unsigned char>(line[i]);
    if (lead < 0x80) {  // ASCII, most of any file
      line_ += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    const std::optional<common::Utf8CodePoint> point = common::DecodeUtf8At(line, i);
    if (!point) {
      error_ = LineError{LineError::Kind::InvalidUtf8, dropped_ + start + i};
      return false;
    }
    common::AppendUtf16(line_, point->value);
    i += point->bytes;
  }
  return true;
}

}  // namespace regfile
