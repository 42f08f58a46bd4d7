#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "app/updater_app.h"
#include "device/protocol.h"
#include "platform/fake/fake_driver.h"
#include "platform/headless/bench.h"
#include "resources/resource_ids.h"
#include "sim/sim_driver.h"

namespace {

using platform::fake::Bytes;

constexpr const char* kUidHex = "01 02 03 04 05 06 07 08 09 0A 0B 0C";
constexpr const char* kOtherUidHex = "01 02 03 04 05 06 07 08 09 0A 0B FF";
constexpr std::array<std::uint8_t, 12> kUid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

// What the instrument answers during one scan.
struct ScanReplies {
  Bytes versions = "22 01 03 00";
  Bytes uid = kUidHex;
  Bytes enter = "AA";
  std::vector<Bytes> versionPolls = {"AA 02 01"};  // after the busy first answer
};

// The main window on the headless bench and a strict fake driver: a request the test does not
// script fails it, and so does a scripted one that is never made.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    driver.onUnexpected = [](const std::string& line) { ADD_FAILURE() << line; };
  }

  void TearDown() override {
    if (bench.IsOpen(res::IDD_MAIN)) bench.Destroy(main);
    EXPECT_EQ(driver.Problems(), "");
    EXPECT_EQ(bench.errors(), std::vector<std::string>{});
  }

  void ExpectScan(const ScanReplies& r) {
    driver.Expect(device::CMD_READ_VERSIONS).Capacity(4).Answer(r.versions);
    driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(r.uid);
    driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");
    driver.Expect(device::CMD_ICTRL_ENTER).Capacity(1).Answer(r.enter);
    if (r.enter.data == std::vector<std::uint8_t>{device::REPLY_OK}) {
      driver.Expect(device::CMD_ICTRL_READ_VERSION).Capacity(1).Answer("A0");
      for (const Bytes& poll : r.versionPolls) {
        driver.Expect(device::CMD_STATUS_POLL).Capacity(4).Answer(poll);
      }
    }
    driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");
  }

  // Opens the window with no instrument attached, then plugs one in.
  void OpenWithoutDevice() {
    ASSERT_TRUE(bench.Open(main));
    driver.AddDevice("dev0", "Meter driver V4.05");
    bench.ClearRecord();
  }

  std::string DeviceName() { return bench.Text(res::IDD_MAIN, res::IDC_DEVICE_NAME); }
  std::string Info() { return bench.Text(res::IDD_MAIN, res::IDC_LOG); }

  headless::Bench bench;
  platform::fake::FakeDriver driver{bench.clock()};
  app::MainDialog main{driver};
};

TEST_F(MainWindowTest, DeviceInfoShowsWhatTheInstrumentReported) {
  struct Case {
    const char* name;
    ScanReplies replies;
    const char* info;
  };
  const Case cases[] = {
      {"all versions",
       {},
       "Device HW version: 0x3\r\nGeneral app. version:1.34\r\nInp. controller app. version:1.02"},
      {"versions without hardware",
       {.versions = "05 01"},
       "General app. version:1.05\r\nInp. controller app. version:1.02"},
      {"three version bytes",
       {.versions = "05 01 07"},
       "General app. version:1.05\r\nInp. controller app. version:1.02"},
      {"hardware version in hex",
       {.versions = "22 01 AB 0C"},
       "Device HW version: 0xCAB\r\nGeneral app. version:1.34\r\nInp. controller app. "
       "version:1.02"},
      {"inputs controller refuses the enter",
       {.enter = "EE"},
       "Device HW version: 0x3\r\nGeneral app. version:1.34\r\nInp. controller app. version:?.?"},
      {"busy through the whole version read",
       {.versionPolls = {"A0", "A0", "A0"}},
       "Device HW version: 0x3\r\nGeneral app. version:1.34\r\nInp. controller app. version:?.?"},
      {"version poll answers only the status",
       {.versionPolls = {"AA"}},
       "Device HW version: 0x3\r\nGeneral app. version:1.34\r\nInp. controller app. version:?.?"},
      {"version poll answers four bytes",
       {.versionPolls = {"AA 02 01 00"}},
       "Device HW version: 0x3\r\nGeneral app. version:1.34\r\nInp. controller app. version:?.?"},
  };
  OpenWithoutDevice();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectScan(c.replies);
    EXPECT_TRUE(main.RefreshDevice(1));
    EXPECT_EQ(DeviceName(), "Meter driver V4.05");
    EXPECT_EQ(Info(), c.info);
    EXPECT_EQ(main.link.identity.uid, kUid);
    EXPECT_EQ(driver.Problems(), "");
  }
}

