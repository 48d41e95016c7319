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
  QDialog* Open() {
    if (!window_) Start();
    return window_->OpenSettings();
  }
  void Ok() { ProgramTest::Ok(config()); }
  QDialog* config() { return window_->findChild<QDialog*>(QStringLiteral("frmRpcTarvikConfig")); }
  template <class W = QWidget>
  W* Get(const char* name) { return Child<W>(config(), name); }
};

TEST_F(ConfigWindowTest, EditOfMachine2SurvivesMovingToMachine3AndOk) {
  WriteSettings("[Host]\nMachineCount=3\n");
  Open();
  EXPECT_EQ(Get<QTabWidget>("tabConfig")->currentIndex(), 0);
  EXPECT_EQ(Get<QLabel>("lblMachine")->text(), QStringLiteral("1"));
  EXPECT_EQ(Get<QLabel>("lblCount")->text(), QStringLiteral("3"));
  EXPECT_EQ(Get<QScrollBar>("hsbMachine")->maximum(), 3);
  Get<QScrollBar>("hsbMachine")->setValue(2);
  EXPECT_EQ(Get<QLineEdit>("txtMachineID")->text(), QStringLiteral("M2"));
  Get<QLineEdit>("txtMachineID")->setText(QStringLiteral("LATHE2"));
  Get<QLineEdit>("txtMachinePort")->setText(QStringLiteral("5011.5"));
  Get<QComboBox>("cboMachineTimeout")->setCurrentIndex(9);
  Get<QScrollBar>("hsbMachine")->setValue(3);
  Get<QLineEdit>("txtMachineIP")->setText(QStringLiteral("10.1.1.3"));  // stored by OK itself
  Ok();
  EXPECT_FALSE(config() && config()->isVisible());
  EXPECT_EQ(Ini("Machine_2", "MachineID"), "LATHE2");
  EXPECT_EQ(Ini("Machine_2", "MachinePort"), "5012");  // halves to the even neighbour
  EXPECT_EQ(Ini("Machine_2", "MachineTimeout"), "9");
  EXPECT_EQ(Ini("Machine_3", "MachineIP"), "10.1.1.3");
  EXPECT_EQ(Ini("Machine_3", "MachineTimeout"), "5");  // the list's default level
  EXPECT_EQ(window_->CurrentSettings().Machines[1].MachineID, "LATHE2");
  // InitMachines ran with the new values.
  EXPECT_EQ(machines_.puts.back().property, machine_dispid::HostEnabled);
}

TEST_F(ConfigWindowTest, TraceAllGreysTheTelegramFramesAndTheirTicksAreStillSaved) {
  Open();
  auto* all = Get<QCheckBox>("chkTraceAll");
  EXPECT_TRUE(all->isChecked());  // default
  EXPECT_FALSE(Get<QGroupBox>("fraRpcToVELD_RPC")->isEnabled());
  EXPECT_FALSE(Get<QGroupBox>("fraRpcFromVELD_RPC")->isEnabled());
  all->setChecked(false);
  EXPECT_TRUE(Get<QGroupBox>("fraRpcToVELD_RPC")->isEnabled());
  Get<QCheckBox>("chkR_MESSAGE_M")->setChecked(true);
  Get<QCheckBox>("chkR_DATA_H")->setChecked(true);
  all->setChecked(true);
  EXPECT_TRUE(Get<QCheckBox>("chkR_MESSAGE_M")->isChecked());
  Get<QCheckBox>("chkPopupR_VAR_H")->setChecked(false);
  Ok();
  EXPECT_EQ(Ini("Trace", "TraceAll"), "1");
  EXPECT_EQ(Ini("Trace", "R_MESSAGE_M"), "1");
  EXPECT_EQ(Ini("Trace", "R_DATA_H"), "1");
  EXPECT_EQ(Ini("Trace", "T_DATA_M"), "0");
  EXPECT_EQ(Ini("Trace", "PopupR_VAR_H"), "0");
  EXPECT_EQ(Ini("Trace", "PopupR_DATA_H"), "1");
}

TEST_F(ConfigWindowTest, NumbersInTextFields) {
  struct Case {
    const char* text;
    const char* stored;
  };
  for (const Case& c : {Case{"10k", "10"}, Case{"abc", "0"}, Case{"", "7"}, Case{" 2.5", "2"}}) {
    SCOPED_TRACE(c.text);
    window_.reset();
    WriteSettings("[Trace]\nLogFileSize=7\n[Machine_1]\nMachinePort=3011\n");
    Open();
    Get<QLineEdit>("txtLogFileSize")->setText(QString::fromLatin1(c.text));
    Get<QLineEdit>("txtMachinePort")->setText(QString::fromLatin1(c.text));
    Ok();
    EXPECT_EQ(Ini("Trace", "LogFileSize"), c.stored);
    EXPECT_EQ(Ini("Machine_1", "MachinePort"), std::string(c.text).empty() ? "3011" : c.stored);
  }
}

