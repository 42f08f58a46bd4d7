#include "sim/instrument.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "device/protocol.h"

namespace sim {
namespace {

using device::REPLY_BUSY;
using device::REPLY_LAST;
using device::REPLY_OK;

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint8_t kIdentifyLeadByte = 0x01;
// The external controller hands over at most this many answer bytes per relay read.
constexpr std::size_t kRelayFragmentSize = 16;
// The inputs controller keeps at most this many unread events and drops the oldest.
constexpr std::size_t kInputEventQueueSize = 64;
// The external controller's status: 0xA0 and flags for relays on and calibration running.
constexpr std::uint8_t kExtStatusPowered = 0xA0;
constexpr std::uint8_t kExtStatusRelaysOn = 0x01;
constexpr std::uint8_t kExtStatusCalibrating = 0x02;
// The supply reading around 5.00 V (byte 144), wandering by two steps.
constexpr std::uint8_t kSupplyReading = 144;
constexpr std::uint32_t kSupplyWanderPeriodMs = 250;
// The fault counters of the external controller count up while the crossbar is powered.
constexpr std::uint32_t kLineFaultPeriodMs = 700;
constexpr std::uint32_t kVoltageFaultPeriodMs = 1900;
constexpr std::uint32_t kFeedbackFaultPeriodMs = 3100;
// Rates above this need a general application of 1.34 or later.
constexpr std::uint16_t kSlowRate = 9600;
constexpr std::uint16_t kFastRateFromVersion = 0x0122;
constexpr std::uint8_t kExtRelaySwitch = 0x53;
constexpr std::uint8_t kExtStatus = 0x59;
constexpr std::uint8_t kExtStatusClear = 0x5A;
constexpr char kExtInfoText[] = "Veltra ext. interface controller V2.11, 8 relays, crossbar 8x4";

std::uint8_t Saturate(std::uint64_t value) {
  return static_cast<std::uint8_t>(std::min<std::uint64_t>(value, 255));
}

}  // namespace

void Instrument::Reply::Set(std::initializer_list<std::uint8_t> values) {
  size = 0;
  for (std::uint8_t v : values) bytes[size++] = v;
}

Instrument::Instrument(platform::Clock& clock, InstrumentConfig config)
    : clock_(clock), config_(std::move(config)) {
  nowMs_ = clock_.NowMs();
  ResetRunState();
}

// ---- time and lifecycle ----

void Instrument::Advance() {
  nowMs_ = clock_.NowMs();
  if (link_ == LinkState::Rebooting && !neverReturn_ && nowMs_ >= rebootEndsAtMs_) {
    link_ = LinkState::Present;
    ResetRunState();
  }
  if (link_ != LinkState::Present) return;
  if (pending_.active && !pending_.finished && nowMs_ >= pending_.doneAtMs) Finish(pending_);
  if (rebootArmed_ && nowMs_ >= rebootArmedAtMs_ + config_.timing.rebootGraceMs) StartReboot();
  GenerateInputEvents();
}

void Instrument::ResetRunState() {
  pending_ = PendingOp{};
  upload_ = Upload::None;
  ictrlMode_ = IctrlMode::Running;
  monitoring_ = false;
  inputEvents_.clear();
  crossbar_ = Crossbar::Off;
  extExchange_ = false;
  extRate_ = 0;
  relayState_ = 0;
  relayAnswer_.clear();
  relayAnswerOffset_ = 0;
  relayAnswerPending_ = false;
  calibrationRunning_ = false;
  countersSinceMs_ = nowMs_;
  statusQueries_ = 0;
  rebootArmed_ = false;
}

void Instrument::DropLink() {
  ++linkGeneration_;
}

void Instrument::StartReboot() {
  // The new general application runs from the restart on.
  if (stagedAppVersionValid_) config_.generalAppVersion = stagedAppVersion_;
  stagedAppVersionValid_ = false;
  DropLink();
  ResetRunState();
  link_ = neverReturn_ ? LinkState::Gone : LinkState::Rebooting;
  rebootEndsAtMs_ = nowMs_ + config_.timing.rebootMs;
}

bool Instrument::IsPresent() {
  return linkState() == LinkState::Present;
}

LinkState Instrument::linkState() {
  Advance();
  return link_;
}

void Instrument::HostClosed() {
  Advance();
  if (link_ == LinkState::Present && rebootArmed_) StartReboot();
}

void Instrument::Unplug() {
  nowMs_ = clock_.NowMs();
  if (link_ == LinkState::Unplugged) return;
  DropLink();
  ResetRunState();
  link_ = LinkState::Unplugged;
}

void Instrument::Plug() {
  nowMs_ = clock_.NowMs();
  if (link_ == LinkState::Present) return;
  if (link_ == LinkState::Rebooting || link_ == LinkState::Gone) {
    if (stagedAppVersionValid_) config_.generalAppVersion = stagedAppVersion_;
    stagedAppVersionValid_ = false;
  }
  ResetRunState();
  link_ = LinkState::Present;
}

void Instrument::Reboot() {
  Advance();
  if (link_ == LinkState::Unplugged) return;
  StartReboot();
}

void Instrument::ClearFaults() {
  faults_.clear();
  if (pending_.active && pending_.doneAtMs == kNever) pending_ = PendingOp{};
}

// ---- busy phases ----

// A busy phase that a fault made endless keeps the polls busy but does not lock out the next
// command, which replaces it.
bool Instrument::Busy() const {
  return (pending_.active && !pending_.finished && pending_.doneAtMs != kNever) ||
         upload_ != Upload::None;
}

void Instrument::StartBusy(Completion completion, std::uint32_t durationMs, Reply& reply) {
  pending_ = PendingOp{};
  pending_.active = true;
  pending_.completion = completion;
  pending_.doneAtMs = nowMs_ + durationMs;
  pending_.result.Set({REPLY_OK});
  reply.Set({REPLY_BUSY});
}

// Applies what a finished slow operation does, and fixes the answer of the next status poll.
void Instrument::Finish(PendingOp& op) {
  op.finished = true;
  std::uint16_t version = 0;
  switch (op.completion) {
    case Completion::AppImageCheck: {
      const FooterState state = receiver_.Judge(version);
      if (state == FooterState::Corrupt) {
        op.result.Set({REPLY_REFUSED});
        break;
      }
      stagedAppVersionValid_ = state == FooterState::Valid;
      stagedAppVersion_ = version;
      rebootArmed_ = true;
      rebootArmedAtMs_ = op.doneAtMs;
      op.result.Set({REPLY_OK});
      break;
    }
    case Completion::IctrlBurn: {
      const FooterState state = receiver_.Judge(version);
      if (state == FooterState::Corrupt) {
        op.result.Set({REPLY_REFUSED});
        break;
      }
      if (state == FooterState::Valid) config_.inputsCtrlVersion = version;
      op.result.Set({REPLY_OK});
      break;
    }
    case Completion::IctrlVersion:
      op.result.Set({REPLY_OK, static_cast<std::uint8_t>(config_.inputsCtrlVersion & 0xFF),
                     static_cast<std::uint8_t>(config_.inputsCtrlVersion >> 8)});
      break;
    case Completion::RelaySwitch:
      relayState_ = op.relayState;
      SetRelayAnswer({kExtRelaySwitch, op.relayState},
                     op.doneAtMs + config_.timing.extAnswerDelayMs);
      break;
    case Completion::None:
      break;
  }
}

// ---- requests ----

FaultRule* Instrument::MatchFault(const std::uint8_t* input, std::uint32_t length, bool identify) {
  for (FaultRule& rule : faults_) {
    if (rule.remaining == 0 || rule.identify != identify) continue;
    if (!rule.prefix.empty()) {
      if (identify || upload_ != Upload::None || rule.prefix.size() > length) continue;
      if (!std::equal(rule.prefix.begin(), rule.prefix.end(), input)) continue;
    }
    if (rule.remaining > 0) --rule.remaining;
    return &rule;
  }
  return nullptr;
}

std::uint8_t Instrument::NextNoise() {
  noise_ ^= noise_ << 13;
  noise_ ^= noise_ >> 17;
  noise_ ^= noise_ << 5;
  return static_cast<std::uint8_t>(noise_ >> 24);
}

Outcome Instrument::Control(std::uint32_t code, const std::uint8_t* input,
                            std::uint32_t inputLength, std::uint8_t* output,
                            std::uint32_t outputCapacity, std::uint32_t& returned) {
  returned = 0;
  Advance();
  if (link_ != LinkState::Present) return Outcome::Failed;
  const bool identify = code == device::IOCTL_DEVICE_IDENTIFY;
  if (!identify && code != device::IOCTL_DEVICE_COMMAND) return Outcome::Failed;
  if (!identify && (inputLength == 0 || inputLength > device::MAX_COMMAND_SIZE)) {
    return Outcome::Failed;
  }

  const FaultRule* fault = MatchFault(input, inputLength, identify);
  const FaultKind kind = fault != nullptr ? fault->kind : FaultKind::Refuse;
  if (fault != nullptr) {
    switch (kind) {
      case FaultKind::Silent:
        return Outcome::Silent;
      case FaultKind::DropLink:
        DropLink();
        return Outcome::Dropped;
      case FaultKind::Refuse:
        if (identify) return Outcome::Failed;
        if (outputCapacity > 0) output[returned++] = REPLY_REFUSED;
        return Outcome::Replied;
      case FaultKind::StayBusy: {
        if (identify) return Outcome::Failed;
        Reply reply;
        StartBusy(Completion::None, 0, reply);
        pending_.doneAtMs = kNever;
        if (outputCapacity > 0) output[returned++] = REPLY_BUSY;
        return Outcome::Replied;
      }
      case FaultKind::Short:
      case FaultKind::Garbage:
        break;  // the command runs; its reply is spoilt below
    }
  }

  if (identify) {
    (void)Identify(output, outputCapacity, returned);
  } else {
    Reply reply;
    Command(input, inputLength, reply);
    returned = std::min(reply.size, outputCapacity);
    if (returned > 0) std::memcpy(output, reply.bytes.data(), returned);
  }

  if (fault != nullptr && kind == FaultKind::Short && returned > 0) --returned;
  if (fault != nullptr && kind == FaultKind::Garbage) {
    if (returned == 0) returned = std::min<std::uint32_t>(outputCapacity, 4);
    for (std::uint32_t i = 0; i < returned; ++i) output[i] = NextNoise();
  }
  // A delivered image check result restarts the instrument right after this reply.
  if (rebootArmed_ && !pending_.active) StartReboot();
  return Outcome::Replied;
}

Outcome Instrument::Identify(std::uint8_t* output, std::uint32_t capacity,
                             std::uint32_t& returned) {
  std::vector<std::uint8_t> text;
  text.push_back(kIdentifyLeadByte);
  text.insert(text.end(), config_.description.begin(), config_.description.end());
  text.push_back(0);
  returned = std::min<std::uint32_t>(capacity, static_cast<std::uint32_t>(text.size()));
  if (returned > 0) std::memcpy(output, text.data(), returned);
  return Outcome::Replied;
}

void Instrument::Command(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  if (upload_ != Upload::None) {
    ImageData(in, length, reply);
    return;
  }
  // While a slow operation runs, only the main controller's own queries are answered, and the
  // inputs controller can always be told to leave its modes.
  const bool leave =
      length == 2 && in[0] == device::CMD_ICTRL_LEAVE[0] && in[1] == device::CMD_ICTRL_LEAVE[1];
  if (Busy() && in[0] != device::GROUP_DEVICE && !leave) {
    reply.Set({REPLY_REFUSED});
    return;
  }
  switch (in[0]) {
    case device::GROUP_DEVICE:
      DeviceGroup(in, length, reply);
      return;
    case device::GROUP_CROSSBAR:
      CrossbarGroup(in, length, reply);
      return;
    case device::GROUP_ICTRL:
      IctrlGroup(in, length, reply);
      return;
    case device::GROUP_EXT:
      ExtGroup(in, length, reply);
      return;
    case device::GROUP_APP_UPLOAD: {
      if (length != 4) break;
      const std::uint32_t size = in[1] | (in[2] << 8) | (in[3] << 16);
      if (size == 0) break;
      upload_ = Upload::GeneralApp;
      receiver_.Start(size);
      pending_ = PendingOp{};
      reply.Set({REPLY_OK});
      return;
    }
    default:
      break;
  }
  reply.Set({REPLY_REFUSED});
}

// Every request during an upload is raw image data, up to the announced size.
void Instrument::ImageData(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  const std::size_t taken = receiver_.Feed({in, length});
  if (taken < length) {
    // More data than announced: the transfer is out of step, so it is abandoned.
    upload_ = Upload::None;
    reply.Set({REPLY_REFUSED});
    return;
  }
  if (!receiver_.Complete()) {
    reply.Set({REPLY_OK});
    return;
  }
  const bool generalApp = upload_ == Upload::GeneralApp;
  upload_ = Upload::None;
  if (generalApp) {
    StartBusy(Completion::AppImageCheck, config_.timing.appImageCheckMs, reply);
  } else {
    StartBusy(Completion::IctrlBurn, config_.timing.ictrlBurnMs, reply);
  }
}

void Instrument::DeviceGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  if (length < 2) {
    reply.Set({REPLY_REFUSED});
    return;
  }
  switch (in[1]) {
    case device::CMD_READ_VERSIONS[1]: {
      const std::uint8_t all[4] = {static_cast<std::uint8_t>(config_.generalAppVersion & 0xFF),
                                   static_cast<std::uint8_t>(config_.generalAppVersion >> 8),
                                   static_cast<std::uint8_t>(config_.hwVersion & 0xFF),
                                   static_cast<std::uint8_t>(config_.hwVersion >> 8)};
      reply.size = std::clamp<std::uint32_t>(config_.versionsReplySize, 2, 4);
      std::memcpy(reply.bytes.data(), all, reply.size);
      return;
    }
    case device::CMD_READ_UID[1]:
      std::memcpy(reply.bytes.data(), config_.uid.data(), config_.uid.size());
      reply.size = static_cast<std::uint32_t>(config_.uid.size());
      return;
    case device::CMD_STATUS_POLL[1]:
      StatusPoll(reply);
      return;
    case device::CMD_READ_INPUT_EVENTS[1]:
      ReadInputEvents(reply);
      return;
    default:
      reply.Set({REPLY_REFUSED});
      return;
  }
}

