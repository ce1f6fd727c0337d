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
#include "enumeration_probe.h"

namespace hardening {

// Device 0 stays in place; devices 1..7 come and go.
constexpr int kChurnDevices = 8;

// Device k. Its keys sort after device 0's in every listing, so that removing
// them never shifts device 0's entries in a listing under way. Odd devices
// print through a model of their own, which comes and goes with them.
Device ChurnDevice(int k);

// The registry at the start: device 0 with its serial port present, and the
// unrelated devices and printer of AddWorkingRegistry.
void AddChurnBase(RegistryEditor& editor);

// Device 0's record, in either form.
NarrowRecord ChurnDevice0();
WideRecord WideChurnDevice0();

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

// What is wrong with an export's outcome while the churn runs: -1 is always
// acceptable; otherwise device 0 comes first and every record is one device's
// (values removed while the walk read them may be empty, but never mixed).
std::vector<std::string> ChurnFaults(const Outcome<char>& outcome);
std::vector<std::string> ChurnFaults(const Outcome<KorvaneWChar>& outcome);

}  // namespace hardening
