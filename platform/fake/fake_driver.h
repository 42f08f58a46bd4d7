#pragma once

// The driver port's backend for unit tests: a set of pretend instruments whose identify replies,
// opens and enumeration are set by the test, scripted replies to command requests, a log of every
// request, and faults on demand.
//
// A typical test scripts the exchange it expects, request by request, and checks afterwards that
// nothing else happened:
//
//   platform::fake::FakeDriver driver;
//   driver.AddDevice("dev0", "Meter driver V4.05");
//   driver.Expect({0x07, 0x01}).Answer({0xAA});       // or driver.Expect("07 01").Answer("AA")
//   driver.Expect(device::CMD_STATUS_POLL).Capacity(4).Answer("AA 34 12");
//   ... run the code under test ...
//   EXPECT_EQ(driver.CommandLog(), (std::vector<std::string>{"07 01", "03 04"}));
//   EXPECT_EQ(driver.Problems(), "");
//
// Commands that are asked again and again get a standing answer instead:
//
//   driver.Always("03 04", "A0");                      // the status poll always answers busy
//
// How a command request (any code but IOCTL_DEVICE_IDENTIFY) is answered, first match wins:
//   1. the first expectation still waiting, when code, input and (if given) capacity match;
//      it is then used up;
//   2. the standing answers and responders, the most recently added first;
//   3. otherwise the request is unexpected: it fails, a line is added to Problems(), and
//      onUnexpected is called (a test can set it to ADD_FAILURE).
// A fault set for the request's number (FailRequest, ShortenRequest) then changes the answer.
// Identify requests are answered by the device the handle belongs to (FakeDevice::identify).
// Replies longer than the request's output capacity are cut to the capacity. Output bytes past
// the returned count are left as the caller had them, as with a real buffered request.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/protocol.h"
#include "platform/clock.h"
#include "platform/driver.h"

namespace platform::fake {

// A byte string that can be written as a braced list, as hex text ("07 02 1F") or as one of the
// protocol's command arrays. Hex text is pairs of hex digits, blanks between them optional; a
// malformed text makes `valid` false, and the driver reports it in Problems() when it is used.
struct Bytes {
  std::vector<std::uint8_t> data;
  bool valid = true;

  Bytes() = default;
  Bytes(std::initializer_list<std::uint8_t> list) : data(list) {}
  Bytes(const char* hex);  // NOLINT: implicit on purpose, for readable scripts
  Bytes(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {}
  Bytes(std::span<const std::uint8_t> bytes) : data(bytes.begin(), bytes.end()) {}
  template <std::size_t N>
  Bytes(const std::array<std::uint8_t, N>& bytes) : data(bytes.begin(), bytes.end()) {}
};

// "07 02 1F 0A FF": upper-case hex pairs separated by one blank; "" for no bytes.
[[nodiscard]] std::string Hex(std::span<const std::uint8_t> bytes);

// The identify reply of a driver with this description: byte 0 zero, the text from byte 1, and a
// terminating zero.
[[nodiscard]] std::vector<std::uint8_t> IdentifyReplyFor(std::string_view description);

// One control request as the driver received it.
struct Request {
  DeviceHandle handle = kInvalidHandle;
  std::uint32_t code = 0;
  std::vector<std::uint8_t> input;
  std::uint32_t outputCapacity = 0;
  std::uint64_t atMs = 0;  // the clock's time when it was made (0 without a clock)
  bool ok = false;         // what the driver answered
  std::uint32_t returned = 0;

  [[nodiscard]] std::string InputHex() const { return Hex(input); }
};

// A driver's answer: success with these bytes, or failure.
struct Reply {
  bool ok = true;
  std::vector<std::uint8_t> bytes;

  [[nodiscard]] static Reply Answer(Bytes bytes) { return Reply{true, std::move(bytes.data)}; }
  [[nodiscard]] static Reply Failure() { return Reply{false, {}}; }
};

// One expected request and the reply it gets. Build it with the chained setters.
struct Exchange {
  std::uint32_t code = device::IOCTL_DEVICE_COMMAND;
  std::vector<std::uint8_t> input;
  std::optional<std::uint32_t> capacity;  // when set, the request must ask for exactly this
  Reply reply;                            // default: success with no bytes

