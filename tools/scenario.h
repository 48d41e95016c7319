// A scenario for `tarvik machine --scenario FILE`: how a simulated machine answers each `_M`
// telegram and what it reports to its host, and when. JSON, checked against the telegram table
// when it is loaded, so that every mistake is reported with file and line before anything runs:
//
//   {
//     "machine": {"name": "MC1", "port": 3011},
//     "host": {"name": "HOST1", "ip": "127.0.0.1", "port": 3010, "timeout": 5},
//     "default_status": 0,
//     "answers": [
//       {"telegram": "C_ORDER_M", "when": {"SFkt": 3}, "status": -5},
//       {"telegram": "C_ORDER_M", "status": 0, "delay_ms": 100, "then": [
//         {"after_ms": 500, "send": "R_MACHINE_H", "fields": {"OrderNum": "${OrderNum}", "MachineStatus": 1}},
//         {"after_ms": 0, "send": "R_MESSAGE_H", "fields": {"pszMessage": "order ${OrderNum}: ${Name1}"}}]}
//     ],
//     "timers": [{"every_ms": 10000, "send": "R_TPS_H", "fields": {"MachineStatus": 1}}]
//   }
//
// Answers are tried in order; the first whose telegram ("*" for any) and "when" fields match, and
// whose "every" count is due (every: 3 = every third matching call), gives the status and the delay
// before the answer goes out. "then" sends follow the answer, each "after_ms" after the one before.
// Field values are literals of the field's kind or, in sends that follow a telegram, "${Field}"
// references to its fields (a text may mix them with other text; "$${" writes "${").
// pszHost and pszMachine of sends default to the host's and the machine's names. A "comment"
// key is allowed in every object.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/telegram_table.h"
#include "protocol/wire_values.h"

namespace tarvik::cli {

// A piece of a text value: literal bytes (code page) or the field `param` of the triggering telegram.
struct TextPiece {
  std::string literal;
  int param = -1;
};

// How one field of a sent telegram is filled.
struct FieldSource {
  std::size_t param = 0;               // index in the sent telegram's params
  protocol::WireValue literal;         // numbers and tables (texts: `pieces`)
  int copy = -1;                       // a number copied whole from this trigger param
  std::vector<TextPiece> pieces;       // texts
};

struct ScenarioSend {
  const protocol::TelegramInfo* telegram = nullptr;
  std::chrono::milliseconds after{0};
  std::vector<FieldSource> fields;
  int line = 0;
};

struct ScenarioAnswer {
  const protocol::TelegramInfo* telegram = nullptr;  // nullptr: any `_M` telegram
  std::vector<std::pair<std::size_t, protocol::WireValue>> when;  // param index, value on the wire
  std::int32_t status = 0;
  std::chrono::milliseconds delay{0};
  unsigned every = 1;
  std::vector<ScenarioSend> then;
  int line = 0;
};

struct ScenarioTimer {
  ScenarioSend send;
  std::chrono::milliseconds every{0};
  std::chrono::milliseconds first{0};  // before the first send (default: `every`)
};

struct Scenario {
  std::string machine_name = "?";  // UTF-8
  std::string host_name = "?";
  std::string host_ip = "127.0.0.1";
  std::int32_t host_port = 3010;
  std::int32_t port = 3011;
  std::int32_t timeout = 5;
  std::int32_t default_status = 0;
  std::vector<ScenarioAnswer> answers;
  std::vector<ScenarioTimer> timers;
};

// Reads and checks a scenario. Texts are converted to the calling thread's code page. False with
// "FILE:LINE: what is wrong" in `error`.
bool load_scenario(const std::string& path, Scenario& out, std::string& error);
// The same from text; `name` stands for the file in messages.
bool parse_scenario(const std::string& text, const std::string& name, Scenario& out, std::string& error);

// Whether `answer` applies to this telegram (its "every" count is left to the caller).
bool answer_matches(const ScenarioAnswer& answer, const protocol::TelegramInfo& t,
                    std::span<const protocol::WireValue> values);

// The values of a send: defaults, pszHost/pszMachine from the scenario, then its fields with
// references resolved against the trigger (`trigger` may be null for timers).
std::vector<protocol::WireValue> build_send(const Scenario& s, const ScenarioSend& send,
                                            const protocol::TelegramInfo* trigger,
                                            std::span<const protocol::WireValue> trigger_values);

}  // namespace tarvik::cli
