#include "control/event_record.h"

#include <algorithm>
#include <type_traits>

namespace tarvik::control {
namespace {

com::Variant to_variant(const protocol::EventValue& value) {
  return std::visit(
      [](const auto& v) -> com::Variant {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::int32_t>) {
          return com::Variant::i4(v);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return com::Variant::bstr(com::BStr(v));
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
      value);
}

}  // namespace

EventRecord make_event_record(const protocol::IncomingTelegram& t, const protocol::Event& event) {
  std::vector<protocol::EventArg> args = t.event_args(event);
  EventRecord record;
  record.reserve(args.size() + 2);
  record.push_back(com::Variant::i4(static_cast<std::int32_t>(args.size())));
  record.push_back(com::Variant::bstr(com::BStr(t.machine())));
  for (auto it = args.rbegin(); it != args.rend(); ++it) record.push_back(to_variant(it->value));
  return record;
}

std::size_t record_argument_count(const EventRecord& record) {
  if (record.size() < 2 || record[0].type() != com::VT_I4) return 0;
  const std::int32_t n = record[0].as_i4();
  if (n < 0 || static_cast<std::size_t>(n) != record.size() - 2) return 0;
  return static_cast<std::size_t>(n);
}

com::BStr record_machine_name(const EventRecord& record) {
  if (record.size() < 2 || record[1].type() != com::VT_BSTR) return com::BStr(u"");
  return record[1].as_bstr();
}

std::span<const com::Variant> record_arguments(const EventRecord& record) {
  const std::size_t n = record_argument_count(record);
  return n == 0 ? std::span<const com::Variant>() : std::span<const com::Variant>(record).subspan(2, n);
}

}  // namespace tarvik::control
