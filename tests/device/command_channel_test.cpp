#include <array>
#include <numeric>
#include <optional>

#include "device/protocol.h"
#include "tests/device/link_fixture.h"

namespace {

using device_test::LinkTest;
using platform::fake::Bytes;
using platform::fake::Hex;
using platform::fake::Reply;

constexpr std::array<std::uint8_t, 2> kCommand{0x07, 0x03};

// ---- Bare requests ------------------------------------------------------------------------

TEST_F(LinkTest, RequestAcceptedWantsOneOkByteAlone) {
  struct Case {
    const char* name;
    Reply reply;
    bool accepted;
  };
  const Case cases[] = {
      {"ok", Reply::Answer("AA"), true},
      {"ok, more offered than asked", Reply::Answer("AA 01"), true},
      {"last fragment", Reply::Answer("AB"), false},
      {"busy", Reply::Answer("A0"), false},
      {"nothing returned", Reply::Answer({}), false},
      {"failed", Reply::Failure(), false},
  };
  OpenDevice();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    driver.Expect(kCommand).Capacity(1).reply = c.reply;
    EXPECT_EQ(link.RequestAccepted(kCommand), c.accepted);
  }
}

TEST_F(LinkTest, NoRequestReachesTheDriverWithoutAnOpenDevice) {
  std::uint32_t returned = 5;
  std::uint8_t reply = 0;
  EXPECT_FALSE(link.Request(kCommand, &reply, 1, returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_FALSE(link.RequestAccepted(kCommand));
  EXPECT_EQ(link.ExecuteCommand(kCommand, 20, 60), 0u);
  EXPECT_EQ(link.QueryRelayed(kCommand, &reply, 1), -1);
  EXPECT_TRUE(driver.requests.empty());
}

// ---- ExecuteCommand -----------------------------------------------------------------------

TEST_F(LinkTest, ExecuteCommandPollsWhileBusyAndPacksTheLastReply) {
  struct Case {
    const char* name;
    std::int32_t intervalMs;
    std::int32_t timeoutMs;
    Reply first;
    std::vector<Reply> polls;  // exactly the polls expected, in order
    std::uint32_t result;
  };
  const Reply busy = Reply::Answer("A0");
  const Reply ok = Reply::Answer("AA");
  const Case cases[] = {
      {"ok at once", 20, 60, ok, {}, 0x010000AA},
      {"refused at once", 20, 60, Reply::Answer("55"), {}, 0x01000055},
      {"first request fails", 20, 60, Reply::Failure(), {}, 0},
      {"first request returns nothing", 20, 60, Reply::Answer({}), {}, 0},
      {"busy, busy, ok", 20, 60, busy, {busy, busy, ok}, 0x010000AA},
      {"busy throughout", 20, 60, busy, {busy, busy, busy}, 0x010000A0},
      {"timeout not a multiple of the interval", 20, 50, busy, {busy, busy, busy}, 0x010000A0},
      {"timeout 0", 20, 0, busy, {}, 0x010000A0},
      {"negative timeout", 20, -5, busy, {}, 0x010000A0},
      {"busy with data stops", 20, 60, busy, {Reply::Answer("A0 01")}, 0x020001A0},
      {"ok with two data bytes", 20, 60, busy, {Reply::Answer("AA 34 12")}, 0x031234AA},
      {"fourth byte not reported", 20, 60, busy, {Reply::Answer("AA 34 12 56")}, 0x041234AA},
      {"four-byte busy goes on", 20, 40, busy, {Reply::Answer("A0 00 00 00"), busy}, 0x010000A0},
      {"failed poll", 20, 60, busy, {Reply::Failure()}, 0x000000A0},
      {"empty poll", 20, 60, busy, {Reply::Answer({})}, 0x000000A0},
      {"no interval: one poll per ms of timeout", 0, 3, busy, {busy, busy, busy}, 0x010000A0},
      {"negative interval", -20, 2, busy, {busy, busy}, 0x010000A0},
      {"no interval, ok at the second poll", 0, 3, busy, {busy, ok}, 0x010000AA},
  };
  OpenDevice();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    driver.requests.clear();
    clock.sleeps.clear();
    driver.Expect(kCommand).Capacity(1).reply = c.first;
    for (const auto& poll : c.polls)
      driver.Expect(device::CMD_STATUS_POLL).Capacity(4).reply = poll;

    EXPECT_EQ(link.ExecuteCommand(kCommand, c.intervalMs, c.timeoutMs), c.result);
    EXPECT_EQ(driver.requests.size(), 1 + c.polls.size());
    // One sleep of the interval (none below 0) before each poll.
    const std::uint32_t sleep = c.intervalMs > 0 ? static_cast<std::uint32_t>(c.intervalMs) : 0;
    EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(c.polls.size(), sleep));
    EXPECT_EQ(driver.Problems(), "");
  }
}