void Instrument::StatusPoll(Reply& reply) {
  if (!pending_.active) {
    reply.Set({REPLY_OK});
    return;
  }
  if (!pending_.finished) {
    reply.Set({REPLY_BUSY});
    return;
  }
  reply = pending_.result;
  pending_.active = false;
}

void Instrument::GenerateInputEvents() {
  if (!monitoring_ || config_.timing.inputEventIntervalMs == 0) return;
  while (nowMs_ >= lastEventAtMs_ + config_.timing.inputEventIntervalMs) {
    lastEventAtMs_ += config_.timing.inputEventIntervalMs;
    // Every kind of event word in turn, on a wandering channel with a wandering value.
    const std::uint32_t n = eventCounter_++;
    const std::uint16_t channel = static_cast<std::uint16_t>(((n * 3) % 8) << 12);
    const std::uint16_t value = static_cast<std::uint16_t>((n * 37 + 5) & 0x3FF);
    std::uint16_t word = 0;
    switch (n % 6) {
      case 0:  // ID device reading: bit 15, 12 bits of value
        word = static_cast<std::uint16_t>(0x8000 | channel | ((n * 149 + 0x123) & 0xFFF));
        break;
      case 1:  // counter reading
        word = static_cast<std::uint16_t>(channel | 0x0400 | value);
        break;
      case 2:  // frequency reading
        word = static_cast<std::uint16_t>(channel | 0x0800 | value);
        break;
      case 3:  // other reading
        word = static_cast<std::uint16_t>(channel | 0x0C00 | value);
        break;
      case 4:  // digital input: bit 8, value in bits 0-7 and 9
        word = static_cast<std::uint16_t>(channel | 0x0100 | (value & 0x2FF));
        break;
      default:  // plain reading without a tag; never the all-zero "no event" word
        word = static_cast<std::uint16_t>(channel | (value & 0x2FF));
        if (word == 0) word = 1;
        break;
    }
    if (inputEvents_.size() == kInputEventQueueSize) inputEvents_.pop_front();
    inputEvents_.push_back(word);
  }
}

