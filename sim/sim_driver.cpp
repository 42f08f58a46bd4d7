#include "sim/sim_driver.h"

namespace sim {

Instrument& SimDriver::Add(InstrumentConfig config) {
  instruments_.push_back(std::make_unique<Instrument>(clock_, std::move(config)));
  return *instruments_.back();
}

std::string SimDriver::PathOf(const Instrument& instrument) {
  return "sim/" + instrument.config().name;
}

bool SimDriver::BeginEnumeration() {
  snapshot_.clear();
  for (std::size_t i = 0; i < instruments_.size(); ++i) {
    if (instruments_[i]->IsPresent()) snapshot_.push_back(i);
  }
  return true;
}

platform::EnumResult SimDriver::InterfacePath(std::uint32_t index, std::string& path) {
  if (index >= snapshot_.size()) return platform::EnumResult::NoMoreItems;
  path = PathOf(*instruments_[snapshot_[index]]);
  return platform::EnumResult::Found;
}

void SimDriver::EndEnumeration() {
  snapshot_.clear();
}

bool SimDriver::Held(std::size_t index) const {
  for (const auto& [handle, session] : sessions_) {
    if (session.index == index && session.generation == instruments_[index]->linkGeneration()) {
      return true;
    }
  }
  return false;
}

platform::DeviceHandle SimDriver::Open(const std::string& path) {
  for (std::size_t i = 0; i < instruments_.size(); ++i) {
    Instrument& instrument = *instruments_[i];
    if (PathOf(instrument) != path) continue;
    // Opening is exclusive, like the real driver's: a second open fails while one is held.
    if (!instrument.IsPresent() || Held(i)) return platform::kInvalidHandle;
    const platform::DeviceHandle handle = nextHandle_++;
    sessions_[handle] = Session{i, instrument.linkGeneration()};
    return handle;
  }
  return platform::kInvalidHandle;
}

bool SimDriver::Control(platform::DeviceHandle handle, std::uint32_t code,
                        const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
                        std::uint32_t outputCapacity, std::uint32_t& returned) {
  returned = 0;
  const auto it = sessions_.find(handle);
  if (it == sessions_.end()) return false;
  Instrument& instrument = *instruments_[it->second.index];
  // A handle from before a drop of the link stays dead, even when the instrument is back.
  if (!instrument.IsPresent() || instrument.linkGeneration() != it->second.generation) {
    return false;
  }
  switch (instrument.Control(code, input, inputLength, output, outputCapacity, returned)) {
    case Outcome::Replied:
      return true;
    case Outcome::Silent:
      clock_.Sleep(replyTimeoutMs);
      returned = 0;
      return false;
    case Outcome::Failed:
    case Outcome::Dropped:
      returned = 0;
      return false;
  }
  return false;
}

void SimDriver::Close(platform::DeviceHandle handle) {
  const auto it = sessions_.find(handle);
  if (it == sessions_.end()) return;
  Instrument& instrument = *instruments_[it->second.index];
  const bool current = instrument.linkGeneration() == it->second.generation;
  sessions_.erase(it);
  if (current) instrument.HostClosed();
}

}  // namespace sim
