// veltra-updater: the updater's window on Linux. It talks to the instruments that veltra-sim
// (or anything speaking the instrument endpoint) serves, and runs the application object as
// the windowing library's start-up code would.
#include "app/updater_app.h"
#include "platform/clock.h"
#include "platform/qt/application.h"
#include "platform/qt/qt_platform.h"
#include "platform/socket/socket_driver.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  qtui::Application application(argc, argv);
  platform::SystemClock clock;
  qtui::QtPlatform platform(application, clock);
  ui::SetHost(&platform);

  platform::SocketDriver driver;
  app::UpdaterApp updater(driver);
  // InitInstance runs the main window and returns false: the program ends with the window.
  (void)updater.InitInstance();

  ui::SetHost(nullptr);
  return 0;
}
