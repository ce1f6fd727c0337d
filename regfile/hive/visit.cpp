// Walks a hive from its root key to the trees of a selection, by the subkey
// lists, and copies those trees into a script; nothing else is read.
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "common/utf.h"
#include "hive_file.h"
#include "key_node.h"
#include "log_files.h"
#include "regfile/hive_reader.h"
#include "replay.h"
#include "value.h"

namespace regfile {
namespace hive {
namespace {

class Visit {
 public:
  Visit(HiveFile& file, Script& script, std::u16string& reading, const Selection& selection)
      : file_(file), script_(script), reading_(reading), selection_(selection) {}

  // The key and everything below it.
  void Subtree(const KeyNode& key, const std::u16string& path, std::size_t depth) {
    reading_ = path;
    if (depth > key_node::kMaxDepth) {
      Fail(FileOffsetOf(key.offset), "keys nested deeper than " + std::to_string(key_node::kMaxDepth) + " levels");
    }
    if (!visited_.insert(key.offset).second) {
      Fail(FileOffsetOf(key.offset), "a key node that the subkey lists reach twice");
    }
    KeyOp op;
    op.path = path;
    op.values = ReadValues(file_, key);
    script_.keys.push_back(std::move(op));
    ForEachSubkey(file_, key, [&](std::uint32_t offset) {
      reading_ = path;
      const KeyNode subkey = ReadKeyNode(file_, offset);
      if (subkey.name.empty()) Fail(FileOffsetOf(offset), "a key without a name");
      Subtree(subkey, path + u'\\' + subkey.name, depth + 1);
    });
  }

  // The part of `tree` from `level` on, below `key`; the keys above it are
  // kept without their values, as a .reg reader keeps them.
  void Tree(const KeyNode& key, const std::u16string& path, const std::vector<std::u16string>& tree,
            std::size_t level) {
    reading_ = path;
    if (level == tree.size()) {
      // A tree inside another one that was copied already.
      if (visited_.count(key.offset) == 0) Subtree(key, path, level);
      return;
    }
    KeyOp op;
    op.path = path;
    script_.keys.push_back(std::move(op));
    if (selection_.IsAnyControlSet(tree, level)) {
      std::vector<KeyNode> controlSets;
      ForEachSubkey(file_, key, [&](std::uint32_t offset) {
        KeyNode subkey = ReadKeyNode(file_, offset);
        if (selection_.IsControlSetName(subkey.name)) controlSets.push_back(std::move(subkey));
      });
      for (const auto& controlSet : controlSets) Tree(controlSet, path + u'\\' + controlSet.name, tree, level + 1);
    } else if (const auto subkey = FindSubkey(file_, key, tree[level], selection_)) {
      Tree(*subkey, path + u'\\' + subkey->name, tree, level + 1);
    }
    reading_ = path;
  }

 private:
  HiveFile& file_;
  Script& script_;
  std::u16string& reading_;  // the key whose records are being read, for a message
  const Selection& selection_;
  std::unordered_set<std::uint32_t> visited_;
};

void Walk(HiveFile& file, Script& script, std::u16string& reading, std::u16string_view rootPath,
          const Selection& selection) {
  Visit visit(file, script, reading, selection);
  const std::u16string path(rootPath);
  reading = path;
  const KeyNode root = ReadKeyNode(file, file.rootCell());
  if (selection.KeepsEverything()) {
    visit.Subtree(root, path, 0);
    return;
  }
  for (const auto& tree : selection.trees()) {
    if (!tree.empty() && selection.Same(tree[0], rootPath)) visit.Tree(root, path, tree, 1);
  }
}

// A key's path in a message: its end, where the keys nest deep.
std::string Shortened(std::string path) {
  constexpr std::size_t kShown = 100;
  return path.size() <= kShown ? path : "..." + path.substr(path.size() - kShown);
}

FileRead Read(std::unique_ptr<RandomAccessFile> hive, LogFiles logs, std::u16string_view rootPath,
              const Selection& selection) {
  FileRead read;
  const std::string name = hive->name();
  std::u16string reading;
  try {
    OpenHive opened = Open(std::move(hive), std::move(logs));
    read.replay = opened.replay;
    if (!opened.replay.message.empty()) read.notes.push_back(opened.replay.message);
    HiveFile file(*opened.image, opened.rootCell, opened.minorVersion);
    Walk(file, read.script, reading, rootPath, selection);
    if (const auto damage = file.FirstDamage()) {
      read.damage = FileError{name, 0, damage->offset, damage->what};
      read.notes.push_back(read.damage->message() + "; the keys read lie elsewhere, so the answer stands");
    }
  } catch (const Fault& fault) {
    read.script = Script{};
    std::string what = fault.what;
    if (!reading.empty()) what += " (reading " + Shortened(common::Escaped(reading)) + ")";
    read.error = FileError{name, 0, fault.offset, std::move(what)};
  }
  return read;
}

std::unique_ptr<RandomAccessFile> OpenFile(const std::string& path) {
  auto in = std::make_unique<std::ifstream>();
  // Unbuffered: reads are of a bin header here, a bin there, and a buffer
  // would copy far more than each asks for.
  in->rdbuf()->pubsetbuf(nullptr, 0);
  in->open(path, std::ios::binary);
  return std::make_unique<RandomAccessFile>(std::move(in), path);
}

std::unique_ptr<RandomAccessFile> InMemory(std::string_view bytes, std::string name) {
  return std::make_unique<RandomAccessFile>(std::make_unique<std::istringstream>(std::string(bytes), std::ios::binary),
                                            std::move(name));
}

}  // namespace
}  // namespace hive

FileRead ReadHive(const std::string& fileName, const HiveLogs& logs, std::u16string_view rootPath,
                  const Selection& selection) {
  hive::LogFiles files;
  files.replay = logs.replay;
  if (logs.replay) {
    std::vector<std::string> paths = logs.named;
    if (paths.empty()) {
      hive::LogSearch search = hive::FindLogsBeside(fileName);
      paths = std::move(search.found);
      files.lookedFor = std::move(search.lookedFor);
    }
    for (const auto& path : paths) files.files.push_back(hive::OpenFile(path));
  }
  return hive::Read(hive::OpenFile(fileName), std::move(files), rootPath, selection);
}

FileRead ReadHiveBytes(std::string_view hive, const std::vector<std::string_view>& logs, std::u16string_view rootPath,
                       const Selection& selection) {
  hive::LogFiles files;
  for (std::size_t i = 0; i < logs.size(); ++i) files.files.push_back(hive::InMemory(logs[i], "LOG" + std::to_string(i + 1)));
  return hive::Read(hive::InMemory(hive, "hive"), std::move(files), rootPath, selection);
}

}  // namespace regfile
