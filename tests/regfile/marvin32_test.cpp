// Marvin32 against the vectors that .NET publishes for its own
// implementation (its MarvinTests), and the seed of hive log entries.
#include "hive/marvin32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using regfile::hive::Marvin32;
using regfile::hive::Marvin32Of;

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

TEST(Marvin32Test, GivesThePublishedHashes) {
  constexpr std::uint64_t kSeed1 = 0x004FB61A001BDBCCull;
  constexpr std::uint64_t kSeed2 = 0x804FB61A001BDBCCull;
  constexpr std::uint64_t kSeed3 = 0x804FB61A801BDBCCull;
  constexpr std::uint64_t kLogSeed = 0x82EF4D887A4E55C5ull;
  std::string counting;  // 00 01 .. 1F
  for (int i = 0; i < 32; ++i) counting += "0123456789abcdef"[i / 16] + std::string(1, "0123456789abcdef"[i % 16]);
  const struct {
    std::uint64_t seed;
    std::string input;
    std::uint64_t hash;
  } cases[] = {
      // Every length of tail, 0 to 3 bytes, after 0 and 1 whole words.
      {kSeed1, "", 0x30ED35C100CD3C7Dull},
      {kSeed1, "af", 0x48E73FC77D75DDC1ull},
      {kSeed1, "e70f", 0xB5F6E1FC485DBFF8ull},
      {kSeed1, "37f495", 0xF0B07C789B8CF7E8ull},
      {kSeed1, "8642dc59", 0x7008F2E87E9CF556ull},
      {kSeed1, "153fb79826", 0xE6C08C6DA2AFA997ull},
      {kSeed1, "0932e6246c47", 0x6F04BF1A5EA24060ull},
      {kSeed1, "ab427ea8d10fc7", 0xE11847E4F0678C41ull},
      // A seed with the top bit of each half set.
      {kSeed2, "153fb79826", 0x0A06114B13464DBDull},
      {kSeed3, "00FF00FF00FF00", 0x71876F2EFB1B0EE8ull},
      {kSeed3, "FF00FF00FF00FF", 0xFDFD187B1D3CE784ull},
      // The seed of log entries.
      {kLogSeed, "", 0xB39EFCA403966E08ull},
      {kLogSeed, "00000000", 0x2400585E2D116FBFull},
      {kLogSeed, counting, 0xC64FEEE425C2E24Cull},
  };
  for (const auto& c : cases) {
    const auto input = Bytes(c.input);
    EXPECT_EQ(Marvin32Of(input.data(), input.size(), c.seed), c.hash) << c.input;
    // In pieces of every size from 1 to 5 bytes: the same hash.
    for (std::size_t piece = 1; piece <= 5; ++piece) {
      Marvin32 hash(c.seed);
      for (std::size_t at = 0; at < input.size(); at += piece) {
        hash.Add(input.data() + at, std::min(piece, input.size() - at));
      }
      EXPECT_EQ(hash.Finish(), c.hash) << c.input << " in pieces of " << piece;
    }
  }
}

}  // namespace
