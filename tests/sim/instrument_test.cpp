#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "sim/firmware_image.h"
#include "sim_fixture.h"

using device::RESULT_OK;

TEST_F(SimLinkTest, IdentifiesWithTheDriverVersionAndReportsVersionsAndUid) {
  EXPECT_EQ(link.driverDescription, "Veltra measuring instrument driver V4.07");
  EXPECT_EQ(link.identity.driverMinor, 7);
  EXPECT_EQ(Raw({0x03, 0x02, 0x00, 0x00}, 4), (std::vector<std::uint8_t>{0x22, 0x01, 0x03, 0x00}));
  EXPECT_EQ(Raw({0x03, 0x03}, 12),
            std::vector<std::uint8_t>(sim::DEFAULT_UID.begin(), sim::DEFAULT_UID.end()));
  instrument.config().versionsReplySize = 2;
  EXPECT_EQ(Raw({0x03, 0x02, 0x00, 0x00}, 4), (std::vector<std::uint8_t>{0x22, 0x01}));
}

TEST_F(SimLinkTest, OpeningIsExclusiveUntilClosed) {
  std::string path;
  ASSERT_TRUE(driver.BeginEnumeration());
  ASSERT_EQ(driver.InterfacePath(0, path), platform::EnumResult::Found);
  EXPECT_EQ(driver.InterfacePath(1, path), platform::EnumResult::NoMoreItems);
  driver.EndEnumeration();
  EXPECT_EQ(driver.Open(path), platform::kInvalidHandle);
  link.Close();
  const platform::DeviceHandle again = driver.Open(path);
  EXPECT_NE(again, platform::kInvalidHandle);
  driver.Close(again);
  EXPECT_EQ(driver.openHandles(), 0u);
}

TEST_F(SimLinkTest, InputsControllerVersionIsBusyFirstThenPolledWithTheVersion) {
  // Enter is taken only after a leave, and only once the controller has settled.
  EXPECT_FALSE(Accepted({0x07, 0x01}));
  ASSERT_TRUE(Accepted({0x07, 0x00}));
  EXPECT_FALSE(Accepted({0x07, 0x01}));
  EnterIctrlCommandMode();
  EXPECT_EQ(Raw({0x07, 0x02, 0x01, 0x00}, 1), std::vector<std::uint8_t>{0xA0});
  // Leaving is taken even while the controller is busy; entering again once it is done.
  EXPECT_TRUE(Accepted({0x07, 0x00}));
  clock.Sleep(40);
  ASSERT_TRUE(Accepted({0x07, 0x01}));
  const std::uint64_t start = clock.NowMs();
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_READ_VERSION, 20, 60), 0x030102AAu);
  EXPECT_EQ(clock.NowMs() - start, 40u);  // two polls: busy, then the version
}

TEST_F(SimLinkTest, SlowCommandsArePolledToOkWithinTheToolsLimits) {
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_RECALIBRATE, 20, 200), RESULT_OK);
  // A fault that keeps it busy runs the tool's timeout out.
  instrument.AddFault({sim::FaultKind::StayBusy, {0x07, 0x03}, false, 1});
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_RECALIBRATE, 20, 200), 0x010000A0u);
  // The next command is taken again.
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_RECALIBRATE, 20, 200), RESULT_OK);
}

TEST_F(SimLinkTest, CommandsOutOfTheirModeAreRefused) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> command;
  };
  const Case cases[] = {
      {"pass-through outside a mode", {0x07, 0x02, 0x01, 0x00}},
      {"inputs upload outside command mode", {0x07, 0x04, 0x10, 0x00}},
      {"external command outside exchange", {0x08, 0x02, 0x59, 0x3F}},
      {"relay read outside exchange", {0x08, 0x03}},
      {"calibration outside exchange", {0x08, 0x05, 0x01}},
      {"exchange without its 02 00", {0x08, 0x00, 0x50, 0xC3, 0x00, 0x00}},
      {"exchange at rate 0", {0x08, 0x00, 0x00, 0x00, 0x02, 0x00}},
      {"upload of size 0", {0x09, 0x00, 0x00, 0x00}},
      {"unknown crossbar mode", {0x06, 0x07}},
      {"unknown device query", {0x03, 0x09}},
      {"unknown group", {0x42}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Raw(c.command, 1), std::vector<std::uint8_t>{sim::REPLY_REFUSED});
  }
}

