// control_host: the smallest host program for the RpcTarvik control, a console container.
//
//   control_host --host-id HOST1 --host-port 3010 --machine MC01@192.0.2.10:3011 --machine MC02
//                [--queue-limit N] [--quiet] [--stats]
//
// Creates one Machine object per --machine, in order (objects numbered from 1), by its ProgID; sets
// MachineID (and MachineIP, MachinePort when given) through dispatch; sets HostID and HostPort on
// object 1, then HostEnabled. Prints {"listening":PORT} or {"error":STATUS}. Then, on this one
// thread, it waits for two things:
//   - the control's host queue: every event raised is printed as
//       {"object":N,"event":"RxMACHINExH","args":[...]}
//   - stdin lines "N METHOD ARG..." (arguments in the method's order, numbers as numbers, texts as
//     JSON strings, null for a null text): the method is called by its DISPID, found by name in the
//     type information, and {"object":N,"method":"C_ORDER_M","ret":R} is printed.
// End of input (or SIGTERM, SIGINT) releases the objects and ends the program. SIGUSR1 prints a
// statistics line at once, --stats prints one at the end:
//   {"stats":{"events":E,"answered":A,"raised":R,"unknown_machine":U,"drawn_only":D,"wrong_host":W,
//             "waited":T,"refused":F}}
// E counts the events the sinks received (printed or not: --quiet leaves the event lines out), the
// rest are the control's intake counts (IControlHost::GetIntakeCounts). --queue-limit sets how many
// records may wait in the control's queue before the machines' calls wait for room.
//
// The control is found through control_host.manifest beside the program, or through the registry.
#include "control/control_host.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "control/identities.h"
#include "json_lines.h"
#include "platform/com/activation.h"
#include "platform/com/class_info.h"
#include "platform/com/connection_point.h"
#include "platform/com/event_sink.h"
#include "platform/com/utf8.h"

using namespace tarvik;
using json = nlohmann::ordered_json;

namespace {

struct Options {
  std::string host_id = "?";
  std::int32_t host_port = 3010;
  struct Machine {
    std::string id, address;
    std::int32_t port = 0;  // 0: leave MachinePort at its default
  };
  std::vector<Machine> machines;
  std::int32_t queue_limit = 0;  // 0: the control's default
  bool quiet = false;
  bool stats = false;
};

// Everything goes to stdout through this buffer, written once per turn of the event loop.
control_host::JsonLines g_out;

void print(const json& line) {
  g_out.add(line.dump());
}

[[noreturn]] void usage(const std::string& why) {
  std::cerr << "control_host: " << why
            << "\nusage: control_host [--host-id H] [--host-port P] [--queue-limit N] [--quiet] [--stats]"
               " --machine ID[@ADDRESS:PORT]...\n";
  std::exit(2);
}

std::int32_t parse_port(const std::string& text) {
  std::size_t used = 0;
  int value = -1;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
  }
  if (used != text.size() || value < 0 || value > 65535) usage("not a port: " + text);
  return value;
}

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quiet" || arg == "--stats") {
      (arg == "--quiet" ? o.quiet : o.stats) = true;
      continue;
    }
    if (i + 1 >= argc) usage("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--host-id") {
      o.host_id = value;
    } else if (arg == "--host-port") {
      o.host_port = parse_port(value);
    } else if (arg == "--queue-limit") {
      std::size_t used = 0;
      long long n = 0;
      try {
        n = std::stoll(value, &used);
      } catch (const std::exception&) {
      }
      if (used != value.size() || n < 1 || n > INT32_MAX) usage("not a queue limit: " + value);
      o.queue_limit = static_cast<std::int32_t>(n);
    } else if (arg == "--machine") {
      Options::Machine m;
      const auto at = value.find('@');
      m.id = value.substr(0, at);
      if (at != std::string::npos) {
        const auto colon = value.rfind(':');
        if (colon == std::string::npos || colon < at) usage("expected ID@ADDRESS:PORT, got " + value);
        m.address = value.substr(at + 1, colon - at - 1);
        m.port = parse_port(value.substr(colon + 1));
      }
      o.machines.push_back(m);
    } else {
      usage("unknown option " + arg);
    }
  }
  if (o.machines.empty()) usage("at least one --machine is needed");
  return o;
}

com::Variant text(const std::string& utf8) {
  return com::Variant::bstr(com::BStr(com::from_utf8(utf8)));
}

