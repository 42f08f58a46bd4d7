#include <array>
#include <cstdio>

#include "app/main_dialog.h"
#include "device/protocol.h"
#include "resources/resource_ids.h"
#include "service/ctrl_cmd_dialog.h"
#include "service/relay_test_dialog.h"

namespace app {

namespace {

// Virtual-key codes of the shortcut letters (Ctrl+Shift+letter).
constexpr unsigned VK_T = 0x54;
constexpr unsigned VK_E = 0x45;
constexpr unsigned VK_R = 0x52;
constexpr unsigned VK_P = 0x50;
constexpr unsigned VK_C = 0x43;
constexpr unsigned VK_U = 0x55;

constexpr std::uint32_t kCalibrationPolls = 10;
constexpr std::uint32_t kCalibrationPollIntervalMs = 5;
constexpr std::uint32_t kCalibrationReplySize = 4;
// Reply bytes 1 to 3 of the poll, little-endian, once the calibration has finished.
constexpr std::uint32_t kCalibrationDonePattern = 0x00AA55;

constexpr std::int32_t kRecalibratePollIntervalMs = 20;
constexpr std::int32_t kRecalibrateTimeoutMs = 200;

// The exchange mode's rate follows the general application: older ones speak only 9600.
std::array<device::Byte, 6> ExtExchangeCommand(std::uint16_t generalAppVersion) {
  const std::uint16_t rate = generalAppVersion < device::EXT_RATE_FAST_FROM_VERSION
                                 ? device::EXT_RATE_SLOW
                                 : device::EXT_RATE_FAST;
  return {device::GROUP_EXT,
          device::CMD_EXT_EXCHANGE,
          static_cast<device::Byte>(rate & 0xFF),
          static_cast<device::Byte>(rate >> 8),
          0x02,
          0x00};
}

// The shortcuts need a device that reported its identifier. RefreshDevice sets all bytes to
// 0xFF when no device is found; bytes 0-3 alone do not count.
bool UidKnown(const device::DeviceIdentity& identity) {
  for (std::size_t i = 4; i < identity.uid.size(); ++i) {
    if (identity.uid[i] != 0xFF) return true;
  }
  return false;
}

}  // namespace

bool MainDialog::PreTranslateMessage(const ui::Msg& msg) {
  if (msg.message != ui::WM_KEYDOWN) return ui::Dialog::PreTranslateMessage(msg);
  ui::Platform& host = ui::Host();
  if (!host.IsKeyDown(ui::VK_SHIFT) || !host.IsKeyDown(ui::VK_CONTROL)) {
    return ui::Dialog::PreTranslateMessage(msg);
  }
  if (!UidKnown(link.identity)) return ui::Dialog::PreTranslateMessage(msg);

  // The modes start from posted commands, so that their dialogs run after the key has been
  // handled.
  switch (msg.wParam) {
    case VK_T:
      PostCommand(res::ID_SERVICE_ICTRL);
      return true;
    case VK_E:
      PostCommand(res::ID_SERVICE_ECTRL);
      return true;
    case VK_R:
      PostCommand(res::ID_SERVICE_RELAY);
      return true;
    case VK_P:
      ToggleCrossbarPower();
      return true;
    case VK_C:
      CalibrateExtController();
      return true;
    case VK_U:
      ShowUid();
      return true;
    default:
      return ui::Dialog::PreTranslateMessage(msg);
  }
}

void MainDialog::ToggleCrossbarPower() {
  const bool on = (serviceFlags & FLAG_CROSSBAR_POWER_ON) != 0;
  if (link.RequestAccepted(on ? device::CMD_CROSSBAR_POWER_OFF : device::CMD_CROSSBAR_POWER_ON)) {
    serviceFlags ^= FLAG_CROSSBAR_POWER_ON;
  }
  // A refused command shows the state that still holds.
  SetLog((serviceFlags & FLAG_CROSSBAR_POWER_ON) != 0 ? "Pow on" : "Pow off");
  ShowLog();
}

void MainDialog::CalibrateExtController() {
  if (!link.RequestAccepted(ExtExchangeCommand(link.identity.generalAppVersion))) {
    SetLog("Failure to start ExtIntrfCtrl calibration");
    ShowLog();
    return;
  }
  SetLog("Start ExtIntrfCtrl calibration");
  ShowLog();
  if (!link.RequestAccepted(device::CMD_EXT_CALIBRATION_START)) {
    AppendLog("\nFailure!");
    ShowLog();
    return;
  }

  serviceFlags |= FLAG_CALIBRATION_RUNNING;
  bool done = false;
  for (std::uint32_t poll = 0; poll < kCalibrationPolls && !done; ++poll) {
    ui::Sleep(kCalibrationPollIntervalMs);
    AppendLog(".");
    ShowLog();
    // Zeroed each time: a three-byte answer leaves byte 3 as 0, which the pattern expects.
    std::uint8_t reply[kCalibrationReplySize] = {};
    std::uint32_t returned = 0;
    if (!link.Request(device::CMD_EXT_CALIBRATION_POLL, reply, sizeof reply, returned) ||
        returned == 0) {
      break;
    }
    // REPLY_OK and REPLY_LAST differ only in bit 0; any other status ends the calibration.
    if ((reply[0] & 0xFE) != device::REPLY_OK) break;
    if (returned >= 3) {
      const std::uint32_t pattern = reply[1] | (reply[2] << 8) | (reply[3] << 16);
      done = pattern == kCalibrationDonePattern;
    }
  }
  // The controller is told to stop however the polling ended.
  static_cast<void>(link.RequestAccepted(device::CMD_EXT_CALIBRATION_STOP));
  serviceFlags &= ~FLAG_CALIBRATION_RUNNING;
  AppendLog(done ? "\nDone Ok!" : "\nFailure!");
  ShowLog();
}

void MainDialog::ShowUid() {
  const auto& uid = link.identity.uid;
  // Bytes 5 to 11 are the identifier's text part: at most 7 characters, ending at a zero.
  char name[8] = {};
  for (std::size_t i = 0; i < 7 && uid[5 + i] != 0; ++i) name[i] = static_cast<char>(uid[5 + i]);
  const std::uint32_t serial =
      static_cast<std::uint32_t>(uid[0]) | (static_cast<std::uint32_t>(uid[1]) << 8) |
      (static_cast<std::uint32_t>(uid[2]) << 16) | (static_cast<std::uint32_t>(uid[3]) << 24);
  char text[64];
  std::snprintf(text, sizeof text, "Device UID:%s.%02X.%08X", name, uid[4], serial);
  SetLog(text);
  ShowLog();
}

void MainDialog::OnIcCmdMode() {
  if (!link.RequestAccepted(device::CMD_ICTRL_EXCHANGE)) {
    MessageBox("Fail to enter IC CMD exchange mode.");
    return;
  }
  service::CtrlCmdDialog console(this);
  console.mode = 0;
  SetLog("Entered in ICCmd mode\r\n");
  ShowLog();
  console.DoModal();
  // The mode is left however the console closed; the reply does not matter.
  static_cast<void>(link.RequestAccepted(device::CMD_ICTRL_LEAVE));
  AppendLog("Exit ICCmd mode\r\n");
  ShowLog();
}

void MainDialog::OnExIcCmdMode(int id) {
  if (!link.RequestAccepted(ExtExchangeCommand(link.identity.generalAppVersion))) {
    MessageBox("Fail to enter Ext dev CMD exchange mode.");
    return;
  }
  // Without crossbar power the dialogs have nothing to talk to; the mode still ends below.
  if (link.RequestAccepted(device::CMD_CROSSBAR_POWER_ON)) {
    SetLog("Entered in ExICCmd mode\r\n");
    ShowLog();
    if (id == res::ID_SERVICE_ECTRL) {
      service::CtrlCmdDialog console(this);
      console.mode = 1;
      console.DoModal();
    } else {
      service::RelayTestDialog relayTest(this);
      relayTest.DoModal();
    }
  }
  static_cast<void>(link.RequestAccepted(device::CMD_CROSSBAR_POWER_MODE_END));
  AppendLog("Exit ExICCmd mode\r\n");
  ShowLog();
}

void MainDialog::OnRecalibrateIcrc() {
  const std::uint32_t result = link.ExecuteCommand(
      device::CMD_ICTRL_RECALIBRATE, kRecalibratePollIntervalMs, kRecalibrateTimeoutMs);
  MessageBox(result == device::RESULT_OK ? "Recalibration has been done"
                                         : "Recalibration has been failed");
}

}  // namespace app