TEST_F(LinkTest, ExecuteCommandWithoutIntervalEndsEvenOnALongTimeout) {
  OpenDevice();
  driver.Expect(kCommand).Answer("A0");
  driver.Always("03 04", "A0");
  EXPECT_EQ(link.ExecuteCommand(kCommand, 0, 1000), 0x010000A0u);
  EXPECT_EQ(driver.CountCommands("03 04"), 1000);
}

// ---- WriteChunked -------------------------------------------------------------------------

TEST_F(LinkTest, WriteChunkedSendsConsecutivePiecesAndAsksTheReplyOnlyOnTheLast) {
  struct Case {
    const char* name;
    std::size_t length;
    std::vector<std::size_t> pieces;
    std::optional<std::size_t> failingPiece;
    bool result;
    std::uint32_t returnedCount;
    const char* reply;
  };
  const Case cases[] = {
      {"1025 bytes", 1025, {512, 512, 1}, std::nullopt, true, 1, "AA"},
      {"exactly one piece", 512, {512}, std::nullopt, true, 1, "AA"},
      {"two full pieces", 1024, {512, 512}, std::nullopt, true, 1, "AA"},
      {"one byte", 1, {1}, std::nullopt, true, 1, "AA"},
      {"nothing to send", 0, {}, std::nullopt, true, 77, "5A"},
      {"middle piece fails", 1025, {512, 512}, 1, false, 0, "5A"},
      {"last piece fails", 1025, {512, 512, 1}, 2, false, 0, "5A"},
  };
  OpenDevice();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> data(c.length);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::size_t offset = 0;
    for (std::size_t p = 0; p < c.pieces.size(); ++p) {
      const bool last = offset + c.pieces[p] == c.length;
      const auto begin = data.begin() + static_cast<std::ptrdiff_t>(offset);
      auto& piece = driver
                        .Expect(std::vector<std::uint8_t>(
                            begin, begin + static_cast<std::ptrdiff_t>(c.pieces[p])))
                        .Capacity(last ? 1 : 0)
                        .Answer(last ? "AA" : "");
      if (c.failingPiece == p) piece.Fail();
      offset += c.pieces[p];
    }
    std::uint8_t reply = 0x5A;
    std::uint32_t returnedCount = 77;

    EXPECT_EQ(link.WriteChunked(data, &reply, 1, returnedCount), c.result);
    EXPECT_EQ(returnedCount, c.returnedCount);
    EXPECT_EQ(Hex(std::span(&reply, 1)), c.reply);
    EXPECT_EQ(driver.Problems(), "");
  }
  EXPECT_TRUE(clock.sleeps.empty());
}

// ---- QueryRelayed -------------------------------------------------------------------------

// The 16 payload bytes 10 11 ... 1F and the 4 bytes 20 21 22 23.
const char* const kSixteen = "AA 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F";

