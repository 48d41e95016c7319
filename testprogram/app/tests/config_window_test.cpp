// The Settings window: the machine working copy, "Trace all", number rules, OK and Cancel, the
// machine count and the controls, focus on the visible page.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>

#include "testprogram/app/config_window.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

class ConfigWindowTest : public ProgramTest {
 protected:
  QDialog* open() {
    if (!window_) start();
    return window_->open_settings();
  }
  void ok() { ProgramTest::ok(config()); }
  QDialog* config() { return window_->findChild<QDialog*>(QStringLiteral("frmRpcTarvikConfig")); }
  template <class W = QWidget>
  W* get(const char* name) { return child<W>(config(), name); }
};

TEST_F(ConfigWindowTest, EditOfMachine2SurvivesMovingToMachine3AndOk) {
  write_settings("[Host]\nMachineCount=3\n");
  open();
  EXPECT_EQ(get<QTabWidget>("tabConfig")->currentIndex(), 0);
  EXPECT_EQ(get<QLabel>("lblMachine")->text(), QStringLiteral("1"));
  EXPECT_EQ(get<QLabel>("lblCount")->text(), QStringLiteral("3"));
  EXPECT_EQ(get<QScrollBar>("hsbMachine")->maximum(), 3);
  get<QScrollBar>("hsbMachine")->setValue(2);
  EXPECT_EQ(get<QLineEdit>("txtMachineID")->text(), QStringLiteral("M2"));
  get<QLineEdit>("txtMachineID")->setText(QStringLiteral("LATHE2"));
  get<QLineEdit>("txtMachinePort")->setText(QStringLiteral("5011.5"));
  get<QComboBox>("cboMachineTimeout")->setCurrentIndex(9);
  get<QScrollBar>("hsbMachine")->setValue(3);
  get<QLineEdit>("txtMachineIP")->setText(QStringLiteral("10.1.1.3"));  // stored by OK itself
  ok();
  EXPECT_FALSE(config() && config()->isVisible());
  EXPECT_EQ(ini("Machine_2", "MachineID"), "LATHE2");
  EXPECT_EQ(ini("Machine_2", "MachinePort"), "5012");  // halves to the even neighbour
  EXPECT_EQ(ini("Machine_2", "MachineTimeout"), "9");
  EXPECT_EQ(ini("Machine_3", "MachineIP"), "10.1.1.3");
  EXPECT_EQ(ini("Machine_3", "MachineTimeout"), "5");  // the list's default level
  EXPECT_EQ(window_->current_settings().Machines[1].MachineID, "LATHE2");
  // InitMachines ran with the new values.
  EXPECT_EQ(machines_.puts.back().property, machine_dispid::HostEnabled);
}

TEST_F(ConfigWindowTest, TraceAllGreysTheTelegramFramesAndTheirTicksAreStillSaved) {
  open();
  auto* all = get<QCheckBox>("chkTraceAll");
  EXPECT_TRUE(all->isChecked());  // default
  EXPECT_FALSE(get<QGroupBox>("fraRpcToVELD_RPC")->isEnabled());
  EXPECT_FALSE(get<QGroupBox>("fraRpcFromVELD_RPC")->isEnabled());
  all->setChecked(false);
  EXPECT_TRUE(get<QGroupBox>("fraRpcToVELD_RPC")->isEnabled());
  get<QCheckBox>("chkR_MESSAGE_M")->setChecked(true);
  get<QCheckBox>("chkR_DATA_H")->setChecked(true);
  all->setChecked(true);
  EXPECT_TRUE(get<QCheckBox>("chkR_MESSAGE_M")->isChecked());
  get<QCheckBox>("chkPopupR_VAR_H")->setChecked(false);
  ok();
  EXPECT_EQ(ini("Trace", "TraceAll"), "1");
  EXPECT_EQ(ini("Trace", "R_MESSAGE_M"), "1");
  EXPECT_EQ(ini("Trace", "R_DATA_H"), "1");
  EXPECT_EQ(ini("Trace", "T_DATA_M"), "0");
  EXPECT_EQ(ini("Trace", "PopupR_VAR_H"), "0");
  EXPECT_EQ(ini("Trace", "PopupR_DATA_H"), "1");
}

TEST_F(ConfigWindowTest, NumbersInTextFields) {
  struct Case {
    const char* text;
    const char* stored;
  };
  for (const Case& c : {Case{"10k", "10"}, Case{"abc", "0"}, Case{"", "7"}, Case{" 2.5", "2"}}) {
    SCOPED_TRACE(c.text);
    window_.reset();
    write_settings("[Trace]\nLogFileSize=7\n[Machine_1]\nMachinePort=3011\n");
    open();
    get<QLineEdit>("txtLogFileSize")->setText(QString::fromLatin1(c.text));
    get<QLineEdit>("txtMachinePort")->setText(QString::fromLatin1(c.text));
    ok();
    EXPECT_EQ(ini("Trace", "LogFileSize"), c.stored);
    EXPECT_EQ(ini("Machine_1", "MachinePort"), std::string(c.text).empty() ? "3011" : c.stored);
  }
}

