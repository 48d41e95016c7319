// order_round_trip: C_ORDER_M through IDispatch::Invoke on a Machine object, sent to a machine in
// another process, timed here. bench/round_trip.py runs it against `tarvik_loadgen machine` and
// compares it with raw TCP ping-pong of the same bytes.
//
//   order_round_trip --machine-port P [--calls 5000]
//
// Prints {"calls":N,"failures":F,"seconds":S,"calls_per_s":R,"median_us":M,"p99_us":P}. The first call
// (which binds) is not timed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "control/machine.h"

namespace {

namespace com = tarvik::com;
namespace control = tarvik::control;

constexpr com::DispId kMachineId = 1, kMachineIp = 2, kMachinePort = 3, kHostId = 5, kHostPort = 6;
constexpr com::DispId kOrder = 25;

int usage() {
  std::fprintf(stderr, "usage: order_round_trip --machine-port P [--calls N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long port = -1, calls = 5000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--machine-port") == 0) port = std::strtol(argv[i + 1], nullptr, 10);
    else if (std::strcmp(argv[i], "--calls") == 0) calls = std::strtol(argv[i + 1], nullptr, 10);
    else return usage();
  }
  if (argc % 2 == 0 || port <= 0 || port > 65535 || calls <= 0) return usage();

  com::ComPtr<control::IMachine> m;
  if (com::create_object<control::CMachine>(nullptr, control::IMachine::kIid, m.put_void(),
                                            static_cast<com::ModuleUsage*>(nullptr)) != com::S_OK)
    return 3;
  auto text = [](const char16_t* s) { return com::Variant::bstr(com::BStr(s)); };
  com::put_property(m.get(), kMachineId, text(u"MC01"));
  com::put_property(m.get(), kMachineIp, text(u"127.0.0.1"));
  com::put_property(m.get(), kMachinePort, com::Variant::i4(static_cast<std::int32_t>(port)));
  com::put_property(m.get(), kHostId, text(u"HOST01"));
  com::put_property(m.get(), kHostPort, com::Variant::i4(0));
  // The same fields as bench/round_trip.py gives the raw baseline.
  const std::vector<com::Variant> args = {
      com::Variant::i4(7), com::Variant::i4(1), text(u"PART-0001"), text(u"FIXTURE"), text(u"NC1"), text(u"X"),
      com::Variant::i4(1), com::Variant::i4(2), com::Variant::i4(3), com::Variant::i4(4)};

  com::Variant ret;
  if (com::invoke(m.get(), kOrder, com::DISPATCH_METHOD, args, &ret) != com::S_OK || ret.as_i4() != 0) {
    std::fprintf(stderr, "order_round_trip: the first call failed (result %d)\n", ret.as_i4());
    return 1;
  }
  using Clock = std::chrono::steady_clock;
  std::vector<double> latency_us(static_cast<std::size_t>(calls));
  long failures = 0;
  const auto start = Clock::now();
  auto before = start;
  for (double& us : latency_us) {
    if (com::invoke(m.get(), kOrder, com::DISPATCH_METHOD, args, &ret) != com::S_OK || ret.as_i4() != 0) ++failures;
    const auto after = Clock::now();
    us = std::chrono::duration<double, std::micro>(after - before).count();
    before = after;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const auto at = [&](double q) {
    auto it = latency_us.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(latency_us.size() - 1));
    std::nth_element(latency_us.begin(), it, latency_us.end());
    return *it;
  };
  const double median = at(0.5), p99 = at(0.99);
  std::printf("{\"calls\":%ld,\"failures\":%ld,\"seconds\":%.4f,\"calls_per_s\":%.1f,\"median_us\":%.2f,\"p99_us\":%.2f}\n",
              calls, failures, seconds, calls / seconds, median, p99);
  return failures == 0 ? 0 : 1;
}
