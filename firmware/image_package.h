#pragma once

#include <cstdint>
#include <memory>

namespace firmware {

// One firmware image held in memory. A slot is loaded while `data` is present; `size` is then
// the number of bytes it holds.
struct ImageSlot {
  std::uint16_t version = 0;
  std::int16_t listRow = 0;
  std::unique_ptr<std::uint8_t[]> data;
  std::uint32_t size = 0;

  [[nodiscard]] bool IsLoaded() const { return data != nullptr; }
  // Releases the buffer and sets every field to zero.
  void Empty() { *this = ImageSlot{}; }
};

constexpr int SLOT_GENERAL_APP = 0;  // "GC"
constexpr int SLOT_INPUTS_CTRL = 1;  // "IC"
constexpr int SLOT_COUNT = 2;

// The firmware package the main window holds: the two slots and the compatibility condition.
struct ImagePackage {
  ImageSlot slots[SLOT_COUNT];
  int loadedCount = 0;
  std::uint32_t requiredHwVersion = 0;  // "mIMF": the hardware version the device must report
  std::uint32_t driverMinorRange = 0;   // "MIMF": bits 0-15 lowest minor, 16-31 first refused
};

}  // namespace firmware
