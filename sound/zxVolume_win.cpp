// The wave mapper's volume.
#include "zxVolume.h"

#include <windows.h>

#include <mmsystem.h>

namespace {
// The wave mapper, also where a device handle is expected.
const HWAVEOUT WaveMapperHandle = reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(WAVE_MAPPER));
} // namespace

bool TryReadWaveVolume(uint32_t &packed) {
  WAVEOUTCAPSA caps{};
  if (waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  if ((caps.dwSupport & WAVECAPS_VOLUME) == 0) return false;
  DWORD volume = 0;
  if (waveOutGetVolume(WaveMapperHandle, &volume) != MMSYSERR_NOERROR) return false;
  packed = volume;
  return true;
}

uint32_t ReadWaveVolume() {
  uint32_t packed = 0;
  return TryReadWaveVolume(packed) ? packed : 0;
}

uint32_t WriteWaveVolume(uint32_t packed) {
  WAVEOUTCAPSA caps{};
  const MMRESULT query = waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps);
  if (query != MMSYSERR_NOERROR) return query;
  if ((caps.dwSupport & WAVECAPS_VOLUME) == 0) return 0;
  return waveOutSetVolume(WaveMapperHandle, packed);
}

float GetVolumePercent() {
  return PackedVolumePercent(ReadWaveVolume());
}

std::optional<float> ReadVolumePercent() {
  uint32_t packed = 0;
  if (!TryReadWaveVolume(packed)) return std::nullopt;
  return PackedVolumePercent(packed);
}

void SetVolumePercent(float percent) {
  WriteWaveVolume(PercentPackedVolume(percent));
}
