// The test program's settings in memory, and loading and saving them from and to the settings file.
//
// File layout (sections and keys; defaults apply when a key or the file is missing):
//   [Host]        HostID="?"  HostPort=3010  HostEnabled=1  MachineCount=1
//   [Machine_i]   i = 1..20: MachineID="Mi"  MachineIP="?"  MachinePort=3011  MachineTimeout=5
//   [Trace]       TraceAll=1, one flag per telegram (kTraceFlagKeys, default 0), LogFileSize=4 (KiB),
//                 one popup flag per incoming telegram ("Popup" + kPopupFlagTelegrams, default 1)
//   [Form]        Width=9100  Height=7560 (twips; read by the main window, never written)
//
// Threads: the program's UI thread; one Settings object for the whole program.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "testprogram/core/program_files.h"
#include "testprogram/core/telegram_order.h"

namespace tarvik::testprogram {

inline constexpr int kMachineTableSize = 20;

struct MachineEntry {
  std::string MachineID;
  std::string MachineIP = "?";
  std::int32_t MachinePort = 3011;
  std::int16_t MachineTimeout = 5;  // level 0 (shortest) to 9 (longest)
};

struct Settings {
  Settings();  // every setting at its default

  std::string HostID = "?";
  std::int32_t HostPort = 3010;
  bool HostEnabled = true;
  std::int16_t MachineCount = 1;  // 1 to 20 when written by the Settings window; loaded unchanged
  std::array<MachineEntry, kMachineTableSize> Machines;  // Machines[i - 1] is machine i
  std::int16_t TraceAll = 1;
  std::array<std::int16_t, kTraceFlagKeys.size()> TraceFlags{};  // in kTraceFlagKeys order
  std::int32_t LogFileSize = 4;                                  // kilobytes of 1024 bytes
  std::array<std::int16_t, kPopupFlagTelegrams.size()> PopupFlags{};  // in kPopupFlagTelegrams order

  // The trace flag named like `telegram` ("C_ORDER_M"), nullptr for a name that has none.
  std::int16_t* trace_flag(std::string_view telegram);
  const std::int16_t* trace_flag(std::string_view telegram) const;
  // The popup flag of an incoming telegram ("R_DATA_H"), nullptr for a name that has none.
  std::int16_t* popup_flag(std::string_view telegram);
  const std::int16_t* popup_flag(std::string_view telegram) const;

  // Whether a record is logged that TraceAll or the trace flag `trace_key` lets through.
  bool is_traced(std::string_view trace_key) const;
  // Machine entries the program configures: MachineCount limited to the table, 0 when not positive.
  int configured_machine_count() const;
};

// Which value of which file could not be used; the main window shows message() to the user.
struct SettingsProblem {
  std::filesystem::path file;
  std::string section;
  std::string key;
  std::string value;
  bool write_failed = false;  // false: the value did not convert on loading
  std::string message() const;
};

// Reads every setting in the documented order. A value that does not convert stops loading there:
// the settings read so far stay in `settings`, the rest keep what they held, and the problem is
// returned so the caller can show it and end its start-up sequence.
[[nodiscard]] std::optional<SettingsProblem> load_settings(const ProgramFiles& files, Settings& settings);

// Writes the settings in the documented order; machine sections only for machines 1 to
// configured_machine_count(), higher sections stay in the file as they are. Every value is attempted;
// the first one that could not be written is returned.
std::optional<SettingsProblem> save_settings(const ProgramFiles& files, const Settings& settings);

// The main window's start size from section "Form" (twips), defaults 9100 x 7560.
struct FormSize {
  std::int32_t Width = 9100;
  std::int32_t Height = 7560;
};
[[nodiscard]] std::optional<SettingsProblem> read_form_size(const ProgramFiles& files, FormSize& size);

}  // namespace tarvik::testprogram
