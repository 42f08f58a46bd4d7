#include "sim/daemon.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/socket/endpoint.h"

namespace sim {
namespace {

// The daemon looks at its instruments this often even when nothing happens, so that a reboot
// ends and its socket comes back on time.
constexpr int kIdlePollMs = 10;
constexpr std::size_t kMaxControlLine = 4096;

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0' || parsed > max) return false;
  value = parsed;
  return true;
}

bool ParseHexBytes(const std::string& text, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == '.' || c == ',') continue;
    if (std::strchr("0123456789abcdefABCDEF", c) == nullptr) return false;
    digits += c;
  }
  if (digits.empty() || digits.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  }
  return true;
}

std::vector<std::string> Split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string HexText(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  char two[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    text += two;
  }
  return text;
}

std::string VersionText(std::uint16_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", version >> 8, version & 0xFF);
  return text;
}

const char* LinkText(LinkState state) {
  switch (state) {
    case LinkState::Present:
      return "present";
    case LinkState::Unplugged:
      return "unplugged";
    case LinkState::Rebooting:
      return "rebooting";
    case LinkState::Gone:
      return "gone after reboot";
  }
  return "?";
}

struct TimingOption {
  const char* name;
  std::uint32_t InstrumentTiming::*field;
  const char* help;
};

constexpr TimingOption kTimingOptions[] = {
    {"--check-ms", &InstrumentTiming::appImageCheckMs, "general-application image check"},
    {"--reboot-ms", &InstrumentTiming::rebootMs, "restart after an image, or on 'reboot'"},
    {"--reboot-grace-ms", &InstrumentTiming::rebootGraceMs,
     "restart after a check result that nobody polls"},
    {"--leave-settle-ms", &InstrumentTiming::ictrlLeaveSettleMs,
     "inputs controller: from leave (07 00) until enter (07 01) is taken"},
    {"--ictrl-version-ms", &InstrumentTiming::ictrlVersionBusyMs,
     "inputs controller: busy phase of the version read (07 02 01 00)"},
    {"--burn-ms", &InstrumentTiming::ictrlBurnMs, "inputs controller: burning an image"},
    {"--recalibrate-ms", &InstrumentTiming::ictrlRecalibrateMs,
     "inputs controller: recalibration (07 03)"},
    {"--id-dev-ms", &InstrumentTiming::ictrlIdDevBusyMs,
     "inputs controller: ID-device command (07 02 A5 ...)"},
    {"--event-interval-ms", &InstrumentTiming::inputEventIntervalMs,
     "one input event this often while monitoring runs (0: none)"},
    {"--relay-delay-ms", &InstrumentTiming::extAnswerDelayMs,
     "external controller: until its answer can be read (08 03)"},
    {"--relay-switch-ms", &InstrumentTiming::relaySwitchMs,
     "external controller: busy phase of a relay switch (08 02 53 ..)"},
    {"--calibration-ms", &InstrumentTiming::extCalibrationMs,
     "external controller: calibration (08 05 01)"},
};

