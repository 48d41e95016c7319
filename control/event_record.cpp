#include "control/event_record.h"

#include <algorithm>
#include <type_traits>

namespace tarvik::control {
namespace {

constexpr bool events_fit_a_record() {
  const auto all = protocol::telegrams();
  return std::all_of(all.begin(), all.end(),
                     [](const protocol::TelegramInfo& t) { return t.events.size() <= kMaxEventsPerTelegram; });
}
static_assert(events_fit_a_record());

com::Variant to_variant(protocol::EventValue&& value) {
  return std::visit(
      [](auto&& v) -> com::Variant {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::int32_t>) {
          return com::Variant::i4(v);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return com::Variant::bstr(com::BStr(std::move(v)));
        } else if constexpr (std::is_same_v<T, std::vector<std::int32_t>>) {
          std::vector<com::Variant> elements;
          elements.reserve(v.size());
          for (std::int32_t n : v) elements.push_back(com::Variant::i4(n));
          return com::Variant::array(std::move(elements));
        } else {
          std::vector<com::Variant> elements;
          elements.reserve(v.size());
          for (std::uint8_t b : v) elements.push_back(com::Variant::ui1(b));
          return com::Variant::array(std::move(elements));
        }
      },
      std::move(value));
}

}  // namespace

EventRecord make_event_record(const protocol::IncomingTelegram& t) {
  EventRecord record;
  record.telegram = &t.info();
  if (record.to_every_object()) return record;
  record.machine = t.machine();
  for (std::size_t i = 0; i < t.info().events.size(); ++i) {
    std::vector<protocol::EventArg> args = t.event_args(t.info().events[i]);
    std::vector<com::Variant>& out = record.args[i];
    out.reserve(args.size());
    for (protocol::EventArg& a : args) out.push_back(to_variant(std::move(a.value)));
  }
  return record;
}

}  // namespace tarvik::control
