#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/firmware_image.h"

// The simulated instrument: the main controller with its inputs controller and the external
// interface controller behind it, answering the driver's identify and command requests. It
// keeps no thread and reads no clock of its own: every request looks at the injected clock and
// brings the instrument's state up to that moment first.
namespace sim {

// The status byte with which the main controller refuses a command it cannot take now (wrong
// mode, unknown command, busy with something else).
constexpr std::uint8_t REPLY_REFUSED = 0xEE;
// The external controller's answer to a command it does not know: NAK and the command byte.
constexpr std::uint8_t EXT_ANSWER_NAK = 0x15;
// The external controller's status byte while the crossbar is unpowered.
constexpr std::uint8_t EXT_STATUS_POWER_OFF = 0x50;
// The external controller's information command; its answer spans several relay fragments.
constexpr std::uint8_t EXT_INFO = 0x49;

constexpr std::uint16_t DEFAULT_GENERAL_APP_VERSION = 0x0122;  // 1.34
constexpr std::uint16_t DEFAULT_INPUTS_CTRL_VERSION = 0x0102;  // 1.02
constexpr std::uint16_t DEFAULT_HW_VERSION = 3;
constexpr const char* DEFAULT_DESCRIPTION = "Veltra measuring instrument driver V4.07";
// Bytes 0-3 a serial number (0x00012345), byte 4 a batch, bytes 5-11 a printable lot name.
constexpr std::array<std::uint8_t, 12> DEFAULT_UID{0x45, 0x23, 0x01, 0x00, 0x03, 'V',
                                                   'S',  'I',  'M',  '0',  '0',  '1'};

// How long the instrument takes for each slow thing. The defaults end well inside the waits of
// the tool: the image check within 4 polls of 50 ms, the burning within 100 polls of 50 ms, the
// inputs-controller version within 60 ms of 20 ms polls, the relay answers within the relay
// read tries, and the reboot after the tool's 300 ms pause but within its 20 attempts.
struct InstrumentTiming {
  std::uint32_t appImageCheckMs = 120;
  std::uint32_t rebootMs = 400;
  // A checked image whose result nobody polls restarts the instrument after this time anyway.
  std::uint32_t rebootGraceMs = 1000;
  // After leaving its command mode the inputs controller needs this long before it can enter.
  std::uint32_t ictrlLeaveSettleMs = 10;
  std::uint32_t ictrlVersionBusyMs = 30;
  std::uint32_t ictrlBurnMs = 1200;
  std::uint32_t ictrlRecalibrateMs = 80;
  std::uint32_t ictrlIdDevBusyMs = 20;
  std::uint32_t inputEventIntervalMs = 35;
  std::uint32_t extAnswerDelayMs = 5;
  std::uint32_t relaySwitchMs = 30;
  std::uint32_t extCalibrationMs = 20;
};

struct InstrumentConfig {
  std::string name = "sim0";
  std::string description = DEFAULT_DESCRIPTION;
  std::uint16_t generalAppVersion = DEFAULT_GENERAL_APP_VERSION;
  std::uint16_t inputsCtrlVersion = DEFAULT_INPUTS_CTRL_VERSION;
  std::uint16_t hwVersion = DEFAULT_HW_VERSION;
  // CMD_READ_VERSIONS answers 2 (application only), 3 or 4 bytes.
  std::uint32_t versionsReplySize = 4;
  std::array<std::uint8_t, 12> uid = DEFAULT_UID;
  InstrumentTiming timing;
};

enum class FaultKind {
  Refuse,    // answer REPLY_REFUSED and do nothing
  StayBusy,  // answer REPLY_BUSY, and every status poll after it too
  Short,     // do the command, but return one reply byte less
  Garbage,   // do the command, but return noise instead of the reply
  DropLink,  // fail the request and drop the link; the instrument stays present
  Silent,    // never answer the request
};

struct FaultRule {
  FaultKind kind = FaultKind::Refuse;
  // The command bytes a request must start with; empty hits every command request, image
  // data included. Prefix rules do not look at image data.
  std::vector<std::uint8_t> prefix;
  // Hits the identify request instead of command requests.
  bool identify = false;
  // How many more requests it hits; negative: all of them.
  std::int32_t remaining = -1;
};

// What became of one request.
enum class Outcome {
  Replied,  // success with `returned` reply bytes
  Failed,   // the request failed
  Silent,   // no answer ever comes
  Dropped,  // the link dropped during the request
};

enum class LinkState { Present, Unplugged, Rebooting, Gone };

class Instrument {
 public:
  Instrument(platform::Clock& clock, InstrumentConfig config);

  // One request of the driver: identify or command, by control code.
  [[nodiscard]] Outcome Control(std::uint32_t code, const std::uint8_t* input,
                                std::uint32_t inputLength, std::uint8_t* output,
                                std::uint32_t outputCapacity, std::uint32_t& returned);

