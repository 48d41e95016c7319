#include "tests/support/sample_values.h"

#include <string>

namespace tarvik::test {

using namespace protocol;

std::vector<WireValue> sample_values(const TelegramInfo& t, int seed) {
  std::vector<WireValue> out;
  int k = seed * 100;
  for (const Param& p : t.params) {
    ++k;
    switch (p.kind) {
      case Kind::text:
        // Lengths 0..6 and beyond, so alignment after a text varies across parameters.
        out.emplace_back().emplace<WireText>(std::string(p.name.substr(0, static_cast<std::size_t>(k % 9))) +
                                             "\xe4" + std::to_string(k));
        break;
      case Kind::number:
        out.emplace_back().emplace<std::int32_t>((k % 2 ? -1 : 1) * (k * 65537 + 3));
        break;
      case Kind::number_table: {
        std::vector<std::int32_t> numbers;
        for (int i = 0; i < p.count; ++i) numbers.push_back((i % 2 ? -1 : 1) * (k * 1000 + i));
        if (seed % 2 == 0) numbers.back() = -2147483647 - 1;
        out.emplace_back().emplace<std::vector<std::int32_t>>(std::move(numbers));
        break;
      }
      case Kind::name_table: {
        NameTable names;
        for (int i = 0; i < p.count; ++i)
          names.push_back(std::string("ABCDEF").substr(0, static_cast<std::size_t>((k + i * 3) % 7)));
        names.back() = seed % 2 ? "\xe4Z6789" : "";  // a full slot without a zero, or an empty one
        out.emplace_back().emplace<NameTable>(std::move(names));
        break;
      }
      case Kind::byte_table: {
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < p.count; ++i) bytes.push_back(static_cast<std::uint8_t>(255 - i * 27 - seed));
        bytes[0] = 255;
        bytes[1] = 0;
        out.emplace_back().emplace<std::vector<std::uint8_t>>(std::move(bytes));
        break;
      }
    }
  }
  return out;
}

}  // namespace tarvik::test
