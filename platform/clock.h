#pragma once

#include <cstdint>

namespace platform {

// The one source of time for the tool and the simulated instrument. Nothing reads a real clock
// directly: tests hand in a virtual clock that Sleep advances, programs hand in the system clock.
class Clock {
 public:
  virtual ~Clock() = default;
  [[nodiscard]] virtual std::uint64_t NowMs() const = 0;
  virtual void Sleep(std::uint32_t ms) = 0;
};

// Real time, for the programs: milliseconds since an arbitrary start, and a blocking sleep.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] std::uint64_t NowMs() const override;
  void Sleep(std::uint32_t ms) override;
};

// A clock that only moves when it sleeps: every wait is exact and costs no real time.
class VirtualClock : public Clock {
 public:
  [[nodiscard]] std::uint64_t NowMs() const override { return nowMs_; }
  void Sleep(std::uint32_t ms) override { nowMs_ += ms; }
  void Advance(std::uint64_t ms) { nowMs_ += ms; }

 private:
  std::uint64_t nowMs_ = 0;
};

}  // namespace platform