void Instrument::ReadInputEvents(Reply& reply) {
  reply.size = 0;
  while (!inputEvents_.empty() && reply.size + 2 <= reply.bytes.size()) {
    const std::uint16_t word = inputEvents_.front();
    inputEvents_.pop_front();
    reply.bytes[reply.size++] = static_cast<std::uint8_t>(word & 0xFF);
    reply.bytes[reply.size++] = static_cast<std::uint8_t>(word >> 8);
  }
  if (reply.size == 0) reply.Set({0x00, 0x00});
}

void Instrument::CrossbarGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  const bool wasOff = crossbar_ == Crossbar::Off;
  if (length == 2 && in[1] == device::CMD_CROSSBAR_POWER_ON[1]) {
    crossbar_ = Crossbar::On;
  } else if (length == 2 && in[1] == device::CMD_CROSSBAR_POWER_ID_DEV[1]) {
    crossbar_ = Crossbar::IdDev;
  } else if (length == 2 && in[1] == device::CMD_CROSSBAR_POWER_OFF[1]) {
    crossbar_ = Crossbar::Off;
  } else if (length == 3 && in[1] == device::CMD_CROSSBAR_POWER_MODE_END[1] &&
             in[2] == device::CMD_CROSSBAR_POWER_MODE_END[2]) {
    // The end of an external exchange: power off and back to normal measuring.
    crossbar_ = Crossbar::Off;
    extExchange_ = false;
  } else {
    reply.Set({REPLY_REFUSED});
    return;
  }
  if (crossbar_ == Crossbar::Off) relayState_ = 0;
  // The fault counters count from the moment the crossbar was powered.
  if (wasOff && crossbar_ != Crossbar::Off) countersSinceMs_ = nowMs_;
  reply.Set({REPLY_OK});
}

