#include <gtest/gtest.h>

#include "platform/fake/fake_driver.h"

namespace {

using platform::EnumResult;
using platform::kInvalidHandle;
using platform::fake::FakeDriver;

// Sends one command request with the given input and capacity; returns the reply bytes, or
// nullopt when the request failed.
std::optional<std::vector<std::uint8_t>> Send(FakeDriver& driver, platform::DeviceHandle handle,
                                              std::vector<std::uint8_t> input,
                                              std::uint32_t capacity) {
  std::vector<std::uint8_t> output(capacity, 0xEE);
  std::uint32_t returned = 99;
  const bool ok =
      driver.Control(handle, device::IOCTL_DEVICE_COMMAND, input.data(),
                     static_cast<std::uint32_t>(input.size()), output.data(), capacity, returned);
  if (!ok) {
    EXPECT_EQ(returned, 0u);
    return std::nullopt;
  }
  output.resize(returned);
  return output;
}

TEST(FakeDriver, AnswersTheScriptInOrderAndReportsWhatWentAgainstIt) {
  FakeDriver driver;
  driver.AddDevice("dev0", "Meter V4.05");
  const auto handle = driver.Open("dev0");
  ASSERT_NE(handle, kInvalidHandle);

  driver.Expect({0x07, 0x01}).Answer({0xAA});
  driver.Expect("03 04").Capacity(4).Answer("AA 34 12 99 77");  // cut to the capacity
  driver.Expect("08 03").Fail();
  driver.Expect("07 00");

  EXPECT_EQ(Send(driver, handle, {0x07, 0x01}, 1), (std::vector<std::uint8_t>{0xAA}));
  EXPECT_EQ(Send(driver, handle, {0x03, 0x04}, 4),
            (std::vector<std::uint8_t>{0xAA, 0x34, 0x12, 0x99}));
  EXPECT_EQ(Send(driver, handle, {0x08, 0x03}, 17), std::nullopt);
  EXPECT_EQ(Send(driver, handle, {0x07, 0x02}, 1), std::nullopt);  // not the expected 07 00

  EXPECT_EQ(driver.CommandLog(), (std::vector<std::string>{"07 01", "03 04", "08 03", "07 02"}));
  EXPECT_EQ(driver.Problems(),
            "unexpected request: code 0x220018, capacity 1: 07 02; expected code 0x220018, "
            "any capacity: 07 00\n"
            "expected request never made: code 0x220018, any capacity: 07 00\n");
}

TEST(FakeDriver, StandingAnswersServeRepeatedCommandsAndTheScriptComesFirst) {
  FakeDriver driver;
  driver.AddDevice("dev0", "x");
  const auto handle = driver.Open("dev0");
  driver.Always("03 04", "A0");
  driver.Expect("03 04").Answer("AA");
  std::vector<std::string> seen;
  driver.onUnexpected = [&](const std::string& line) { seen.push_back(line); };

  EXPECT_EQ(Send(driver, handle, {0x03, 0x04}, 4), (std::vector<std::uint8_t>{0xAA}));
  EXPECT_EQ(Send(driver, handle, {0x03, 0x04}, 4), (std::vector<std::uint8_t>{0xA0}));
  EXPECT_EQ(Send(driver, handle, {0x03, 0x04}, 4), (std::vector<std::uint8_t>{0xA0}));
  EXPECT_EQ(driver.CountCommands("03 04"), 3);
  EXPECT_EQ(driver.Problems(), "");
  EXPECT_TRUE(seen.empty());

  driver.FailRequest(3);
  driver.ShortenRequest(4, 0);
  EXPECT_EQ(Send(driver, handle, {0x03, 0x04}, 4), std::nullopt);
  EXPECT_EQ(Send(driver, handle, {0x03, 0x04}, 4), (std::vector<std::uint8_t>{}));
  EXPECT_EQ(Send(driver, handle, {0x05}, 4), std::nullopt);
  EXPECT_EQ(seen.size(), 1u);
}

TEST(FakeDriver, KeepsOutputBytesPastTheReturnedCount) {
  FakeDriver driver;
  driver.AddDevice("dev0", "x");
  const auto handle = driver.Open("dev0");
  driver.Expect("03 04").Answer("AA");
  std::uint8_t output[4] = {0xA0, 0x11, 0x22, 0x33};
  std::uint32_t returned = 0;
  const std::uint8_t poll[] = {0x03, 0x04};
  ASSERT_TRUE(driver.Control(handle, device::IOCTL_DEVICE_COMMAND, poll, 2, output, 4, returned));
  EXPECT_EQ(returned, 1u);
  EXPECT_EQ(platform::fake::Hex(output), "AA 11 22 33");
}

TEST(FakeDriver, DevicesOpenExclusivelyAndIdentifyAsScripted) {
  FakeDriver driver;
  driver.AddDevice("dev0", "Meter V4.05");
  driver.AddDevice("dev1", "x").refuseOpen = true;
  driver.AddDeviceWithReply("dev2", platform::fake::Reply::Failure());

  const auto first = driver.Open("dev0");
  EXPECT_NE(first, kInvalidHandle);
  EXPECT_EQ(driver.Open("dev0"), kInvalidHandle);  // no sharing
  EXPECT_EQ(driver.Open("dev1"), kInvalidHandle);
  EXPECT_EQ(driver.Open("nowhere"), kInvalidHandle);

  std::uint8_t output[256] = {};
  std::uint32_t returned = 0;
  ASSERT_TRUE(driver.Control(first, device::IOCTL_DEVICE_IDENTIFY, device::IDENTIFY_INPUT.data(), 4,
                             output, 256, returned));
  EXPECT_EQ(returned, 13u);
  EXPECT_STREQ(reinterpret_cast<const char*>(output + 1), "Meter V4.05");

  const auto third = driver.Open("dev2");
  EXPECT_FALSE(driver.Control(third, device::IOCTL_DEVICE_IDENTIFY, device::IDENTIFY_INPUT.data(),
                              4, output, 256, returned));
  driver.Close(first);
  driver.Close(third);
  EXPECT_TRUE(driver.OpenHandles().empty());
  EXPECT_TRUE(driver.CommandLog().empty());  // identify requests are not commands
  EXPECT_EQ(driver.requests.size(), 2u);
  EXPECT_EQ(driver.Problems(), "");

  driver.Close(first);
  EXPECT_EQ(driver.Problems(), "close of a handle that is not open\n");
}

TEST(FakeDriver, EnumerationFaults) {
  FakeDriver driver;
  for (int i = 0; i < 4; ++i) driver.AddDevice("dev" + std::to_string(i), "x");
  driver.Find("dev1")->present = false;
  driver.enumerationFaults.skipAt = {1};
  driver.enumerationFaults.noMoreFrom = 2;

  ASSERT_TRUE(driver.BeginEnumeration());
  std::string path;
  EXPECT_EQ(driver.InterfacePath(0, path), EnumResult::Found);
  EXPECT_EQ(path, "dev0");
  EXPECT_EQ(driver.InterfacePath(1, path), EnumResult::Skip);
  EXPECT_EQ(driver.InterfacePath(2, path), EnumResult::NoMoreItems);
  driver.enumerationFaults = {};
  EXPECT_EQ(driver.InterfacePath(1, path), EnumResult::Found);
  EXPECT_EQ(path, "dev2");  // dev1 is unplugged
  EXPECT_EQ(driver.InterfacePath(3, path), EnumResult::NoMoreItems);
  driver.EndEnumeration();

  driver.enumerationFaults.beginFails = true;
  EXPECT_FALSE(driver.BeginEnumeration());
  EXPECT_EQ(driver.enumeratedIndexes, (std::vector<std::uint32_t>{0, 1, 2, 1, 3}));
}

}  // namespace
