// Telegram fields given on the command line as name=value, named exactly as the interfaces name
// their parameters (pszHost, OrderNum, SFkt, Name1, DockPos, pszWPC, Flag, ...).
//
//   number        -5, 2147483647, 0x10 (0x80000000..0xffffffff wrap to negative)
//   text          any UTF-8 text (converted to the code page when sent)
//   number table  1,-2,3  or  [1,-2,3]         fewer values are padded with 0
//   name table    AB,,CDEFGH  or  ["AB","","CDEFGH"]
//   byte table    0,65,255  or  [0,65,255]     values 0..255
//
// Parameters not given keep their defaults ("", 0, zeros).
#pragma once

#include <string>
#include <vector>

#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::cli {

// Fills `values` (one per parameter of `t`, texts still in UTF-8) from `assignments`. Parameters
// before `first` (pszHost and pszMachine for `send`) cannot be given. `null_texts` names text
// parameters to pass as null. False with a message for people on any mistake.
bool parse_fields(const protocol::TelegramInfo& t, const std::vector<std::string>& assignments,
                  const std::vector<std::string>& null_texts, std::size_t first,
                  std::vector<protocol::WireValue>& values, std::string& error);

// The same UTF-8 values with every text converted to 8-bit text in the thread's code page (best
// fit, as the control converts). False when a name no longer fits its 6-byte slot.
bool to_code_page(const protocol::TelegramInfo& t, std::vector<protocol::WireValue>& values, std::string& error);

// Parses a status or number argument the way fields are parsed.
bool parse_long(const std::string& text, std::int32_t& out);

}  // namespace tarvik::cli