TEST_F(LinkTest, QueryRelayedCollectsTheFragments) {
  struct Case {
    const char* name;
    std::vector<Reply> reads;  // exactly the relay reads expected, in order
    std::uint32_t capacity;
    std::int32_t result;
    const char* stored;  // the buffer's first `capacity` bytes afterwards (EE: untouched)
  };
  const Reply emptyOk = Reply::Answer("AA");
  const Reply failed = Reply::Failure();
  const Case cases[] = {
      {"one last fragment", {Reply::Answer("AB 01 02 03 04 05")}, 8, 5, "01 02 03 04 05 EE EE EE"},
      {"more than fits",
       {Reply::Answer(kSixteen), Reply::Answer("AB 20 21 22 23")},
       16,
       20,
       "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F"},
      {"fragments join", {Reply::Answer("AA 01 02"), Reply::Answer("AB 03")}, 4, 3, "01 02 03 EE"},
      {"three empty oks", {emptyOk, emptyOk, emptyOk}, 4, 0, "EE EE EE EE"},
      {"two more tries after payload", {Reply::Answer("AA 01"), emptyOk, emptyOk}, 2, 1, "01 EE"},
      {"last alone", {Reply::Answer("AB")}, 2, 0, "EE EE"},
      {"first status refused", {Reply::Answer("55 01 02")}, 2, 0, "EE EE"},
      {"busy status ends too", {Reply::Answer("AA 01"), Reply::Answer("A1 02")}, 2, 1, "01 EE"},
      {"failed reads", {failed, failed, failed}, 2, -1, "EE EE"},
      {"empty read", {Reply::Answer({}), emptyOk, emptyOk}, 2, -1, "EE EE"},
      {"last alone after a failure", {failed, Reply::Answer("AB")}, 2, -1, "EE EE"},
      {"payload, then failures", {Reply::Answer("AA 01"), failed, failed}, 2, -1, "01 EE"},
      {"zero capacity", {Reply::Answer("AB 01 02")}, 0, 2, ""},
  };
  OpenDevice();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clock.sleeps.clear();
    driver.requests.clear();
    driver.Expect(kCommand).Capacity(1).Answer("AA");
    for (const auto& read : c.reads)
      driver.Expect(device::CMD_RELAY_READ).Capacity(17).reply = read;
    std::vector<std::uint8_t> buffer(c.capacity, 0xEE);

    EXPECT_EQ(link.QueryRelayed(kCommand, buffer.data(), c.capacity), c.result);
    EXPECT_EQ(Hex(buffer), c.stored);
    EXPECT_EQ(driver.requests.size(), 1 + c.reads.size());
    EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(c.reads.size(), 10));
    EXPECT_EQ(driver.Problems(), "");
  }
}

TEST_F(LinkTest, FragmentAfterAFailedReadStartsAtTheBufferStart) {
  OpenDevice();
  driver.Expect(kCommand).Answer("AA");
  driver.Expect(device::CMD_RELAY_READ).Answer("AA 01 02");
  driver.Expect(device::CMD_RELAY_READ).Fail();
  driver.Expect(device::CMD_RELAY_READ).Answer("AA 03 04 05");
  driver.Expect(device::CMD_RELAY_READ).Answer("AB 06 07");
  // Guard bytes on both sides of the caller's four bytes.
  std::array<std::uint8_t, 8> memory;
  memory.fill(0xEE);

  EXPECT_EQ(link.QueryRelayed(kCommand, memory.data() + 2, 4), 5);
  EXPECT_EQ(Hex(memory), "EE EE 03 04 05 06 EE EE");
}

TEST_F(LinkTest, QueryRelayedNeedsTheCommandAcceptedWithoutData) {
  struct Case {
    const char* name;
    Reply first;
    std::vector<Reply> polls;
    std::int32_t result;
  };
  const Case cases[] = {
      {"refused", Reply::Answer("55"), {}, -1},
      {"failed", Reply::Failure(), {}, -1},
      {"completed with data", Reply::Answer("A0"), {Reply::Answer("AA 01")}, -1},
      {"busy, then ok alone", Reply::Answer("A0"), {Reply::Answer("AA")}, 3},
  };
  OpenDevice();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clock.sleeps.clear();
    driver.Expect(kCommand).Capacity(1).reply = c.first;
    for (const auto& poll : c.polls) driver.Expect(device::CMD_STATUS_POLL).reply = poll;
    if (c.result >= 0) driver.Expect(device::CMD_RELAY_READ).Answer("AB 01 02 03");
    std::array<std::uint8_t, 4> buffer{};

    EXPECT_EQ(link.QueryRelayed(kCommand, buffer.data(), 4), c.result);
    EXPECT_EQ(driver.Problems(), "");
  }
  EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{20, 10}));  // the last case's poll and read
}

TEST_F(LinkTest, QueryRelayedGivesUpOnACommandStillBusyAfterOneSecond) {
  OpenDevice();
  driver.Expect(kCommand).Answer("A0");
  driver.Always("03 04", "A0");
  std::array<std::uint8_t, 4> buffer{};

  EXPECT_EQ(link.QueryRelayed(kCommand, buffer.data(), 4), -1);
  EXPECT_EQ(driver.CountCommands("03 04"), 50);
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(50, 20));
  EXPECT_EQ(clock.NowMs(), 1000u);
}

}  // namespace
