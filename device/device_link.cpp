#include "device/device_link.h"

#include <cstdio>

namespace device {

void DeviceLink::Close() {
  if (IsOpen()) driver_.Close(deviceHandle);
  deviceHandle = platform::kInvalidHandle;
}

std::string FormatVersion(std::uint16_t version) {
  if (version == VERSION_NOT_READ) return "?.?";
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", version >> 8, version & 0xFF);
  return text;
}

}  // namespace device
