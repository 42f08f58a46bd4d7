#include "firmware/package_reader.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace firmware {

namespace {

std::uint16_t ReadLe16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The slot a record tag fills, or -1 for a tag that ends the package.
int SlotOfTag(const std::uint8_t* tag) {
  if (std::memcmp(tag, TAG_GENERAL_APP, sizeof TAG_GENERAL_APP) == 0) return SLOT_GENERAL_APP;
  if (std::memcmp(tag, TAG_INPUTS_CTRL, sizeof TAG_INPUTS_CTRL) == 0) return SLOT_INPUTS_CTRL;
  return -1;
}

}  // namespace

std::size_t MemorySource::Read(std::uint8_t* buffer, std::size_t count) {
  const std::size_t available = size_ - position_;
  const std::size_t taken = count < available ? count : available;
  if (taken != 0) std::memcpy(buffer, data_ + position_, taken);
  position_ += taken;
  return taken;
}

const char* ReadPackage(ByteSource& source, ImagePackage& package, RowSink& rows) {
  for (ImageSlot& slot : package.slots) slot.Empty();
  package.loadedCount = 0;
  package.driverMinorRange = 0;
  package.requiredHwVersion = 0;

  std::uint8_t header[FILE_HEADER_SIZE];
  if (source.Read(header, sizeof header) < sizeof header) return RESULT_READ_FAILURE;
  const std::uint32_t value = ReadLe32(header + 4);
  if (std::memcmp(header, MAGIC_DRIVER_RANGE, sizeof MAGIC_DRIVER_RANGE) == 0) {
    package.driverMinorRange = value;
  } else if (std::memcmp(header, MAGIC_HW_VERSION, sizeof MAGIC_HW_VERSION) == 0) {
    package.requiredHwVersion = value & 0xFFFF;
  }
  // A package must say which instruments it suits; one that does not is not read further.
  if (package.requiredHwVersion == 0 && package.driverMinorRange == 0) return RESULT_BAD_FORMAT;

  int nextRow = 0;
  for (;;) {
    std::uint8_t record[RECORD_HEADER_SIZE];
    if (source.Read(record, sizeof record) < sizeof record) break;
    const int slotIndex = SlotOfTag(record);
    if (slotIndex < 0) break;
    ImageSlot& slot = package.slots[slotIndex];
    slot.version = ReadLe16(record + 2);
    const std::uint32_t size = ReadLe32(record + 4);
    if (size == 0) continue;

    // The size is untrusted: a record claiming more than the file still holds is cut short,
    // and that is known before any buffer is allocated for it.
    slot.data.reset();
    if (size <= source.Remaining()) slot.data.reset(new (std::nothrow) std::uint8_t[size]);
    slot.size = size;
    const int inserted = rows.AddRow(nextRow, slotIndex, slot);
    // A file of many small records can make more rows than a slot can name; such a slot has
    // no row of its own rather than the wrapped index of another.
    slot.listRow = inserted <= INT16_MAX ? static_cast<std::int16_t>(inserted) : -1;
    nextRow = inserted + 1;

    // A record cut short, or one whose buffer could not be had, keeps its row but not its
    // image. Nothing after it can be read in order, so the package ends there.
    if (!slot.IsLoaded() || source.Read(slot.data.get(), size) < size) {
      slot.Empty();
      break;
    }
    ++package.loadedCount;
  }
  return package.loadedCount != 0 ? nullptr : RESULT_READ_FAILURE;
}

const char* SlotTypeName(int slotIndex) {
  return slotIndex == SLOT_GENERAL_APP ? "General application" : "Inputs controller";
}

std::string FormatImageVersion(std::uint16_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", version >> 8, version & 0xFF);
  return text;
}

std::string FormatImageSize(std::uint32_t size) {
  // Written with a decimal point whatever the process locale: a window toolkit may switch the C
  // locale to one whose separator is a comma, and printf would follow it.
  char text[32];
  const auto converted =
      std::to_chars(text, text + sizeof text, size * (1.0 / 1024), std::chars_format::fixed, 3);
  return std::string(text, converted.ptr);
}

}  // namespace firmware
