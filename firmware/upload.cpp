#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "app/main_dialog.h"
#include "device/protocol.h"
#include "resources/resource_ids.h"

namespace app {

namespace {

using device::Byte;

constexpr std::uint32_t kStatusPollIntervalMs = 50;
constexpr int kImageCheckPolls = 4;
constexpr int kBurnPolls = 100;
constexpr int kBurnProgressEvery = 10;  // one "+" per this many burning polls
constexpr std::uint32_t kIctrlLeaveToEnterMs = 20;
constexpr std::uint32_t kRebootWaitMs = 300;
constexpr std::int32_t kRebootFindAttempts = 20;

// The start commands carry 24 (general application) or 16 (inputs controller) bits of the
// image size. A larger image would be announced with a wrong size, so it is not sent at all.
constexpr std::uint32_t kGeneralAppSizeLimit = 1u << 24;
constexpr std::uint32_t kInputsCtrlSizeLimit = 1u << 16;

constexpr std::uint32_t kReplyOk = device::REPLY_OK;
constexpr std::uint32_t kReplyBusy = device::REPLY_BUSY;

// The word every reply of an upload procedure lands in. A reply overwrites only as many bytes,
// from byte 0 on, as the request returned, and the status tests compare the whole word: a
// four-byte poll reply AA 01 00 00 is neither REPLY_OK nor REPLY_BUSY.
class ReplyWord {
 public:
  [[nodiscard]] std::uint32_t Value() const {
    return static_cast<std::uint32_t>(bytes_[0]) | static_cast<std::uint32_t>(bytes_[1]) << 8 |
           static_cast<std::uint32_t>(bytes_[2]) << 16 |
           static_cast<std::uint32_t>(bytes_[3]) << 24;
  }

  // One command request with room for `capacity` reply bytes; false when it failed or
  // returned nothing.
  bool Send(device::DeviceLink& link, std::span<const Byte> command, std::uint32_t capacity) {
    std::uint8_t reply[4] = {};
    std::uint32_t returned = 0;
    const bool ok = link.Request(command, reply, capacity, returned);
    Take(reply, returned, capacity);
    return ok && returned != 0;
  }

  // The command went through, returned a byte, and the word is REPLY_OK.
  bool Accepted(device::DeviceLink& link, std::span<const Byte> command) {
    return Send(link, command, 1) && Value() == kReplyOk;
  }

  // Sends an image in pieces; the last piece's one reply byte lands in the word.
  bool SendImage(device::DeviceLink& link, const firmware::ImageSlot& slot,
                 std::uint32_t& returned) {
    std::uint8_t reply[1] = {};
    returned = 0;
    const bool ok = link.WriteChunked({slot.data.get(), slot.size}, reply, sizeof reply, returned);
    Take(reply, returned, sizeof reply);
    return ok;
  }

 private:
  void Take(const std::uint8_t* reply, std::uint32_t returned, std::uint32_t capacity) {
    const std::uint32_t count = returned < capacity ? returned : capacity;
    std::memcpy(bytes_, reply, count < sizeof bytes_ ? count : sizeof bytes_);
  }

  std::uint8_t bytes_[4] = {};
};

std::array<Byte, 4> AppUploadStart(std::uint32_t size) {
  return {device::CMD_APP_UPLOAD_START, static_cast<Byte>(size), static_cast<Byte>(size >> 8),
          static_cast<Byte>(size >> 16)};
}

std::array<Byte, 4> IctrlUploadStart(std::uint32_t size) {
  return {device::GROUP_ICTRL, device::CMD_ICTRL_UPLOAD_START, static_cast<Byte>(size),
          static_cast<Byte>(size >> 8)};
}

// An "mIMF" package names the one hardware version it suits; an "MIMF" package a range of
// driver minor numbers, lowest accepted in bits 0-15, first refused in bits 16-31.
bool PackageSuitsDevice(const firmware::ImagePackage& package,
                        const device::DeviceIdentity& identity) {
  if (package.requiredHwVersion != 0) return package.requiredHwVersion == identity.hwVersion;
  const std::uint32_t minor = static_cast<std::uint32_t>(identity.driverMinor);
  return minor >= (package.driverMinorRange & 0xFFFF) && minor < (package.driverMinorRange >> 16);
}

// Marks the upload as running for the commands that DrainMessages dispatches meanwhile, and
// carries out a close of the window that arrived during it once the upload is over.
class UploadRun {
 public:
  explicit UploadRun(MainDialog& dialog) : dialog_(dialog) { dialog_.uploadRunning = true; }
  ~UploadRun() {
    dialog_.uploadRunning = false;
    if (dialog_.closePending) {
      dialog_.closePending = false;
      dialog_.EndDialog(ui::IDCANCEL);
    }
  }
  UploadRun(const UploadRun&) = delete;
  UploadRun& operator=(const UploadRun&) = delete;

