#include "app/main_dialog.h"

namespace app {

void MainDialog::PreparePackage() {}
void MainDialog::LoadDefaultPackage() {}
const char* MainDialog::LoadImageFile(const char* path) {
  (void)path;
  return "Unable to open file";
}
void MainDialog::RefreshImageChecks() {}
void MainDialog::UpdateUploadButton() {}
void MainDialog::OnBrowseImage() {}

}  // namespace app
