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
        "The control's signatures come from the type library of the module that serves " TARVIK_CONTROL_PROGID ",\n"
        "found through tarvik.manifest beside this program or the class registry.\n"
        "Example: tarvik list T_DATA_M");
    cmd->add_option("telegram", telegram_, "Only this telegram, e.g. R_MACHINE_H");
    cmd->add_flag("--markdown", markdown_, "Print the reference as Markdown (docs/telegrams.md)");
    return cmd;
  }

  int run() override {
    if (markdown_ && !telegram_.empty()) {
      print_error("--markdown describes every telegram; leave out " + telegram_);
      return kExitUsage;
    }
    const TelegramInfo* one = nullptr;
    if (!telegram_.empty() && (one = find_telegram(telegram_)) == nullptr) {
      print_error(unknown_telegram_message(telegram_, nullptr));
      return kExitUsage;
    }
    std::string why;
    const ControlTypeInfo control = find_control_type_info(&why);
    if (markdown_) {
      // The markdown describes the control's members too: without them it would be incomplete.
      if (!control.library) {
        print_error(why);
        return kExitFailure;
      }
      std::cout << telegrams_markdown(control) << std::flush;
      return kExitOk;
    }
    // The wire facts stand without the control; its members' signatures are then null.
    if (!control.library) print_error("control signatures left out: " + why);
    if (one) {
      print_line(telegram_reference(*one, control));
      return kExitOk;
    }
    for (const TelegramInfo& t : telegrams()) print_line(telegram_reference(t, control));
    return kExitOk;
  }

 private:
  std::string telegram_;
  bool markdown_ = false;
};

}  // namespace

std::unique_ptr<Command> make_list_command() { return std::make_unique<ListCommand>(); }

}  // namespace tarvik::cli
