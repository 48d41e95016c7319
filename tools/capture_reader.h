// Reads a capture file (pcap or pcapng, through libpcap) taken anywhere on the way between host
// and machines, and returns the DCE RPC calls in it in the order their requests completed:
// link layers Ethernet (with VLAN tags), Linux cooked (v1 and v2), BSD loopback and raw IP;
// IPv4 and IPv6; TCP streams put back in order (retransmissions dropped, segments that arrive
// early held back) and handed to one RpcConversation per connection.
//
// The file is untrusted: anything malformed or cut short inside a TCP stream that carries DCE
// RPC is an error naming the packet ("packet 17: ..."), never a crash. Packets of other protocols
// are skipped.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/rpc_conversation.h"

namespace tarvik::cli {

struct CaptureContents {
  std::vector<CapturedCall> calls;
  std::size_t packets = 0;
  std::size_t connections = 0;  // TCP connections seen (DCE RPC or not)
};

// False with a message for people when the file cannot be read or is malformed.
bool read_capture_file(const std::string& path, CaptureContents& out, std::string& error);
// The same from an open stream, which is closed in every case.
bool read_capture_stream(std::FILE* file, CaptureContents& out, std::string& error);

}  // namespace tarvik::cli
