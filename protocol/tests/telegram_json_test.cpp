// The text printer of telegrams must write exactly what the JSON-tree printer dumps: scripts and
// tests read `tarvik listen` lines and compare them with telegram_to_json.
#include "protocol/telegram_json.h"

#include <gtest/gtest.h>

#include "tests/support/sample_values.h"

namespace tarvik::protocol {
namespace {

std::string tree_text(const TelegramInfo& t, std::span<const WireValue> values, codepage::CodePage cp) {
  return telegram_to_json(t, values, cp).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

TEST(TelegramJsonText, MatchesTheTreeForEveryTelegramAndAwkwardTexts) {
  // Quotes, backslashes, every control character class, DEL, 8-bit letters and a full name slot.
  const std::string awkward = std::string("a\"b\\c/\b\f\n\r\t\x01\x1f\x7f") + "\xe4\xdf\x80\xff";
  for (const codepage::CodePage cp : {1252u, 1250u, 932u}) {
    if (!codepage::is_supported(cp)) continue;
    for (const TelegramInfo& t : kTelegrams) {
      for (int variant = 0; variant < 3; ++variant) {
        std::vector<WireValue> values = variant == 0 ? default_values(t) : test::sample_values(t, variant);
        if (variant == 2) {
          for (std::size_t i = 0; i < values.size(); ++i) {
            if (auto* text = std::get_if<WireText>(&values[i])) *text = i % 2 ? std::nullopt : WireText(awkward);
            if (auto* names = std::get_if<NameTable>(&values[i])) (*names)[0] = "\xe4\"\\\x02zz";
            if (auto* n = std::get_if<std::int32_t>(&values[i])) *n = i % 2 ? INT32_MIN : INT32_MAX;
          }
        }
        std::string text;
        append_telegram_json(text, t, values, {}, cp);
        ASSERT_EQ(text, tree_text(t, values, cp)) << t.name << " variant " << variant << " cp " << cp;
      }
    }
  }
  // The extra member goes last, inside the object.
  const TelegramInfo& message = *find_telegram("R_MESSAGE_H");
  std::string text = "prefix";
  append_telegram_json(text, message, default_values(message), "\"result\":-110", 1252);
  auto tree = telegram_to_json(message, default_values(message), 1252);
  tree["result"] = -110;
  EXPECT_EQ(text, "prefix" + tree.dump());
}

}  // namespace
}  // namespace tarvik::protocol
