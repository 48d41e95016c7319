#include "testprogram/core/call_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "testprogram/core/ansi_text.h"

namespace tarvik::testprogram {
namespace {

constexpr std::u16string_view kEmptyLine = u"\r\n\r\n";

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::u16string trim_echo_text(std::u16string text) {
  std::size_t start = 0;
  while (text.size() - start > kEchoCharacterLimit) {
    std::size_t gap = text.find(kEmptyLine, start);
    if (gap == std::u16string::npos) break;
    start = gap + kEmptyLine.size();
  }
  text.erase(0, start);
  return text;
}

std::string with_crlf_line_breaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

bool log_file_exceeds_limit(std::uintmax_t file_bytes, std::int32_t log_file_size_kb) {
  // 64-bit product: a limit of 2 GiB or more must not overflow into "never rotate".
  const std::int64_t limit = static_cast<std::int64_t>(log_file_size_kb) * 1024;
  if (limit < 0) return true;
  return file_bytes > static_cast<std::uintmax_t>(limit);
}

modLogen::modLogen(const ProgramFiles& files, const Settings& settings, RpcEchoBox* box)
    : files_(files), settings_(settings), box_(box) {}

LogAppend modLogen::log_rpc_data(clsRpcData& record) {
  const LogAppend written = append_to_log_file(record.get_as_string());
  append_to_rpc_window(record.get_as_string());
  return written;
}

LogAppend modLogen::append_to_log_file(std::string_view text) {
  const std::filesystem::path log = files_.log_file();
  int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return LogAppend::not_written;
  bool ok = write_all(fd, utf8_to_ansi(with_crlf_line_breaks(text)) + "\r\n");
  struct stat st {};
  bool sized = ::fstat(fd, &st) == 0;
  if (::close(fd) != 0) ok = false;
  if (!ok) return LogAppend::not_written;
  if (!sized || !log_file_exceeds_limit(static_cast<std::uintmax_t>(st.st_size), settings_.LogFileSize)) {
    return LogAppend::written;
  }
  const std::filesystem::path backup = files_.backup_file();
  ::unlink(backup.c_str());  // none there is fine
  if (::rename(log.c_str(), backup.c_str()) != 0) return LogAppend::written_rotation_failed;
  return LogAppend::written_and_rotated;
}

void modLogen::append_to_rpc_window(std::string_view text) {
  if (!box_) return;
  std::u16string s = trim_echo_text(box_->text() + utf8_to_utf16(text));
  const std::size_t caret = s.size();
  s += u"\r\n";
  box_->show_text(std::move(s), caret);
}

void modLogen::clear_log_file() {
  if (box_) box_->show_text(std::u16string(), 0);
  ::unlink(files_.log_file().c_str());
  ::unlink(files_.backup_file().c_str());
}

}  // namespace tarvik::testprogram
