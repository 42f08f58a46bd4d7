#include "sim/firmware_image.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr std::size_t kCheckOffsetFromEnd = 2;
constexpr std::size_t kVersionOffsetFromEnd = 4;

FooterState JudgeTail(const std::uint8_t* tail, std::uint64_t sumOfAllBytes,
                      std::uint16_t& version) {
  if (std::memcmp(tail, FIRMWARE_FOOTER_MAGIC.data(), FIRMWARE_FOOTER_MAGIC.size()) != 0) {
    return FooterState::Missing;
  }
  const std::uint8_t* check = tail + FIRMWARE_FOOTER_SIZE - kCheckOffsetFromEnd;
  const std::uint16_t stored = static_cast<std::uint16_t>(check[0] | (check[1] << 8));
  const std::uint16_t computed =
      static_cast<std::uint16_t>((sumOfAllBytes - check[0] - check[1]) & 0xFFFF);
  if (stored != computed) return FooterState::Corrupt;
  const std::uint8_t* v = tail + FIRMWARE_FOOTER_SIZE - kVersionOffsetFromEnd;
  version = static_cast<std::uint16_t>(v[0] | (v[1] << 8));
  return FooterState::Valid;
}

}  // namespace

FooterState ReadFirmwareFooter(std::span<const std::uint8_t> image, std::uint16_t& version) {
  if (image.size() < FIRMWARE_FOOTER_SIZE) return FooterState::Missing;
  std::uint64_t sum = 0;
  for (std::uint8_t b : image) sum += b;
  return JudgeTail(image.data() + image.size() - FIRMWARE_FOOTER_SIZE, sum, version);
}

bool SealFirmwareImage(std::span<std::uint8_t> image, std::uint16_t version) {
  if (image.size() < FIRMWARE_FOOTER_SIZE) return false;
  std::uint8_t* footer = image.data() + image.size() - FIRMWARE_FOOTER_SIZE;
  std::memcpy(footer, FIRMWARE_FOOTER_MAGIC.data(), FIRMWARE_FOOTER_MAGIC.size());
  footer[4] = static_cast<std::uint8_t>(version & 0xFF);
  footer[5] = static_cast<std::uint8_t>(version >> 8);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + kCheckOffsetFromEnd < image.size(); ++i) sum += image[i];
  footer[6] = static_cast<std::uint8_t>(sum & 0xFF);
  footer[7] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
  return true;
}

std::vector<std::uint8_t> BuildFirmwareImage(std::uint16_t version, std::size_t size,
                                             std::uint32_t seed) {
  if (size < FIRMWARE_FOOTER_SIZE) return {};
  std::vector<std::uint8_t> image(size);
  // A xorshift pattern: looks like code to the eye and to a compressor, costs nothing.
  std::uint32_t state = seed != 0 ? seed : 0x9E3779B9u;
  for (std::size_t i = 0; i + FIRMWARE_FOOTER_SIZE < size; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    image[i] = static_cast<std::uint8_t>(state >> 24);
  }
  (void)SealFirmwareImage(image, version);
  return image;
}

void FirmwareReceiver::Start(std::uint32_t expectedSize) {
  expected_ = expectedSize;
  received_ = 0;
  sum_ = 0;
  tail_.fill(0);
}

std::size_t FirmwareReceiver::Feed(std::span<const std::uint8_t> piece) {
  const std::size_t taken = std::min<std::size_t>(piece.size(), expected_ - received_);
  // Summed in a 32-bit local: a byte pointer might point into the member, so the compiler would
  // store a member sum after every byte, and 32 bits vectorise well. Wrapping does no harm, as
  // the check keeps only the low 16 bits.
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < taken; ++i) sum += piece[i];
  sum_ += sum;
  // Keep the last FIRMWARE_FOOTER_SIZE bytes seen, oldest first.
  if (taken >= FIRMWARE_FOOTER_SIZE) {
    std::memcpy(tail_.data(), piece.data() + taken - FIRMWARE_FOOTER_SIZE, FIRMWARE_FOOTER_SIZE);
  } else if (taken > 0) {
    std::memmove(tail_.data(), tail_.data() + taken, FIRMWARE_FOOTER_SIZE - taken);
    std::memcpy(tail_.data() + FIRMWARE_FOOTER_SIZE - taken, piece.data(), taken);
  }
  received_ += static_cast<std::uint32_t>(taken);
  return taken;
}

FooterState FirmwareReceiver::Judge(std::uint16_t& version) const {
  if (received_ < FIRMWARE_FOOTER_SIZE) return FooterState::Missing;
  return JudgeTail(tail_.data(), sum_, version);
}

}  // namespace sim