void Instrument::IctrlGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  const std::uint8_t function = length >= 2 ? in[1] : 0xFF;
  switch (function) {
    case device::CMD_ICTRL_LEAVE[1]:
      ictrlMode_ = IctrlMode::Left;
      ictrlLeftAtMs_ = nowMs_;
      monitoring_ = false;
      inputEvents_.clear();
      reply.Set({REPLY_OK});
      return;
    case device::CMD_ICTRL_ENTER[1]:
      // The command mode can only be entered from a controller that was told to leave, and
      // only once it has settled.
      if (length == 2 && ictrlMode_ == IctrlMode::Left &&
          nowMs_ >= ictrlLeftAtMs_ + config_.timing.ictrlLeaveSettleMs) {
        ictrlMode_ = IctrlMode::Command;
        reply.Set({REPLY_OK});
        return;
      }
      break;
    case device::CMD_ICTRL_PASSTHROUGH[1]:
      IctrlPassThrough(in, length, reply);
      return;
    case device::CMD_ICTRL_RECALIBRATE[1]:
      if (length != 2) break;
      StartBusy(Completion::None, config_.timing.ictrlRecalibrateMs, reply);
      return;
    case device::CMD_ICTRL_UPLOAD_START: {
      if (length != 4 || ictrlMode_ != IctrlMode::Command) break;
      const std::uint32_t size = in[2] | (in[3] << 8);
      if (size == 0) break;
      upload_ = Upload::InputsCtrl;
      receiver_.Start(size);
      pending_ = PendingOp{};
      reply.Set({REPLY_OK});
      return;
    }
    case device::CMD_ICTRL_EXCHANGE[1]:
      if (length != 2) break;
      ictrlMode_ = IctrlMode::Exchange;
      reply.Set({REPLY_OK});
      return;
    default:
      break;
  }
  reply.Set({REPLY_REFUSED});
}

