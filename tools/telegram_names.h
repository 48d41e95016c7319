// Messages for a telegram name the command line does not know: they name the valid ones, so a typo
// or a telegram of the other direction is fixed without looking anything up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/telegram_table.h"

namespace tarvik::cli {

// "unknown telegram NAME; valid: ..." listing the telegrams of `wanted` (every telegram when null).
// A telegram of the other interface is named as such, with the subcommand that handles it
// (`send` for `_M`, `notify` for `_H`).
std::string unknown_telegram_message(std::string_view name, const protocol::Interface* wanted);

}  // namespace tarvik::cli
