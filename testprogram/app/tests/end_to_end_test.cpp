// The program with the real RpcTarvik control, loaded through the manifest beside this test, against
// the independent peer: send forms reach a machine served by the peer, telegrams the peer sends as a
// machine arrive as events and pop up their forms. And the single-instance rule of the real program.
#include <QLabel>
#include <QTemporaryDir>

#include "platform/com/activation.h"
#include "testprogram/app/incoming_form.h"
#include "testprogram/app/tests/peer_machine_fixture.h"

namespace tarvik::testprogram {
namespace {

class EndToEndTest : public PeerMachineTest {
 protected:
  QStringList peer_options() override {
    jsonl_ = dir_ / "calls.jsonl";
    return {"--jsonl", QString::fromStdString(jsonl_.string()), "--status-for", "T_TPS_M=5"};
  }
  std::filesystem::path jsonl_;
};

// Both directions through the real control: the peer's machine sees what a send form sent and its
// result comes back; a telegram the peer sends as a machine pops up its form and is logged. (Arrays
// and the host-name check are proven in the control's own tests.)
TEST_F(EndToEndTest, SendFormsReachTheMachineAndTelegramsFromItPopUpTheirForms) {
  start_real("HOSTE2E", 3);
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