TEST_F(MainWindowTest, InputsControllerAnsweringOkAtOnceKeepsItsVersionUnread) {
  OpenWithoutDevice();
  driver.Expect(device::CMD_READ_VERSIONS).Capacity(4).Answer("22 01 03 00");
  driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(kUidHex);
  driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");
  driver.Expect(device::CMD_ICTRL_ENTER).Capacity(1).Answer("AA");
  driver.Expect(device::CMD_ICTRL_READ_VERSION).Capacity(1).Answer("AA");
  driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");
  EXPECT_TRUE(main.RefreshDevice(1));
  EXPECT_EQ(main.link.identity.inputsCtrlVersion, 0xFFFF);
  // The two leaves sit around the enter, with the pause after the first.
  EXPECT_EQ(bench.sleeps(), (std::vector<std::uint32_t>{20}));
}

TEST_F(MainWindowTest, FailedVersionsReadKeepsThePreviousHardwareVersion) {
  OpenWithoutDevice();
  ExpectScan({});
  ASSERT_TRUE(main.RefreshDevice(1));
  driver.Expect(device::CMD_READ_VERSIONS).Capacity(4).Fail();
  driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(kUidHex);
  driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");
  driver.Expect(device::CMD_ICTRL_ENTER).Capacity(1).Answer("EE");
  driver.Expect(device::CMD_ICTRL_LEAVE).Capacity(1).Answer("AA");
  EXPECT_TRUE(main.RefreshDevice(1));
  EXPECT_EQ(
      Info(),
      "Device HW version: 0x3\r\nGeneral app. version:?.?\r\nInp. controller app. version:?.?");
}

TEST_F(MainWindowTest, NoDeviceAfterEveryAttemptShowsDotsAndForgetsTheUid) {
  ASSERT_TRUE(bench.Open(main));
  main.link.identity.uid = kUid;
  main.serviceFlags = app::FLAG_CROSSBAR_POWER_ON;
  bench.ClearRecord();
  const int scansBefore = driver.beginCount;

  EXPECT_FALSE(main.RefreshDevice(20));
  EXPECT_EQ(driver.beginCount - scansBefore, 20);
  EXPECT_EQ(bench.sleeps(), std::vector<std::uint32_t>(19, 100));
  EXPECT_EQ(DeviceName(), "...");
  EXPECT_EQ(Info(), "...");
  EXPECT_EQ(main.link.identity.uid, device::DeviceIdentity{}.uid);
  EXPECT_EQ(main.serviceFlags, 0u);

  EXPECT_FALSE(main.RefreshDevice(0));
  EXPECT_EQ(driver.beginCount - scansBefore, 20);
}

TEST_F(MainWindowTest, ShortOrFailedUidReadIsTheFailureEnding) {
  const Bytes uids[] = {"01 02 03 04 05 06 07 08 09 0A 0B", Bytes()};
  OpenWithoutDevice();
  for (const Bytes& uid : uids) {
    driver.Expect(device::CMD_READ_VERSIONS).Capacity(4).Answer("22 01 03 00");
    if (uid.data.empty()) {
      driver.Expect(device::CMD_READ_UID).Capacity(12).Fail();
    } else {
      driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(uid);
    }
    EXPECT_FALSE(main.RefreshDevice(1));
    EXPECT_FALSE(main.link.IsOpen());
    EXPECT_TRUE(driver.OpenHandles().empty());
    EXPECT_EQ(DeviceName(), "...");
    EXPECT_EQ(Info(), "...");
    EXPECT_EQ(main.link.identity.uid[0], 0xFF);
  }
}

// A row the user unticked by hand shows whether RefreshImageChecks ran: with a device whose
// versions were not read, it would tick the row again.
void LoadOneImage(app::MainDialog& main) {
  firmware::ImageSlot& slot = main.package.slots[firmware::SLOT_GENERAL_APP];
  slot.version = 0x0200;
  slot.size = 1;
  slot.data.reset(new std::uint8_t[1]{0});
  slot.listRow = static_cast<std::int16_t>(main.ListInsertRow(res::IDC_IMAGE_LIST, 0, "GC"));
  main.package.loadedCount = 1;
  main.ListSetItemState(res::IDC_IMAGE_LIST, 0, ui::LVIS_UNCHECKED, ui::LVIS_STATEIMAGEMASK);
}

