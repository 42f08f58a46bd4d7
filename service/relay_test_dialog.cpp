#include "service/relay_test_dialog.h"

#include <array>

#include "app/main_dialog.h"
#include "device/protocol.h"
#include "resources/resource_ids.h"

namespace service {

using ui::Route;

namespace {

const ui::MapEntry<RelayTestDialog> kMessageMap[] = {
    {Route::ClickRange(res::IDC_RELAY_FIRST, res::IDC_RELAY_INVERSE), &RelayTestDialog::OnRelayBox},
    {Route::Click(res::IDC_RELAY_START), &RelayTestDialog::OnStart},
    {Route::Click(res::IDC_RELAY_STOP), &RelayTestDialog::OnStop},
    {Route::Timer(), &RelayTestDialog::OnTimer},
    {Route::Destroy(), &RelayTestDialog::OnDestroy},
};

constexpr int kRelayCount = 8;

}  // namespace

RelayTestDialog::RelayTestDialog(app::MainDialog* owner)
    : ui::Dialog(res::IDD_RELAY_TEST, owner), owner(owner) {}

RelayTestDialog::~RelayTestDialog() = default;

bool RelayTestDialog::OnMessage(const ui::Message& m) {
  return ui::RouteMessage(*this, kMessageMap, m);
}

bool RelayTestDialog::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  for (int i = 0; i < kRelayCount; ++i) SetCheck(res::IDC_RELAY_FIRST + i, ui::BST_CHECKED);
  relayMask |= RELAY_CHANNEL_BITS;
  return true;
}

void RelayTestDialog::OnRelayBox(int id) {
  if (id == res::IDC_RELAY_INVERSE) {
    relayMask ^= RELAY_CHANNEL_BITS;
    for (int i = 0; i < kRelayCount; ++i) {
      SetCheck(res::IDC_RELAY_FIRST + i,
               (relayMask & (1u << i)) != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
    }
    return;
  }
  // The automatic check box has already toggled itself.
  const std::uint32_t bit = 1u << (id - res::IDC_RELAY_FIRST);
  if (GetCheck(id) == ui::BST_CHECKED) {
    relayMask |= bit;
  } else {
    relayMask &= ~bit;
  }
}

void RelayTestDialog::OnStart() {
  if (timerId == -1) timerId = SetTimer(RELAY_TIMER_ID, kRelayPeriodMs);
}

void RelayTestDialog::OnStop() {
  if (timerId == -1) return;
  KillTimer(timerId);
  timerId = -1;
}

void RelayTestDialog::OnTimer(int id) {
  if (id != RELAY_TIMER_ID) return;
  const auto state = static_cast<std::uint8_t>(
      (relayMask & RELAY_PHASE_ON) != 0 ? relayMask & RELAY_CHANNEL_BITS : 0);
  // The phase turns whatever the switch's outcome, so a failing relay does not stall the test.
  relayMask ^= RELAY_PHASE_ON;
  const std::array<std::uint8_t, 4> command{device::CMD_EXT_PASSTHROUGH[0],
                                            device::CMD_EXT_PASSTHROUGH[1],
                                            device::EXT_RELAY_SWITCH, state};
  std::uint8_t answer[kRelayAnswerCapacity] = {};
  const std::int32_t n = owner->link.QueryRelayed(command, answer, kRelayAnswerCapacity);
  // One append and one show per tick: the log grows for as long as the test runs.
  owner->AppendLog(n > 0 ? "Switch relay Ok\r\n" : "Switch relay FAILURE\r\n");
  owner->ShowLog();
}

void RelayTestDialog::OnDestroy() {
  OnStop();
}

}  // namespace service
