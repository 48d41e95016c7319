// A fake set of Machine controls for the window tests and the screenshot tour: it records what the
// windows create, set and call, answers with configurable results, and raises events on request.
#pragma once

#include <functional>
#include <map>
#include <span>
#include <vector>

#include "testprogram/app/machine_controls.h"

namespace tarvik::testprogram {

class FakeMachineControls final : public MachineControls {
 public:
  struct Put {
    int instance;
    com::DispId property;
    com::Variant value;
  };
  struct CallMade {
    int instance;
    com::DispId method;
    std::vector<com::Variant> args;
  };

  bool exists(int i) const override { return created.count(i) != 0; }
  com::HRESULT create(int i) override {
    if (exists(i)) return com::S_FALSE;
    if (com::failed(create_result)) return create_result;
    created[i] = ++creations;
    return com::S_OK;
  }
  com::HRESULT remove(int i) override {
    if (!exists(i)) return com::E_INVALIDARG;
    created.erase(i);
    return com::S_OK;
  }
  void remove_all() override { created.clear(); }
  com::HRESULT put_property(int i, com::DispId p, const com::Variant& v) override {
    if (!exists(i)) return com::E_INVALIDARG;
    puts.push_back({i, p, v});
    return p == machine_dispid::HostEnabled ? host_enable_result : com::S_OK;
  }
  com::HRESULT call(int i, com::DispId m, std::span<const com::Variant> args, com::Variant* result) override {
    if (!exists(i)) return com::E_INVALIDARG;
    if (during_call) during_call();
    if (com::failed(call_result)) return call_result;
    calls.push_back({i, m, {args.begin(), args.end()}});
    if (result) *result = com::Variant::i4(ret);
    return com::S_OK;
  }
  void set_event_handler(EventHandler h) override { handler = std::move(h); }

  void raise(int instance, com::DispId event, std::vector<com::Variant> args) {
    if (handler) handler(instance, event, args);
  }

  std::map<int, int> created;  // instance -> creation number
  int creations = 0;
  std::vector<Put> puts;
  std::vector<CallMade> calls;
  com::HRESULT host_enable_result = com::S_OK;
  com::HRESULT call_result = com::S_OK;
  com::HRESULT create_result = com::S_OK;
  std::function<void()> during_call;  // runs while a telegram method "waits for its machine"
  std::int32_t ret = 0;
  EventHandler handler;
};

}  // namespace tarvik::testprogram
