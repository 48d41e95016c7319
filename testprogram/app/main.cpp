// RpcTarvikTest: the windowed test program of the RpcTarvik control.
#include <QApplication>

#include "testprogram/app/com_machine_controls.h"
#include "testprogram/app/main_window.h"
#include "testprogram/app/single_instance.h"
#include "testprogram/app/user_prompts.h"

int main(int argc, char** argv) {
  using namespace tarvik::testprogram;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(kProgramTitle));

  ProgramContext context{ProgramFiles::ForThisProcess()};
  // A second copy ends at once, silently; the first keeps running.
  SingleInstanceLock lock(context.files.InDirectory(context.files.ProgramName() + ".lock"));
  if (!lock.Acquired()) return 0;

  ComMachineControls machines;
  MessageBoxPrompts prompts;
  context.machines = &machines;
  context.prompts = &prompts;
  context.date_format = SystemDateTimeFormat();

  frmRpcTarvikTest window(std::move(context));
  window.StartUp();
  window.show();
  return QApplication::exec();
}
