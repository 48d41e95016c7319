// Test support for the windows: message boxes that answer by themselves, and a fixture that runs the
// main window in a fresh program directory with fake Machine controls, a fixed clock and a fixed date
// format (dd.mm.yyyy hh:mm:ss), with short ways to open, fill and send the forms.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <vector>

#include "protocol/telegram_table.h"
#include "testprogram/app/main_window.h"
#include "testprogram/app/qt_form_view.h"
#include "testprogram/app/send_form.h"
#include "testprogram/app/tests/fake_machine_controls.h"
#include "testprogram/app/user_prompts.h"
#include "testprogram/core/ini_values.h"
#include "testprogram/core/tests/temp_program_dir.h"

namespace tarvik::testprogram {

class RecordingPrompts final : public UserPrompts {
 public:
  struct Shown {
    QString title;
    QString text;
    Icon icon;
  };
  void inform(QWidget*, const QString& title, const QString& text, Icon icon) override {
    shown.push_back({title, text, icon});
  }
  bool ask_yes_no(QWidget*, const QString& title, const QString& text) override {
    questions.push_back({title, text, Icon::exclamation});
    return answer_yes;
  }
  void beep() override { ++beeps; }

  std::vector<Shown> shown;
  std::vector<Shown> questions;
  bool answer_yes = false;
  int beeps = 0;
};

// The clock every test runs at: 05.12.2026 18:30:00.
inline LocalDateTime fixed_now() { return {2026, 12, 5, 18, 30, 0}; }

inline com::Variant I4(std::int32_t v) { return com::Variant::i4(v); }
inline com::Variant str(const std::string& s) { return com::Variant::bstr(com::BStr::from_utf8(s)); }
// The DISPID of a host telegram's (first) event.
inline com::DispId event_of(const char* telegram) { return protocol::find_telegram(telegram)->events[0].dispid; }
// R_MACHINE_H's 20 flattened arguments: OrderNum, MachineMode, the NC program, WPC texts, and every
// other number `number`.
inline std::vector<com::Variant> machine_args(std::int32_t order, std::int32_t mode, const std::string& program = "PROG",
                                              std::int32_t number = 0) {
  std::vector<com::Variant> a = {I4(order), I4(mode), I4(number), str(program)};
  for (int i = 0; i < 7; ++i) a.push_back(I4(number));
  for (const char* w : {"WWWWW", "W2", "W3"}) a.push_back(str(w));
  for (int i = 0; i < 5; ++i) a.push_back(I4(number));
  a.push_back(str("rb"));
  return a;
}
// R_REPORT_H: OrderNum, ReportType, ten numbers, ten times, ten flag bytes, two zeros and an empty text.
inline std::vector<com::Variant> report_args(std::int32_t order, std::int32_t type, std::vector<com::Variant> numbers,
                                             std::vector<com::Variant> times, std::vector<com::Variant> flags) {
  return {I4(order), I4(type), com::Variant::array(numbers), com::Variant::array(times), com::Variant::array(flags),
          I4(0), I4(0), str("")};
}

// A widget of a window by object name.
template <class W = QWidget>
W* child(QWidget* window, const char* name) {
  return window ? window->findChild<W*>(QString::fromLatin1(name)) : nullptr;
}

class ProgramTest : public TempProgramDir {
 protected:
  ~ProgramTest() override { window_.reset(); }

  // Writes settings lines ("[Host]\nMachineCount=3\n...") before the start.
  void write_settings(const std::string& text) { put(files_.settings_file(), text); }

  // Starts the program; `adjust` may change the context first.
  frmRpcTarvikTest& start(const std::function<void(ProgramContext&)>& adjust = {}) {
    ProgramContext context{files_};
    context.machines = &machines_;
    context.prompts = &prompts_;
    context.clock = fixed_now;
    if (adjust) adjust(context);
    window_ = make_window(std::move(context));
    window_->start_up();
    window_->show();
    return *window_;
  }
  virtual std::unique_ptr<frmRpcTarvikTest> make_window(ProgramContext context) {
    return std::make_unique<frmRpcTarvikTest>(std::move(context));
  }

  std::string ini(const char* section, const char* key, const char* file = "") const {
    return get_ini_value(files_, section, key, "<missing>", file);
  }
  std::string log_text() const { return slurp(files_.log_file()); }
  // Triggers a menu item by its object name.
  void menu(const std::string& name) {
    auto* action = window_->findChild<QAction*>(QString::fromStdString(name));
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }

  // Opens a send form through its menu item (starting the program first if need be).
  SendForm* open(const std::string& telegram) {
    if (!window_) start();
    menu("mnu" + telegram);
    return window_->findChild<SendForm*>(QString::fromStdString("frm" + telegram));
  }
  // Makes the form the active window, for tests that type.
  static void Activate(QWidget* form) {
    form->activateWindow();
    (void)QTest::qWaitForWindowActive(form);
  }
  static void type(QWidget* form, const char* control, const QString& text) {
    QWidget* w = child(form, control);
    ASSERT_NE(w, nullptr) << control;
    set_widget_text(w, text);
  }
  static QString text(QWidget* form, const char* control) {
    return QString::fromStdString(widget_text(child(form, control)));
  }
  static void ok(QWidget* form) { child<QPushButton>(form, "cmdOK")->click(); }
  // Closed forms are deleted later; let that happen so the next opening builds a new one.
  static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  // Opens a send form, presses OK and lets it close.
  void send(const char* telegram) {
    ok(open(telegram));
    settle();
  }
  std::int32_t sent_arg(std::size_t i) const { return machines_.calls.back().args.at(i).as_i4(); }

  FakeMachineControls machines_;
  RecordingPrompts prompts_;
  std::unique_ptr<frmRpcTarvikTest> window_;
};

}  // namespace tarvik::testprogram
