// frmRpcTarvikTest, the main window: owns the Machine controls (macMachine, through MachineControls),
// the settings in memory, the log with its echo txtRPC, the status bar, the value history and every
// form it opens from its menu. Incoming telegrams arrive as events of the controls and are shown in
// their incoming form (when the popup flag is on) and logged (by the trace rules).
//
// Threads: the UI thread only; everything, events included, runs there.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>

#include "testprogram/app/form_host.h"
#include "testprogram/core/call_log.h"
#include "testprogram/core/program_files.h"
#include "testprogram/core/text_measure.h"

class QPlainTextEdit;
class QLabel;

namespace tarvik::testprogram {

class IncomingForm;
class SendForm;
class frmRpcTarvikConfig;

// The desktop's default application for the file, else $VISUAL, else $EDITOR.
bool open_in_viewer(const QString& path);

// What the program is run with: its files, its controls, its message boxes, its clock and date format.
struct ProgramContext {
  ProgramFiles files;
  MachineControls* machines = nullptr;  // must outlive the window
  UserPrompts* prompts = nullptr;       // must outlive the window
  DateTimeFormat date_format = {};
  std::function<LocalDateTime()> clock = current_local_date_time;
  // Opens the log file in a viewer without waiting for it; false when no viewer could be started.
  std::function<bool(const QString& path)> open_viewer = open_in_viewer;
};

class frmRpcTarvikTest : public QMainWindow, public FormHost {
  Q_OBJECT
 public:
  explicit frmRpcTarvikTest(ProgramContext context);
  ~frmRpcTarvikTest() override;

  // The start-up sequence after the single-instance check: size from the settings, load the settings,
  // InitMachines. A step that fails ends the sequence; the window shows what was done so far.
  void start_up();
  // Creates, configures and removes the Machine controls from the settings and enables the host.
  // Controls that cannot be created are named in one message, with what failed.
  // False when setting HostID or HostPort on instance 1 failed.
  bool init_machines();

  // Opens (or brings forward) a window of the menu.
  SendForm* open_send_form(const std::string& telegram);
  frmRpcTarvikConfig* open_settings();
  IncomingForm* open_incoming_form(const std::string& telegram) const;  // nullptr when not open
  void view_log_file();
  void clear_log_file();
  void exit();

  // The handler of every event of macMachine: instance number, event DISPID, arguments in order.
  void on_machine_event(int instance, com::DispId event, std::span<const com::Variant> args);

  QString status_text() const;
  QPlainTextEdit* rpc_text() const { return txtRPC_; }
  modLogen& logger() { return *logger_; }

  // FormHost
  QWidget* main_window() override { return this; }
  Settings& current_settings() override { return settings_; }
  void save_setting(const char* section, const std::string& key, const std::string& value) override;
  MachineControls& machines() override { return *context_.machines; }
  UserPrompts& prompts() override { return *context_.prompts; }
  frmHistory& history() override;
  void set_status_text(const QString& text) override;
  QString missing_control_reason(int instance) const override;
  std::unique_ptr<clsRpcData> new_call_record() override;
  void log_record(clsRpcData& record) override;
  void remember_values(const FormView& form) override;
  const DateTimeFormat& date_format() const override { return context_.date_format; }
  LocalDateTime now() const override { return context_.clock(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class EchoBox;
  class EchoMeasure;

  void create_menu();
  void apply_settings();
  // Tells the user once per file that `file` could not be written and what that means; the program
  // goes on.
  void tell_write_failure(const std::filesystem::path& file, const QString& consequence);

  ProgramContext context_;
  Settings settings_;
  QPlainTextEdit* txtRPC_ = nullptr;
  QLabel* panel1_ = nullptr;
  std::unique_ptr<EchoBox> echo_;
  std::unique_ptr<EchoMeasure> measure_;
  std::unique_ptr<modLogen> logger_;
  QPointer<frmHistory> history_;
  std::map<std::string, QPointer<SendForm>> send_forms_;
  std::map<std::string, QPointer<IncomingForm>> incoming_forms_;
  QPointer<frmRpcTarvikConfig> config_;
  std::map<int, QString> missing_control_reasons_;  // by instance, for instances that could not be created
  QString start_up_problem_;                          // why start-up stopped before InitMachines
  std::set<std::filesystem::path> write_failures_told_;
};

}  // namespace tarvik::testprogram
