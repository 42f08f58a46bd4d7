#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/device_link.h"
#include "firmware/image_package.h"
#include "platform/driver.h"
#include "platform/ui.h"

namespace app {

// serviceFlags bits.
constexpr std::uint32_t FLAG_CROSSBAR_POWER_ON = 0x1;
constexpr std::uint32_t FLAG_CALIBRATION_RUNNING = 0x2;

// Whether RefreshImageChecks overwrites check boxes the user set by hand (it always does; the
// enum keeps call sites readable).
enum class Overwrite { Yes };

// The updater's one window. It owns everything of a run: the device link, the firmware package,
// the service flags and the log text.
class MainDialog : public ui::Dialog {
 public:
  explicit MainDialog(platform::Driver& driver);
  ~MainDialog() override;

  bool OnInitDialog() override;
  bool PreTranslateMessage(const ui::Msg& msg) override;
  ui::IconHandle OnQueryDragIcon() override;

  // Window and log text.
  void OnPaint();
  void OnDestroy();
  void OnRescan();
  void OnOk();
  void OnCancel();
  void SetLog(std::string_view text);     // replace
  void AppendLog(std::string_view text);  // append
  void ShowLog();                         // control 1003 shows the whole log

  // Device identity and presence.
  bool RefreshDevice(std::int32_t attempts);
  bool CheckDevicePresence();

  // Firmware package and image list.
  void PreparePackage();
  void LoadDefaultPackage();
  // nullptr on success, otherwise the result text.
  const char* LoadImageFile(const char* path);
  void RefreshImageChecks();
  void UpdateUploadButton();
  void OnBrowseImage();

  // Image upload.
  void UploadImages();

  // Service keys and controller modes.
  void OnIcCmdMode();
  void OnExIcCmdMode(int id);
  void OnRecalibrateIcrc();

  device::DeviceLink link;
  firmware::ImagePackage package;
  std::uint32_t serviceFlags = 0;
  std::string logText;
  ui::IconHandle icon = 0;

  // Set while UploadImages runs: commands that would free or replace what it uses are ignored,
  // and a close is held back until it ends.
  bool uploadRunning = false;
  bool closePending = false;

 protected:
  bool OnMessage(const ui::Message& m) override;

 private:
  // Procedures of the upload, one per slot; true when the slot's image was burnt.
  bool UploadGeneralApp(firmware::ImageSlot& slot);
  bool UploadInputsCtrl(firmware::ImageSlot& slot);
  // Shortcut actions that run at once.
  void ToggleCrossbarPower();
  void CalibrateExtController();
  void ShowUid();
};

// Where the minimized window draws its icon: centred, in integer arithmetic.
void CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight, int& x,
                          int& y);

}  // namespace app