json to_json(const com::Variant& v) {
  switch (v.type()) {
    case com::VT_I2:
      return v.as_i2();
    case com::VT_I4:
      return v.as_i4();
    case com::VT_UI1:
      return v.as_ui1();
    case com::VT_BOOL:
      return v.as_bool();
    case com::VT_BSTR:
      return v.as_bstr().is_null() ? json(nullptr) : json(com::to_utf8(v.as_bstr().view()));
    default:
      if (!v.is_array()) return nullptr;
      json a = json::array();
      for (const com::Variant& e : v.as_array()) a.push_back(to_json(e));
      return a;
  }
}

// Splits "N METHOD ARG..." into JSON values: texts are JSON strings (they may hold blanks), numbers
// and null are bare words.
std::vector<json> tokens(const std::string& line) {
  std::vector<json> out;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    std::size_t end = i;
    if (line[i] == '"') {
      for (end = i + 1; end < line.size() && line[end] != '"'; ++end)
        if (line[end] == '\\') ++end;
      ++end;
      out.push_back(json::parse(line.substr(i, end - i)));
    } else {
      while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
      const std::string word = line.substr(i, end - i);
      json v = json::parse(word, nullptr, false);
      out.push_back(v.is_discarded() ? json(word) : v);  // METHOD is a bare word
    }
    i = end;
  }
  return out;
}

bool fits_int32(const json& v) {
  if (v.is_number_unsigned()) return v.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT32_MAX);
  return v.is_number_integer() && v.get<std::int64_t>() >= INT32_MIN && v.get<std::int64_t>() <= INT32_MAX;
}

// One stdin line: calls the method by DISPID with the arguments converted to its parameter types.
json call_line(const std::vector<com::ComPtr<com::IDispatch>>& objects, const std::string& line) {
  const std::vector<json> t = tokens(line);
  if (t.size() < 2 || !t[0].is_number_integer() || !t[1].is_string())
    return {{"error", "expected N METHOD ARG..."}};
  const auto n = t[0].get<std::int64_t>();
  const std::string method = t[1].get<std::string>();
  if (n < 1 || n > static_cast<std::int64_t>(objects.size()))
    return {{"error", "no object " + std::to_string(n)}};
  com::IDispatch* target = objects[n - 1].get();

  std::shared_ptr<const com::InterfaceInfo> info;
  target->GetTypeInfo(0, com::kLocaleUserDefault, &info);
  const com::FunctionInfo* fn = info ? info->find(method) : nullptr;
  if (!fn || fn->kind != com::FuncKind::method) return {{"error", "no method " + method}};

  std::vector<com::Variant> args;
  for (std::size_t i = 2; i < t.size(); ++i) {
    if (t[i].is_null())
      args.push_back(com::Variant::bstr(com::BStr::null()));
    else if (t[i].is_string())
      args.push_back(text(t[i].get<std::string>()));
    else if (fits_int32(t[i]))
      args.push_back(com::Variant::i4(static_cast<std::int32_t>(t[i].get<std::int64_t>())));
    else
      return {{"error", "argument " + std::to_string(i - 1) + " is neither a 32-bit number nor a text"}};
  }
  com::Variant result;
  const com::HRESULT hr = com::invoke(target, fn->id, com::DISPATCH_METHOD, args, &result);
  json out = {{"object", n}, {"method", fn->name}};
  if (com::failed(hr))
    out["hresult"] = com::hresult_name(hr);
  else if (fn->retval())
    out["ret"] = to_json(result);
  return out;
}


json stats_line(std::uint64_t events, const control::IntakeCounts& c) {
  return {{"stats",
           {{"events", events},
            {"answered", c.answered},
            {"raised", c.raised},
            {"unknown_machine", c.unknown_machine},
            {"drawn_only", c.drawn_only},
            {"wrong_host", c.wrong_host},
            {"waited", c.waited},
            {"refused", c.refused}}}};
}

