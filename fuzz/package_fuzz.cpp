// Fuzz target of the firmware package reader: any bytes as a package file.
#include <cstddef>
#include <cstdint>

#include "firmware/package_reader.h"

namespace {

// Checks what the reader promises about rows while it reads: contiguous, in file order.
class CheckedRows final : public firmware::RowSink {
 public:
  int AddRow(int row, int slotIndex, const firmware::ImageSlot& slot) override {
    if (row != count || slotIndex < 0 || slotIndex >= firmware::SLOT_COUNT || slot.size == 0) {
      __builtin_trap();
    }
    ++count;
    return row;
  }
  int count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  firmware::MemorySource source(data, size);
  firmware::ImagePackage package;
  CheckedRows rows;
  const char* result = firmware::ReadPackage(source, package, rows);

  // Success exactly when an image was read whole; a read image never exceeds the input.
  if ((result == nullptr) != (package.loadedCount != 0)) __builtin_trap();
  if (package.loadedCount > rows.count) __builtin_trap();
  std::size_t loadedBytes = 0;
  for (const firmware::ImageSlot& slot : package.slots) {
    if (!slot.IsLoaded()) continue;
    if (slot.size == 0 || slot.listRow >= rows.count) __builtin_trap();
    // Only a row index that a slot cannot hold leaves it without one.
    if (slot.listRow < 0 && rows.count <= INT16_MAX) __builtin_trap();
    // Touch every byte, so the sanitizer sees a buffer shorter than its size.
    std::uint8_t sum = 0;
    for (std::uint32_t i = 0; i < slot.size; ++i)
      sum = static_cast<std::uint8_t>(sum + slot.data[i]);
    (void)sum;
    loadedBytes += slot.size;
  }
  if (loadedBytes > size) __builtin_trap();
  return 0;
}
