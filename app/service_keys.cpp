#include "app/main_dialog.h"

namespace app {

bool MainDialog::PreTranslateMessage(const ui::Msg& msg) { return ui::Dialog::PreTranslateMessage(msg); }
void MainDialog::OnIcCmdMode() {}
void MainDialog::OnExIcCmdMode(int id) { (void)id; }
void MainDialog::OnRecalibrateIcrc() {}
void MainDialog::ToggleCrossbarPower() {}
void MainDialog::CalibrateExtController() {}
void MainDialog::ShowUid() {}

}  // namespace app
