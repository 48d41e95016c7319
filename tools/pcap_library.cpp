#include "tools/pcap_library.h"

#include <dlfcn.h>

#include <mutex>

namespace tarvik::cli {
namespace {

// Debian's run-time package names the library after its old soname; the others are for other systems.
constexpr const char* kNames[] = {"libpcap.so.0.8", "libpcap.so.1", "libpcap.so"};

template <class F>
bool resolve(void* handle, const char* name, F& out, std::string& error) {
  out = reinterpret_cast<F>(::dlsym(handle, name));
  if (out == nullptr) error = std::string("libpcap has no ") + name;
  return out != nullptr;
}

struct Loaded {
  PcapLibrary lib{};
  std::string error;
  bool ok = false;

  Loaded() {
    void* handle = nullptr;
    for (const char* name : kNames)
      if ((handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    if (handle == nullptr) {
      error = "cannot load libpcap (install the libpcap0.8 package): ";
      const char* why = ::dlerror();
      error += why ? why : "not found";
      return;
    }
    ok = resolve(handle, "pcap_open_dead", lib.open_dead, error) &&
         resolve(handle, "pcap_open_offline", lib.open_offline, error) &&
         resolve(handle, "pcap_fopen_offline", lib.fopen_offline, error) &&
         resolve(handle, "pcap_close", lib.close, error) && resolve(handle, "pcap_geterr", lib.geterr, error) &&
         resolve(handle, "pcap_datalink", lib.datalink, error) &&
         resolve(handle, "pcap_datalink_val_to_name", lib.datalink_val_to_name, error) &&
         resolve(handle, "pcap_next_ex", lib.next_ex, error) &&
         resolve(handle, "pcap_dump_open", lib.dump_open, error) && resolve(handle, "pcap_dump", lib.dump, error) &&
         resolve(handle, "pcap_dump_flush", lib.dump_flush, error) &&
         resolve(handle, "pcap_dump_close", lib.dump_close, error);
    // The handle stays open for the life of the process: captures may be written until exit.
  }
};

}  // namespace

const PcapLibrary* pcap_library(std::string& error) {
  static const Loaded* loaded = new Loaded;  // never unloaded (see above); thread-safe first use
  if (!loaded->ok) {
    error = loaded->error;
    return nullptr;
  }
  return &loaded->lib;
}

}  // namespace tarvik::cli
