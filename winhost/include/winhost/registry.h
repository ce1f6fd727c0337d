// In-memory registry that answers the host stand-in's Reg* calls.
//
// It keeps what the library can observe of the Windows registry: key names
// are matched without regard to case and keep the case of their creation;
// subkeys enumerate in the order of their upper-cased names, values in the
// order they were first written; names and string data are held as UTF-16.
// All members are safe to call from many threads at once: reads share a
// lock, changes take it alone.
#pragma once

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "regfile/reg_parser.h"

namespace winhost {

using regfile::Root;

struct Value {
  std::u16string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // as stored: strings in UTF-16LE
};

struct Key {
  std::u16string name;   // as first created
  std::u16string upper;  // the name upper-cased: the sort and lookup key
  std::vector<std::shared_ptr<Key>> subkeys;  // sorted by upper
  std::vector<Value> values;                  // in the order first written
  bool deleted = false;  // set when the key is deleted while a handle still refers to it
};
using KeyPtr = std::shared_ptr<Key>;

// Result of a registry read: a Windows error code (0 for success).
using Status = std::int32_t;

class Registry {
 public:
  Registry();

  // Changes. Paths are below the root, levels joined by one backslash.
  // CreateKey creates the missing levels; the others do nothing where the key is missing.
  void CreateKey(Root root, std::u16string_view path);
  void DeleteKey(Root root, std::u16string_view path);
  void SetValue(Root root, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                std::vector<std::uint8_t> data);
  void DeleteValue(Root root, std::u16string_view path, std::u16string_view name);
  // Applies a parsed .reg file as importing it does, all under one lock,
  // taking over its names and data.
  void Apply(regfile::Script script);

  // Reads, for the stand-in's Reg* calls.
  KeyPtr RootKey(Root root) const;
  Status Open(const KeyPtr& from, std::u16string_view path, KeyPtr& out) const;
  Status EnumKey(const KeyPtr& key, std::uint32_t index, std::u16string& name) const;
  Status EnumValue(const KeyPtr& key, std::uint32_t index, Value& out) const;
  Status QueryValue(const KeyPtr& key, std::u16string_view name, Value& out) const;

 private:
  Key* FindLocked(Root root, std::u16string_view path) const;
  Key* CreateLocked(Root root, std::u16string_view path);
  void DeleteLocked(Root root, std::u16string_view path);
  void ApplyLocked(regfile::KeyOp& op);

  mutable std::shared_mutex mutex_;
  std::vector<KeyPtr> roots_;  // indexed by Root
};

// Upper-cases a name the way key lookups compare it.
std::u16string UpperCaseName(std::u16string_view name);

}  // namespace winhost
