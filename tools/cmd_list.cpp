// tarvik list: the reference of every telegram (or one) as JSON lines, or docs/telegrams.md.
#include <iostream>
#include <memory>
#include <string>

#include "tools/command.h"
#include "tools/output.h"
#include "tools/telegram_names.h"
#include "tools/telegram_reference.h"

namespace tarvik::cli {
namespace {

using namespace protocol;

class ListCommand : public Command {
 public:
  CLI::App* add_to(CLI::App& app) override {
    auto* cmd = app.add_subcommand("list", "Describe the telegrams: opnum, fields, control and managed members");
    cmd->footer(
        "One JSON line per telegram: opnum, direction, fields with type and size, the control's method or\n"
        "events with signature and DISPID, the managed member. --markdown prints docs/telegrams.md instead.\n"
        "Example: tarvik list T_DATA_M");
    cmd->add_option("telegram", telegram_, "Only this telegram, e.g. R_MACHINE_H");
    cmd->add_flag("--markdown", markdown_, "Print the reference as Markdown (docs/telegrams.md)");
    return cmd;
  }

  int run() override {
    if (markdown_) {
      if (!telegram_.empty()) {
        print_error("--markdown describes every telegram; leave out " + telegram_);
        return kExitUsage;
      }
      std::cout << telegrams_markdown() << std::flush;
      return kExitOk;
    }
    if (!telegram_.empty()) {
      const TelegramInfo* t = find_telegram(telegram_);
      if (t == nullptr) {
        print_error(unknown_telegram_message(telegram_, nullptr));
        return kExitUsage;
      }
      print_line(telegram_reference(*t));
      return kExitOk;
    }
    for (const TelegramInfo& t : telegrams()) print_line(telegram_reference(t));
    return kExitOk;
  }

 private:
  std::string telegram_;
  bool markdown_ = false;
};

}  // namespace

std::unique_ptr<Command> make_list_command() { return std::make_unique<ListCommand>(); }

}  // namespace tarvik::cli
