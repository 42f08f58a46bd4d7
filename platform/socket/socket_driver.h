#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/clock.h"
#include "platform/driver.h"
#include "platform/socket/endpoint.h"

namespace platform {

// The driver port on Linux: the instruments that veltra-sim (or anything else speaking the
// endpoint protocol) serves as Unix sockets. Every way a reply can go wrong (a closed or reset
// connection, a short read, a reply that breaks the limits, no reply within the limit) is a
// failed request; the connection is then finished with, and later requests on it fail at once.
class SocketDriver final : public Driver {
 public:
  explicit SocketDriver(std::string directory = endpoint::DevicesDirectory(),
                        std::uint32_t replyTimeoutMs = endpoint::DEFAULT_REPLY_TIMEOUT_MS);
  ~SocketDriver() override;
  SocketDriver(const SocketDriver&) = delete;
  SocketDriver& operator=(const SocketDriver&) = delete;

  [[nodiscard]] const std::string& directory() const { return directory_; }

  [[nodiscard]] bool BeginEnumeration() override;
  [[nodiscard]] EnumResult InterfacePath(std::uint32_t index, std::string& path) override;
  void EndEnumeration() override;
  [[nodiscard]] DeviceHandle Open(const std::string& path) override;
  [[nodiscard]] bool Control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                             std::uint32_t inputLength, std::uint8_t* output,
                             std::uint32_t outputCapacity, std::uint32_t& returned) override;
  void Close(DeviceHandle handle) override;

 private:
  [[nodiscard]] bool SendAll(int fd, const std::uint8_t* data, std::size_t length);
  [[nodiscard]] bool ReceiveReply(int fd, std::uint32_t outputCapacity, std::uint32_t& ok,
                                  std::uint32_t& returned);
  [[nodiscard]] bool SetReceiveTimeout(int fd, std::uint64_t ms);
  void Break(int fd);

  std::string directory_;
  std::uint32_t replyTimeoutMs_;
  SystemClock clock_;
  std::vector<std::string> snapshot_;
  // Open connections by descriptor; true once the connection is broken.
  std::unordered_map<int, bool> connections_;
  std::vector<std::uint8_t> frame_;
  std::vector<std::uint8_t> reply_;
};

}  // namespace platform
