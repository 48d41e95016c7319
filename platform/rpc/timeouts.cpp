// Communication time-out levels and the deadline each one gives a call.
//
// The levels are relative (0 shortest, 5 default, 9 longest, 10 unlimited). We give them the seconds
// of the DCE reference runtime's datagram table, the only such table in reference sources, and apply
// the deadline to the whole call: connecting, binding, sending and receiving the complete response.
// docs/runtime.md records the table.
#include <array>

#include "platform/rpc/client.h"

namespace tarvik::rpc {
namespace {

constexpr std::array<std::chrono::milliseconds, kInfiniteTimeout> kDeadlines{
    std::chrono::seconds(1),   std::chrono::seconds(2),   std::chrono::seconds(4),  std::chrono::seconds(8),
    std::chrono::seconds(15),  std::chrono::seconds(30),  std::chrono::seconds(60), std::chrono::seconds(120),
    std::chrono::seconds(240), std::chrono::seconds(480),
};

}  // namespace

std::chrono::milliseconds timeout_for_level(unsigned level) {
  if (level < kDeadlines.size()) return kDeadlines[level];
  return std::chrono::milliseconds::zero();  // level 10: no limit (levels above 10 are refused earlier)
}

}  // namespace tarvik::rpc
