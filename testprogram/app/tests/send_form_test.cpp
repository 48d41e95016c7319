// The sixteen send forms: every form sends its telegram, the input rules at OK, the date fields, the
// history written only after OK, the status bar, the messages and the odd names.
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "protocol/telegram_table.h"
#include "testprogram/app/history_popup.h"
#include "testprogram/app/qt_form_view.h"
#include "testprogram/app/send_form.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

class SendFormTest : public ProgramTest {
 protected:
  SendForm* open(const std::string& telegram) {
    start();
    return reopen(telegram);
  }
  SendForm* reopen(const std::string& telegram) {
    auto* action = window_->findChild<QAction*>(QString::fromStdString("mnu" + telegram));
    if (!action) return nullptr;
    action->trigger();
    return window_->findChild<SendForm*>(QString::fromStdString("frm" + telegram));
  }
  static void type(SendForm* form, const char* control, const QString& text) {
    QWidget* w = child(form, control);
    ASSERT_NE(w, nullptr) << control;
    set_widget_text(w, text);
  }
  static QString text(SendForm* form, const char* control) { return QString::fromStdString(widget_text(child(form, control))); }
  static void ok(SendForm* form) { child<QPushButton>(form, "cmdOK")->click(); }
  // Closed forms are deleted later; let that happen so the next opening builds a new one.
  static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  std::int32_t sent_arg(std::size_t i) const { return machines_.calls.back().args.at(i).as_i4(); }
};

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
  ASSERT_EQ(send_form_descriptions().size(), 16u);
  for (const SendFormDescription& d : send_form_descriptions()) {
    SCOPED_TRACE(d.telegram);
    SendForm* form = reopen(d.telegram);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), d.telegram + "()");
    type(form, "txtOrderNum", QStringLiteral("7"));
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

TEST_F(SendFormTest, OrderNumberRules) {
  struct Case {
    const char* text;
    bool sent;
    std::int32_t value;
  };
  const Case cases[] = {{"", true, 0}, {"-", true, 0}, {"2147483647", true, 2147483647},
                        {"-2147483648", true, INT32_MIN}, {"2147483648", false, 0}, {" 2.5", true, 2}};
  start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SendForm* form = reopen("T_MACHINE_M");
    type(form, "txtOrderNum", QString::fromLatin1(c.text));
    const std::size_t before = machines_.calls.size();
    const std::size_t messages = prompts_.shown.size();
    ok(form);
    EXPECT_EQ(machines_.calls.size(), before + (c.sent ? 1 : 0));
    if (c.sent) {
      EXPECT_EQ(sent_arg(0), c.value);
    } else {
      ASSERT_EQ(prompts_.shown.size(), messages + 1);
      EXPECT_EQ(prompts_.shown.back().text, QStringLiteral("Please, correct input."));
      EXPECT_EQ(prompts_.shown.back().title, QStringLiteral("RpcTarvikTest"));
      EXPECT_TRUE(form->isVisible());  // the form stays open with its values
      EXPECT_EQ(text(form, "txtOrderNum"), QString::fromLatin1(c.text));
      form->close();
    }
    settle();
  }
}

TEST_F(SendFormTest, ChoiceFieldsTakeTheCodeInFrontOfTheColon) {
  start();
  for (const auto& [text, code] : std::vector<std::pair<const char*, int>>{{"7", 7}, {"7: any words", 7}, {" 90 : x", 90}}) {
    SendForm* form = reopen("T_DATA_M");
    type(form, "cboSFkt", QString::fromLatin1(text));
    ok(form);
    EXPECT_EQ(sent_arg(1), code) << text;
    settle();
  }
  SendForm* form = reopen("T_DATA_M");
  type(form, "cboSFkt", QStringLiteral("letters"));
  ok(form);
  EXPECT_EQ(machines_.calls.size(), 3u);
  EXPECT_EQ(prompts_.shown.back().text, QStringLiteral("Please, correct input."));
}

