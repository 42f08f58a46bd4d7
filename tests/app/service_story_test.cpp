#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "platform/headless/bench.h"
#include "resources/resource_ids.h"
#include "sim/sim_driver.h"

// A technician's sessions with the service functions, on the headless bench against the
// simulated instrument: the main window finds the instrument at start, the shortcuts open the
// service dialogs, and every wait runs on the virtual clock.
namespace {

constexpr unsigned kCtrlShift = headless::kCtrl | headless::kShift;
constexpr unsigned VK_T = 0x54, VK_E = 0x45, VK_R = 0x52;

class ServiceStory : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(bench.errors(), std::vector<std::string>{});
    EXPECT_EQ(driver.openHandles(), 0u);
  }

  std::string Log() { return bench.Text(res::IDD_MAIN, res::IDC_LOG); }

  headless::Bench bench;
  sim::SimDriver driver{bench.clock()};
  sim::Instrument& instrument = driver.Add();
  app::MainDialog main{driver};
};

TEST_F(ServiceStory, TechnicianMonitorsInputEventsInTheICtrlConsole) {
  bool monitoringWhileOpen = false;
  bench.user()
      .Key(VK_T, kCtrlShift)
      .Type(res::IDC_CMD_TEXT, "0x10, 0x20")
      .Click(res::IDC_SEND_CMD)
      .Click(res::IDC_INPUT_MONITORING)
      .Wait(500)
      .Click(res::IDC_INPUT_MONITORING)
      .Close()   // the console
      .Close();  // the main window
  bench.At(400, [&] { monitoringWhileOpen = instrument.monitoring(); });
  main.DoModal();

  EXPECT_EQ(bench.opened(), (std::vector<int>{res::IDD_MAIN, res::IDD_ICTRL_CMD}));
  EXPECT_EQ(bench.Text(res::IDD_ICTRL_CMD, res::IDC_CMD_RESULT), "0xAA");
  EXPECT_TRUE(monitoringWhileOpen);
  EXPECT_FALSE(instrument.monitoring());

  // An event every 35 ms for half a second, each on a line of its own.
  const std::string report = bench.Text(res::IDD_ICTRL_CMD, res::IDC_REPORT);
  ASSERT_EQ(report.size() % 22, 0u);
  EXPECT_GE(report.size() / 22, 12u);
  const std::regex line(R"( Ch:[1-8], (ID|CR|NF|DI|\?\?), Val:0x[0-9A-F]{3}\r\n)");
  for (std::size_t at = 0; at < report.size(); at += 22) {
    EXPECT_TRUE(std::regex_match(report.substr(at, 22), line)) << report.substr(at, 22);
  }
  EXPECT_NE(report.find(", ID, "), std::string::npos);
  EXPECT_NE(report.find(", DI, "), std::string::npos);

  EXPECT_EQ(Log(), "Entered in ICCmd mode\r\nExit ICCmd mode\r\n");
}

TEST_F(ServiceStory, TechnicianWatchesTheECtrlStatusWithLifeUpdate) {
  std::string statusWhilePowered;
  bench.user()
      .Key(VK_E, kCtrlShift)
      .Click(res::IDC_POWER_ON)
      .Click(res::IDC_LIFE_UPDATE)
      .Wait(1000)
      .Type(res::IDC_CMD_TEXT, "0x49")  // the controller's information text
      .Click(res::IDC_SEND_CMD)
      .Click(res::IDC_POWER_ON)  // power off: the updates stop
      .Wait(500)
      .Close()
      .Close();
  bench.At(900, [&] { statusWhilePowered = bench.Text(res::IDD_ECTRL_CMD, res::IDC_REPORT); });
  main.DoModal();

  EXPECT_EQ(bench.opened(), (std::vector<int>{res::IDD_MAIN, res::IDD_ECTRL_CMD}));
  // Powered, relays off, a supply of about 5 V.
  EXPECT_TRUE(std::regex_match(
      statusWhilePowered,
      std::regex(R"(Ld:0, Vs:(4\.9\d|5\.0\d) V\r\nFLc:\d+, STc:\d+, VFc:\d+, FBc:\d+)")))
      << statusWhilePowered;
  // The power-on update, then one every 100 ms for a second.
  const auto writes = bench.WritesTo(res::IDD_ECTRL_CMD, res::IDC_REPORT);
  EXPECT_GE(writes.size(), 9u);
  EXPECT_LE(writes.size(), 11u);
  EXPECT_FALSE(bench.Enabled(res::IDD_ECTRL_CMD, res::IDC_LIFE_UPDATE));
  // "Veltra ext. ..." as hex bytes.
  const std::string result = bench.Text(res::IDD_ECTRL_CMD, res::IDC_CMD_RESULT);
  EXPECT_EQ(result.rfind("56, 65, 6C, 74, 72, 61, 20", 0), 0u) << result;
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});

  EXPECT_EQ(Log(), "Entered in ExICCmd mode\r\nExit ExICCmd mode\r\n");
  EXPECT_EQ(instrument.extRate(), 0u);  // the mode was ended
}

TEST_F(ServiceStory, TechnicianRunsTheRelayTestForTenTicks) {
  std::uint8_t relaysAfterTenTicks = 0;
  bench.user()
      .Key(VK_R, kCtrlShift)
      .Click(res::IDC_RELAY_START)
      .Wait(10 * 300 + 150)
      .Click(res::IDC_RELAY_STOP)
      .Wait(1000)
      .Close()
      .Close();
  // Between the Stop and the close, whatever the main window's start took.
  bench.At(3700, [&] { relaysAfterTenTicks = instrument.relayState(); });
  main.DoModal();

  EXPECT_EQ(bench.opened(), (std::vector<int>{res::IDD_MAIN, res::IDD_RELAY_TEST}));
  std::string expected = "Entered in ExICCmd mode\r\n";
  for (int i = 0; i < 10; ++i) expected += "Switch relay Ok\r\n";
  EXPECT_EQ(Log(), expected + "Exit ExICCmd mode\r\n");
  // Ticks alternate off and on; the tenth switched the eight ticked channels on.
  EXPECT_EQ(relaysAfterTenTicks, 0xFF);
  EXPECT_EQ(instrument.relayState(), 0);  // the mode's end powered the crossbar off
}

}  // namespace
