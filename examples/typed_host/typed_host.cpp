// typed_host: a C++ host program that calls the Machine control's telegram methods directly
// through IMachine, with typed arguments, instead of by DISPID.
//
//   typed_host ADDRESS PORT [HOST_PORT]
//
// Creates one Machine object by its ProgID, names host and machine, points it at ADDRESS:PORT, sends
// C_MODE_M and C_ORDER_M and prints each `ret`: the machine's result, or an RPC status (1722 when
// nobody answers there). HOST_PORT (default 0, a free port) is where the host server listens.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/imachine.h"
#include "control/identities.h"
#include "platform/com/activation.h"
#include "platform/com/utf8.h"

using namespace tarvik;

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: typed_host ADDRESS PORT [HOST_PORT]\n");
    return 2;
  }
  com::ComPtr<control::IMachine> machine;
  if (com::failed(com::create_instance(control::kVersionIndependentProgId, &machine))) {
    std::fprintf(stderr, "typed_host: cannot create the Machine control\n");
    return 1;
  }

  machine->put_HostID(u"HOST1");
  machine->put_HostPort(argc == 4 ? std::atoi(argv[3]) : 0);
  machine->put_MachineID(u"mc01");  // held as MC01
  machine->put_MachineIP(com::from_utf8(argv[1]));
  machine->put_MachinePort(std::atoi(argv[2]));

  std::int32_t ret = 0;
  machine->C_MODE_M(/*OrderNum*/ 1, /*Mode*/ 2, &ret);
  std::printf("C_MODE_M ret=%d\n", ret);
  machine->C_ORDER_M(/*OrderNum*/ 2, /*SFkt*/ 1, u"PART01", u"", u"", u"", /*Parameter1..4*/ 250, 0, 0, 0, &ret);
  std::printf("C_ORDER_M ret=%d\n", ret);
  machine->Shutdown_M();  // no arguments and no result
  return 0;
}
