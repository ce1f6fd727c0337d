#include "replay.h"

#include <algorithm>
#include <cstring>

#include "base_block.h"
#include "hive_file.h"
#include "layout.h"
#include "logs.h"

namespace regfile::hive {
namespace {

using State = LogReplay::State;

constexpr const char* kMayBeMissing = "so its newest changes may be missing";

// A log as its base block's copy tells it.
struct Log {
  std::size_t number = 0;  // in the image
  std::string name;
  BaseBlock header;
};

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  }
  return text;
}

std::string VersionOf(const BaseBlock& block) {
  return std::to_string(block.majorVersion) + "." + std::to_string(block.minorVersion);
}

bool KnownVersion(const BaseBlock& block) {
  return block.majorVersion == base_block::kMajor && block.minorVersion >= base_block::kOldestMinor &&
         block.minorVersion <= base_block::kNewestMinor;
}

// Why a log cannot be used; empty when it can.
std::string ProblemOf(RandomAccessFile& file, BaseBlock& header) {
  std::uint8_t bytes[base_block::kLogCopySize];
  if (!file.Read(0, bytes, sizeof bytes)) return "it is too short for a log";
  if (std::memcmp(bytes, base_block::kSignature, 4) != 0) {
    return std::string("it does not begin with \"") + base_block::kSignature + "\"";
  }
  header = ReadBaseBlock(bytes);
  if (!header.checksumValid()) return "its base block's checksum is wrong";
  if (!header.isLog()) return "it is no log (file type " + std::to_string(header.fileType) + ")";
  if (!header.synchronized()) return "its base block's sequence numbers differ";
  if (!KnownVersion(header)) return "hive version " + VersionOf(header);
  return std::string();
}

void CheckPrimary(const BaseBlock& block) {
  using namespace base_block;
  if (!KnownVersion(block)) {
    Fail(kMajorVersion, "hive version " + VersionOf(block) + ", where 1." + std::to_string(kOldestMinor) + " to 1." +
                            std::to_string(kNewestMinor) + " are known");
  }
  if (block.isLog()) {
    Fail(kFileType, "a transaction log (file type " + std::to_string(block.fileType) +
                        "), not the hive itself; give it after its hive");
  }
  if (block.fileType != kPrimaryFile) Fail(kFileType, "an unknown file type " + std::to_string(block.fileType));
  if (block.fileFormat != kDirectMemoryLoad) Fail(kFileFormat, "an unknown file format");
}

class Replay {
 public:
  Replay(OpenHive& opened, const BaseBlock& primary, LogFiles& logs)
      : opened_(opened), primary_(primary), lookedFor_(logs.lookedFor) {
    for (auto& file : logs.files) {
      if (file->size() == 0) continue;  // Windows leaves an empty FILE.LOG beside FILE.LOG1 and FILE.LOG2
      Log log;
      log.name = file->name();
      const std::string problem = ProblemOf(*file, log.header);
      if (!problem.empty()) {
        problems_.push_back(log.name + " is no usable log: " + problem);
        continue;
      }
      log.number = opened.image->AddLog(std::move(file));
      (log.header.isNewLog() ? newLogs_ : oldLogs_).push_back(std::move(log));
    }
  }

  // Applies what applies, and says so in opened.replay.
  void Run() {
    if (!newLogs_.empty()) {
      RunNewLogs();
    } else if (!oldLogs_.empty()) {
      RunOldLog();
    } else {
      state_ = State::NoLogs;
    }
    if (state_ == State::Replayed && !problems_.empty()) state_ = State::Stopped;
    opened_.replay.state = state_;
    opened_.replay.message = Message();
  }

  // Whether the hive is read by a log's copy of the base block.
  bool baseBlockFromLog() const { return baseBlockFrom_ != nullptr; }

