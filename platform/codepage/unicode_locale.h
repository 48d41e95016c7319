// The C.UTF-8 locale (part of Debian's libc-bin), which iconv reads its transliterations from: best fit
// for the code pages converted through iconv. The locale is only ever installed per thread and for the
// duration of a call; the process locale is never touched.
// Internal to platform/codepage; callable from any thread.
#pragma once

#include <locale.h>

namespace tarvik::codepage::detail {

// The C.UTF-8 locale, loaded once; (locale_t)0 when the system lacks it (then best fit through iconv
// finds nothing).
locale_t unicode_locale();

// Makes the calling thread use the C.UTF-8 locale (iconv reads transliterations from the thread's
// locale) until the scope ends. Does nothing when the locale is missing.
class UnicodeLocaleScope {
 public:
  UnicodeLocaleScope();
  ~UnicodeLocaleScope();
  UnicodeLocaleScope(const UnicodeLocaleScope&) = delete;
  UnicodeLocaleScope& operator=(const UnicodeLocaleScope&) = delete;

 private:
  locale_t previous_ = nullptr;
};

}  // namespace tarvik::codepage::detail