  Exchange& Answer(Bytes bytes) {
    reply = Reply::Answer(std::move(bytes));
    return *this;
  }
  Exchange& Fail() {
    reply = Reply::Failure();
    return *this;
  }
  Exchange& Capacity(std::uint32_t outputCapacity) {
    capacity = outputCapacity;
    return *this;
  }
};

// A pretend instrument: its device path, what its driver answers to identify, and its faults.
struct FakeDevice {
  std::string path;
  Reply identify;           // the bytes from byte 0 of the 256-byte output, or a failure
  bool refuseOpen = false;  // every open fails
  bool present = true;      // false: unplugged; not enumerated, requests on its handles fail
};

// Faults of the enumeration.
struct EnumerationFaults {
  bool beginFails = false;                  // BeginEnumeration returns false
  std::optional<std::uint32_t> noMoreFrom;  // indexes from this one on say NoMoreItems
  std::set<std::uint32_t> skipAt;           // these indexes say Skip (their device is not seen)
};

class FakeDriver : public Driver {
 public:
  FakeDriver() = default;
  // With a clock, every request records the time it was made (Request::atMs).
  explicit FakeDriver(const Clock& clock) : clock_(&clock) {}

  // --- Devices. Enumeration index i is the i-th present device in the order added. ---------
  // The references stay valid for the driver's life; change their fields at any time.
  FakeDevice& AddDevice(std::string path, std::string_view description);
  FakeDevice& AddDeviceWithReply(std::string path, Reply identify);
  FakeDevice* Find(const std::string& path);

  EnumerationFaults enumerationFaults;

  // --- Scripted command replies. ------------------------------------------------------------
  // Appends an expected request (by default IOCTL_DEVICE_COMMAND with these input bytes).
  Exchange& Expect(Bytes input);
  Exchange& ExpectCode(std::uint32_t code, Bytes input);
  // A standing answer for every request with exactly these input bytes (command code).
  void Always(Bytes input, Bytes reply);
  void AlwaysFail(Bytes input);
  // A general responder: returns the reply, or nothing to leave the request to the next rule.
  using Responder = std::function<std::optional<Reply>(const Request&)>;
  void Respond(Responder responder);
  // Removes every standing answer and responder, and the expectations not yet used.
  void ClearScript();

  // --- Faults by request number (0 = the first request this driver received, of any code). ---
  void FailRequest(std::size_t number);
  void ShortenRequest(std::size_t number, std::uint32_t returnedCount);

  // --- What happened. -------------------------------------------------------------------------
  std::vector<Request> requests;                 // every control request, in order
  std::vector<std::string> openedPaths;          // every open attempt, in order, refused ones too
  std::vector<DeviceHandle> closedHandles;       // every Close, in order
  std::vector<std::uint32_t> enumeratedIndexes;  // every InterfacePath index asked
  int beginCount = 0;
  int endCount = 0;

  // The input bytes of every command request (identify excluded) as hex, in order.
  [[nodiscard]] std::vector<std::string> CommandLog() const;
  // The command requests (identify excluded), in order.
  [[nodiscard]] std::vector<Request> Commands() const;
  // How many command requests had exactly these input bytes.
  [[nodiscard]] int CountCommands(Bytes input) const;
  // Handles open now.
  [[nodiscard]] std::vector<DeviceHandle> OpenHandles() const;
  [[nodiscard]] bool IsOpen(const std::string& path) const;

  // Everything that went against the script: unexpected requests, requests on handles that are
  // not open, closes of such handles, malformed hex, and expectations never used. One line
  // each; "" when all is well.
  [[nodiscard]] std::string Problems() const;
  // Only the lines for requests and closes that went wrong so far (no pending expectations).
  std::vector<std::string> unexpected;
  // Called with each line added to `unexpected`, as it happens.
  std::function<void(const std::string&)> onUnexpected;

  // --- platform::Driver ---------------------------------------------------------------------
  [[nodiscard]] bool BeginEnumeration() override;
  [[nodiscard]] EnumResult InterfacePath(std::uint32_t index, std::string& path) override;
  void EndEnumeration() override;
  [[nodiscard]] DeviceHandle Open(const std::string& path) override;
  [[nodiscard]] bool Control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                             std::uint32_t inputLength, std::uint8_t* output,
                             std::uint32_t outputCapacity, std::uint32_t& returned) override;
  void Close(DeviceHandle handle) override;

 private:
  void Note(std::string line);
  void CheckValid(const Bytes& bytes, const char* where);
  [[nodiscard]] std::optional<Reply> Answer(const Request& request);

  const Clock* clock_ = nullptr;
  std::deque<FakeDevice> devices_;
  std::vector<std::size_t> snapshot_;  // device numbers present at BeginEnumeration
  std::map<DeviceHandle, std::size_t> openHandles_;
  DeviceHandle nextHandle_ = 100;
  std::deque<Exchange> expected_;
  std::vector<Responder> responders_;  // standing answers too; tried newest first
  std::set<std::size_t> failRequests_;
  std::map<std::size_t, std::uint32_t> shortenRequests_;
};

}  // namespace platform::fake
