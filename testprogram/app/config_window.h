// frmRpcTarvikConfig, the Settings window: four pages (Host, Machine, Trace, Popup on RPC) over a
// working copy of the settings. OK takes the edits into the settings in memory, saves them and has
// the main window configure its controls anew; Cancel and the close box discard them.
//
// Every control on a page carries the page's letter ("H", "M", "T", "P") in its property "tag". Qt
// takes hidden widgets out of the focus chain, so focus stays on the visible page by itself; OK and
// Cancel stand outside the pages and stay reachable.
//
// The Trace page also shows where the settings, history and log files are (lblFiles), since an
// installed program keeps them in the user's directories rather than beside itself.
// Threads: the UI thread.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <map>
#include <string>

#include "testprogram/core/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QTabWidget;

namespace tarvik::testprogram {

class frmRpcTarvikConfig final : public QDialog {
  Q_OBJECT
 public:
  // Applies accepted settings: saves them and runs init_machines (the main window's business).
  using Apply = std::function<void()>;

  // `settings` (the program's settings in memory) must outlive the window. `file_locations` is the
  // text shown for where the files are (ProgramFiles::describe_locations).
  frmRpcTarvikConfig(Settings& settings, Apply apply, QWidget* parent, const QString& file_locations = {});

 public slots:
  void on_ok();

 private:
  QWidget* build_host_page();
  QWidget* build_machine_page();
  QWidget* build_trace_page(const QString& file_locations);
  QWidget* build_popup_page();
  void load();
  void set_machine_count(int count);
  void show_machine(int n);
  void store_machine_page();
  void update_trace_frames();

  Settings& settings_;
  Apply apply_;
  std::array<MachineEntry, kMachineTableSize> working_;
  int machine_count_ = 1;
  int shown_machine_ = 0;  // 0: no machine shown yet

  QTabWidget* tabConfig_ = nullptr;
  QLineEdit* txtHostID_ = nullptr;
  QLineEdit* txtHostPort_ = nullptr;
  QLabel* lblHostPortError_ = nullptr;
  QCheckBox* chkHostEnabled_ = nullptr;
  QLabel* lblMachineCount_ = nullptr;
  QScrollBar* hsbMachineCount_ = nullptr;
  QLabel* lblMachine_ = nullptr;
  QScrollBar* hsbMachine_ = nullptr;
  QLabel* lblCount_ = nullptr;
  QLineEdit* txtMachineID_ = nullptr;
  QLineEdit* txtMachineIP_ = nullptr;
  QLineEdit* txtMachinePort_ = nullptr;
  QComboBox* cboMachineTimeout_ = nullptr;
  QCheckBox* chkTraceAll_ = nullptr;
  QGroupBox* fraRpcToVELD_RPC_ = nullptr;
  QGroupBox* fraRpcFromVELD_RPC_ = nullptr;
  QLineEdit* txtLogFileSize_ = nullptr;
  std::map<std::string, QCheckBox*> trace_checks_;  // by telegram
  std::map<std::string, QCheckBox*> popup_checks_;  // by telegram
};

}  // namespace tarvik::testprogram
