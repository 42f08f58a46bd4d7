#include "sim/endpoint_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket/endpoint.h"

namespace sim {
namespace {

namespace ep = platform::endpoint;

constexpr int kListenBacklog = 8;
constexpr std::size_t kReadChunk = 8192;
// The largest frame a client may send: the header and 4096 input bytes.
constexpr std::size_t kMaxRequest = ep::REQUEST_HEADER_SIZE + ep::MAX_FRAME_BYTES;

// Whether a live server answers on `path`: a connection that is accepted.
bool SomeoneServes(const sockaddr_un& address) {
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool live =
      ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return live;
}

}  // namespace

EndpointServer::EndpointServer(Instrument& instrument, std::string socketPath, std::FILE* log)
    : instrument_(instrument), socketPath_(std::move(socketPath)), log_(log) {}

EndpointServer::~EndpointServer() {
  Stop();
}

void EndpointServer::Log(const char* what) {
  if (log_ == nullptr) return;
  std::fprintf(log_, "%s: %s\n", instrument_.config().name.c_str(), what);
  std::fflush(log_);
}

bool EndpointServer::Start(std::string& error) {
  sockaddr_un address{};
  if (!ep::FillAddress(socketPath_, address)) {
    error = "socket path too long: " + socketPath_;
    return false;
  }
  if (SomeoneServes(address)) {
    error = "another program serves " + socketPath_;
    return false;
  }
  ::unlink(socketPath_.c_str());  // a file left by a server that did not end cleanly
  if (instrument_.IsPresent() && !Listen(error)) return false;
  return true;
}

bool EndpointServer::Listen(std::string& error) {
  sockaddr_un address{};
  if (!ep::FillAddress(socketPath_, address)) {
    error = "socket path too long: " + socketPath_;
    return false;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  ::unlink(socketPath_.c_str());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(socketPath_.c_str(), 0600) != 0 || ::listen(fd, kListenBacklog) != 0) {
    error = socketPath_ + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  listen_ = fd;
  ++descriptorGeneration_;
  Log("present");
  return true;
}

void EndpointServer::StopListening() {
  if (listen_ < 0) return;
  ::close(listen_);
  listen_ = -1;
  ++descriptorGeneration_;
  ::unlink(socketPath_.c_str());
  Log("gone");
}

void EndpointServer::Stop() {
  DropClient(false);
  StopListening();
}

void EndpointServer::Sync() {
  const bool present = instrument_.IsPresent();
  // The socket file goes before the client is dropped, so that a client that sees its link
  // drop no longer finds the instrument.
  if (!present) StopListening();
  if (client_ >= 0 && instrument_.linkGeneration() != clientGeneration_) DropClient(false);
  if (!present) return;
  if (listen_ < 0) {
    std::string error;
    if (!Listen(error)) Log(("cannot serve: " + error).c_str());
  }
}

std::size_t EndpointServer::AddPollFds(std::vector<pollfd>& fds) const {
  std::size_t added = 0;
  if (listen_ >= 0) {
    fds.push_back({listen_, POLLIN, 0});
    ++added;
  }
  if (client_ >= 0) {
    const short events = outputSent_ < output_.size() ? POLLOUT : POLLIN;
    fds.push_back({client_, events, 0});
    ++added;
  }
  return added;
}

void EndpointServer::HandleEvents(const pollfd* fds, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    if (fds[i].fd == listen_) {
      Accept();
    } else if (fds[i].fd == client_) {
      if ((fds[i].revents & POLLOUT) != 0) FlushOutput();
      if (client_ >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) ReadClient();
    }
  }
}

void EndpointServer::Accept() {
  for (;;) {
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    // A client that closed and at once connects again must not find its old connection in
    // the way: whatever the held connection still has to say, its end included, goes first.
    if (client_ >= 0) ReadClient();
    if (!instrument_.IsPresent()) {
      // The old client's end restarted the instrument (a checked image): nobody answers.
      ::close(fd);
      continue;
    }
    if (client_ >= 0) {
      // Held by another client: say so and hang up.
      const std::uint8_t refused = ep::OPEN_REFUSED;
      (void)::send(fd, &refused, 1, MSG_NOSIGNAL);
      ::close(fd);
      continue;
    }
    const std::uint8_t accepted = ep::OPEN_ACCEPTED;
    if (::send(fd, &accepted, 1, MSG_NOSIGNAL) != 1) {
      ::close(fd);
      continue;
    }
    client_ = fd;
    ++descriptorGeneration_;
    clientGeneration_ = instrument_.linkGeneration();
    silenced_ = false;
    input_.assign(kMaxRequest + kReadChunk, 0);
    inputUsed_ = 0;
    output_.clear();
    outputSent_ = 0;
  }
}

void EndpointServer::DropClient(bool hostClosed) {
  if (client_ < 0) return;
  ::close(client_);
  client_ = -1;
  ++descriptorGeneration_;
  output_.clear();
  outputSent_ = 0;
  inputUsed_ = 0;
  if (hostClosed && instrument_.linkGeneration() == clientGeneration_) instrument_.HostClosed();
}

void EndpointServer::ReadClient() {
  for (;;) {
    if (inputUsed_ == input_.size()) break;  // a full buffer is served before reading on
    const ssize_t n = ::recv(client_, input_.data() + inputUsed_, input_.size() - inputUsed_, 0);
    if (n == 0) {
      DropClient(true);
      return;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      DropClient(true);
      return;
    }
    if (silenced_) continue;  // read and forget
    inputUsed_ += static_cast<std::size_t>(n);
    // Serve as soon as a whole frame is in: most reads bring exactly one, and the client sends
    // nothing more before it has the reply, so there is no point in reading on.
    ServeFrames();
    if (client_ < 0 || !output_.empty() || inputUsed_ == 0) return;
  }
}

void EndpointServer::ServeFrames() {
  std::size_t offset = 0;
  while (client_ >= 0 && !silenced_ && outputSent_ == output_.size()) {
    const std::size_t available = inputUsed_ - offset;
    if (available < ep::REQUEST_HEADER_SIZE) break;
    const std::uint8_t* frame = input_.data() + offset;
    const std::uint32_t code = ep::GetU32(frame);
    const std::uint32_t inputLength = ep::GetU32(frame + 4);
    const std::uint32_t capacity = ep::GetU32(frame + 8);
    if (inputLength > ep::MAX_FRAME_BYTES || capacity > ep::MAX_FRAME_BYTES) {
      Log("frame outside the limits; connection closed");
      DropClient(true);
      return;
    }
    if (available < ep::REQUEST_HEADER_SIZE + inputLength) break;

    reply_.resize(ep::REPLY_HEADER_SIZE + capacity);
    std::uint32_t returned = 0;
    const Outcome outcome =
        instrument_.Control(code, frame + ep::REQUEST_HEADER_SIZE, inputLength,
                            reply_.data() + ep::REPLY_HEADER_SIZE, capacity, returned);
    offset += ep::REQUEST_HEADER_SIZE + inputLength;
    if (outcome == Outcome::Silent) {
      silenced_ = true;
      break;
    }
    if (outcome == Outcome::Dropped) {
      DropClient(false);
      return;
    }
    const bool ok = outcome == Outcome::Replied;
    if (!ok) returned = 0;
    ep::PutU32(reply_.data(), ok ? 1 : 0);
    ep::PutU32(reply_.data() + 4, returned);
    SendReply(reply_.data(), ep::REPLY_HEADER_SIZE + returned);
    // The link dropped with this reply (a restart after an image check): hang up after it.
    if (client_ >= 0 && instrument_.linkGeneration() != clientGeneration_) {
      DropClient(false);
      return;
    }
  }
  if (client_ < 0) return;
  if (silenced_) {
    inputUsed_ = 0;
    return;
  }
  if (offset > 0) {
    std::memmove(input_.data(), input_.data() + offset, inputUsed_ - offset);
    inputUsed_ -= offset;
  }
}

void EndpointServer::FlushOutput() {
  SendPending();
  // Frames that arrived while the reply waited are served now.
  if (client_ >= 0 && output_.empty() && inputUsed_ > 0) ServeFrames();
}

void EndpointServer::SendReply(const std::uint8_t* data, std::size_t size) {
  // A reply nearly always fits into the socket at once; only what does not is kept for later.
  while (size > 0) {
    const ssize_t n = ::send(client_, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      output_.assign(data, data + size);
      outputSent_ = 0;
      return;
    }
    if (n <= 0) {
      DropClient(true);
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void EndpointServer::SendPending() {
  while (client_ >= 0 && outputSent_ < output_.size()) {
    const ssize_t n =
        ::send(client_, output_.data() + outputSent_, output_.size() - outputSent_, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      DropClient(true);
      return;
    }
    outputSent_ += static_cast<std::size_t>(n);
  }
  if (client_ >= 0 && outputSent_ == output_.size()) {
    output_.clear();
    outputSent_ = 0;
  }
}

}  // namespace sim
