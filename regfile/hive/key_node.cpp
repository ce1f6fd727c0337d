#include "key_node.h"

#include <unordered_set>

#include "regfile/selection.h"

namespace regfile::hive {
namespace {

constexpr const char* kList = "subkey list";

struct ListWalk {
  HiveFile& file;
  const KeyNode& key;
  const std::function<void(std::uint32_t)>& visit;
  std::unordered_set<std::uint32_t> listsSeen;
  std::uint64_t subkeys = 0;

  void List(std::uint32_t offset, bool insideIndex) {
    using namespace subkey_list;
    if (!listsSeen.insert(offset).second) {
      Fail(FileOffsetOf(offset), std::string("a ") + kList + " that the key " + Hex(FileOffsetOf(key.offset)) +
                                     " reaches twice");
    }
    const Cell list = file.CellAt(offset, kList);
    list.Require(kEntries, kList);
    const std::uint16_t count = list.U16(kCount);
    const bool index = list.Is(kIndexRoot);
    const bool withHints = list.Is(kFastLeaf) || list.Is(kHashLeaf);
    if (!index && !withHints && !list.Is(kIndexLeaf)) {
      Fail(list.FileOffset(), std::string("no ") + kList + " (" + kFastLeaf + ", " + kHashLeaf + ", " + kIndexLeaf +
                                  " or " + kIndexRoot + ") here");
    }
    if (index && insideIndex) {
      Fail(list.FileOffset(), std::string("an index of subkey lists (") + kIndexRoot + ") inside another one");
    }
    const std::uint32_t entrySize = withHints ? kEntryWithHint : kEntry;
    list.Require(kEntries + count * entrySize, kList);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t entry = list.U32(kEntries + i * entrySize);
      if (index) {
        List(entry, true);
        continue;
      }
      if (++subkeys > key.subkeyCount) {
        Fail(list.FileOffset(), "more subkeys in the lists than the " + std::to_string(key.subkeyCount) +
                                    " that the key " + Hex(FileOffsetOf(key.offset)) + " says it has");
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
  using namespace key_node;
  const Cell cell = file.RecordAt(offset, kSignature, "key node", kName);
  KeyNode node;
  node.offset = offset;
  node.name = ReadName(cell, kName, cell.U16(kNameLength), (cell.U16(kFlags) & kCompressedName) != 0);
  if (node.name.size() > kMaxNameLength) {
    Fail(cell.FileOffset(kName), "a key name of " + std::to_string(node.name.size()) + " characters, over " +
                                     std::to_string(kMaxNameLength));
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
    Fail(FileOffsetOf(key.offset), "the key says it has " + std::to_string(key.subkeyCount) +
                                       " subkeys, its lists hold " + std::to_string(walk.subkeys));
  }
}

std::optional<KeyNode> FindSubkey(HiveFile& file, const KeyNode& key, std::u16string_view name,
                                  const Selection& selection) {
  std::optional<KeyNode> found;
  ForEachSubkey(file, key, [&](std::uint32_t offset) {
    if (found) return;
    KeyNode subkey = ReadKeyNode(file, offset);
    if (selection.Same(subkey.name, name)) found = std::move(subkey);
  });
  return found;
}

}  // namespace regfile::hive