 private:
  void RunNewLogs() {
    const bool trusted = primary_.checksumValid();
    // Sequence numbers wrap: they are ordered by their distance from a
    // reference, the hive's own number where it can be trusted.
    const std::uint32_t reference =
        trusted ? primary_.secondarySequence : newLogs_.front().header.primarySequence - 0x40000000u;
    const auto distance = [reference](const Log* log) { return log->header.primarySequence - reference; };
    std::vector<const Log*> order;
    for (const auto& log : newLogs_) {
      // A log older than the hive holds what the hive holds already.
      if (!trusted || distance(&log) < 0x80000000u) order.push_back(&log);
    }
    if (order.empty()) return NothingNewer();
    std::stable_sort(order.begin(), order.end(), [&](const Log* a, const Log* b) { return distance(a) < distance(b); });
    if (!trusted) {
      // The latest entries, and the base block that goes with them, are all there is.
      order.erase(order.begin(), order.end() - 1);
      TakeBaseBlock(*order.front());
    }
    std::uint32_t next = order.front()->header.primarySequence;
    for (const Log* log : order) {
      const std::uint32_t start = log->header.primarySequence;
      if (start != next) {
        if (SequenceAfter(start, next)) {
          stop_ = log->name + " begins at sequence number " + std::to_string(start) + ", not " + std::to_string(next);
        }
        break;
      }
      UseLogBaseBlock(*log);
      const LogOutcome outcome = ApplyLogEntries(*opened_.image, log->number, start);
      Count(*log, outcome, "log entry", "log entries");
      if (outcome.applied > 0) next = outcome.lastSequence + 1;
      if (outcome.stop) break;
    }
    Settle();
  }

  void RunOldLog() {
    // Several old-format logs: the one written last.
    const auto latest = std::max_element(oldLogs_.begin(), oldLogs_.end(), [](const Log& a, const Log& b) {
      return a.header.lastWritten < b.header.lastWritten;
    });
    if (primary_.checksumValid() && latest->header.lastWritten < primary_.lastWritten) return NothingNewer();
    if (!primary_.checksumValid()) TakeBaseBlock(*latest);
    UseLogBaseBlock(*latest);
    LogOutcome outcome = ApplyDirtyPages(*opened_.image, latest->number, latest->header.binsSize);
    outcome.lastSequence = latest->header.primarySequence;
    Count(*latest, outcome, "dirty page", "dirty pages");
    Settle();
  }

  // The log's copy of the base block is the newer: the hive is read by its root and version.
  void UseLogBaseBlock(const Log& log) {
    opened_.rootCell = log.header.rootCell;
    opened_.minorVersion = log.header.minorVersion;
  }

  void TakeBaseBlock(const Log& log) {
    baseBlockFrom_ = &log;
    opened_.image->SetBinsSize(log.header.binsSize);
  }

  void Count(const Log& log, const LogOutcome& outcome, const char* unit, const char* units) {
    unit_ = unit;
    units_ = units;
    applied_ += outcome.applied;
    if (outcome.applied > 0) {
      opened_.replay.logs.push_back(log.name);
      opened_.replay.sequence = outcome.lastSequence;
    }
    if (outcome.stop) {
      stop_ = "stopped at offset " + Hex(outcome.stop->offset) + " of " + log.name + ": " + outcome.stop->what;
    }
  }

  void Settle() {
    if (!stop_.empty()) {
      state_ = State::Stopped;
    } else if (applied_ > 0) {
      state_ = State::Replayed;
    } else {
      NothingNewer();
    }
  }

  void NothingNewer() {
    state_ = State::NothingNewer;
    for (const auto& log : newLogs_.empty() ? oldLogs_ : newLogs_) nothingNewerIn_.push_back(log.name);
  }