TEST_F(MainWindowTest, OnlyANewUidRefreshesTheImageChecks) {
  OpenWithoutDevice();
  LoadOneImage(main);
  auto rowState = [&] { return bench.ListRowState(res::IDD_MAIN, res::IDC_IMAGE_LIST, 0); };

  // The first scan after the failure ending always counts as a change.
  ExpectScan({});
  ASSERT_TRUE(main.RefreshDevice(1));
  EXPECT_EQ(rowState() & ui::LVIS_STATEIMAGEMASK, ui::LVIS_CHECKED);

  main.ListSetItemState(res::IDC_IMAGE_LIST, 0, ui::LVIS_UNCHECKED, ui::LVIS_STATEIMAGEMASK);
  ExpectScan({});
  ASSERT_TRUE(main.RefreshDevice(1));
  EXPECT_EQ(rowState() & ui::LVIS_STATEIMAGEMASK, ui::LVIS_UNCHECKED);

  ExpectScan({.uid = kOtherUidHex});
  ASSERT_TRUE(main.RefreshDevice(1));
  EXPECT_EQ(rowState() & ui::LVIS_STATEIMAGEMASK, ui::LVIS_CHECKED);
}

TEST_F(MainWindowTest, PresenceCheckTellsSameOtherOrNoDevice) {
  OpenWithoutDevice();
  ExpectScan({});
  ASSERT_TRUE(main.RefreshDevice(1));
  const std::size_t commandsAfterScan = driver.Commands().size();

  // The same instrument: one UID read and nothing else.
  driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(kUidHex);
  EXPECT_TRUE(main.CheckDevicePresence());
  EXPECT_EQ(driver.Commands().size(), commandsAfterScan + 1);

  // Another instrument: a full scan with one attempt, whose result is the answer.
  driver.Expect(device::CMD_READ_UID).Capacity(12).Answer(kOtherUidHex);
  ExpectScan({.uid = kOtherUidHex});
  EXPECT_TRUE(main.CheckDevicePresence());
  EXPECT_EQ(main.link.identity.uid[11], 0xFF);

  // Gone: the handle is closed, the fields show dots, what was known stays.
  const std::uint16_t version = main.link.identity.generalAppVersion;
  driver.Expect(device::CMD_READ_UID).Capacity(12).Fail();
  EXPECT_FALSE(main.CheckDevicePresence());
  EXPECT_FALSE(main.link.IsOpen());
  EXPECT_TRUE(driver.OpenHandles().empty());
  EXPECT_EQ(DeviceName(), "...");
  EXPECT_EQ(Info(), "...");
  EXPECT_EQ(main.link.identity.uid[11], 0xFF);
  EXPECT_EQ(main.link.identity.uid[0], 0x01);
  EXPECT_EQ(main.link.identity.generalAppVersion, version);

  // With no device open the check fails at once, without a request.
  EXPECT_FALSE(main.CheckDevicePresence());
}

TEST_F(MainWindowTest, ShortUidAnswerMeansTheDeviceIsNotPresent) {
  OpenWithoutDevice();
  ExpectScan({});
  ASSERT_TRUE(main.RefreshDevice(1));
  driver.Expect(device::CMD_READ_UID).Capacity(12).Answer("01 02 03 04 05 06 07 08 09 0A 0B");
  EXPECT_FALSE(main.CheckDevicePresence());
  EXPECT_FALSE(main.link.IsOpen());
  EXPECT_EQ(main.link.identity.uid, kUid);
}

TEST_F(MainWindowTest, DestroyClosesTheHandleOnceAndFreesBothImages) {
  OpenWithoutDevice();
  ExpectScan({});
  ASSERT_TRUE(main.RefreshDevice(1));
  main.package.slots[0].data.reset(new std::uint8_t[4]);
  main.package.slots[0].size = 4;
  main.package.slots[1].data.reset(new std::uint8_t[2]);
  main.package.slots[1].size = 2;

  bench.Destroy(main);
  EXPECT_EQ(driver.closedHandles.size(), 1u);
  EXPECT_TRUE(driver.OpenHandles().empty());
  for (const firmware::ImageSlot& slot : main.package.slots) {
    EXPECT_FALSE(slot.IsLoaded());
    EXPECT_EQ(slot.size, 0u);
    EXPECT_EQ(slot.version, 0);
  }
}

