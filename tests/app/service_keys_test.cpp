#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/service_fixture.h"

namespace {

using platform::fake::Reply;
using service_test::ServiceTest;

constexpr unsigned kCtrlShift = headless::kCtrl | headless::kShift;
constexpr unsigned VK_T = 0x54, VK_E = 0x45, VK_R = 0x52, VK_P = 0x50, VK_C = 0x43, VK_U = 0x55;
constexpr const char* kFail = "FAIL";
constexpr const char* kNoReply = "";

class ServiceKeysTest : public ServiceTest {
 protected:
  // The user presses the keys on the main window; what they start runs to its end.
  void Press(unsigned vk, unsigned modifiers = kCtrlShift) {
    bench.user().Key(vk, modifiers);
    bench.RunScript();
  }

  void ExpectAnswer(platform::fake::Bytes command, const char* reply) {
    auto& exchange = driver.Expect(std::move(command)).Capacity(1);
    if (std::strcmp(reply, kFail) == 0) {
      exchange.Fail();
    } else {
      exchange.Answer(reply);
    }
  }

  std::vector<std::string> LogWrites() { return bench.WritesTo(res::IDD_MAIN, res::IDC_LOG); }
};

TEST_F(ServiceKeysTest, KeysWithoutTheConditionsGoToTheDialog) {
  std::array<std::uint8_t, 12> serialOnly{};
  serialOnly.fill(0xFF);
  serialOnly[0] = 0x78;
  serialOnly[3] = 0x12;
  std::array<std::uint8_t, 12> none{};
  none.fill(0xFF);
  struct Case {
    const char* name;
    std::array<std::uint8_t, 12> uid;
    bool shift;
    bool ctrl;
    unsigned message;
    unsigned vk;
  };
  std::vector<Case> cases;
  for (unsigned vk : {VK_T, VK_E, VK_R, VK_P, VK_C, VK_U}) {
    cases.push_back({"no device", none, true, true, ui::WM_KEYDOWN, vk});
    cases.push_back({"bytes 4-11 unknown", serialOnly, true, true, ui::WM_KEYDOWN, vk});
    cases.push_back({"Ctrl alone", service_test::kUid, false, true, ui::WM_KEYDOWN, vk});
    cases.push_back({"Shift alone", service_test::kUid, true, false, ui::WM_KEYDOWN, vk});
    cases.push_back({"key up", service_test::kUid, true, true, 0x0101, vk});
  }
  cases.push_back({"Ctrl+Shift+D", service_test::kUid, true, true, ui::WM_KEYDOWN, 0x44});
  cases.push_back({"Ctrl+Shift+S", service_test::kUid, true, true, ui::WM_KEYDOWN, 0x53});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + static_cast<char>(c.vk));
    main.link.identity.uid = c.uid;
    bench.SetKeyDown(ui::VK_SHIFT, c.shift);
    bench.SetKeyDown(ui::VK_CONTROL, c.ctrl);
    EXPECT_FALSE(main.PreTranslateMessage({c.message, c.vk, 0}));
    bench.SetKeyDown(ui::VK_SHIFT, false);
    bench.SetKeyDown(ui::VK_CONTROL, false);
    bench.Pump();
  }
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{});
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(LogWrites(), std::vector<std::string>{});
  EXPECT_EQ(bench.opened(), std::vector<int>{});
}

