#include "regfile/registry_file.h"

#include <cstring>
#include <fstream>

#include "common/little_endian.h"
#include "hive/base_block.h"
#include "hive/hive_file.h"
#include "hive/layout.h"
#include "regfile/hive_reader.h"

namespace regfile {

std::string FileError::message() const {
  if (offset) return file + ": offset " + hive::Hex(*offset) + ": " + what;
  return file + ":" + std::to_string(line) + ": " + what;
}

const char* StateName(LogReplay::State state) {
  switch (state) {
    case LogReplay::State::Clean: return "clean";
    case LogReplay::State::Replayed: return "replayed";
    case LogReplay::State::Stopped: return "stopped";
    case LogReplay::State::NoLogs: return "no-logs";
    case LogReplay::State::NothingNewer: return "nothing-newer";
    case LogReplay::State::NotRead: return "not-read";
  }
  return "";
}

FileKind KindOf(const std::string& path) {
  using namespace hive::base_block;
  std::ifstream in(path, std::ios::binary);
  std::uint8_t first[kFileType + 4] = {};
  in.read(reinterpret_cast<char*>(first), sizeof first);
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got < kHiveSignature.size() || std::memcmp(first, kHiveSignature.data(), kHiveSignature.size()) != 0) {
    return FileKind::RegExport;
  }
  if (got < sizeof first) return FileKind::Hive;  // too short for anything: the hive reader says so
  const std::uint32_t type = common::LittleEndian32(first + kFileType);
  return (type == kOldLog || type == kVeryOldLog || type == kNewLog) ? FileKind::HiveLog : FileKind::Hive;
}

std::vector<RegistryFile> WithTheirLogs(const std::vector<std::string>& paths, std::optional<FileError>& error) {
  std::vector<RegistryFile> files;
  bool afterHive = false;
  for (const auto& path : paths) {
    const FileKind kind = KindOf(path);
    if (kind == FileKind::HiveLog) {
      if (!afterHive) {
        error = FileError{path, 0, hive::base_block::kFileType,
                          "a transaction log, given before any hive; give it after its hive (SYSTEM, then SYSTEM.LOG1)"};
        return {};
      }
      files.back().logs.push_back(path);
      continue;
    }
    afterHive = kind == FileKind::Hive;
    files.push_back(RegistryFile{path, {}});
  }
  return files;
}

FileRead ReadRegistryFile(const RegistryFile& file, const ReadOptions& options) {
  if (KindOf(file.path) == FileKind::RegExport) return ParseFile(file.path, options.ansiToUtf16, options.selection);
  return ReadHive(file.path, HiveLogs{options.replayLogs, file.logs}, options.hiveRoot, options.selection);
}

}  // namespace regfile
