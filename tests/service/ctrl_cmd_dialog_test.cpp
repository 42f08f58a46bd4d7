#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "service/ctrl_cmd_dialog.h"
#include "tests/support/service_fixture.h"

namespace {

using platform::fake::Bytes;
using platform::fake::Reply;
using service_test::ServiceTest;

constexpr int kICtrl = res::IDD_ICTRL_CMD;
constexpr int kECtrl = res::IDD_ECTRL_CMD;
constexpr const char* kFail = "FAIL";

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

class ConsoleTest : public ServiceTest {
 protected:
  // Runs the console modally; the scripted user acts, then presses Esc.
  void RunConsole(int mode) {
    service::CtrlCmdDialog console(&main);
    console.mode = mode;
    console.DoModal();
  }

  // Expects `command` through ExecuteCommand: the first reply, then status polls.
  void ExpectExecuted(Bytes command, const std::vector<const char*>& replies) {
    bool first = true;
    for (const char* reply : replies) {
      Bytes input = first ? command : Bytes(device::CMD_STATUS_POLL);
      auto& exchange = driver.Expect(input).Capacity(first ? 1 : device::STATUS_POLL_REPLY_SIZE);
      if (std::strcmp(reply, kFail) == 0) {
        exchange.Fail();
      } else {
        exchange.Answer(reply);
      }
      first = false;
    }
  }

  void ExpectEvents(const char* reply) {
    auto& exchange = driver.Expect(device::CMD_READ_INPUT_EVENTS).Capacity(32);
    if (std::strcmp(reply, kFail) == 0) {
      exchange.Fail();
    } else {
      exchange.Answer(reply);
    }
  }
};

TEST_F(ConsoleTest, ModeChoosesTheTemplate) {
  RunConsole(0);
  RunConsole(1);
  RunConsole(7);  // every non-zero mode is the external controller
  EXPECT_EQ(bench.opened(), (std::vector<int>{kICtrl, kECtrl, kECtrl}));
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{});
}

TEST_F(ConsoleTest, ICtrlConsoleOpensWithChannelOneSelectedAndDisabled) {
  service::CtrlCmdDialog console(&main);
  console.mode = 0;
  console.DoModal();
  EXPECT_EQ(bench.ComboSelection(kICtrl, res::IDC_CHANNEL), 0);
  EXPECT_FALSE(bench.Enabled(kICtrl, res::IDC_CHANNEL));
  EXPECT_EQ(bench.Check(kICtrl, res::IDC_ID_DEV_CMD), ui::BST_UNCHECKED);
  EXPECT_EQ(console.timerId, -1);
}

