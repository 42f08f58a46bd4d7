#include "app/main_dialog.h"

#include "resources/resource_ids.h"

namespace app {

using ui::Route;

namespace {

const ui::MapEntry<MainDialog> kMessageMap[] = {
    {Route::Paint(), &MainDialog::OnPaint},
    {Route::Destroy(), &MainDialog::OnDestroy},
    {Route::Click(res::IDC_RESCAN), &MainDialog::OnRescan},
    {Route::Click(res::IDC_RECALIBRATE), &MainDialog::OnRecalibrateIcrc},
    {Route::Click(res::IDC_BROWSE), &MainDialog::OnBrowseImage},
    {Route::Click(res::IDC_UPLOAD), &MainDialog::UploadImages},
    {Route::Command(res::ID_SERVICE_ICTRL), &MainDialog::OnIcCmdMode},
    {Route::CommandRange(res::ID_SERVICE_ECTRL, res::ID_SERVICE_RELAY), &MainDialog::OnExIcCmdMode},
    {Route::Command(ui::IDOK), &MainDialog::OnOk},
    {Route::Command(ui::IDCANCEL), &MainDialog::OnCancel},
};

}  // namespace

MainDialog::MainDialog(platform::Driver& driver)
    : ui::Dialog(res::IDD_MAIN), link(driver, ui::Host().clock()) {
  icon = ui::Host().LoadIcon(res::IDI_MAIN);
}

MainDialog::~MainDialog() = default;

bool MainDialog::OnMessage(const ui::Message& m) {
  return ui::RouteMessage(*this, kMessageMap, m);
}

bool MainDialog::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  SetIcon(icon, true);
  SetIcon(icon, false);
  PreparePackage();
  RefreshDevice(1);
  LoadDefaultPackage();
  return true;
}

void CenteredIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight, int& x,
                          int& y) {
  x = (clientWidth - iconWidth + 1) / 2;
  y = (clientHeight - iconHeight + 1) / 2;
}

void MainDialog::OnPaint() {
  if (!IsMinimized() || window() == nullptr) return;  // the platform paints the dialog itself
  int clientWidth = 0;
  int clientHeight = 0;
  int iconWidth = 0;
  int iconHeight = 0;
  window()->ClientSize(clientWidth, clientHeight);
  ui::Host().IconSize(iconWidth, iconHeight);
  int x = 0;
  int y = 0;
  CenteredIconPosition(clientWidth, clientHeight, iconWidth, iconHeight, x, y);
  window()->DrawIcon(x, y, icon);
}

ui::IconHandle MainDialog::OnQueryDragIcon() {
  return icon;
}

void MainDialog::OnDestroy() {
  link.Close();
  for (firmware::ImageSlot& slot : package.slots) slot.Empty();
}

void MainDialog::OnRescan() {
  // A running upload holds the handle; a re-scan would close it under the upload.
  if (uploadRunning) return;
  RefreshDevice(1);
}

void MainDialog::OnOk() {
  if (uploadRunning) {
    closePending = true;
    return;
  }
  EndDialog(ui::IDOK);
}

void MainDialog::OnCancel() {
  // Closing during an upload would free the images it is sending: the close waits for its end.
  if (uploadRunning) {
    closePending = true;
    return;
  }
  EndDialog(ui::IDCANCEL);
}

void MainDialog::SetLog(std::string_view text) {
  logText.assign(text);
}
void MainDialog::AppendLog(std::string_view text) {
  logText.append(text);
}
void MainDialog::ShowLog() {
  SetItemText(res::IDC_LOG, logText);
}

}  // namespace app