TEST_F(ServiceKeysTest, EachShortcutActs) {
  struct Case {
    const char* name;
    unsigned vk;
    std::vector<std::pair<const char*, const char*>> script;  // command, reply
    std::vector<std::string> boxes;
    std::string log;
  };
  const Case cases[] = {
      {"T enters the ICCmd mode",
       VK_T,
       {{"07 05", "EE"}},
       {"Fail to enter IC CMD exchange mode."},
       ""},
      {"E enters the ExICCmd mode",
       VK_E,
       {{"08 00 50 C3 02 00", "EE"}},
       {"Fail to enter Ext dev CMD exchange mode."},
       ""},
      {"R enters the ExICCmd mode",
       VK_R,
       {{"08 00 50 C3 02 00", "EE"}},
       {"Fail to enter Ext dev CMD exchange mode."},
       ""},
      {"P switches crossbar power", VK_P, {{"06 01", "AA"}}, {}, "Pow on"},
      {"C calibrates the external controller",
       VK_C,
       {{"08 00 50 C3 02 00", "EE"}},
       {},
       "Failure to start ExtIntrfCtrl calibration"},
      {"U shows the identifier", VK_U, {}, {}, "Device UID:ABCDEFG.09.12345678"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    main.SetLog("");
    main.serviceFlags = 0;
    for (const auto& [command, reply] : c.script) ExpectAnswer(command, reply);
    main.link.identity.uid.fill(0xFF);
    main.link.identity.uid[11] = 'G';  // one known byte of 4-11 is enough
    if (c.vk == VK_U) main.link.identity.uid = service_test::kUid;
    bench.SetKeyDown(ui::VK_SHIFT, true);
    bench.SetKeyDown(ui::VK_CONTROL, true);
    EXPECT_TRUE(main.PreTranslateMessage({ui::WM_KEYDOWN, c.vk, 0}));
    bench.SetKeyDown(ui::VK_SHIFT, false);
    bench.SetKeyDown(ui::VK_CONTROL, false);
    bench.Pump();  // a posted command runs now
    EXPECT_EQ(bench.MessageBoxTexts(), c.boxes);
    EXPECT_EQ(main.logText, c.log);
  }
}

TEST_F(ServiceKeysTest, ModesStartOnlyAfterTheKeyHasBeenHandled) {
  bench.SetKeyDown(ui::VK_SHIFT, true);
  bench.SetKeyDown(ui::VK_CONTROL, true);
  EXPECT_TRUE(main.PreTranslateMessage({ui::WM_KEYDOWN, VK_T, 0}));
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{});  // only posted so far
  bench.SetKeyDown(ui::VK_SHIFT, false);
  bench.SetKeyDown(ui::VK_CONTROL, false);
  ExpectAnswer("07 05", "EE");
  bench.Pump();
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{"07 05"});
}

