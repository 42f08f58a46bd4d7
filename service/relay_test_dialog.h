#pragma once

#include <cstdint>

#include "platform/ui.h"

namespace app {
class MainDialog;
}

namespace service {

constexpr int RELAY_TIMER_ID = 1;
constexpr unsigned kRelayPeriodMs = 300;
constexpr std::uint32_t kRelayAnswerCapacity = 4;

// relayMask bits 0-7 select channels 1-8; bit 15 says the next tick switches them on.
constexpr std::uint32_t RELAY_CHANNEL_BITS = 0x00FF;
constexpr std::uint32_t RELAY_PHASE_ON = 0x8000;

// The crossbar relay test: while it runs, each tick switches either all channels off or the
// selected ones on, in turn, and logs the outcome in the main window.
class RelayTestDialog : public ui::Dialog {
 public:
  explicit RelayTestDialog(app::MainDialog* owner);
  ~RelayTestDialog() override;

  bool OnInitDialog() override;

  void OnRelayBox(int id);
  void OnStart();
  void OnStop();
  void OnTimer(int id);
  void OnDestroy();

  app::MainDialog* owner;
  std::uint32_t relayMask = 0;
  int timerId = -1;

 protected:
  bool OnMessage(const ui::Message& m) override;
};

}  // namespace service
