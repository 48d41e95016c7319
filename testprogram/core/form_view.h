// A widget-free view of a send form and its controls: what the value history needs to read and set.
// The widgets implement it over their forms; tests implement it over plain data.
#pragma once

#include <string>
#include <vector>

namespace tarvik::testprogram {

enum class ControlKind {
  text_box,        // txt...: a text field
  drop_down_list,  // cbo...: a choice field or the machine list
  other,           // buttons, labels: the history leaves them alone
};

class FormControlView {
 public:
  virtual ~FormControlView() = default;
  virtual std::string name() const = 0;  // "txtName1"
  virtual ControlKind kind() const = 0;
  virtual std::string text() const = 0;  // UTF-8
  virtual void set_text(const std::string& text) = 0;
};

class FormView {
 public:
  virtual ~FormView() = default;
  virtual std::string name() const = 0;  // "frmC_ORDER_M"
  // The form's controls in the form's control order; owned by the form.
  virtual std::vector<FormControlView*> controls() const = 0;
};

}  // namespace tarvik::testprogram
