#include "service/ctrl_cmd_dialog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "app/main_dialog.h"
#include "device/protocol.h"
#include "resources/resource_ids.h"

namespace service {

using ui::Route;

namespace {

const ui::MapEntry<CtrlCmdDialog> kMessageMap[] = {
    {Route::Click(res::IDC_SEND_CMD), &CtrlCmdDialog::OnSendCmd},
    {Route::Click(res::IDC_INPUT_MONITORING), &CtrlCmdDialog::OnInputMonitoring},
    {Route::Click(res::IDC_CLEAR_REPORT), &CtrlCmdDialog::OnClearReport},
    {Route::Click(res::IDC_ID_DEV_CMD), &CtrlCmdDialog::OnIdDevCmd},
    {Route::Timer(), &CtrlCmdDialog::OnTimer},
    {Route::Click(res::IDC_POWER_ON), &CtrlCmdDialog::OnPowerOn},
    {Route::Click(res::IDC_LIFE_UPDATE), &CtrlCmdDialog::OnLifeUpdate},
    {Route::Destroy(), &CtrlCmdDialog::OnDestroy},
};

constexpr char kSeparators[] = " ,";
constexpr std::uint32_t kSendPollIntervalMs = 20;
constexpr std::uint32_t kSendTimeoutMs = 100;
constexpr std::uint32_t kPowerOnSettleMs = 25;
constexpr int kChannelShift = 5;
constexpr std::uint8_t kChannelFreeBits = 0x1F;

// Marks a relayed answer that brought more bytes than the answer buffer keeps.
constexpr char kTruncatedMarker[] = " ...";

// Tag of an event word that matches none of the tag patterns, when no earlier word of the same
// reply has set one.
constexpr char kUnknownTag[] = "??";

// Splits like strtok with `separators`, but keeps its position in `cursor` instead of a hidden
// static: runs of separators are one break, and leading or trailing ones give no token.
char* NextToken(char*& cursor, const char* separators) {
  char* start = cursor + std::strspn(cursor, separators);
  if (*start == '\0') {
    cursor = start;
    return nullptr;
  }
  char* end = start + std::strcspn(start, separators);
  if (*end != '\0') {
    *end = '\0';
    cursor = end + 1;
  } else {
    cursor = end;
  }
  return start;
}

// "0x" (lower case only) selects hexadecimal for the rest of the token; anything else is decimal.
// strtol's rules apply: optional sign, digits up to the first non-digit, 0 without digits. Only
// the low 8 bits are kept.
std::uint8_t TokenToByte(const char* token) {
  long value = 0;
  if (token[0] == '0' && token[1] == 'x') {
    value = std::strtol(token + 2, nullptr, 16);
  } else {
    value = std::strtol(token, nullptr, 10);
  }
  // On Windows long has 32 bits, and strtol gives the nearest end of that range for a number
  // beyond it. A 64-bit long would keep the number whole, and its low byte would differ, so the
  // same limits apply on every build.
  value = std::clamp<long>(value, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max());
  return static_cast<std::uint8_t>(value);
}

}  // namespace

void FormatEventLine(std::uint16_t word, const char*& tag, char* out, std::size_t outSize) {
  const int channel = ((word >> 12) & 0x7) + 1;
  const unsigned kind = (word >> 10) & 0x3;
  unsigned value = word & 0x3FF;
  if ((word & 0x8000) != 0) {
    tag = "ID";
    value = word & 0xFFF;
  } else if (kind == 1) {
    tag = "CR";
  } else if (kind == 2) {
    tag = "NF";
  } else if (kind == 0 && (word & 0x100) != 0) {
    tag = "DI";
    value = (word & 0xFF) | (word & 0x200);
  }
  // The two remaining patterns (bits 11-10 both set, or all of them and bit 8 clear) have no
  // tag of their own. They keep the tag of the previous word of the same reply, as the
  // controller sends related events together; the first word of a reply shows "??".
  if (tag == nullptr) tag = kUnknownTag;
  std::snprintf(out, outSize, " Ch:%d, %s, Val:0x%03X\r\n", channel, tag, value);
}

std::string FormatStatus(std::int32_t n, std::span<const std::uint8_t> answer) {
  if (n <= 0 || answer.empty()) return "Error";
  if ((answer[0] >> 4) != 0xA) return "Power is OFF";
  // Bytes 1 to 6 carry the fields; a longer answer has nothing more to show, and the buffer
  // never is read past what it holds.
  const std::size_t fields =
      std::min<std::size_t>({static_cast<std::size_t>(n) - 1, answer.size() - 1, std::size_t{6}});
  char text[128];
  std::size_t length = 0;
  auto add = [&](const char* format, auto value) {
    const int written = std::snprintf(text + length, sizeof text - length, format, value);
    if (written > 0) length = std::min(sizeof text - 1, length + static_cast<std::size_t>(written));
  };
  for (std::size_t i = 1; i <= fields; ++i) {
    const std::uint8_t b = answer[i];
    switch (i) {
      case 1:
        add("Ld:%d, ", static_cast<int>(b));
        break;
      case 2: {
        // The divisor is a whole number from 401 * 16 to 656 * 16, never zero. The reading is
        // written with a decimal point whatever the process locale: a window toolkit may switch
        // the C locale to one whose separator is a comma, and printf would follow it.
        const double volts = 40960.0 / ((656 - static_cast<int>(b)) * 16);
        char number[16];
        const auto converted =
            std::to_chars(number, number + sizeof number, volts, std::chars_format::fixed, 2);
        add("Vs:%s V\r\n", std::string(number, converted.ptr).c_str());
        break;
      }
      case 3:
        add("FLc:%d, ", static_cast<int>(b));
        break;
      case 4:
        add("STc:%d, ", static_cast<int>(b));
        break;
      case 5:
        add("VFc:%d, ", static_cast<int>(b));
        break;
      default:
        add("FBc:%d", static_cast<int>(b));
        break;
    }
  }
  return std::string(text, length);
}

CtrlCmdDialog::CtrlCmdDialog(app::MainDialog* owner) : ui::Dialog(0, owner), owner(owner) {}

CtrlCmdDialog::~CtrlCmdDialog() = default;

bool CtrlCmdDialog::OnMessage(const ui::Message& m) {
  return ui::RouteMessage(*this, kMessageMap, m);
}

int CtrlCmdDialog::DoModal() {
  SetTemplateId(mode == 0 ? res::IDD_ICTRL_CMD : res::IDD_ECTRL_CMD);
  return ui::Dialog::DoModal();
}

bool CtrlCmdDialog::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  if (mode == 0) SetComboSelection(res::IDC_CHANNEL, 0);
  return true;
}

