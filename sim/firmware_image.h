#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The simulated firmware's footer. A real instrument learns the version of a new application
// from the application itself; the simulated one reads it from the last 8 bytes of the image:
//
//   offset size-8: "VSFW"                      magic
//   offset size-4: version, u16 little-endian  high byte major, low byte minor (0x0122 = 1.34)
//   offset size-2: check, u16 little-endian    sum of every byte before the check, modulo 65536
//
// An image that ends in such a footer changes the version the instrument reports after it was
// burnt. An image without the magic is burnt as well but leaves the version as it was. An image
// with the magic and a wrong check fails the instrument's image check.
namespace sim {

constexpr std::size_t FIRMWARE_FOOTER_SIZE = 8;
constexpr std::array<std::uint8_t, 4> FIRMWARE_FOOTER_MAGIC{'V', 'S', 'F', 'W'};

enum class FooterState {
  Missing,  // the image does not end in the magic
  Valid,    // the magic, a version and a matching check
  Corrupt,  // the magic with a check that does not match the image
};

// Judges a whole image. `version` is set only for a valid footer.
[[nodiscard]] FooterState ReadFirmwareFooter(std::span<const std::uint8_t> image,
                                             std::uint16_t& version);

// Writes the footer for `version` into the last 8 bytes of `image`, with the check over all
// the bytes before it. Returns false when the image is shorter than the footer.
[[nodiscard]] bool SealFirmwareImage(std::span<std::uint8_t> image, std::uint16_t version);

// A complete image of `size` bytes (at least the footer) whose body is a reproducible
// pseudo-random pattern chosen by `seed`, sealed with `version`. Returns an empty image when
// `size` is too small.
[[nodiscard]] std::vector<std::uint8_t> BuildFirmwareImage(std::uint16_t version, std::size_t size,
                                                           std::uint32_t seed = 1);

// Judges an image that arrives in pieces without keeping it: the running sum and the last
// bytes are all the footer needs, so even a 16 MiB image costs no memory.
class FirmwareReceiver {
 public:
  void Start(std::uint32_t expectedSize);
  // Takes the next piece; returns how many of its bytes fit into the announced size.
  std::size_t Feed(std::span<const std::uint8_t> piece);
  [[nodiscard]] bool Complete() const { return received_ == expected_; }
  [[nodiscard]] std::uint32_t received() const { return received_; }
  [[nodiscard]] std::uint32_t expected() const { return expected_; }
  // Judges the received image like ReadFirmwareFooter; only meaningful once Complete().
  [[nodiscard]] FooterState Judge(std::uint16_t& version) const;

 private:
  std::uint32_t expected_ = 0;
  std::uint32_t received_ = 0;
  std::uint64_t sum_ = 0;
  std::array<std::uint8_t, FIRMWARE_FOOTER_SIZE> tail_{};  // the last bytes, oldest first
};

}  // namespace sim
