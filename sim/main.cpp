// veltra-sim: serves simulated instruments on the Linux instrument endpoint.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "platform/clock.h"
#include "sim/daemon.h"

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  const char byte = 1;
  // Only async-signal-safe work here: the loop sees the byte and cleans up.
  [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

bool InstallStopSignals() {
  if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  return ::sigaction(SIGINT, &action, nullptr) == 0 &&
         ::sigaction(SIGTERM, &action, nullptr) == 0 &&
         ::sigaction(SIGHUP, &action, nullptr) == 0 && ::sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  sim::DaemonOptions options;
  std::string error;
  switch (sim::ParseOptions(argc, argv, options, error)) {
    case sim::ParseResult::Help:
      std::fputs(sim::HelpText().c_str(), stdout);
      return 0;
    case sim::ParseResult::Error:
      std::fprintf(stderr, "veltra-sim: %s\n", error.c_str());
      return 2;
    case sim::ParseResult::Run:
      break;
  }
  if (!InstallStopSignals()) {
    std::perror("veltra-sim");
    return 1;
  }
  platform::SystemClock clock;
  sim::Daemon daemon(clock, options, stdout);
  if (!daemon.Start(error)) {
    std::fprintf(stderr, "veltra-sim: %s\n", error.c_str());
    return 1;
  }
  for (std::size_t i = 0; i < daemon.size(); ++i) {
    std::printf("serving %s\n", daemon.socketPath(i).c_str());
  }
  std::fflush(stdout);
  return daemon.Run(STDIN_FILENO, stopPipe[0]);
}
