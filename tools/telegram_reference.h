// The reference of every telegram, expanded from the telegram table and the control's type library
// (loaded from the control's module through the component layer): opnum, direction, wire fields with
// type and size, the control's method or events with signature and DISPID, the managed member or event. `tarvik list` prints it as JSON lines and docs/telegrams.md is
// its Markdown form, so the documentation cannot drift from the code.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "protocol/telegram_table.h"
#include "tools/control_type_library.h"

namespace tarvik::cli {

// One telegram as a JSON object (the line `tarvik list NAME` prints). Without the control's type
// information (`control.library` null) the control members' signatures are null.
nlohmann::ordered_json telegram_reference(const protocol::TelegramInfo& t, const ControlTypeInfo& control);

// docs/telegrams.md: every telegram, machine interface first, in opnum order. Needs the control's
// type information.
std::string telegrams_markdown(const ControlTypeInfo& control);

}  // namespace tarvik::cli