  // One line: what the hive needed, what was done, what may be missing.
  std::string Message() const {
    std::string text = opened_.image->hive().name();
    if (primary_.checksumValid()) {
      text += ": the hive was not saved cleanly";
    } else {
      text += ": the hive's base block is damaged (its checksum is wrong)";
      if (baseBlockFrom_ != nullptr) text += "; took the base block of " + baseBlockFrom_->name;
    }
    switch (state_) {
      case State::NoLogs:
        text += lookedFor_.empty() ? "; none of the logs given is usable"
                                   : "; no log of it was found (looked for " + Joined(lookedFor_) + ")";
        break;
      case State::NothingNewer:
        text += "; its logs " + Joined(nothingNewerIn_) + " hold nothing newer than its sequence number " +
                std::to_string(primary_.secondarySequence);
        break;
      default:
        text += "; replayed " + std::to_string(applied_) + " " + (applied_ == 1 ? unit_ : units_);
        if (applied_ > 0) {
          text += " from " + Joined(opened_.replay.logs) + ", up to sequence number " +
                  std::to_string(opened_.replay.sequence);
        }
        if (!stop_.empty()) text += "; " + stop_;
        break;
    }
    for (const auto& problem : problems_) text += "; " + problem;
    if (state_ != State::Replayed) text += std::string(", ") + kMayBeMissing;
    if (state_ == State::NoLogs && !lookedFor_.empty()) {
      text += "; copy the logs from the hive's folder with it, or, on the running machine, reg save HKLM\\SYSTEM "
              "gives a clean copy";
    }
    return text;
  }

  OpenHive& opened_;
  const BaseBlock& primary_;
  const std::vector<std::string>& lookedFor_;
  std::vector<Log> newLogs_;
  std::vector<Log> oldLogs_;
  std::vector<std::string> problems_;
  State state_ = State::NoLogs;
  const Log* baseBlockFrom_ = nullptr;
  const char* unit_ = "log entry";
  const char* units_ = "log entries";
  std::uint32_t applied_ = 0;
  std::string stop_;
  std::vector<std::string> nothingNewerIn_;
};

}  // namespace

OpenHive Open(std::unique_ptr<RandomAccessFile> hive, LogFiles logs) {
  using namespace base_block;
  std::uint8_t bytes[kSize];
  if (!hive->Read(0, bytes, sizeof bytes)) {
    Fail(0, hive->size() == 0 ? std::string("cannot read file")
                              : "the file ends inside the base block (" + std::to_string(hive->size()) + " bytes)");
  }
  if (std::memcmp(bytes, kSignature, 4) != 0) Fail(0, std::string("no hive: it does not begin with \"") + kSignature + "\"");
  const BaseBlock primary = ReadBaseBlock(bytes);
  if (primary.checksumValid()) CheckPrimary(primary);
  OpenHive opened;
  opened.image = std::make_unique<HiveImage>(std::move(hive), primary.binsSize);
  opened.rootCell = primary.rootCell;
  opened.minorVersion = primary.minorVersion;
  opened.replay.sequence = primary.secondarySequence;
  const bool dirty = !primary.checksumValid() || !primary.synchronized();
  bool baseBlockFromLog = false;
  if (dirty && !logs.replay) {
    opened.replay.state = LogReplay::State::NotRead;
    opened.replay.message = opened.image->hive().name() +
                            ": the hive was not saved cleanly; read as it stands, without its logs, " + kMayBeMissing;
  } else if (dirty) {
    Replay replay(opened, primary, logs);
    replay.Run();
    baseBlockFromLog = replay.baseBlockFromLog();
  }
  if (!primary.checksumValid() && !baseBlockFromLog) {
    Fail(kChecksum, "the base block's checksum " + Hex(primary.storedChecksum) + " is not its sum " +
                        Hex(primary.checksum) + ", and no log of the hive gives it again");
  }
  const std::uint32_t binsSize = opened.image->binsSize();
  if (binsSize % bin::kUnit != 0 || binsSize > bin::kMaxBinsSize) {
    Fail(kBinsSize, "the bins are said to take " + std::to_string(binsSize) + " bytes, not a multiple of " +
                        std::to_string(bin::kUnit) + " up to " + std::to_string(bin::kMaxBinsSize));
  }
  return opened;
}

}  // namespace regfile::hive
