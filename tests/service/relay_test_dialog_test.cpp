#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/relay_test_dialog.h"
#include "tests/support/service_fixture.h"

namespace {

using platform::fake::Reply;
using service_test::ServiceTest;

constexpr int kRelay = res::IDD_RELAY_TEST;
constexpr const char* kOk = "Switch relay Ok\r\n";
constexpr const char* kFailure = "Switch relay FAILURE\r\n";

class RelayTest : public ServiceTest {
 protected:
  RelayTest() {
    // Every switch is accepted and answered with one byte; the test reads the states sent.
    driver.Respond([this](const platform::fake::Request& r) -> std::optional<Reply> {
      if (r.input.size() == 4 && r.input[0] == 0x08 && r.input[1] == 0x02 && r.input[2] == 0x53) {
        states.push_back(r.input[3]);
        return Reply::Answer({device::REPLY_OK});
      }
      if (r.input == std::vector<std::uint8_t>{0x08, 0x03}) {
        return Reply::Answer({device::REPLY_LAST, 0x06});
      }
      return std::nullopt;
    });
  }

  void Run() {
    service::RelayTestDialog dialog(&main);
    dialog.DoModal();
  }

  std::vector<std::uint8_t> states;
};

TEST_F(RelayTest, OpensWithAllChannelsTickedAndNothingSent) {
  service::RelayTestDialog dialog(&main);
  dialog.DoModal();
  for (int id = res::IDC_RELAY_FIRST; id <= res::IDC_RELAY_LAST; ++id) {
    EXPECT_EQ(bench.Check(kRelay, id), ui::BST_CHECKED) << id;
  }
  EXPECT_EQ(dialog.relayMask, 0xFFu);
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{});
  EXPECT_EQ(main.logText, "");
}

TEST_F(RelayTest, TicksSwitchAllOffThenTheTickedOn) {
  struct Case {
    const char* name;
    std::vector<int> clicks;  // before Start
    std::vector<std::uint8_t> states;
  };
  const Case cases[] = {
      {"all ticked", {}, {0x00, 0xFF, 0x00, 0xFF}},
      {"boxes 1 and 8 only", {1018, 1019, 1020, 1021, 1022, 1023}, {0x00, 0x81, 0x00, 0x81}},
      {"Inverse All clears every box", {res::IDC_RELAY_INVERSE}, {0x00, 0x00, 0x00, 0x00}},
      {"Inverse All twice ticks them again",
       {res::IDC_RELAY_INVERSE, res::IDC_RELAY_INVERSE},
       {0x00, 0xFF, 0x00, 0xFF}},
      {"Inverse All after a box", {1017, res::IDC_RELAY_INVERSE}, {0x00, 0x01, 0x00, 0x01}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    states.clear();
    main.logText.clear();
    for (int id : c.clicks) bench.user().Click(id);
    bench.user().Click(res::IDC_RELAY_START).Wait(4 * 300 + 100);
    Run();
    EXPECT_EQ(states, c.states);
    EXPECT_EQ(main.logText, std::string(kOk) + kOk + kOk + kOk);
  }
}

TEST_F(RelayTest, InverseAllSetsTheBoxesToTheMask) {
  service::RelayTestDialog dialog(&main);
  bench.user().Click(1017).Click(1024).Click(res::IDC_RELAY_INVERSE);
  dialog.DoModal();
  EXPECT_EQ(dialog.relayMask, 0x81u);
  for (int id = res::IDC_RELAY_FIRST; id <= res::IDC_RELAY_LAST; ++id) {
    const bool ticked = id == 1017 || id == 1024;
    EXPECT_EQ(bench.Check(kRelay, id), ticked ? ui::BST_CHECKED : ui::BST_UNCHECKED) << id;
  }
}

TEST_F(RelayTest, StopAndStartKeepThePhase) {
  bench.user()
      .Click(res::IDC_RELAY_START)
      .Wait(350)  // one tick: all off
      .Click(res::IDC_RELAY_STOP)
      .Wait(1000)  // stopped: no ticks
      .Click(res::IDC_RELAY_START)
      .Wait(350);
  Run();
  EXPECT_EQ(states, (std::vector<std::uint8_t>{0x00, 0xFF}));
}

TEST_F(RelayTest, SecondStartNeitherRestartsNorDoublesTheTimer) {
  bench.user()
      .Click(res::IDC_RELAY_START)
      .Wait(200)
      .Click(res::IDC_RELAY_START)  // would move the next tick to 500 if it restarted
      .Key(ui::VK_RETURN)           // Enter is Start too
      .Wait(750);
  Run();
  EXPECT_EQ(states.size(), 3u);
  int sets = 0;
  for (const auto& t : bench.timers()) {
    if (t.op != headless::TimerRecord::Op::Set) continue;
    ++sets;
    EXPECT_EQ(t.timerId, 1);
    EXPECT_EQ(t.periodMs, 300u);
  }
  EXPECT_EQ(sets, 1);
  for (const auto& t : bench.timers()) {
    if (t.op == headless::TimerRecord::Op::Tick) {
      EXPECT_EQ(t.atMs % 300, 0u);
    }
  }
}

TEST_F(RelayTest, ClosingStopsTheTimer) {
  service::RelayTestDialog dialog(&main);
  bench.user().Click(res::IDC_RELAY_START).Wait(350).Close();
  dialog.DoModal();
  EXPECT_EQ(dialog.timerId, -1);
  ASSERT_FALSE(bench.timers().empty());
  EXPECT_EQ(bench.timers().back().op, headless::TimerRecord::Op::Kill);
  EXPECT_TRUE(bench.timers().back().running);
  // Time goes on behind the main window; no tick and no line follow.
  bench.user().Wait(1000);
  bench.RunScript();
  EXPECT_EQ(states.size(), 1u);
  EXPECT_EQ(main.logText, kOk);
}

TEST_F(RelayTest, FailedSwitchesLogAFailureAndTheTestGoesOn) {
  driver.ClearScript();
  driver.Expect("08 02 53 00").Capacity(1).Answer("EE");  // refused
  driver.Expect("08 02 53 FF").Capacity(1).Answer("AA");
  driver.Expect(device::CMD_RELAY_READ).Capacity(17).Answer("AB");  // accepted, no answer byte
  driver.Expect("08 02 53 00").Capacity(1).Answer("AA");
  driver.Expect(device::CMD_RELAY_READ).Capacity(17).Answer("AB 06");
  bench.user().Click(res::IDC_RELAY_START).Wait(950);
  Run();
  EXPECT_EQ(main.logText, std::string(kFailure) + kFailure + kOk);
}

TEST_F(RelayTest, EachTickAppendsOneLineAndShowsTheWholeLog) {
  main.SetLog("Entered in ExICCmd mode\r\n");
  bench.user().Click(res::IDC_RELAY_START).Wait(3 * 300 + 100);
  Run();
  std::vector<std::string> shown;
  std::string log = "Entered in ExICCmd mode\r\n";
  for (int i = 0; i < 3; ++i) shown.push_back(log += kOk);
  EXPECT_EQ(bench.WritesTo(res::IDD_MAIN, res::IDC_LOG), shown);
  EXPECT_EQ(main.logText, log);
}

}  // namespace