TEST_F(ConfigWindowTest, LoweringTheCountWritesOnlyTheRemainingSectionsAndRemovesControls) {
  write_settings("[Host]\nMachineCount=5\n[Machine_4]\nMachineID=KEEP4\n");
  open();
  EXPECT_EQ(machines_.created.size(), 5u);
  get<QScrollBar>("hsbMachineCount")->setValue(2);
  EXPECT_EQ(get<QLabel>("lblMachineCount")->text(), QStringLiteral("2"));
  EXPECT_EQ(get<QScrollBar>("hsbMachine")->maximum(), 2);
  ok();
  EXPECT_EQ(ini("Host", "MachineCount"), "2");
  EXPECT_EQ(ini("Machine_2", "MachineID"), "M2");
  EXPECT_EQ(ini("Machine_3", "MachineID"), "<missing>");
  EXPECT_EQ(ini("Machine_4", "MachineID"), "KEEP4");  // left as it was
  EXPECT_EQ(machines_.created.size(), 2u);
}

TEST_F(ConfigWindowTest, CancelAndCloseBoxChangeNothing) {
  open();
  get<QLineEdit>("txtHostID")->setText(QStringLiteral("CHANGED"));
  child<QPushButton>(config(), "cmdCancel")->click();
  settle();
  EXPECT_EQ(window_->current_settings().HostID, "?");
  open();
  EXPECT_EQ(get<QLineEdit>("txtHostID")->text(), QStringLiteral("?"));
  get<QLineEdit>("txtHostID")->setText(QStringLiteral("CHANGED"));
  config()->close();
  EXPECT_EQ(window_->current_settings().HostID, "?");
  EXPECT_FALSE(std::filesystem::exists(files_.settings_file()));
}

// A host port that is no number used to close the window with the edits half taken over and
// nothing saved; the window now stays open with every edit and changes nothing.
TEST_F(ConfigWindowTest, HostPortThatIsNoNumberKeepsTheWindowOpenAndChangesNothing) {
  open();
  const std::size_t puts = machines_.puts.size();
  get<QLineEdit>("txtHostID")->setText(QStringLiteral("NEWHOST"));
  get<QTabWidget>("tabConfig")->setCurrentIndex(2);
  for (const char* port : {"", "abc", "99999999999"}) {
    get<QLineEdit>("txtHostPort")->setText(QString::fromLatin1(port));
    ok();
    ASSERT_NE(config(), nullptr);
    EXPECT_TRUE(config()->isVisible()) << port;
    EXPECT_EQ(get<QTabWidget>("tabConfig")->currentIndex(), 0);
    EXPECT_TRUE(get<QLabel>("lblHostPortError")->isVisibleTo(config()));
  }
  EXPECT_EQ(window_->current_settings().HostID, "?");
  EXPECT_FALSE(std::filesystem::exists(files_.settings_file()));
  EXPECT_EQ(machines_.puts.size(), puts);
  get<QLineEdit>("txtHostPort")->setText(QStringLiteral("4010"));
  ok();
  EXPECT_EQ(ini("Host", "HostID"), "NEWHOST");
  EXPECT_EQ(ini("Host", "HostPort"), "4010");
}

TEST_F(ConfigWindowTest, TracePageShowsWhereTheFilesAre) {
  open();
  auto* files = get<QLabel>("lblFiles");
  EXPECT_TRUE(files->text().contains(QString::fromStdString(files_.directory().string())));
  EXPECT_TRUE(files->text().contains(QStringLiteral("Log: ") + QString::fromStdString(files_.log_directory().string())));
}

TEST_F(ConfigWindowTest, FocusStaysOnTheVisiblePage) {
  open();
  config()->activateWindow();
  get<QTabWidget>("tabConfig")->setCurrentIndex(1);
  get<QLineEdit>("txtMachineID")->setFocus();
  for (int i = 0; i < 30; ++i) {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : config(), Qt::Key_Tab);
    QWidget* focused = config()->focusWidget();
    ASSERT_NE(focused, nullptr);
    const QString tag = focused->property("tag").toString();
    EXPECT_TRUE(tag.isEmpty() || tag == QStringLiteral("M")) << focused->objectName().toStdString();
  }
  for (const char* page_control : {"txtHostID", "chkTraceAll", "chkPopupR_DATA_H", "txtMachineID"})
    EXPECT_FALSE(get(page_control)->property("tag").toString().isEmpty()) << page_control;
}

}  // namespace
}  // namespace tarvik::testprogram