  // Whether the instrument is on the bus now; brings a finished reboot to an end.
  [[nodiscard]] bool IsPresent();
  [[nodiscard]] LinkState linkState();
  // Changes every time the link drops, so that a front end knows its client's link is gone.
  [[nodiscard]] std::uint32_t linkGeneration() const { return linkGeneration_; }
  // The host closed its handle. A checked image restarts the instrument at this point.
  void HostClosed();

  // Lifecycle on demand.
  void Unplug();
  void Plug();
  void Reboot();
  void SetNeverReturn(bool neverReturn) { neverReturn_ = neverReturn; }
  void SetUid(const std::array<std::uint8_t, 12>& uid) { config_.uid = uid; }

  void AddFault(FaultRule rule) { faults_.push_back(std::move(rule)); }
  // Removes every fault and ends a busy phase that a fault made endless.
  void ClearFaults();

  [[nodiscard]] const InstrumentConfig& config() const { return config_; }
  InstrumentConfig& config() { return config_; }
  [[nodiscard]] std::uint8_t relayState() const { return relayState_; }
  [[nodiscard]] bool monitoring() const { return monitoring_; }
  [[nodiscard]] std::uint16_t extRate() const { return extExchange_ ? extRate_ : 0; }

 private:
  struct Reply {
    std::array<std::uint8_t, 32> bytes{};
    std::uint32_t size = 0;
    void Set(std::initializer_list<std::uint8_t> values);
  };
  enum class IctrlMode { Running, Left, Command, Exchange };
  enum class Upload { None, GeneralApp, InputsCtrl };
  enum class Crossbar { Off, On, IdDev };
  enum class Completion { None, AppImageCheck, IctrlBurn, IctrlVersion, RelaySwitch };
  struct PendingOp {
    bool active = false;    // a result waits for a status poll
    bool finished = false;  // the work is done, its effects applied
    std::uint64_t doneAtMs = 0;
    Completion completion = Completion::None;
    Reply result;
    std::uint8_t relayState = 0;
  };

  void Advance();
  void ResetRunState();
  void DropLink();
  void StartReboot();
  void Finish(PendingOp& op);
  void StartBusy(Completion completion, std::uint32_t durationMs, Reply& reply);
  [[nodiscard]] bool Busy() const;
  FaultRule* MatchFault(const std::uint8_t* input, std::uint32_t length, bool identify);

  Outcome Identify(std::uint8_t* output, std::uint32_t capacity, std::uint32_t& returned);
  void Command(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void ImageData(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void DeviceGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void StatusPoll(Reply& reply);
  void ReadInputEvents(Reply& reply);
  void CrossbarGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void IctrlGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void IctrlPassThrough(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void ExtGroup(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void ExtControllerCommand(const std::uint8_t* in, std::uint32_t length, Reply& reply);
  void RelayRead(Reply& reply);
  void SetRelayAnswer(std::vector<std::uint8_t> answer, std::uint64_t readyAtMs);
  std::vector<std::uint8_t> ExtStatus();
  void GenerateInputEvents();
  std::uint8_t NextNoise();

  platform::Clock& clock_;
  InstrumentConfig config_;
  std::uint64_t nowMs_ = 0;

  LinkState link_ = LinkState::Present;
  std::uint32_t linkGeneration_ = 0;
  std::uint64_t rebootEndsAtMs_ = 0;
  bool neverReturn_ = false;
  bool rebootArmed_ = false;
  std::uint64_t rebootArmedAtMs_ = 0;
  std::uint16_t stagedAppVersion_ = 0;
  bool stagedAppVersionValid_ = false;

  std::vector<FaultRule> faults_;
  std::uint32_t noise_ = 0x2545F491u;

  PendingOp pending_;
  Upload upload_ = Upload::None;
  FirmwareReceiver receiver_;

  IctrlMode ictrlMode_ = IctrlMode::Running;
  std::uint64_t ictrlLeftAtMs_ = 0;
  bool monitoring_ = false;
  std::uint64_t lastEventAtMs_ = 0;
  std::uint32_t eventCounter_ = 0;
  std::deque<std::uint16_t> inputEvents_;

  Crossbar crossbar_ = Crossbar::Off;
  bool extExchange_ = false;
  std::uint16_t extRate_ = 0;
  std::uint8_t relayState_ = 0;
  std::vector<std::uint8_t> relayAnswer_;
  std::size_t relayAnswerOffset_ = 0;
  bool relayAnswerPending_ = false;
  std::uint64_t relayAnswerReadyAtMs_ = 0;
  bool calibrationRunning_ = false;
  std::uint64_t calibrationDoneAtMs_ = 0;
  std::uint64_t countersSinceMs_ = 0;
  std::uint32_t statusQueries_ = 0;
};

}  // namespace sim
