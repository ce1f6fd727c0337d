// Key nodes ("nk") and the lists of their subkeys: "lf" and "lh" (offsets
// with a hint of each name), "li" (offsets alone), and "ri" (an index of
// lists of those kinds, for keys with many subkeys).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "hive_file.h"
#include "regfile/selection.h"

namespace regfile::hive {

struct KeyNode {
  std::uint32_t offset = 0;
  std::u16string name;
  std::uint32_t subkeyCount = 0;
  std::uint32_t subkeyList = kNoCell;
  std::uint32_t valueCount = 0;
  std::uint32_t valueList = kNoCell;
};

KeyNode ReadKeyNode(HiveFile& file, std::uint32_t offset);

// Calls `visit` with the offset of each subkey's node, in the lists' order
// (by upper-cased name). Checks that every list is read once, that an index
// holds only lists, and that the lists hold as many subkeys as the key says.
void ForEachSubkey(HiveFile& file, const KeyNode& key, const std::function<void(std::uint32_t)>& visit);

// The first subkey whose name the selection calls the same as `name`.
std::optional<KeyNode> FindSubkey(HiveFile& file, const KeyNode& key, std::u16string_view name,
                                  const Selection& selection);

// A name as stored: Latin-1, one byte a character (`compressed`), or UTF-16LE.
std::u16string ReadName(const Cell& cell, std::uint32_t at, std::uint16_t length, bool compressed);

}  // namespace regfile::hive
