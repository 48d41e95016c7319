// The fixture of the tests that feed telegrams into the host side: Machine objects with one recording
// sink each, a host server on a free port, and machines that call it from this or other threads.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/control_host.h"
#include "control/tests/machine_fixture.h"
#include "platform/com/event_sink.h"
#include "platform/rpc/client.h"
#include "protocol/telegram_call.h"
#include "protocol/wire_values.h"

namespace tarvik::control::test {

using protocol::WireValue;

// Calls an `_H` telegram over `binding` as a machine would: the call's status; `result` the long.
inline rpc::Status notify_status(rpc::Binding& binding, std::string_view telegram,
                                 std::vector<std::pair<std::string_view, WireValue>> fields,
                                 std::int32_t& result) {
  const protocol::TelegramInfo& t = *protocol::find_telegram(telegram);
  std::vector<WireValue> values = protocol::default_values(t);
  for (auto& [name, value] : fields) values[protocol::find_param(t, name) - t.params.data()] = std::move(value);
  return protocol::call_telegram(binding, t, values, result);
}

struct Received {
  int object;
  com::DispId id;
  std::vector<com::Variant> args;  // declaration order
  std::thread::id thread;
};

// Machine objects with one recording sink each, and a host server on a free port.
class HostTest : public ::testing::Test {
 protected:
  com::ComPtr<IMachine> add(std::u16string_view machine_id) {
    auto m = new_machine();
    put(m, Property::MachineID, text(machine_id));
    const int number = static_cast<int>(objects_.size()) + 1;
    auto sink = com::make_event_sink(
        kDiidIMachineEvents, [this, number](com::DispId id, std::span<const com::Variant> a) {
          received_.push_back({number, id, {a.begin(), a.end()}, std::this_thread::get_id()});
        });
    std::uint32_t cookie = 0;
    EXPECT_EQ(com::connect_events(m.get(), kDiidIMachineEvents, sink.get(), &cookie), com::S_OK);
    objects_.push_back(m);
    sinks_.push_back(sink);
    return m;
  }
  void start_host(std::u16string_view host_id) {
    put(objects_[0], Property::HostID, text(host_id));
    put(objects_[0], Property::HostPort, com::Variant::i4(0));
    ASSERT_EQ(put(objects_[0], Property::HostEnabled, com::Variant::boolean(true)), com::S_OK);
    binding_ = new_binding();
  }
  // Calls an `_H` telegram as a machine would; the returned long.
  std::int32_t notify(std::string_view telegram, std::vector<std::pair<std::string_view, WireValue>> fields) {
    std::int32_t result = 99;
    EXPECT_EQ(notify_status(*binding_, telegram, std::move(fields), result), rpc::RPC_S_OK);
    return result;
  }
  std::unique_ptr<rpc::Binding> new_binding() const {
    std::unique_ptr<rpc::Binding> b;
    std::int32_t port = 0;
    objects_[0].as<IControlHost>()->GetListeningPort(&port);
    EXPECT_NE(port, 0);
    EXPECT_EQ(rpc::binding_from_string_binding("ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]", b),
              rpc::RPC_S_OK);
    return b;
  }
  IntakeCounts counts() const {
    IntakeCounts c;
    EXPECT_EQ(objects_[0].as<IControlHost>()->GetIntakeCounts(&c), com::S_OK);
    return c;
  }
  int pump() {
    int n = 0;
    EXPECT_EQ(objects_[0].as<IControlHost>()->Pump(&n), com::S_OK);
    return n;
  }
  std::vector<int> receivers() const {
    std::vector<int> out;
    for (const auto& r : received_) out.push_back(r.object);
    return out;
  }

  std::vector<com::ComPtr<IMachine>> objects_;
  std::vector<com::ComPtr<com::IDispatch>> sinks_;
  std::vector<Received> received_;
  std::unique_ptr<rpc::Binding> binding_;
};

inline WireValue wtext(std::string s) {
  return protocol::WireText(std::move(s));
}

}  // namespace tarvik::control::test
