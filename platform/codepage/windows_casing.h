// Upper-casing as Windows does it: from Windows' own casing table (tables/upper_case_table.cpp), one
// UTF-16 unit at a time. That table holds only mappings that work both ways, so µ (U+00B5), final
// sigma ς (U+03C2) and dotless ı (U+0131) stay as they are, and ß has no upper case. Units outside the
// Basic Multilingual Plane are never changed. Internal to platform/codepage; callable from any thread.
#pragma once

namespace tarvik::codepage::detail {

char16_t windows_upper(char16_t unit);

}  // namespace tarvik::codepage::detail
