// Files that cannot be written, the log viewer, the echo's line width, and incoming forms that show every value whole and open fully on the screen.
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>

#include "testprogram/app/config_window.h"
#include "testprogram/app/incoming_form.h"
#include "testprogram/app/value_widths.h"
#include "testprogram/app/wrapping_label.h"
#include "testprogram/app/tests/program_fixture.h"

namespace tarvik::testprogram {
namespace {

class FilesAndFormsTest : public ProgramTest {
 protected:
  std::size_t messages_naming(const std::filesystem::path& file) const {
    std::size_t n = 0;
    for (const auto& m : prompts_.shown) n += m.text.contains(QString::fromStdString(file.string()));
    return n;
  }
};

// A directory where a file should be cannot be written, not even by root.
TEST_F(FilesAndFormsTest, EachFileThatCannotBeWrittenIsToldOnceAndTheProgramGoesOn) {
  std::filesystem::create_directory(files_.history_file());
  std::filesystem::create_directory(files_.log_file());
  std::filesystem::create_directory(files_.settings_file());
  start();
  ASSERT_TRUE(prompts_.shown.empty());
  send("T_MACHINE_M");
  send("T_MACHINE_M");
  EXPECT_EQ(machines_.calls.size(), 2u);
  EXPECT_EQ(messages_naming(files_.history_file()), 1u);
  EXPECT_EQ(messages_naming(files_.log_file()), 1u);
  EXPECT_NE(window_->rpc_text()->toPlainText().indexOf(QStringLiteral("T_MACHINE_M")), -1);  // echo still shown
  EXPECT_EQ(window_->status_text(), QStringLiteral("T_MACHINE_M    Ret = 0"));

  // The popup flag and the Settings window's OK write the same settings file: told once.
  machines_.raise(1, event_of("R_DDEDATA_H"), {I4(1), str("x")});
  IncomingForm* form = window_->open_incoming_form("R_DDEDATA_H");
  child<QCheckBox>(form, "chkPopupRpc")->setChecked(false);
  ok(form);
  EXPECT_EQ(*window_->current_settings().popup_flag("R_DDEDATA_H"), 0);  // applies in memory
  ok(window_->open_settings());
  EXPECT_EQ(messages_naming(files_.settings_file()), 1u);
  EXPECT_EQ(prompts_.shown.size(), 3u);
  for (const auto& m : prompts_.shown) EXPECT_TRUE(m.text.contains(QStringLiteral("could not be written")));
}

TEST_F(FilesAndFormsTest, ViewLogFileSaysWhenThereIsNoLogOrNoViewer) {
  std::vector<QString> opened;
  bool viewer = false;
  start([&](ProgramContext& context) {
    context.open_viewer = [&](const QString& path) {
      opened.push_back(path);
      return viewer;
    };
  });
  menu("mnuViewLogFile");
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_TRUE(prompts_.shown[0].text.startsWith(QStringLiteral("There is no log file yet")));
  EXPECT_TRUE(opened.empty());

  send("T_MACHINE_M");
  menu("mnuViewLogFile");
  ASSERT_EQ(prompts_.shown.size(), 2u);
  EXPECT_TRUE(prompts_.shown[1].text.startsWith(QStringLiteral("No program to view the log file")));
  EXPECT_TRUE(prompts_.shown[1].text.contains(QString::fromStdString(files_.log_file().string())));

  viewer = true;
  menu("mnuViewLogFile");
  EXPECT_EQ(prompts_.shown.size(), 2u);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened.back(), QString::fromStdString(files_.log_file().string()));

