#include "tests/support/telegram_round_trip.h"

#include <span>
#include <vector>

#include "protocol/incoming_telegram.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_json.h"

namespace tarvik::test {

using namespace protocol;

bool telegram_round_trip_holds(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return true;
  const TelegramInfo& t = kTelegrams[data[0] % kTelegramCount];
  const auto order = (data[0] / kTelegramCount) % 2 ? rpc::ByteOrder::big : rpc::ByteOrder::little;
  const std::span<const std::uint8_t> stub(data + 1, size - 1);

  std::vector<WireValue> values;
  const rpc::Status s = unmarshal_request(t, stub, order, values);
  if (s != rpc::RPC_S_OK) return s == rpc::RPC_X_BAD_STUB_DATA && values.empty();

  // Whatever we accept, we can send again, and it reads back the same.
  std::vector<std::uint8_t> first;
  if (marshal_request(t, values, first) != rpc::RPC_S_OK) return false;
  std::vector<WireValue> again;
  if (unmarshal_request(t, first, rpc::ByteOrder::little, again) != rpc::RPC_S_OK || again != values) return false;
  std::vector<std::uint8_t> second;
  if (marshal_request(t, again, second) != rpc::RPC_S_OK || second != first) return false;
  if (first.size() > stub.size() + 3 * t.params.size()) return false;  // never more than input plus padding

  // The views handlers and printers take must cope with any accepted content.
  const IncomingTelegram in(t, values);
  for (const Event& e : t.events)
    if (in.event_args(e).size() != event_arg_count(t, e)) return false;
  return telegram_to_json(t, values, 1252).size() == t.params.size() + 2;
}

}  // namespace tarvik::test
