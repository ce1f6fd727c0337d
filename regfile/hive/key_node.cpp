#include "key_node.h"

#include <unordered_set>

#include "regfile/selection.h"

namespace regfile::hive {
namespace {

// A key node's fields, counted from its signature.
constexpr std::uint32_t kFlags = 2;
constexpr std::uint32_t kSubkeyCount = 20;
constexpr std::uint32_t kSubkeyList = 28;
constexpr std::uint32_t kValueCount = 36;
constexpr std::uint32_t kValueList = 40;
constexpr std::uint32_t kNameLength = 72;
constexpr std::uint32_t kName = 76;
constexpr std::uint16_t kCompressedName = 0x0020;  // KEY_COMP_NAME: the name is Latin-1

// A list's fields: signature, count, then its entries.
constexpr std::uint32_t kListCount = 2;
constexpr std::uint32_t kListEntries = 4;

// Windows refuses longer key names.
constexpr std::size_t kMaxKeyName = 255;

struct ListWalk {
  HiveFile& file;
  const KeyNode& key;
  const std::function<void(std::uint32_t)>& visit;
  std::unordered_set<std::uint32_t> listsSeen;
  std::uint64_t subkeys = 0;

  void List(std::uint32_t offset, bool insideIndex) {
    if (!listsSeen.insert(offset).second) {
      Fail(kBaseBlockSize + offset, "a subkey list that the key " + Hex(kBaseBlockSize + key.offset) + " reaches twice");
    }
    const Cell list = file.CellAt(offset, "subkey list");
    list.Require(kListEntries, "subkey list");
    const std::uint16_t count = list.U16(kListCount);
    const bool index = list.Is("ri");
    const bool withHints = list.Is("lf") || list.Is("lh");
    if (!index && !withHints && !list.Is("li")) Fail(list.FileOffset(), "no subkey list (lf, lh, li or ri) here");
    if (index && insideIndex) Fail(list.FileOffset(), "an index of subkey lists (ri) inside another one");
    const std::uint32_t entrySize = withHints ? 8 : 4;
    list.Require(kListEntries + count * entrySize, "subkey list");
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t entry = list.U32(kListEntries + i * entrySize);
      if (index) {
        List(entry, true);
        continue;
      }
      if (++subkeys > key.subkeyCount) {
        Fail(list.FileOffset(), "more subkeys in the lists than the " + std::to_string(key.subkeyCount) +
                                    " that the key " + Hex(kBaseBlockSize + key.offset) + " says it has");
      }
      visit(entry);
    }
  }
};

}  // namespace

std::u16string ReadName(const Cell& cell, std::uint32_t at, std::uint16_t length, bool compressed) {
  const std::uint8_t* bytes = cell.Bytes(at, length);
  if (compressed) return std::u16string(bytes, bytes + length);
  if (length % 2 != 0) Fail(cell.FileOffset(at), "a UTF-16 name of an odd number of bytes");
  std::u16string name(length / 2, u'\0');
  for (std::uint32_t i = 0; i < name.size(); ++i) name[i] = static_cast<char16_t>(cell.U16(at + 2 * i));
  return name;
}

KeyNode ReadKeyNode(HiveFile& file, std::uint32_t offset) {
  const Cell cell = file.RecordAt(offset, "nk", "key node", kName);
  KeyNode node;
  node.offset = offset;
  node.name = ReadName(cell, kName, cell.U16(kNameLength), (cell.U16(kFlags) & kCompressedName) != 0);
  if (node.name.size() > kMaxKeyName) {
    Fail(cell.FileOffset(kName), "a key name of " + std::to_string(node.name.size()) + " characters, over 255");
  }
  if (node.name.find(u'\\') != std::u16string::npos) Fail(cell.FileOffset(kName), "a key name with a backslash");
  node.subkeyCount = cell.U32(kSubkeyCount);
  node.subkeyList = cell.U32(kSubkeyList);
  node.valueCount = cell.U32(kValueCount);
  node.valueList = cell.U32(kValueList);
  return node;
}

void ForEachSubkey(HiveFile& file, const KeyNode& key, const std::function<void(std::uint32_t)>& visit) {
  if (key.subkeyCount == 0) return;
  ListWalk walk{file, key, visit, {}, 0};
  walk.List(key.subkeyList, false);
  if (walk.subkeys != key.subkeyCount) {
    Fail(kBaseBlockSize + key.offset, "the key says it has " + std::to_string(key.subkeyCount) +
                                          " subkeys, its lists hold " + std::to_string(walk.subkeys));
  }
}

std::optional<KeyNode> FindSubkey(HiveFile& file, const KeyNode& key, std::u16string_view upperName) {
  std::optional<KeyNode> found;
  ForEachSubkey(file, key, [&](std::uint32_t offset) {
    if (found) return;
    KeyNode subkey = ReadKeyNode(file, offset);
    if (AsciiUpper(subkey.name) == upperName) found = std::move(subkey);
  });
  return found;
}

}  // namespace regfile::hive
