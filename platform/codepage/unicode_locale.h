// Unicode character knowledge borrowed from the C.UTF-8 locale (part of Debian's libc-bin): the simple
// upper case of a character, and the transliterations iconv uses for best fit. The locale is only ever
// installed per thread and for the duration of a call; the process locale is never touched.
// Internal to platform/codepage; callable from any thread.
#pragma once

#include <locale.h>

namespace tarvik::codepage::detail {

// The C.UTF-8 locale, loaded once; (locale_t)0 when the system lacks it (then simple_upper knows
// ASCII only and best fit finds nothing).
locale_t unicode_locale();

// The simple (one-to-one) upper case of `c` in the Unicode character database; `c` itself when it has
// none (ß, which upper-cases to two letters, stays ß).
char32_t simple_upper(char32_t c);

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
