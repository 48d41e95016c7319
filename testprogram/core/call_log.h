// modLogen: writes call records to the size-limited log file and echoes them in the main window.
//
// Log file: ProgramFiles::log_file(), 8-bit text in the ANSI code page; each record's text followed by
// one more CR LF, so records are separated by an empty line. The file is opened, appended and closed
// for every record. When it has grown beyond LogFileSize x 1024 bytes (compared in 64 bits), it
// becomes the single backup ProgramFiles::backup_file(), replacing an older one, and the next record
// starts a new log file. A line break inside a value (multi-line fields send LF) is written as CR LF
// like every other line end of the file. A record that cannot be written is dropped and the echo
// still happens; AppendToLogFile says so, and the caller tells the user.
//
// Echo: the text box RpcEchoBox keeps the newest records, each followed by an empty line, and drops
// the oldest whole records once it holds more than 5000 characters (TrimEchoText).
//
// Threads: the program's UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "testprogram/core/call_record.h"
#include "testprogram/core/program_files.h"
#include "testprogram/core/settings.h"

namespace tarvik::testprogram {

// The main window's echo text box (txtRPC), as the logger needs it. Texts are UTF-16, positions in
// UTF-16 code units.
class RpcEchoBox {
 public:
  virtual ~RpcEchoBox() = default;
  virtual std::u16string text() const = 0;
  // Replaces the whole text and places the caret at `caret`, so that the box shows that position.
  virtual void show_text(std::u16string text, std::size_t caret) = 0;
};

// Above this many characters the echo drops its oldest records.
inline constexpr std::size_t kEchoCharacterLimit = 5000;

// The echo text after appending: while `text` has more than kEchoCharacterLimit characters, drop
// everything up to and including its first empty line (CR LF CR LF), i.e. the oldest record; stop when
// there is none. A single record longer than the limit therefore stays.
std::u16string trim_echo_text(std::u16string text);

// Whether a log file of `file_bytes` has outgrown the limit of `log_file_size_kb` kilobytes. Negative
// limits count as exceeded by any file, 0 by every non-empty file.
bool log_file_exceeds_limit(std::uintmax_t file_bytes, std::int32_t log_file_size_kb);

// `text` with every line break (CR LF, a lone LF, a lone CR) written as CR LF.
std::string with_crlf_line_breaks(std::string_view text);

enum class LogAppend {
  written,                  // the record is in the log file
  written_and_rotated,      // ... and the log file became the backup
  written_rotation_failed,  // ... but it could not be renamed to the backup
  not_written,              // the log file could not be opened or written
};

class modLogen {
 public:
  // All three must outlive the logger. `box` may be null (no echo). The limit is read from
  // settings.LogFileSize at every append.
  modLogen(const ProgramFiles& files, const Settings& settings, RpcEchoBox* box);

  // Appends the record's text to the log file, then echoes it in the window. Returns what became of
  // the log file.
  LogAppend log_rpc_data(clsRpcData& record);
  // `text` is UTF-8; written in the ANSI code page and followed by CR LF.
  LogAppend append_to_log_file(std::string_view text);
  // `text` is UTF-8.
  void append_to_rpc_window(std::string_view text);
  // Empties the echo, deletes the log file and its backup; failures are ignored.
  void clear_log_file();

 private:
  const ProgramFiles& files_;
  const Settings& settings_;
  RpcEchoBox* box_;
};

}  // namespace tarvik::testprogram
