#include "protocol/incoming_telegram.h"

#include <array>

namespace tarvik::protocol {
namespace {

// Built once; every telegram's names stay for the life of the program.
const std::array<std::vector<std::string>, kTelegramCount>& all_flattened_names() {
  static const auto names = [] {
    std::array<std::vector<std::string>, kTelegramCount> out;
    for (std::size_t i = 0; i < kTelegramCount; ++i) {
      for (const Param& p : kTelegrams[i].own_params()) {
        if (!p.is_table()) {
          out[i].emplace_back(p.field);
          continue;
        }
        for (unsigned k = 1; k <= p.count; ++k) out[i].push_back(std::string(p.field) + std::to_string(k));
      }
    }
    return out;
  }();
  return names;
}

// Builds each argument in place: moving a temporary variant into the vector trips GCC 12's
// -Wmaybe-uninitialized on the variant's inactive members.
template <typename T, typename V>
void add(std::vector<EventArg>& args, std::string_view name, V&& value) {
  EventArg& a = args.emplace_back();
  a.name = name;
  a.value.emplace<T>(std::forward<V>(value));
}

std::string_view text_of(const WireValue& v) {
  const WireText& t = std::get<WireText>(v);
  return t ? std::string_view(*t) : std::string_view();
}

}  // namespace

std::span<const std::string> flattened_names(const TelegramInfo& t) {
  return all_flattened_names()[static_cast<std::size_t>(&t - kTelegrams)];
}

std::string_view IncomingTelegram::host_bytes() const {
  return values_.empty() ? std::string_view() : text_of(values_[0]);
}
std::string_view IncomingTelegram::machine_bytes() const {
  return values_.size() < 2 ? std::string_view() : text_of(values_[1]);
}
std::int32_t IncomingTelegram::order_num() const {
  return values_.size() < 3 ? 0 : std::get<std::int32_t>(values_[2]);
}

bool IncomingTelegram::host_is(const std::optional<std::u16string>& host_id, codepage::Unmappable mode) const {
  const std::string expected = host_id ? codepage::to_ansi(*host_id, mode) : std::string();
  return expected == host_bytes();
}

std::vector<EventArg> IncomingTelegram::event_args(const Event& event) const {
  const auto own = info_.own_params();
  const auto flat_names = flattened_names(info_);
  std::vector<EventArg> out;
  out.reserve(event_arg_count(info_, event));
  std::size_t flat = 0;  // index into flat_names
  for (std::size_t i = 0; i < own.size(); ++i) {
    const Param& p = own[i];
    const WireValue& v = values_[i + 2];
    switch (p.kind) {
      case Kind::text:
        add<std::u16string>(out, flat_names[flat++], codepage::from_ansi(text_of(v)));
        break;
      case Kind::number:
        add<std::int32_t>(out, flat_names[flat++], std::get<std::int32_t>(v));
        break;
      case Kind::number_table: {
        const auto& numbers = std::get<std::vector<std::int32_t>>(v);
        if (event.whole_tables) {
          add<std::vector<std::int32_t>>(out, p.field, numbers);
        } else {
          for (std::int32_t n : numbers) add<std::int32_t>(out, flat_names[flat++], n);
        }
        break;
      }
      case Kind::name_table: {
        // No event takes a name table whole: each slot becomes its own text.
        for (const std::string& name : std::get<NameTable>(v))
          add<std::u16string>(out, flat_names[flat++], codepage::from_ansi(name));
        break;
      }
      case Kind::byte_table: {
        const auto& bytes = std::get<std::vector<std::uint8_t>>(v);
        if (event.whole_tables) {
          add<std::vector<std::uint8_t>>(out, p.field, bytes);
        } else {
          for (std::uint8_t b : bytes) add<std::int32_t>(out, flat_names[flat++], std::int32_t{b});
        }
        break;
      }
    }
    if (event.whole_tables && p.is_table() && p.kind != Kind::name_table) flat += p.count;
  }
  return out;
}

std::vector<EventArg> IncomingTelegram::flattened() const {
  static constexpr Event kFlat{"", 0, false};
  return event_args(kFlat);
}

}  // namespace tarvik::protocol
