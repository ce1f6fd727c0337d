// Values ("vk") of a key, in the order of the key's value list, which is the
// order they were written in, with their data: inside the value record when
// it has 4 bytes or fewer, in a cell of its own, or, from version 1.4 on, in
// big-data segments ("db") when it is longer than one segment.
#pragma once

#include <vector>

#include "hive_file.h"
#include "key_node.h"
#include "regfile/script.h"

namespace regfile::hive {

std::vector<ValueOp> ReadValues(HiveFile& file, const KeyNode& key);

}  // namespace regfile::hive
