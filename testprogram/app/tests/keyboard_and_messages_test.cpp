// What a person meets at a send form: the keyboard (filter, mnemonics, a walk through a form without
// the mouse, the history popup), the messages that say what went wrong and where, and the state of
// the window while a telegram is under way.
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

#include "testprogram/app/history_popup.h"
#include "testprogram/app/key_filter.h"
#include "testprogram/app/send_form_input.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

class KeyboardTest : public ProgramTest {
 protected:
  SendForm* OpenActive(const std::string& telegram) {
    SendForm* form = open(telegram);
    if (form) Activate(form);
    return form;
  }
  // The letter a caption's mnemonic gives the field `control`.
  static QChar mnemonic_of(SendForm* form, const char* control) {
    for (QLabel* l : form->findChildren<QLabel*>(QStringLiteral("lblText")))
      if (l->buddy() && l->buddy()->objectName() == QLatin1String(control)) {
        const qsizetype amp = l->text().indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < l->text().size()) return l->text()[amp + 1];
      }
    return {};
  }
};

// Sees the key presses that the digit filter let through (installed before it, so called after it).
class PassedKeys final : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) ++passed;
    return false;
  }
  int passed = 0;
};

TEST_F(KeyboardTest, DigitFilterRefusesOnlyCharactersNeverNavigationOrEditingKeys) {
  struct Row {
    const char* what;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool passes;
  };
  const Row rows[] = {
      {"digit", Qt::Key_7, Qt::NoModifier, "7", true},
      {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", true},
      {"Tab", Qt::Key_Tab, Qt::NoModifier, "\t", true},
      {"Enter", Qt::Key_Return, Qt::NoModifier, "\r", true},
      {"Escape", Qt::Key_Escape, Qt::NoModifier, "\x1b", true},
      {"Delete", Qt::Key_Delete, Qt::NoModifier, "\x7f", true},
      {"Left", Qt::Key_Left, Qt::NoModifier, "", true},
      {"Ctrl+V", Qt::Key_V, Qt::ControlModifier, "\x16", true},
      {"Alt+O", Qt::Key_O, Qt::AltModifier, "o", true},
      {"letter", Qt::Key_A, Qt::NoModifier, "a", false},
      {"point", Qt::Key_Period, Qt::NoModifier, ".", false},
      {"plus", Qt::Key_Plus, Qt::ShiftModifier, "+", false},
  };
  QLineEdit box;
  PassedKeys seen;
  box.installEventFilter(&seen);
  DigitKeyFilter filter(prompts_, nullptr);
  box.installEventFilter(&filter);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const int passed = seen.passed;
    const int beeps = prompts_.beeps;
    QKeyEvent press(QEvent::KeyPress, r.key, r.modifiers, r.text);
    QCoreApplication::sendEvent(&box, &press);
    EXPECT_EQ(seen.passed - passed, r.passes ? 1 : 0);
    EXPECT_EQ(prompts_.beeps - beeps, r.passes ? 0 : 1);
  }
}

// The list hands typed keys straight to its text box, so the filter must sit on the list.
TEST_F(KeyboardTest, VarModeTakesDigitsOnly) {
  SendForm* form = OpenActive("R_VAR_M");
  auto* var_mode = child<QComboBox>(form, "cboVarMode");
  var_mode->lineEdit()->clear();
  QTest::keyClicks(var_mode, QStringLiteral("1a. 2"));
  EXPECT_EQ(var_mode->currentText(), QStringLiteral("12"));
  EXPECT_EQ(prompts_.beeps, 3);
}

