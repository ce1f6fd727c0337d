// Devices that come and go piece by piece while readers enumerate: the writer
// side and the reader side of the concurrency tests, shared by the host test
// (the stand-in's registry, writer on a thread) and the Wine test (Wine's
// registry, writer in another process).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "device_model.h"
#include "export_contract.h"

namespace hardening {

using contract::NarrowRecord;
using contract::Record;
using contract::WideRecord;

// Device 0 stays in place; devices 1..7 come and go.
constexpr int kChurnDevices = 8;

// Device k. Its keys sort after device 0's in every listing, so that removing
// them never shifts device 0's entries in a listing under way. Odd devices
// print through a model of their own, which comes and goes with them.
Device ChurnDevice(int k);

// The registry at the start: device 0 with its serial port present, and the
// unrelated devices and printer of AddWorkingRegistry.
void AddChurnBase(RegistryEditor& editor);

// Adds or removes one piece of one device per step (an interface key, the
// model, the printer, the serial port, an unrelated USB key), chosen at random
// from the seed: the same seed and number of steps leave the same registry.
class Churn {
 public:
  explicit Churn(std::uint32_t seed) : random_(seed) {}

  // Makes the next change through editor; with null, only keeps count of it,
  // to follow another process's writer.
  void Step(RegistryEditor* editor);

  // The records that all four exports give once the churn has stopped.
  std::vector<NarrowRecord> ExpectedAtRest() const;

 private:
  enum Piece { kInterface0, kInterface1, kInterface2, kModel, kPrinter, kSerialPort, kOtherUsbKey, kPieces };
  static void SetPiece(RegistryEditor& editor, int k, int piece, bool present);

  std::mt19937 random_;
  bool present_[kChurnDevices][kPieces] = {};
};

// What one reader saw while the churn ran: results, how many were -1, the
// records checked, and every fault. An outcome is faulty when it breaks the
// exports' contract or, not being -1, lacks device 0 first or holds a record
// that mixes devices (values removed while the walk read them may be empty).
struct ChurnTally {
  long results = 0;
  long failures = 0;
  long records = 0;
  std::vector<std::string> faults;

  void Add(const ChurnTally& other);
};

// Calls the four exports on product 4B31 `rounds` times each and tallies them.
void ReadChurnRounds(const contract::Exports& exports, int rounds, ChurnTally& tally);

}  // namespace hardening
