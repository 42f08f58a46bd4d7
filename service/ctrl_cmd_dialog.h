#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/ui.h"

namespace app {
class MainDialog;
}

namespace service {

// The console's one timer: input monitoring in mode 0, the periodic status in mode 1.
constexpr int CONSOLE_TIMER_ID = 0xAA55;
constexpr unsigned kMonitorPeriodMs = 50;
constexpr unsigned kStatusPeriodMs = 100;

// The monitoring report: a fixed buffer, trimmed from the front before it reaches the threshold.
constexpr std::size_t REPORT_CAPACITY = 3300;
constexpr std::size_t REPORT_THRESHOLD = 2200;
constexpr std::size_t kEventLineLength = 22;

// Answer buffers of the relayed queries.
constexpr std::uint32_t kCommandAnswerCapacity = 64;
constexpr std::uint32_t kStatusAnswerCapacity = 32;
constexpr std::uint32_t kInputEventsReplySize = 32;

// The typed command: at most 16 parameter bytes behind the two pass-through bytes.
constexpr std::size_t kMaxParameterBytes = 16;
constexpr std::size_t kCommandTextCapacity = 80;  // 79 characters and the terminator

// Formats the line of one input event word into `out` (at least 23 characters): channel, tag
// and value. `tag` is the tag in force; a word with a tag of its own replaces it.
void FormatEventLine(std::uint16_t word, const char*& tag, char* out, std::size_t outSize);

// The status text of an external controller status answer: "Error" for n <= 0, "Power is OFF"
// for a controller status other than 0xA_, else the fields of the (at most 6) bytes that follow.
[[nodiscard]] std::string FormatStatus(std::int32_t n, std::span<const std::uint8_t> answer);

// The console for technicians' commands to a sub-controller: mode 0 talks to the inputs
// controller (template 129), any other mode to the external interface controller (130).
class CtrlCmdDialog : public ui::Dialog {
 public:
  explicit CtrlCmdDialog(app::MainDialog* owner);
  ~CtrlCmdDialog() override;

  int DoModal() override;
  bool OnInitDialog() override;

  void OnSendCmd();
  void OnIdDevCmd();
  void OnInputMonitoring();
  void OnClearReport();
  void OnTimer(int id);
  void OnPowerOn();
  void OnLifeUpdate();
  void OnDestroy();

  std::int32_t mode = 0;
  app::MainDialog* owner;
  std::int32_t timerId = -1;
  char reportText[REPORT_CAPACITY] = {};
  std::uint32_t reportLength = 0;

 protected:
  bool OnMessage(const ui::Message& m) override;

 private:
  void ReadInputEvents();
  void UpdateStatus();
};

}  // namespace service
