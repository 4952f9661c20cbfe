// Volume arithmetic.
#include "zxVolume.h"

float PackedVolumePercent(uint32_t packed) {
  const uint32_t left = packed & 0xFFFF;
  const uint32_t right = packed >> 16;
  return static_cast<float>(static_cast<double>((left + right) * 100) / 2 / 65535);
}

uint32_t PercentPackedVolume(float percent) {
  if (percent > 100) percent = 100;
  if (!(percent >= 0)) percent = 0;
  const auto c = static_cast<uint32_t>(static_cast<double>(percent) * 65535 / 100) & 0xFFFF;
  return c | (c << 16);
}
