// Which keys of a registry file a reader keeps: those of a few trees, so that
// a whole machine's registry costs only what those trees hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "regfile/script.h"

namespace regfile {

class Selection {
 public:
  // Where a key stands to the trees.
  enum class Place {
    Outside,   // in no tree and above none: not kept
    Ancestor,  // above a tree (SYSTEM, SYSTEM\ControlSet001): kept without its values
    Inside,    // a tree's top key or below it: kept whole
  };

  // Keeps every key.
  Selection() = default;

  // Keeps the trees given, paths below HKEY_LOCAL_MACHINE; names compare
  // without regard to case. A tree that begins "SYSTEM\CurrentControlSet\"
  // stands for that tree in every control set: below CurrentControlSet and
  // below each ControlSetNNN, as an offline export or a hive holds them.
  explicit Selection(const std::vector<std::string_view>& trees);

  bool KeepsEverything() const { return trees_.empty(); }
  Place PlaceOf(Root root, std::u16string_view path) const;

  // The trees as given, upper-cased, each split into its levels.
  const std::vector<std::vector<std::u16string>>& trees() const { return trees_; }

  // Whether a tree's level stands for every control set, and whether a key
  // name is one such set (CurrentControlSet, ControlSet followed by three digits).
  static bool IsAnyControlSet(const std::vector<std::u16string>& tree, std::size_t level);
  static bool IsControlSetName(std::u16string_view name);

 private:
  std::vector<std::vector<std::u16string>> trees_;
};

// Upper-cases the ASCII letters of a name, as the registry compares the names
// of the keys a selection names.
std::u16string AsciiUpper(std::u16string_view name);

}  // namespace regfile