 private:
  MainDialog& dialog_;
};

}  // namespace

void MainDialog::UploadImages() {
  // A click dispatched by DrainMessages while an upload runs must not start another one.
  if (uploadRunning) return;
  UploadRun run(*this);

  SetLog("");
  if (!CheckDevicePresence()) return;
  if (!PackageSuitsDevice(package, link.identity)) {
    MessageBox("Incompatible device and image versions!");
    return;
  }

  int attemptCount = 0;
  for (int index = 0; index < firmware::SLOT_COUNT; ++index) {
    firmware::ImageSlot& slot = package.slots[index];
    // A slot without a row of its own has no check box the user could have ticked.
    if (!slot.IsLoaded() || slot.listRow < 0) continue;
    if (ListGetItemState(res::IDC_IMAGE_LIST, slot.listRow, ui::LVIS_STATEIMAGEMASK) ==
        ui::LVIS_UNCHECKED) {
      continue;
    }
    bool succeeded = false;
    // Read now: a general-application upload before this slot has refreshed the versions.
    const std::uint16_t deviceVersion = index == firmware::SLOT_GENERAL_APP
                                            ? link.identity.generalAppVersion
                                            : link.identity.inputsCtrlVersion;
    // Holding Ctrl lets a technician go back to an older image.
    const bool passes = deviceVersion == device::VERSION_NOT_READ ||
                        slot.version >= deviceVersion || ui::Host().IsKeyDown(ui::VK_CONTROL);
    if (!passes) {
      ListSetItemState(res::IDC_IMAGE_LIST, slot.listRow, ui::LVIS_UNCHECKED,
                       ui::LVIS_STATEIMAGEMASK);
      MessageBox("Unable to upload image with version value less then existing one!");
      continue;
    }
    ++attemptCount;
    succeeded =
        index == firmware::SLOT_GENERAL_APP ? UploadGeneralApp(slot) : UploadInputsCtrl(slot);
    if (succeeded) {
      ListSetItemState(res::IDC_IMAGE_LIST, slot.listRow, ui::LVIS_UNCHECKED,
                       ui::LVIS_STATEIMAGEMASK);
    }
  }
  if (attemptCount == 0) MessageBox("There is nothing to update!");
}

bool MainDialog::UploadGeneralApp(firmware::ImageSlot& slot) {
  ReplyWord replyWord;
  const char* result = nullptr;
  bool succeeded = false;
  std::uint32_t returned = 0;

  if (slot.size >= kGeneralAppSizeLimit) {
    result = "Image too large for the general application.\r\n";
  } else if (!replyWord.Accepted(link, AppUploadStart(slot.size))) {
    result = "Unable to upload general app. image.";
  } else {
    AppendLog("Upload general app. image.");
    ShowLog();
    // The device answers the last piece with REPLY_BUSY while it checks the image.
    if (!replyWord.SendImage(link, slot, returned) || returned < 1 ||
        replyWord.Value() != kReplyBusy) {
      result = "Failure to upload image data.";
    } else {
      AppendLog(" Ok.\r\nCheck Image.");
      ShowLog();
      ui::DrainMessages();
      for (int poll = 0; poll < kImageCheckPolls && replyWord.Value() == kReplyBusy; ++poll) {
        ui::Sleep(kStatusPollIntervalMs);
        if (!replyWord.Send(link, device::CMD_STATUS_POLL, device::STATUS_POLL_REPLY_SIZE)) break;
      }
      // A check that does not end in REPLY_OK reports nothing more.
      if (replyWord.Value() == kReplyOk) {
        // The instrument restarts into the new image: its connection goes away.
        link.Close();
        AppendLog(" Ok.\r\nBurn image...\r\n");
        ShowLog();
        ui::Sleep(kRebootWaitMs);
        succeeded = RefreshDevice(kRebootFindAttempts);
        result = succeeded ? "general app. image burning succeed.\r\n"
                           : "general app. image burning fail.\r\n";
      }
    }
  }
  if (result != nullptr) AppendLog(result);
  ShowLog();
  ui::DrainMessages();
  return succeeded;
}

bool MainDialog::UploadInputsCtrl(firmware::ImageSlot& slot) {
  if (slot.size >= kInputsCtrlSizeLimit) {
    AppendLog("Image too large for the inputs controller.\r\n");
    ShowLog();
    return false;
  }

  ReplyWord replyWord;
  const char* result = nullptr;
  bool succeeded = false;
  std::uint32_t returned = 0;

  // Leave first, in case an earlier run left the controller in its command mode.
  (void)replyWord.Send(link, device::CMD_ICTRL_LEAVE, 1);
  ui::Sleep(kIctrlLeaveToEnterMs);
  if (!replyWord.Accepted(link, device::CMD_ICTRL_ENTER)) {
    result = "Failure to enter in ICTRL cmd mode";
  } else if (!replyWord.Accepted(link, IctrlUploadStart(slot.size))) {
    result = "Failure to start image uploading.";
  } else {
    AppendLog("Upload input controller app. image.");
    ShowLog();
    if (!replyWord.SendImage(link, slot, returned) || returned < 1) {
      result = "\r\nFail.";
    } else {
      AppendLog(" Ok\r\nBurn image.");
      ShowLog();
      // A "+" after the 1st, 11th, 21st ... poll shows that the burning goes on.
      for (int counter = kBurnPolls; replyWord.Value() == kReplyBusy && counter > 0; --counter) {
        ui::Sleep(kStatusPollIntervalMs);
        if (!replyWord.Send(link, device::CMD_STATUS_POLL, device::STATUS_POLL_REPLY_SIZE)) break;
        if (counter % kBurnProgressEvery == 0) {
          AppendLog("+");
          ShowLog();
        }
        ui::DrainMessages();
      }
      succeeded = replyWord.Value() == kReplyOk;
      result = succeeded ? " Ok." : " Fail.";
    }
  }
  // The command mode is left on every path, also when entering it failed.
  (void)replyWord.Send(link, device::CMD_ICTRL_LEAVE, 1);
  AppendLog(result);
  ShowLog();
  return succeeded;
}

}  // namespace app
