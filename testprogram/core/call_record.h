// clsRpcData: the call record of one telegram, formatted as text while its values are added.
//
// Layout (every line ends in CR LF):
//   dd.mm.yyyy hh:mm:ss  NAME       Ret=0            head line; "       Ret=..." only with a result
//             OrderNum->7   Machine->"M1"   ...     value lines: ten blanks, then value pieces
// Pieces: numbers  Name->7 + three blanks; texts  Name->"text" + three blanks;
//         lists    name( 0 ... 9 ) -> e1 e2 ... + three blanks, each element followed by one blank, a
//                  byte written as its character in the ANSI code page ("0" for a zero byte).
// A piece that would make the current line at least as wide as the echo box (TextMeasure) starts a
// new value line, so the file and the window wrap alike.
//
// Owned by the caller and used on one thread (the UI thread); the TextMeasure it is given must outlive
// it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "testprogram/core/date_text.h"
#include "testprogram/core/rpc_value.h"
#include "testprogram/core/text_measure.h"

namespace tarvik::testprogram {

using RpcParams = std::vector<std::pair<std::string, RpcValue>>;

class clsRpcData {
 public:
  using Clock = std::function<LocalDateTime()>;

  // `measure` may be null: then lines never wrap. `clock` gives the time of the head line.
  explicit clsRpcData(const TextMeasure* measure = nullptr, Clock clock = current_local_date_time);

  // Starts the record: the head line with the present time, RpcName and, if given, the result. Drops
  // whatever an earlier call built.
  void set_rpc_name(std::string_view RpcName, std::optional<std::int32_t> RetValue = std::nullopt);

  // Adds one value under its name. A name already in the record (letter case ignored) is refused:
  // false, and the record is unchanged.
  bool add_rpc_param(std::string_view RpcParamName, RpcValue RpcParamData);

  // Completes the record and returns its text; a second call returns the same text.
  const std::string& get_as_string();

  const std::string& get_rpc_name() const { return rpc_name_; }
  const RpcParams& get_rpc_params() const { return params_; }

  // The time stamp of a head line: "dd.mm.yyyy hh:mm:ss".
  static std::string format_time_stamp(const LocalDateTime& when);
  // One value piece as described above, three trailing blanks included.
  static std::string format_piece(std::string_view name, const RpcValue& value);

 private:
  const TextMeasure* measure_;
  Clock clock_;
  std::string rpc_name_;
  std::string text_;
  std::string current_line_;
  RpcParams params_;
};

}  // namespace tarvik::testprogram
