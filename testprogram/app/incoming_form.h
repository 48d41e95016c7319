// An incoming form (frmR_MACHINE_H, ...), built from its description: "Machine:" with the machine
// name, one value label per event argument, the check box "Popup on RPC" and OK. Created when a
// telegram of its kind arrives while its popup flag is on; placed centred over the main window and
// then moved fully onto the screen; deleted when closed. Every value box is sized for the widest
// value its field can hold; texts wrap inside their box. OK stores the check box as the popup flag; the close box changes nothing.
// Threads: the UI thread.
#pragma once

#include <QDialog>
#include <span>
#include <string>

#include "testprogram/app/incoming_form_description.h"

class QCheckBox;
class QLabel;

namespace tarvik::testprogram {

class FormHost;

class IncomingForm final : public QDialog {
  Q_OBJECT
 public:
  IncomingForm(const IncomingFormDescription& description, FormHost& host);

  const IncomingFormDescription& description() const { return description_; }
  // Overwrites every value label: the machine name, then the event's arguments (event order).
  void show_telegram(const std::string& machine_name, std::span<const com::Variant> args);
  // The value label `name` (element `index` of a label array); nullptr if there is none.
  QLabel* value_label(const std::string& name, int index = 0) const;

 public slots:
  void on_ok();

 private:
  void build();
  void place_over_main_window();
  void grow_for_texts();

  const IncomingFormDescription& description_;
  FormHost& host_;
  QCheckBox* chkPopup_ = nullptr;
};

}  // namespace tarvik::testprogram
