#pragma once

#include <cstdint>
#include <string>

#include "platform/driver.h"

namespace platform {

// The instrument's kernel driver on Windows: the device interfaces of its class are found with
// SetupAPI, and a device path is opened and driven with CreateFileA and DeviceIoControl.
class Win32Driver final : public Driver {
 public:
  Win32Driver() = default;
  ~Win32Driver() override;
  Win32Driver(const Win32Driver&) = delete;
  Win32Driver& operator=(const Win32Driver&) = delete;

  [[nodiscard]] bool BeginEnumeration() override;
  [[nodiscard]] EnumResult InterfacePath(std::uint32_t index, std::string& path) override;
  void EndEnumeration() override;

  [[nodiscard]] DeviceHandle Open(const std::string& path) override;
  [[nodiscard]] bool Control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                             std::uint32_t inputLength, std::uint8_t* output,
                             std::uint32_t outputCapacity, std::uint32_t& returned) override;
  void Close(DeviceHandle handle) override;

 private:
  // The SetupAPI information set of the present interfaces (an HDEVINFO); null while none is
  // held, so that no Windows header leaks into the users of this class.
  void* deviceInfo_ = nullptr;
};

}  // namespace platform
