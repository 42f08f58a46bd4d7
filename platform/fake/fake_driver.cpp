#include "platform/fake/fake_driver.h"

#include <algorithm>
#include <cstdio>

namespace platform::fake {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Describe(std::uint32_t code, std::span<const std::uint8_t> input,
                     std::optional<std::uint32_t> capacity) {
  char head[64];
  if (capacity) {
    std::snprintf(head, sizeof head, "code 0x%06X, capacity %u: ", static_cast<unsigned>(code),
                  static_cast<unsigned>(*capacity));
  } else {
    std::snprintf(head, sizeof head, "code 0x%06X, any capacity: ", static_cast<unsigned>(code));
  }
  return head + (input.empty() ? std::string("(no input)") : Hex(input));
}

std::string Describe(const Request& request) {
  return Describe(request.code, request.input, request.outputCapacity);
}

std::string Describe(const Exchange& exchange) {
  return Describe(exchange.code, exchange.input, exchange.capacity);
}

}  // namespace

Bytes::Bytes(const char* hex) {
  std::string_view text = hex == nullptr ? std::string_view() : std::string_view(hex);
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    const int high = HexDigit(text[i]);
    const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (high < 0 || low < 0) {
      valid = false;
      return;
    }
    data.push_back(static_cast<std::uint8_t>(high * 16 + low));
    i += 2;
  }
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::vector<std::uint8_t> IdentifyReplyFor(std::string_view description) {
  std::vector<std::uint8_t> reply(description.size() + 2, 0x00);
  std::copy(description.begin(), description.end(), reply.begin() + 1);
  return reply;
}

// --- Devices -------------------------------------------------------------------------------

FakeDevice& FakeDriver::AddDevice(std::string path, std::string_view description) {
  return AddDeviceWithReply(std::move(path), Reply::Answer(IdentifyReplyFor(description)));
}

FakeDevice& FakeDriver::AddDeviceWithReply(std::string path, Reply identify) {
  devices_.push_back(FakeDevice{std::move(path), std::move(identify)});
  return devices_.back();
}

FakeDevice* FakeDriver::Find(const std::string& path) {
  for (auto& device : devices_) {
    if (device.path == path) return &device;
  }
  return nullptr;
}

// --- Script ----------------------------------------------------------------------------------

Exchange& FakeDriver::Expect(Bytes input) {
  return ExpectCode(device::IOCTL_DEVICE_COMMAND, std::move(input));
}

Exchange& FakeDriver::ExpectCode(std::uint32_t code, Bytes input) {
  CheckValid(input, "Expect");
  expected_.push_back(Exchange{code, std::move(input.data), std::nullopt, Reply{}});
  return expected_.back();
}

void FakeDriver::Always(Bytes input, Bytes reply) {
  CheckValid(input, "Always");
  CheckValid(reply, "Always");
  Respond([input = std::move(input.data),
           reply = Reply::Answer(std::move(reply))](const Request& r) -> std::optional<Reply> {
    if (r.code != device::IOCTL_DEVICE_COMMAND || r.input != input) return std::nullopt;
    return reply;
  });
}

void FakeDriver::AlwaysFail(Bytes input) {
  CheckValid(input, "AlwaysFail");
  Respond([input = std::move(input.data)](const Request& r) -> std::optional<Reply> {
    if (r.code != device::IOCTL_DEVICE_COMMAND || r.input != input) return std::nullopt;
    return Reply::Failure();
  });
}

void FakeDriver::Respond(Responder responder) {
  responders_.push_back(std::move(responder));
}

void FakeDriver::ClearScript() {
  expected_.clear();
  responders_.clear();
}

void FakeDriver::FailRequest(std::size_t number) {
  failRequests_.insert(number);
}

void FakeDriver::ShortenRequest(std::size_t number, std::uint32_t returnedCount) {
  shortenRequests_[number] = returnedCount;
}

// --- What happened ---------------------------------------------------------------------------

std::vector<Request> FakeDriver::Commands() const {
  std::vector<Request> commands;
  for (const auto& request : requests) {
    if (request.code != device::IOCTL_DEVICE_IDENTIFY) commands.push_back(request);
  }
  return commands;
}

std::vector<std::string> FakeDriver::CommandLog() const {
  std::vector<std::string> log;
  for (const auto& request : Commands()) log.push_back(request.InputHex());
  return log;
}

int FakeDriver::CountCommands(Bytes input) const {
  const auto commands = Commands();
  return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                        [&](const Request& r) { return r.input == input.data; }));
}

std::vector<DeviceHandle> FakeDriver::OpenHandles() const {
  std::vector<DeviceHandle> handles;
  for (const auto& [handle, device] : openHandles_) handles.push_back(handle);
  return handles;
}

