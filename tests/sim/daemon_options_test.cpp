#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/daemon.h"

namespace {

sim::ParseResult Parse(std::vector<const char*> args, sim::DaemonOptions& options,
                       std::string& error) {
  args.insert(args.begin(), "veltra-sim");
  return sim::ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(DaemonOptions, SetIdentityTimingAndFaults) {
  sim::DaemonOptions options;
  std::string error;
  ASSERT_EQ(Parse({"--count",
                   "2",
                   "--app-version",
                   "1.05",
                   "--ictrl-version=0x0210",
                   "--hw-version",
                   "7",
                   "--versions-size",
                   "2",
                   "--uid",
                   "0102030405060708090A0B0C",
                   "--burn-ms",
                   "300",
                   "--fault",
                   "busy:0703:2",
                   "--fault",
                   "refuse:identify",
                   "--no-return",
                   "--description",
                   "X V4.10"},
                  options, error),
            sim::ParseResult::Run)
      << error;
  EXPECT_EQ(options.count, 2u);
  EXPECT_EQ(options.instrument.generalAppVersion, 0x0105);
  EXPECT_EQ(options.instrument.inputsCtrlVersion, 0x0210);
  EXPECT_EQ(options.instrument.hwVersion, 7);
  EXPECT_EQ(options.instrument.versionsReplySize, 2u);
  EXPECT_EQ(options.instrument.uid[11], 0x0C);
  EXPECT_EQ(options.instrument.timing.ictrlBurnMs, 300u);
  EXPECT_EQ(options.instrument.description, "X V4.10");
  ASSERT_EQ(options.faults.size(), 2u);
  EXPECT_EQ(options.faults[0].kind, sim::FaultKind::StayBusy);
  EXPECT_EQ(options.faults[0].prefix, (std::vector<std::uint8_t>{0x07, 0x03}));
  EXPECT_EQ(options.faults[0].remaining, 2);
  EXPECT_TRUE(options.faults[1].identify);
  EXPECT_TRUE(options.neverReturn);
}

TEST(DaemonOptions, RejectWhatTheyCannotMean) {
  const std::vector<std::vector<const char*>> cases = {
      {"--count", "0"},           {"--count"},
      {"--app-version", "1.5"},   {"--app-version", "0x10000"},
      {"--uid", "0102"},          {"--versions-size", "5"},
      {"--fault", "explode"},     {"--fault", "refuse:0g"},
      {"--fault", "short:all:0"}, {"--check-ms", "-1"},
      {"--name", "a/b"},          {"--colour"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0] + std::string(" ") + (args.size() > 1 ? args[1] : ""));
    sim::DaemonOptions options;
    std::string error;
    EXPECT_EQ(Parse(args, options, error), sim::ParseResult::Error);
    EXPECT_FALSE(error.empty());
  }
}

TEST(DaemonOptions, HelpNamesEveryOptionAndControlLine) {
  sim::DaemonOptions options;
  std::string error;
  EXPECT_EQ(Parse({"--help"}, options, error), sim::ParseResult::Help);
  const std::string help = sim::HelpText();
  for (const char* word :
       {"--count",         "--name",       "--dir",           "--description", "--app-version",
        "--ictrl-version", "--hw-version", "--versions-size", "--uid",         "--check-ms",
        "--reboot-ms",     "--burn-ms",    "--fault",         "--no-return",   "--quiet",
        "unplug",          "plug",         "reboot",          "uid HEX",       "fault KIND",
        "clear",           "noreturn",     "status",          "quit",          "VSFW"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

}  // namespace