// Waits for the daemon's descriptors with epoll rather than poll. The set is handed to the
// kernel once and again only when it changes, which is when a client comes or goes, instead of
// on every request. Descriptors epoll cannot watch (a control input read from a file) are
// always ready, as poll would report them.
class ReadySet {
 public:
  ReadySet() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}
  ~ReadySet() {
    if (epoll_ >= 0) ::close(epoll_);
  }
  ReadySet(const ReadySet&) = delete;
  ReadySet& operator=(const ReadySet&) = delete;

  [[nodiscard]] bool valid() const { return epoll_ >= 0; }

  // Watches `fds` from now on; the revents of each entry are filled in by Wait.
  void Watch(const std::vector<pollfd>& fds) {
    // A descriptor closed since it was added has left the set by itself; removing it fails,
    // which is harmless.
    for (const pollfd& fd : watched_) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd.fd, nullptr);
    watched_ = fds;
    alwaysReady_.clear();
    for (std::size_t i = 0; i < fds.size(); ++i) {
      epoll_event event{};
      event.events = static_cast<std::uint32_t>(fds[i].events);
      event.data.u64 = i;
      if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fds[i].fd, &event) != 0 && errno == EPERM) {
        alwaysReady_.push_back(i);
      }
    }
  }

  // Whether `fds` differs from the watched set in a descriptor or in the events asked for.
  [[nodiscard]] bool Differs(const std::vector<pollfd>& fds) const {
    if (fds.size() != watched_.size()) return true;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd != watched_[i].fd || fds[i].events != watched_[i].events) return true;
    }
    return false;
  }

  // Like poll on the watched set: the number of ready entries, 0 when interrupted, -1 on error.
  int Wait(std::vector<pollfd>& fds) {
    for (pollfd& fd : fds) fd.revents = 0;
    for (std::size_t i : alwaysReady_) fds[i].revents = fds[i].events;
    epoll_event events[kMaxEvents];
    const int n = ::epoll_wait(epoll_, events, kMaxEvents, alwaysReady_.empty() ? -1 : 0);
    if (n < 0) return errno == EINTR ? 0 : -1;
    for (int i = 0; i < n; ++i) {
      fds[events[i].data.u64].revents = static_cast<short>(events[i].events);
    }
    return n + static_cast<int>(alwaysReady_.size());
  }

 private:
  static constexpr int kMaxEvents = 64;
  int epoll_;
  std::vector<pollfd> watched_;
  std::vector<std::size_t> alwaysReady_;
};

