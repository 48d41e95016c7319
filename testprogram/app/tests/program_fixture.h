// Test support for the windows: message boxes that answer by
// themselves, and a fixture that runs the main window in a fresh program directory with a fixed
// clock and a fixed date format (dd.mm.yyyy hh:mm:ss).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "testprogram/app/main_window.h"
#include "testprogram/app/tests/fake_machine_controls.h"
#include "testprogram/app/user_prompts.h"
#include "testprogram/core/ini_values.h"

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

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest()
      : dir_(std::filesystem::temp_directory_path() /
             ("tarvik_qt_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        files_(dir_, "RpcTarvikTest") {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    codepage::set_thread_codepage(1252);
  }
  ~ProgramTest() override {
    window_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Writes settings lines ("[Host]\nMachineCount=3\n...") before the start.
  void write_settings(const std::string& text) { std::ofstream(files_.settings_file()) << text; }

  frmRpcTarvikTest& start() {
    ProgramContext context{files_};
    context.machines = &machines_;
    context.prompts = &prompts_;
    context.clock = fixed_now;
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
  std::string log_text() const {
    std::ifstream in(files_.log_file(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Triggers a menu item by its object name.
  void menu(const char* name) {
    auto* action = window_->findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }

  std::filesystem::path dir_;
  ProgramFiles files_;
  FakeMachineControls machines_;
  RecordingPrompts prompts_;
  std::unique_ptr<frmRpcTarvikTest> window_;
};

// A widget of a window by object name.
template <class W = QWidget>
W* child(QWidget* window, const char* name) {
  return window ? window->findChild<W*>(QString::fromLatin1(name)) : nullptr;
}

}  // namespace tarvik::testprogram