  // With a small LogFileSize the newest records may all sit in the backup: that one is shown.
  window_->current_settings().LogFileSize = 0;
  send("T_MACHINE_M");
  ASSERT_FALSE(std::filesystem::exists(files_.log_file()));
  menu("mnuViewLogFile");
  EXPECT_EQ(opened.back(), QString::fromStdString(files_.backup_file().string()));
}

TEST_F(FilesAndFormsTest, EchoLinesFitTheVisibleWidth) {
  start();
  window_->resize(420, 400);
  QCoreApplication::processEvents();
  for (int i = 0; i < 3; ++i) machines_.raise(1, event_of("R_MACHINE_H"), machine_args(1, i));
  QCoreApplication::processEvents();
  // The records' own line breaks keep every line inside what the box shows (no piece is wider).
  QPlainTextEdit* box = window_->rpc_text();
  const int visible = box->viewport()->width() - 2 * static_cast<int>(box->document()->documentMargin());
  const QStringList lines = box->toPlainText().split(QLatin1Char('\n'));
  ASSERT_GT(lines.size(), 9);
  for (const QString& line : lines) EXPECT_LT(box->fontMetrics().horizontalAdvance(line), visible) << line.toStdString();
  EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
}

TEST_F(FilesAndFormsTest, IncomingFormsShowTheWidestValuesWhole) {
  start();
  const std::string program(64, 'N');  // a 64-character NC program name without blanks
  machines_.raise(1, event_of("R_MACHINE_H"), machine_args(1, INT32_MIN, program, INT32_MIN));
  const std::vector<com::Variant> numbers(10, I4(INT32_MIN)), times(10, I4(INT32_MAX)), flags(10, com::Variant::ui1('W'));
  machines_.raise(1, event_of("R_REPORT_H"), report_args(INT32_MIN, INT32_MIN, numbers, times, flags));
  for (const char* telegram : {"R_MACHINE_H", "R_REPORT_H"}) {
    IncomingForm* form = window_->open_incoming_form(telegram);
    ASSERT_NE(form, nullptr);
    form->layout()->activate();
    std::vector<QLabel*> shown;
    for (QLabel* l : form->findChildren<QLabel*>()) {
      if (l->objectName() == QLatin1String("llblText")) continue;
      shown.push_back(l);
      if (l->objectName() == QLatin1String("lblText") || l->text().isEmpty()) continue;
      SCOPED_TRACE(telegram + (" " + l->objectName().toStdString()) + " " + l->text().toStdString());
      if (auto* wrapping = qobject_cast<WrappingLabel*>(l)) {
        EXPECT_LE(wrapping->height_for(wrapping->width()), wrapping->height());  // every line shows
      } else {
        EXPECT_GE(l->width(), label_width_for(*l, l->text()));
      }
      EXPECT_TRUE(form->rect().contains(l->geometry()));
    }
    // Wide enough boxes are no use if the form squeezes them over each other.
    for (std::size_t i = 0; i < shown.size(); ++i)
      for (std::size_t j = i + 1; j < shown.size(); ++j)
        EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
            << telegram << " " << shown[i]->objectName().toStdString() << " / " << shown[j]->objectName().toStdString();
  }
  EXPECT_EQ(window_->open_incoming_form("R_MACHINE_H")->value_label("lblMachineMode")->text(),
            QStringLiteral("-2147483648"));
}

TEST_F(FilesAndFormsTest, IncomingFormIsCentredThenMovedOntoTheScreen) {
  start();
  const QRect screen = window_->screen()->availableGeometry();
  window_->move(screen.topLeft());
  const std::vector<com::Variant> ten(10, I4(0)), flags(10, com::Variant::ui1(0));
  machines_.raise(1, event_of("R_REPORT_H"), report_args(1, 3, ten, ten, flags));
  IncomingForm* form = window_->open_incoming_form("R_REPORT_H");
  const QRect placed(form->pos(), form->frameGeometry().size());
  EXPECT_GE(placed.left(), screen.left());
  EXPECT_GE(placed.top(), screen.top());
  if (placed.width() <= screen.width()) {
    EXPECT_LE(placed.right(), screen.right());
  }
}

TEST_F(FilesAndFormsTest, SendFormNumberBoxesShowTheWidestNumber) {
  start();
  SendForm* form = open("C_TPORDER_M");
  form->layout()->activate();
  for (const char* name : {"txtOrderNum", "txtSDockPos", "txtResInt1", "txtResInt2", "txtVehicle"}) {
    auto* box = child<QLineEdit>(form, name);
    EXPECT_GE(box->width(), line_edit_width_for(*box, kWidestNumber)) << name;
  }
  // ... and the form does not squeeze them over each other.
  const QList<QLineEdit*> boxes = form->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
  for (qsizetype i = 0; i < boxes.size(); ++i)
    for (qsizetype j = i + 1; j < boxes.size(); ++j)
      EXPECT_FALSE(boxes[i]->geometry().intersects(boxes[j]->geometry()))
          << boxes[i]->objectName().toStdString() << " / " << boxes[j]->objectName().toStdString();
}

}  // namespace
}  // namespace tarvik::testprogram