bool FakeDriver::IsOpen(const std::string& path) const {
  return std::any_of(openHandles_.begin(), openHandles_.end(),
                     [&](const auto& entry) { return devices_[entry.second].path == path; });
}

std::string FakeDriver::Problems() const {
  std::string text;
  for (const auto& line : unexpected) text += line + "\n";
  for (const auto& exchange : expected_) {
    text += "expected request never made: " + Describe(exchange) + "\n";
  }
  return text;
}

void FakeDriver::Note(std::string line) {
  unexpected.push_back(line);
  if (onUnexpected) onUnexpected(line);
}

void FakeDriver::CheckValid(const Bytes& bytes, const char* where) {
  if (!bytes.valid) Note(std::string("malformed hex text given to ") + where);
}

// --- platform::Driver ------------------------------------------------------------------------

bool FakeDriver::BeginEnumeration() {
  ++beginCount;
  snapshot_.clear();
  if (enumerationFaults.beginFails) return false;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i].present) snapshot_.push_back(i);
  }
  return true;
}

EnumResult FakeDriver::InterfacePath(std::uint32_t index, std::string& path) {
  enumeratedIndexes.push_back(index);
  if (enumerationFaults.noMoreFrom && index >= *enumerationFaults.noMoreFrom) {
    return EnumResult::NoMoreItems;
  }
  if (enumerationFaults.skipAt.count(index) != 0) return EnumResult::Skip;
  if (index >= snapshot_.size()) return EnumResult::NoMoreItems;
  path = devices_[snapshot_[index]].path;
  return EnumResult::Found;
}

void FakeDriver::EndEnumeration() {
  ++endCount;
}

DeviceHandle FakeDriver::Open(const std::string& path) {
  openedPaths.push_back(path);
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    const FakeDevice& device = devices_[i];
    if (device.path != path) continue;
    // The device is opened without sharing: a second open of it fails.
    if (!device.present || device.refuseOpen || IsOpen(path)) return kInvalidHandle;
    const DeviceHandle handle = nextHandle_++;
    openHandles_[handle] = i;
    return handle;
  }
  return kInvalidHandle;
}

bool FakeDriver::Control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                         std::uint32_t inputLength, std::uint8_t* output,
                         std::uint32_t outputCapacity, std::uint32_t& returned) {
  const std::size_t number = requests.size();
  Request request;
  request.handle = handle;
  request.code = code;
  if (input != nullptr) request.input.assign(input, input + inputLength);
  request.outputCapacity = outputCapacity;
  request.atMs = clock_ != nullptr ? clock_->NowMs() : 0;

  std::optional<Reply> reply = Answer(request);
  if (failRequests_.count(number) != 0) reply = Reply::Failure();
  const auto shorten = shortenRequests_.find(number);
  if (reply && reply->ok && shorten != shortenRequests_.end() &&
      shorten->second < reply->bytes.size()) {
    reply->bytes.resize(shorten->second);
  }

  returned = 0;
  request.ok = reply.has_value() && reply->ok;
  if (request.ok) {
    returned =
        std::min<std::uint32_t>(outputCapacity, static_cast<std::uint32_t>(reply->bytes.size()));
    if (output != nullptr)
      std::copy_n(reply->bytes.begin(), returned, output);
    else
      returned = 0;
  }
  request.returned = returned;
  requests.push_back(std::move(request));
  return requests.back().ok;
}

std::optional<Reply> FakeDriver::Answer(const Request& request) {
  const auto open = openHandles_.find(request.handle);
  if (open == openHandles_.end()) {
    Note("request on a handle that is not open: " + Describe(request));
    return std::nullopt;
  }
  const FakeDevice& device = devices_[open->second];
  // An unplugged instrument's handle stays open but every request on it fails.
  if (!device.present) return Reply::Failure();
  if (request.code == device::IOCTL_DEVICE_IDENTIFY) return device.identify;

  if (!expected_.empty()) {
    const Exchange& next = expected_.front();
    if (next.code == request.code && next.input == request.input &&
        (!next.capacity || *next.capacity == request.outputCapacity)) {
      Reply reply = next.reply;
      expected_.pop_front();
      return reply;
    }
  }
  for (auto it = responders_.rbegin(); it != responders_.rend(); ++it) {
    if (auto reply = (*it)(request)) return reply;
  }
  std::string line = "unexpected request: " + Describe(request);
  if (!expected_.empty()) line += "; expected " + Describe(expected_.front());
  Note(std::move(line));
  return std::nullopt;
}

void FakeDriver::Close(DeviceHandle handle) {
  closedHandles.push_back(handle);
  if (openHandles_.erase(handle) == 0) Note("close of a handle that is not open");
}

}  // namespace platform::fake