TEST_F(ServiceKeysTest, CrossbarPowerToggles) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> script;
    std::vector<std::string> shown;
    bool onAfter;
  };
  const Case cases[] = {
      {"twice accepted", {{"06 01", "AA"}, {"06 00", "AA"}}, {"Pow on", "Pow off"}, false},
      {"second refused", {{"06 01", "AA"}, {"06 00", "EE"}}, {"Pow on", "Pow on"}, true},
      {"first fails", {{"06 01", kFail}, {"06 01", "AA"}}, {"Pow off", "Pow on"}, true},
      {"empty reply is no acceptance", {{"06 01", kNoReply}}, {"Pow off"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    main.serviceFlags = 0;
    main.SetLog("earlier text");
    for (const auto& [command, reply] : c.script) {
      ExpectAnswer(command, reply);
      Press(VK_P);
    }
    EXPECT_EQ(LogWrites(), c.shown);
    EXPECT_EQ((main.serviceFlags & app::FLAG_CROSSBAR_POWER_ON) != 0, c.onAfter);
  }
}

TEST_F(ServiceKeysTest, AutoRepeatRepeatsTheAction) {
  ExpectAnswer("06 01", "AA");
  ExpectAnswer("06 00", "AA");
  ExpectAnswer("06 01", "AA");
  bench.user().Key(VK_P, kCtrlShift, 3);
  bench.RunScript();
  EXPECT_EQ(LogWrites(), (std::vector<std::string>{"Pow on", "Pow off", "Pow on"}));
}

TEST_F(ServiceKeysTest, CalibrationPollsUntilDone) {
  struct Case {
    const char* name;
    std::uint16_t version;
    std::vector<const char*> polls;
    const char* result;
  };
  const std::vector<const char*> tenOk(10, "AA");
  const std::vector<const char*> tenFourthByte(10, "AA 55 AA 01");
  const Case cases[] = {
      {"done at the third poll", 0x0122, {"AA", "AA", "AB 55 AA"}, "\nDone Ok!"},
      {"done with byte 3 zero", 0x0122, {"AA 55 AA 00"}, "\nDone Ok!"},
      {"short replies go on polling", 0x0122, {"AB 55", "AB", "AA 55 AA"}, "\nDone Ok!"},
      {"busy ends it", 0x0122, {"A0"}, "\nFailure!"},
      {"another status ends it", 0x0122, {"EE 55 AA"}, "\nFailure!"},
      {"ten polls without the pattern", 0x0122, tenOk, "\nFailure!"},
      {"byte 3 not zero is not done", 0x0122, tenFourthByte, "\nFailure!"},
      {"failed poll", 0x0122, {kFail}, "\nFailure!"},
      {"empty poll reply", 0x0122, {kNoReply}, "\nFailure!"},
      {"slow rate before 1.34", 0x0121, {"AB 55 AA"}, "\nDone Ok!"},
      {"fast rate without a version", 0xFFFF, {"AB 55 AA"}, "\nDone Ok!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    main.link.identity.generalAppVersion = c.version;
    const std::string exchange = c.version < 0x0122 ? "08 00 80 25 02 00" : "08 00 50 C3 02 00";
    ExpectAnswer(exchange.c_str(), "AA");
    ExpectAnswer(device::CMD_EXT_CALIBRATION_START, "AA");
    std::vector<std::string> log{exchange, "08 05 01"};
    std::vector<std::string> shown{"Start ExtIntrfCtrl calibration"};
    for (const char* poll : c.polls) {
      auto& e = driver.Expect(device::CMD_EXT_CALIBRATION_POLL).Capacity(4);
      if (std::strcmp(poll, kFail) == 0) {
        e.Fail();
      } else {
        e.Answer(poll);
      }
      log.push_back("08 03 02");
      shown.push_back(shown.back() + ".");
    }
    ExpectAnswer(device::CMD_EXT_CALIBRATION_STOP, "EE");  // its reply does not matter
    log.push_back("08 05 00");
    shown.push_back(shown.back() + c.result);
    Press(VK_C);
    EXPECT_EQ(driver.CommandLog(), log);
    EXPECT_EQ(LogWrites(), shown);
    EXPECT_EQ(bench.sleeps(), std::vector<std::uint32_t>(c.polls.size(), 5));
    EXPECT_EQ(main.serviceFlags, 0u);
  }
}

TEST_F(ServiceKeysTest, CalibrationThatDoesNotStart) {
  struct Case {
    const char* name;
    const char* exchangeReply;
    const char* startReply;  // nullptr: not sent
    std::string log;
  };
  const Case cases[] = {
      {"exchange refused", "EE", nullptr, "Failure to start ExtIntrfCtrl calibration"},
      {"start refused", "AA", "EE", "Start ExtIntrfCtrl calibration\nFailure!"},
      {"start fails", "AA", kFail, "Start ExtIntrfCtrl calibration\nFailure!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    ExpectAnswer("08 00 50 C3 02 00", c.exchangeReply);
    if (c.startReply != nullptr) ExpectAnswer("08 05 01", c.startReply);
    Press(VK_C);
    EXPECT_EQ(main.logText, c.log);
    EXPECT_EQ(driver.CountCommands(device::CMD_EXT_CALIBRATION_STOP), 0);
    EXPECT_EQ(main.serviceFlags, 0u);
  }
}

TEST_F(ServiceKeysTest, CalibrationRunningIsSetOnlyWhilePolling) {
  main.serviceFlags = app::FLAG_CROSSBAR_POWER_ON;
  std::vector<std::uint32_t> flagsSeen;
  driver.Respond([&](const platform::fake::Request& r) -> std::optional<Reply> {
    flagsSeen.push_back(main.serviceFlags);
    if (r.input == std::vector<std::uint8_t>{0x08, 0x03, 0x02})
      return Reply::Answer({0xAB, 0x55, 0xAA});
    return Reply::Answer({device::REPLY_OK});
  });
  Press(VK_C);
  const std::uint32_t on = app::FLAG_CROSSBAR_POWER_ON;
  const std::uint32_t both = on | app::FLAG_CALIBRATION_RUNNING;
  // Exchange and start, the poll, the stop: the flag covers the poll and the stop.
  EXPECT_EQ(flagsSeen, (std::vector<std::uint32_t>{on, on, both, both}));
  EXPECT_EQ(main.serviceFlags, on);
  EXPECT_EQ(main.logText, "Start ExtIntrfCtrl calibration.\nDone Ok!");
}

TEST_F(ServiceKeysTest, UidDisplay) {
  struct Case {
    const char* name;
    std::array<std::uint8_t, 12> uid;
    const char* text;
  };
  const Case cases[] = {
      {"seven characters", service_test::kUid, "Device UID:ABCDEFG.09.12345678"},
      {"ends at a zero byte",
       {0x01, 0x00, 0x00, 0x80, 0xAB, 'X', 'Y', 0x00, 'Z', 'Z', 'Z', 'Z'},
       "Device UID:XY.AB.80000001"},
      {"empty text", {0, 0, 0, 0, 0, 0, 'Q', 'Q', 'Q', 'Q', 'Q', 'Q'}, "Device UID:.00.00000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    main.link.identity.uid = c.uid;
    main.SetLog("before");
    Press(VK_U);
    EXPECT_EQ(main.logText, c.text);
    EXPECT_EQ(bench.Text(res::IDD_MAIN, res::IDC_LOG), c.text);
  }
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{});
}

TEST_F(ServiceKeysTest, ShortcutsStillActWhenTheDeviceHasGone) {
  main.link.Close();  // the presence check closed the handle and kept the UID
  ForgetHistory();
  Press(VK_T);
  Press(VK_P);
  EXPECT_EQ(main.logText, "Pow off");
  Press(VK_C);
  EXPECT_EQ(main.logText, "Failure to start ExtIntrfCtrl calibration");
  EXPECT_EQ(bench.MessageBoxTexts(),
            std::vector<std::string>{"Fail to enter IC CMD exchange mode."});
  EXPECT_TRUE(driver.requests.empty());
}

// ---- Controller modes ----

TEST_F(ServiceKeysTest, IcCmdModeWrapsTheConsole) {
  struct Case {
    const char* name;
    const char* leaveReply;
  };
  const Case cases[] = {{"leave accepted", "AA"}, {"leave reply ignored", "EE"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    main.SetLog("earlier text");
    ExpectAnswer(device::CMD_ICTRL_EXCHANGE, "AA");
    ExpectAnswer(device::CMD_ICTRL_LEAVE, c.leaveReply);
    std::string logWhileOpen;
    bench.user().Key(VK_T, kCtrlShift).Wait(10);
    bench.At(bench.clock().NowMs() + 5, [&] { logWhileOpen = main.logText; });
    bench.RunScript();
    EXPECT_EQ(bench.opened(), std::vector<int>{res::IDD_ICTRL_CMD});
    EXPECT_EQ(logWhileOpen, "Entered in ICCmd mode\r\n");
    EXPECT_EQ(LogWrites(),
              (std::vector<std::string>{"Entered in ICCmd mode\r\n",
                                        "Entered in ICCmd mode\r\nExit ICCmd mode\r\n"}));
    EXPECT_EQ(driver.CommandLog(), (std::vector<std::string>{"07 05", "07 00"}));
  }
}

TEST_F(ServiceKeysTest, IcCmdModeRefusedSendsNoLeave) {
  main.SetLog("earlier text");
  ExpectAnswer(device::CMD_ICTRL_EXCHANGE, "A0");
  Press(VK_T);
  EXPECT_EQ(bench.MessageBoxTexts(),
            std::vector<std::string>{"Fail to enter IC CMD exchange mode."});
  EXPECT_EQ(bench.opened(), std::vector<int>{});
  EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{"07 05"});
  EXPECT_EQ(main.logText, "earlier text");
}

TEST_F(ServiceKeysTest, ExIcCmdModeWrapsTheConsoleOrTheRelayTest) {
  struct Case {
    const char* name;
    unsigned vk;
    int dialog;
  };
  const Case cases[] = {{"console", VK_E, res::IDD_ECTRL_CMD},
                        {"relay test", VK_R, res::IDD_RELAY_TEST}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    main.serviceFlags = 0;
    ExpectAnswer("08 00 50 C3 02 00", "AA");
    ExpectAnswer(device::CMD_CROSSBAR_POWER_ON, "AA");
    ExpectAnswer(device::CMD_CROSSBAR_POWER_MODE_END, "EE");  // reply ignored
    Press(c.vk);
    EXPECT_EQ(bench.opened(), std::vector<int>{c.dialog});
    EXPECT_EQ(driver.CommandLog(),
              (std::vector<std::string>{"08 00 50 C3 02 00", "06 01", "06 00 01"}));
    EXPECT_EQ(LogWrites(),
              (std::vector<std::string>{"Entered in ExICCmd mode\r\n",
                                        "Entered in ExICCmd mode\r\nExit ExICCmd mode\r\n"}));
    // The mode's power commands are not the shortcut's: its flag stays as it was.
    EXPECT_EQ(main.serviceFlags, 0u);
  }
}

TEST_F(ServiceKeysTest, ExIcCmdModeWithoutPowerEndsAtOnce) {
  main.SetLog("Pow on");
  ExpectAnswer("08 00 50 C3 02 00", "AA");
  ExpectAnswer(device::CMD_CROSSBAR_POWER_ON, "EE");
  ExpectAnswer(device::CMD_CROSSBAR_POWER_MODE_END, "AA");
  Press(VK_E);
  EXPECT_EQ(bench.opened(), std::vector<int>{});
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(main.logText, "Pow onExit ExICCmd mode\r\n");
  EXPECT_EQ(driver.CommandLog(),
            (std::vector<std::string>{"08 00 50 C3 02 00", "06 01", "06 00 01"}));
}

TEST_F(ServiceKeysTest, ExIcCmdModeRateFollowsTheGeneralApplication) {
  struct Case {
    std::uint16_t version;
    const char* command;
  };
  const Case cases[] = {{0x0121, "08 00 80 25 02 00"},
                        {0x0122, "08 00 50 C3 02 00"},
                        {0x0200, "08 00 50 C3 02 00"},
                        {0xFFFF, "08 00 50 C3 02 00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    ForgetHistory();
    main.link.identity.generalAppVersion = c.version;
    ExpectAnswer(c.command, "EE");
    Press(VK_R);
    EXPECT_EQ(driver.CommandLog(), std::vector<std::string>{c.command});
    EXPECT_EQ(bench.MessageBoxTexts(),
              std::vector<std::string>{"Fail to enter Ext dev CMD exchange mode."});
  }
}

// ---- Recalibrate ICRC ----

TEST_F(ServiceKeysTest, RecalibrationBoxes) {
  struct Case {
    const char* name;
    std::vector<const char*> replies;  // the command's reply, then status polls
    const char* box;
  };
  const Case cases[] = {
      {"one REPLY_OK byte", {"AA"}, "Recalibration has been done"},
      {"refused", {"EE"}, "Recalibration has been failed"},
      {"done after two busy polls", {"A0", "A0", "A0", "AA"}, "Recalibration has been done"},
      {"REPLY_OK with a data byte", {"A0", "AA 01"}, "Recalibration has been failed"},
      {"busy past the timeout", std::vector<const char*>(11, "A0"),
       "Recalibration has been failed"},
      {"request fails", {kFail}, "Recalibration has been failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetHistory();
    main.SetLog("earlier text");
    for (std::size_t i = 0; i < c.replies.size(); ++i) {
      auto& e = driver.Expect(i == 0 ? platform::fake::Bytes(device::CMD_ICTRL_RECALIBRATE)
                                     : platform::fake::Bytes(device::CMD_STATUS_POLL));
      if (std::strcmp(c.replies[i], kFail) == 0) {
        e.Fail();
      } else {
        e.Answer(c.replies[i]);
      }
    }
    bench.user().Click(res::IDC_RECALIBRATE);
    bench.RunScript();
    EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{c.box});
    EXPECT_EQ(bench.sleeps(), std::vector<std::uint32_t>(c.replies.size() - 1, 20));
    EXPECT_EQ(main.logText, "earlier text");
  }
}

TEST_F(ServiceKeysTest, RecalibrationWithoutADeviceFails) {
  main.link.Close();
  ForgetHistory();
  bench.user().Click(res::IDC_RECALIBRATE);
  bench.RunScript();
  EXPECT_EQ(bench.MessageBoxTexts(), std::vector<std::string>{"Recalibration has been failed"});
  EXPECT_TRUE(driver.requests.empty());
}

}  // namespace
