// Distinctive values for every parameter of a telegram, so that a value landing in the wrong
// parameter, a swapped table element or a sign or width mistake shows. Texts stay within Latin-1
// (they include byte 0xE4) so the independent peer, which decodes texts as Latin-1, sees the same.
#pragma once

#include <vector>

#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::test {

// `seed` varies the values between calls (1, 2, ...).
std::vector<protocol::WireValue> sample_values(const protocol::TelegramInfo& t, int seed);

}  // namespace tarvik::test
