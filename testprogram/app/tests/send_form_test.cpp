// The send forms: every form sends its telegram, the date fields, the history written only after OK,
// the messages of a refused or failed send, the odd names and the machine list.
#include <QComboBox>
#include <QMenu>

#include "testprogram/app/history_popup.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

using SendFormTest = ProgramTest;

QString valid_text(const SendField& f) {
  switch (f.kind) {
    case FieldKind::number: return QStringLiteral("12");
    case FieldKind::number_or_date: return QStringLiteral("3");
    case FieldKind::text: return QStringLiteral("abc");
    case FieldKind::date: return QString();
    case FieldKind::choice: return QString::fromStdString(f.default_text);
    case FieldKind::whole_number: return QStringLiteral("0");
  }
  return {};
}

TEST_F(SendFormTest, EveryFormSendsItsTelegramWithArgumentsOfTheMethodsTypes) {
  start();
  for (const SendFormDescription& d : send_form_descriptions()) {
    SCOPED_TRACE(d.telegram);
    SendForm* form = open(d.telegram);
    ASSERT_NE(form, nullptr);
    // The order number is read by the number rule, up to the first non-number (the whole-text rule of
    // VarMode would refuse it).
    type(form, "txtOrderNum", QStringLiteral("7x"));
    for (const SendField& f : d.fields) type(form, f.control.c_str(), valid_text(f));
    const std::size_t before = machines_.calls.size();
    ok(form);
    ASSERT_EQ(machines_.calls.size(), before + 1) << (prompts_.shown.empty() ? "" : prompts_.shown.back().text.toStdString());
    const auto& call = machines_.calls.back();
    const protocol::TelegramInfo* t = protocol::find_telegram(d.telegram);
    EXPECT_EQ(call.instance, 1);
    EXPECT_EQ(call.method, t->method_dispid);
    ASSERT_EQ(call.args.size(), t->own_params().size());
    for (std::size_t i = 0; i < call.args.size(); ++i)
      EXPECT_EQ(call.args[i].type(), t->own_params()[i].kind == protocol::Kind::text ? com::VT_BSTR : com::VT_I4) << i;
    EXPECT_EQ(call.args[0].as_i4(), 7);
    EXPECT_EQ(window_->status_text().toStdString(), d.telegram + "    Ret = 0");
    EXPECT_FALSE(form->isVisible());
    settle();
  }
  EXPECT_TRUE(prompts_.shown.empty());
  // Every call was logged (TraceAll is on by default), OrderNum, Machine and Host first.
  const std::string log = log_text();
  for (const SendFormDescription& d : send_form_descriptions()) EXPECT_NE(log.find("  " + d.telegram + "       Ret=0"), std::string::npos);
  EXPECT_NE(log.find("OrderNum->7   Machine->\"M1\"   Host->\"?\""), std::string::npos);
}

TEST_F(SendFormTest, DateFieldsSendSecondsAndABadDateEmptiesAndFocusesTheField) {
  SendForm* form = open("R_DATA_M");
  form->activateWindow();
  type(form, "txtDate", QStringLiteral("31.12.1969 23:59:59"));
  ok(form);
  EXPECT_TRUE(machines_.calls.empty());
  EXPECT_EQ(prompts_.shown.back().text, QStringLiteral("Please, correct input."));
  EXPECT_EQ(text(form, "txtDate"), QString());
  EXPECT_EQ(form->focusWidget(), child(form, "txtDate"));

  type(form, "txtDate", QStringLiteral("02.01.1970 00:00:10"));
  ok(form);
  ASSERT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(sent_arg(4), 86410);
  EXPECT_EQ(sent_arg(5), 1);  // LastFile's default entry
  EXPECT_NE(log_text().find("Date->86410"), std::string::npos);
}

