// Every single-bit mutation of every seed capture in fuzz/seeds/captures goes through the capture
// reader: it must answer (a result or an error naming what is wrong) and never crash; the sanitizer
// builds run this too.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/capture_reader.h"

namespace tarvik::cli {
namespace {

// Reads `data` as a capture; false only if an error came without a message.
bool exercise(std::vector<std::uint8_t> data) {
  std::FILE* f = fmemopen(data.data(), data.size(), "rb");
  if (f == nullptr) return true;  // fmemopen refuses empty buffers on some C libraries
  CaptureContents c;
  std::string error;
  return read_capture_stream(f, c, error) || !error.empty();
}

TEST(CaptureBitFlip, EveryBitOfEverySeed) {
  const std::filesystem::path dir = std::filesystem::path(TARVIK_SOURCE_DIR) / "fuzz/seeds/captures";
  std::size_t seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ++seeds;
    CaptureContents c;
    std::string error;
    ASSERT_TRUE(read_capture_file(entry.path().string(), c, error)) << error;
    EXPECT_FALSE(c.calls.empty()) << entry.path();
    for (std::size_t byte = 0; byte < data.size(); ++byte) {
      for (int bit = 0; bit < 8; ++bit) {
        data[byte] ^= static_cast<std::uint8_t>(1u << bit);
        ASSERT_TRUE(exercise(data)) << entry.path() << " byte " << byte << " bit " << bit;
        data[byte] ^= static_cast<std::uint8_t>(1u << bit);
      }
    }
    // Every length it could have been cut to.
    for (std::size_t len = 0; len < data.size(); len += 7)
      ASSERT_TRUE(exercise(std::vector<std::uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(len))));
  }
  EXPECT_GE(seeds, 3u);
}

}  // namespace
}  // namespace tarvik::cli