// Wakes the daemon every kIdlePollMs. A timer that runs on by itself costs nothing per
// request, where a timeout on each wait would arm and cancel a timer for every one.
int StartIdleTimer() {
  const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  if (fd < 0) return -1;
  itimerspec interval{};
  interval.it_interval.tv_nsec = kIdlePollMs * 1000000L;
  interval.it_value = interval.it_interval;
  if (::timerfd_settime(fd, 0, &interval, nullptr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool ParseVersion(const std::string& text, std::uint16_t& version) {
  const std::size_t dot = text.find('.');
  std::uint64_t major = 0;
  std::uint64_t minor = 0;
  if (dot != std::string::npos) {
    // Decimal: the major number, then the minor in two places (1.34 is 0x0122).
    const std::string minorText = text.substr(dot + 1);
    if (minorText.size() != 2) return false;
    if (!ParseNumber(text.substr(0, dot), 255, major)) return false;
    char* end = nullptr;
    minor = std::strtoul(minorText.c_str(), &end, 10);
    if (*end != '\0' || minorText[0] < '0' || minorText[0] > '9') return false;
    version = static_cast<std::uint16_t>((major << 8) | minor);
    return true;
  }
  std::uint64_t value = 0;
  if (!ParseNumber(text, 0xFFFF, value)) return false;
  version = static_cast<std::uint16_t>(value);
  return true;
}

bool ParseUid(const std::string& text, std::array<std::uint8_t, 12>& uid) {
  std::vector<std::uint8_t> bytes;
  if (!ParseHexBytes(text, bytes) || bytes.size() != uid.size()) return false;
  std::copy(bytes.begin(), bytes.end(), uid.begin());
  return true;
}

bool ParseFault(const std::string& text, FaultRule& rule) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() > 3) return false;
  static constexpr std::pair<const char*, FaultKind> kinds[] = {
      {"refuse", FaultKind::Refuse}, {"busy", FaultKind::StayBusy},
      {"short", FaultKind::Short},   {"garbage", FaultKind::Garbage},
      {"drop", FaultKind::DropLink}, {"silent", FaultKind::Silent}};
  bool known = false;
  rule = FaultRule{};
  for (const auto& [name, kind] : kinds) {
    if (parts[0] == name) {
      rule.kind = kind;
      known = true;
    }
  }
  if (!known) return false;
  if (parts.size() >= 2 && parts[1] != "all" && !parts[1].empty()) {
    if (parts[1] == "identify") {
      rule.identify = true;
    } else if (!ParseHexBytes(parts[1], rule.prefix)) {
      return false;
    }
  }
  if (parts.size() == 3) {
    std::uint64_t count = 0;
    if (!ParseNumber(parts[2], 0x7FFFFFFF, count) || count == 0) return false;
    rule.remaining = static_cast<std::int32_t>(count);
  }
  return true;
}

std::string HelpText() {
  std::string text =
      "Usage: veltra-sim [OPTION]...\n"
      "Serves simulated Veltra measuring instruments on the Linux instrument endpoint, where\n"
      "the updater finds them: one Unix socket per instrument in $XDG_RUNTIME_DIR/veltra/devices\n"
      "(or /tmp/veltra-<uid>/devices without XDG_RUNTIME_DIR). Runs until 'quit', Ctrl+C or\n"
      "SIGTERM, and then removes its sockets. The end of standard input does not stop it.\n"
      "\n"
      "Instruments:\n"
      "  --count N            serve N instruments (default 1)\n"
      "  --name NAME          instrument i is NAME<i>, socket NAME<i>.sock (default sim)\n"
      "  --dir DIR            serve in DIR instead of the endpoint's directory\n"
      "\n"
      "Identity (every instrument; instrument i adds i to the last UID byte):\n"
      "  --description TEXT   identify text (default \"Veltra measuring instrument driver "
      "V4.07\")\n"
      "  --app-version V      general application version (default 1.34)\n"
      "  --ictrl-version V    inputs-controller application version (default 1.02)\n"
      "  --hw-version N       hardware version (default 3)\n"
      "  --versions-size N    bytes answered to the versions read, 2 to 4 (default 4)\n"
      "  --uid HEX            12 UID bytes as 24 hex digits (default\n"
      "                       45230100035653494D303031: serial 0x00012345, batch 03,\n"
      "                       lot \"VSIM001\")\n"
      "  A version V is major.minor with two minor places (1.34) or a number (0x0122).\n"
      "\n"
      "Timing in milliseconds:\n";
  char line[160];
  const InstrumentTiming defaults;
  for (const TimingOption& option : kTimingOptions) {
    std::snprintf(line, sizeof line, "  %-22s %s\n  %-22s (default %u)\n",
                  (std::string(option.name) + " MS").c_str(), option.help, "",
                  defaults.*option.field);
    text += line;
  }
  text +=
      "\n"
      "Faults:\n"
      "  --fault KIND[:TARGET[:COUNT]]  add a fault to every instrument (repeatable)\n"
      "      KIND    refuse   answer the refusal status EE and do nothing\n"
      "              busy     answer busy (A0), and busy to every status poll after it\n"
      "              short    answer one reply byte less\n"
      "              garbage  answer noise instead of the reply\n"
      "              drop     fail the request and drop the link (the client is hung up on)\n"
      "              silent   never answer the request\n"
      "      TARGET  all (default): every command request, image data included;\n"
      "              identify: the identify request;\n"
      "              hex bytes such as 0303 or 08025A: commands that start with them\n"
      "      COUNT   hit only this many requests (default: all)\n"
      "  --no-return          never come back after a reboot (until 'plug')\n"
      "  --quiet              do not report connections and link changes\n"
      "  --help               show this text\n"
      "\n"
      "Control lines on standard input, one command each. A line may start with @N (instrument\n"
      "index or name) or @all; without it the line is for instrument 0.\n"
      "  unplug               remove the instrument: its socket goes, the client is dropped\n"
      "  plug                 bring it back (also after a reboot that never ended)\n"
      "  reboot               restart it: gone for the reboot time, then back\n"
      "  uid HEX              give it another UID (24 hex digits)\n"
      "  fault KIND [TARGET] [COUNT]   add a fault, as --fault\n"
      "  clear                remove every fault\n"
      "  noreturn on|off      whether it comes back after a reboot\n"
      "  app-version V        set the general application version\n"
      "  ictrl-version V      set the inputs-controller application version\n"
      "  status               show link, versions, UID and modes\n"
      "  help                 list the control lines\n"
      "  quit                 remove the sockets and end\n"
      "\n"
      "Simulated firmware: an image burnt into an instrument carries its version in its last\n"
      "8 bytes: \"VSFW\", the version (u16 little-endian, 0x0122 = 1.34) and a check (u16\n"
      "little-endian, the sum of every byte before the check, modulo 65536). After the image\n"
      "the instrument reports that version. An image without \"VSFW\" keeps the old version;\n"
      "one with a wrong check fails the image check (status EE).\n"
      "\n"
      "The external controller (08 02 ...) answers 53 S (relay switch) with 53 S, 59 3F and\n"
      "5A 3F with its status (5A clears the counters), 49 with an information text in several\n"
      "fragments, and anything else with 15 and the command byte.\n";
  return text;
}

ParseResult ParseOptions(int argc, const char* const* argv, DaemonOptions& options,
                         std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool hasValue = false;
    const std::size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    auto takeValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    auto fail = [&](const std::string& why) {
      error = name + ": " + why;
      return ParseResult::Error;
    };
    if (name == "--help" || name == "-h") return ParseResult::Help;
    if (name == "--no-return") {
      options.neverReturn = true;
      continue;
    }
    if (name == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (!takeValue()) return fail("needs a value");
    std::uint64_t number = 0;
    bool handled = true;
    if (name == "--count") {
      if (!ParseNumber(value, 64, number) || number == 0) return fail("1 to 64");
      options.count = number;
    } else if (name == "--name") {
      if (value.empty() || value.find('/') != std::string::npos) return fail("a plain name");
      options.baseName = value;
    } else if (name == "--dir") {
      options.directory = value;
    } else if (name == "--description") {
      options.instrument.description = value;
    } else if (name == "--app-version") {
      if (!ParseVersion(value, options.instrument.generalAppVersion)) return fail("a version");
    } else if (name == "--ictrl-version") {
      if (!ParseVersion(value, options.instrument.inputsCtrlVersion)) return fail("a version");
    } else if (name == "--hw-version") {
      if (!ParseNumber(value, 0xFFFF, number)) return fail("0 to 65535");
      options.instrument.hwVersion = static_cast<std::uint16_t>(number);
    } else if (name == "--versions-size") {
      if (!ParseNumber(value, 4, number) || number < 2) return fail("2 to 4");
      options.instrument.versionsReplySize = static_cast<std::uint32_t>(number);
    } else if (name == "--uid") {
      if (!ParseUid(value, options.instrument.uid)) return fail("24 hex digits");
    } else if (name == "--fault") {
      FaultRule rule;
      if (!ParseFault(value, rule)) return fail("KIND[:TARGET[:COUNT]]");
      options.faults.push_back(rule);
    } else {
      handled = false;
      for (const TimingOption& option : kTimingOptions) {
        if (name != option.name) continue;
        if (!ParseNumber(value, 3600000, number)) return fail("milliseconds");
        options.instrument.timing.*option.field = static_cast<std::uint32_t>(number);
        handled = true;
      }
    }
    if (!handled) {
      error = "unknown option " + name + " (see --help)";
      return ParseResult::Error;
    }
  }
  return ParseResult::Run;
}

Daemon::Daemon(platform::Clock& clock, DaemonOptions options, std::FILE* log)
    : clock_(clock), options_(std::move(options)), log_(log) {}

Daemon::~Daemon() {
  Stop();
}

bool Daemon::Start(std::string& error) {
  const std::string directory =
      options_.directory.empty() ? platform::endpoint::DevicesDirectory() : options_.directory;
  if (!platform::endpoint::PrepareDevicesDirectory(directory)) {
    error = "cannot use the directory " + directory +
            " (it must be this user's, mode 0700, below a parent of this user or the system)";
    return false;
  }
  std::FILE* serverLog = options_.quiet ? nullptr : log_;
  for (std::size_t i = 0; i < options_.count; ++i) {
    InstrumentConfig config = options_.instrument;
    config.name = options_.baseName + std::to_string(i);
    config.uid[11] = static_cast<std::uint8_t>(config.uid[11] + i);
    auto instrument = std::make_unique<Instrument>(clock_, config);
    for (const FaultRule& rule : options_.faults) instrument->AddFault(rule);
    instrument->SetNeverReturn(options_.neverReturn);
    auto server = std::make_unique<EndpointServer>(
        *instrument, directory + "/" + config.name + platform::endpoint::SOCKET_SUFFIX, serverLog);
    if (!server->Start(error)) return false;
    instruments_.push_back(std::move(instrument));
    servers_.push_back(std::move(server));
  }
  return true;
}

void Daemon::Stop() {
  for (auto& server : servers_) server->Stop();
}

void Daemon::Sync() {
  for (auto& server : servers_) server->Sync();
}

int Daemon::Run(int controlFd, int stopFd) {
  ReadySet ready;
  const int timer = StartIdleTimer();
  if (!ready.valid() || timer < 0) {
    if (log_ != nullptr) {
      std::fprintf(log_, "cannot wait for the instruments: %s\n", std::strerror(errno));
    }
    if (timer >= 0) ::close(timer);
    Stop();
    return 1;
  }
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts(servers_.size());
  std::uint64_t watchedGeneration = 0;
  bool quit = false;
  while (!quit) {
    Sync();
    fds.clear();
    fds.push_back({timer, POLLIN, 0});
    if (stopFd >= 0) fds.push_back({stopFd, POLLIN, 0});
    if (controlFd >= 0) fds.push_back({controlFd, POLLIN, 0});
    const std::size_t first = fds.size();
    std::uint64_t generation = 0;
    for (std::size_t i = 0; i < servers_.size(); ++i) {
      counts[i] = servers_[i]->AddPollFds(fds);
      generation += servers_[i]->descriptorGeneration();
    }
    // Every generation only grows, so their sum changes whenever one of them does.
    if (generation != watchedGeneration || ready.Differs(fds)) {
      ready.Watch(fds);
      watchedGeneration = generation;
    }
    const int count = ready.Wait(fds);
    if (count < 0) break;
    if (count == 0) continue;
    std::size_t at = 0;
    if (fds[at++].revents != 0) {
      std::uint64_t expirations = 0;
      (void)::read(timer, &expirations, sizeof expirations);
    }
    if (stopFd >= 0 && fds[at++].revents != 0) break;
    if (controlFd >= 0 && fds[at++].revents != 0 && !ReadControl(controlFd, quit)) {
      controlFd = -1;  // the end of the control input is not the end of the daemon
    }
    at = first;
    for (std::size_t i = 0; i < servers_.size(); ++i) {
      servers_[i]->HandleEvents(fds.data() + at, counts[i]);
      at += counts[i];
    }
  }
  ::close(timer);
  Stop();
  return 0;
}

bool Daemon::ReadControl(int fd, bool& quit) {
  char buffer[512];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  pendingLine_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = pendingLine_.find('\n')) != std::string::npos;) {
    const std::string line = pendingLine_.substr(0, end);
    pendingLine_.erase(0, end + 1);
    const std::string answer = Execute(line, quit);
    if (log_ != nullptr && !answer.empty()) {
      std::fprintf(log_, "%s\n", answer.c_str());
      std::fflush(log_);
    }
    if (quit) return true;
  }
  if (pendingLine_.size() > kMaxControlLine) pendingLine_.clear();
  return true;
}

