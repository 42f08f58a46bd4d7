#include <gtest/gtest.h>

#include "sim/firmware_image.h"

TEST(FirmwareImage, BuiltImageCarriesItsVersionAndFailsWhenAnyByteChanges) {
  std::vector<std::uint8_t> image = sim::BuildFirmwareImage(0x0123, 1000, 7);
  ASSERT_EQ(image.size(), 1000u);
  std::uint16_t version = 0;
  EXPECT_EQ(sim::ReadFirmwareFooter(image, version), sim::FooterState::Valid);
  EXPECT_EQ(version, 0x0123);
  EXPECT_EQ(std::vector<std::uint8_t>(image.end() - 8, image.end() - 4),
            (std::vector<std::uint8_t>{'V', 'S', 'F', 'W'}));

  for (std::size_t at : {std::size_t{0}, std::size_t{500}, image.size() - 4}) {
    SCOPED_TRACE(at);
    std::vector<std::uint8_t> spoilt = image;
    spoilt[at] ^= 0x01;
    EXPECT_EQ(sim::ReadFirmwareFooter(spoilt, version), sim::FooterState::Corrupt);
  }
  image[image.size() - 8] = 'X';
  EXPECT_EQ(sim::ReadFirmwareFooter(image, version), sim::FooterState::Missing);
  EXPECT_TRUE(sim::BuildFirmwareImage(1, 7).empty());
}

TEST(FirmwareImage, ReceiverJudgesPiecesLikeTheWholeImage) {
  const std::vector<std::uint8_t> image = sim::BuildFirmwareImage(0x0207, 1301, 3);
  for (std::size_t pieceSize : {1, 3, 8, 512, 1301}) {
    SCOPED_TRACE(pieceSize);
    sim::FirmwareReceiver receiver;
    receiver.Start(static_cast<std::uint32_t>(image.size()));
    for (std::size_t at = 0; at < image.size(); at += pieceSize) {
      const std::size_t n = std::min(pieceSize, image.size() - at);
      ASSERT_EQ(receiver.Feed({image.data() + at, n}), n);
    }
    ASSERT_TRUE(receiver.Complete());
    std::uint16_t version = 0;
    EXPECT_EQ(receiver.Judge(version), sim::FooterState::Valid);
    EXPECT_EQ(version, 0x0207);
  }
  // Bytes beyond the announced size are not taken.
  sim::FirmwareReceiver receiver;
  receiver.Start(10);
  EXPECT_EQ(receiver.Feed({image.data(), 16}), 10u);
}
