// A telegram from a machine that arrives while the window's thread is busy: the real control answers
// the machine at once on its own threads and queues the telegram; a send to a slow machine made
// meanwhile does not raise it in the middle of the call; right after the send the window shows and
// logs it, behind the send's own record, and nothing is lost.
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "testprogram/app/com_machine_controls.h"
#include "testprogram/app/incoming_form.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

constexpr int kMachineDelayMs = 1500;  // how long the machine takes to answer each call

QString peer_script() { return QString::fromUtf8(TARVIK_PEER_DIR "/rpcpeer.py"); }

int free_loopback_port() {
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

class IncomingDuringSendTest : public ProgramTest {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(peer_script().toStdString())) GTEST_SKIP() << "rpcpeer.py not found";
    const auto port_file = dir_ / "machine.port";
    machine_.start(QString::fromUtf8(TARVIK_PYTHON),
                   {peer_script(), "serve-machine", "--port", "0", "--port-file", QString::fromStdString(port_file.string()),
                    "--delay-ms", QString::number(kMachineDelayMs)});
    ASSERT_TRUE(machine_.waitForStarted(10000));
    for (int i = 0; i < 400 && slurp(port_file).empty(); ++i) QTest::qWait(25);
    ASSERT_FALSE(slurp(port_file).empty()) << "the peer did not start listening";
    machine_port_ = std::stoi(slurp(port_file));
  }
  void TearDown() override {
    window_.reset();
    real_.remove_all();
    for (QProcess* p : {&caller_, &machine_}) {
      if (p->state() == QProcess::NotRunning) continue;
      p->kill();
      p->waitForFinished(10000);
    }
  }

  ComMachineControls real_;
  QProcess machine_;
  QProcess caller_;
  int machine_port_ = 0;
};

TEST_F(IncomingDuringSendTest, IsAnsweredAtOnceAndShownRightAfterTheSend) {
  const int host_port = free_loopback_port();
  ASSERT_NE(host_port, 0);
  write_settings("[Host]\nHostID=HOSTQ\nHostPort=" + std::to_string(host_port) +
                 "\n[Machine_1]\nMachineID=m1\nMachineIP=127.0.0.1\nMachinePort=" + std::to_string(machine_port_) +
                 "\nMachineTimeout=5\n");
  start([this](ProgramContext& context) { context.machines = &real_; });
  ASSERT_TRUE(prompts_.shown.empty()) << prompts_.shown[0].text.toStdString();

  // The machine reports while this thread is busy (blocked here, as it is during a send): the
  // control answers on its own threads and queues the telegram for the window.
  caller_.start(QString::fromUtf8(TARVIK_PYTHON),
                {peer_script(), "call-host", "--port", QString::number(host_port), "R_MESSAGE_H", "pszHost=HOSTQ",
                 "pszMachine=m1", "OrderNum=77", "pszMessage=queued"});
  ASSERT_TRUE(caller_.waitForFinished(30000));
  EXPECT_EQ(caller_.exitCode(), 0) << caller_.readAllStandardError().toStdString();

  // A send to the slow machine: the queued telegram is not raised inside it.
  QElapsedTimer sending;
  sending.start();
  send("T_TPS_M");
  EXPECT_GE(sending.elapsed(), kMachineDelayMs - 100);
  EXPECT_EQ(window_->status_text(), QStringLiteral("T_TPS_M    Ret = 0"));
  EXPECT_EQ(window_->open_incoming_form("R_MESSAGE_H"), nullptr);

  // Right after, the event loop raises it: its form opens and its record follows the send's.
  for (int i = 0; i < 400 && window_->open_incoming_form("R_MESSAGE_H") == nullptr; ++i) QTest::qWait(25);
  IncomingForm* form = window_->open_incoming_form("R_MESSAGE_H");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->value_label("lblOrderNum")->text(), QStringLiteral("77"));
  const std::string log = log_text();
  const auto sent_at = log.find("T_TPS_M");
  const auto received_at = log.find("R_MESSAGE_H");
  ASSERT_NE(sent_at, std::string::npos) << log;
  ASSERT_NE(received_at, std::string::npos) << log;
  EXPECT_LT(sent_at, received_at) << log;
}

}  // namespace
}  // namespace tarvik::testprogram