std::string Daemon::Describe(Instrument& instrument) {
  const InstrumentConfig& c = instrument.config();
  std::string text = c.name + ": " + LinkText(instrument.linkState());
  text += ", app " + VersionText(c.generalAppVersion) + ", ictrl " +
          VersionText(c.inputsCtrlVersion) + ", hw " + std::to_string(c.hwVersion);
  text += ", uid " + HexText(c.uid.data(), c.uid.size());
  const std::uint8_t relays = instrument.relayState();
  text += ", relays " + HexText(&relays, 1);
  if (instrument.extRate() != 0) text += ", exchange at " + std::to_string(instrument.extRate());
  if (instrument.monitoring()) text += ", monitoring";
  return text;
}

std::string Daemon::Execute(const std::string& line, bool& quit) {
  std::vector<std::string> words = Split(line);
  if (words.empty() || words[0][0] == '#') return "";
  std::vector<Instrument*> targets;
  if (words[0][0] == '@') {
    const std::string selector = words[0].substr(1);
    words.erase(words.begin());
    for (std::size_t i = 0; i < instruments_.size(); ++i) {
      std::uint64_t index = 0;
      const bool byIndex = ParseNumber(selector, instruments_.size(), index) && index == i;
      if (selector == "all" || byIndex || selector == instruments_[i]->config().name) {
        targets.push_back(instruments_[i].get());
      }
    }
    if (targets.empty()) return "error: no instrument " + selector;
    if (words.empty()) return "error: a command must follow " + selector;
  } else if (!instruments_.empty()) {
    targets.push_back(instruments_[0].get());
  }
  const std::string& command = words[0];
  const std::size_t args = words.size() - 1;

  if (command == "quit" || command == "exit") {
    quit = true;
    return "bye";
  }
  if (command == "help") return HelpText().substr(HelpText().find("Control lines"));
  std::string answer;
  for (Instrument* instrument : targets) {
    if (command == "unplug" && args == 0) {
      instrument->Unplug();
    } else if (command == "plug" && args == 0) {
      instrument->Plug();
    } else if (command == "reboot" && args == 0) {
      instrument->Reboot();
    } else if (command == "uid" && args >= 1) {
      std::array<std::uint8_t, 12> uid{};
      std::string text;
      for (std::size_t i = 1; i < words.size(); ++i) text += words[i];
      if (!ParseUid(text, uid)) return "error: uid needs 24 hex digits";
      instrument->SetUid(uid);
    } else if (command == "fault" && args >= 1 && args <= 3) {
      std::string faultText = words[1];
      for (std::size_t i = 2; i < words.size(); ++i) faultText += ":" + words[i];
      FaultRule rule;
      if (!ParseFault(faultText, rule)) return "error: fault KIND [all|identify|HEX] [COUNT]";
      instrument->AddFault(rule);
    } else if (command == "clear" && args == 0) {
      instrument->ClearFaults();
    } else if (command == "noreturn" && args == 1 && (words[1] == "on" || words[1] == "off")) {
      instrument->SetNeverReturn(words[1] == "on");
    } else if ((command == "app-version" || command == "ictrl-version") && args == 1) {
      std::uint16_t version = 0;
      if (!ParseVersion(words[1], version)) return "error: a version such as 1.34 or 0x0122";
      if (command == "app-version") {
        instrument->config().generalAppVersion = version;
      } else {
        instrument->config().inputsCtrlVersion = version;
      }
    } else if (command == "status" && args == 0) {
      if (!answer.empty()) answer += "\n";
      answer += Describe(*instrument);
      continue;
    } else {
      return "error: unknown control line '" + line + "' (try: help)";
    }
  }
  // Bring the sockets in line at once, so that the file is gone when "ok" is read.
  Sync();
  return answer.empty() ? "ok" : answer;
}

}  // namespace sim
