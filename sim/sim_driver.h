#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/driver.h"
#include "sim/instrument.h"

namespace sim {

// The driver port in-process: the simulated instruments as the present interfaces of the
// driver's class, on the clock the test or the program hands in. A test runs the whole tool
// against it on a virtual clock, with every wait exact and no real time spent.
class SimDriver final : public platform::Driver {
 public:
  explicit SimDriver(platform::Clock& clock) : clock_(clock) {}

  // Adds an instrument; its device path is "sim/" followed by its name.
  Instrument& Add(InstrumentConfig config = {});
  [[nodiscard]] Instrument& instrument(std::size_t index) { return *instruments_[index]; }
  [[nodiscard]] std::size_t size() const { return instruments_.size(); }
  [[nodiscard]] static std::string PathOf(const Instrument& instrument);

  // How long a request waits for an instrument that never answers before it fails. The real
  // driver's limit; on a virtual clock the wait costs nothing.
  std::uint32_t replyTimeoutMs = 5000;

  [[nodiscard]] bool BeginEnumeration() override;
  [[nodiscard]] platform::EnumResult InterfacePath(std::uint32_t index, std::string& path) override;
  void EndEnumeration() override;
  [[nodiscard]] platform::DeviceHandle Open(const std::string& path) override;
  [[nodiscard]] bool Control(platform::DeviceHandle handle, std::uint32_t code,
                             const std::uint8_t* input, std::uint32_t inputLength,
                             std::uint8_t* output, std::uint32_t outputCapacity,
                             std::uint32_t& returned) override;
  void Close(platform::DeviceHandle handle) override;

  // The number of handles open now, stale ones included; a test checks that none leaks.
  [[nodiscard]] std::size_t openHandles() const { return sessions_.size(); }

 private:
  struct Session {
    std::size_t index;
    std::uint32_t generation;
  };
  [[nodiscard]] bool Held(std::size_t index) const;

  platform::Clock& clock_;
  std::vector<std::unique_ptr<Instrument>> instruments_;
  std::vector<std::size_t> snapshot_;
  std::map<platform::DeviceHandle, Session> sessions_;
  platform::DeviceHandle nextHandle_ = 0x100;
};

}  // namespace sim
