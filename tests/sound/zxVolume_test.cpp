#include "zxVolume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(VolumeMath, PercentagesPackBothChannelsAlike) {
  EXPECT_EQ(PercentPackedVolume(50.0f), 0x7FFF7FFFu);
  EXPECT_EQ(PercentPackedVolume(100.0f), 0xFFFFFFFFu);
  EXPECT_EQ(PercentPackedVolume(0.0f), 0u);
  // Out of range and not a number.
  EXPECT_EQ(PercentPackedVolume(150.0f), 0xFFFFFFFFu);
  EXPECT_EQ(PercentPackedVolume(-5.0f), 0u);
  EXPECT_EQ(PercentPackedVolume(std::numeric_limits<float>::quiet_NaN()), 0u);
  // Truncated, not rounded: 33 % is 21626.55.
  EXPECT_EQ(PercentPackedVolume(33.0f), (21626u << 16) | 21626u);
}

TEST(VolumeMath, ReadingAveragesTheChannels) {
  EXPECT_FLOAT_EQ(PackedVolumePercent(0x7FFF7FFFu), 49.99924f);
  EXPECT_EQ(std::lround(PackedVolumePercent(0x7FFF7FFFu)), 50);
  EXPECT_FLOAT_EQ(PackedVolumePercent(0xFFFFFFFFu), 100.0f);
  EXPECT_FLOAT_EQ(PackedVolumePercent(0u), 0.0f);
  // Left full, right silent (set elsewhere).
  EXPECT_FLOAT_EQ(PackedVolumePercent(0x0000FFFFu), 50.0f);
  EXPECT_FLOAT_EQ(PackedVolumePercent(0xFFFF0000u), 50.0f);
}
