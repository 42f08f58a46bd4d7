#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "platform/clock.h"
#include "platform/socket/endpoint.h"
#include "platform/socket/socket_driver.h"
#include "sim/daemon.h"
#include "sim/firmware_image.h"

namespace {

namespace ep = platform::endpoint;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kShortLimitMs = 300;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A raw client of the endpoint, for what the driver port would never send.
int ConnectRaw(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  timeval tv{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

std::vector<std::uint8_t> Frame(std::uint32_t code, std::uint32_t inputLength,
                                std::uint32_t capacity, std::vector<std::uint8_t> input = {}) {
  // Sized once and filled in place: GCC 12 warns about growing a vector into itself here.
  std::vector<std::uint8_t> frame(12 + input.size());
  ep::PutU32(frame.data(), code);
  ep::PutU32(frame.data() + 4, inputLength);
  ep::PutU32(frame.data() + 8, capacity);
  std::copy(input.begin(), input.end(), frame.begin() + 12);
  return frame;
}

// veltra-sim's daemon in a thread of the test, with one instrument in a fresh runtime
// directory, steered by control lines through a pipe.
class EndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltra-endpoint-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    runtime_ = pattern;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    oldRuntime_ = old != nullptr ? old : "";
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    directory = ep::DevicesDirectory();
    ASSERT_EQ(directory, runtime_ + "/veltra/devices");
    sim::DaemonOptions options;
    options.quiet = true;
    options.instrument.timing.rebootMs = 100;
    daemon_ = std::make_unique<sim::Daemon>(clock_, options, nullptr);
    std::string error;
    ASSERT_TRUE(daemon_->Start(error)) << error;
    socketPath = daemon_->socketPath(0);
    ASSERT_EQ(::pipe(control_), 0);
    ASSERT_EQ(::pipe(stop_), 0);
    thread_ = std::thread([this] { daemon_->Run(control_[0], stop_[0]); });
  }

  void TearDown() override {
    if (thread_.joinable()) {
      const char byte = 1;
      EXPECT_EQ(::write(stop_[1], &byte, 1), 1);
      thread_.join();
    }
    for (int fd : {control_[0], control_[1], stop_[0], stop_[1]}) ::close(fd);
    daemon_.reset();
    if (oldRuntime_.empty()) {
      ::unsetenv("XDG_RUNTIME_DIR");
    } else {
      ::setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    }
    std::filesystem::remove_all(runtime_);
  }

  void Control(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(::write(control_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  bool SocketExists() const { return std::filesystem::exists(socketPath); }

  std::string directory;
  std::string socketPath;

 private:
  platform::SystemClock clock_;
  std::unique_ptr<sim::Daemon> daemon_;
  std::string runtime_;
  std::string oldRuntime_;
  int control_[2] = {-1, -1};
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

TEST_F(EndpointTest, DeviceLinkWorksOverTheSocket) {
  platform::SystemClock clock;
  platform::SocketDriver driver;
  device::DeviceLink link(driver, clock);
  ASSERT_TRUE(link.FindDevice());
  EXPECT_EQ(link.driverDescription, sim::DEFAULT_DESCRIPTION);
  EXPECT_EQ(link.identity.driverMinor, 7);

  std::uint8_t reply[64] = {};
  std::uint32_t returned = 0;
  ASSERT_TRUE(link.Request(device::CMD_READ_VERSIONS, reply, 4, returned));
  EXPECT_EQ(std::vector<std::uint8_t>(reply, reply + returned),
            (std::vector<std::uint8_t>{0x22, 0x01, 0x03, 0x00}));
  ASSERT_TRUE(link.Request(device::CMD_READ_UID, reply, 12, returned));
  EXPECT_EQ(std::vector<std::uint8_t>(reply, reply + returned),
            std::vector<std::uint8_t>(sim::DEFAULT_UID.begin(), sim::DEFAULT_UID.end()));
  EXPECT_EQ(link.ExecuteCommand(device::CMD_ICTRL_RECALIBRATE, 20, 200), device::RESULT_OK);

  const std::vector<std::uint8_t> exchange{0x08, 0x00, 0x50, 0xC3, 0x02, 0x00};
  ASSERT_TRUE(link.RequestAccepted(exchange));
  EXPECT_EQ(link.QueryRelayed(std::vector<std::uint8_t>{0x08, 0x02, sim::EXT_INFO}, reply, 64), 62);

  // A general-application image: the link drops after the check, the socket goes for the
  // reboot, and the instrument comes back with the image's version.
  const std::vector<std::uint8_t> image = sim::BuildFirmwareImage(0x0123, 2000);
  ASSERT_TRUE(link.RequestAccepted(std::vector<std::uint8_t>{0x09, 0xD0, 0x07, 0x00}));
  ASSERT_TRUE(link.WriteChunked(image, reply, 1, returned));
  EXPECT_EQ(reply[0], device::REPLY_BUSY);
  for (int poll = 0; poll < 4 && reply[0] == device::REPLY_BUSY; ++poll) {
    clock.Sleep(50);
    ASSERT_TRUE(link.Request(device::CMD_STATUS_POLL, reply, 4, returned));
  }
  EXPECT_EQ(reply[0], device::REPLY_OK);
  link.Close();
  EXPECT_TRUE(WaitFor([&] { return !SocketExists(); }));
  bool found = false;
  for (int attempt = 0; attempt < 20 && !found; ++attempt) {
    found = link.FindDevice();
    if (!found) clock.Sleep(100);
  }
  ASSERT_TRUE(found);
  ASSERT_TRUE(link.Request(device::CMD_READ_VERSIONS, reply, 4, returned));
  EXPECT_EQ(reply[0] | (reply[1] << 8), 0x0123);
}

TEST_F(EndpointTest, EnumeratesOnlySocketsNamedDotSockInByteOrder) {
  struct stat info {};
  ASSERT_EQ(::stat(directory.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  // Another instrument socket before ours, and files that are no instruments.
  const int other = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string otherPath = directory + "/Z.sock";
  std::strncpy(address.sun_path, otherPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  std::FILE* plain = std::fopen((directory + "/a.sock").c_str(), "w");
  std::fclose(plain);
  plain = std::fopen((directory + "/notes.txt").c_str(), "w");
  std::fclose(plain);

  platform::SocketDriver driver;
  ASSERT_TRUE(driver.BeginEnumeration());
  std::string path;
  ASSERT_EQ(driver.InterfacePath(0, path), platform::EnumResult::Found);
  EXPECT_EQ(path, otherPath);  // 'Z' sorts before 's'
  ASSERT_EQ(driver.InterfacePath(1, path), platform::EnumResult::Found);
  EXPECT_EQ(path, socketPath);
  EXPECT_EQ(driver.InterfacePath(2, path), platform::EnumResult::NoMoreItems);
  driver.EndEnumeration();
  ::close(other);
}

TEST_F(EndpointTest, ASecondClientIsRefusedWhileOneHoldsTheInstrument) {
  platform::SocketDriver driver(directory, kShortLimitMs);
  const platform::DeviceHandle first = driver.Open(socketPath);
  ASSERT_NE(first, platform::kInvalidHandle);
  const int raw = ConnectRaw(socketPath);
  std::uint8_t answer[2] = {0xFF, 0xFF};
  EXPECT_EQ(::recv(raw, answer, 2, 0), 1);
  EXPECT_EQ(answer[0], ep::OPEN_REFUSED);
  EXPECT_EQ(::recv(raw, answer, 2, 0), 0);  // and hung up
  ::close(raw);
  EXPECT_EQ(driver.Open(socketPath), platform::kInvalidHandle);
  driver.Close(first);
  const platform::DeviceHandle next = driver.Open(socketPath);
  EXPECT_NE(next, platform::kInvalidHandle);
  driver.Close(next);
}

TEST_F(EndpointTest, FramesOutsideTheLimitsCloseTheConnectionAndTheNextClientIsServed) {
  struct Case {
    const char* name;
    std::uint32_t inputLength;
    std::uint32_t capacity;
  };
  const Case cases[] = {{"input too long", 4097, 1},
                        {"capacity too large", 2, 4097},
                        {"both far out", 0xFFFFFFFF, 0xFFFFFFFF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int raw = ConnectRaw(socketPath);
    std::uint8_t byte = 0;
    ASSERT_EQ(::recv(raw, &byte, 1, 0), 1);
    ASSERT_EQ(byte, ep::OPEN_ACCEPTED);
    const std::vector<std::uint8_t> frame =
        Frame(device::IOCTL_DEVICE_COMMAND, c.inputLength, c.capacity, {0x03, 0x03});
    ASSERT_EQ(::send(raw, frame.data(), frame.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(frame.size()));
    EXPECT_EQ(::recv(raw, &byte, 1, 0), 0);
    ::close(raw);
  }
  platform::SocketDriver driver(directory, kShortLimitMs);
  platform::SystemClock clock;
  device::DeviceLink link(driver, clock);
  ASSERT_TRUE(link.FindDevice());
  // The port never sends such frames: it fails them and keeps the connection.
  std::vector<std::uint8_t> big(4097, 0x03);
  std::uint32_t returned = 0;
  EXPECT_FALSE(driver.Control(link.deviceHandle, device::IOCTL_DEVICE_COMMAND, big.data(), 4097,
                              nullptr, 0, returned));
  std::uint8_t uid[12] = {};
  EXPECT_TRUE(link.Request(device::CMD_READ_UID, uid, 12, returned));
}

TEST_F(EndpointTest, AReplyThatNeverComesFailsAfterTheLimitAndTheLinkStaysDead) {
  Control("fault silent 0303 1");
  platform::SocketDriver driver(directory, kShortLimitMs);
  platform::SystemClock clock;
  device::DeviceLink link(driver, clock);
  ASSERT_TRUE(link.FindDevice());
  std::uint8_t reply[12] = {};
  std::uint32_t returned = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(link.Request(device::CMD_READ_UID, reply, 12, returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_GE(ElapsedMs(start), static_cast<long>(kShortLimitMs) - 10);
  EXPECT_LT(ElapsedMs(start), 3000);
  // A late reply must never be taken for the answer to the next request.
  EXPECT_FALSE(link.Request(device::CMD_READ_VERSIONS, reply, 4, returned));
  link.Close();
  ASSERT_TRUE(WaitFor([&] { return link.FindDevice(); }));
  EXPECT_TRUE(link.Request(device::CMD_READ_UID, reply, 12, returned));
}

TEST_F(EndpointTest, UnplugDuringARequestFailsItAtOnceAndRemovesTheSocket) {
  Control("fault silent 0303");
  platform::SocketDriver driver(directory, 5000);
  platform::SystemClock clock;
  device::DeviceLink link(driver, clock);
  ASSERT_TRUE(link.FindDevice());
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Control("unplug");
  });
  std::uint8_t reply[12] = {};
  std::uint32_t returned = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(link.Request(device::CMD_READ_UID, reply, 12, returned));
  EXPECT_LT(ElapsedMs(start), 2000);
  unplug.join();
  EXPECT_FALSE(SocketExists());
  link.Close();
  EXPECT_FALSE(link.FindDevice());
  Control("clear");
  Control("plug");
  ASSERT_TRUE(WaitFor([&] { return link.FindDevice(); }));
}

// A hand-made instrument that answers every request with scripted bytes, for the replies a
// correct instrument never sends.
class ScriptedInstrument {
 public:
  ScriptedInstrument(const std::string& path, std::vector<std::uint8_t> reply, bool hangUp)
      : path_(path) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    (void)::bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    (void)::listen(listen_, 1);
    thread_ = std::thread([this, reply, hangUp] {
      const int client = ::accept(listen_, nullptr, nullptr);
      if (client < 0) return;
      const std::uint8_t opened = ep::OPEN_ACCEPTED;
      (void)::send(client, &opened, 1, MSG_NOSIGNAL);
      std::uint8_t request[64];
      if (::recv(client, request, sizeof request, 0) > 0) {
        (void)::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      if (hangUp) {
        ::close(client);
        return;
      }
      // Stay connected until the client hangs up.
      while (::recv(client, request, sizeof request, 0) > 0) {
      }
      ::close(client);
    });
  }
  ~ScriptedInstrument() {
    thread_.join();
    ::close(listen_);
    ::unlink(path_.c_str());
  }

 private:
  std::string path_;
  int listen_ = -1;
  std::thread thread_;
};

std::vector<std::uint8_t> ReplyBytes(std::uint32_t ok, std::uint32_t returned,
                                     std::vector<std::uint8_t> payload) {
  std::vector<std::uint8_t> bytes(8 + payload.size());
  ep::PutU32(bytes.data(), ok);
  ep::PutU32(bytes.data() + 4, returned);
  std::copy(payload.begin(), payload.end(), bytes.begin() + 8);
  return bytes;
}

TEST_F(EndpointTest, MalformedRepliesFailTheRequestWithoutHangingOrCrashing) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> reply;
    bool hangUp;
  };
  const Case cases[] = {
      {"ok neither 0 nor 1", ReplyBytes(2, 1, {0xAA}), false},
      {"more than the capacity", ReplyBytes(1, 5, {1, 2, 3, 4, 5}), false},
      {"a failure with bytes", ReplyBytes(0, 1, {0xAA}), false},
      {"bytes beyond the count", ReplyBytes(1, 1, {0xAA, 0xBB}), false},
      {"header cut short", {1, 0, 0}, true},
      {"payload cut short", ReplyBytes(1, 4, {0xAA}), true},
      {"payload never completed", ReplyBytes(1, 4, {0xAA}), false},
      {"hung up without a reply", {}, true},
  };
  const std::string path = directory + "/scripted.sock";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedInstrument scripted(path, c.reply, c.hangUp);
    platform::SocketDriver driver(directory, kShortLimitMs);
    const platform::DeviceHandle handle = driver.Open(path);
    ASSERT_NE(handle, platform::kInvalidHandle);
    std::uint8_t output[4] = {0x11, 0x11, 0x11, 0x11};
    std::uint32_t returned = 99;
    const auto start = Clock::now();
    EXPECT_FALSE(driver.Control(handle, device::IOCTL_DEVICE_COMMAND,
                                device::CMD_STATUS_POLL.data(), 2, output, 4, returned));
    EXPECT_EQ(returned, 0u);
    EXPECT_LT(ElapsedMs(start), 3000);
    EXPECT_FALSE(driver.Control(handle, device::IOCTL_DEVICE_COMMAND,
                                device::CMD_STATUS_POLL.data(), 2, output, 4, returned));
    driver.Close(handle);
  }
}

TEST(EndpointDirectory, FollowsTheRuntimeDirectoryOrFallsBackToTmp) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
  EXPECT_EQ(ep::DevicesDirectory(), "/run/user/77/veltra/devices");
  ::setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(ep::DevicesDirectory(), "/tmp/veltra-" + std::to_string(::getuid()) + "/devices");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(ep::DevicesDirectory(), "/tmp/veltra-" + std::to_string(::getuid()) + "/devices");
  if (!saved.empty()) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
