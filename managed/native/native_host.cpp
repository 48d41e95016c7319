#include "managed/native/native_host.h"

#include "platform/rpc/server.h"

#include <string>
#include <variant>
#include <vector>

namespace tarvik::managed {
namespace {

// The fields of one telegram as the callback takes them; owns the UTF-16 copies of its texts.
class FlatFields {
 public:
  void add_text(std::u16string text) {
    texts_.push_back(std::move(text));
    slots_.push_back({static_cast<int>(texts_.size() - 1), 0});
  }
  void add_number(std::int32_t n) { slots_.push_back({-1, n}); }

  // Valid while this object lives and is not changed.
  std::vector<TarvikField> fields() const {
    std::vector<TarvikField> out;
    out.reserve(slots_.size());
    for (const Slot& s : slots_) {
      if (s.text < 0) {
        out.push_back({nullptr, 0, s.number});
      } else {
        const std::u16string& text = texts_[static_cast<std::size_t>(s.text)];
        out.push_back({text.c_str(), static_cast<std::int32_t>(text.size()), 0});
      }
    }
    return out;
  }

 private:
  struct Slot {
    int text;  // index into texts_, -1 for a number
    std::int32_t number;
  };
  std::vector<std::u16string> texts_;
  std::vector<Slot> slots_;
};

}  // namespace

std::int32_t ManagedHostHandler::on_telegram(const protocol::IncomingTelegram& t) {
  const TarvikTelegramCallback callback = callback_.load();
  if (callback == nullptr) return protocol::kNoSuchMachine;

  // Texts are converted here, on the runtime thread, through that thread's code page.
  FlatFields flat;
  if (!t.info().params.empty()) {
    flat.add_text(t.host());
    flat.add_text(t.machine());
    for (protocol::EventArg& a : t.flattened()) {
      if (const auto* n = std::get_if<std::int32_t>(&a.value)) {
        flat.add_number(*n);
      } else {
        flat.add_text(std::move(std::get<std::u16string>(a.value)));
      }
    }
  }
  const std::vector<TarvikField> fields = flat.fields();
  // Mono waits at exit for every thread that entered managed code: this one must not stay for good.
  rpc::end_thread_when_idle();
  return callback(static_cast<std::int32_t>(t.info().opnum), fields.data(),
                  static_cast<std::int32_t>(fields.size()));
}

ManagedHost& managed_host() {
  static ManagedHost* const host = new ManagedHost();  // never destroyed, see the header
  return *host;
}

}  // namespace tarvik::managed
