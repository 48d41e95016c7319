// The printer of telegrams: one JSON object per call, with every parameter under its wire name,
// as the command line prints calls and as tests compare them.
//
//   {"telegram":"R_TPS_H","opnum":1,"pszHost":"H","pszMachine":"M","OrderNum":-2,...,
//    "DockPos":[1,-2],"pszWPC":["CDEFGH","ä"],...}
//
// Texts are converted from 8-bit text in `cp` to UTF-8; a null text prints as null. Name tables
// print as arrays of strings, number tables as arrays of numbers, flag bytes as numbers 0..255.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/codepage/codepage.h"
#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::protocol {

nlohmann::ordered_json telegram_to_json(const TelegramInfo& t, std::span<const WireValue> values,
                                        codepage::CodePage cp = codepage::thread_codepage());

// The same object as telegram_to_json(...).dump() gives, appended to `out` as text without building
// a JSON tree (the printer of `tarvik listen`, where every telegram is a line). `extra`, when not
// empty, is inserted as the last member: `"result":0`.
void append_telegram_json(std::string& out, const TelegramInfo& t, std::span<const WireValue> values,
                          std::string_view extra = {}, codepage::CodePage cp = codepage::thread_codepage());

// One value alone, converted the same way.
nlohmann::ordered_json value_to_json(const WireValue& v, codepage::CodePage cp = codepage::thread_codepage());

}  // namespace tarvik::protocol