void CtrlCmdDialog::OnSendCmd() {
  char text[kCommandTextCapacity];
  const std::string typed = GetItemText(res::IDC_CMD_TEXT);
  const std::size_t length = std::min(typed.size(), kCommandTextCapacity - 1);
  std::memcpy(text, typed.data(), length);
  text[length] = '\0';
  if (text[0] == '\0') return;

  std::array<std::uint8_t, 2 + kMaxParameterBytes> command{};
  std::uint8_t* params = command.data() + 2;
  std::size_t k = 0;
  const bool idDevForm = mode == 0 && GetCheck(res::IDC_ID_DEV_CMD) == ui::BST_CHECKED;
  int channel = -1;
  if (idDevForm) {
    params[k++] = device::CMD_ICTRL_ID_DEV;
    channel = GetComboSelection(res::IDC_CHANNEL);
  }
  // With a channel the ID-device command takes exactly two typed bytes.
  const std::size_t limit = channel >= 0 ? 3 : kMaxParameterBytes;
  char* cursor = text;
  for (char* token = NextToken(cursor, kSeparators); token != nullptr && k < limit;
       token = NextToken(cursor, kSeparators)) {
    params[k++] = TokenToByte(token);
  }
  if (k == 0) return;

  SetItemText(res::IDC_CMD_RESULT, "");
  device::DeviceLink& link = owner->link;
  const std::span<const std::uint8_t> bytes(command.data(), k + 2);
  char result[kCommandAnswerCapacity * 4 + sizeof kTruncatedMarker] = "";

  if (mode != 0) {
    command[0] = device::CMD_EXT_PASSTHROUGH[0];
    command[1] = device::CMD_EXT_PASSTHROUGH[1];
    std::uint8_t answer[kCommandAnswerCapacity] = {};
    const std::int32_t n = link.QueryRelayed(bytes, answer, kCommandAnswerCapacity);
    if (n <= 0) {
      std::snprintf(result, sizeof result, "Error");
    } else {
      // Only the bytes the buffer holds exist to be shown; a longer answer gets a marker.
      const std::size_t shown = std::min<std::size_t>(static_cast<std::size_t>(n), sizeof answer);
      std::size_t used = 0;
      for (std::size_t i = 0; i < shown; ++i) {
        used += static_cast<std::size_t>(
            std::snprintf(result + used, sizeof result - used, "%02X, ", answer[i]));
      }
      used -= 2;  // the last ", "
      result[used] = '\0';
      if (static_cast<std::size_t>(n) > shown) {
        std::snprintf(result + used, sizeof result - used, "%s", kTruncatedMarker);
      }
    }
  } else {
    command[0] = device::CMD_ICTRL_PASSTHROUGH[0];
    command[1] = device::CMD_ICTRL_PASSTHROUGH[1];
    if (channel >= 0 && k >= 2) {
      command[3] =
          static_cast<std::uint8_t>((channel << kChannelShift) | (command[3] & kChannelFreeBits));
    }
    const std::uint32_t r = link.ExecuteCommand(bytes, kSendPollIntervalMs, kSendTimeoutMs);
    const std::uint32_t count = device::ResultCount(r);
    if (channel >= 0) {
      if (r == device::RESULT_OK) {
        std::snprintf(result, sizeof result, "Send, Ok");
      } else {
        std::snprintf(result, sizeof result, "Fail err: 0x%X", r & 0xFFu);
      }
    } else if (count == 1) {
      std::snprintf(result, sizeof result, "0x%02X", r & 0xFFu);
    } else if (count == 2) {
      std::snprintf(result, sizeof result, "0x%04X", r & 0xFFFFu);
    } else if (count == 0) {
      // The request failed or a status poll broke off: there is no answer to show.
      std::snprintf(result, sizeof result, "Error");
    } else {
      // A status poll answered three or four bytes; the result word carries bytes 0 to 2,
      // shown like the shorter answers with the last byte highest.
      std::snprintf(result, sizeof result, "0x%06X", r & 0xFFFFFFu);
    }
  }
  SetItemText(res::IDC_CMD_RESULT, result);
}

