#include "platform/profile/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/profile/ini_document.h"
#include "platform/profile/profile_text.h"

namespace tarvik::profile {
namespace {

// Reads the whole file, bounded. `content` is empty for a missing file.
ProfileStatus read_file(const std::filesystem::path& file, std::string& content) {
  content.clear();
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ProfileStatus::file_missing : ProfileStatus::io_error;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ProfileStatus::io_error;
  }
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxProfileFileBytes) {
    ::close(fd);
    return ProfileStatus::too_large;
  }
  char buffer[16384];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return ProfileStatus::io_error;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > kMaxProfileFileBytes) {  // grew while we read
      ::close(fd);
      return ProfileStatus::too_large;
    }
  }
  ::close(fd);
  return ProfileStatus::ok;
}

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Replaces `file` by `content` through a temporary file beside it. A new file gets the mode
// 0666 less the umask, an existing one keeps its mode.
ProfileStatus replace_file(const std::filesystem::path& file, std::string_view content) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp = file;
  temp += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return ProfileStatus::io_error;
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  bool written = write_all(fd, content);
  if (::close(fd) != 0) written = false;
  if (!written || ::rename(temp.c_str(), file.c_str()) != 0) {
    ::unlink(temp.c_str());
    return ProfileStatus::io_error;
  }
  return ProfileStatus::ok;
}

}  // namespace

std::string_view status_text(ProfileStatus status) {
  switch (status) {
    case ProfileStatus::ok:
      return "ok";
    case ProfileStatus::file_missing:
      return "the file does not exist";
    case ProfileStatus::too_large:
      return "the file is too large";
    case ProfileStatus::invalid_argument:
      return "the name or the value cannot be written on one line";
    case ProfileStatus::io_error:
      return "the file cannot be read or written";
  }
  return "unknown";
}

std::optional<std::string> read_value(const std::filesystem::path& file, std::string_view section,
                                      std::string_view key, ProfileStatus* status) {
  std::string content;
  ProfileStatus s = read_file(file, content);
  if (status) *status = s;
  if (s != ProfileStatus::ok) return std::nullopt;
  const detail::TextEncoding encoding = detail::detect_encoding(content);
  if (encoding == detail::TextEncoding::ansi) return find_value(content, section, key);
  const detail::Utf16Text text = detail::decode_utf16(content, encoding);
  const std::optional<std::u16string> value =
      find_value(text.text, codepage::from_ansi(section), codepage::from_ansi(key));
  if (!value) return std::nullopt;
  return codepage::to_ansi(*value);
}

std::string get_private_profile_string(std::string_view section, std::string_view key,
                                       std::string_view default_value, std::size_t buffer_size,
                                       const std::filesystem::path& file) {
  std::optional<std::string> value = read_value(file, section, key);
  // Trailing spaces of the default are dropped, as the Windows function drops them.
  while (!default_value.empty() && default_value.back() == ' ') default_value.remove_suffix(1);
  std::string out = value ? std::move(*value) : std::string(default_value);
  std::size_t room = buffer_size == 0 ? 0 : buffer_size - 1;
  if (out.size() > room) out.resize(room);
  return out;
}

ProfileStatus write_private_profile_string(std::string_view section, std::string_view key,
                                           std::string_view value, const std::filesystem::path& file) {
  if (!is_writable_section_name(section) || !is_writable_key_name(key) || !is_writable_value(value)) {
    return ProfileStatus::invalid_argument;
  }
  // A link stays a link: the file it points to is the one replaced.
  std::filesystem::path target = file;
  std::error_code ec;
  if (std::filesystem::is_symlink(file, ec)) {
    target = std::filesystem::weakly_canonical(file, ec);
    if (ec) return ProfileStatus::io_error;
  }
  std::string content;
  ProfileStatus s = read_file(target, content);
  if (s != ProfileStatus::ok && s != ProfileStatus::file_missing) return s;
  const detail::TextEncoding encoding = detail::detect_encoding(content);
  if (encoding != detail::TextEncoding::ansi) {
    // A UTF-16 file stays UTF-16: the change is made in UTF-16, so no other character of the file
    // passes through the code page.
    detail::Utf16Text text = detail::decode_utf16(content, encoding);
    std::u16string updated = with_value(text.text, codepage::from_ansi(section), codepage::from_ansi(key),
                                        codepage::from_ansi(value));
    if (updated == text.text) return ProfileStatus::ok;
    text.text = std::move(updated);
    return replace_file(target, detail::encode_utf16(text, encoding));
  }
  std::string updated = with_value(content, section, key, value);
  if (s == ProfileStatus::ok && updated == content) return ProfileStatus::ok;
  return replace_file(target, updated);
}

}  // namespace tarvik::profile
