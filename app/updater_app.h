#pragma once

#include "platform/driver.h"

namespace app {

// The application object: runs the main window modally and ends the program when it closes.
class UpdaterApp {
 public:
  explicit UpdaterApp(platform::Driver& driver) : driver_(driver) {}
  // Runs the main window; always false, so the platform runs no message loop of its own.
  bool InitInstance();

 private:
  platform::Driver& driver_;
};

}  // namespace app
