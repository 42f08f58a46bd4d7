#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "device/protocol.h"
#include "platform/fake/fake_driver.h"
#include "platform/headless/bench.h"
#include "resources/resource_ids.h"

namespace service_test {

// Bytes 0-3 serial 0x12345678, byte 4 batch 0x09, bytes 5-11 "ABCDEFG".
constexpr std::array<std::uint8_t, 12> kUid{0x78, 0x56, 0x34, 0x12, 0x09, 'A',
                                            'B',  'C',  'D',  'E',  'F',  'G'};

// The main window open on the headless bench with an instrument on the fake driver, as a scan
// would have left it: handle open, UID known, general application 1.34. The script is strict:
// a request it does not expect fails the test, and every expected request must have been made.
class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    driver.onUnexpected = [](const std::string& line) { ADD_FAILURE() << line; };
  }

  void SetUp() override {
    // No instrument is present while the window opens, so its scan sends nothing.
    ASSERT_TRUE(bench.Open(main));
    driver.AddDevice("dev0", "Meter driver V4.05");
    main.link.deviceHandle = driver.Open("dev0");
    ASSERT_TRUE(main.link.IsOpen());
    main.link.identity.uid = kUid;
    main.link.identity.generalAppVersion = 0x0122;
    bench.ClearRecord();
  }

  void TearDown() override {
    if (bench.IsOpen(res::IDD_MAIN)) bench.Destroy(main);
    EXPECT_EQ(driver.Problems(), "");
    EXPECT_EQ(bench.errors(), std::vector<std::string>{});
  }

  // Scripts a relayed query: the command accepted with REPLY_OK, then the controller's answer
  // in fragments of 16 bytes, the last one marked REPLY_LAST (REPLY_LAST alone for none).
  void ExpectRelayed(platform::fake::Bytes command, std::vector<std::uint8_t> answer) {
    driver.Expect(std::move(command)).Capacity(1).Answer({device::REPLY_OK});
    std::size_t offset = 0;
    do {
      const std::size_t piece = std::min<std::size_t>(16, answer.size() - offset);
      const bool last = offset + piece == answer.size();
      std::vector<std::uint8_t> fragment{last ? device::REPLY_LAST : device::REPLY_OK};
      fragment.insert(fragment.end(), answer.begin() + static_cast<std::ptrdiff_t>(offset),
                      answer.begin() + static_cast<std::ptrdiff_t>(offset + piece));
      driver.Expect(device::CMD_RELAY_READ)
          .Capacity(device::RELAY_READ_REPLY_SIZE)
          .Answer(fragment);
      offset += piece;
    } while (offset < answer.size());
  }

  // Forgets what happened so far: requests, the bench's record.
  void ForgetHistory() {
    driver.requests.clear();
    bench.ClearRecord();
  }

  headless::Bench bench;
  platform::fake::FakeDriver driver{bench.clock()};
  app::MainDialog main{driver};
};

}  // namespace service_test
