#include <algorithm>
#include <functional>

#include "tests/device/link_fixture.h"
#include "tests/support/comma_locale.h"

namespace {

using device_test::LinkTest;
using platform::fake::FakeDriver;
using platform::fake::Reply;

// A value driverMinor never gets from a scan, to see that a rejected device leaves it alone.
constexpr std::int32_t kUntouchedMinor = -7;

TEST_F(LinkTest, DriverVersionDecidesAndGivesTheMinor) {
  struct Case {
    const char* name;
    const char* description;
    bool accepted;
    std::int32_t minor;
  };
  const Case cases[] = {
      {"two places", "Meter driver V4.05", true, 5},
      {"rounded two places", "Meter driver V4.07", true, 7},
      {"one place", "Meter driver V4.1", true, 10},
      {"too old", "Meter driver V3.99", false, 0},
      {"one character after the V", "Meter driver V4", false, 0},
      {"just two characters", "Meter driver V4.0", true, 0},
      {"two digits, no point", "Meter driver V12", true, 0},
      {"blank before the number", "Meter driver V 4.5", true, 50},
      {"plus sign", "Meter driver V+4.5", true, 50},
      {"two signs are no number", "Meter driver V--4.5", false, 0},
      {"hexadecimal", "Meter driver V0x4.1", true, 6},
      {"sign after the hexadecimal prefix", "Meter driver V-0x-4.1", false, 0},
      {"text after the number", "Meter driver V4.25 (build 7)", true, 25},
      {"first occurrence is no number", "Meter Vendor V4.20", false, 0},
      {"rounds up to a hundred", "Meter driver V4.995", true, 100},
      {"lower-case v", "Meter driver v4.5", false, 0},
      {"no blank before the V", "MeterV4.5", false, 0},
      {"no marker", "Meter driver 4.5", false, 0},
      {"empty", "", false, 0},
      {"not a finite number", "Meter driver Vinfinity", false, 0},
      {"not a number at all", "Meter driver Vnan", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDriver driver;
    driver.AddDevice("dev0", c.description);
    device::DeviceLink link(driver, clock);
    link.identity.driverMinor = kUntouchedMinor;

    EXPECT_EQ(link.FindDevice(), c.accepted);
    EXPECT_EQ(link.IsOpen(), c.accepted);
    EXPECT_EQ(driver.IsOpen("dev0"), c.accepted);
    EXPECT_EQ(link.identity.driverMinor, c.accepted ? c.minor : kUntouchedMinor);
    // The description is kept even for a device that is then rejected.
    EXPECT_EQ(link.driverDescription, c.description);
    EXPECT_EQ(driver.Problems(), "");
  }
}

TEST_F(LinkTest, DriverVersionIsReadWithADecimalPointInACommaLocale) {
  const test_support::CommaLocale comma;
  if (comma.name().empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  driver.AddDevice("dev0", "Meter driver V4.05");
  ASSERT_TRUE(link.FindDevice()) << comma.name();
  EXPECT_EQ(link.identity.driverMinor, 5);
}

TEST_F(LinkTest, IdentifyIsSentAsTheDriverExpects) {
  driver.AddDevice("dev0", "Meter driver V4.05");
  ASSERT_TRUE(link.FindDevice());
  ASSERT_EQ(driver.requests.size(), 1u);
  const auto& identify = driver.requests[0];
  EXPECT_EQ(identify.handle, link.deviceHandle);
  EXPECT_EQ(identify.code, 0x220004u);
  EXPECT_EQ(identify.InputHex(), "02 00 00 00");
  EXPECT_EQ(identify.outputCapacity, 256u);
  EXPECT_EQ(driver.beginCount, 1);
  EXPECT_EQ(driver.endCount, 1);
}

TEST_F(LinkTest, DescriptionFillingTheWholeReplyEndsAtTheBufferEnd) {
  // 256 bytes with no terminating zero: byte 0, then 255 characters of text.
  std::string text = "Meter driver V4.25 ";
  text.resize(255, 'x');
  std::vector<std::uint8_t> reply(256, 0x00);
  std::copy(text.begin(), text.end(), reply.begin() + 1);
  driver.AddDeviceWithReply("dev0", Reply::Answer(reply));

  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(link.driverDescription, text);
  EXPECT_EQ(link.identity.driverMinor, 25);
}

TEST_F(LinkTest, DescriptionEndsAtItsTerminatingZero) {
  driver.AddDeviceWithReply("dev0", Reply::Answer("00 41 20 56 34 2E 35 00 20 56 39 2E 39"));
  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(link.driverDescription, "A V4.5");
  EXPECT_EQ(link.identity.driverMinor, 50);
}

TEST_F(LinkTest, RejectedDeviceIsClosedAndTheNextAcceptableOneIsKept) {
  driver.AddDevice("dev0", "Meter driver V3.5");
  driver.AddDevice("dev1", "Meter driver V4.1");
  driver.AddDevice("dev2", "Meter driver V4.5");

  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(driver.openedPaths, (std::vector<std::string>{"dev0", "dev1"}));
  ASSERT_EQ(driver.closedHandles.size(), 1u);
  EXPECT_EQ(driver.closedHandles[0], driver.requests[0].handle);  // the first device's handle
  EXPECT_TRUE(driver.IsOpen("dev1"));
  EXPECT_EQ(driver.OpenHandles(), std::vector<platform::DeviceHandle>{link.deviceHandle});
  EXPECT_EQ(link.identity.driverMinor, 10);
  EXPECT_EQ(link.driverDescription, "Meter driver V4.1");
  EXPECT_EQ(driver.enumeratedIndexes, (std::vector<std::uint32_t>{0, 1}));
}

TEST_F(LinkTest, ScanLooksAtNoMoreThan127Indexes) {
  for (int i = 0; i < 127; ++i) driver.AddDevice("old" + std::to_string(i), "Meter driver V3.0");
  driver.AddDevice("new", "Meter driver V4.5");  // index 127: never looked at

  EXPECT_FALSE(link.FindDevice());
  EXPECT_FALSE(link.IsOpen());
  ASSERT_EQ(driver.enumeratedIndexes.size(), 127u);
  EXPECT_EQ(driver.enumeratedIndexes.back(), 126u);
  EXPECT_EQ(driver.openedPaths.size(), 127u);
  EXPECT_EQ(driver.closedHandles.size(), 127u);
  EXPECT_TRUE(driver.OpenHandles().empty());
  EXPECT_EQ(driver.endCount, 1);
}

TEST_F(LinkTest, ScanGoesOnPastDevicesItCannotUse) {
  struct Case {
    const char* name;
    std::function<void(FakeDriver&)> arrange;  // dev0 is spoiled this way; dev1 is good
    std::vector<std::string> opened;
    std::size_t closes;
  };
  const Case cases[] = {
      {"open refused",
       [](FakeDriver& d) { d.Find("dev0")->refuseOpen = true; },
       {"dev0", "dev1"},
       0},
      {"identify fails",
       [](FakeDriver& d) { d.Find("dev0")->identify = Reply::Failure(); },
       {"dev0", "dev1"},
       1},
      {"interface unreadable",
       [](FakeDriver& d) { d.enumerationFaults.skipAt = {0}; },
       {"dev1"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDriver driver;
    driver.AddDevice("dev0", "First V4.5");
    driver.AddDevice("dev1", "Second V4.07");
    c.arrange(driver);
    device::DeviceLink link(driver, clock);

    ASSERT_TRUE(link.FindDevice());
    EXPECT_TRUE(driver.IsOpen("dev1"));
    EXPECT_EQ(driver.openedPaths, c.opened);
    EXPECT_EQ(driver.closedHandles.size(), c.closes);
    EXPECT_EQ(link.driverDescription, "Second V4.07");
    EXPECT_EQ(link.identity.driverMinor, 7);
    EXPECT_EQ(driver.Problems(), "");
  }
}

TEST_F(LinkTest, DeviceThatCannotIdentifyIsNotTaken) {
  driver.AddDevice("dev0", "Meter driver V4.5").identify = Reply::Failure();
  link.driverDescription = "earlier";
  link.identity.driverMinor = kUntouchedMinor;

  EXPECT_FALSE(link.FindDevice());
  EXPECT_FALSE(link.IsOpen());
  EXPECT_TRUE(driver.OpenHandles().empty());
  EXPECT_EQ(link.driverDescription, "earlier");
  EXPECT_EQ(link.identity.driverMinor, kUntouchedMinor);
}

TEST_F(LinkTest, NothingFoundWhenTheScanEndsOrCannotStart) {
  struct Case {
    const char* name;
    std::function<void(FakeDriver&)> arrange;
    std::size_t indexesAsked;
    int ends;
  };
  const Case cases[] = {
      {"no device present", [](FakeDriver& d) { d.Find("dev0")->present = false; }, 1, 1},
      {"no more items at once", [](FakeDriver& d) { d.enumerationFaults.noMoreFrom = 0; }, 1, 1},
      {"no interface set", [](FakeDriver& d) { d.enumerationFaults.beginFails = true; }, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDriver driver;
    driver.AddDevice("dev0", "Meter driver V4.5");
    c.arrange(driver);
    device::DeviceLink link(driver, clock);

    EXPECT_FALSE(link.FindDevice());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_TRUE(driver.openedPaths.empty());
    EXPECT_EQ(driver.enumeratedIndexes.size(), c.indexesAsked);
    EXPECT_EQ(driver.endCount, c.ends);
  }
}

}  // namespace
