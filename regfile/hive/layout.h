// The on-disk layout of a hive and of its transaction logs: every record
// kind's signature, fields and limits, a namespace each. All fields are
// little-endian; offsets inside a record count from its first byte (for a
// cell's records, from the signature, after the cell's size field).
#pragma once

#include <cstdint>

namespace regfile::hive {

constexpr std::uint32_t kNoCell = 0xFFFFFFFF;  // an offset field that points nowhere

// The first 4096 bytes of a hive file; a log file begins with a copy of its first 512.
namespace base_block {
constexpr const char* kSignature = "regf";
constexpr std::uint32_t kSize = 4096;       // the bins begin behind it; cell offsets count from there
constexpr std::uint32_t kLogCopySize = 512;  // what a log holds of it
constexpr std::uint32_t kPrimarySequence = 4;
constexpr std::uint32_t kSecondarySequence = 8;
constexpr std::uint32_t kLastWritten = 12;  // FILETIME
constexpr std::uint32_t kMajorVersion = 20;
constexpr std::uint32_t kMinorVersion = 24;
constexpr std::uint32_t kFileType = 28;
constexpr std::uint32_t kFileFormat = 32;
constexpr std::uint32_t kRootCell = 36;
constexpr std::uint32_t kBinsSize = 40;
constexpr std::uint32_t kFlags = 144;
constexpr std::uint32_t kChecksum = 508;  // XOR of the 127 dwords before it

constexpr std::uint32_t kMajor = 1;
constexpr std::uint32_t kOldestMinor = 3;
constexpr std::uint32_t kNewestMinor = 6;
constexpr std::uint32_t kDirectMemoryLoad = 1;  // the only file format

// File types.
constexpr std::uint32_t kPrimaryFile = 0;
constexpr std::uint32_t kOldLog = 1;      // a dirty vector and pages (Windows XP to 8)
constexpr std::uint32_t kVeryOldLog = 2;  // the same, as Windows NT 3.x to 2000 wrote it
constexpr std::uint32_t kNewLog = 6;      // log entries (Windows 8.1 on)
}  // namespace base_block

// A bin: a header, then cells to its end.
namespace bin {
constexpr const char* kSignature = "hbin";
constexpr std::uint32_t kOffset = 4;  // its own offset, counted from the first bin
constexpr std::uint32_t kSize = 8;
constexpr std::uint32_t kHeaderSize = 32;
constexpr std::uint32_t kUnit = 4096;  // bins and the bins' total are whole multiples of it
// Cell offsets with the top bit set name volatile storage, which no file
// holds, so a hive's bins stay below 2 GiB.
constexpr std::uint32_t kMaxBinsSize = 0x80000000u - kUnit;
}  // namespace bin

// A cell: a signed size (negative while in use), then its data.
namespace cell {
constexpr std::uint32_t kSizeField = 4;
constexpr std::uint32_t kAlignment = 8;
}  // namespace cell

namespace key_node {
constexpr const char* kSignature = "nk";
constexpr std::uint32_t kFlags = 2;
constexpr std::uint32_t kSubkeyCount = 20;
constexpr std::uint32_t kSubkeyList = 28;
constexpr std::uint32_t kValueCount = 36;
constexpr std::uint32_t kValueList = 40;
constexpr std::uint32_t kNameLength = 72;
constexpr std::uint32_t kName = 76;
constexpr std::uint16_t kCompressedName = 0x0020;  // KEY_COMP_NAME: the name is Latin-1
constexpr std::uint32_t kMaxNameLength = 255;       // in characters; Windows refuses longer names
constexpr std::uint32_t kMaxDepth = 512;            // Windows nests keys no deeper
}  // namespace key_node

// Subkey lists: "lf" and "lh" (offsets with a hint of each name), "li"
// (offsets alone), and "ri" (offsets of lists of those kinds).
namespace subkey_list {
constexpr const char* kFastLeaf = "lf";
constexpr const char* kHashLeaf = "lh";
constexpr const char* kIndexLeaf = "li";
constexpr const char* kIndexRoot = "ri";
constexpr std::uint32_t kCount = 2;
constexpr std::uint32_t kEntries = 4;
constexpr std::uint32_t kEntryWithHint = 8;
constexpr std::uint32_t kEntry = 4;
}  // namespace subkey_list

// A value list is a bare array of value record offsets.
namespace value_list {
constexpr std::uint32_t kEntry = 4;
}  // namespace value_list

namespace value {
constexpr const char* kSignature = "vk";
constexpr std::uint32_t kNameLength = 2;
constexpr std::uint32_t kDataLength = 4;
constexpr std::uint32_t kDataOffset = 8;  // or the data itself, when it is inside the record
constexpr std::uint32_t kType = 12;
constexpr std::uint32_t kFlags = 16;
constexpr std::uint32_t kName = 20;
constexpr std::uint16_t kCompressedName = 0x0001;   // VALUE_COMP_NAME: the name is Latin-1
constexpr std::uint32_t kDataInRecord = 0x80000000;  // in the data length: the data is in the offset field
constexpr std::uint32_t kRecordDataLimit = 4;
}  // namespace value

// Value data longer than one segment, from version 1.4 on.
namespace big_data {
constexpr const char* kSignature = "db";
constexpr std::uint32_t kSegmentCount = 2;
constexpr std::uint32_t kSegmentList = 4;
constexpr std::uint32_t kRecordSize = 8;
constexpr std::uint32_t kSegmentEntry = 4;
constexpr std::uint32_t kSegmentSize = 16344;
constexpr std::uint32_t kFirstMinorVersion = 4;
}  // namespace big_data

// A new-format log: entries back to back from the end of the base block's copy.
namespace log_entry {
constexpr const char* kSignature = "HvLE";
constexpr std::uint32_t kFirst = base_block::kLogCopySize;
constexpr std::uint32_t kSize = 4;
constexpr std::uint32_t kFlags = 8;  // the base block's flags as the entry leaves them
constexpr std::uint32_t kSequence = 12;
constexpr std::uint32_t kBinsSize = 16;
constexpr std::uint32_t kPageCount = 20;
constexpr std::uint32_t kHash1 = 24;  // Marvin32 of the bytes from kPageReferences to the end
constexpr std::uint32_t kHash2 = 32;  // Marvin32 of the first kHash2Covers bytes
constexpr std::uint32_t kHash2Covers = 32;
constexpr std::uint32_t kPageReferences = 40;  // then the pages, in the references' order
constexpr std::uint32_t kHeaderSize = kPageReferences;
constexpr std::uint32_t kReferenceSize = 8;  // offset (from the first bin), size
constexpr std::uint32_t kAlignment = 512;    // of entries and of their sizes
constexpr std::uint64_t kHashSeed = 0x82EF4D887A4E55C5ull;
}  // namespace log_entry

// An old-format log: a bitmap of the bins' 512-byte pages, then the dirty ones.
namespace dirty_vector {
constexpr const char* kSignature = "DIRT";
constexpr std::uint32_t kStart = base_block::kLogCopySize;
constexpr std::uint32_t kBitmap = 4;
constexpr std::uint32_t kPageSize = 512;  // one bit each; the pages start on the next such boundary
constexpr std::uint32_t kPagesPerByte = 8;
}  // namespace dirty_vector

// The size of the unit in which logs lay pages over the bins.
constexpr std::uint32_t kSectorSize = 512;

}  // namespace regfile::hive
