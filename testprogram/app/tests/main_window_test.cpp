// The main window: start-up and InitMachines, the host-enabling message, incoming telegrams with their
// forms and trace rules, the popup flag, Exit, Clear LogFile.
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>

#include "testprogram/app/incoming_form.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

// R_DATA_H: OrderNum, SFkt, Name1, Name2, DateVal, LastFile.
std::vector<com::Variant> data_args(std::int32_t order = 1) {
  return {I4(order), I4(7), str("N1"), str("N2"), I4(60), I4(1)};
}

class MainWindowTest : public ProgramTest {
 protected:
  IncomingForm* incoming_form(const char* telegram) { return window_->open_incoming_form(telegram); }
  QString value(const char* telegram, const char* label, int index = 0) {
    QLabel* l = incoming_form(telegram)->value_label(label, index);
    return l ? l->text() : QStringLiteral("<no label>");
  }
};

TEST_F(MainWindowTest, StartUpConfiguresTheControlsFromTheSettings) {
  write_settings("[Host]\nHostID=HOST1\nHostPort=4010\nMachineCount=2\n[Machine_2]\nMachineID=M2\nMachineIP=10.0.0.2\n"
                "MachinePort=4011\nMachineTimeout=7\n");
  start();
  EXPECT_EQ(machines_.created.size(), 2u);
  std::vector<std::string> order;
  for (const auto& p : machines_.puts) order.push_back(std::to_string(p.instance) + ":" + std::to_string(p.property) + "=" + p.value.debug_string());
  const std::vector<std::string> expected = {
      R"(1:1=BSTR("M1"))", R"(1:2=BSTR("?"))", "1:3=I4(3011)", "1:4=I2(5)",
      R"(2:1=BSTR("M2"))", R"(2:2=BSTR("10.0.0.2"))", "2:3=I4(4011)", "2:4=I2(7)",
      R"(1:5=BSTR("HOST1"))", "1:6=I4(4010)", "1:7=BOOL(true)"};
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(MainWindowTest, HostPortInUseIsReportedOnceAndHostEnabledBecomesFalseInMemoryOnly) {
  machines_.host_enable_result = static_cast<com::HRESULT>(0x800106CCu);  // 1740 | 0x80010000
  start();
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_EQ(prompts_.shown[0].title, QStringLiteral("ERROR"));
  EXPECT_EQ(prompts_.shown[0].icon, UserPrompts::Icon::none);
  EXPECT_EQ(prompts_.shown[0].text,
            QStringLiteral("Error nr: 1740 during host enabling,\r\nProbable another host is already running on thy "
                           "some port !\r\nHostEnabled will be set to false in the host configuration"));
  EXPECT_FALSE(window_->current_settings().HostEnabled);
  EXPECT_FALSE(std::filesystem::exists(files_.settings_file()));
  // The Settings window shows it unticked; its OK writes false and enables nothing.
  window_->open_settings();
  auto* config = window_->findChild<QDialog*>(QStringLiteral("frmRpcTarvikConfig"));
  EXPECT_FALSE(child<QCheckBox>(config, "chkHostEnabled")->isChecked());
  machines_.host_enable_result = com::S_OK;
  child<QPushButton>(config, "cmdOK")->click();
  EXPECT_EQ(ini("Host", "HostEnabled"), "0");
  EXPECT_EQ(prompts_.shown.size(), 1u);
}

TEST_F(MainWindowTest, IncomingTelegramShowsTheMachineOfTheRaisingInstanceAndIsLogged) {
  write_settings("[Host]\nMachineCount=3\nHostID=H\n[Machine_2]\nMachineID=M2\n");
  start();
  machines_.raise(2, event_of("R_DATA_H"), data_args(-5));
  IncomingForm* form = incoming_form("R_DATA_H");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(value("R_DATA_H", "lblMachine"), QStringLiteral("M2"));
  EXPECT_EQ(value("R_DATA_H", "lblOrderNum"), QStringLiteral("-5"));
  EXPECT_EQ(value("R_DATA_H", "lblDateVal"), QStringLiteral("60"));  // seconds, not a date
  const std::string log = log_text();
  EXPECT_NE(log.find("  R_DATA_H\r\n"), std::string::npos);  // no Ret= part
  // The record wraps at txtRPC's width; the entries come in event order.
  std::string flat = log;
  std::erase(flat, '\r');
  std::erase(flat, '\n');
  while (flat.find("    ") != std::string::npos) flat.replace(flat.find("    "), 4, "   ");
  EXPECT_NE(flat.find("OrderNum->-5   Machine->\"M2\"   Host->\"H\"   SFkt->7   Name1->\"N1\"   Name2->\"N2\"   "
                      "DateVal->60   LastFile->1"),
            std::string::npos)
      << log;
  EXPECT_NE(window_->rpc_text()->toPlainText().indexOf(QStringLiteral("R_DATA_H")), -1);
}

TEST_F(MainWindowTest, IncomingTelegramsAreLoggedByTheirPartnersTraceFlag) {
  write_settings("[Trace]\nTraceAll=0\nR_DATA_H=1\nR_DATA_M=0\nPopupR_DATA_H=0\n");
  start();
  machines_.raise(1, event_of("R_DATA_H"), data_args());
  EXPECT_EQ(log_text(), "");
  EXPECT_EQ(incoming_form("R_DATA_H"), nullptr);  // popup off: no form
  *window_->current_settings().trace_flag("R_DATA_M") = 1;
  machines_.raise(1, event_of("R_DATA_H"), data_args());
  EXPECT_NE(log_text().find("R_DATA_H"), std::string::npos);

  // R_MACHINE_H and R_TPS_H follow T_MACHINE_M and T_TPS_M.
  *window_->current_settings().trace_flag("T_MACHINE_M") = 1;
  machines_.raise(1, event_of("R_MACHINE_H"), machine_args(1, 1));
  EXPECT_NE(log_text().find("R_MACHINE_H"), std::string::npos);
}

TEST_F(MainWindowTest, ReportShowsFlagsAsCharactersAndIsLoggedOnce) {
  start();
  std::vector<com::Variant> numbers, flags(10, com::Variant::ui1(0));
  for (int i = 0; i < 10; ++i) numbers.push_back(I4(i * 100));
  flags[0] = com::Variant::ui1(65);
  flags[1] = com::Variant::ui1(66);
  machines_.raise(1, event_of("R_REPORT_H"), report_args(9, 3, numbers, numbers, flags));
  machines_.raise(1, protocol::find_telegram("R_REPORT_H")->events[1].dispid, {});  // RxREPORTxH2: ignored
  machines_.raise(1, protocol::find_telegram("Shutdown_H")->events[0].dispid, {});  // ShutdownH: ignored
  EXPECT_EQ(value("R_REPORT_H", "lblFlag", 0), QStringLiteral("A"));
  EXPECT_EQ(value("R_REPORT_H", "lblFlag", 1), QStringLiteral("B"));
  EXPECT_EQ(value("R_REPORT_H", "lblFlag", 2), QString());
  EXPECT_EQ(value("R_REPORT_H", "lblNumber", 9), QStringLiteral("900"));
  const std::string log = log_text();
  EXPECT_NE(log.find("Flag( 0 ... 9 ) -> A B 0 0 0 0 0 0 0 0    "), std::string::npos) << log;
  EXPECT_EQ(log.find("R_REPORT_H"), log.rfind("R_REPORT_H"));
  EXPECT_EQ(log.find("Shutdown"), std::string::npos);
}

TEST_F(MainWindowTest, OneFormPerTelegramAndItsPopupCheckBoxActsOnlyWithOk) {
  start();
  machines_.raise(1, event_of("R_MACHINE_H"), machine_args(1, 11));
  IncomingForm* form = incoming_form("R_MACHINE_H");
  machines_.raise(1, event_of("R_MACHINE_H"), machine_args(2, 22));  // a second one in a row
  EXPECT_EQ(incoming_form("R_MACHINE_H"), form);
  EXPECT_EQ(window_->findChildren<IncomingForm*>().size(), 1);
  EXPECT_EQ(value("R_MACHINE_H", "lblOrderNum"), QStringLiteral("2"));
  EXPECT_EQ(value("R_MACHINE_H", "lblMachineMode"), QStringLiteral("22"));
  EXPECT_EQ(value("R_MACHINE_H", "lblWPC3"), QStringLiteral("W3"));
  child<QCheckBox>(form, "chkPopupRpc")->setChecked(false);
  form->close();  // close box: nothing stored
  settle();
  EXPECT_EQ(*window_->current_settings().popup_flag("R_MACHINE_H"), 1);
  EXPECT_EQ(ini("Trace", "PopupR_MACHINE_H"), "<missing>");

  machines_.raise(1, event_of("R_MACHINE_H"), machine_args(2, 1));
  form = incoming_form("R_MACHINE_H");
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(child<QCheckBox>(form, "chkPopupRpc")->isChecked());  // loaded anew from the flag
  child<QCheckBox>(form, "chkPopupRpc")->setChecked(false);
  ok(form);
  settle();
  EXPECT_EQ(ini("Trace", "PopupR_MACHINE_H"), "0");
  machines_.raise(1, event_of("R_MACHINE_H"), machine_args(3, 1));
  EXPECT_EQ(incoming_form("R_MACHINE_H"), nullptr);
  // R_TPS_H names its check box chkPopup.
  machines_.raise(1, event_of("R_TPS_H"), std::vector<com::Variant>(13, I4(0)));
  EXPECT_NE(child(incoming_form("R_TPS_H"), "chkPopup"), nullptr);
}

TEST_F(MainWindowTest, ReceivedTextIsShownAsPlainText) {
  start();
  machines_.raise(1, event_of("R_DDEDATA_H"), {I4(1), str("<b>bold</b> & <img src=x>")});
  QLabel* label = incoming_form("R_DDEDATA_H")->value_label("lblData");
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->text(), QStringLiteral("<b>bold</b> & <img src=x>"));
}

