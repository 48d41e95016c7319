// The panels of the main window's status bar after panel 1: Caps Lock, Num Lock and Scroll Lock
// indicators, an empty text panel and the time of day. Refreshed twice a second.
//
// The lock states come from the X server's keyboard indicators when the program runs on X11; on
// other platforms (offscreen, Wayland) they are unknown and the indicators stay greyed.
// Threads: the UI thread.
#pragma once

#include <QObject>
#include <optional>

class QLabel;
class QStatusBar;
class QTimer;

namespace tarvik::testprogram {

struct KeyboardLocks {
  bool caps = false;
  bool num = false;
  bool scroll = false;
};

// The lock states now, or nothing when the platform does not tell them.
std::optional<KeyboardLocks> read_keyboard_locks();

class StatusPanels final : public QObject {
  Q_OBJECT
 public:
  // Adds the panels to the right of `bar`'s panel 1.
  explicit StatusPanels(QStatusBar* bar);
  void refresh();

 private:
  QLabel* caps_;
  QLabel* num_;
  QLabel* scroll_;
  QLabel* empty_;
  QLabel* time_;
  QTimer* timer_;
};

}  // namespace tarvik::testprogram
