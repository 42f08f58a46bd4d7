#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ui.h"

namespace win32 {

class Win32Window;

// The windowing platform on the plain Win32 API: dialogs built in memory from the templates in
// resources/, a modal loop of its own, window timers, message boxes and the file-open dialog.
// No Windows header here, so that the names of ui.h and the Windows macros never meet in a user.
class Win32Platform final : public ui::Platform {
 public:
  // `instance` is the program's HINSTANCE, where the icon resources live.
  explicit Win32Platform(void* instance);
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  int RunModal(ui::Dialog& dialog) override;
  void MessageBox(ui::Dialog* owner, std::string_view text) override;
  [[nodiscard]] bool IsKeyDown(unsigned vk) override;
  [[nodiscard]] bool OpenFileDialog(ui::Dialog* owner, const ui::FileDialogSpec& options,
                                    std::string& path) override;
  void DrainMessages() override;
  platform::Clock& clock() override { return clock_; }
  [[nodiscard]] std::string ProgramPath() override;
  [[nodiscard]] ui::IconHandle LoadIcon(int resourceId) override;
  void IconSize(int& width, int& height) override;

  // The loaded icon of a handle in the system's large or small size (an HICON); null if none.
  [[nodiscard]] void* IconFor(ui::IconHandle icon, bool big) const;

 private:
  struct LoadedIcon {
    void* big = nullptr;
    void* small = nullptr;
  };

  // The window that a box or the file dialog is modal over: the owner's, or else the innermost
  // running dialog's.
  [[nodiscard]] void* OwnerWindow(ui::Dialog* owner) const;

  void* instance_;
  platform::SystemClock clock_;
  std::map<int, LoadedIcon> icons_;
  std::vector<Win32Window*> running_;  // the dialogs of the nested modal runs, innermost last
};

}  // namespace win32
