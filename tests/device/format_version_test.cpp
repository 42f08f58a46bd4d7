#include <gtest/gtest.h>

#include "device/device_link.h"

TEST(FormatVersion, ShowsMajorDotTwoDigitMinorOrUnknown) {
  EXPECT_EQ(device::FormatVersion(0x0122), "1.34");
  EXPECT_EQ(device::FormatVersion(0x0A0C), "10.12");
  EXPECT_EQ(device::FormatVersion(0xFFFF), "?.?");
}