TEST_F(SendFormTest, DateFieldsSendSecondsAndABadDateEmptiesAndFocusesTheField) {
  SendForm* form = open("R_DATA_M");
  EXPECT_EQ(text(form, "cboLastFile"), QStringLiteral("1: last file of a workpiece or single file"));
  EXPECT_EQ(text(form, "cboSFkt"), QStringLiteral("1:  NC program"));
  form->activateWindow();
  type(form, "txtDate", QStringLiteral("31.12.1969 23:59:59"));
  ok(form);
  EXPECT_TRUE(machines_.calls.empty());
  EXPECT_EQ(prompts_.shown.back().text, QStringLiteral("Please, correct input."));
  EXPECT_EQ(text(form, "txtDate"), QString());
  EXPECT_EQ(form->focusWidget(), child(form, "txtDate"));

  type(form, "txtDate", QStringLiteral("01.01.1970 00:00:00"));
  ok(form);
  ASSERT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(sent_arg(4), 0);
  EXPECT_EQ(sent_arg(5), 1);  // LastFile's default entry
  settle();

  form = reopen("R_DATA_M");
  type(form, "txtDate", QStringLiteral("02.01.1970 00:00:10"));
  ok(form);
  EXPECT_EQ(sent_arg(4), 86410);
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
  form = reopen("C_ORDER_M");
  EXPECT_EQ(text(form, "cboSFkt"), QStringLiteral("100: Set date and time on MMC/PLC"));
  EXPECT_EQ(text(form, "txtParameter1"), QStringLiteral("05.12.2026 18:30:00"));

  // Not a date while the code is 100: emptied, focused, nothing sent.
  type(form, "txtParameter1", QStringLiteral("12"));
  ok(form);
  EXPECT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(text(form, "txtParameter1"), QString());
}

TEST_F(SendFormTest, HistoryIsWrittenOnlyAfterOk) {
  SendForm* form = open("C_DELETE_M");
  type(form, "txtName1", QStringLiteral("edited"));
  child<QPushButton>(form, "cmdCancel")->click();
  settle();
  EXPECT_EQ(ini("C_DELETE_M_Name1", "Value_0", kHistoryFileName), "<missing>");

  form = reopen("C_DELETE_M");
  EXPECT_EQ(text(form, "txtName1"), QString());
  type(form, "txtOrderNum", QStringLiteral("44"));
  type(form, "txtName1", QStringLiteral("PROG1"));
  ok(form);
  settle();
  EXPECT_EQ(ini("C_DELETE_M_Name1", "Value_0", kHistoryFileName), "PROG1");
  EXPECT_EQ(ini("C_DELETE_M_Machine", "Combo_Value", kHistoryFileName), "M1");

  form = reopen("C_DELETE_M");
  EXPECT_EQ(text(form, "txtName1"), QStringLiteral("PROG1"));
  EXPECT_EQ(text(form, "txtOrderNum"), QStringLiteral("44"));
  // Same control name on another form: a history of its own.
  settle();
  SendForm* other = reopen("T_DATA_M");
  EXPECT_EQ(text(other, "txtName1"), QString());
}

TEST_F(SendFormTest, HistoryButtonOffersStoredValuesAndPutsTheChosenOne) {
  SendForm* form = open("T_DATA_M");
  for (const char* value : {"A", "B"}) {
    type(form, "txtName1", QString::fromLatin1(value));
    ok(form);
    settle();
    form = reopen("T_DATA_M");
  }
  QStringList offered;
  window_->history().set_popup([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* a : menu.actions())
      if (a->isVisible()) offered << a->text();
    return menu.actions().at(1);
  });
  child<QPushButton>(form, "cmdName1")->click();
  EXPECT_EQ(offered, (QStringList{"B", "A"}));
  EXPECT_EQ(text(form, "txtName1"), QStringLiteral("A"));

  window_->history().set_popup([](QMenu&, const QPoint&) -> QAction* { return nullptr; });  // closed without a choice
  type(form, "txtName1", QStringLiteral("typed"));
  child<QPushButton>(form, "cmdName1")->click();
  EXPECT_EQ(text(form, "txtName1"), QStringLiteral("typed"));
}

