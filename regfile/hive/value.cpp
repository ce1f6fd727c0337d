#include "value.h"

#include <algorithm>

namespace regfile::hive {
namespace {

constexpr const char* kSegmentList = "list of big-data segments";

void AppendBytes(std::vector<std::uint8_t>& out, const Cell& cell, std::uint32_t length) {
  const std::uint8_t* bytes = cell.Bytes(0, length);
  out.insert(out.end(), bytes, bytes + length);
}

std::vector<std::uint8_t> ReadBigData(HiveFile& file, std::uint32_t offset, std::uint32_t length) {
  using namespace big_data;
  const Cell record = file.RecordAt(offset, kSignature, "big-data record", kRecordSize);
  const std::uint16_t count = record.U16(kSegmentCount);
  if (static_cast<std::uint64_t>(count) * kSegmentSize < length) {
    Fail(record.FileOffset(), std::to_string(count) + " segments of big data cannot hold the value's " +
                                  std::to_string(length) + " bytes");
  }
  const Cell list = file.CellAt(record.U32(big_data::kSegmentList), kSegmentList);
  list.Require(kSegmentEntry * count, kSegmentList);
  std::vector<std::uint8_t> data;
  for (std::uint32_t i = 0; i < count && data.size() < length; ++i) {
    const Cell segment = file.CellAt(list.U32(kSegmentEntry * i), "big-data segment");
    AppendBytes(data, segment, std::min<std::uint32_t>(kSegmentSize, length - static_cast<std::uint32_t>(data.size())));
  }
  return data;
}

std::vector<std::uint8_t> ReadData(HiveFile& file, const Cell& record) {
  using namespace value;
  const std::uint32_t length = record.U32(kDataLength);
  if ((length & kDataInRecord) != 0) {
    const std::uint32_t inRecord = length & ~kDataInRecord;
    if (inRecord > kRecordDataLimit) {
      Fail(record.FileOffset(kDataLength), std::to_string(inRecord) + " bytes of data said to fit in the record's " +
                                               std::to_string(kRecordDataLimit));
    }
    const std::uint8_t* bytes = record.Bytes(kDataOffset, inRecord);
    return std::vector<std::uint8_t>(bytes, bytes + inRecord);
  }
  if (length == 0) return {};
  const std::uint32_t offset = record.U32(kDataOffset);
  if (length > big_data::kSegmentSize && file.minorVersion() >= big_data::kFirstMinorVersion) {
    return ReadBigData(file, offset, length);
  }
  const Cell data = file.CellAt(offset, "value's data");
  std::vector<std::uint8_t> bytes;
  AppendBytes(bytes, data, length);
  return bytes;
}

ValueOp ReadValue(HiveFile& file, std::uint32_t offset) {
  using namespace value;
  const Cell record = file.RecordAt(offset, kSignature, "value record", kName);
  ValueOp op;
  op.name = ReadName(record, kName, record.U16(kNameLength), (record.U16(kFlags) & kCompressedName) != 0);
  op.type = record.U32(kType);
  op.data = ReadData(file, record);
  return op;
}

}  // namespace

std::vector<ValueOp> ReadValues(HiveFile& file, const KeyNode& key) {
  std::vector<ValueOp> values;
  if (key.valueCount == 0) return values;
  const Cell list = file.CellAt(key.valueList, "value list");
  if (key.valueCount > list.size() / value_list::kEntry) {
    Fail(list.FileOffset(), "a value list of " + std::to_string(list.size()) + " bytes, too short for the key's " +
                                std::to_string(key.valueCount) + " values");
  }
  values.reserve(key.valueCount);
  for (std::uint32_t i = 0; i < key.valueCount; ++i) {
    values.push_back(ReadValue(file, list.U32(value_list::kEntry * i)));
  }
  return values;
}

}  // namespace regfile::hive