void CtrlCmdDialog::OnIdDevCmd() {
  const bool checked = GetCheck(res::IDC_ID_DEV_CMD) == ui::BST_CHECKED;
  EnableItem(res::IDC_CHANNEL, checked);
  const auto& command = checked ? device::CMD_CROSSBAR_POWER_ID_DEV : device::CMD_CROSSBAR_POWER_ON;
  if (!owner->link.RequestAccepted(command)) MessageBox("Unable to control crossbar power.");
}

void CtrlCmdDialog::OnInputMonitoring() {
  const bool start = timerId == -1;
  // The answer is not judged: a busy controller still starts or stops monitoring.
  static_cast<void>(owner->link.ExecuteCommand(
      start ? device::CMD_ICTRL_MONITOR_START : device::CMD_ICTRL_MONITOR_STOP, 0, 0));
  reportLength = 0;
  if (start) {
    timerId = SetTimer(CONSOLE_TIMER_ID, kMonitorPeriodMs);
  } else {
    KillTimer(timerId);
    timerId = -1;
  }
}

void CtrlCmdDialog::OnClearReport() {
  reportLength = 0;
  reportText[0] = '\0';
  SetItemText(res::IDC_REPORT, "");
}

void CtrlCmdDialog::OnTimer(int id) {
  if (id != timerId) return;
  if (mode != 0) {
    UpdateStatus();
  } else {
    ReadInputEvents();
  }
}

