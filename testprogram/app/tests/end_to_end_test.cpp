// The program with the real RpcTarvik control, loaded through the manifest beside this test, against
// the independent peer: send forms reach a machine served by the peer, telegrams the peer sends as a
// machine arrive as events and pop up their forms. And the single-instance rule of the real program.
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/com/activation.h"
#include "testprogram/app/com_machine_controls.h"
#include "testprogram/app/incoming_form.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

// Waits (pumping Qt's events) until `done` or until the bound of 400 rounds of 25 ms is spent.
template <class F>
bool wait_for(F done) {
  for (int i = 0; i < 400 && !done(); ++i) QTest::qWait(25);
  return done();
}

QString peer_script() { return QString::fromUtf8(TARVIK_PEER_DIR "/rpcpeer.py"); }

// A TCP port free on loopback just now, for the program's host server (the program, like any
// container, has no way to ask the control which port it chose for HostPort 0).
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

class EndToEndTest : public ProgramTest {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(peer_script().toStdString())) GTEST_SKIP() << "rpcpeer.py not found";
    const auto port_file = dir_ / "machine.port";
    jsonl_ = dir_ / "calls.jsonl";
    machine_.start(QString::fromUtf8(TARVIK_PYTHON),
                   {peer_script(), "serve-machine", "--port", "0", "--port-file", QString::fromStdString(port_file.string()),
                    "--jsonl", QString::fromStdString(jsonl_.string()), "--status-for", "T_TPS_M=5"});
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

  frmRpcTarvikTest& start_real() {
    host_port_ = free_loopback_port();
    write_settings("[Host]\nHostID=HOSTE2E\nHostPort=" + std::to_string(host_port_) + "\n[Machine_1]\nMachineID=m1\nMachineIP=127.0.0.1\nMachinePort=" +
                  std::to_string(machine_port_) + "\nMachineTimeout=3\n");
    return start([this](ProgramContext& context) { context.machines = &real_; });
  }

  // Sends a telegram to the program's host endpoint as machine `machine`.
  int call_host(const QStringList& telegram_and_values) {
    QProcess call;
    call.start(QString::fromUtf8(TARVIK_PYTHON),
               QStringList{peer_script(), "call-host", "--port", QString::number(host_port_)} +
                   telegram_and_values);
    // Pump while the peer waits for its answer: the control answers on its own threads, but the
    // event reaches the window only through this thread's event loop.
    wait_for([&] { return call.state() == QProcess::NotRunning; });
    return call.exitCode();
  }

  ComMachineControls real_;
  QProcess machine_;
  std::filesystem::path jsonl_;
  int machine_port_ = 0;
  int host_port_ = 0;
};

// Both directions through the real control: the peer's machine sees what a send form sent and its
// result comes back; a telegram the peer sends as a machine pops up its form and is logged. (Arrays
// and the host-name check are proven in the control's own tests.)
TEST_F(EndToEndTest, SendFormsReachTheMachineAndTelegramsFromItPopUpTheirForms) {
  start_real();
  ASSERT_TRUE(prompts_.shown.empty()) << prompts_.shown[0].text.toStdString();
  SendForm* form = open("T_DATA_M");
  type(form, "txtOrderNum", QStringLiteral("-2"));
  type(form, "cboSFkt", QStringLiteral("7: words"));
  type(form, "txtName1", QStringLiteral("Mä"));
  ok(form);
  EXPECT_EQ(window_->status_text(), QStringLiteral("T_DATA_M    Ret = 0"));
  ASSERT_TRUE(wait_for([&] { return slurp(jsonl_).find("T_DATA_M") != std::string::npos; }));
  const std::string line = slurp(jsonl_);
  EXPECT_NE(line.find(R"("pszHost": "HOSTE2E", "pszMachine": "M1", "OrderNum": -2, "SFkt": 7, "Name1": "M\u00e4")"),
            std::string::npos)
      << line;
  send("T_TPS_M");
  EXPECT_EQ(window_->status_text(), QStringLiteral("T_TPS_M    Ret = 5"));

  ASSERT_NE(host_port_, 0);
  EXPECT_EQ(call_host({"R_DATA_H", "pszHost=HOSTE2E", "pszMachine=m1", "OrderNum=-9", "SFkt=7", "pszName1=abc",
                      "Date=60", "LastFile=1"}),
            0);
  ASSERT_TRUE(wait_for([&] { return window_->open_incoming_form("R_DATA_H") != nullptr; }));
  IncomingForm* incoming = window_->open_incoming_form("R_DATA_H");
  EXPECT_EQ(incoming->value_label("lblMachine")->text(), QStringLiteral("m1"));  // the configured name
  EXPECT_EQ(incoming->value_label("lblOrderNum")->text(), QStringLiteral("-9"));
  EXPECT_EQ(incoming->value_label("lblName1")->text(), QStringLiteral("abc"));
  EXPECT_EQ(incoming->value_label("lblDateVal")->text(), QStringLiteral("60"));
  EXPECT_NE(log_text().find("R_DATA_H"), std::string::npos);
}

// What the start-up message says when the control cannot be created: the files involved.
TEST(ControlCreationFailure, NamesTheManifestTheRegistryOrTheModule) {
  ComMachineControls controls;
  const std::string not_named = controls.create_failure_text(com::REGDB_E_CLASSNOTREG);
  EXPECT_NE(not_named.find("Mevrix.Machine is named in neither the manifest " + com::default_manifest_path()),
            std::string::npos)
      << not_named;
  EXPECT_NE(not_named.find("REGDB_E_CLASSNOTREG"), std::string::npos);
  const std::string not_loaded = controls.create_failure_text(com::E_MOD_NOT_FOUND);
  EXPECT_NE(not_loaded.find("libRpcTarvik.so cannot be loaded (E_MOD_NOT_FOUND)"), std::string::npos) << not_loaded;
}

TEST(SingleInstance, ASecondCopyEndsAtOnceAndTheFirstKeepsRunning) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::ofstream((dir.path() + "/RpcTarvikTest.ini").toStdString()) << "[Host]\nHostEnabled=0\n";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TARVIK_TESTPROGRAM_DIR", dir.path());
  env.insert("QT_QPA_PLATFORM", "offscreen");
  const QString program = QString::fromUtf8(TARVIK_BINARY_DIR "/testprogram/app/RpcTarvikTest");
  QProcess first, second;
  first.setProcessEnvironment(env);
  second.setProcessEnvironment(env);
  first.start(program, {});
  ASSERT_TRUE(first.waitForStarted(10000));
  // The first copy creates the lock file and locks it right away; wait for the file, then leave it a
  // moment to take the lock.
  ASSERT_TRUE(wait_for([&] { return QFile::exists(dir.path() + "/RpcTarvikTest.lock"); }));
  QTest::qWait(300);
  second.start(program, {});
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);
  first.kill();
  first.waitForFinished(10000);
}

}  // namespace
}  // namespace tarvik::testprogram
