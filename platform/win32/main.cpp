#include "app/updater_app.h"
#include "platform/ui.h"
#include "platform/win32/win32_driver.h"
#include "platform/win32/win32_platform.h"

// After the project's headers: the Windows macros would rewrite names they declare.
#include <windows.h>

// The program's start: the Win32 windowing platform and driver port, then the application
// object, which runs the main window and returns when it closes.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  win32::Win32Platform windowing(instance);
  ui::SetHost(&windowing);
  platform::Win32Driver driver;
  app::UpdaterApp application(driver);
  (void)application.InitInstance();
  ui::SetHost(nullptr);
  return 0;
}
