#include "app/updater_app.h"

#include "app/main_dialog.h"

namespace app {

bool UpdaterApp::InitInstance() {
  MainDialog dialog(driver_);
  (void)dialog.DoModal();
  return false;
}

}  // namespace app