void Instrument::IctrlPassThrough(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  if (length < 3 || (ictrlMode_ != IctrlMode::Command && ictrlMode_ != IctrlMode::Exchange)) {
    reply.Set({REPLY_REFUSED});
    return;
  }
  const std::uint8_t sub = in[2];
  if (sub == device::CMD_ICTRL_READ_VERSION[2]) {
    StartBusy(Completion::IctrlVersion, config_.timing.ictrlVersionBusyMs, reply);
    return;
  }
  if (sub == device::CMD_ICTRL_MONITOR_START[2]) {
    if (length != 4) {
      reply.Set({REPLY_REFUSED});
    } else if (in[3] == device::CMD_ICTRL_MONITOR_START[3]) {
      monitoring_ = true;
      inputEvents_.clear();
      lastEventAtMs_ = nowMs_;
      reply.Set({REPLY_OK});
    } else if (in[3] == device::CMD_ICTRL_MONITOR_STOP[3]) {
      monitoring_ = false;
      inputEvents_.clear();
      reply.Set({REPLY_OK});
    } else {
      reply.Set({REPLY_REFUSED});
    }
    return;
  }
  if (sub == device::CMD_ICTRL_ID_DEV) {
    // An ID device answers through the inputs controller after a short exchange.
    StartBusy(Completion::None, config_.timing.ictrlIdDevBusyMs, reply);
    return;
  }
  // Anything else the inputs controller takes as given.
  reply.Set({REPLY_OK});
}

