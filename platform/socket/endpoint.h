#pragma once

#include <sys/un.h>

#include <cstdint>
#include <string>
#include <vector>

// The Linux instrument endpoint, shared by the driver port and by the programs that serve
// instruments. Each present instrument is a Unix-domain stream socket named *.sock in one
// directory. A client connects and reads one byte: 01 opened, 00 refused because another client
// holds the instrument. Then it sends requests and reads replies, integers little-endian:
//
//   request: u32 code, u32 inputLength (0-4096), u32 outputCapacity (0-4096), input bytes
//   reply:   u32 ok (1 or 0), u32 returned (at most outputCapacity, 0 on failure), bytes
//
// A frame outside these limits makes the instrument close the connection.
namespace platform::endpoint {

constexpr std::uint32_t MAX_FRAME_BYTES = 4096;
constexpr std::uint32_t REQUEST_HEADER_SIZE = 12;
constexpr std::uint32_t REPLY_HEADER_SIZE = 8;
constexpr std::uint8_t OPEN_ACCEPTED = 0x01;
constexpr std::uint8_t OPEN_REFUSED = 0x00;
constexpr const char* SOCKET_SUFFIX = ".sock";
constexpr std::uint32_t DEFAULT_REPLY_TIMEOUT_MS = 5000;

// Fills a Unix-domain address with `path`; false when the path is empty or too long for it.
[[nodiscard]] bool FillAddress(const std::string& path, sockaddr_un& address);

// $XDG_RUNTIME_DIR/veltra/devices when XDG_RUNTIME_DIR is set and not empty, otherwise
// /tmp/veltra-<uid>/devices.
[[nodiscard]] std::string DevicesDirectory();

// Creates the directory and any missing parent with mode 0700, and checks that the result is
// a real directory of this user that nobody else may write to, below a parent that is this
// user's or the system's. Others could otherwise plant sockets that pose as instruments.
[[nodiscard]] bool PrepareDevicesDirectory(const std::string& directory);

// The full paths of the instrument sockets in `directory`, in byte-wise order of their names.
// False when the directory cannot be read.
[[nodiscard]] bool ListInstrumentSockets(const std::string& directory,
                                         std::vector<std::string>& paths);

inline void PutU32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
  at[2] = static_cast<std::uint8_t>(value >> 16);
  at[3] = static_cast<std::uint8_t>(value >> 24);
}

[[nodiscard]] inline std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace platform::endpoint
