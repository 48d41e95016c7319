// The command line's reference of the telegrams (`tarvik list`, docs/telegrams.md) and the way it
// answers mistakes: unknown commands and telegrams, fields given twice, out-of-range options.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/telegram_table.h"
#include "tests/support/child_process.h"
#include "tools/tests/tarvik_process.h"

namespace tarvik::cli {
namespace {

using nlohmann::json;

const std::string kTarvik = tarvik({}).front();

test::RunResult run_tarvik(std::vector<std::string> args) { return test::run(tarvik(std::move(args))); }

std::vector<json> json_lines(const std::string& out) {
  std::vector<json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

void expect_refused(const std::vector<std::string>& args, const std::string& message_part) {
  const auto r = run_tarvik(args);
  EXPECT_EQ(r.exit_code, 2) << testing::PrintToString(args);
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_FALSE(r.err.empty()) << testing::PrintToString(args);
  EXPECT_NE(r.err.find(message_part), std::string::npos) << testing::PrintToString(args) << ": " << r.err;
}

TEST(CliReference, ListDescribesEveryTelegramFromTheTable) {
  const auto r = run_tarvik({"list"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = json_lines(r.out);
  ASSERT_EQ(lines.size(), protocol::kTelegramCount);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto& t = protocol::kTelegrams[i];
    EXPECT_EQ(lines[i]["telegram"], std::string(t.name));
    EXPECT_EQ(lines[i]["opnum"], t.opnum);
    EXPECT_EQ(lines[i]["fields"].size(), t.params.size()) << t.name;
    // Every telegram has its control member with a signature from the type library.
    const json& control = t.iface == protocol::Interface::machine ? lines[i]["control_method"]
                                                                   : lines[i]["control_events"][0];
    EXPECT_FALSE(control["signature"].get<std::string>().empty()) << t.name;
  }

  const auto one = json_lines(run_tarvik({"list", "T_DATA_M"}).out);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0]["direction"], "host to machine");
  EXPECT_EQ(one[0]["control_method"]["dispid"], 12);
  EXPECT_EQ(one[0]["managed"]["signature"], "int T_DATA_M(int OrderNum, int SFkt, string Name1, string Name2)");

  // What every telegram's line holds in detail (two events of one telegram, tables with their wire
  // sizes and types, the flattened managed event) is pinned by docs/telegrams.md, made of the same lines.
  expect_refused({"list", "T_DATA"}, "T_DATA_M");
  expect_refused({"list", "T_DATA_M", "--markdown"}, "--markdown");
}

TEST(CliReference, CommittedTelegramsDocIsWhatTheTableGenerates) {
  std::ifstream in(std::string(TARVIK_SOURCE_DIR) + "/docs/telegrams.md", std::ios::binary);
  ASSERT_TRUE(in) << "docs/telegrams.md is missing";
  std::ostringstream committed;
  committed << in.rdbuf();
  const auto r = run_tarvik({"list", "--markdown"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.out == committed.str())
      << "docs/telegrams.md is out of date: build/tools/tarvik list --markdown > docs/telegrams.md";
}

// The control is reached through the component layer: by its ProgID through the manifest beside the
// tool. A copy of the tool without that manifest (and with an empty registry) finds no control: the
// wire facts still come, the control's parts say what was missing.
TEST(CliReference, TheControlIsFoundByItsProgIdOrNamedAsMissing) {
  const auto found = run_tarvik({"typelib"});
  ASSERT_EQ(found.exit_code, 0) << found.err;
  EXPECT_NE(found.out.find("library MEVRIX"), std::string::npos);
  EXPECT_NE(found.out.find("coclass Machine"), std::string::npos);

  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "tarvik_without_manifest";
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(kTarvik, dir / "tarvik", std::filesystem::copy_options::overwrite_existing);
  const auto alone = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/env", "TARVIK_REGISTRY=" + (dir / "no-registry").string(),
                               (dir / "tarvik").string()});
    return test::run(std::move(args));
  };
  const auto typelib = alone({"typelib"});
  EXPECT_EQ(typelib.exit_code, 3);
  EXPECT_NE(typelib.err.find("Mevrix.Machine is not found"), std::string::npos) << typelib.err;
  const auto list = alone({"list", "T_DATA_M"});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  EXPECT_TRUE(json_lines(list.out).at(0)["control_method"]["signature"].is_null()) << list.out;
  EXPECT_NE(list.err.find("control signatures left out"), std::string::npos) << list.err;
  EXPECT_EQ(alone({"list", "--markdown"}).exit_code, 3);
}