TEST_F(SimLinkTest, CrossbarPowerAndTheFastRateNeedingANewGeneralApplication) {
  for (auto command :
       {std::vector<std::uint8_t>{0x06, 0x01}, {0x06, 0x41}, {0x06, 0x00}, {0x06, 0x00, 0x01}}) {
    EXPECT_TRUE(Accepted(command));
  }
  instrument.config().generalAppVersion = 0x0121;
  EXPECT_FALSE(Accepted({0x08, 0x00, 0x50, 0xC3, 0x02, 0x00}));
  EnterExtExchange(device::EXT_RATE_SLOW);
  EXPECT_EQ(instrument.extRate(), 9600);
  // The mode end leaves the exchange mode.
  EXPECT_TRUE(Accepted({0x06, 0x00, 0x01}));
  EXPECT_EQ(Raw({0x08, 0x03}, 17), std::vector<std::uint8_t>{sim::REPLY_REFUSED});
}

TEST_F(SimLinkTest, RelayedAnswersComeInFragmentsOfSixteenEndingWithLast) {
  EnterExtExchange();
  ASSERT_TRUE(Accepted({0x08, 0x02, sim::EXT_INFO}));
  clock.Sleep(10);
  const std::vector<std::uint8_t> first = Raw({0x08, 0x03}, 17);
  ASSERT_EQ(first.size(), 17u);
  EXPECT_EQ(first[0], device::REPLY_OK);

  std::uint8_t answer[64] = {};
  const std::int32_t n = link.QueryRelayed(std::vector<std::uint8_t>{0x08, 0x02, sim::EXT_INFO},
                                           answer, sizeof answer);
  const std::string text = "Veltra ext. interface controller V2.11, 8 relays, crossbar 8x4";
  ASSERT_EQ(n, static_cast<std::int32_t>(text.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(answer), text.size()), text);
  // Unknown commands get NAK and the command byte.
  EXPECT_EQ(link.QueryRelayed(std::vector<std::uint8_t>{0x08, 0x02, 0x77}, answer, 4), 2);
  EXPECT_EQ(answer[0], sim::EXT_ANSWER_NAK);
  EXPECT_EQ(answer[1], 0x77);
}

TEST_F(SimLinkTest, StatusShowsPowerRelaysAndCountersAndClearsThemOn5A) {
  EnterExtExchange();
  std::uint8_t answer[32] = {};
  ASSERT_EQ(link.QueryRelayed(device::CMD_EXT_STATUS, answer, 32), 1);
  EXPECT_EQ(answer[0], sim::EXT_STATUS_POWER_OFF);

  ASSERT_TRUE(Accepted({0x06, 0x01}));
  ASSERT_EQ(link.QueryRelayed(std::vector<std::uint8_t>{0x08, 0x02, 0x53, 0x81}, answer, 4), 2);
  EXPECT_EQ(instrument.relayState(), 0x81);
  clock.Sleep(2000);
  ASSERT_EQ(link.QueryRelayed(device::CMD_EXT_STATUS_CLEAR, answer, 32), 7);
  EXPECT_EQ(answer[0], 0xA1);            // powered, relays on
  EXPECT_EQ(answer[1], 2);               // two relays loaded
  EXPECT_NEAR(answer[2], 144, 2);        // about 5.00 V
  EXPECT_EQ(answer[3], 2000 / 700 + 0);  // line faults counted while powered
  EXPECT_GE(answer[4], 1);               // status queries
  ASSERT_EQ(link.QueryRelayed(device::CMD_EXT_STATUS, answer, 32), 7);
  EXPECT_EQ(answer[3], 0);  // cleared
  EXPECT_EQ(answer[4], 1);
}

TEST_F(SimLinkTest, CalibrationPollsAnswerOkWhileRunningThenTheDonePattern) {
  EnterExtExchange();
  EXPECT_EQ(Raw({0x08, 0x03, 0x02}, 4), std::vector<std::uint8_t>{device::REPLY_LAST});
  ASSERT_TRUE(Accepted({0x08, 0x05, 0x01}));
  int polls = 0;
  std::vector<std::uint8_t> reply;
  do {
    clock.Sleep(5);
    reply = Raw({0x08, 0x03, 0x02}, 4);
    ++polls;
  } while (reply == std::vector<std::uint8_t>{device::REPLY_OK} && polls < 10);
  EXPECT_EQ(reply, (std::vector<std::uint8_t>{0xAB, 0x55, 0xAA, 0x00}));
  EXPECT_LT(polls, 10);
  EXPECT_TRUE(Accepted({0x08, 0x05, 0x00}));
}

