#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "platform/clock.h"
#include "sim/sim_driver.h"

// One simulated instrument behind the in-process driver, reached through the tool's own
// DeviceLink on a virtual clock, found and opened before each test.
class SimLinkTest : public ::testing::Test {
 protected:
  platform::VirtualClock clock;
  sim::SimDriver driver{clock};
  sim::Instrument& instrument = driver.Add();
  device::DeviceLink link{driver, clock};

  void SetUp() override { ASSERT_TRUE(link.FindDevice()); }

  // One bare command request; the reply bytes, or {0xFF, 0xFF, 0xFF} standing for "failed".
  std::vector<std::uint8_t> Raw(std::vector<std::uint8_t> command, std::uint32_t capacity) {
    std::vector<std::uint8_t> reply(capacity);
    std::uint32_t returned = 0;
    if (!link.Request(command, reply.data(), capacity, returned)) return kFailed;
    reply.resize(returned);
    return reply;
  }
  bool Accepted(std::vector<std::uint8_t> command) { return link.RequestAccepted(command); }

  // The way the tool enters the inputs controller's command mode.
  void EnterIctrlCommandMode() {
    (void)Accepted({0x07, 0x00});
    clock.Sleep(20);
    ASSERT_TRUE(Accepted({0x07, 0x01}));
  }
  void EnterExtExchange(std::uint16_t rate = device::EXT_RATE_FAST) {
    ASSERT_TRUE(Accepted({0x08, 0x00, static_cast<std::uint8_t>(rate & 0xFF),
                          static_cast<std::uint8_t>(rate >> 8), 0x02, 0x00}));
  }
  std::uint16_t ReadGeneralAppVersion() {
    const std::vector<std::uint8_t> r = Raw({0x03, 0x02, 0x00, 0x00}, 4);
    if (r.size() < 2) return device::VERSION_NOT_READ;
    return static_cast<std::uint16_t>(r[0] | (r[1] << 8));
  }

  static inline const std::vector<std::uint8_t> kFailed{0xFF, 0xFF, 0xFF};
};
