// A Wireshark dissector in Lua for the two telegram interfaces, generated from the telegram table:
// it names the interface and the telegram of every DCE RPC request and response, every field with
// its value (texts through the code page chosen at generation, tables as lists) and the returned
// status or fault. It runs after Wireshark's own DCE RPC dissector (as a post-dissector reading
// its fields), so TCP reassembly and DCE RPC fragment reassembly are Wireshark's.
#pragma once

#include <string>

#include "platform/codepage/codepage.h"

namespace tarvik::cli {

std::string wireshark_dissector_lua(codepage::CodePage cp);

}  // namespace tarvik::cli
