#include "testprogram/core/settings.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "testprogram/core/ini_values.h"
#include "testprogram/core/number_text.h"

namespace tarvik::testprogram {
namespace {

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& keys, std::string_view key) {
  auto it = std::find(keys.begin(), keys.end(), key);
  return it == keys.end() ? -1 : static_cast<int>(it - keys.begin());
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::optional<bool> TextToBoolean(std::string_view text) {
  if (std::optional<double> n = WholeTextNumber(text)) return *n != 0.0;
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  if (EqualsIgnoringCase(t, "true")) return true;
  if (EqualsIgnoringCase(t, "false")) return false;
  return std::nullopt;
}

std::optional<std::int16_t> TextToInt16(std::string_view text) {
  std::optional<double> n = WholeTextNumber(text);
  if (!n) return std::nullopt;
  return RoundToInt16(*n);
}

// Reads values one after the other and stops at the first that does not convert.
class SettingsReader {
 public:
  explicit SettingsReader(const ProgramFiles& files) : files_(files) {}

  template <typename T, typename Convert>
  bool Read(std::string_view section, std::string_view key, std::string_view fallback, Convert convert,
            T& target) {
    if (problem_) return false;
    std::string text = GetIniValue(files_, section, key, fallback);
    std::optional<T> value = convert(text);
    if (!value) {
      problem_ = SettingsProblem{files_.SettingsFile(), std::string(section), std::string(key), text, false};
      return false;
    }
    target = *value;
    return true;
  }
  bool Text(std::string_view section, std::string_view key, std::string_view fallback, std::string& target) {
    if (problem_) return false;
    target = GetIniValue(files_, section, key, fallback);
    return true;
  }
  bool Int32(std::string_view section, std::string_view key, std::string_view fallback,
             std::int32_t& target) {
    return Read(section, key, fallback, WholeTextToInt32, target);
  }
  bool Int16(std::string_view section, std::string_view key, std::string_view fallback,
             std::int16_t& target) {
    return Read(section, key, fallback, TextToInt16, target);
  }
  bool Boolean(std::string_view section, std::string_view key, std::string_view fallback, bool& target) {
    return Read(section, key, fallback, TextToBoolean, target);
  }
  std::optional<SettingsProblem> Problem() const { return problem_; }

 private:
  const ProgramFiles& files_;
  std::optional<SettingsProblem> problem_;
};

class SettingsWriter {
 public:
  explicit SettingsWriter(const ProgramFiles& files) : files_(files) {}
  void Write(std::string_view section, std::string_view key, const std::string& value) {
    if (!WriteIniValue(files_, section, key, value) && !problem_) {
      problem_ = SettingsProblem{files_.SettingsFile(), std::string(section), std::string(key), value, true};
    }
  }
  void Number(std::string_view section, std::string_view key, std::int64_t value) {
    Write(section, key, std::to_string(value));
  }
  std::optional<SettingsProblem> Problem() const { return problem_; }

 private:
  const ProgramFiles& files_;
  std::optional<SettingsProblem> problem_;
};

std::string MachineSection(int i) {
  return "Machine_" + std::to_string(i);
}

}  // namespace

Settings::Settings() {
  for (int i = 0; i < kMachineTableSize; ++i) Machines[i].MachineID = "M" + std::to_string(i + 1);
  TraceFlags.fill(0);
  PopupFlags.fill(1);
}

std::int16_t* Settings::TraceFlag(std::string_view telegram) {
  int i = IndexOf(kTraceFlagKeys, telegram);
  return i < 0 ? nullptr : &TraceFlags[i];
}
const std::int16_t* Settings::TraceFlag(std::string_view telegram) const {
  return const_cast<Settings*>(this)->TraceFlag(telegram);
}

std::int16_t* Settings::PopupFlag(std::string_view telegram) {
  int i = IndexOf(kPopupFlagTelegrams, telegram);
  return i < 0 ? nullptr : &PopupFlags[i];
}
const std::int16_t* Settings::PopupFlag(std::string_view telegram) const {
  return const_cast<Settings*>(this)->PopupFlag(telegram);
}

bool Settings::IsTraced(std::string_view trace_key) const {
  const std::int16_t* flag = TraceFlag(trace_key);
  return TraceAll != 0 || (flag && *flag != 0);
}

int Settings::ConfiguredMachineCount() const {
  return std::clamp<int>(MachineCount, 0, kMachineTableSize);
}

std::string SettingsProblem::Message() const {
  std::string where = "key \"" + key + "\" in section [" + section + "] of " + file.string();
  if (write_failed) return "The settings could not be written (" + where + ").";
  return "The value \"" + value + "\" of " + where +
         " is not a valid setting. Loading the settings stopped there; correct the file and start the "
         "program again.";
}

std::optional<SettingsProblem> LoadSettings(const ProgramFiles& files, Settings& s) {
  SettingsReader r(files);
  r.Text("Host", "HostID", "?", s.HostID);
  r.Int32("Host", "HostPort", "3010", s.HostPort);
  r.Boolean("Host", "HostEnabled", "1", s.HostEnabled);
  r.Int16("Host", "MachineCount", "1", s.MachineCount);
  for (int i = 1; i <= kMachineTableSize; ++i) {
    MachineEntry& m = s.Machines[i - 1];
    const std::string section = MachineSection(i);
    r.Text(section, "MachineID", "M" + std::to_string(i), m.MachineID);
    r.Text(section, "MachineIP", "?", m.MachineIP);
    r.Int32(section, "MachinePort", "3011", m.MachinePort);
    r.Int16(section, "MachineTimeout", "5", m.MachineTimeout);
  }
  r.Int16("Trace", "TraceAll", "1", s.TraceAll);
  for (std::size_t i = 0; i < kTraceFlagKeys.size(); ++i)
    r.Int16("Trace", kTraceFlagKeys[i], "0", s.TraceFlags[i]);
  r.Int32("Trace", "LogFileSize", "4", s.LogFileSize);
  for (std::size_t i = 0; i < kPopupFlagTelegrams.size(); ++i)
    r.Int16("Trace", popup_flag_key(kPopupFlagTelegrams[i]), "1", s.PopupFlags[i]);
  return r.Problem();
}

std::optional<SettingsProblem> SaveSettings(const ProgramFiles& files, const Settings& s) {
  SettingsWriter w(files);
  w.Write("Host", "HostID", s.HostID);
  w.Number("Host", "HostPort", s.HostPort);
  w.Write("Host", "HostEnabled", s.HostEnabled ? "1" : "0");
  w.Number("Host", "MachineCount", s.MachineCount);
  for (int i = 1; i <= s.ConfiguredMachineCount(); ++i) {
    const MachineEntry& m = s.Machines[i - 1];
    const std::string section = MachineSection(i);
    w.Write(section, "MachineID", m.MachineID);
    w.Write(section, "MachineIP", m.MachineIP);
    w.Number(section, "MachinePort", m.MachinePort);
    w.Number(section, "MachineTimeout", m.MachineTimeout);
  }
  w.Number("Trace", "TraceAll", s.TraceAll);
  for (std::size_t i = 0; i < kTraceFlagKeys.size(); ++i)
    w.Number("Trace", kTraceFlagKeys[i], s.TraceFlags[i]);
  w.Number("Trace", "LogFileSize", s.LogFileSize);
  for (std::size_t i = 0; i < kPopupFlagTelegrams.size(); ++i)
    w.Number("Trace", popup_flag_key(kPopupFlagTelegrams[i]), s.PopupFlags[i]);
  return w.Problem();
}

std::optional<SettingsProblem> ReadFormSize(const ProgramFiles& files, FormSize& size) {
  SettingsReader r(files);
  r.Int32("Form", "Width", "9100", size.Width);
  r.Int32("Form", "Height", "7560", size.Height);
  return r.Problem();
}

}  // namespace tarvik::testprogram
