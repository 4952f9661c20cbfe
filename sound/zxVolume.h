// The output volume of the wave mapper as a percentage.
//
// Packed volume: unsigned 32 bits, low half the left channel, high half the
// right, each 0 (silent) to 65535 (full). The percentage is the two
// channels' average; setting one sets both channels alike.
#pragma once

#include <cstdint>
#include <optional>

// (left + right) x 100 / 2 / 65535, as a 32-bit float.
float PackedVolumePercent(uint32_t packed);
// The packed volume of a percentage: above 100 counts as 100, anything not
// at least 0 (negative, not a number) as 0; x x 65535 / 100 truncated, in
// both halves.
uint32_t PercentPackedVolume(float percent);

#ifdef _WIN32
// The wave mapper's volume; false when the device has no volume control or
// refuses to tell (Wine's wave mapper does).
bool TryReadWaveVolume(uint32_t &packed);
// The wave mapper's volume; 0 when it cannot be read or the device has no
// volume control.
uint32_t ReadWaveVolume();
// Sets the wave mapper's volume; the capability query's error, 0 (nothing
// changed) without volume control, else the setting's result.
uint32_t WriteWaveVolume(uint32_t packed);
float GetVolumePercent();
// The volume in percent; none when it cannot be read.
std::optional<float> ReadVolumePercent();
void SetVolumePercent(float percent);
#endif