// A keyboard-only walk through frmT_DATA_M: mnemonics, Tab and Shift+Tab, the list by arrow key,
// typing into filtered and plain fields, and Enter for OK.
TEST_F(KeyboardTest, KeyboardOnlyWalkThroughASendForm) {
  SendForm* form = OpenActive("T_DATA_M");
  ASSERT_NE(form, nullptr);
  struct Step {
    const char* what;
    std::function<void()> act;
    const char* focus;  // the control that has the focus afterwards; nullptr: not checked
  };
  const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return [=] { QTest::keyClick(form->focusWidget() ? form->focusWidget() : form, k, m); };
  };
  const auto mnemonic = [&](const char* control) {
    return [=] {
      const QChar letter = mnemonic_of(form, control);
      ASSERT_FALSE(letter.isNull()) << control;
      QTest::keyClick(form, letter.toLower().toLatin1(), Qt::AltModifier);
    };
  };
  const auto type = [&](const char* text) {
    return [=] { QTest::keyClicks(form->focusWidget(), QString::fromLatin1(text)); };
  };
  const std::vector<Step> steps = {
      {"Alt + OrderNum's letter", mnemonic("txtOrderNum"), "txtOrderNum"},
      {"select all", key(Qt::Key_A, Qt::ControlModifier), "txtOrderNum"},
      {"type the order number (x is refused)", type("12x"), "txtOrderNum"},
      {"Tab", key(Qt::Key_Tab), "cmdOrderNum"},
      {"Tab", key(Qt::Key_Tab), "cboSFkt"},
      {"next entry", key(Qt::Key_Down), "cboSFkt"},
      {"Tab", key(Qt::Key_Tab), "txtName1"},
      {"type Name1", type("PROG"), "txtName1"},
      {"Alt + Name2's letter", mnemonic("txtName2"), "txtName2"},
      {"type Name2", type("N2"), "txtName2"},
      {"Shift+Tab", key(Qt::Key_Backtab, Qt::ShiftModifier), "cmdName1"},
      {"Alt + Name2's letter again", mnemonic("txtName2"), "txtName2"},
      {"Enter presses OK", key(Qt::Key_Return), nullptr},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    if (s.focus) {
      ASSERT_NE(form->focusWidget(), nullptr);
      EXPECT_EQ(form->focusWidget()->objectName(), QLatin1String(s.focus));
    }
  }
  ASSERT_EQ(machines_.calls.size(), 1u);
  const auto& args = machines_.calls[0].args;
  EXPECT_EQ(args[0].as_i4(), 12);
  EXPECT_EQ(args[1].as_i4(), 10);  // "10: List of existing NC programs"
  EXPECT_EQ(args[2].as_bstr().to_utf8(), "PROG");
  EXPECT_EQ(args[3].as_bstr().to_utf8(), "N2");
  EXPECT_EQ(prompts_.beeps, 1);
}

TEST_F(KeyboardTest, CaptionsLeadToTheirFieldsWithDistinctMnemonics) {
  // Every caption of every send form leads to its field; no two mnemonics of a form share a letter.
  for (const SendFormDescription& d : send_form_descriptions()) {
    SCOPED_TRACE(d.telegram);
    SendForm* form = open(d.telegram);
    QSet<QChar> letters = {QLatin1Char('o')};
    if (d.has_cancel) letters.insert(QLatin1Char('c'));
    for (QLabel* l : form->findChildren<QLabel*>(QStringLiteral("lblText"))) {
      EXPECT_NE(l->buddy(), nullptr) << l->text().toStdString();
      const qsizetype amp = l->text().indexOf(QLatin1Char('&'));
      if (amp < 0) continue;
      const QChar letter = l->text()[amp + 1].toCaseFolded();
      EXPECT_FALSE(letters.contains(letter)) << l->text().toStdString();
      letters.insert(letter);
    }
    form->close();
    settle();
  }
}

TEST_F(KeyboardTest, HistoryPopupOpensAtTheButtonFromTheKeyboardAndAtThePointerFromTheMouse) {
  SendForm* form = OpenActive("T_DATA_M");
  auto* button = child<QPushButton>(form, "cmdName1");
  QPoint where;
  window_->history().set_popup([&](QMenu&, const QPoint& p) -> QAction* {
    where = p;
    return nullptr;
  });
  const QPoint inside = button->mapToGlobal(button->rect().center());
  QCursor::setPos(inside);
  if (QCursor::pos() != inside) GTEST_SKIP() << "the platform does not move the pointer";
  button->click();
  EXPECT_EQ(where, inside);

  QCursor::setPos(form->mapToGlobal(QPoint(0, 0)) - QPoint(50, 50));
  button->setFocus();
  QTest::keyClick(button, Qt::Key_Space);
  EXPECT_EQ(where, button->mapToGlobal(button->rect().bottomLeft()));
}

TEST_F(KeyboardTest, InputErrorKeepsItsMessageFocusesSelectsAndNamesTheField) {
  struct Row {
    const char* telegram;
    const char* control;
    const char* text;
    const char* named;
  };
  const Row rows[] = {{"T_MACHINE_M", "txtOrderNum", "2147483648", "OrderNum"},
                      {"T_MACHINE_M", "txtOrderNum", "-2147483648.6", "OrderNum"},
                      {"T_DATA_M", "cboSFkt", "letters", "SFkt"},
                      {"C_TPORDER_M", "txtDDockPos", "1e10", "DDockPos"},
                      {"R_VAR_M", "cboVarMode", "x", "VarMode"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.control);
    SendForm* form = OpenActive(r.telegram);
    type(form, r.control, QString::fromLatin1(r.text));
    ok(form);
    EXPECT_EQ(prompts_.shown.back().text, QStringLiteral("Please, correct input."));
    EXPECT_EQ(prompts_.shown.back().title, QStringLiteral("RpcTarvikTest"));
    EXPECT_TRUE(form->isVisible());  // the form stays open with its values
    EXPECT_EQ(text(form, r.control), QString::fromLatin1(r.text));
    EXPECT_EQ(form->focusWidget(), child(form, r.control));
    const QWidget* field = child(form, r.control);
    const auto* edit = qobject_cast<const QLineEdit*>(field);
    if (!edit) edit = qobject_cast<const QComboBox*>(field)->lineEdit();
    EXPECT_EQ(edit->selectedText(), QString::fromLatin1(r.text));
    EXPECT_EQ(window_->status_text().toStdString(), std::string(r.telegram) + "    not sent: please correct " + r.named);
    form->close();
    settle();
  }
  EXPECT_TRUE(machines_.calls.empty());
}

