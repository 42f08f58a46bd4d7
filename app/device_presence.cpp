#include <algorithm>
#include <cstdio>

#include "app/main_dialog.h"
#include "device/protocol.h"
#include "resources/resource_ids.h"

namespace app {

namespace {

constexpr std::uint32_t kFindRetryPauseMs = 100;
constexpr std::uint32_t kIctrlLeaveSettleMs = 20;
constexpr std::int32_t kIctrlVersionPollMs = 20;
constexpr std::int32_t kIctrlVersionTimeoutMs = 60;
constexpr const char* kNoDevice = "...";

// The text control 1003 shows after a successful refresh.
std::string DeviceInfoText(const device::DeviceIdentity& identity) {
  std::string text;
  if (identity.hwVersion != 0) {
    char line[40];
    std::snprintf(line, sizeof line, "Device HW version: 0x%X\r\n", identity.hwVersion);
    text += line;
  }
  text += "General app. version:";
  text += device::FormatVersion(identity.generalAppVersion);
  text += "\r\nInp. controller app. version:";
  text += device::FormatVersion(identity.inputsCtrlVersion);
  return text;
}

}  // namespace

bool MainDialog::RefreshDevice(std::int32_t attempts) {
  device::DeviceIdentity& identity = link.identity;
  link.Close();
  identity.generalAppVersion = device::VERSION_NOT_READ;
  identity.inputsCtrlVersion = device::VERSION_NOT_READ;
  serviceFlags = 0;

  bool found = false;
  for (std::int32_t attempt = 0; attempt < attempts; ++attempt) {
    if (link.FindDevice()) {
      found = true;
      break;
    }
    if (attempt + 1 < attempts) ui::Sleep(kFindRetryPauseMs);
  }

  std::uint8_t uid[device::UID_SIZE] = {};
  if (found) {
    SetItemText(res::IDC_DEVICE_NAME, link.driverDescription);

    std::uint8_t versions[4] = {};
    std::uint32_t returned = 0;
    if (link.Request(device::CMD_READ_VERSIONS, versions, sizeof versions, returned) &&
        returned >= 2) {
      identity.generalAppVersion = static_cast<std::uint16_t>(versions[0] | versions[1] << 8);
      identity.hwVersion =
          returned == 4 ? static_cast<std::uint16_t>(versions[2] | versions[3] << 8) : 0;
    }

    // The device always answers 12 bytes; fewer means the link broke mid-reply, and bytes it
    // never sent must not be taken for its identifier.
    if (!link.Request(device::CMD_READ_UID, uid, sizeof uid, returned) ||
        returned < device::UID_SIZE) {
      link.Close();
      found = false;
    }
  }
  if (!found) {
    identity.uid.fill(0xFF);
    SetItemText(res::IDC_DEVICE_NAME, kNoDevice);
    SetItemText(res::IDC_LOG, kNoDevice);
    return false;
  }

  (void)link.RequestAccepted(device::CMD_ICTRL_LEAVE);
  ui::Sleep(kIctrlLeaveSettleMs);
  if (link.RequestAccepted(device::CMD_ICTRL_ENTER)) {
    const std::uint32_t r = link.ExecuteCommand(device::CMD_ICTRL_READ_VERSION, kIctrlVersionPollMs,
                                                kIctrlVersionTimeoutMs);
    if (device::ResultCount(r) == 3 && device::ResultStatus(r) == device::REPLY_OK) {
      identity.inputsCtrlVersion = static_cast<std::uint16_t>(r >> 8);
    }
  }
  (void)link.RequestAccepted(device::CMD_ICTRL_LEAVE);

  SetItemText(res::IDC_LOG, DeviceInfoText(identity));

  if (!std::equal(identity.uid.begin(), identity.uid.end(), uid)) {
    std::copy(uid, uid + device::UID_SIZE, identity.uid.begin());
    if (package.loadedCount != 0) RefreshImageChecks();
  }
  return true;
}

bool MainDialog::CheckDevicePresence() {
  // One buffer carries the command out and the identifier back.
  std::uint8_t buffer[device::UID_SIZE] = {};
  std::copy(device::CMD_READ_UID.begin(), device::CMD_READ_UID.end(), buffer);
  std::uint32_t returned = 0;
  const bool answered =
      link.Request(std::span<const std::uint8_t>(buffer, device::CMD_READ_UID.size()), buffer,
                   sizeof buffer, returned) &&
      returned >= device::UID_SIZE;
  if (answered) {
    if (std::equal(link.identity.uid.begin(), link.identity.uid.end(), buffer)) return true;
    return RefreshDevice(1);
  }
  link.Close();
  SetItemText(res::IDC_DEVICE_NAME, kNoDevice);
  SetItemText(res::IDC_LOG, kNoDevice);
  return false;
}

}  // namespace app
