#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "firmware/image_package.h"

// The firmware package file and its reader, independent of any window: the main window hands in
// the opened file and receives the image rows through a sink.
namespace firmware {

// The two magics of the 8-byte file header and the two record tags.
constexpr std::uint8_t MAGIC_DRIVER_RANGE[4] = {'M', 'I', 'M', 'F'};  // value: driver minor range
constexpr std::uint8_t MAGIC_HW_VERSION[4] = {'m', 'I', 'M', 'F'};    // value: hardware version
constexpr std::uint8_t TAG_GENERAL_APP[2] = {'G', 'C'};
constexpr std::uint8_t TAG_INPUTS_CTRL[2] = {'I', 'C'};
constexpr std::size_t FILE_HEADER_SIZE = 8;
constexpr std::size_t RECORD_HEADER_SIZE = 8;

// Result texts of reading a package; success has none.
constexpr const char* RESULT_UNABLE_TO_OPEN = "Unable to open file";
constexpr const char* RESULT_READ_FAILURE = "Filure to read file";
constexpr const char* RESULT_BAD_FORMAT = "Error file format";

// An opened package file, read once from front to back.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `count` bytes; fewer only at the end of the data or on a read error.
  [[nodiscard]] virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
  // How many bytes the source can still supply. The reader never allocates more than this for
  // a record, since the record sizes come from an untrusted file.
  [[nodiscard]] virtual std::uint64_t Remaining() const = 0;
};

// Opens a package file for reading. On Windows the file is opened with no sharing, so the open
// fails while another process holds the file. POSIX has no mandatory exclusive open; there the
// file is opened plainly, and anything but a regular file is refused. nullptr when the file
// cannot be opened. Closing is releasing the object.
[[nodiscard]] std::unique_ptr<ByteSource> OpenPackageFile(const char* path);

// A package already in memory, for tests, the fuzz target and tools.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  [[nodiscard]] std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  [[nodiscard]] std::uint64_t Remaining() const override { return size_ - position_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Receives one row per image record that gets a buffer, in file order.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Inserts a row for the image in `slotIndex` at index `row` and fills its texts; returns the
  // index at which the row was inserted, or -1 when none could be made.
  virtual int AddRow(int row, int slotIndex, const ImageSlot& slot) = 0;
};

// Reads a package into `package`, replacing whatever it held, and reports the image rows to
// `rows`. Returns nullptr when at least one image was read whole, otherwise
// RESULT_READ_FAILURE or RESULT_BAD_FORMAT.
//
// A record whose size exceeds what the source can still supply is cut short: its row is added,
// its slot is emptied, and reading ends there, all without allocating its buffer. A buffer that
// cannot be allocated is treated the same way.
[[nodiscard]] const char* ReadPackage(ByteSource& source, ImagePackage& package, RowSink& rows);

// Type name of a slot in the image list: "General application", "Inputs controller".
[[nodiscard]] const char* SlotTypeName(int slotIndex);
// "%d.%02d" with the high and low byte of an image version.
[[nodiscard]] std::string FormatImageVersion(std::uint16_t version);
// "%.3f" of the size in KiB, with a decimal point whatever the process locale.
[[nodiscard]] std::string FormatImageSize(std::uint32_t size);

}  // namespace firmware
