#include "platform/ui.h"

namespace ui {

namespace {
Platform* gHost = nullptr;
}  // namespace

Platform& Host() {
  return *gHost;
}
void SetHost(Platform* platform) {
  gHost = platform;
}
void Sleep(std::uint32_t ms) {
  Host().clock().Sleep(ms);
}
void DrainMessages() {
  Host().DrainMessages();
}

void Dialog::EndDialog(int result) {
  if (window_ != nullptr) window_->EndModal(result);
}

void Dialog::Dispatch(const Message& m) {
  if (OnMessage(m)) return;
  if (m.kind == Message::Kind::Command && (m.id == IDOK || m.id == IDCANCEL)) EndDialog(m.id);
}

std::string Dialog::GetItemText(int id) const {
  return window_ != nullptr ? window_->ItemText(id) : std::string();
}
void Dialog::SetItemText(int id, std::string_view text) {
  if (window_ != nullptr) window_->SetItemText(id, text);
}
bool Dialog::IsItemEnabled(int id) const {
  return window_ != nullptr && window_->IsItemEnabled(id);
}
void Dialog::EnableItem(int id, bool enable) {
  if (window_ != nullptr) window_->EnableItem(id, enable);
}
int Dialog::GetCheck(int id) const {
  return window_ != nullptr ? window_->Check(id) : 0;
}
void Dialog::SetCheck(int id, int state) {
  if (window_ != nullptr) window_->SetCheck(id, state);
}
int Dialog::GetComboSelection(int id) const {
  return window_ != nullptr ? window_->ComboSelection(id) : -1;
}
void Dialog::SetComboSelection(int id, int index) {
  if (window_ != nullptr) window_->SetComboSelection(id, index);
}
void Dialog::ListInsertColumn(int id, int column, std::string_view heading, int width) {
  if (window_ != nullptr) window_->ListInsertColumn(id, column, heading, width);
}
void Dialog::ListSetExtendedStyle(int id, std::uint32_t style) {
  if (window_ != nullptr) window_->ListSetExtendedStyle(id, style);
}
int Dialog::ListInsertRow(int id, int row, std::string_view text) {
  return window_ != nullptr ? window_->ListInsertRow(id, row, text) : -1;
}
void Dialog::ListSetItemText(int id, int row, int column, std::string_view text) {
  if (window_ != nullptr) window_->ListSetItemText(id, row, column, text);
}
void Dialog::ListDeleteAllRows(int id) {
  if (window_ != nullptr) window_->ListDeleteAllRows(id);
}
int Dialog::ListRowCount(int id) const {
  return window_ != nullptr ? window_->ListRowCount(id) : 0;
}
std::uint32_t Dialog::ListGetItemState(int id, int row, std::uint32_t mask) const {
  return window_ != nullptr ? window_->ListItemState(id, row, mask) : 0;
}
void Dialog::ListSetItemState(int id, int row, std::uint32_t state, std::uint32_t mask) {
  if (window_ != nullptr) window_->ListSetItemState(id, row, state, mask);
}
int Dialog::SetTimer(int timerId, unsigned periodMs) {
  return window_ != nullptr ? window_->SetTimer(timerId, periodMs) : 0;
}
void Dialog::KillTimer(int timerId) {
  if (window_ != nullptr) window_->KillTimer(timerId);
}
void Dialog::PostCommand(int id) {
  if (window_ != nullptr) window_->PostCommand(id);
}
void Dialog::SetIcon(IconHandle icon, bool big) {
  if (window_ != nullptr) window_->SetIcon(icon, big);
}
bool Dialog::IsMinimized() const {
  return window_ != nullptr && window_->IsMinimized();
}

}  // namespace ui
