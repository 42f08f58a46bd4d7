// The socket driver port against the transport's own limit: a command request through the port
// to veltra-sim's server, and a 16 MiB - 1 byte chunked write, each next to bare Unix-socket
// round trips of the same bytes. Prints each pair as a ratio; the aim is 1.2 or less.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "platform/clock.h"
#include "platform/socket/endpoint.h"
#include "platform/socket/socket_driver.h"
#include "sim/daemon.h"

namespace {

namespace ep = platform::endpoint;

constexpr std::uint32_t kChunkedSize = 16 * 1024 * 1024 - 1;  // the largest a start can announce
constexpr std::uint32_t kPiece = device::MAX_COMMAND_SIZE;
constexpr std::uint32_t kUidCapacity = device::UID_SIZE;

bool ReadExactly(int fd, std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::recv(fd, data, length, 0);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

// The bare transport: a server that reads a frame and answers the same number of bytes the
// instrument would, with no instrument behind it and no event loop in front of it.
class BareServer {
 public:
  explicit BareServer(const std::string& path) : path_(path) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 1) != 0) {
      std::perror("bare server");
      std::exit(1);
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~BareServer() {
    thread_.join();
    ::close(listen_);
    ::unlink(path_.c_str());
  }

 private:
  void Serve() {
    const int client = ::accept(listen_, nullptr, nullptr);
    std::vector<std::uint8_t> frame(ep::REQUEST_HEADER_SIZE + ep::MAX_FRAME_BYTES);
    std::vector<std::uint8_t> reply(ep::REPLY_HEADER_SIZE + ep::MAX_FRAME_BYTES);
    for (;;) {
      // Whatever has arrived is read at once, as veltra-sim's server reads it, so that a frame
      // sent in one piece costs one recv here too; the client sends nothing before the reply.
      std::size_t have = 0;
      std::size_t need = ep::REQUEST_HEADER_SIZE;
      while (have < need) {
        const ssize_t n = ::recv(client, frame.data() + have, frame.size() - have, 0);
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
        if (have >= ep::REQUEST_HEADER_SIZE) {
          need = ep::REQUEST_HEADER_SIZE + ep::GetU32(frame.data() + 4);
        }
      }
      if (have < need || need > frame.size()) break;
      const std::uint32_t capacity = ep::GetU32(frame.data() + 8);
      ep::PutU32(reply.data(), 1);
      ep::PutU32(reply.data() + 4, capacity);
      if (::send(client, reply.data(), ep::REPLY_HEADER_SIZE + capacity, MSG_NOSIGNAL) <= 0) break;
    }
    ::close(client);
  }

  std::string path_;
  int listen_ = -1;
  std::thread thread_;
};

class BareClient {
 public:
  explicit BareClient(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      std::perror("bare client");
      std::exit(1);
    }
    reply_.resize(ep::REPLY_HEADER_SIZE + ep::MAX_FRAME_BYTES);
  }
  ~BareClient() { ::close(fd_); }
  // One round trip: the request frame out, the reply of 8 + capacity bytes back.
  bool RoundTrip(const std::vector<std::uint8_t>& frame, std::uint32_t capacity) {
    if (::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(frame.size())) {
      return false;
    }
    return ReadExactly(fd_, reply_.data(), ep::REPLY_HEADER_SIZE + capacity);
  }

 private:
  int fd_ = -1;
  std::vector<std::uint8_t> reply_;
};

std::vector<std::uint8_t> Frame(std::uint32_t inputLength, std::uint32_t capacity) {
  std::vector<std::uint8_t> frame(ep::REQUEST_HEADER_SIZE + inputLength, 0x5A);
  ep::PutU32(frame.data(), device::IOCTL_DEVICE_COMMAND);
  ep::PutU32(frame.data() + 4, inputLength);
  ep::PutU32(frame.data() + 8, capacity);
  return frame;
}

// Everything the benchmarks share: veltra-sim's daemon with one instrument in a thread, the
// port connected to it, and the bare pair beside it.
struct Bench {
  std::string directory;
  platform::SystemClock clock;
  std::unique_ptr<sim::Daemon> daemon;
  int stop[2] = {-1, -1};
  std::thread serving;
  std::unique_ptr<platform::SocketDriver> driver;
  std::unique_ptr<device::DeviceLink> link;
  std::unique_ptr<BareServer> bareServer;
  std::unique_ptr<BareClient> bareClient;
  std::vector<std::uint8_t> image;
};
Bench* bench = nullptr;

void CommandThroughPort(benchmark::State& state) {
  std::uint8_t uid[kUidCapacity];
  std::uint32_t returned = 0;
  for (auto _ : state) {
    if (!bench->link->Request(device::CMD_READ_UID, uid, kUidCapacity, returned)) {
      state.SkipWithError("request failed");
      break;
    }
  }
}

void CommandBare(benchmark::State& state) {
  const std::vector<std::uint8_t> frame = Frame(2, kUidCapacity);
  for (auto _ : state) {
    if (!bench->bareClient->RoundTrip(frame, kUidCapacity)) {
      state.SkipWithError("round trip failed");
      break;
    }
  }
}

