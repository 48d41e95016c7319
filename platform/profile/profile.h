// INI files read and written one value at a time, with the semantics of the Windows private-profile
// functions (lookup rules in platform/profile/ini_document.h).
//
// Every call opens, reads (and for writes replaces) and closes the file: nothing is cached, so a
// value written is seen by the next read, also by another program. Files are 8-bit text, kept as bytes
// and never converted; a file that starts with a UTF-16 byte order mark (FF FE, or FE FF) is read and
// written as UTF-16 in that byte order, its names and values converted from and to the calling thread's
// ANSI code page (platform/codepage, best fit for characters the code page lacks). A new file is 8-bit
// text. A write replaces the file through a temporary file in the same directory
// and a rename, so a failure half-way leaves the old file intact; the file's permission bits are kept.
// Files larger than kMaxProfileFileBytes are not read (a read gives the default, a write fails) so a
// damaged or foreign file cannot exhaust memory.
//
// Threads: any thread; two writers of the same file at the same time may lose one of the writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::profile {

inline constexpr std::uintmax_t kMaxProfileFileBytes = 16u * 1024u * 1024u;

enum class ProfileStatus {
  ok,
  file_missing,      // read: the file does not exist
  too_large,         // the file exceeds kMaxProfileFileBytes
  invalid_argument,  // write: a name or the value cannot be written on one line
  io_error,          // the file cannot be read, or the new file cannot be written or renamed
};

std::string_view status_text(ProfileStatus status);

// The value of key in section of `file`, or nothing when the file, the section or the key is missing
// (or the file cannot be read; `status`, when given, tells which).
std::optional<std::string> read_value(const std::filesystem::path& file, std::string_view section,
                                      std::string_view key, ProfileStatus* status = nullptr);

// Like the system's GetPrivateProfileString with a buffer of `buffer_size` bytes: the value, or
// `default_value` without its trailing spaces when there is none, cut to buffer_size - 1 bytes (nothing
// when buffer_size is 0).
std::string get_private_profile_string(std::string_view section, std::string_view key,
                                       std::string_view default_value, std::size_t buffer_size,
                                       const std::filesystem::path& file);

// Sets key=value in section of `file`, creating the file and the section when missing and changing
// nothing else in the file. Writing a value that reads the same as the one already there leaves the
// file untouched (blanks around '=' and a pair of quotes do not count).
ProfileStatus write_private_profile_string(std::string_view section, std::string_view key,
                                           std::string_view value, const std::filesystem::path& file);

}  // namespace tarvik::profile
