#include "device/device_link.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

#include "device/protocol.h"

namespace device {

namespace {

// The driver's device class never has more members than this; later indexes are not looked at.
constexpr std::uint32_t kMaxInterfaceIndexes = 127;
constexpr double kMinDriverVersion = 4.0;

// What QueryRelayed waits for: the command itself, then the relay reads.
constexpr std::int32_t kRelayCommandIntervalMs = 20;
constexpr std::int32_t kRelayCommandTimeoutMs = 1000;
constexpr std::uint32_t kRelayReadPauseMs = 10;
constexpr int kRelayReadTries = 3;

// The identify reply holds the description text from byte 1. A driver may fill the whole buffer
// without a terminating zero; the text then ends at the buffer's end, never past it.
std::string DescriptionFrom(const std::array<Byte, IDENTIFY_REPLY_SIZE>& reply) {
  const auto begin = reply.begin() + 1;
  const auto end = std::find(begin, reply.end(), Byte{0});
  return std::string(begin, end);
}

// Reads a decimal number the way the C library's string-to-double conversion does (leading
// white space skipped, a sign, hexadecimal with 0x; text that is no number reads as 0), but
// independent of the process locale: a window toolkit may switch the C locale to one whose
// decimal separator is a comma, and "4.05" must still read as 4.05.
double ReadNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // One sign only: the conversion below would take a second one.
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return 0;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    const std::size_t digits = i + 2;
    // The sign comes before the prefix only; from_chars would take one after it as well.
    if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) return 0;
    double value = 0;
    const auto hex = std::from_chars(text.data() + digits, text.data() + text.size(), value,
                                     std::chars_format::hex);
    // "0x" with no hex digits after it reads as the 0 before the x.
    if (hex.ec == std::errc()) return negative ? -value : value;
    return 0;
  }
  double value = 0;
  const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (result.ec != std::errc()) return 0;
  return negative ? -value : value;
}

// The driver version from the description: the number after the first " V". Empty when the
// description carries none, or fewer than two characters follow the V.
std::optional<double> DriverVersion(const std::string& description) {
  const std::size_t marker = description.find(" V");
  if (marker == std::string::npos || marker + 3 >= description.size()) return std::nullopt;
  return ReadNumber(std::string_view(description).substr(marker + 2));
}

// The two decimal places of the version, rounded: 4.05 gives 5, 4.1 gives 10, 4.995 gives 100.
std::int32_t DriverMinor(double version) {
  return static_cast<std::int32_t>((version - std::trunc(version)) * 100.0 + 0.5);
}

}  // namespace

void DeviceLink::Close() {
  if (IsOpen()) driver_.Close(deviceHandle);
  deviceHandle = platform::kInvalidHandle;
}

bool DeviceLink::FindDevice() {
  if (!driver_.BeginEnumeration()) return false;
  for (std::uint32_t index = 0; index < kMaxInterfaceIndexes; ++index) {
    std::string path;
    const platform::EnumResult found = driver_.InterfacePath(index, path);
    if (found == platform::EnumResult::NoMoreItems) break;
    if (found == platform::EnumResult::Skip) continue;

    deviceHandle = driver_.Open(path);
    if (!IsOpen()) continue;

    std::array<Byte, IDENTIFY_REPLY_SIZE> reply{};
    std::uint32_t returned = 0;
    if (!driver_.Control(deviceHandle, IOCTL_DEVICE_IDENTIFY, IDENTIFY_INPUT.data(),
                         static_cast<std::uint32_t>(IDENTIFY_INPUT.size()), reply.data(),
                         static_cast<std::uint32_t>(reply.size()), returned)) {
      // A device that cannot say what it is is not taken: close it and try the next one.
      Close();
      continue;
    }
    driverDescription = DescriptionFrom(reply);
    const std::optional<double> version = DriverVersion(driverDescription);
    // A version that is not a finite number (the text "inf" or "nan") is no version at all.
    if (!version || !std::isfinite(*version) || *version < kMinDriverVersion) {
      Close();
      continue;
    }
    identity.driverMinor = DriverMinor(*version);
    break;
  }
  driver_.EndEnumeration();
  return IsOpen();
}

bool DeviceLink::Request(std::span<const std::uint8_t> command, std::uint8_t* reply,
                         std::uint32_t replyCapacity, std::uint32_t& returned) {
  returned = 0;
  if (!IsOpen()) return false;
  return driver_.Control(deviceHandle, IOCTL_DEVICE_COMMAND, command.data(),
                         static_cast<std::uint32_t>(command.size()), reply, replyCapacity,
                         returned);
}

