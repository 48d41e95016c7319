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

  ProgramContext context{ProgramFiles::for_this_process()};
  // A second copy ends at once, silently; the first keeps running.
  SingleInstanceLock lock(context.files.in_directory(context.files.program_name() + ".lock"));
  if (!lock.acquired()) return 0;

  ComMachineControls machines;
  MessageBoxPrompts prompts;
  context.machines = &machines;
  context.prompts = &prompts;
  context.date_format = system_date_time_format();

  frmRpcTarvikTest window(std::move(context));
  window.start_up();
  window.show();
  return QApplication::exec();
}
