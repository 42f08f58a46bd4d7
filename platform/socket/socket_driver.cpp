#include "platform/socket/socket_driver.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

using endpoint::REPLY_HEADER_SIZE;
using endpoint::REQUEST_HEADER_SIZE;

timeval ToTimeval(std::uint64_t ms) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  // A zero timeout would mean "wait for ever" to the kernel.
  if (tv.tv_sec == 0 && tv.tv_usec == 0) tv.tv_usec = 1;
  return tv;
}

}  // namespace

SocketDriver::SocketDriver(std::string directory, std::uint32_t replyTimeoutMs)
    : directory_(std::move(directory)), replyTimeoutMs_(replyTimeoutMs) {}

SocketDriver::~SocketDriver() {
  for (const auto& [fd, broken] : connections_) ::close(fd);
}

bool SocketDriver::BeginEnumeration() {
  if (!endpoint::PrepareDevicesDirectory(directory_)) return false;
  return endpoint::ListInstrumentSockets(directory_, snapshot_);
}

EnumResult SocketDriver::InterfacePath(std::uint32_t index, std::string& path) {
  if (index >= snapshot_.size()) return EnumResult::NoMoreItems;
  path = snapshot_[index];
  return EnumResult::Found;
}

void SocketDriver::EndEnumeration() {
  snapshot_.clear();
}

bool SocketDriver::SetReceiveTimeout(int fd, std::uint64_t ms) {
  const timeval tv = ToTimeval(ms);
  return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

DeviceHandle SocketDriver::Open(const std::string& path) {
  sockaddr_un address{};
  if (!endpoint::FillAddress(path, address)) return kInvalidHandle;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidHandle;
  const timeval tv = ToTimeval(replyTimeoutMs_);
  bool opened = ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0 &&
                SetReceiveTimeout(fd, replyTimeoutMs_) &&
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  // The instrument answers the connection with one byte: opened, or held by another client.
  std::uint8_t answer = endpoint::OPEN_REFUSED;
  while (opened) {
    const ssize_t n = ::recv(fd, &answer, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    opened = n == 1 && answer == endpoint::OPEN_ACCEPTED;
    break;
  }
  if (!opened) {
    ::close(fd);
    return kInvalidHandle;
  }
  connections_[fd] = false;
  return fd;
}

void SocketDriver::Break(int fd) {
  // Whatever the instrument sends late must not be taken for the reply to a later request.
  ::shutdown(fd, SHUT_RDWR);
  connections_[fd] = true;
}

bool SocketDriver::SendAll(int fd, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SocketDriver::ReceiveReply(int fd, std::uint32_t outputCapacity, std::uint32_t& ok,
                                std::uint32_t& returned) {
  // One byte more than the largest valid reply, so that a reply running over is noticed.
  const std::size_t room = REPLY_HEADER_SIZE + outputCapacity + 1;
  if (reply_.size() < room) reply_.resize(room);
  const std::uint64_t deadline = clock_.NowMs() + replyTimeoutMs_;
  std::size_t have = 0;
  std::size_t need = REPLY_HEADER_SIZE;
  bool timeoutShortened = false;
  while (have < need) {
    const ssize_t n = ::recv(fd, reply_.data() + have, room - have, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // closed, reset, or no reply within the limit
    have += static_cast<std::size_t>(n);
    if (have >= REPLY_HEADER_SIZE && need == REPLY_HEADER_SIZE) {
      ok = endpoint::GetU32(reply_.data());
      returned = endpoint::GetU32(reply_.data() + 4);
      if (ok > 1 || returned > outputCapacity || (ok == 0 && returned != 0)) return false;
      need = REPLY_HEADER_SIZE + returned;
    }
    if (have < need) {
      // A reply in pieces: the rest must come within what is left of the limit.
      const std::uint64_t now = clock_.NowMs();
      if (now >= deadline || !SetReceiveTimeout(fd, deadline - now)) return false;
      timeoutShortened = true;
    }
  }
  if (timeoutShortened && !SetReceiveTimeout(fd, replyTimeoutMs_)) return false;
  return have == need;
}

bool SocketDriver::Control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                           std::uint32_t inputLength, std::uint8_t* output,
                           std::uint32_t outputCapacity, std::uint32_t& returned) {
  returned = 0;
  const int fd = static_cast<int>(handle);
  const auto it = connections_.find(fd);
  if (it == connections_.end() || it->second) return false;
  // Frames outside the limits are never sent; the instrument would drop the connection.
  if (inputLength > endpoint::MAX_FRAME_BYTES || outputCapacity > endpoint::MAX_FRAME_BYTES ||
      (inputLength > 0 && input == nullptr) || (outputCapacity > 0 && output == nullptr)) {
    return false;
  }
  frame_.resize(REQUEST_HEADER_SIZE + inputLength);
  endpoint::PutU32(frame_.data(), code);
  endpoint::PutU32(frame_.data() + 4, inputLength);
  endpoint::PutU32(frame_.data() + 8, outputCapacity);
  if (inputLength > 0) std::memcpy(frame_.data() + REQUEST_HEADER_SIZE, input, inputLength);

  std::uint32_t ok = 0;
  std::uint32_t count = 0;
  if (!SendAll(fd, frame_.data(), frame_.size()) || !ReceiveReply(fd, outputCapacity, ok, count)) {
    Break(fd);
    return false;
  }
  if (ok != 1) return false;
  if (count > 0) std::memcpy(output, reply_.data() + REPLY_HEADER_SIZE, count);
  returned = count;
  return true;
}

void SocketDriver::Close(DeviceHandle handle) {
  const int fd = static_cast<int>(handle);
  const auto it = connections_.find(fd);
  if (it == connections_.end()) return;
  connections_.erase(it);
  ::close(fd);
}

}  // namespace platform
