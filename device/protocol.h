#pragma once

#include <array>
#include <cstdint>

// What crosses the driver boundary: the two control codes, the reply status bytes and the
// instrument's commands, written as the bytes in the order they are sent.
namespace device {

using Byte = std::uint8_t;

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr std::uint32_t IOCTL_DEVICE_IDENTIFY = 0x220004;
constexpr std::uint32_t IOCTL_DEVICE_COMMAND = 0x220018;

constexpr std::array<Byte, 4> IDENTIFY_INPUT{0x02, 0x00, 0x00, 0x00};
constexpr std::uint32_t IDENTIFY_REPLY_SIZE = 256;
constexpr std::uint32_t MAX_COMMAND_SIZE = 512;
constexpr std::uint32_t MAX_REPLY_SIZE = 32;

// Reply status bytes.
constexpr Byte REPLY_OK = 0xAA;
constexpr Byte REPLY_BUSY = 0xA0;
constexpr Byte REPLY_LAST = 0xAB;

// Command groups (byte 0).
constexpr Byte GROUP_DEVICE = 0x03;
constexpr Byte GROUP_CROSSBAR = 0x06;
constexpr Byte GROUP_ICTRL = 0x07;
constexpr Byte GROUP_EXT = 0x08;
constexpr Byte GROUP_APP_UPLOAD = 0x09;

// Main controller.
constexpr std::array<Byte, 4> CMD_READ_VERSIONS{0x03, 0x02, 0x00, 0x00};
constexpr std::array<Byte, 2> CMD_READ_UID{0x03, 0x03};
constexpr std::array<Byte, 2> CMD_STATUS_POLL{0x03, 0x04};
constexpr std::array<Byte, 2> CMD_READ_INPUT_EVENTS{0x03, 0x07};
constexpr std::uint32_t UID_SIZE = 12;
constexpr std::uint32_t STATUS_POLL_REPLY_SIZE = 4;

// Inputs controller.
constexpr std::array<Byte, 2> CMD_ICTRL_LEAVE{0x07, 0x00};
constexpr std::array<Byte, 2> CMD_ICTRL_ENTER{0x07, 0x01};
constexpr std::array<Byte, 2> CMD_ICTRL_PASSTHROUGH{0x07, 0x02};
constexpr std::array<Byte, 4> CMD_ICTRL_READ_VERSION{0x07, 0x02, 0x01, 0x00};
constexpr std::array<Byte, 2> CMD_ICTRL_RECALIBRATE{0x07, 0x03};
constexpr Byte CMD_ICTRL_UPLOAD_START = 0x04;  // 07 04 size-low size-high
constexpr std::array<Byte, 2> CMD_ICTRL_EXCHANGE{0x07, 0x05};
constexpr Byte CMD_ICTRL_ID_DEV = 0xA5;  // 07 02 A5 chan|b0 b1
constexpr std::array<Byte, 4> CMD_ICTRL_MONITOR_START{0x07, 0x02, 0xA4, 0x03};
constexpr std::array<Byte, 4> CMD_ICTRL_MONITOR_STOP{0x07, 0x02, 0xA4, 0x00};

// Crossbar power.
constexpr std::array<Byte, 2> CMD_CROSSBAR_POWER_ON{0x06, 0x01};
constexpr std::array<Byte, 2> CMD_CROSSBAR_POWER_OFF{0x06, 0x00};
constexpr std::array<Byte, 2> CMD_CROSSBAR_POWER_ID_DEV{0x06, 0x41};
constexpr std::array<Byte, 3> CMD_CROSSBAR_POWER_MODE_END{0x06, 0x00, 0x01};

// External interface controller.
constexpr Byte CMD_EXT_EXCHANGE = 0x00;  // 08 00 rate-low rate-high 02 00
constexpr std::array<Byte, 2> CMD_EXT_PASSTHROUGH{0x08, 0x02};
constexpr std::array<Byte, 2> CMD_RELAY_READ{0x08, 0x03};
constexpr std::uint32_t RELAY_READ_REPLY_SIZE = 17;
constexpr std::array<Byte, 3> CMD_EXT_CALIBRATION_START{0x08, 0x05, 0x01};
constexpr std::array<Byte, 3> CMD_EXT_CALIBRATION_STOP{0x08, 0x05, 0x00};
constexpr std::array<Byte, 3> CMD_EXT_CALIBRATION_POLL{0x08, 0x03, 0x02};
constexpr std::array<Byte, 4> CMD_EXT_STATUS{0x08, 0x02, 0x59, 0x3F};
constexpr std::array<Byte, 4> CMD_EXT_STATUS_CLEAR{0x08, 0x02, 0x5A, 0x3F};
constexpr Byte EXT_RELAY_SWITCH = 0x53;  // 08 02 53 state

// The external-device exchange mode's rate: 9600 for a general application before 1.34.
constexpr std::uint16_t EXT_RATE_SLOW = 9600;
constexpr std::uint16_t EXT_RATE_FAST = 50000;
constexpr std::uint16_t EXT_RATE_FAST_FROM_VERSION = 0x0122;

// General-application upload: 09 size0 size1 size2.
constexpr Byte CMD_APP_UPLOAD_START = 0x09;

// Result word of ExecuteCommand: returned count in bits 24-31, reply bytes 0-2 below.
constexpr std::uint32_t RESULT_OK = 0x010000AA;
[[nodiscard]] constexpr std::uint32_t ResultCount(std::uint32_t result) {
  return result >> 24;
}
[[nodiscard]] constexpr Byte ResultStatus(std::uint32_t result) {
  return result & 0xFF;
}

}  // namespace device
