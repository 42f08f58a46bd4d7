#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/endpoint_server.h"
#include "sim/instrument.h"

// veltra-sim: simulated instruments served on the Linux endpoint, steered by control lines.
namespace sim {

struct DaemonOptions {
  std::size_t count = 1;
  // Instrument i is named <baseName><i> and served as <directory>/<baseName><i>.sock.
  std::string baseName = "sim";
  // Empty: the endpoint's own directory.
  std::string directory;
  // Identity and timing of every instrument; instrument i gets i added to the last UID byte.
  InstrumentConfig instrument;
  std::vector<FaultRule> faults;
  bool neverReturn = false;
  bool quiet = false;
};

enum class ParseResult { Run, Help, Error };

[[nodiscard]] ParseResult ParseOptions(int argc, const char* const* argv, DaemonOptions& options,
                                       std::string& error);
// The text of --help: every option and every control line.
[[nodiscard]] std::string HelpText();

// Parses "1.34" (major.two-digit minor) or a number such as 0x0122 or 290.
[[nodiscard]] bool ParseVersion(const std::string& text, std::uint16_t& version);
// Parses 24 hex digits, spaces and dots ignored.
[[nodiscard]] bool ParseUid(const std::string& text, std::array<std::uint8_t, 12>& uid);
// Parses KIND[:TARGET[:COUNT]]: KIND refuse|busy|short|garbage|drop|silent, TARGET all,
// identify or the hex bytes a command starts with, COUNT how many requests it hits.
[[nodiscard]] bool ParseFault(const std::string& text, FaultRule& rule);

class Daemon {
 public:
  Daemon(platform::Clock& clock, DaemonOptions options, std::FILE* log);
  ~Daemon();
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  // Prepares the directory and claims every instrument's socket.
  [[nodiscard]] bool Start(std::string& error);
  // Serves until a "quit" line or until `stopFd` becomes readable. Lines come from
  // `controlFd` (-1: none); its end does not stop the daemon. Returns 0, or 1 when it
  // cannot set up its waiting.
  int Run(int controlFd, int stopFd);
  // Carries out one control line. Returns its answer ("ok", "error: ...", or a report).
  std::string Execute(const std::string& line, bool& quit);
  // Removes every socket file.
  void Stop();

  [[nodiscard]] std::size_t size() const { return instruments_.size(); }
  [[nodiscard]] const std::string& socketPath(std::size_t i) const {
    return servers_[i]->socketPath();
  }

 private:
  void Sync();
  [[nodiscard]] bool ReadControl(int fd, bool& quit);
  [[nodiscard]] std::string Describe(Instrument& instrument);

  platform::Clock& clock_;
  DaemonOptions options_;
  std::FILE* log_;
  std::vector<std::unique_ptr<Instrument>> instruments_;
  std::vector<std::unique_ptr<EndpointServer>> servers_;
  std::string pendingLine_;
};

}  // namespace sim