TEST_F(ConsoleTest, SendCmdInModeZeroBuildsTheCommandAndShowsTheResult) {
  struct Case {
    const char* name;
    bool idDev;
    int channel;  // -2: leave " 1" selected; -1: typed text that selects nothing
    std::string text;
    const char* command;
    std::vector<const char*> replies;  // the command's reply, then status polls
    const char* result;
  };
  const std::string seventeen = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17";
  const Case cases[] = {
      {"hex, decimal and lower-case hex",
       false,
       -2,
       "0x1F 10 0xff",
       "07 02 1F 0A FF",
       {"AA"},
       "0xAA"},
      {"upper-case X is no prefix, 300 and -1 keep their low byte",
       false,
       -2,
       "0X10,300, -1",
       "07 02 00 2C FF",
       {"EE"},
       "0xEE"},
      {"runs of separators are one break",
       false,
       -2,
       ",, 5 ,,, 6,,",
       "07 02 05 06",
       {"AA"},
       "0xAA"},
      {"not a number converts to 0", false, -2, "abc 0x 7z", "07 02 00 00 07", {"AA"}, "0xAA"},
      {"numbers beyond 32 bits stop at the end of the range",
       false,
       -2,
       "2147483648 0x100000000 -2147483649 2147483647",
       "07 02 FF FF 00 FF",
       {"AA"},
       "0xAA"},
      {"seventeen tokens send sixteen",
       false,
       -2,
       seventeen,
       "07 02 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10",
       {"AA"},
       "0xAA"},
      {"only 79 characters are read",
       false,
       -2,
       std::string(77, ' ') + "12 34",
       "07 02 0C",
       {"AA"},
       "0xAA"},
      {"two bytes after a busy reply", false, -2, "1", "07 02 01", {"A0", "AA 34"}, "0x34AA"},
      {"three bytes after a busy reply",
       false,
       -2,
       "1",
       "07 02 01",
       {"A0", "AA 34 12"},
       "0x1234AA"},
      {"failed request", false, -2, "1", "07 02 01", {kFail}, "Error"},
      {"ID device on channel 3", true, 2, "0x21, 5, 7", "07 02 A5 41 05", {"AA"}, "Send, Ok"},
      {"ID device on channel 1 clears the top bits",
       true,
       0,
       "0xE1 2",
       "07 02 A5 01 02",
       {"AA"},
       "Send, Ok"},
      {"ID device on channel 8", true, 7, "0x01 2", "07 02 A5 E1 02", {"AA"}, "Send, Ok"},
      {"ID device with blanks only", true, -2, " , ,", "07 02 A5", {"AA"}, "Send, Ok"},
      {"ID device refused", true, -2, "1 2", "07 02 A5 01 02", {"EE"}, "Fail err: 0xEE"},
      {"ID device still busy at the timeout",
       true,
       -2,
       "1 2",
       "07 02 A5 01 02",
       {"A0", "A0", "A0", "A0", "A0", "A0"},
       "Fail err: 0xA0"},
      {"ID device request fails", true, -2, "1 2", "07 02 A5 01 02", {kFail}, "Fail err: 0x0"},
      {"ID device without a channel takes fifteen bytes",
       true,
       -1,
       seventeen,
       "07 02 A5 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
       {"AA"},
       "0xAA"},
      {"ID device without a channel shows the count",
       true,
       -1,
       "1",
       "07 02 A5 01",
       {"A0", "AA 34"},
       "0x34AA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    std::vector<std::string> log;
    if (c.idDev) {
      driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("AA");
      log.push_back("06 41");
      bench.user().Click(res::IDC_ID_DEV_CMD);
      if (c.channel == -1) bench.user().Type(res::IDC_CHANNEL, "9");
      if (c.channel >= 0) bench.user().SelectItem(res::IDC_CHANNEL, c.channel);
    }
    ExpectExecuted(c.command, c.replies);
    log.push_back(c.command);
    for (std::size_t i = 1; i < c.replies.size(); ++i) log.push_back("03 04");
    bench.user().Type(res::IDC_CMD_TEXT, c.text).Click(res::IDC_SEND_CMD);
    RunConsole(0);
    EXPECT_EQ(driver.CommandLog(), log);
    EXPECT_EQ(bench.Text(kICtrl, res::IDC_CMD_RESULT), c.result);
    // The field is emptied before the command goes out.
    EXPECT_EQ(bench.WritesTo(kICtrl, res::IDC_CMD_RESULT),
              (std::vector<std::string>{"", c.result}));
    EXPECT_EQ(main.logText, "");
  }
}

TEST_F(ConsoleTest, TextWithoutTokensSendsNothingAndKeepsTheResult) {
  ExpectExecuted("07 02 01", {"AA"});
  bench.user()
      .Type(res::IDC_CMD_TEXT, "1")
      .Click(res::IDC_SEND_CMD)
      .Type(res::IDC_CMD_TEXT, " ,, ,")
      .Click(res::IDC_SEND_CMD)
      .Type(res::IDC_CMD_TEXT, "")
      .Click(res::IDC_SEND_CMD);
  RunConsole(0);
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{"07 02 01"});
  EXPECT_EQ(bench.WritesTo(kICtrl, res::IDC_CMD_RESULT), (std::vector<std::string>{"", "0xAA"}));
}

TEST_F(ConsoleTest, EnterSendsTheCommand) {
  ExpectExecuted("07 02 01", {"AA"});
  bench.user().Type(res::IDC_CMD_TEXT, "1").Key(ui::VK_RETURN);
  RunConsole(0);
  EXPECT_EQ(bench.Text(kICtrl, res::IDC_CMD_RESULT), "0xAA");
}

