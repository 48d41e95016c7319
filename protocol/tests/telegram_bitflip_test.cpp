// Every single-bit mutation of every telegram seed in fuzz/seeds/telegrams (one per procedure,
// encoded by the independent peer) keeps the round-trip property of the fuzz target; sanitizer
// builds run this as well.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "protocol/telegram_table.h"
#include "tests/support/telegram_round_trip.h"

namespace tarvik::protocol {
namespace {

TEST(TelegramBitFlip, EveryBitOfEverySeed) {
  const std::filesystem::path dir = std::filesystem::path(TARVIK_SOURCE_DIR) / "fuzz/seeds/telegrams";
  std::set<std::uint8_t> procedures;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(data.empty()) << entry.path();
    procedures.insert(data[0]);
    ASSERT_TRUE(test::telegram_round_trip_holds(data.data(), data.size())) << entry.path();
    // Skip the selector byte: flipping it only swaps procedures, which the seeds cover anyway.
    for (std::size_t byte = 1; byte < data.size(); ++byte) {
      for (int bit = 0; bit < 8; ++bit) {
        data[byte] ^= static_cast<std::uint8_t>(1u << bit);
        ASSERT_TRUE(test::telegram_round_trip_holds(data.data(), data.size()))
            << entry.path() << " byte " << byte << " bit " << bit;
        data[byte] ^= static_cast<std::uint8_t>(1u << bit);
      }
    }
  }
  EXPECT_EQ(procedures.size(), kTelegramCount);  // a seed for every procedure
}

// The seeds themselves are well-formed: each decodes as the procedure its first byte names.
TEST(TelegramBitFlip, SeedsAreAcceptedStubs) {
  const std::filesystem::path dir = std::filesystem::path(TARVIK_SOURCE_DIR) / "fuzz/seeds/telegrams";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(data.empty());
    const TelegramInfo& t = kTelegrams[data[0]];
    EXPECT_NE(entry.path().filename().string().find(t.name), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace tarvik::protocol
