// The ways the control and the managed library differ when they send telegrams. One copy of the
// sending code takes the difference as a value; each library passes its own.
#pragma once

#include "platform/codepage/codepage.h"

namespace tarvik::protocol {

struct ClientPolicy {
  // What a telegram returns when the runtime raised a failure during the call (unreachable
  // machine, time-out, lost connection, a null text refused by the stub).
  enum class FailureResult { runtime_status, server_unavailable /* always 1722 */ };
  // How MachineTimeout is taken when it is set.
  enum class TimeoutRule { clamp_0_to_9, unchecked };
  // Whether changing MachineIP, MachinePort or MachineTimeout to a different value drops the binding.
  enum class OnEndpointChange { drop_binding, keep_binding };
  // Both libraries start the host endpoint before every telegram; tools may send without one.
  enum class HostStart { before_every_telegram, never };

  codepage::Unmappable conversion;  // UTF-16 -> 8-bit for everything sent
  FailureResult failure_result;
  TimeoutRule timeout_rule;
  OnEndpointChange on_endpoint_change;
  HostStart host_start = HostStart::before_every_telegram;
};

inline constexpr ClientPolicy kControlPolicy{codepage::Unmappable::best_fit,
                                             ClientPolicy::FailureResult::runtime_status,
                                             ClientPolicy::TimeoutRule::clamp_0_to_9,
                                             ClientPolicy::OnEndpointChange::drop_binding,
                                             ClientPolicy::HostStart::before_every_telegram};
inline constexpr ClientPolicy kManagedPolicy{codepage::Unmappable::default_char,
                                             ClientPolicy::FailureResult::server_unavailable,
                                             ClientPolicy::TimeoutRule::unchecked,
                                             ClientPolicy::OnEndpointChange::keep_binding,
                                             ClientPolicy::HostStart::before_every_telegram};

}  // namespace tarvik::protocol