TEST_F(ConsoleTest, SendCmdInModeOneShowsTheRelayedAnswer) {
  std::vector<std::uint8_t> sixtyFour(64);
  for (std::size_t i = 0; i < sixtyFour.size(); ++i) sixtyFour[i] = static_cast<std::uint8_t>(i);
  std::vector<std::uint8_t> eightyOne(81, 0x11);
  std::string bytesText;
  for (std::size_t i = 0; i < sixtyFour.size(); ++i) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%s%02zX", i == 0 ? "" : ", ", i);
    bytesText += hex;
  }
  struct Case {
    const char* name;
    const char* text;
    const char* command;
    bool accepted;
    std::vector<std::uint8_t> answer;
    std::string result;
  };
  const Case cases[] = {
      {"two answer bytes", "0xAA, 01", "08 02 AA 01", true, {0xAA, 0x01}, "AA, 01"},
      {"three answer bytes", "0x59", "08 02 59", true, {0xAA, 0x01, 0xFF}, "AA, 01, FF"},
      {"no answer bytes", "0x59", "08 02 59", true, {}, "Error"},
      {"command refused", "0x59", "08 02 59", false, {}, "Error"},
      {"exactly the 64 bytes the buffer holds", "1", "08 02 01", true, sixtyFour, bytesText},
      {"longer than the buffer: the stored 64 and a marker", "1", "08 02 01", true, eightyOne,
       Repeat("11, ", 63) + "11 ..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    if (c.accepted) {
      ExpectRelayed(c.command, c.answer);
    } else {
      driver.Expect(c.command).Capacity(1).Answer("EE");
    }
    bench.user().Type(res::IDC_CMD_TEXT, c.text).Click(res::IDC_SEND_CMD);
    RunConsole(1);
    EXPECT_EQ(bench.Text(kECtrl, res::IDC_CMD_RESULT), c.result);
  }
}

TEST_F(ConsoleTest, IdDevCmdSwitchesTheChannelListAndCrossbarPower) {
  driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("AA");
  driver.Expect(device::CMD_CROSSBAR_POWER_ON).Capacity(1).Answer("AA");
  driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("EE");
  bool enabledAfterFirst = false;
  bench.user().Click(res::IDC_ID_DEV_CMD);
  service::CtrlCmdDialog console(&main);
  console.mode = 0;
  bench.At(bench.clock().NowMs() + 10,
           [&] { enabledAfterFirst = bench.Enabled(kICtrl, res::IDC_CHANNEL); });
  bench.user().Wait(20).Click(res::IDC_ID_DEV_CMD).Click(res::IDC_ID_DEV_CMD);
  console.DoModal();
  EXPECT_TRUE(enabledAfterFirst);
  EXPECT_EQ(driver.CommandLog(), (std::vector<std::string>{"06 41", "06 01", "06 41"}));
  // A refused command keeps the box's new state and the list's new enabling.
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{"Unable to control crossbar power."});
  EXPECT_EQ(bench.Check(kICtrl, res::IDC_ID_DEV_CMD), ui::BST_CHECKED);
  EXPECT_TRUE(bench.Enabled(kICtrl, res::IDC_CHANNEL));
}

// ---- Input monitoring (mode 0) ----

TEST_F(ConsoleTest, MonitoringListsEventsEveryFiftyMilliseconds) {
  // A busy answer to the start is not polled, and monitoring starts all the same.
  ExpectExecuted(device::CMD_ICTRL_MONITOR_START, {"A0"});
  ExpectEvents("23 81 56 34");
  ExpectEvents("00 00");  // no event: the field is not touched
  ExpectEvents("05 1A 05 73");
  ExpectExecuted(device::CMD_ICTRL_MONITOR_STOP, {"AA"});
  bench.user().Click(res::IDC_INPUT_MONITORING).Wait(170).Click(res::IDC_INPUT_MONITORING);
  RunConsole(0);
  const std::string first = " Ch:1, ID, Val:0x123\r\n Ch:4, CR, Val:0x056\r\n";
  const std::string all = first + " Ch:2, NF, Val:0x205\r\n Ch:8, DI, Val:0x205\r\n";
  EXPECT_EQ(bench.WritesTo(kICtrl, res::IDC_REPORT), (std::vector<std::string>{first, all}));
  EXPECT_EQ(driver.CommandLog(),
            (std::vector<std::string>{"07 02 A4 03", "03 07", "03 07", "03 07", "07 02 A4 00"}));
  ASSERT_EQ(bench.timers().front().op, headless::TimerRecord::Op::Set);
  EXPECT_EQ(bench.timers().front().timerId, 0xAA55);
  EXPECT_EQ(bench.timers().front().periodMs, 50u);
  EXPECT_EQ(bench.timers().back().op, headless::TimerRecord::Op::Kill);
  EXPECT_TRUE(bench.timers().back().running);
}

