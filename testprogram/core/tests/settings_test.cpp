#include "testprogram/core/settings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "temp_program_dir.h"
#include "testprogram/core/ini_values.h"

namespace tarvik::testprogram {
namespace {

using SettingsFile = TempProgramDir;

TEST_F(SettingsFile, NoFileGivesTheDefaults) {
  Settings s;
  s.HostID = "stale";  // loading must overwrite, not keep, what was there
  s.TraceFlags.fill(1);
  ASSERT_EQ(load_settings(files_, s), std::nullopt);
  EXPECT_EQ(s.HostID, "?");
  EXPECT_EQ(s.HostPort, 3010);
  EXPECT_TRUE(s.HostEnabled);
  EXPECT_EQ(s.MachineCount, 1);
  for (int i = 1; i <= kMachineTableSize; ++i) {
    const MachineEntry& m = s.Machines[i - 1];
    EXPECT_EQ(m.MachineID + m.MachineIP + std::to_string(m.MachinePort) + std::to_string(m.MachineTimeout),
              "M" + std::to_string(i) + "?30115");
  }
  EXPECT_EQ(s.TraceAll, 1);
  for (auto flag : s.TraceFlags) EXPECT_EQ(flag, 0);
  EXPECT_EQ(s.LogFileSize, 4);
  for (auto flag : s.PopupFlags) EXPECT_EQ(flag, 1);
  FormSize size;
  ASSERT_EQ(read_form_size(files_, size), std::nullopt);
  EXPECT_EQ(size.Width, 9100);
  EXPECT_EQ(size.Height, 7560);
  EXPECT_FALSE(std::filesystem::exists(files_.settings_file()));  // loading writes nothing
}

TEST_F(SettingsFile, CountThreeWithFiveSectionsLoadsFiveAndSavesThree) {
  std::string text = "[Host]\r\nHostID=HOST\r\nMachineCount=3\r\n";
  for (int i = 1; i <= 5; ++i) {
    text += "[Machine_" + std::to_string(i) + "]\r\nMachineID=Mach" + std::to_string(i) +
            "\r\nMachineIP=10.0.0." + std::to_string(i) + "\r\nMachinePort=40" + std::to_string(i) +
            "\r\nMachineTimeout=" + std::to_string(i) + "\r\n";
  }
  put(files_.settings_file(), text);
  Settings s;
  ASSERT_EQ(load_settings(files_, s), std::nullopt);
  EXPECT_EQ(s.MachineCount, 3);
  EXPECT_EQ(s.Machines[4].MachineID, "Mach5");
  EXPECT_EQ(s.Machines[4].MachineIP, "10.0.0.5");
  EXPECT_EQ(s.Machines[4].MachinePort, 405);
  EXPECT_EQ(s.Machines[4].MachineTimeout, 5);

  for (auto& m : s.Machines) m.MachineIP = "changed";
  ASSERT_EQ(save_settings(files_, s), std::nullopt);
  EXPECT_EQ(get_ini_value(files_, "Machine_3", "MachineIP", ""), "changed");
  EXPECT_EQ(get_ini_value(files_, "Machine_4", "MachineIP", ""), "10.0.0.4");
  const std::string saved = slurp(files_.settings_file());
  EXPECT_NE(saved.find("[Machine_5]\r\nMachineID=Mach5\r\nMachineIP=10.0.0.5\r\nMachinePort=405\r\n"
                       "MachineTimeout=5\r\n"),
            std::string::npos);
}

TEST_F(SettingsFile, SaveAndLoadRoundTripKeepsForeignKeysAndComments) {
  put(files_.settings_file(), "; site notes\n[Host]\nHostID=old\nOperator=Anna\n\n[Extra]\nX=1\n");
  Settings s;
  s.HostID = "H\xc3\xa9";  // "Hé": written in the code page, read back the same
  s.HostPort = 4000;
  s.HostEnabled = false;
  s.MachineCount = 2;
  s.Machines[1] = {"M2", "192.168.1.2", 3012, 9};
  *s.trace_flag("R_MESSAGE_M") = 1;
  s.TraceAll = 0;
  s.LogFileSize = 2097152;
  *s.popup_flag("R_DATA_H") = 0;
  ASSERT_EQ(save_settings(files_, s), std::nullopt);

  const std::string saved = slurp(files_.settings_file());
  EXPECT_EQ(saved.rfind("; site notes\n[Host]\nHostID=H\xe9\nOperator=Anna\nHostPort=4000\n", 0), 0u)
      << saved;
  EXPECT_NE(saved.find("\n\n[Extra]\nX=1\n"), std::string::npos);
  EXPECT_NE(saved.find("HostEnabled=0\n"), std::string::npos);

  Settings back;
  ASSERT_EQ(load_settings(files_, back), std::nullopt);
  EXPECT_EQ(back.HostID, s.HostID);
  EXPECT_EQ(back.HostPort, 4000);
  EXPECT_FALSE(back.HostEnabled);
  EXPECT_EQ(back.Machines[1].MachineIP, "192.168.1.2");
  EXPECT_EQ(back.Machines[1].MachineTimeout, 9);
  EXPECT_EQ(back.TraceFlags, s.TraceFlags);
  EXPECT_EQ(back.PopupFlags, s.PopupFlags);
  EXPECT_EQ(back.LogFileSize, 2097152);
  // With TraceAll off, the ticked R_MESSAGE_M lets its own and its partner's records through.
  EXPECT_TRUE(back.is_traced("R_MESSAGE_M"));
  EXPECT_FALSE(back.is_traced("C_ORDER_M"));
}

// Stored files and other programs reading them rely on these keys in exactly this order.
TEST_F(SettingsFile, TraceSectionKeepsItsKeysInTheirStoredOrder) {
  ASSERT_EQ(save_settings(files_, Settings()), std::nullopt);
  const std::string saved = slurp(files_.settings_file());
  const std::size_t start = saved.find("[Trace]");
  ASSERT_NE(start, std::string::npos) << saved;
  std::string keys;
  std::istringstream lines(saved.substr(start));
  std::getline(lines, keys);  // the section line itself
  keys.clear();
  for (std::string line; std::getline(lines, line) && !line.starts_with("[");)
    if (line.find('=') != std::string::npos) keys += line.substr(0, line.find('=')) + " ";
  EXPECT_EQ(keys,
            "TraceAll R_DDEDATA_H R_VAR_H T_VAR_H R_MESSAGE_H R_TPS_H R_REPORT_H R_MACHINE_H T_DATA_H R_DATA_H "
            "R_VAR_M T_VAR_M R_MESSAGE_M R_DDEDATA_M T_TPS_M C_TPORDER_M C_SYNCH_M C_MODE_M R_REPORT_M "
            "R_NC4WPC_M C_DELETE_M T_MACHINE_M T_DATA_M R_DATA_M C_ORDER_M T_REPORT_M LogFileSize "
            "PopupR_DDEDATA_H PopupR_VAR_H PopupT_VAR_H PopupR_MESSAGE_H PopupR_TPS_H PopupR_REPORT_H "
            "PopupR_MACHINE_H PopupT_DATA_H PopupR_DATA_H ");
}

TEST_F(SettingsFile, AValueThatDoesNotConvertStopsLoadingVisibly) {
  put(files_.settings_file(),
      "[Host]\nHostID=H1\nHostPort=3020\n[Machine_1]\nMachineID=A\n[Machine_2]\nMachineID=B\n"
      "MachinePort=30x1\n[Machine_3]\nMachineID=C\n");
  Settings s;
  std::optional<SettingsProblem> problem = load_settings(files_, s);
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(problem->section, "Machine_2");
  EXPECT_EQ(problem->key, "MachinePort");
  EXPECT_EQ(problem->value, "30x1");
  EXPECT_EQ(problem->file, files_.settings_file());
  const std::string message = problem->message();
  EXPECT_NE(message.find("MachinePort"), std::string::npos);
  EXPECT_NE(message.find(files_.settings_file().string()), std::string::npos);
  // What was read before the stop stays; what follows was never read.
  EXPECT_EQ(s.HostID, "H1");
  EXPECT_EQ(s.HostPort, 3020);
  EXPECT_EQ(s.Machines[1].MachineID, "B");
  EXPECT_EQ(s.Machines[1].MachinePort, 3011);
  EXPECT_EQ(s.Machines[2].MachineID, "M3");
}

TEST_F(SettingsFile, ConversionRulesPerType) {
  struct Row {
    const char* key;
    const char* value;
    bool loads;
  };
  const Row rows[] = {
      {"HostEnabled", "2", true},         {"HostEnabled", "0", true},       {"HostEnabled", "True", true},
      {"HostEnabled", "yes", false},      {"HostPort", "", false},          {"HostPort", "3010.5", true},
      {"HostPort", "99999999999", false}, {"MachineCount", "40000", false}, {"MachineCount", "50", true},
      {"MachineCount", "0", true},
  };
  for (const auto& row : rows) {
    std::filesystem::remove(files_.settings_file());
    write_ini_value(files_, "Host", row.key, row.value);
    Settings s;
    EXPECT_EQ(!load_settings(files_, s).has_value(), row.loads) << row.key << "=" << row.value;
  }
}

TEST_F(SettingsFile, OutOfRangeMachineCountSavesOnlyTheTable) {
  put(files_.settings_file(), "[Host]\nMachineCount=50\n");
  Settings s;
  ASSERT_EQ(load_settings(files_, s), std::nullopt);
  EXPECT_EQ(s.MachineCount, 50);  // loaded unchanged
  EXPECT_EQ(s.configured_machine_count(), 20);
  ASSERT_EQ(save_settings(files_, s), std::nullopt);
  EXPECT_EQ(get_ini_value(files_, "Machine_20", "MachineID", ""), "M20");
  EXPECT_EQ(get_ini_value(files_, "Machine_21", "MachineID", "none"), "none");
  EXPECT_EQ(get_ini_value(files_, "Host", "MachineCount", ""), "50");
}

TEST_F(SettingsFile, UnwritableFileIsReported) {
  ProgramFiles nowhere(dir_ / "missing_dir", "RpcTarvikTest");
  std::optional<SettingsProblem> problem = save_settings(nowhere, Settings());
  ASSERT_TRUE(problem.has_value());
  EXPECT_TRUE(problem->write_failed);
  EXPECT_EQ(problem->key, "HostID");
}

}  // namespace
}  // namespace tarvik::testprogram
