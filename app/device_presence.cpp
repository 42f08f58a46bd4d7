#include "app/main_dialog.h"

namespace app {

bool MainDialog::RefreshDevice(std::int32_t attempts) {
  (void)attempts;
  return false;
}

bool MainDialog::CheckDevicePresence() { return false; }

}  // namespace app
