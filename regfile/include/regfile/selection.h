// Which keys of a registry file a reader keeps: those of a few trees, so that
// a whole machine's registry costs only what those trees hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "regfile/script.h"

namespace regfile {

// Whether two key names are the same. The program that reads the files says
// how it compares them: korvane as its library's walk does
// (common::SameKeyName).
using SameName = bool (*)(std::u16string_view a, std::u16string_view b);

// Whether a key name is a control set's: CurrentControlSet, or ControlSet
// followed by three digits.
bool IsControlSetName(std::u16string_view name, SameName same);

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

  // Keeps the trees given, paths below HKEY_LOCAL_MACHINE, whose names are
  // compared by sameName (not null). A tree that begins "SYSTEM\CurrentControlSet\"
  // stands for that tree in every control set: below CurrentControlSet and
  // below each ControlSetNNN, as an offline export or a hive holds them.
  Selection(const std::vector<std::string_view>& trees, SameName sameName);

  bool KeepsEverything() const { return trees_.empty(); }
  Place PlaceOf(Root root, std::u16string_view path) const;

  // The trees as given, each split into its levels.
  const std::vector<std::vector<std::u16string>>& trees() const { return trees_; }

  bool Same(std::u16string_view a, std::u16string_view b) const { return sameName_(a, b); }

  // Whether a tree's level stands for every control set, and whether a key
  // name is one such set.
  bool IsAnyControlSet(const std::vector<std::u16string>& tree, std::size_t level) const;
  bool IsControlSetName(std::u16string_view name) const { return regfile::IsControlSetName(name, sameName_); }

 private:
  std::vector<std::vector<std::u16string>> trees_;
  SameName sameName_ = nullptr;
};

}  // namespace regfile