void ChunkedWriteThroughPort(benchmark::State& state) {
  const std::vector<std::uint8_t> start{device::CMD_APP_UPLOAD_START, 0xFF, 0xFF, 0xFF};
  for (auto _ : state) {
    state.PauseTiming();
    const bool started = bench->link->RequestAccepted(start);
    state.ResumeTiming();
    std::uint8_t reply[4] = {};
    std::uint32_t returned = 0;
    if (!started || !bench->link->WriteChunked(bench->image, reply, 1, returned) || returned != 1 ||
        reply[0] != device::REPLY_BUSY) {
      state.SkipWithError("upload failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kChunkedSize);
}

void ChunkedWriteBare(benchmark::State& state) {
  const std::vector<std::uint8_t> piece = Frame(kPiece, 0);
  const std::uint32_t lastSize = kChunkedSize % kPiece == 0 ? kPiece : kChunkedSize % kPiece;
  const std::vector<std::uint8_t> last = Frame(lastSize, 1);
  const std::uint32_t pieces = (kChunkedSize + kPiece - 1) / kPiece;
  for (auto _ : state) {
    for (std::uint32_t i = 0; i + 1 < pieces; ++i) {
      if (!bench->bareClient->RoundTrip(piece, 0)) state.SkipWithError("round trip failed");
    }
    if (!bench->bareClient->RoundTrip(last, 1)) state.SkipWithError("round trip failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kChunkedSize);
}

// Keeps each benchmark's best real time per iteration over its repetitions, so that the ratios
// can be printed at the end. The best run is the one least disturbed by whatever else the
// machine does, which is what a comparison with the transport's own limit needs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const double time = run.GetAdjustedRealTime();
      auto [it, inserted] = times.emplace(run.run_name.function_name, time);
      if (!inserted && time < it->second) it->second = time;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

bool SetUp(Bench& b) {
  char pattern[] = "/tmp/veltra-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return false;
  b.directory = std::string(pattern) + "/devices";
  sim::DaemonOptions options;
  options.quiet = true;
  options.directory = b.directory;
  // The image is judged at once, and its spoilt check keeps the instrument from restarting,
  // so that every run can start the next upload straight away.
  options.instrument.timing.appImageCheckMs = 0;
  b.daemon = std::make_unique<sim::Daemon>(b.clock, options, nullptr);
  std::string error;
  if (!b.daemon->Start(error) || ::pipe(b.stop) != 0) {
    std::fprintf(stderr, "cannot start the simulator: %s\n", error.c_str());
    return false;
  }
  b.serving = std::thread([&b] { b.daemon->Run(-1, b.stop[0]); });
  b.driver = std::make_unique<platform::SocketDriver>(b.directory);
  b.link = std::make_unique<device::DeviceLink>(*b.driver, b.clock);
  if (!b.link->FindDevice()) {
    std::fprintf(stderr, "the port found no instrument in %s\n", b.directory.c_str());
    return false;
  }
  b.image.assign(kChunkedSize, 0x3C);
  std::memcpy(b.image.data() + kChunkedSize - 8, "VSFW\x01\x02\x00\x00", 8);
  const std::string barePath = std::string(pattern) + "/bare.sock";
  b.bareServer = std::make_unique<BareServer>(barePath);
  b.bareClient = std::make_unique<BareClient>(barePath);
  return true;
}

void TearDown(Bench& b) {
  b.bareClient.reset();
  b.bareServer.reset();
  b.link->Close();
  const char byte = 1;
  if (::write(b.stop[1], &byte, 1) == 1) b.serving.join();
  b.daemon.reset();
  std::filesystem::remove_all(std::filesystem::path(b.directory).parent_path());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Bench b;
  bench = &b;
  if (!SetUp(b)) return 1;
  constexpr int kRepetitions = 5;
  benchmark::RegisterBenchmark("CommandThroughPort", CommandThroughPort)
      ->UseRealTime()
      ->MinTime(0.2)
      ->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("CommandBare", CommandBare)
      ->UseRealTime()
      ->MinTime(0.2)
      ->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("ChunkedWriteThroughPort", ChunkedWriteThroughPort)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2)
      ->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("ChunkedWriteBare", ChunkedWriteBare)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2)
      ->Repetitions(kRepetitions);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  TearDown(b);

  auto ratio = [&](const char* port, const char* bare) {
    const auto p = reporter.times.find(port);
    const auto r = reporter.times.find(bare);
    if (p == reporter.times.end() || r == reporter.times.end() || r->second <= 0) return;
    std::printf("%-24s / %-18s = %.2f (goal: 1.2 or less)\n", port, bare, p->second / r->second);
  };
  ratio("CommandThroughPort", "CommandBare");
  ratio("ChunkedWriteThroughPort", "ChunkedWriteBare");
  benchmark::Shutdown();
  return 0;
}