// SIGUSR1 (statistics) and the ending signals arrive as readable data on a descriptor, so the one
// thread handles them between events. Blocked before any other thread exists, so that none of the
// runtime's threads receives them instead.
int signal_descriptor() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGUSR1, SIGTERM, SIGINT}) sigaddset(&set, sig);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse_options(argc, argv);
  const int signal_fd = signal_descriptor();
  int exit_code = 0;
  std::uint64_t events_received = 0;
  {
    std::vector<com::ComPtr<com::IDispatch>> objects;
    std::vector<com::ComPtr<com::IDispatch>> sinks;
    std::shared_ptr<const com::InterfaceInfo> events;
    for (const Options::Machine& m : options.machines) {
      com::ComPtr<com::IDispatch> d;
      if (const com::HRESULT hr = com::create_instance(control::kVersionIndependentProgId, &d);
          com::failed(hr)) {
        std::cerr << "control_host: cannot create " << control::kVersionIndependentProgId << ": "
                  << com::hresult_name(hr) << '\n';
        return 1;
      }
      com::put_property(d.get(), com::dispid_of(d.get(), u"MachineID"), text(m.id));
      if (!m.address.empty()) {
        com::put_property(d.get(), com::dispid_of(d.get(), u"MachineIP"), text(m.address));
        com::put_property(d.get(), com::dispid_of(d.get(), u"MachinePort"), com::Variant::i4(m.port));
      }
      objects.push_back(d);
    }
    // The object names its own event interface, so events can be printed by name.
    events = com::default_source_interface(objects.front().get());

    // Event sinks: one per object, printing every event with its arguments in order.
    const bool quiet = options.quiet;
    for (std::size_t i = 0; i < objects.size(); ++i) {
      const std::size_t number = i + 1;
      auto sink = com::make_event_sink(control::kDiidIMachineEvents, [number, events, quiet, &events_received](
                                                                         com::DispId id,
                                                                         std::span<const com::Variant> args) {
        ++events_received;
        if (quiet) return;
        const com::FunctionInfo* fn = events ? events->find(id) : nullptr;
        g_out.add_event(number, fn ? fn->name : std::to_string(id), args);
      });
      std::uint32_t cookie = 0;
      com::connect_events(objects[i].get(), control::kDiidIMachineEvents, sink.get(), &cookie);
      sinks.push_back(sink);
    }

    com::IDispatch* first = objects.front().get();
    com::put_property(first, com::dispid_of(first, u"HostID"), text(options.host_id));
    com::put_property(first, com::dispid_of(first, u"HostPort"), com::Variant::i4(options.host_port));
    const com::ComPtr<control::IControlHost> host = objects.front().as<control::IControlHost>();
    if (options.queue_limit > 0) host->SetQueueLimit(options.queue_limit);
    const com::HRESULT enabled =
        com::put_property(first, com::dispid_of(first, u"HostEnabled"), com::Variant::boolean(true));
    if (com::succeeded(enabled)) {
      std::int32_t port = 0;
      host->GetListeningPort(&port);
      print({{"listening", port}});
    } else {
      print({{"error", enabled & 0xFFFF}});  // the RPC status under the 0x80010000 bits
    }
    const auto print_stats = [&] {
      control::IntakeCounts counts;
      host->GetIntakeCounts(&counts);
      print(stats_line(events_received, counts));
    };

    int queue_fd = -1;
    host->GetQueueDescriptor(&queue_fd);
    std::string pending_input;
    for (bool running = true; running;) {
      if (!g_out.flush(STDOUT_FILENO)) break;  // nobody reads our output any more
      pollfd fds[3] = {{STDIN_FILENO, POLLIN, 0}, {signal_fd, POLLIN, 0}, {queue_fd, POLLIN, 0}};
      if (poll(fds, queue_fd >= 0 ? 3 : 2, queue_fd >= 0 ? -1 : 50) < 0) continue;
      host->Pump(nullptr);
      if (fds[1].revents & POLLIN) {
        signalfd_siginfo info{};
        while (read(signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
          if (info.ssi_signo == SIGUSR1)
            print_stats();
          else
            running = false;
        }
      }
      if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[4096];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0)
          running = false;
        else
          pending_input.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t nl; (nl = pending_input.find('\n')) != std::string::npos;) {
          const std::string line = pending_input.substr(0, nl);
          pending_input.erase(0, nl + 1);
          if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
          try {
            print(call_line(objects, line));
          } catch (const json::exception& e) {
            print({{"error", e.what()}});
          }
          host->Pump(nullptr);  // events that arrived during the call come after its result
        }
      }
    }
    host->Pump(nullptr);
    if (options.stats) print_stats();
    g_out.flush(STDOUT_FILENO);
    for (std::size_t i = 0; i < objects.size(); ++i)
      com::disconnect_events(objects[i].get(), control::kDiidIMachineEvents, 1);
  }
  com::free_unused_modules();
  return exit_code;
}
