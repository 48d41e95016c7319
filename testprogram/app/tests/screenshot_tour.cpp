// Screenshot tour: opens every window of the program with sample values and saves each as a PNG.
// Runs on the fake controls, so the pictures never depend on a network. scripts/screenshots runs it
// under Xvfb; it works on any Qt platform.
//
//   rpctarviktest_screenshots OUTPUT_DIR
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>

#include "protocol/telegram_table.h"
#include "testprogram/app/config_window.h"
#include "testprogram/app/incoming_form.h"
#include "testprogram/app/main_window.h"
#include "testprogram/app/qt_form_view.h"
#include "testprogram/app/send_form.h"
#include "testprogram/app/tests/fake_machine_controls.h"
#include "testprogram/app/user_prompts.h"

using namespace tarvik;
using namespace tarvik::testprogram;

namespace {

class SilentPrompts final : public UserPrompts {
 public:
  void inform(QWidget*, const QString&, const QString&, Icon) override {}
  bool ask_yes_no(QWidget*, const QString&, const QString&) override { return false; }
  void beep() override {}
};

void save(QWidget* w, const QString& dir, const QString& name) {
  w->show();
  w->raise();
  QTest::qWait(150);  // let the window system map and paint it
  if (!w->grab().save(dir + "/" + name + ".png")) std::fprintf(stderr, "could not write %s.png\n", qPrintable(name));
}

// Whether an event argument is a text: a text parameter or a slot of a name table (WPC1, WPC2 ...).
bool is_text(const IncomingFormDescription& d, const std::string& a) {
  for (const protocol::Param& p : d.info->own_params())
    if ((p.kind == protocol::Kind::text && p.field == a) || (p.kind == protocol::Kind::name_table && a.size() == p.field.size() + 1 && a.starts_with(p.field)))
      return true;
  return false;
}

// Sample event arguments for an incoming telegram, from its description: the widest numbers and a
// 64-character NC program name, so the pictures show that nothing is cut.
std::vector<com::Variant> sample_args(const IncomingFormDescription& d) {
  std::vector<com::Variant> args;
  int n = 0;
  for (const std::string& a : d.arguments) {
    const protocol::Param* p = protocol::find_param(*d.info, a);
    if (p && p->is_table() && d.event->whole_tables) {
      std::vector<com::Variant> elements;
      for (int i = 0; i < p->count; ++i)
        elements.push_back(p->kind == protocol::Kind::byte_table ? com::Variant::ui1(i < 3 ? 'A' + i : 0)
                                                                   : com::Variant::i4(INT32_MIN + 1 + i + n));
      args.push_back(com::Variant::array(std::move(elements)));
    } else if (a == "OrderNum") {
      args.push_back(com::Variant::i4(4711));
    } else if (a == "NCProgramm") {
      args.push_back(com::Variant::bstr(com::BStr::from_utf8("\\MPF.DIR\\WORKPIECE_4711_OPERATION_20_FINISHING_CONTOUR_A_X12.MPF")));
    } else if (is_text(d, a)) {
      args.push_back(com::Variant::bstr(com::BStr::from_utf8(a == "ResByte" ? "x" : a.size() <= 4 ? "WP" + a.substr(3) : "Sample " + a)));
    } else {
      args.push_back(com::Variant::i4(INT32_MIN + n));
    }
    ++n;
  }
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  QTemporaryDir dir;
  std::ofstream((dir.path() + "/RpcTarvikTest.ini").toStdString())
      << "[Host]\nHostID=HOST1\nMachineCount=3\n[Machine_1]\nMachineID=LATHE1\nMachineIP=127.0.0.1\n"
         "[Machine_2]\nMachineID=MILL2\n[Trace]\nTraceAll=1\n";

  FakeMachineControls machines;
  SilentPrompts prompts;
  ProgramContext context{ProgramFiles(dir.path().toStdString(), "RpcTarvikTest")};
  context.machines = &machines;
  context.prompts = &prompts;
  frmRpcTarvikTest window(std::move(context));
  window.start_up();
  window.show();
  window.move(40, 40);
  QTest::qWait(100);

  // A few telegrams, so the echo and the status bar show something.
  for (const char* telegram : {"T_DATA_M", "C_ORDER_M"}) {
    SendForm* form = window.open_send_form(telegram);
    set_widget_text(form->findChild<QWidget*>("txtOrderNum"), QStringLiteral("12"));
    set_widget_text(form->findChild<QWidget*>("txtName1"), QStringLiteral("\\MPF.DIR\\PART1.MPF"));
    form->findChild<QPushButton*>("cmdOK")->click();
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const IncomingFormDescription* data = find_incoming_form("R_DATA_H");
  *window.current_settings().popup_flag("R_DATA_H") = 0;
  machines.raise(1, data->event->dispid, sample_args(*data));
  *window.current_settings().popup_flag("R_DATA_H") = 1;
  save(&window, out, "frmRpcTarvikTest");

  // A telegram under way: the status bar says what goes where and OK is disabled.
  {
    SendForm* form = window.open_send_form("C_ORDER_M");
    form->show();
    QTest::qWait(150);
    machines.during_call = [&] {
      window.grab().save(out + "/frmRpcTarvikTest_sending.png");
      form->grab().save(out + "/frmC_ORDER_M_sending.png");
    };
    form->findChild<QPushButton*>("cmdOK")->click();
    machines.during_call = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  for (const SendFormDescription& d : send_form_descriptions()) {
    SendForm* form = window.open_send_form(d.telegram);
    save(form, out, QString::fromStdString(d.form));
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  for (const IncomingFormDescription& d : incoming_form_descriptions()) {
    machines.raise(2, d.event->dispid, sample_args(d));
    IncomingForm* form = window.open_incoming_form(d.telegram);
    save(form, out, QString::fromStdString(d.form));
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  frmRpcTarvikConfig* config = window.open_settings();
  auto* tabs = config->findChild<QTabWidget*>("tabConfig");
  config->findChild<QScrollBar*>("hsbMachine")->setValue(2);
  config->findChild<QCheckBox*>("chkTraceAll")->setChecked(false);
  const char* pages[] = {"Host", "Machine", "Trace", "Popup"};
  for (int i = 0; i < tabs->count(); ++i) {
    tabs->setCurrentIndex(i);
    save(config, out, QStringLiteral("frmRpcTarvikConfig_%1").arg(QString::fromLatin1(pages[i])));
  }
  config->close();
  window.close();
  return 0;
}
