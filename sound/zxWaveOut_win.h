// The sound of the current segment: the wave-out stream, which feeds the
// sound file's MPEG Layer-3 bytes unchanged, 16 KiB at a time, to a device
// opened through the wave mapper (the system's codec decodes them), or the
// media player when the device cannot take the file.
//
// StartSound, PauseSound, StopSound and SeekSound dispatch on
// UseMediaPlayer. Sound and picture are brought into line only when the
// clock starts: the sound moves to the fraction of its length that the
// current frame is of the segment's frames.
//
// Threads: ChooseSoundPath, OpenWaveOut and OnWaveDone run on the main
// thread; StartSound, PauseSound and SeekSound also inside clock ticks. The
// stream itself (zxWaveStream.h) keeps the device, its two buffers and the
// file position under its own lock; the choice of path and the media player
// are guarded by another, always taken before the stream's.
#pragma once

#include "zxMp3.h"
#include "zxWaveStream.h"

#include <windows.h>

#include <mmsystem.h>

#include <cstdint>
#include <string>

// Finished buffers are refilled and queued again.
bool SoundStreaming();

bool UseMediaPlayer();
bool WaveOutOpened();
std::string SoundName();

// Opens the wave mapper with the format, MM_WOM_DONE going to window, and
// prepares both buffers. False (all closed) without a window or when the
// device, the format or a buffer is refused.
bool OpenWaveOut(const TzxMpegLayer3WaveFormat &format, HWND window);
void CloseWaveOut();
// The main window's MM_WOM_DONE: while streaming, refills the buffer from
// the sound file and queues it again. Headers not of the stream, and a
// buffer queued again since the message was sent, are left alone.
void OnWaveDone(WAVEHDR *header);

// What became of a segment's sound when its path was chosen.
struct TzxSoundChoice {
  // The sound file cannot be played at all: the segment plays without sound.
  bool Refused = false;
  std::string Reason; // why, to follow "its sound", for instance
                      // "starts with an ID3 tag instead of ..."
};

// Segment opening, after StopSound: takes the segment's sound file (empty:
// none) and chooses the wave-out stream when GetMp3FileInfo describes the
// file and the device opens with that format, else the media player. A file
// that GetMp3FileInfo refuses leaves the segment without sound (never
// without picture). When the media player cannot open the file, its error
// box shows once until ResetSoundReports; the segment then plays silently.
TzxSoundChoice ChooseSoundPath(const std::string &soundFileName, HWND window);
// A new film: the media player's open error may show again.
void ResetSoundReports();

// Seeks to the position and plays, the stream restarted when it was
// running; at any but normal speed, or without sound (no file, or a media
// player that did not open), only pauses. Throws TextLlseekError when the
// sound file cannot be positioned.
void StartSound(const TzxSoundPosition &position, bool normalSpeed);
void PauseSound();
void StopSound();
void SeekSound(const TzxSoundPosition &position);
// As the media player's mode index: the media player's own, else
// 2 "Playing" while the stream runs and 1 "Stopped" otherwise.
int32_t SoundMode();
// How many of the two buffers the device holds now.
int32_t WaveBuffersQueued();

// Millisecond SeekSound seeks the media player to, the same fraction of the
// length (a 64-bit product, so long sounds do not overflow).
uint32_t SoundTimeTarget(int32_t frameIndex, int32_t frameCount, uint32_t length);