TEST_F(ConsoleTest, EventRepliesThatShowNothing) {
  struct Case {
    const char* name;
    const char* reply;
    std::vector<std::string> writes;
  };
  const Case cases[] = {
      {"failed read", kFail, {}},
      {"the no-event word", "00 00", {}},
      {"a single byte is no word", "23", {}},
      {"an odd last byte is ignored", "23 81 56", {" Ch:1, ID, Val:0x123\r\n"}},
      {"two zero words are two events",
       "00 00 00 00",
       {" Ch:1, ??, Val:0x000\r\n Ch:1, ??, Val:0x000\r\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    ExpectExecuted(device::CMD_ICTRL_MONITOR_START, {"AA"});
    ExpectEvents(c.reply);
    bench.user().Click(res::IDC_INPUT_MONITORING).Wait(60);
    RunConsole(0);
    EXPECT_EQ(bench.WritesTo(kICtrl, res::IDC_REPORT), c.writes);
  }
}

TEST_F(ConsoleTest, ReportDropsOldLinesBeforeItReachesTheThreshold) {
  struct Case {
    std::uint32_t before;
    std::size_t dropped;
  };
  const Case cases[] = {{2190, 22}, {2177, 0}, {2178, 22}, {1000, 0}};
  const std::string line = " Ch:1, ID, Val:0x123\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    ForgetHistory();
    ExpectExecuted(device::CMD_ICTRL_MONITOR_START, {"AA"});
    ExpectEvents("23 81");
    service::CtrlCmdDialog console(&main);
    console.mode = 0;
    // Monitoring starts at once; the report is filled before the first tick at 50 ms.
    std::string old;
    for (std::uint32_t i = 0; i < c.before; ++i) old += static_cast<char>('a' + i % 26);
    bench.At(bench.clock().NowMs() + 20, [&] {
      std::memcpy(console.reportText, old.data(), old.size());
      console.reportLength = c.before;
    });
    bench.user().Click(res::IDC_INPUT_MONITORING).Wait(60);
    console.DoModal();
    EXPECT_EQ(bench.Text(kICtrl, res::IDC_REPORT), old.substr(c.dropped) + line);
    EXPECT_EQ(console.reportLength, c.before - c.dropped + line.size());
  }
}

TEST_F(ConsoleTest, ReportStaysBelowTheThresholdWhileMonitoringRuns) {
  ExpectExecuted(device::CMD_ICTRL_MONITOR_START, {"AA"});
  // Sixteen events a tick, for 40 ticks: far more than the report keeps.
  const std::string sixteen = Repeat("23 81 ", 16);
  driver.Always(device::CMD_READ_INPUT_EVENTS, sixteen.c_str());
  service::CtrlCmdDialog console(&main);
  console.mode = 0;
  bench.user().Click(res::IDC_INPUT_MONITORING).Wait(40 * 50 + 10);
  console.DoModal();
  const std::string text = bench.Text(kICtrl, res::IDC_REPORT);
  EXPECT_LT(text.size(), service::REPORT_THRESHOLD);
  EXPECT_EQ(text.size() % 22, 0u);
  EXPECT_EQ(text, Repeat(" Ch:1, ID, Val:0x123\r\n", static_cast<int>(text.size() / 22)));
}

TEST_F(ConsoleTest, ClearReportAndRestartStartTheReportAfresh) {
  const std::string line1 = " Ch:1, ID, Val:0x123\r\n";
  const std::string line2 = " Ch:4, CR, Val:0x056\r\n";
  ExpectExecuted(device::CMD_ICTRL_MONITOR_START, {"AA"});
  ExpectEvents("23 81");
  ExpectEvents("56 34");
  ExpectExecuted(device::CMD_ICTRL_MONITOR_STOP, {"AA"});
  ExpectExecuted(device::CMD_ICTRL_MONITOR_START, {"AA"});
  ExpectEvents("56 34");
  bench.user()
      .Click(res::IDC_INPUT_MONITORING)
      .Wait(60)
      .Click(res::IDC_CLEAR_REPORT)  // monitoring goes on
      .Wait(50)
      .Click(res::IDC_INPUT_MONITORING)
      .Wait(100)  // stopped: no reads
      .Click(res::IDC_INPUT_MONITORING)
      .Wait(60);
  RunConsole(0);
  // After the restart the first event replaces the report that the field still showed.
  EXPECT_EQ(bench.WritesTo(kICtrl, res::IDC_REPORT),
            (std::vector<std::string>{line1, "", line2, line2}));
}

// ---- Status display (mode 1) ----

TEST_F(ConsoleTest, PowerOnShowsTheStatusAtOnce) {
  driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("AA");
  ExpectRelayed(device::CMD_EXT_STATUS, {0xA0, 0x05, 0x90, 0x00, 0x01, 0x02, 0x03});
  bench.user().Click(res::IDC_POWER_ON);
  service::CtrlCmdDialog console(&main);
  console.mode = 1;
  console.DoModal();
  EXPECT_EQ(bench.Text(kECtrl, res::IDC_REPORT), "Ld:5, Vs:5.00 V\r\nFLc:0, STc:1, VFc:2, FBc:3");
  EXPECT_TRUE(bench.Enabled(kECtrl, res::IDC_LIFE_UPDATE));
  EXPECT_EQ(bench.Check(kECtrl, res::IDC_LIFE_UPDATE), ui::BST_UNCHECKED);
  EXPECT_EQ(bench.sleeps().front(), 25u);
  EXPECT_EQ(console.timerId, -1);
}

TEST_F(ConsoleTest, StatusTexts) {
  struct Case {
    const char* name;
    bool accepted;
    std::vector<std::uint8_t> answer;
    const char* text;
  };
  const Case cases[] = {
      {"3.90 V", true, {0xA0, 1, 0}, "Ld:1, Vs:3.90 V\r\n"},
      {"6.38 V", true, {0xA0, 1, 255}, "Ld:1, Vs:6.38 V\r\n"},
      {"status byte alone", true, {0xA0}, ""},
      {"power off", true, {0x5A, 1, 2, 3}, "Power is OFF"},
      {"no answer", true, {}, "Error"},
      {"query refused", false, {}, "Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("AA");
    if (c.accepted) {
      ExpectRelayed(device::CMD_EXT_STATUS, c.answer);
    } else {
      driver.Expect(device::CMD_EXT_STATUS).Capacity(1).Answer("EE");
    }
    bench.user().Click(res::IDC_POWER_ON);
    RunConsole(1);
    EXPECT_EQ(bench.WritesTo(kECtrl, res::IDC_REPORT), std::vector<std::string>{c.text});
  }
}

TEST_F(ConsoleTest, ClearCountersAsksWithEveryQuery) {
  driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("AA");
  ExpectRelayed(device::CMD_EXT_STATUS_CLEAR, {0xA0, 1, 144});
  ExpectRelayed(device::CMD_EXT_STATUS_CLEAR, {0xA0, 1, 144});
  ExpectRelayed(device::CMD_EXT_STATUS, {0xA0, 1, 144});
  bench.user()
      .Click(res::IDC_CLEAR_COUNTERS)
      .Click(res::IDC_POWER_ON)
      .Click(res::IDC_LIFE_UPDATE)
      .Wait(150)
      .Click(res::IDC_CLEAR_COUNTERS)
      .Wait(100)
      .Click(res::IDC_LIFE_UPDATE);
  RunConsole(1);
  EXPECT_EQ(bench.WritesTo(kECtrl, res::IDC_REPORT).size(), 3u);
}

TEST_F(ConsoleTest, LifeUpdateRepeatsTheStatusEveryHundredMilliseconds) {
  driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("AA");
  for (int i = 0; i < 4; ++i) ExpectRelayed(device::CMD_EXT_STATUS, {0xA0, 1, 144});
  service::CtrlCmdDialog console(&main);
  console.mode = 1;
  bench.user()
      .Click(res::IDC_POWER_ON)
      .Click(res::IDC_LIFE_UPDATE)
      .Click(res::IDC_LIFE_UPDATE)  // off again
      .Click(res::IDC_LIFE_UPDATE)
      .Wait(350)
      .Click(res::IDC_LIFE_UPDATE)
      .Wait(300);  // stopped: no more queries
  console.DoModal();
  std::vector<int> sets;
  for (const auto& t : bench.timers()) {
    if (t.op == headless::TimerRecord::Op::Set) {
      EXPECT_EQ(t.timerId, 0xAA55);
      EXPECT_EQ(t.periodMs, 100u);
      EXPECT_FALSE(t.running);
      sets.push_back(t.timerId);
    }
  }
  EXPECT_EQ(sets.size(), 2u);
  EXPECT_EQ(driver.CountCommands(device::CMD_EXT_STATUS), 4);
  EXPECT_EQ(console.timerId, -1);
}

TEST_F(ConsoleTest, PowerOffStopsTheUpdatesBeforeTheCommand) {
  struct Case {
    const char* name;
    const char* reply;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"accepted", "AA", {}},
      {"refused", "EE", {"Unable to control crossbar power."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("AA");
    ExpectRelayed(device::CMD_EXT_STATUS, {0xA0, 1, 144});
    ExpectRelayed(device::CMD_EXT_STATUS, {0xA0, 1, 144});
    // The power-off command looks at the console as it arrives.
    bool lifeUpdateOffFirst = false;
    driver.Respond([&](const platform::fake::Request& r) -> std::optional<Reply> {
      if (r.input != std::vector<std::uint8_t>{0x06, 0x01}) return std::nullopt;
      lifeUpdateOffFirst = !bench.Enabled(kECtrl, res::IDC_LIFE_UPDATE) &&
                           bench.Check(kECtrl, res::IDC_LIFE_UPDATE) == ui::BST_UNCHECKED &&
                           bench.timers().back().op == headless::TimerRecord::Op::Kill;
      return Reply::Answer(c.reply);
    });
    service::CtrlCmdDialog console(&main);
    console.mode = 1;
    bench.user()
        .Click(res::IDC_POWER_ON)
        .Click(res::IDC_LIFE_UPDATE)
        .Wait(150)
        .Click(res::IDC_POWER_ON)
        .Wait(300);
    console.DoModal();
    EXPECT_TRUE(lifeUpdateOffFirst);
    EXPECT_EQ(driver.CommandLog().back(), "06 01");
    EXPECT_EQ(driver.CountCommands(device::CMD_EXT_STATUS), 2);
    EXPECT_EQ(bench.MessageBoxTexts(), c.boxes);
    EXPECT_FALSE(bench.Enabled(kECtrl, res::IDC_LIFE_UPDATE));
    EXPECT_EQ(console.timerId, -1);
    driver.ClearScript();
  }
}

TEST_F(ConsoleTest, RefusedPowerOnKeepsLifeUpdateDisabled) {
  driver.Expect(device::CMD_CROSSBAR_POWER_ID_DEV).Capacity(1).Answer("EE");
  bench.user().Click(res::IDC_POWER_ON).Click(res::IDC_LIFE_UPDATE);  // disabled: never arrives
  RunConsole(1);
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{"Unable to control crossbar power."});
  EXPECT_EQ(bench.Check(kECtrl, res::IDC_POWER_ON), ui::BST_CHECKED);
  EXPECT_FALSE(bench.Enabled(kECtrl, res::IDC_LIFE_UPDATE));
  EXPECT_EQ(bench.WritesTo(kECtrl, res::IDC_REPORT), std::vector<std::string>{});
  EXPECT_EQ(bench.timers().size(), 0u);
}

}  // namespace
