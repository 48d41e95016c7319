// Per-thread iconv converters. An iconv_t carries conversion state and may be used by one thread at a
// time, so each thread keeps its own, opens it on first use and closes it when the thread ends.
// Internal to platform/codepage.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace tarvik::codepage::detail {

// The calling thread's converter from `from` to `to` (iconv names), reset to its initial state;
// nullptr when iconv cannot convert between the two. Owned by the calling thread's cache: use it on
// this thread only; it stays valid until the thread ends.
iconv_t thread_converter(const std::string& to, const std::string& from);

// Converts `in` with `cd`, appends the output to `out` and flushes the converter (code pages such as
// 1258 hold back a letter until they know whether a combining mark follows). Returns true when all of
// `in` was converted; otherwise stops at the first input iconv refuses (invalid or incomplete), leaves
// `in` starting there, and keeps what was converted before it in `out`. The caller must reset `cd`
// (thread_converter does) before converting other text with it.
bool convert_append(iconv_t cd, std::string_view& in, std::string& out);

}  // namespace tarvik::codepage::detail