TEST(CliReference, UnknownNamesAreNamedWithTheValidOnes) {
  expect_refused({"sned", "T_DATA_M"}, "unknown command \"sned\" (did you mean send?)");
  expect_refused({"--codepage", "1252", "lisen"}, "did you mean listen?");
  expect_refused({"frobnicate"}, "commands: send, listen");
  // Every valid telegram of the direction is listed.
  const auto r = run_tarvik({"send", "T_DATA_X", "--no-host"});
  EXPECT_EQ(r.exit_code, 2);
  for (const auto& t : protocol::telegrams(protocol::Interface::machine))
    EXPECT_NE(r.err.find(std::string(t.name)), std::string::npos) << t.name;
  EXPECT_EQ(r.err.find("R_MACHINE_H"), std::string::npos) << r.err;
  expect_refused({"send", "t_data_m"}, "did you mean T_DATA_M?");
  // A telegram of the other direction points at the subcommand that handles it.
  expect_refused({"send", "R_MACHINE_H"}, "tarvik notify R_MACHINE_H");
  expect_refused({"notify", "C_ORDER_M"}, "tarvik send C_ORDER_M");
}

TEST(CliReference, FieldsAndOptionsOutOfRuleAreRefused) {
  expect_refused({"send", "T_DATA_M", "SFkt=1", "SFkt=2", "--no-host"}, "SFkt is given twice");
  expect_refused({"send", "T_DATA_M", "Name1=A", "--null", "Name1", "--no-host"}, "Name1 is given twice");
  expect_refused({"notify", "R_TPS_H", "pszWPC=A,B", "pszWPC=C"}, "pszWPC is given twice");

  for (const char* port : {"65536", "-1"}) {
    expect_refused({"send", "T_DATA_M", "--machine-port", port, "--no-host"}, "--machine-port");
    expect_refused({"send", "T_DATA_M", "--host-port", port}, "--host-port");
    expect_refused({"notify", "R_TPS_H", "--host-port", port}, "--host-port");
    expect_refused({"listen", "--host-port", port}, "--host-port");
    expect_refused({"machine", "--port", port}, "--port");
  }
  // The same time-out levels for every subcommand.
  for (const char* command : {"send", "notify"}) {
    const std::string telegram = std::string(command) == "send" ? "T_DATA_M" : "R_TPS_H";
    expect_refused({command, telegram, "--timeout", "10"}, "--timeout");
    expect_refused({command, telegram, "--timeout", "-1"}, "--timeout");
  }
  expect_refused({"notify", "R_TPS_H", "--repeat", "0"}, "would make no call");

  // Values that do not fit their field, and settings out of range: exit code 2 with a message.
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {"send", "T_DATA_M", "Nmae1=x", "--no-host"},    // unknown field
      {"send", "T_DATA_M", "pszHost=H", "--no-host"},  // given by --host-id
      {"send", "T_DATA_M", "SFkt=12x", "--no-host"},   // not a number
      {"notify", "R_TPS_H", "pszWPC=A,B,C"},           // three names, two slots
      {"notify", "R_MACHINE_H", "pszWPC=ABCDEFG"},     // seven characters in a six-byte slot
      {"notify", "R_REPORT_H", "Flag=0,256"},
      {"machine", "--status-for", "C_MODE=1"},
      {"--codepage", "77777", "notify", "R_TPS_H"},
  };
  for (const auto& args : mistakes) expect_refused(args, "");
}

}  // namespace
}  // namespace tarvik::cli
