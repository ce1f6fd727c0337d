// The library's only way into the registry: three primitives that open a key,
// read it and close it again within one call, keeping nothing between calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "library/string_list.h"

namespace korvane {

// What a listing returns when it cannot list.
constexpr std::int32_t kListingFailed = -1;

// Appends the names of the subkeys of root\path, in the registry's order.
// Returns the number appended, or kListingFailed when root or path is null or the key
// cannot be opened. A name needs at most 1023 characters; the listing ends at
// the first entry that cannot be read.
std::int32_t ListSubkeys(HKEY root, const char* path, StringList& names);

// Appends the names and the data (as text up to the first NUL) of the values
// of root\path to two parallel lists. Returns the number of values appended,
// or kListingFailed as ListSubkeys. Names need at most 1023 characters and data at most
// 1024 bytes; the listing ends at the first value that does not fit.
std::int32_t ListValues(HKEY root, const char* path, StringList& names, StringList& data);

// The data of one value as text up to its first NUL, or an empty string when
// an argument is null, the key cannot be opened or the value cannot be read
// (missing, or more than 1024 bytes).
std::string ReadStringValue(HKEY root, const char* path, const char* valueName);

}  // namespace korvane
