// INI text held in memory: finding a value and changing one value, with the lookup rules of the
// Windows private-profile functions. Pure functions over 8-bit text (std::string_view) or UTF-16 text
// (std::u16string_view, for files with a UTF-16 byte order mark); platform/profile/profile.h adds files.
//
// Rules (the same for reading and writing):
// - Lines end in LF, CR LF or CR alone; a file may mix them.
// - A section starts at a line whose first non-blank character is '[' and that holds a ']'; its name
//   is the text up to the first ']', blanks around it ignored, and the rest of the line means nothing
//   (`[Dbl]]` is the section "Dbl", `[Host] ; main` the section "Host").
// - Lines before the first section belong to no section: no section name finds their keys (not even
//   an empty one) and a write never changes them.
// - Lines starting with ';' are comments. Every other non-blank line inside a section is a key: the
//   text before the first '=', blanks around it ignored. A line without '=' is a key without a value:
//   reading it gives nothing (the caller's default), writing it turns the line into key=value.
// - Section and key names compare without regard to ASCII letter case; the first matching section
//   and, inside it, the first matching key win.
// - A value is the text after the '=' without the blanks and tabs around it; a value enclosed in a
//   matching pair of double or single quotes loses that pair.
// - Bytes are 8-bit text in any code page (or UTF-16 units) and are never interpreted beyond ASCII
//   blanks, line ends, brackets, '=', ';' and quotes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::profile {

// The value of `key` in `section` of `content`, or nothing when the section or the key is missing or
// the key's line has no '='.
std::optional<std::string> find_value(std::string_view content, std::string_view section,
                                      std::string_view key);
std::optional<std::u16string> find_value(std::u16string_view content, std::u16string_view section,
                                         std::u16string_view key);

// Whether a name can be written as a section name (no line break, no ']', no NUL, not empty after
// trimming) or as a key name (no line break, no '=', no NUL, no leading '[' or ';', not empty).
bool is_writable_section_name(std::string_view section);
bool is_writable_key_name(std::string_view key);
// Whether a value can be written on one line (no CR, LF or NUL).
bool is_writable_value(std::string_view value);

// `content` with key=value set in section. Only one line changes or is added; every other byte of the
// content stays as it was:
// - key present with a value that reads the same as `value` would (blanks around '=' and one pair of
//   quotes do not count): nothing changes;
// - key present otherwise (also as a line without '='): its line becomes the key as spelled in the
//   file, '=', the value;
// - section present, key missing: key=value is inserted after the section's last non-blank line;
// - section missing: an empty line (unless the content is empty), "[section]" and key=value are
//   appended.
// New lines take the content's line ending (that of its first line: CR LF, LF or CR), CR LF for content
// without one. The caller checks the names and the value with the is_writable_ functions first.
std::string with_value(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value);
std::u16string with_value(std::u16string_view content, std::u16string_view section, std::u16string_view key,
                          std::u16string_view value);

// The text to write so that find_value gives `value` back unchanged: values with blanks or tabs at
// either end, or enclosed in a matching pair of quotes, are put inside double quotes (the reader
// strips exactly one pair); every other value is returned as it is.
std::string quoted_for_reading_back(std::string_view value);

}  // namespace tarvik::profile
