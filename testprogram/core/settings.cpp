#include "testprogram/core/settings.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "testprogram/core/ini_values.h"
#include "testprogram/core/number_text.h"

namespace tarvik::testprogram {
namespace {

template <std::size_t N>
int index_of(const std::array<std::string_view, N>& keys, std::string_view key) {
  auto it = std::find(keys.begin(), keys.end(), key);
  return it == keys.end() ? -1 : static_cast<int>(it - keys.begin());
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::optional<bool> text_to_boolean(std::string_view text) {
  if (std::optional<double> n = whole_text_number(text)) return *n != 0.0;
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  if (equals_ignoring_case(t, "true")) return true;
  if (equals_ignoring_case(t, "false")) return false;
  return std::nullopt;
}

std::optional<std::int16_t> text_to_int16(std::string_view text) {
  std::optional<double> n = whole_text_number(text);
  if (!n) return std::nullopt;
  return round_to_int16(*n);
}

// Reads values one after the other and stops at the first that does not convert.
class SettingsReader {
 public:
  explicit SettingsReader(const ProgramFiles& files) : files_(files) {}

  template <typename T, typename Convert>
  bool read(std::string_view section, std::string_view key, std::string_view fallback, Convert convert,
            T& target) {
    if (problem_) return false;
    std::string text = get_ini_value(files_, section, key, fallback);
    std::optional<T> value = convert(text);
    if (!value) {
      problem_ = SettingsProblem{files_.settings_file(), std::string(section), std::string(key), text, false};
      return false;
    }
    target = *value;
    return true;
  }
  bool text(std::string_view section, std::string_view key, std::string_view fallback, std::string& target) {
    if (problem_) return false;
    target = get_ini_value(files_, section, key, fallback);
    return true;
  }
  bool int32(std::string_view section, std::string_view key, std::string_view fallback,
             std::int32_t& target) {
    return read(section, key, fallback, whole_text_to_int32, target);
  }
  bool int16(std::string_view section, std::string_view key, std::string_view fallback,
             std::int16_t& target) {
    return read(section, key, fallback, text_to_int16, target);
  }
  bool boolean(std::string_view section, std::string_view key, std::string_view fallback, bool& target) {
    return read(section, key, fallback, text_to_boolean, target);
  }
  std::optional<SettingsProblem> problem() const { return problem_; }

 private:
  const ProgramFiles& files_;
  std::optional<SettingsProblem> problem_;
};

class SettingsWriter {
 public:
  explicit SettingsWriter(const ProgramFiles& files) : files_(files) {}
  void write(std::string_view section, std::string_view key, const std::string& value) {
    if (!write_ini_value(files_, section, key, value) && !problem_) {
      problem_ = SettingsProblem{files_.settings_file(), std::string(section), std::string(key), value, true};
    }
  }
  void number(std::string_view section, std::string_view key, std::int64_t value) {
    write(section, key, std::to_string(value));
  }
  std::optional<SettingsProblem> problem() const { return problem_; }

 private:
  const ProgramFiles& files_;
  std::optional<SettingsProblem> problem_;
};

std::string machine_section(int i) {
  return "Machine_" + std::to_string(i);
}

}  // namespace

Settings::Settings() {
  for (int i = 0; i < kMachineTableSize; ++i) Machines[i].MachineID = "M" + std::to_string(i + 1);
  TraceFlags.fill(0);
  PopupFlags.fill(1);
}

std::int16_t* Settings::trace_flag(std::string_view telegram) {
  int i = index_of(kTraceFlagKeys, telegram);
  return i < 0 ? nullptr : &TraceFlags[i];
}
const std::int16_t* Settings::trace_flag(std::string_view telegram) const {
  return const_cast<Settings*>(this)->trace_flag(telegram);
}

std::int16_t* Settings::popup_flag(std::string_view telegram) {
  int i = index_of(kPopupFlagTelegrams, telegram);
  return i < 0 ? nullptr : &PopupFlags[i];
}
const std::int16_t* Settings::popup_flag(std::string_view telegram) const {
  return const_cast<Settings*>(this)->popup_flag(telegram);
}

bool Settings::is_traced(std::string_view trace_key) const {
  const std::int16_t* flag = trace_flag(trace_key);
  return TraceAll != 0 || (flag && *flag != 0);
}

int Settings::configured_machine_count() const {
  return std::clamp<int>(MachineCount, 0, kMachineTableSize);
}

std::string SettingsProblem::message() const {
  std::string where = "key \"" + key + "\" in section [" + section + "] of " + file.string();
  if (write_failed) return "The settings could not be written (" + where + ").";
  return "The value \"" + value + "\" of " + where +
         " is not a valid setting. Loading the settings stopped there; correct the file and start the "
         "program again.";
}

std::optional<SettingsProblem> load_settings(const ProgramFiles& files, Settings& s) {
  SettingsReader r(files);
  r.text("Host", "HostID", "?", s.HostID);
  r.int32("Host", "HostPort", "3010", s.HostPort);
  r.boolean("Host", "HostEnabled", "1", s.HostEnabled);
  r.int16("Host", "MachineCount", "1", s.MachineCount);
  for (int i = 1; i <= kMachineTableSize; ++i) {
    MachineEntry& m = s.Machines[i - 1];
    const std::string section = machine_section(i);
    r.text(section, "MachineID", "M" + std::to_string(i), m.MachineID);
    r.text(section, "MachineIP", "?", m.MachineIP);
    r.int32(section, "MachinePort", "3011", m.MachinePort);
    r.int16(section, "MachineTimeout", "5", m.MachineTimeout);
  }
  r.int16("Trace", "TraceAll", "1", s.TraceAll);
  for (std::size_t i = 0; i < kTraceFlagKeys.size(); ++i)
    r.int16("Trace", kTraceFlagKeys[i], "0", s.TraceFlags[i]);
  r.int32("Trace", "LogFileSize", "4", s.LogFileSize);
  for (std::size_t i = 0; i < kPopupFlagTelegrams.size(); ++i)
    r.int16("Trace", popup_flag_key(kPopupFlagTelegrams[i]), "1", s.PopupFlags[i]);
  return r.problem();
}

std::optional<SettingsProblem> save_settings(const ProgramFiles& files, const Settings& s) {
  SettingsWriter w(files);
  w.write("Host", "HostID", s.HostID);
  w.number("Host", "HostPort", s.HostPort);
  w.write("Host", "HostEnabled", s.HostEnabled ? "1" : "0");
  w.number("Host", "MachineCount", s.MachineCount);
  for (int i = 1; i <= s.configured_machine_count(); ++i) {
    const MachineEntry& m = s.Machines[i - 1];
    const std::string section = machine_section(i);
    w.write(section, "MachineID", m.MachineID);
    w.write(section, "MachineIP", m.MachineIP);
    w.number(section, "MachinePort", m.MachinePort);
    w.number(section, "MachineTimeout", m.MachineTimeout);
  }
  w.number("Trace", "TraceAll", s.TraceAll);
  for (std::size_t i = 0; i < kTraceFlagKeys.size(); ++i)
    w.number("Trace", kTraceFlagKeys[i], s.TraceFlags[i]);
  w.number("Trace", "LogFileSize", s.LogFileSize);
  for (std::size_t i = 0; i < kPopupFlagTelegrams.size(); ++i)
    w.number("Trace", popup_flag_key(kPopupFlagTelegrams[i]), s.PopupFlags[i]);
  return w.problem();
}

std::optional<SettingsProblem> read_form_size(const ProgramFiles& files, FormSize& size) {
  SettingsReader r(files);
  r.int32("Form", "Width", "9100", size.Width);
  r.int32("Form", "Height", "7560", size.Height);
  return r.problem();
}

}  // namespace tarvik::testprogram
