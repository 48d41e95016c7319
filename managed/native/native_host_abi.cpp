// The host functions of the C ABI.
#include "managed/native/native_host.h"
#include "managed/native/native_text.h"

using tarvik::managed::managed_host;

extern "C" {

TarvikTelegramCallback tarvik_host_set_callback(TarvikTelegramCallback callback) {
  return managed_host().handler.exchange(callback);
}

int32_t tarvik_host_enable(void) { return managed_host().endpoint.enable(); }
int32_t tarvik_host_disable(void) { return managed_host().endpoint.disable(); }
int32_t tarvik_host_enabled(void) { return managed_host().endpoint.enabled() ? 1 : 0; }

void tarvik_host_set_id(const char16_t* host_id) {
  managed_host().endpoint.set_host_id(tarvik::managed::text_from(host_id));
}

void tarvik_host_set_port(int32_t port) { managed_host().endpoint.set_host_port(port); }
int32_t tarvik_host_port(void) { return managed_host().endpoint.host_port(); }
int32_t tarvik_host_listening_port(void) { return managed_host().endpoint.listening_port(); }

}  // extern "C"