TEST_F(MainWindowTest, InitialisationPreparesTheListBeforeTheScanAndLoadsThePackageAfter) {
  driver.AddDevice("dev0", "Meter driver V4.05");
  std::size_t columnsAtFirstCommand = 99;
  // The instrument is found but answers nothing, so the scan ends after its first command.
  driver.Respond([&](const platform::fake::Request&) -> std::optional<platform::fake::Reply> {
    if (columnsAtFirstCommand == 99) {
      columnsAtFirstCommand = bench.ListColumns(res::IDD_MAIN, res::IDC_IMAGE_LIST).size();
    }
    return platform::fake::Reply::Failure();
  });
  ASSERT_TRUE(bench.Open(main));
  EXPECT_EQ(columnsAtFirstCommand, 3u);
  EXPECT_EQ(DeviceName(), "...");
  EXPECT_FALSE(bench.Enabled(res::IDD_MAIN, res::IDC_UPLOAD));
  // No package beside the program: the path field stays empty and no box appears.
  EXPECT_EQ(bench.Text(res::IDD_MAIN, res::IDC_IMAGE_PATH), "");
  EXPECT_TRUE(bench.messageBoxes().empty());
}

TEST(MinimizedIcon, IsCentredInTheClientArea) {
  struct Case {
    int width, height, x, y;
  };
  const Case cases[] = {{100, 50, 34, 9}, {33, 33, 1, 1}, {32, 32, 0, 0}, {31, 20, 0, -5}};
  for (const Case& c : cases) {
    int x = 0;
    int y = 0;
    app::CenteredIconPosition(c.width, c.height, 32, 32, x, y);
    EXPECT_EQ(x, c.x) << c.width;
    EXPECT_EQ(y, c.y) << c.height;
  }
}

TEST_F(MainWindowTest, MinimizedWindowPaintsItsIconCentred) {
  OpenWithoutDevice();
  bench.SetMinimized(res::IDD_MAIN, true);
  bench.SetClientSize(res::IDD_MAIN, 160, 41);
  bench.Paint(res::IDD_MAIN);
  ASSERT_EQ(bench.drawnIcons().size(), 1u);
  EXPECT_EQ(bench.drawnIcons()[0].x, 64);
  EXPECT_EQ(bench.drawnIcons()[0].y, 5);
  EXPECT_EQ(bench.drawnIcons()[0].icon, main.OnQueryDragIcon());
}

// The whole program on the bench against a simulated instrument that is unplugged and plugged
// back while the window is open.
TEST(UpdaterAppStory, ReScanFollowsTheInstrumentBeingUnpluggedAndPluggedBack) {
  headless::Bench bench;
  sim::SimDriver driver(bench.clock());
  sim::Instrument& instrument = driver.Add();
  app::UpdaterApp application(driver);

  bench.user()
      .Wait(1000)
      .Click(res::IDC_RESCAN)  // unplugged at 1 s
      .Wait(1000)
      .Click(res::IDC_RESCAN)  // plugged back at 2 s
      .Close();
  bench.At(1000, [&] { instrument.Unplug(); });
  bench.At(2000, [&] { instrument.Plug(); });
  EXPECT_FALSE(application.InitInstance());

  EXPECT_EQ(bench.WritesTo(res::IDD_MAIN, res::IDC_DEVICE_NAME),
            (std::vector<std::string>{sim::DEFAULT_DESCRIPTION, "...", sim::DEFAULT_DESCRIPTION}));
  const std::vector<std::string> info = bench.WritesTo(res::IDD_MAIN, res::IDC_LOG);
  ASSERT_EQ(info.size(), 3u);
  EXPECT_EQ(
      info[0],
      "Device HW version: 0x3\r\nGeneral app. version:1.34\r\nInp. controller app. version:1.02");
  EXPECT_EQ(info[1], "...");
  EXPECT_EQ(info[2], info[0]);
  EXPECT_FALSE(bench.IsOpen(res::IDD_MAIN));
  EXPECT_EQ(driver.openHandles(), 0u);
  EXPECT_EQ(bench.errors(), std::vector<std::string>{});
}

}  // namespace