bool DeviceLink::RequestAccepted(std::span<const std::uint8_t> command) {
  Byte reply = 0;
  std::uint32_t returned = 0;
  return Request(command, &reply, 1, returned) && returned >= 1 && reply == REPLY_OK;
}

std::uint32_t DeviceLink::ExecuteCommand(std::span<const std::uint8_t> command,
                                         std::int32_t intervalMs, std::int32_t timeoutMs) {
  std::array<Byte, STATUS_POLL_REPLY_SIZE> reply{};
  std::uint32_t returned = 0;
  if (!Request(command, reply.data(), 1, returned) || returned == 0) return 0;

  if (reply[0] == REPLY_BUSY) {
    // Without a positive interval the timeout would never run down: count each poll as one
    // millisecond instead, so there is at most one poll per millisecond of timeout, and poll
    // without sleeping, as the interval asks.
    const std::int32_t pollStepMs = intervalMs > 0 ? intervalMs : 1;
    const std::uint32_t sleepMs = intervalMs > 0 ? static_cast<std::uint32_t>(intervalMs) : 0;
    constexpr std::array<Byte, STATUS_POLL_REPLY_SIZE> kBusyAlone{REPLY_BUSY, 0, 0, 0};
    for (std::int32_t remaining = timeoutMs; remaining > 0; remaining -= pollStepMs) {
      clock_.Sleep(sleepMs);
      // The buffer is not zeroed again: a short answer leaves the bytes after it as they were.
      if (!Request(CMD_STATUS_POLL, reply.data(), STATUS_POLL_REPLY_SIZE, returned) ||
          returned == 0) {
        break;
      }
      if (reply != kBusyAlone) break;
    }
  }
  return (returned << 24) | (std::uint32_t{reply[2]} << 16) | (std::uint32_t{reply[1]} << 8) |
         reply[0];
}

bool DeviceLink::WriteChunked(std::span<const std::uint8_t> data, std::uint8_t* reply,
                              std::uint32_t replyCapacity, std::uint32_t& returnedCount) {
  std::size_t offset = 0;
  while (offset < data.size()) {
    const std::size_t piece = std::min<std::size_t>(MAX_COMMAND_SIZE, data.size() - offset);
    // Only the last piece asks for the reply; the device answers the whole transfer once.
    const bool last = offset + piece == data.size();
    if (!Request(data.subspan(offset, piece), last ? reply : nullptr, last ? replyCapacity : 0,
                 returnedCount)) {
      return false;
    }
    offset += piece;
  }
  return true;
}

std::int32_t DeviceLink::QueryRelayed(std::span<const std::uint8_t> command, std::uint8_t* buffer,
                                      std::uint32_t capacity) {
  if (ExecuteCommand(command, kRelayCommandIntervalMs, kRelayCommandTimeoutMs) != RESULT_OK) {
    return -1;
  }
  std::int32_t total = 0;
  int tries = 0;
  do {
    clock_.Sleep(kRelayReadPauseMs);
    std::array<Byte, RELAY_READ_REPLY_SIZE> reply{};
    std::uint32_t returned = 0;
    if (!Request(CMD_RELAY_READ, reply.data(), RELAY_READ_REPLY_SIZE, returned) || returned == 0) {
      total = -1;
    } else {
      if ((reply[0] & ~Byte{1}) != REPLY_OK) return total;
      const std::uint32_t payload = returned - 1;
      if (payload > 0) {
        // A fragment that follows a failed read starts the answer afresh at the start of the
        // buffer: the total restarts at 0, so no byte is ever stored before the buffer.
        if (total < 0) total = 0;
        const auto stored = static_cast<std::uint32_t>(total);
        if (stored < capacity) {
          std::copy_n(reply.begin() + 1, std::min(payload, capacity - stored), buffer + stored);
        }
        // Bytes that did not fit are counted too. The count stops at the largest int32 rather
        // than wrap round to a negative number that would read as a failure.
        constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
        total = payload > static_cast<std::uint32_t>(kMax - total)
                    ? kMax
                    : total + static_cast<std::int32_t>(payload);
        tries = 0;
      }
      if ((reply[0] & 1) != 0) return total;
    }
    ++tries;
  } while (tries < kRelayReadTries);
  return total;
}

std::string FormatVersion(std::uint16_t version) {
  if (version == VERSION_NOT_READ) return "?.?";
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", version >> 8, version & 0xFF);
  return text;
}

}  // namespace device