TEST_F(SimLinkTest, MonitoringDeliversEventWordsOfEveryTagThenNothing) {
  EXPECT_EQ(Raw({0x03, 0x07}, 32), (std::vector<std::uint8_t>{0x00, 0x00}));
  ASSERT_TRUE(Accepted({0x07, 0x05}));
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_MONITOR_START, 0, 0), RESULT_OK);
  std::set<std::string> tags;
  for (int tick = 0; tick < 20; ++tick) {
    clock.Sleep(50);
    const std::vector<std::uint8_t> r = Raw({0x03, 0x07}, 32);
    ASSERT_EQ(r.size() % 2, 0u);
    for (std::size_t i = 0; i + 1 < r.size(); i += 2) {
      const std::uint16_t word = static_cast<std::uint16_t>(r[i] | (r[i + 1] << 8));
      ASSERT_NE(word, 0);
      const int kind = (word >> 10) & 3;
      if (word & 0x8000)
        tags.insert("ID");
      else if (kind != 0)
        tags.insert(kind == 1 ? "CR" : kind == 2 ? "NF" : "other");
      else
        tags.insert((word & 0x0100) ? "DI" : "plain");
    }
  }
  EXPECT_EQ(tags, (std::set<std::string>{"ID", "CR", "NF", "other", "DI", "plain"}));
  // Events pile up while nobody reads: one read hands over at most 16 words.
  clock.Sleep(2000);
  EXPECT_EQ(Raw({0x03, 0x07}, 32).size(), 32u);
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_MONITOR_STOP, 0, 0), RESULT_OK);
  clock.Sleep(200);
  EXPECT_EQ(Raw({0x03, 0x07}, 32), (std::vector<std::uint8_t>{0x00, 0x00}));
}

// The general application the way the tool burns it: start, data, image check, reboot.
TEST_F(SimLinkTest, GeneralAppUploadChecksRebootsAndComesBackWithTheNewVersion) {
  const std::vector<std::uint8_t> image = sim::BuildFirmwareImage(0x0123, 70000);
  ASSERT_TRUE(Accepted({0x09, 0x70, 0x11, 0x01}));
  std::uint8_t reply[4] = {};
  std::uint32_t returned = 0;
  ASSERT_TRUE(link.WriteChunked(image, reply, 1, returned));
  ASSERT_EQ(returned, 1u);
  EXPECT_EQ(reply[0], device::REPLY_BUSY);
  int polls = 0;
  do {
    clock.Sleep(50);
    ASSERT_TRUE(link.Request(device::CMD_STATUS_POLL, reply, 4, returned));
    ++polls;
  } while (reply[0] == device::REPLY_BUSY && polls < 4);
  EXPECT_EQ(reply[0], device::REPLY_OK);
  EXPECT_EQ(polls, 3);

  // The link dropped with that answer; the instrument is back after its reboot time.
  EXPECT_FALSE(link.Request(device::CMD_READ_UID, reply, 4, returned));
  link.Close();
  clock.Sleep(300);
  EXPECT_FALSE(link.FindDevice());
  clock.Sleep(100);
  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(ReadGeneralAppVersion(), 0x0123);
}

TEST_F(SimLinkTest, ImagesWithoutFooterKeepTheVersionAndCorruptOnesFailTheCheck) {
  struct Case {
    const char* name;
    bool sealed;
    bool spoilt;
    std::uint8_t checkStatus;
    std::uint16_t versionAfter;
  };
  const Case cases[] = {{"no footer", false, false, device::REPLY_OK, 0x0122},
                        {"wrong check", true, true, sim::REPLY_REFUSED, 0x0122}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> image = sim::BuildFirmwareImage(0x0200, 600);
    if (!c.sealed) image[image.size() - 8] = 0;
    if (c.spoilt) image[10] ^= 0xFF;
    ASSERT_TRUE(Accepted({0x09, 0x58, 0x02, 0x00}));
    std::uint8_t reply[4] = {};
    std::uint32_t returned = 0;
    ASSERT_TRUE(link.WriteChunked(image, reply, 1, returned));
    clock.Sleep(200);
    ASSERT_TRUE(link.Request(device::CMD_STATUS_POLL, reply, 4, returned));
    EXPECT_EQ(reply[0], c.checkStatus);
    link.Close();
    clock.Sleep(500);
    ASSERT_TRUE(link.FindDevice());
    EXPECT_EQ(ReadGeneralAppVersion(), c.versionAfter);
  }
}

