// Test support for the windows: a fake set of Machine controls, message boxes that answer by
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
#include "testprogram/app/user_prompts.h"
#include "testprogram/core/ini_values.h"

namespace tarvik::testprogram {

class FakeMachineControls final : public MachineControls {
 public:
  struct Put {
    int instance;
    com::DispId property;
    com::Variant value;
  };
  struct CallMade {
    int instance;
    com::DispId method;
    std::vector<com::Variant> args;
  };

  bool Exists(int i) const override { return created.count(i) != 0; }
  com::HRESULT Create(int i) override {
    if (Exists(i)) return com::S_FALSE;
    created[i] = ++creations;
    return com::S_OK;
  }
  com::HRESULT Remove(int i) override {
    if (!Exists(i)) return com::E_INVALIDARG;
    created.erase(i);
    return com::S_OK;
  }
  void RemoveAll() override { created.clear(); }
  com::HRESULT PutProperty(int i, com::DispId p, const com::Variant& v) override {
    if (!Exists(i)) return com::E_INVALIDARG;
    puts.push_back({i, p, v});
    return p == machine_dispid::HostEnabled ? host_enable_result : com::S_OK;
  }
  com::HRESULT Call(int i, com::DispId m, std::span<const com::Variant> args, com::Variant* result) override {
    if (!Exists(i)) return com::E_INVALIDARG;
    if (com::failed(call_result)) return call_result;
    calls.push_back({i, m, {args.begin(), args.end()}});
    if (result) *result = com::Variant::i4(ret);
    return com::S_OK;
  }
  void SetEventHandler(EventHandler h) override { handler = std::move(h); }

  void Raise(int instance, com::DispId event, std::vector<com::Variant> args) {
    if (handler) handler(instance, event, args);
  }

  std::map<int, int> created;  // instance -> creation number
  int creations = 0;
  std::vector<Put> puts;
  std::vector<CallMade> calls;
  com::HRESULT host_enable_result = com::S_OK;
  com::HRESULT call_result = com::S_OK;
  std::int32_t ret = 0;
  EventHandler handler;
};

class RecordingPrompts final : public UserPrompts {
 public:
  struct Shown {
    QString title;
    QString text;
    Icon icon;
  };
  void Inform(QWidget*, const QString& title, const QString& text, Icon icon) override {
    shown.push_back({title, text, icon});
  }
  bool AskYesNo(QWidget*, const QString& title, const QString& text) override {
    questions.push_back({title, text, Icon::exclamation});
    return answer_yes;
  }
  void Beep() override { ++beeps; }

  std::vector<Shown> shown;
  std::vector<Shown> questions;
  bool answer_yes = false;
  int beeps = 0;
};

// The clock every test runs at: 05.12.2026 18:30:00.
inline LocalDateTime FixedNow() { return {2026, 12, 5, 18, 30, 0}; }

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
  void WriteSettings(const std::string& text) { std::ofstream(files_.SettingsFile()) << text; }

  frmRpcTarvikTest& Start() {
    ProgramContext context{files_};
    context.machines = &machines_;
    context.prompts = &prompts_;
    context.clock = FixedNow;
    window_ = MakeWindow(std::move(context));
    window_->StartUp();
    window_->show();
    return *window_;
  }
  virtual std::unique_ptr<frmRpcTarvikTest> MakeWindow(ProgramContext context) {
    return std::make_unique<frmRpcTarvikTest>(std::move(context));
  }

  std::string Ini(const char* section, const char* key, const char* file = "") const {
    return GetIniValue(files_, section, key, "<missing>", file);
  }
  std::string LogText() const {
    std::ifstream in(files_.LogFile(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Triggers a menu item by its object name.
  void Menu(const char* name) {
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
W* Child(QWidget* window, const char* name) {
  return window ? window->findChild<W*>(QString::fromLatin1(name)) : nullptr;
}

}  // namespace tarvik::testprogram
