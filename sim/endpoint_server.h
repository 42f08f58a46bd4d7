#pragma once

#include <poll.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/instrument.h"

namespace sim {

// Serves one instrument on its socket of the Linux endpoint: one client at a time, requests
// handed to the instrument in order. The socket file exists exactly while the instrument is
// present; when the link drops the client is dropped with it. Single-threaded: the owner polls
// the descriptors this server names and hands the events back.
class EndpointServer {
 public:
  EndpointServer(Instrument& instrument, std::string socketPath, std::FILE* log);
  ~EndpointServer();
  EndpointServer(const EndpointServer&) = delete;
  EndpointServer& operator=(const EndpointServer&) = delete;

  // Claims the socket path; fails when another live server answers on it.
  [[nodiscard]] bool Start(std::string& error);
  // Brings the socket and the client in line with the instrument's link.
  void Sync();
  // Adds the descriptors to wait on; returns how many it added.
  std::size_t AddPollFds(std::vector<pollfd>& fds) const;
  // Handles the events of the descriptors it added, which start at `fds`.
  void HandleEvents(const pollfd* fds, std::size_t count);
  // Removes the socket file and drops the client.
  void Stop();

  [[nodiscard]] const std::string& socketPath() const { return socketPath_; }
  [[nodiscard]] Instrument& instrument() { return instrument_; }
  [[nodiscard]] bool HasClient() const { return client_ >= 0; }
  // Changes whenever a descriptor that AddPollFds names is opened or closed. A closed number can
  // come back at once for another socket, so the owner cannot tell from the numbers alone.
  [[nodiscard]] std::uint32_t descriptorGeneration() const { return descriptorGeneration_; }

 private:
  [[nodiscard]] bool Listen(std::string& error);
  void StopListening();
  void Accept();
  void ReadClient();
  void ServeFrames();
  void FlushOutput();
  void SendReply(const std::uint8_t* data, std::size_t size);
  void SendPending();
  void DropClient(bool hostClosed);
  void Log(const char* what);

  Instrument& instrument_;
  std::string socketPath_;
  std::FILE* log_;
  int listen_ = -1;
  int client_ = -1;
  std::uint32_t clientGeneration_ = 0;
  std::uint32_t descriptorGeneration_ = 0;
  // The client asked something the instrument never answers: nothing more is answered.
  bool silenced_ = false;
  std::vector<std::uint8_t> input_;
  std::size_t inputUsed_ = 0;
  std::vector<std::uint8_t> output_;
  std::size_t outputSent_ = 0;
  std::vector<std::uint8_t> reply_;
};

}  // namespace sim
