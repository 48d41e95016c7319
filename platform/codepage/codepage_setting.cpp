// Which code page a thread converts with: its own if set, else the process default.
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/codepage/codepage.h"
#include "platform/codepage/codepage_table.h"

namespace tarvik::codepage {

namespace {

// TARVIK_CODEPAGE holds a code page number ("1250"). Anything else is reported once and ignored.
CodePage codepage_from_environment() {
  const char* value = std::getenv("TARVIK_CODEPAGE");
  if (value == nullptr || *value == '\0') return kDefaultCodePage;
  const std::string_view text(value);
  CodePage cp = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), cp);
  if (error == std::errc() && end == text.data() + text.size() && is_supported(cp)) return cp;
  std::fprintf(stderr, "tarvik: TARVIK_CODEPAGE=%s is not a supported code page; using %u\n", value,
               kDefaultCodePage);
  return kDefaultCodePage;
}

// The environment is read on first use of the process default, whether that is a read or a write,
// so that set_process_codepage always wins over the environment.
std::atomic<CodePage>& process_codepage() {
  static std::atomic<CodePage> codepage{codepage_from_environment()};
  return codepage;
}

thread_local CodePage thread_override = 0;  // 0: follow the process default

}  // namespace

bool is_supported(CodePage cp) {
  return detail::codepage_data(cp) != nullptr;
}

CodePage thread_codepage() {
  return thread_override != 0 ? thread_override : process_codepage().load(std::memory_order_relaxed);
}

bool set_thread_codepage(CodePage cp) {
  if (cp != 0 && !is_supported(cp)) return false;
  thread_override = cp;
  return true;
}

bool set_process_codepage(CodePage cp) {
  if (!is_supported(cp)) return false;
  process_codepage().store(cp, std::memory_order_relaxed);
  return true;
}

}  // namespace tarvik::codepage