void Instrument::ExtGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  const std::uint8_t function = length >= 2 ? in[1] : 0xFF;
  if (function == device::CMD_EXT_EXCHANGE) {
    const std::uint16_t rate = static_cast<std::uint16_t>(length == 6 ? in[2] | (in[3] << 8) : 0);
    // The older general application drives the external interface at the slow rate only.
    const bool rateSupported =
        rate != 0 && (rate <= kSlowRate || config_.generalAppVersion >= kFastRateFromVersion);
    if (length != 6 || in[4] != 0x02 || in[5] != 0x00 || !rateSupported) {
      reply.Set({REPLY_REFUSED});
      return;
    }
    extExchange_ = true;
    extRate_ = rate;
    reply.Set({REPLY_OK});
    return;
  }
  if (!extExchange_) {
    reply.Set({REPLY_REFUSED});
    return;
  }
  if (function == device::CMD_EXT_PASSTHROUGH[1] && length >= 3) {
    ExtControllerCommand(in, length, reply);
    return;
  }
  if (function == device::CMD_RELAY_READ[1] && length == 2) {
    RelayRead(reply);
    return;
  }
  if (function == device::CMD_RELAY_READ[1] && length == 3 &&
      in[2] == device::CMD_EXT_CALIBRATION_POLL[2]) {
    if (!calibrationRunning_) {
      reply.Set({REPLY_LAST});
    } else if (nowMs_ < calibrationDoneAtMs_) {
      reply.Set({REPLY_OK});
    } else {
      reply.Set({REPLY_LAST, 0x55, 0xAA, 0x00});
    }
    return;
  }
  if (function == device::CMD_EXT_CALIBRATION_START[1] && length == 3) {
    if (in[2] == device::CMD_EXT_CALIBRATION_START[2]) {
      calibrationRunning_ = true;
      calibrationDoneAtMs_ = nowMs_ + config_.timing.extCalibrationMs;
      reply.Set({REPLY_OK});
      return;
    }
    if (in[2] == device::CMD_EXT_CALIBRATION_STOP[2]) {
      calibrationRunning_ = false;
      reply.Set({REPLY_OK});
      return;
    }
  }
  reply.Set({REPLY_REFUSED});
}

