#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "platform/clock.h"
#include "platform/driver.h"

namespace device {

constexpr std::uint16_t VERSION_NOT_READ = 0xFFFF;

// What is known of the connected instrument.
struct DeviceIdentity {
  std::uint16_t generalAppVersion = VERSION_NOT_READ;
  std::uint16_t inputsCtrlVersion = VERSION_NOT_READ;
  std::uint16_t hwVersion = 0;  // 0: not reported
  std::array<std::uint8_t, 12> uid{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // all 0xFF: none
  std::int32_t driverMinor = 0;
};

// The connection to the instrument: the open handle, the driver's description and what the
// instrument reported, with the transport operations on top of the command request. The
// operations report nothing themselves; callers judge their results.
class DeviceLink {
 public:
  DeviceLink(platform::Driver& driver, platform::Clock& clock) : driver_(driver), clock_(clock) {}

  platform::DeviceHandle deviceHandle = platform::kInvalidHandle;
  std::string driverDescription;
  DeviceIdentity identity;

  [[nodiscard]] bool IsOpen() const { return deviceHandle != platform::kInvalidHandle; }
  // Closes the handle if one is open and marks the link as having no device.
  void Close();

  // Scans the present interfaces and keeps the first one whose driver is version 4.0 or later.
  [[nodiscard]] bool FindDevice();

  // One bare command request on the open handle. Fails at once when no device is open.
  [[nodiscard]] bool Request(std::span<const std::uint8_t> command, std::uint8_t* reply,
                             std::uint32_t replyCapacity, std::uint32_t& returned);
  // Convenience for commands judged only by acceptance: one reply byte, REPLY_OK alone.
  [[nodiscard]] bool RequestAccepted(std::span<const std::uint8_t> command);

  // Sends a command and polls its status while it answers REPLY_BUSY. Returns the packed
  // result word: returned count of the last request in bits 24-31, reply bytes 0-2 below.
  [[nodiscard]] std::uint32_t ExecuteCommand(std::span<const std::uint8_t> command,
                                             std::int32_t intervalMs, std::int32_t timeoutMs);
  // Sends `data` as consecutive pieces of at most 512 bytes; only the last asks for a reply.
  [[nodiscard]] bool WriteChunked(std::span<const std::uint8_t> data, std::uint8_t* reply,
                                  std::uint32_t replyCapacity, std::uint32_t& returnedCount);
  // Has the instrument pass `command` to the external controller and collects its answer.
  // Returns the number of answer bytes (which may exceed `capacity`; only `capacity` are
  // stored), or -1 on failure.
  [[nodiscard]] std::int32_t QueryRelayed(std::span<const std::uint8_t> command,
                                          std::uint8_t* buffer, std::uint32_t capacity);

  platform::Driver& driver() { return driver_; }
  platform::Clock& clock() { return clock_; }

 private:
  platform::Driver& driver_;
  platform::Clock& clock_;
};

// "%d.%02d" with the high and low byte, or "?.?" for a version that was not read.
[[nodiscard]] std::string FormatVersion(std::uint16_t version);

}  // namespace device
