#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "platform/clock.h"
#include "platform/fake/fake_driver.h"

namespace device_test {

// A virtual clock that also remembers every sleep, so tests can assert each wait.
class RecordingClock : public platform::VirtualClock {
 public:
  void Sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    VirtualClock::Sleep(ms);
  }
  std::vector<std::uint32_t> sleeps;
};

// A link on the fake driver. The script is strict: any request it does not expect fails the
// test, and every expected request must have been made by the end.
class LinkTest : public ::testing::Test {
 protected:
  LinkTest() {
    driver.onUnexpected = [](const std::string& line) { ADD_FAILURE() << line; };
  }
  void TearDown() override { EXPECT_EQ(driver.Problems(), ""); }

  // Opens a device for the command tests, as a scan would have left it.
  void OpenDevice() {
    driver.AddDevice("dev0", "Meter driver V4.05");
    link.deviceHandle = driver.Open("dev0");
    ASSERT_TRUE(link.IsOpen());
  }

  RecordingClock clock;
  platform::fake::FakeDriver driver{clock};
  device::DeviceLink link{driver, clock};
};

}  // namespace device_test