TEST_F(SendFormTest, OrderSetDateAndTimeFillsParameter1AndSendsItsSeconds) {
  SendForm* form = open("C_ORDER_M");
  auto* sfkt = child<QComboBox>(form, "cboSFkt");
  const int entry = sfkt->findText(QStringLiteral("100: Set date and time on MMC/PLC"));
  ASSERT_GE(entry, 0);
  type(form, "txtParameter1", QStringLiteral("5"));
  sfkt->setCurrentIndex(entry);  // not a pick from the list: Parameter1 stays
  EXPECT_EQ(text(form, "txtParameter1"), QStringLiteral("5"));
  emit sfkt->activated(entry);  // the user picks the entry
  EXPECT_EQ(text(form, "txtParameter1"), QStringLiteral("05.12.2026 18:30:00"));
  ok(form);
  ASSERT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(sent_arg(1), 100);
  EXPECT_EQ(sent_arg(6), static_cast<std::int32_t>(seconds_since_1970(fixed_now())));
  EXPECT_NE(log_text().find("Parameter1->\"05.12.2026 18:30:00\""), std::string::npos);
  settle();

  // The history brings SFkt 100 back, so the next opening starts with the present date and time.
  form = open("C_ORDER_M");
  EXPECT_EQ(text(form, "cboSFkt"), QStringLiteral("100: Set date and time on MMC/PLC"));
  EXPECT_EQ(text(form, "txtParameter1"), QStringLiteral("05.12.2026 18:30:00"));

  // Not a date while the code is 100: emptied, nothing sent.
  type(form, "txtParameter1", QStringLiteral("12"));
  ok(form);
  EXPECT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(text(form, "txtParameter1"), QString());
}

TEST_F(SendFormTest, HistoryIsWrittenOnlyAfterOkAndOfferedByTheButton) {
  SendForm* form = open("C_DELETE_M");
  type(form, "txtName1", QStringLiteral("edited"));
  child<QPushButton>(form, "cmdCancel")->click();
  settle();
  EXPECT_EQ(ini("C_DELETE_M_Name1", "Value_0", kHistoryFileName), "<missing>");

  for (const char* value : {"A", "PROG1"}) {
    form = open("C_DELETE_M");
    type(form, "txtOrderNum", QStringLiteral("44"));
    type(form, "txtName1", QString::fromLatin1(value));
    ok(form);
    settle();
  }
  EXPECT_EQ(ini("C_DELETE_M_Name1", "Value_0", kHistoryFileName), "PROG1");
  EXPECT_EQ(ini("C_DELETE_M_Machine", "Combo_Value", kHistoryFileName), "M1");

  form = open("C_DELETE_M");
  EXPECT_EQ(text(form, "txtName1"), QStringLiteral("PROG1"));
  EXPECT_EQ(text(form, "txtOrderNum"), QStringLiteral("44"));
  QStringList offered;
  window_->history().set_popup([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* a : menu.actions())
      if (a->isVisible()) offered << a->text();
    return menu.actions().at(1);
  });
  child<QPushButton>(form, "cmdName1")->click();
  EXPECT_EQ(offered, (QStringList{"PROG1", "A"}));
  EXPECT_EQ(text(form, "txtName1"), QStringLiteral("A"));
  window_->history().set_popup([](QMenu&, const QPoint&) -> QAction* { return nullptr; });  // closed without a choice
  type(form, "txtName1", QStringLiteral("typed"));
  child<QPushButton>(form, "cmdName1")->click();
  EXPECT_EQ(text(form, "txtName1"), QStringLiteral("typed"));
}

TEST_F(SendFormTest, UnsupportedMethodIsNamedOnlyInTheTwoFormsThatTellIt) {
  machines_.call_result = com::DISP_E_MEMBERNOTFOUND;
  for (const auto& [telegram, detailed] : std::vector<std::pair<std::string, bool>>{
           {"C_ORDER_M", true}, {"T_REPORT_M", true}, {"T_DATA_M", false}}) {
    SendForm* form = open(telegram);
    ok(form);
    ASSERT_FALSE(prompts_.shown.empty());
    const QString text = prompts_.shown.back().text;
    if (detailed)
      EXPECT_TRUE(text.startsWith(QStringLiteral("Fehler: 438\r\n"))) << telegram;
    else
      EXPECT_EQ(text, QStringLiteral("Please, correct input."));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(window_->status_text().toStdString(), telegram + "    not sent");
    form->close();
    settle();
  }
  EXPECT_FALSE(std::filesystem::exists(files_.history_file()));
}

// A failure after the telegram went out must say so, not ask for corrected input.
class FailingHistoryWindow final : public frmRpcTarvikTest {
 public:
  using frmRpcTarvikTest::frmRpcTarvikTest;
  void remember_values(const FormView&) override { throw std::runtime_error("History.ini is read-only"); }
};

