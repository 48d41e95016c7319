#include "tools/command.h"

namespace tarvik::cli {

std::vector<std::unique_ptr<Command>> all_commands() {
  std::vector<std::unique_ptr<Command>> out;
  out.push_back(make_send_command());
  out.push_back(make_listen_command());
  out.push_back(make_machine_command());
  out.push_back(make_notify_command());
  out.push_back(make_replay_command());
  out.push_back(make_wireshark_dissector_command());
  out.push_back(make_typelib_command());
  out.push_back(make_regsvr_command());
  out.push_back(make_list_command());
  return out;
}

}  // namespace tarvik::cli
