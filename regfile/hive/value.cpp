#include "value.h"

#include <algorithm>

namespace regfile::hive {
namespace {

// A value record's fields, counted from its signature.
constexpr std::uint32_t kNameLength = 2;
constexpr std::uint32_t kDataLength = 4;
constexpr std::uint32_t kDataOffset = 8;  // or the data itself, when it is inside the record
constexpr std::uint32_t kType = 12;
constexpr std::uint32_t kFlags = 16;
constexpr std::uint32_t kName = 20;
constexpr std::uint16_t kCompressedName = 0x0001;  // VALUE_COMP_NAME: the name is Latin-1

constexpr std::uint32_t kDataInRecord = 0x80000000;  // in the data length: the data is in the offset field
constexpr std::uint32_t kRecordDataLimit = 4;
// Longer data is kept in segments of this many bytes, from version 1.4 on.
constexpr std::uint32_t kSegmentSize = 16344;
constexpr std::uint32_t kFirstBigDataVersion = 4;

// A big-data record: signature, number of segments, offset of their list.
constexpr std::uint32_t kSegmentCount = 2;
constexpr std::uint32_t kSegmentList = 4;
constexpr std::uint32_t kBigDataSize = 8;

void AppendBytes(std::vector<std::uint8_t>& out, const Cell& cell, std::uint32_t length) {
  const std::uint8_t* bytes = cell.Bytes(0, length);
  out.insert(out.end(), bytes, bytes + length);
}

std::vector<std::uint8_t> ReadBigData(HiveFile& file, std::uint32_t offset, std::uint32_t length) {
  const Cell record = file.RecordAt(offset, "db", "big-data record", kBigDataSize);
  const std::uint16_t count = record.U16(kSegmentCount);
  if (static_cast<std::uint64_t>(count) * kSegmentSize < length) {
    Fail(record.FileOffset(), std::to_string(count) + " segments of big data cannot hold the value's " +
                                  std::to_string(length) + " bytes");
  }
  const Cell list = file.CellAt(record.U32(kSegmentList), "list of big-data segments");
  list.Require(4u * count, "list of big-data segments");
  std::vector<std::uint8_t> data;
  for (std::uint32_t i = 0; i < count && data.size() < length; ++i) {
    const Cell segment = file.CellAt(list.U32(4 * i), "big-data segment");
    AppendBytes(data, segment, std::min<std::uint32_t>(kSegmentSize, length - static_cast<std::uint32_t>(data.size())));
  }
  return data;
}

std::vector<std::uint8_t> ReadData(HiveFile& file, const Cell& record) {
  const std::uint32_t length = record.U32(kDataLength);
  if ((length & kDataInRecord) != 0) {
    const std::uint32_t inRecord = length & ~kDataInRecord;
    if (inRecord > kRecordDataLimit) {
      Fail(record.FileOffset(kDataLength), std::to_string(inRecord) + " bytes of data said to fit in the record's 4");
    }
    const std::uint8_t* bytes = record.Bytes(kDataOffset, inRecord);
    return std::vector<std::uint8_t>(bytes, bytes + inRecord);
  }
  if (length == 0) return {};
  const std::uint32_t offset = record.U32(kDataOffset);
  if (length > kSegmentSize && file.minorVersion() >= kFirstBigDataVersion) return ReadBigData(file, offset, length);
  const Cell data = file.CellAt(offset, "value's data");
  std::vector<std::uint8_t> bytes;
  AppendBytes(bytes, data, length);
  return bytes;
}

ValueOp ReadValue(HiveFile& file, std::uint32_t offset) {
  const Cell record = file.RecordAt(offset, "vk", "value record", kName);
  ValueOp value;
  value.name = ReadName(record, kName, record.U16(kNameLength), (record.U16(kFlags) & kCompressedName) != 0);
  value.type = record.U32(kType);
  value.data = ReadData(file, record);
  return value;
}

}  // namespace

std::vector<ValueOp> ReadValues(HiveFile& file, const KeyNode& key) {
  std::vector<ValueOp> values;
  if (key.valueCount == 0) return values;
  const Cell list = file.CellAt(key.valueList, "value list");
  if (key.valueCount > list.size() / 4) {
    Fail(list.FileOffset(), "a value list of " + std::to_string(list.size()) + " bytes, too short for the key's " +
                                std::to_string(key.valueCount) + " values");
  }
  values.reserve(key.valueCount);
  for (std::uint32_t i = 0; i < key.valueCount; ++i) values.push_back(ReadValue(file, list.U32(4 * i)));
  return values;
}

}  // namespace regfile::hive