TEST_F(MainWindowTest, LoweringTheMachineCountRemovesInstancesAndRaisingItCreatesThemAnew) {
  write_settings("[Host]\nMachineCount=5\n[Machine_4]\nMachineID=FOUR\n");
  start();
  EXPECT_EQ(machines_.created.size(), 5u);
  window_->current_settings().MachineCount = 2;
  window_->init_machines();
  EXPECT_EQ(machines_.created.size(), 2u);
  EXPECT_FALSE(machines_.exists(3));
  const int first = machines_.created[1];
  window_->current_settings().MachineCount = 5;
  machines_.puts.clear();
  window_->init_machines();
  EXPECT_EQ(machines_.created.size(), 5u);
  EXPECT_EQ(machines_.created[1], first);  // existing instances are kept and configured anew
  bool four_named = false;
  for (const auto& p : machines_.puts)
    four_named |= p.instance == 4 && p.property == machine_dispid::MachineID && p.value.as_bstr().to_utf8() == "FOUR";
  EXPECT_TRUE(four_named);
}

TEST_F(MainWindowTest, ExitAsksAndTheCloseBoxDoesNot) {
  start();
  prompts_.answer_yes = false;
  menu("mnuExit");
  ASSERT_EQ(prompts_.questions.size(), 1u);
  EXPECT_EQ(prompts_.questions[0].text, QStringLiteral("Would you like to end the program?\n"));
  EXPECT_TRUE(window_->isVisible());
  prompts_.answer_yes = true;
  window_->open_send_form("T_DATA_M");
  menu("mnuExit");
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(machines_.created.empty());  // the controls are released
  EXPECT_FALSE(window_->findChild<QWidget*>(QStringLiteral("frmT_DATA_M"))->isVisible());

  window_->show();
  window_->close();  // the close box
  EXPECT_EQ(prompts_.questions.size(), 2u);
}