TEST_F(ConfigWindowTest, LoweringTheCountWritesOnlyTheRemainingSectionsAndRemovesControls) {
  WriteSettings("[Host]\nMachineCount=5\n[Machine_4]\nMachineID=KEEP4\n");
  Open();
  EXPECT_EQ(machines_.created.size(), 5u);
  Get<QScrollBar>("hsbMachineCount")->setValue(2);
  EXPECT_EQ(Get<QLabel>("lblMachineCount")->text(), QStringLiteral("2"));
  EXPECT_EQ(Get<QScrollBar>("hsbMachine")->maximum(), 2);
  Ok();
  EXPECT_EQ(Ini("Host", "MachineCount"), "2");
  EXPECT_EQ(Ini("Machine_2", "MachineID"), "M2");
  EXPECT_EQ(Ini("Machine_3", "MachineID"), "<missing>");
  EXPECT_EQ(Ini("Machine_4", "MachineID"), "KEEP4");  // left as it was
  EXPECT_EQ(machines_.created.size(), 2u);
}

TEST_F(ConfigWindowTest, CancelAndCloseBoxChangeNothing) {
  Open();
  Get<QLineEdit>("txtHostID")->setText(QStringLiteral("CHANGED"));
  Child<QPushButton>(config(), "cmdCancel")->click();
  Settle();
  EXPECT_EQ(window_->CurrentSettings().HostID, "?");
  Open();
  EXPECT_EQ(Get<QLineEdit>("txtHostID")->text(), QStringLiteral("?"));
  Get<QLineEdit>("txtHostID")->setText(QStringLiteral("CHANGED"));
  config()->close();
  EXPECT_EQ(window_->CurrentSettings().HostID, "?");
  EXPECT_FALSE(std::filesystem::exists(files_.SettingsFile()));
}

// A host port that is no number used to close the window with the edits half taken over and
// nothing saved; the window now stays open with every edit and changes nothing.
TEST_F(ConfigWindowTest, HostPortThatIsNoNumberKeepsTheWindowOpenAndChangesNothing) {
  Open();
  const std::size_t puts = machines_.puts.size();
  Get<QLineEdit>("txtHostID")->setText(QStringLiteral("NEWHOST"));
  Get<QTabWidget>("tabConfig")->setCurrentIndex(2);
  for (const char* port : {"", "abc", "99999999999"}) {
    Get<QLineEdit>("txtHostPort")->setText(QString::fromLatin1(port));
    Ok();
    ASSERT_NE(config(), nullptr);
    EXPECT_TRUE(config()->isVisible()) << port;
    EXPECT_EQ(Get<QTabWidget>("tabConfig")->currentIndex(), 0);
    EXPECT_TRUE(Get<QLabel>("lblHostPortError")->isVisibleTo(config()));
  }
  EXPECT_EQ(window_->CurrentSettings().HostID, "?");
  EXPECT_FALSE(std::filesystem::exists(files_.SettingsFile()));
  EXPECT_EQ(machines_.puts.size(), puts);
  Get<QLineEdit>("txtHostPort")->setText(QStringLiteral("4010"));
  Ok();
  EXPECT_EQ(Ini("Host", "HostID"), "NEWHOST");
  EXPECT_EQ(Ini("Host", "HostPort"), "4010");
}

TEST_F(ConfigWindowTest, FocusStaysOnTheVisiblePage) {
  Open();
  config()->activateWindow();
  Get<QTabWidget>("tabConfig")->setCurrentIndex(1);
  Get<QLineEdit>("txtMachineID")->setFocus();
  for (int i = 0; i < 30; ++i) {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : config(), Qt::Key_Tab);
    QWidget* focused = config()->focusWidget();
    ASSERT_NE(focused, nullptr);
    const QString tag = focused->property("tag").toString();
    EXPECT_TRUE(tag.isEmpty() || tag == QStringLiteral("M")) << focused->objectName().toStdString();
  }
  for (const char* page_control : {"txtHostID", "chkTraceAll", "chkPopupR_DATA_H", "txtMachineID"})
    EXPECT_FALSE(Get(page_control)->property("tag").toString().isEmpty()) << page_control;
}

}  // namespace
}  // namespace tarvik::testprogram
