// The program with the real RpcTarvik control (loaded through the manifest beside the test) against
// the independent peer serving as machine 1. The peer is started before each test and stopped after.
#pragma once

#include <QProcess>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "testprogram/app/com_machine_controls.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {

// Waits (pumping Qt's events) until `done` or until the bound of 400 rounds of 25 ms is spent.
template <class F>
bool wait_for(F done) {
  for (int i = 0; i < 400 && !done(); ++i) QTest::qWait(25);
  return done();
}

inline QString peer_script() { return QString::fromUtf8(TARVIK_PEER_DIR "/rpcpeer.py"); }

// A TCP port free on loopback just now, for the program's host server (the program, like any
// container, has no way to ask the control which port it chose for HostPort 0).
inline int free_loopback_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
    port = ntohs(addr.sin_port);
  if (fd >= 0) ::close(fd);
  return port;
}

class PeerMachineTest : public ProgramTest {
 protected:
  // Options of the peer's serve-machine beyond its port (a reply status, a delay, a call log).
  virtual QStringList peer_options() { return {}; }

  void SetUp() override {
    if (!std::filesystem::exists(peer_script().toStdString())) GTEST_SKIP() << "rpcpeer.py not found";
    const auto port_file = dir_ / "machine.port";
    machine_.start(QString::fromUtf8(TARVIK_PYTHON),
                   QStringList{peer_script(), "serve-machine", "--port", "0", "--port-file",
                               QString::fromStdString(port_file.string())} +
                       peer_options());
    ASSERT_TRUE(machine_.waitForStarted(10000));
    ASSERT_TRUE(wait_for([&] { return !slurp(port_file).empty(); })) << "the peer did not start listening";
    machine_port_ = std::stoi(slurp(port_file));
  }
  void TearDown() override {
    window_.reset();
    real_.remove_all();
    if (machine_.state() != QProcess::NotRunning) {
      machine_.kill();
      machine_.waitForFinished(10000);
    }
  }

  // Starts the program with the real control: its host on a free port, machine 1 the peer.
  frmRpcTarvikTest& start_real(const std::string& host_id, int machine_timeout) {
    host_port_ = free_loopback_port();
    write_settings("[Host]\nHostID=" + host_id + "\nHostPort=" + std::to_string(host_port_) +
                   "\n[Machine_1]\nMachineID=m1\nMachineIP=127.0.0.1\nMachinePort=" + std::to_string(machine_port_) +
                   "\nMachineTimeout=" + std::to_string(machine_timeout) + "\n");
    return start([this](ProgramContext& context) { context.machines = &real_; });
  }

  // Sends a telegram to the program's host endpoint as a machine, pumping this thread's events
  // meanwhile unless `pump` is false (a thread that is busy elsewhere).
  int call_host(const QStringList& telegram_and_values, bool pump = true) {
    QProcess call;
    call.start(QString::fromUtf8(TARVIK_PYTHON),
               QStringList{peer_script(), "call-host", "--port", QString::number(host_port_)} + telegram_and_values);
    // The control answers on its own threads, but the event reaches the window only through this
    // thread's event loop.
    if (pump)
      wait_for([&] { return call.state() == QProcess::NotRunning; });
    else
      call.waitForFinished(30000);
    return call.exitCode();
  }

  ComMachineControls real_;
  QProcess machine_;
  int machine_port_ = 0;
  int host_port_ = 0;
};

}  // namespace tarvik::testprogram
