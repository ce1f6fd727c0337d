// What a piece of code did with the registry, read from the stand-in's call
// trace of the calling thread: which keys it listed (and whether each
// listing ran through every entry in order), which values it read, and every
// key handle it left open or used wrongly. For tests that state properties of
// the walk's registry access instead of counting its calls.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "winhost/system.h"

namespace testing_support {

// One use of an opened key, between its open and its close.
struct KeyUse {
  enum Kind { kOpenFailed, kUnused, kSubkeys, kValues, kRead, kMixed };
  Kind kind = kUnused;
  std::string path;               // below HKEY_LOCAL_MACHINE, as the caller spelled it
  std::string value;              // kRead: the value's name
  std::size_t enumerations = 0;   // kSubkeys, kValues: enumeration calls made
  bool inIndexOrder = true;       // kSubkeys, kValues: the indices were 0, 1, 2, ...
};

struct RegistryUse {
  std::vector<KeyUse> uses;  // in the order of their opens
  // Keys left open, closed twice, or calls on a handle that is not open.
  std::vector<std::string> handleFaults;

  // The listings (kSubkeys and kValues) in order, and how many of one key.
  std::vector<KeyUse> Listings() const;
  std::size_t CountListings(std::string_view path) const;
};

// Runs `code` with the trace on and reads what it did.
RegistryUse TraceRegistryUse(const std::function<void()>& code);

// How many subkeys and values the installed registry's key holds, for
// telling whether a listing ran to its end (one enumeration more than
// entries). The path is ASCII, below HKEY_LOCAL_MACHINE.
std::size_t SubkeyCount(std::string_view path);
std::size_t ValueCount(std::string_view path);
std::vector<std::string> SubkeyNames(std::string_view path);

}  // namespace testing_support
