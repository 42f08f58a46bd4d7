// Opens one dialog template on its own, with no tool logic behind it, so that the smoke test
// can look at the layout of the service dialogs, which the program itself opens only for a
// connected instrument. The command line is the template number; the exit status is the
// dialog's result (2 when it was cancelled).
#include <cstdlib>

#include "platform/ui.h"
#include "platform/win32/win32_platform.h"

// After the project's headers: the Windows macros would rewrite names they declare.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  win32::Win32Platform windowing(instance);
  ui::SetHost(&windowing);
  ui::Dialog dialog(std::atoi(commandLine));
  const int result = dialog.DoModal();
  ui::SetHost(nullptr);
  return result;
}
