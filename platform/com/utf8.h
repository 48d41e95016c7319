// UTF-16 <-> UTF-8 for the component layer's text files (registry, manifest) and printers.
// Unpaired surrogates and invalid UTF-8 sequences become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace tarvik::com {

std::string to_utf8(std::u16string_view text);
std::u16string from_utf8(std::string_view text);

}  // namespace tarvik::com
