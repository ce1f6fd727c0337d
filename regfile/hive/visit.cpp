// Walks a hive from its root key to the trees of a selection, by the subkey
// lists, and copies those trees into a script; nothing else is read.
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "hive_file.h"
#include "key_node.h"
#include "regfile/hive_reader.h"
#include "value.h"

namespace regfile {
namespace hive {
namespace {

// Windows nests keys no deeper than this.
constexpr std::size_t kMaxDepth = 512;

class Visit {
 public:
  Visit(HiveFile& file, Script& script) : file_(file), script_(script) {}

  // The key and everything below it.
  void Subtree(const KeyNode& key, const std::u16string& path, std::size_t depth) {
    if (depth > kMaxDepth) Fail(kBaseBlockSize + key.offset, "keys nested deeper than 512 levels");
    if (!visited_.insert(key.offset).second) {
      Fail(kBaseBlockSize + key.offset, "a key node that the subkey lists reach twice");
    }
    KeyOp op;
    op.path = path;
    op.values = ReadValues(file_, key);
    script_.keys.push_back(std::move(op));
    ForEachSubkey(file_, key, [&](std::uint32_t offset) {
      const KeyNode subkey = ReadKeyNode(file_, offset);
      if (subkey.name.empty()) Fail(kBaseBlockSize + offset, "a key without a name");
      Subtree(subkey, path + u'\\' + subkey.name, depth + 1);
    });
  }

  // The part of `tree` from `level` on, below `key`; the keys above it are
  // kept without their values, as a .reg reader keeps them.
  void Tree(const KeyNode& key, const std::u16string& path, const std::vector<std::u16string>& tree,
            std::size_t level) {
    if (level == tree.size()) {
      // A tree inside another one that was copied already.
      if (visited_.count(key.offset) == 0) Subtree(key, path, level);
      return;
    }
    KeyOp op;
    op.path = path;
    script_.keys.push_back(std::move(op));
    if (Selection::IsAnyControlSet(tree, level)) {
      std::vector<KeyNode> controlSets;
      ForEachSubkey(file_, key, [&](std::uint32_t offset) {
        KeyNode subkey = ReadKeyNode(file_, offset);
        if (Selection::IsControlSetName(subkey.name)) controlSets.push_back(std::move(subkey));
      });
      for (const auto& controlSet : controlSets) Tree(controlSet, path + u'\\' + controlSet.name, tree, level + 1);
    } else if (const auto subkey = FindSubkey(file_, key, tree[level])) {
      Tree(*subkey, path + u'\\' + subkey->name, tree, level + 1);
    }
  }

 private:
  HiveFile& file_;
  Script& script_;
  std::unordered_set<std::uint32_t> visited_;
};

}  // namespace
}  // namespace hive

std::string HiveError::message(const std::string& file) const {
  return file + ": offset " + hive::Hex(offset) + ": " + what;
}

namespace {

HiveRead Read(std::unique_ptr<std::istream> in, std::u16string_view rootPath, const Selection& selection) {
  HiveRead read;
  try {
    hive::HiveFile file(std::move(in));
    hive::Visit visit(file, read.script);
    const hive::KeyNode root = hive::ReadKeyNode(file, file.rootCell());
    const std::u16string path(rootPath);
    if (selection.KeepsEverything()) {
      visit.Subtree(root, path, 0);
    } else {
      const std::u16string upperRoot = AsciiUpper(rootPath);
      for (const auto& tree : selection.trees()) {
        if (!tree.empty() && tree[0] == upperRoot) visit.Tree(root, path, tree, 1);
      }
    }
    read.dirty = file.dirty();
  } catch (const hive::Fault& fault) {
    read.script = Script{};
    read.error = HiveError{fault.offset, fault.what};
  }
  return read;
}

}  // namespace

HiveRead ReadHive(const std::string& fileName, std::u16string_view rootPath, const Selection& selection) {
  return Read(std::make_unique<std::ifstream>(fileName, std::ios::binary), rootPath, selection);
}

HiveRead ReadHiveBytes(std::string_view bytes, std::u16string_view rootPath, const Selection& selection) {
  return Read(std::make_unique<std::istringstream>(std::string(bytes), std::ios::binary), rootPath, selection);
}

}  // namespace regfile
