// `--pcap FILE`: records every byte this process's RPC connections send and receive as a capture
// file (libpcap format, Ethernet link type) with synthetic TCP framing, so that the usual network
// analysers open it and decode it as DCE RPC. No privileges needed: the bytes come from the
// runtime's wire tap, not from the network interface.
//
// Each connection starts with a synthetic three-way handshake, sent by the side whose bytes come
// first (the client's bind); a later connection from a client port used again gets its own. When both ends of a connection live in this process, only the first
// side seen is written, so nothing appears twice.
#pragma once

#include <string>

namespace tarvik::cli {

// Opens FILE and starts recording; false with a message when the file cannot be written.
// One recording per process at a time.
bool start_capture(const std::string& path, std::string& error);
// Stops recording and closes the file (everything recorded so far is already on disk: every
// packet is flushed as it is written). Harmless when nothing is recorded.
void stop_capture();

// What a command does with its --pcap option: records to `path` unless it is empty, and stops
// when the command is done. start() prints the reason on stderr when it fails.
class ScopedCapture {
 public:
  ScopedCapture() = default;
  ScopedCapture(const ScopedCapture&) = delete;
  ScopedCapture& operator=(const ScopedCapture&) = delete;
  ~ScopedCapture() {
    if (active_) stop_capture();
  }
  bool start(const std::string& path);

 private:
  bool active_ = false;
};

inline constexpr const char* kPcapHelp = "Record every PDU exchanged into this capture file (pcap)";

}  // namespace tarvik::cli
