#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A handle to an opened instrument; kInvalidHandle means none.
using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kInvalidHandle = -1;

enum class EnumResult {
  Found,        // the path of the interface at this index was fetched
  NoMoreItems,  // the index is past the last present interface
  Skip,         // the interface could not be read; the caller goes on with the next index
};

// The kernel driver of the instrument, reduced to what the tool does with it: enumerate the
// present interfaces of its device class, open one exclusively, send synchronous control
// requests, close. One backend per target: fake (tests), socket (Linux), win32.
class Driver {
 public:
  virtual ~Driver() = default;

  // Takes a snapshot of the present interfaces; false when the set cannot be had.
  [[nodiscard]] virtual bool BeginEnumeration() = 0;
  // The device path of the interface at `index` in the snapshot.
  [[nodiscard]] virtual EnumResult InterfacePath(std::uint32_t index, std::string& path) = 0;
  virtual void EndEnumeration() = 0;

  // Opens a device path for reading and writing with no sharing; kInvalidHandle on failure.
  [[nodiscard]] virtual DeviceHandle Open(const std::string& path) = 0;
  // One synchronous control request. On success `returned` is the number of bytes written
  // to `output` (at most `outputCapacity`); on failure it is 0.
  [[nodiscard]] virtual bool Control(DeviceHandle handle, std::uint32_t code,
                                     const std::uint8_t* input, std::uint32_t inputLength,
                                     std::uint8_t* output, std::uint32_t outputCapacity,
                                     std::uint32_t& returned) = 0;
  virtual void Close(DeviceHandle handle) = 0;
};

}  // namespace platform