void Instrument::ExtControllerCommand(const std::uint8_t* in, std::uint32_t length, Reply& reply) {
  const std::uint8_t command = in[2];
  const std::uint64_t readyAt = nowMs_ + config_.timing.extAnswerDelayMs;
  if (command == kExtRelaySwitch && length == 4) {
    // The relays take a moment to settle; the controller answers once they have.
    relayAnswerPending_ = false;
    StartBusy(Completion::RelaySwitch, config_.timing.relaySwitchMs, reply);
    pending_.relayState = in[3];
    return;
  }
  if (command == kExtStatus || command == kExtStatusClear) {
    SetRelayAnswer(ExtStatus(), readyAt);
    if (command == kExtStatusClear) {
      countersSinceMs_ = nowMs_;
      statusQueries_ = 0;
    }
  } else if (command == EXT_INFO) {
    SetRelayAnswer({std::begin(kExtInfoText), std::end(kExtInfoText) - 1}, readyAt);
  } else {
    SetRelayAnswer({EXT_ANSWER_NAK, command}, readyAt);
  }
  reply.Set({REPLY_OK});
}

std::vector<std::uint8_t> Instrument::ExtStatus() {
  ++statusQueries_;
  if (crossbar_ == Crossbar::Off) return {EXT_STATUS_POWER_OFF};
  const std::uint64_t powered = nowMs_ - countersSinceMs_;
  std::uint8_t status = kExtStatusPowered;
  if (relayState_ != 0) status |= kExtStatusRelaysOn;
  if (calibrationRunning_) status |= kExtStatusCalibrating;
  const std::uint8_t supply =
      static_cast<std::uint8_t>(kSupplyReading - 2 + (nowMs_ / kSupplyWanderPeriodMs) % 5);
  return {status,
          static_cast<std::uint8_t>(std::popcount(relayState_)),
          supply,
          Saturate(powered / kLineFaultPeriodMs),
          Saturate(statusQueries_),
          Saturate(powered / kVoltageFaultPeriodMs),
          Saturate(powered / kFeedbackFaultPeriodMs)};
}

void Instrument::SetRelayAnswer(std::vector<std::uint8_t> answer, std::uint64_t readyAtMs) {
  relayAnswer_ = std::move(answer);
  relayAnswerOffset_ = 0;
  relayAnswerPending_ = true;
  relayAnswerReadyAtMs_ = readyAtMs;
}

void Instrument::RelayRead(Reply& reply) {
  if (!relayAnswerPending_) {
    reply.Set({REPLY_LAST});
    return;
  }
  if (nowMs_ < relayAnswerReadyAtMs_) {
    reply.Set({REPLY_OK});
    return;
  }
  const std::size_t left = relayAnswer_.size() - relayAnswerOffset_;
  const std::size_t piece = std::min(left, kRelayFragmentSize);
  const bool last = piece == left;
  reply.bytes[0] = last ? REPLY_LAST : REPLY_OK;
  std::memcpy(reply.bytes.data() + 1, relayAnswer_.data() + relayAnswerOffset_, piece);
  reply.size = static_cast<std::uint32_t>(1 + piece);
  relayAnswerOffset_ += piece;
  if (last) relayAnswerPending_ = false;
}

}  // namespace sim