TEST_F(MainWindowTest, ClearLogFileEmptiesEchoLogAndStatus) {
  start();
  machines_.raise(1, event_of("R_DATA_H"), data_args());
  window_->set_status_text(QStringLiteral("T_DATA_M    Ret = 0"));
  menu("mnuClearLogFile");
  EXPECT_EQ(window_->rpc_text()->toPlainText(), QString());
  EXPECT_FALSE(std::filesystem::exists(files_.log_file()));
  EXPECT_EQ(window_->status_text(), QString());
}

TEST_F(MainWindowTest, MenuOpensEveryWindowOnce) {
  start();
  const QStringList expected = {"R_DATA_M", "T_DATA_M", "T_MACHINE_M", "C_DELETE_M", "R_NC4WPC_M", "R_REPORT_M",
                                "C_MODE_M", "C_SYNCH_M", "",          "C_TPORDER_M", "T_TPS_M",   "",
                                "R_DDEDATA_M", "T_VAR_M", "R_VAR_M",  "",          "C_ORDER_M", "T_REPORT_M",
                                "",         "R_MESSAGE_M"};
  QStringList shown;
  for (QAction* a : window_->findChild<QMenu*>(QStringLiteral("mnuRpcToVELD_RPC"))->actions())
    shown << (a->isSeparator() ? QString() : a->text());
  EXPECT_EQ(shown, expected);
  menu("mnuSettings");
  menu("mnuSettings");
  EXPECT_EQ(window_->findChildren<QDialog*>(QStringLiteral("frmRpcTarvikConfig")).size(), 1);
}

TEST_F(MainWindowTest, WindowSizeComesFromTheFormSectionInTwips) {
  write_settings("[Form]\nWidth=14400\nHeight=7200\n");
  start();
  EXPECT_EQ(window_->width(), window_->logicalDpiX() * 10);
  EXPECT_EQ(window_->height(), window_->logicalDpiY() * 5);
}

}  // namespace
}  // namespace tarvik::testprogram
