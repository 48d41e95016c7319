// libpcap, loaded when a capture is first written or read. Most runs of `tarvik` (a host listening
// for telegrams, a machine simulator) never touch a capture, and linking libpcap would map it and
// the eight libraries it pulls in (about 1 MiB of a 5 MiB idle process) into every one of them.
#pragma once

#include <pcap/pcap.h>

#include <string>

namespace tarvik::cli {

struct PcapLibrary {
  decltype(&::pcap_open_dead) open_dead;
  decltype(&::pcap_open_offline) open_offline;
  decltype(&::pcap_fopen_offline) fopen_offline;
  decltype(&::pcap_close) close;
  decltype(&::pcap_geterr) geterr;
  decltype(&::pcap_datalink) datalink;
  decltype(&::pcap_datalink_val_to_name) datalink_val_to_name;
  decltype(&::pcap_next_ex) next_ex;
  decltype(&::pcap_dump_open) dump_open;
  decltype(&::pcap_dump) dump;
  decltype(&::pcap_dump_flush) dump_flush;
  decltype(&::pcap_dump_close) dump_close;
};

// The library, loaded on the first call; nullptr with `error` saying why when it cannot be.
const PcapLibrary* pcap_library(std::string& error);

}  // namespace tarvik::cli