TEST_F(SimLinkTest, InputsControllerUploadBurnsForAWhileThenReportsTheNewVersion) {
  const std::vector<std::uint8_t> image = sim::BuildFirmwareImage(0x0103, 4660);
  EnterIctrlCommandMode();
  ASSERT_TRUE(Accepted({0x07, 0x04, 0x34, 0x12}));
  std::uint8_t reply[4] = {};
  std::uint32_t returned = 0;
  ASSERT_TRUE(link.WriteChunked(image, reply, 1, returned));
  EXPECT_EQ(reply[0], device::REPLY_BUSY);
  int polls = 0;
  while (reply[0] == device::REPLY_BUSY && polls < 100) {
    clock.Sleep(50);
    ASSERT_TRUE(link.Request(device::CMD_STATUS_POLL, reply, 4, returned));
    ++polls;
  }
  EXPECT_EQ(reply[0], device::REPLY_OK);
  EXPECT_GT(polls, 10);
  EXPECT_LT(polls, 100);
  EXPECT_EQ(instrument.config().inputsCtrlVersion, 0x0103);
  (void)Accepted({0x07, 0x00});
  EnterIctrlCommandMode();
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_READ_VERSION, 20, 60), 0x030103AAu);
}

TEST_F(SimLinkTest, FaultsHitTheirCommandsOnly) {
  struct Case {
    const char* name;
    sim::FaultKind kind;
    std::vector<std::uint8_t> expected;  // reply to 03 03, or kFailed
    std::uint64_t costMs;
  };
  const std::vector<std::uint8_t> uid(sim::DEFAULT_UID.begin(), sim::DEFAULT_UID.end());
  const Case cases[] = {
      {"refuse", sim::FaultKind::Refuse, {sim::REPLY_REFUSED}, 0},
      {"short", sim::FaultKind::Short, {uid.begin(), uid.end() - 1}, 0},
      {"silent", sim::FaultKind::Silent, kFailed, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    instrument.AddFault({c.kind, {0x03, 0x03}, false, 1});
    const std::uint64_t start = clock.NowMs();
    EXPECT_EQ(Raw({0x03, 0x03}, 12), c.expected);
    EXPECT_EQ(clock.NowMs() - start, c.costMs);
    EXPECT_EQ(ReadGeneralAppVersion(), 0x0122);  // other commands are untouched
    EXPECT_EQ(Raw({0x03, 0x03}, 12), uid);       // the fault was for one request
  }
  instrument.AddFault({sim::FaultKind::Garbage, {}, false, -1});
  EXPECT_NE(Raw({0x03, 0x03}, 12), uid);
  EXPECT_EQ(Raw({0x03, 0x03}, 12).size(), 12u);
  instrument.ClearFaults();
  EXPECT_EQ(Raw({0x03, 0x03}, 12), uid);

  // A dropped link fails the request and every later one on the handle; a new open works.
  instrument.AddFault({sim::FaultKind::DropLink, {0x03, 0x02}, false, 1});
  EXPECT_EQ(ReadGeneralAppVersion(), device::VERSION_NOT_READ);
  EXPECT_EQ(Raw({0x03, 0x03}, 12), kFailed);
  link.Close();
  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(Raw({0x03, 0x03}, 12), uid);

  instrument.AddFault({sim::FaultKind::Refuse, {}, true, 1});
  link.Close();
  EXPECT_FALSE(link.FindDevice());
  EXPECT_TRUE(link.FindDevice());
}

TEST_F(SimLinkTest, UnplugReplugNewUidAndNeverComingBack) {
  instrument.Unplug();
  std::uint8_t uid[12] = {};
  std::uint32_t returned = 0;
  EXPECT_FALSE(link.Request(device::CMD_READ_UID, uid, 12, returned));
  link.Close();
  EXPECT_FALSE(link.FindDevice());
  instrument.Plug();
  instrument.SetUid({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(Raw({0x03, 0x03}, 12),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

  instrument.SetNeverReturn(true);
  instrument.Reboot();
  link.Close();
  clock.Sleep(10000);
  EXPECT_FALSE(link.FindDevice());
  instrument.Plug();
  EXPECT_TRUE(link.FindDevice());
}

TEST(SimDriver, EnumeratesOnlyPresentInstrumentsInOrder) {
  platform::VirtualClock clock;
  sim::SimDriver driver(clock);
  sim::InstrumentConfig old;
  old.name = "a";
  old.description = "Veltra measuring instrument driver V3.99";
  driver.Add(old);
  sim::InstrumentConfig current;
  current.name = "b";
  driver.Add(current);
  device::DeviceLink link(driver, clock);
  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(link.driverDescription, "Veltra measuring instrument driver V4.07");
  EXPECT_EQ(driver.openHandles(), 1u);  // the old one was opened, rejected and closed
  link.Close();
  driver.instrument(0).Unplug();
  ASSERT_TRUE(driver.BeginEnumeration());
  std::string path;
  ASSERT_EQ(driver.InterfacePath(0, path), platform::EnumResult::Found);
  EXPECT_EQ(path, "sim/b");
  EXPECT_EQ(driver.InterfacePath(1, path), platform::EnumResult::NoMoreItems);
  driver.EndEnumeration();
}
