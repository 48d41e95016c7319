// `_H` intake into a managed event handler: machines (one connection per benchmark thread) send
// R_MESSAGE_H to a Mono process whose MachineClass raises RxMESSAGExH into a counting handler, against
// a raw TCP exchange of the same byte counts measured in the same run (BM_RawTcpHostIntake).
// bench/report.py pairs them by thread count.
//
//   build/bench/managed_intake/managed_intake_bench --benchmark_format=json > intake.json
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/loops.h"
#include "bench/raw_tcp.h"
#include "platform/rpc/client.h"
#include "platform/rpc/pdu.h"
#include "protocol/stub_codec.h"
#include "protocol/telegram_call.h"
#include "protocol/wire_values.h"

extern char** environ;

namespace {

namespace protocol = tarvik::protocol;
namespace rpc = tarvik::rpc;

const protocol::TelegramInfo& telegram() { return *protocol::find_telegram("R_MESSAGE_H"); }

std::vector<protocol::WireValue> request_values() {
  std::vector<protocol::WireValue> v = protocol::default_values(telegram());
  v[0] = protocol::WireText{"HB"};
  v[1] = protocol::WireText{"MC"};
  v[2] = 7;
  v[3] = protocol::WireText{"message"};
  return v;
}

std::size_t request_pdu_size() {
  std::vector<std::uint8_t> stub;
  if (protocol::marshal_request(telegram(), request_values(), stub) != rpc::RPC_S_OK) std::abort();
  return rpc::kRequestHeaderSize + stub.size();
}

// The Mono process, started once for the run and stopped (its stdin closed) at exit.
class IntakeProcess {
 public:
  IntakeProcess() {
    int out[2], in[2];
    if (pipe(out) != 0 || pipe(in) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string exe = TARVIK_INTAKE_HOST_EXE;
    std::string mono = TARVIK_MONO;
    char* argv[] = {mono.data(), exe.data(), nullptr};
    if (posix_spawn(&pid_, mono.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = fdopen(out[0], "r");
    if (std::fscanf(stdout_, "%hu", &port_) != 1 || port_ == 0) std::abort();
  }
  ~IntakeProcess() {
    close(stdin_);
    int status = 0;
    waitpid(pid_, &status, 0);
    std::fclose(stdout_);
  }
  std::uint16_t port() const { return port_; }

 private:
  pid_t pid_ = 0;
  int stdin_ = -1;
  std::FILE* stdout_ = nullptr;
  std::uint16_t port_ = 0;
};

IntakeProcess& intake() {
  static IntakeProcess process;
  return process;
}

tarvik::bench::EchoServer& echo_server() {
  static tarvik::bench::EchoServer server(request_pdu_size(), rpc::kResponseHeaderSize + 4);
  return server;
}

void BM_ManagedEventIntake(benchmark::State& state) {
  tarvik::bench::telegram_calls(state, intake().port(), telegram(), request_values());
}

void BM_RawTcpHostIntake(benchmark::State& state) {
  tarvik::bench::raw_round_trips(state, echo_server(), request_pdu_size(), rpc::kResponseHeaderSize + 4);
}

BENCHMARK(BM_RawTcpHostIntake)->UseRealTime()->Threads(8)->Threads(64);
BENCHMARK(BM_ManagedEventIntake)->UseRealTime()->Threads(8)->Threads(64);

}  // namespace

BENCHMARK_MAIN();
