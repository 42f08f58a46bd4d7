#include "app/main_dialog.h"

namespace app {

void MainDialog::UploadImages() {}
bool MainDialog::UploadGeneralApp(firmware::ImageSlot& slot) {
  (void)slot;
  return false;
}
bool MainDialog::UploadInputsCtrl(firmware::ImageSlot& slot) {
  (void)slot;
  return false;
}

}  // namespace app