class SendFailureTest : public SendFormTest {
  std::unique_ptr<frmRpcTarvikTest> make_window(ProgramContext context) override {
    return std::make_unique<FailingHistoryWindow>(std::move(context));
  }
};

TEST_F(SendFailureTest, FailureAfterSendingTellsTheTelegramWentOut) {
  SendForm* form = open("C_ORDER_M");
  ok(form);
  ASSERT_EQ(machines_.calls.size(), 1u);
  ASSERT_EQ(prompts_.shown.size(), 1u);
  const QString text = prompts_.shown[0].text;
  EXPECT_TRUE(text.contains(QStringLiteral("C_ORDER_M was sent (Ret = 0)"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("History.ini is read-only")));
  EXPECT_FALSE(text.contains(QStringLiteral("correct input")));
  EXPECT_EQ(window_->status_text(), QStringLiteral("C_ORDER_M    Ret = 0"));
  EXPECT_FALSE(form->isVisible());  // closed, so OK cannot send the order a second time
}

// Names the history file and the log keep from earlier versions, odd spellings included.
TEST_F(SendFormTest, OddNamesAndButtonsAreAsGiven) {
  SendForm* message = open("R_MESSAGE_M");
  EXPECT_EQ(child(message, "cmdCancel"), nullptr);
  QTest::keyClick(message, Qt::Key_Escape);
  EXPECT_TRUE(message->isVisible());  // no Cancel: Escape does nothing
  ok(message);
  settle();

  SendForm* tp = open("C_TPORDER_M");
  EXPECT_NE(child(tp, "cmdPrioity"), nullptr);
  type(tp, "txtPriority", QStringLiteral("3"));
  type(tp, "txtWPCTyp", QStringLiteral("5"));
  ok(tp);
  settle();
  EXPECT_EQ(ini("C_TPORDER_M_Priority", "Value_0", kHistoryFileName), "3");
  EXPECT_EQ(ini("C_TPORDER_M_WPCTyp", "Value_0", kHistoryFileName), "5");
  tp = open("C_TPORDER_M");
  QTest::keyClick(tp, Qt::Key_Escape);
  EXPECT_FALSE(tp->isVisible());

  send("R_NC4WPC_M");
  const std::string log = log_text();
  EXPECT_NE(log.find("Mesage->\"\""), std::string::npos);
  EXPECT_NE(log.find("TpFlage->0"), std::string::npos);
  EXPECT_NE(log.find("DateVal->0"), std::string::npos);
  EXPECT_EQ(machines_.calls.size(), 3u);
}

TEST_F(SendFormTest, MachineListSelectsTheInstanceAndEachFormOpensOnce) {
  write_settings("[Host]\nMachineCount=3\n[Machine_2]\nMachineID=M2\n");
  SendForm* form = open("C_MODE_M");
  EXPECT_EQ(open("C_MODE_M"), form);  // brought forward, not built again
  auto* list = child<QComboBox>(form, "cboMachine");
  ASSERT_EQ(list->count(), 3);
  EXPECT_FALSE(list->isEditable());
  list->setCurrentIndex(1);
  type(form, "txtOrderNum", QStringLiteral("3.0"));
  ok(form);
  ASSERT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(machines_.calls[0].instance, 2);
  EXPECT_EQ(sent_arg(1), 1);
  // C_MODE_M logs OrderNum as typed.
  EXPECT_NE(log_text().find("OrderNum->\"3.0\"   Machine->\"M2\""), std::string::npos);
}

TEST_F(SendFormTest, AMultiLineValueIsSentWholeAndOnlyItsFirstLineRemembered) {
  SendForm* form = open("R_VAR_M");
  type(form, "cboVarMode", QStringLiteral("4"));
  type(form, "txtVarDescr", QStringLiteral("line 1\nline 2"));
  ok(form);
  ASSERT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(sent_arg(1), 4);
  EXPECT_EQ(machines_.calls[0].args[3].as_bstr().to_utf8(), "line 1\nline 2");
  settle();
  EXPECT_EQ(ini("R_VAR_M_VarDescr", "Value_0", kHistoryFileName), "line 1");
}

}  // namespace
}  // namespace tarvik::testprogram