void CtrlCmdDialog::ReadInputEvents() {
  std::uint8_t reply[kInputEventsReplySize] = {};
  std::uint32_t returned = 0;
  if (!owner->link.Request(device::CMD_READ_INPUT_EVENTS, reply, sizeof reply, returned)) return;
  returned = std::min<std::uint32_t>(returned, sizeof reply);
  const std::size_t words = returned / 2;
  // No whole word, or the single zero word that stands for "no event".
  if (words == 0) return;
  if (words == 1 && reply[0] == 0 && reply[1] == 0) return;

  const std::size_t added = kEventLineLength * words;
  if (reportLength + added >= REPORT_THRESHOLD) {
    const std::size_t dropped = std::min<std::size_t>(added, reportLength);
    std::memmove(reportText, reportText + dropped, reportLength - dropped);
    reportLength -= static_cast<std::uint32_t>(dropped);
  }
  const char* tag = nullptr;
  for (std::size_t i = 0; i < words; ++i) {
    const auto word = static_cast<std::uint16_t>(reply[2 * i] | (reply[2 * i + 1] << 8));
    FormatEventLine(word, tag, reportText + reportLength, REPORT_CAPACITY - reportLength);
    reportLength += static_cast<std::uint32_t>(std::strlen(reportText + reportLength));
  }
  SetItemText(res::IDC_REPORT, std::string_view(reportText, reportLength));
}

void CtrlCmdDialog::UpdateStatus() {
  std::array<std::uint8_t, 4> command = device::CMD_EXT_STATUS;
  if (GetCheck(res::IDC_CLEAR_COUNTERS) == ui::BST_CHECKED) command = device::CMD_EXT_STATUS_CLEAR;
  std::uint8_t answer[kStatusAnswerCapacity] = {};
  const std::int32_t n = owner->link.QueryRelayed(command, answer, kStatusAnswerCapacity);
  SetItemText(res::IDC_REPORT, FormatStatus(n, answer));
}

void CtrlCmdDialog::OnPowerOn() {
  const bool checked = GetCheck(res::IDC_POWER_ON) == ui::BST_CHECKED;
  if (!checked) {
    // The periodic update stops before the power goes off, whatever the command's outcome.
    EnableItem(res::IDC_LIFE_UPDATE, false);
    SetCheck(res::IDC_LIFE_UPDATE, ui::BST_UNCHECKED);
    OnLifeUpdate();
  }
  const auto& command = checked ? device::CMD_CROSSBAR_POWER_ID_DEV : device::CMD_CROSSBAR_POWER_ON;
  if (!owner->link.RequestAccepted(command)) {
    MessageBox("Unable to control crossbar power.");
    return;
  }
  if (!checked) return;
  EnableItem(res::IDC_LIFE_UPDATE, true);
  ui::Sleep(kPowerOnSettleMs);
  OnTimer(-1);
}

void CtrlCmdDialog::OnLifeUpdate() {
  if (GetCheck(res::IDC_LIFE_UPDATE) == ui::BST_CHECKED) {
    if (timerId == -1) timerId = SetTimer(CONSOLE_TIMER_ID, kStatusPeriodMs);
  } else if (timerId != -1) {
    KillTimer(timerId);
    timerId = -1;
  }
}

void CtrlCmdDialog::OnDestroy() {
  // The timer dies with the window anyway; forgetting it keeps the object consistent.
  if (timerId != -1) KillTimer(timerId);
  timerId = -1;
}

}  // namespace service
