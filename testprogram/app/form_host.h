// What the send and incoming forms need from the main window: the settings, the Machine controls,
// the status bar, the log, the value history, message boxes and the clock. frmRpcTarvikTest
// implements it. Threads: the UI thread.
#pragma once

#include <QString>
#include <memory>

#include "testprogram/app/machine_controls.h"
#include "testprogram/core/call_record.h"
#include "testprogram/core/date_text.h"
#include "testprogram/core/form_view.h"
#include "testprogram/core/settings.h"

class QWidget;

namespace tarvik::testprogram {

class UserPrompts;
class frmHistory;

// The title of the program's message boxes.
inline constexpr const char* kProgramTitle = "RpcTarvikTest";

class FormHost {
 public:
  virtual ~FormHost() = default;

  virtual QWidget* main_window() = 0;
  virtual Settings& current_settings() = 0;
  virtual void save_setting(const char* section, const std::string& key, const std::string& value) = 0;
  virtual MachineControls& machines() = 0;
  virtual UserPrompts& prompts() = 0;
  virtual frmHistory& history() = 0;

  // Panel 1 of the status bar.
  virtual void set_status_text(const QString& text) = 0;
  // Why instance `instance` has no control (its creation failed, or start-up stopped before the
  // controls were set up); a sentence for the user.
  virtual QString missing_control_reason(int instance) const = 0;
  // A call record that wraps at the width txtRPC has now.
  virtual std::unique_ptr<clsRpcData> new_call_record() = 0;
  // Writes a record to the log file and echoes it in txtRPC; a log file that cannot be written is
  // told to the user once.
  virtual void log_record(clsRpcData& record) = 0;
  // Stores a send form's values as the newest history entries; a history file that cannot be written
  // is told to the user once.
  virtual void remember_values(const FormView& form) = 0;

  virtual const DateTimeFormat& date_format() const = 0;
  virtual LocalDateTime now() const = 0;
};

}  // namespace tarvik::testprogram
