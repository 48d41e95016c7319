// Every single-bit mutation of every seed conversation in fuzz/seeds/server, fed to a fresh server
// connection: no crash (sanitizer builds run this too), same output whole or in pieces.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/server_fuzz_harness.h"

namespace tarvik::rpc {
namespace {

TEST(ServerBitFlip, EveryBitOfEverySeed) {
  const std::filesystem::path dir = std::filesystem::path(TARVIK_SOURCE_DIR) / "fuzz/seeds/server";
  std::size_t seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ++seeds;
    ASSERT_TRUE(fuzzing::exercise(data)) << entry.path();
    for (std::size_t byte = 0; byte < data.size(); ++byte) {
      for (int bit = 0; bit < 8; ++bit) {
        data[byte] ^= static_cast<std::uint8_t>(1u << bit);
        ASSERT_TRUE(fuzzing::exercise(data)) << entry.path() << " byte " << byte << " bit " << bit;
        data[byte] ^= static_cast<std::uint8_t>(1u << bit);
      }
    }
  }
  EXPECT_GE(seeds, 5u);
}

}  // namespace
}  // namespace tarvik::rpc