TEST_F(SendFormTest, NonZeroResultIsShownLoggedAndClosesTheForm) {
  machines_.ret = 5;
  SendForm* form = open("T_TPS_M");
  ok(form);
  EXPECT_EQ(window_->status_text(), QStringLiteral("T_TPS_M    Ret = 5"));
  EXPECT_FALSE(form->isVisible());
  EXPECT_NE(log_text().find("T_TPS_M       Ret=5"), std::string::npos);
  EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(SendFormTest, UnsupportedMethodIsNamedOnlyInTheTwoFormsThatTellIt) {
  machines_.call_result = com::DISP_E_MEMBERNOTFOUND;
  start();
  for (const auto& [telegram, detailed] : std::vector<std::pair<std::string, bool>>{
           {"C_ORDER_M", true}, {"T_REPORT_M", true}, {"T_DATA_M", false}}) {
    SendForm* form = reopen(telegram);
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

TEST_F(SendFormTest, KeyFilterDropsTypedCharactersOtherThanDigitsAndMinus) {
  SendForm* form = open("C_TPORDER_M");
  auto* order = child<QLineEdit>(form, "txtOrderNum");
  order->clear();
  QTest::keyClicks(order, QStringLiteral("1a-2."));
  EXPECT_EQ(order->text(), QStringLiteral("1-2"));
  EXPECT_EQ(prompts_.beeps, 2);
  QTest::keyClick(order, Qt::Key_Backspace);
  EXPECT_EQ(order->text(), QStringLiteral("1-"));
  // Fields without the filter take anything; ChainNum is such a field.
  auto* chain = child<QLineEdit>(form, "txtChainNum");
  QTest::keyClicks(chain, QStringLiteral("x1"));
  EXPECT_EQ(chain->text(), QStringLiteral("x1"));
  EXPECT_EQ(prompts_.beeps, 2);
  // The history may put in what the filter would refuse.
  set_widget_text(order, QStringLiteral("abc"));
  EXPECT_EQ(order->text(), QStringLiteral("abc"));
}

TEST_F(SendFormTest, OddNamesAndButtonsAreAsGiven) {
  start();
  SendForm* message = reopen("R_MESSAGE_M");
  EXPECT_NE(child(message, "cmdOderNum"), nullptr);
  EXPECT_EQ(child(message, "cmdCancel"), nullptr);
  EXPECT_EQ(child(message, "cmdResInt1"), nullptr);  // no history for the reserve fields
  QTest::keyClick(message, Qt::Key_Escape);
  EXPECT_TRUE(message->isVisible());  // no Cancel: Escape does nothing
  ok(message);
  EXPECT_NE(log_text().find("Mesage->\"\""), std::string::npos);
  settle();

  SendForm* tp = reopen("C_TPORDER_M");
  EXPECT_NE(child(tp, "cmdPrioity"), nullptr);
  EXPECT_NE(child(tp, "cmdWPCType"), nullptr);
  EXPECT_NE(child(tp, "txtWPCTyp"), nullptr);
  EXPECT_EQ(child(tp, "cmdBufferFlag"), nullptr);
  QTest::keyClick(tp, Qt::Key_Escape);
  EXPECT_FALSE(tp->isVisible());
  settle();

  SendForm* nc = reopen("R_NC4WPC_M");
  EXPECT_NE(child(nc, "cboTPFlag"), nullptr);
  ok(nc);
  const std::string log = log_text();
  EXPECT_NE(log.find("TpFlage->0"), std::string::npos);
  EXPECT_NE(log.find("DateVal->0"), std::string::npos);
  EXPECT_EQ(machines_.calls.size(), 2u);
}

TEST_F(SendFormTest, MachineListSelectsTheInstanceAndEachFormOpensOnce) {
  write_settings("[Host]\nMachineCount=3\n[Machine_2]\nMachineID=M2\n");
  SendForm* form = open("C_MODE_M");
  EXPECT_EQ(reopen("C_MODE_M"), form);  // brought forward, not built again
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

TEST_F(SendFormTest, VarModeIsAWholeNumber) {
  start();
  SendForm* form = reopen("R_VAR_M");
  type(form, "cboVarMode", QStringLiteral("3x"));
  ok(form);
  EXPECT_TRUE(machines_.calls.empty());
  type(form, "cboVarMode", QStringLiteral("4"));
  type(form, "txtVarDescr", QStringLiteral("line 1\nline 2"));
  ok(form);
  ASSERT_EQ(machines_.calls.size(), 1u);
  EXPECT_EQ(sent_arg(1), 4);
  EXPECT_EQ(machines_.calls[0].args[3].as_bstr().to_utf8(), "line 1\nline 2");
  settle();
  // Only the first line of a multi-line value goes into the history.
  EXPECT_EQ(ini("R_VAR_M_VarDescr", "Value_0", kHistoryFileName), "line 1");
}

}  // namespace
}  // namespace tarvik::testprogram
