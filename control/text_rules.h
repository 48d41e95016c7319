// The control's rules for texts: how property texts compare, how MachineID is upper-cased, and the
// conversions between the component layer's BSTR (which may be null) and the protocol's optional
// UTF-16 text.
#pragma once

#include <optional>
#include <string>

#include "platform/com/bstr.h"

namespace tarvik::control {

std::optional<std::u16string> to_optional(const com::BStr& text);
com::BStr to_bstr(const std::optional<std::u16string>& text);

// The comparison of the MachineIP and HostID setters and of event routing: equal texts, case and
// width counting, a null text equal to an empty one.
bool same_property_text(const std::optional<std::u16string>& a, const std::optional<std::u16string>& b);

// MachineID's upper-casing: through the calling thread's ANSI code page (characters it cannot hold
// come back as its replacement), upper-cased there, and back. Null and empty texts stay as they are.
std::optional<std::u16string> upper_case_machine_name(std::optional<std::u16string> text);

// A text as it reaches an 8-bit device context: through the calling thread's ANSI code page and back.
std::u16string through_ansi(std::u16string_view text);

}  // namespace tarvik::control
