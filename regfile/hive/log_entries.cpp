// The entries of a new-format log ("HvLE"): each names the sequence number it
// brings the hive to, the bins size after it, and its dirty pages (where each
// goes, how long it is), followed by the pages; two Marvin32 hashes cover it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base_block.h"
#include "common/little_endian.h"
#include "hive_file.h"
#include "layout.h"
#include "logs.h"
#include "marvin32.h"

namespace regfile::hive {
namespace {

using common::LittleEndian32;
using common::LittleEndian64;
using Stop = LogOutcome::Stop;

constexpr std::size_t kHashPiece = 64 * 1024;

// A fuzzer's mutations never keep a hash right: its build lets entries
// through unhashed, so that it reaches the fields behind the hashes.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kCheckHashes = false;
#else
constexpr bool kCheckHashes = true;
#endif

struct PageReference {
  std::uint32_t offset;  // in the bins
  std::uint32_t size;
};

// Hash 1 covers the entry from its page references to its end.
bool FirstHashHolds(RandomAccessFile& file, std::uint64_t entry, std::uint32_t size, std::uint64_t expected) {
  Marvin32 hash(log_entry::kHashSeed);
  std::vector<std::uint8_t> piece(kHashPiece);
  for (std::uint64_t at = entry + log_entry::kPageReferences; at < entry + size;) {
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kHashPiece, entry + size - at));
    if (!file.Read(at, piece.data(), length)) return false;
    hash.Add(piece.data(), length);
    at += length;
  }
  return hash.Finish() == expected;
}

std::string EntryOf(std::uint32_t size) { return "an entry of " + std::to_string(size) + " bytes"; }

// The references of an entry, each checked to lie in the bins it gives and,
// all together, in the entry; else why not.
std::optional<std::string> ReadReferences(RandomAccessFile& file, std::uint64_t entry, std::uint32_t size,
                                          std::uint32_t binsSize, std::uint32_t count,
                                          std::vector<PageReference>& references) {
  using namespace log_entry;
  if (count == 0 || count > (size - kPageReferences) / kReferenceSize) {
    return EntryOf(size) + " with " + std::to_string(count) + " dirty pages";
  }
  std::vector<std::uint8_t> raw(std::size_t{count} * kReferenceSize);
  if (!file.Read(entry + kPageReferences, raw.data(), raw.size())) return std::string("cannot read file");
  std::uint64_t pages = 0;
  references.clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    const PageReference page{LittleEndian32(&raw[i * kReferenceSize]), LittleEndian32(&raw[i * kReferenceSize + 4])};
    if (page.offset % kSectorSize != 0 || page.size == 0 || page.size % kSectorSize != 0 || page.offset > binsSize ||
        page.size > binsSize - page.offset) {
      return "a dirty page of " + std::to_string(page.size) + " bytes at " + Hex(page.offset) +
             ", not whole sectors within the bins of " + std::to_string(binsSize) + " bytes";
    }
    pages += page.size;
    references.push_back(page);
  }
  if (pages > size - kPageReferences - std::uint64_t{count} * kReferenceSize) {
    return EntryOf(size) + " too short for its " + std::to_string(pages) + " bytes of dirty pages";
  }
  return std::nullopt;
}

}  // namespace

LogOutcome ApplyLogEntries(HiveImage& image, std::size_t log, std::uint32_t firstSequence) {
  using namespace log_entry;
  RandomAccessFile& file = image.log(log);
  LogOutcome outcome;
  std::uint32_t expected = firstSequence;
  std::vector<PageReference> references;
  for (std::uint64_t at = kFirst; at + kHeaderSize <= file.size();) {
    std::uint8_t header[kHeaderSize];
    const auto stop = [&](std::string what) {
      outcome.stop = Stop{at, std::move(what)};
      return outcome;
    };
    if (!file.Read(at, header, sizeof header)) return stop("cannot read file");
    if (std::memcmp(header, kSignature, 4) != 0) break;  // the end of the entries
    const std::uint32_t size = LittleEndian32(header + kSize);
    if (size < kAlignment || size % kAlignment != 0 || size > file.size() - at) {
      return stop(EntryOf(size) + ", not a multiple of " + std::to_string(kAlignment) + " within the file");
    }
    if (kCheckHashes && (Marvin32Of(header, kHash2Covers, kHashSeed) != LittleEndian64(header + kHash2) ||
                         !FirstHashHolds(file, at, size, LittleEndian64(header + kHash1)))) {
      return stop("its hash is wrong");
    }
    const std::uint32_t sequence = LittleEndian32(header + kSequence);
    if (sequence != expected) {
      if (!SequenceAfter(sequence, expected)) break;  // an entry of an earlier cycle, already applied
      return stop("it has sequence number " + std::to_string(sequence) + " where " + std::to_string(expected) +
                  " was due");
    }
    const std::uint32_t binsSize = LittleEndian32(header + kBinsSize);
    if (binsSize < bin::kUnit || binsSize % bin::kUnit != 0 || binsSize > bin::kMaxBinsSize) {
      return stop("it gives the bins " + std::to_string(binsSize) + " bytes, not a multiple of " +
                  std::to_string(bin::kUnit) + " up to " + std::to_string(bin::kMaxBinsSize));
    }
    if (auto wrong = ReadReferences(file, at, size, binsSize, LittleEndian32(header + kPageCount), references)) {
      return stop(std::move(*wrong));
    }
    std::uint64_t page = at + kPageReferences + references.size() * std::uint64_t{kReferenceSize};
    for (const auto& reference : references) {
      image.LayOver(reference.offset, reference.size, log, page);
      page += reference.size;
    }
    image.SetBinsSize(binsSize);
    ++outcome.applied;
    outcome.lastSequence = sequence;
    ++expected;
    at += size;
  }
  return outcome;
}

}  // namespace regfile::hive
