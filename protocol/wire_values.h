// Telegram parameter values as they cross the wire: 8-bit texts in the sender's code page,
// numbers, and the fixed tables. One WireValue per parameter, in the parameter order of the
// telegram table; the variant's alternative matches the parameter's Kind (same order).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "protocol/telegram_table.h"

namespace tarvik::protocol {

// 8-bit text without its terminating zero. nullopt stands for a null pointer, which a caller can
// hand in but which is never sent (the marshaller refuses it with 1780). Received texts are never
// null and end at their first zero byte.
using WireText = std::optional<std::string>;
// One name per slot: the slot's bytes up to its zero byte, or all six when the slot has none.
using NameTable = std::vector<std::string>;
using WireValue =
    std::variant<WireText, std::int32_t, std::vector<std::int32_t>, NameTable, std::vector<std::uint8_t>>;

static_assert(std::variant_size_v<WireValue> == 5);
constexpr std::size_t alternative_of(Kind k) { return static_cast<std::size_t>(k); }
static_assert(alternative_of(Kind::byte_table) == 4 && alternative_of(Kind::text) == 0);

// The value a missing parameter takes: "", 0, zeros, empty names.
WireValue default_value(const Param& p);
std::vector<WireValue> default_values(const TelegramInfo& t);

// Whether `v` has the alternative and (for tables) the element count that `p` needs.
bool fits(const Param& p, const WireValue& v);

}  // namespace tarvik::protocol