TEST_F(KeyboardTest, RuntimeStatusesGetTheirMeaningAndMachineResultsStayNumbers) {
  const std::pair<std::int32_t, const char*> rows[] = {
      {5, "T_TPS_M    Ret = 5"},    // a machine's result, though also a system error number
      {-110, "T_TPS_M    Ret = -110"},
      {1722, "T_TPS_M    Ret = 1722 (the RPC server is unavailable)"},
  };
  for (const auto& [ret, text] : rows) EXPECT_EQ(status_text("T_TPS_M", ret), text);
  machines_.ret = 1722;
  SendForm* form = open("T_TPS_M");
  ok(form);
  EXPECT_EQ(window_->status_text(), QStringLiteral("T_TPS_M    Ret = 1722 (the RPC server is unavailable)"));
  EXPECT_NE(log_text().find("T_TPS_M       Ret=1722\r\n"), std::string::npos);  // the log keeps the number
  EXPECT_FALSE(form->isVisible());  // a machine's answer, whatever it is, closes the form
  EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(KeyboardTest, WhileATelegramIsUnderWayTheWindowShowsItAndRecoversAfterwards) {
  write_settings("[Host]\nMachineCount=2\n[Machine_2]\nMachineID=M2\n");
  SendForm* form = open("C_ORDER_M");
  child<QComboBox>(form, "cboMachine")->setCurrentIndex(1);
  auto* ok = child<QPushButton>(form, "cmdOK");
  bool checked = false;
  machines_.during_call = [&] {
    checked = true;
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(window_->status_text(), QStringLiteral("C_ORDER_M    sending to M2 ..."));
  };
  machines_.call_result = com::DISP_E_TYPEMISMATCH;  // the form stays open: OK must come back
  ok->click();
  EXPECT_TRUE(checked);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(ok->isEnabled());
  EXPECT_TRUE(form->isVisible());

  machines_.call_result = com::S_OK;
  ok->click();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(window_->status_text(), QStringLiteral("C_ORDER_M    Ret = 0"));
  EXPECT_FALSE(form->isVisible());
}

TEST_F(KeyboardTest, BrokenStartIsToldAndASendWithoutControlSaysWhy) {
  struct Row {
    const char* what;
    const char* settings;
    com::HRESULT create;
    const char* start_message;  // part of the one message at start
    const char* send_message;   // part of the message of a send to machine 2
  };
  const Row rows[] = {
      {"settings value", "[Host]\nHostPort=30x1\n", com::S_OK, "\"30x1\"", "HostPort"},
      {"control missing", "[Host]\nMachineCount=2\n[Machine_2]\nMachineID=M2\n", com::E_MOD_NOT_FOUND,
       "machine 1 (M1), 2 (M2)", "E_MOD_NOT_FOUND"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    window_.reset();
    prompts_.shown.clear();
    machines_.create_result = r.create;
    write_settings(r.settings);
    start();
    ASSERT_EQ(prompts_.shown.size(), 1u);
    EXPECT_TRUE(prompts_.shown[0].text.contains(QString::fromLatin1(r.start_message)))
        << prompts_.shown[0].text.toStdString();
    EXPECT_TRUE(prompts_.shown[0].text.contains(QString::fromStdString(files_.settings_file().string())) ||
                r.create != com::S_OK);

    SendForm* form = open("T_DATA_M");
    auto* list = child<QComboBox>(form, "cboMachine");
    list->setCurrentIndex(list->count() - 1);
    ok(form);
    ASSERT_EQ(prompts_.shown.size(), 2u);
    const QString said = prompts_.shown[1].text;
    EXPECT_TRUE(said.contains(QStringLiteral("T_DATA_M was not sent"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("has no Machine control")));
    EXPECT_TRUE(said.contains(QString::fromLatin1(r.send_message))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("correct input")));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(machines_.calls.empty());
    form->close();
    settle();
  }
}

}  // namespace
}  // namespace tarvik::testprogram
