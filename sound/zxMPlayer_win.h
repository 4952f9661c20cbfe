// The media player: a thin wrapper over the MCI command interface that plays
// a segment's sound whenever the wave-out stream cannot.
//
// Commands wait for completion, except Play and SetTimeFormat, which ask for
// a notification (without a callback window) and return at once. Every
// command keeps its result in LastError; only a failed Open is shown, as a
// box captioned "Error" with the system's text for the error (or the string
// resource 65408, "Unknown error code", when the system has none).
//
// Threads: Open runs on the main thread; Play, Pause, Seek, SetTimeFormat,
// GetLength and GetMode also run inside clock ticks. The device identifier
// is atomic so that a tick never sees half a change.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <string>

// The string resource of the error text the system does not know.
constexpr UINT IdsMciUnknownError = 65408;

// MCI device type names by DeviceType; 0 lets the file choose.
extern const char *const DeviceTypeNames[13];
// Names of the mode indices GetMode returns.
extern const char *const ModeNames[8];

enum : int32_t {
  mpNotReady = 0,
  mpStopped = 1,
  mpPlaying = 2,
  mpRecording = 3,
  mpSeeking = 4,
  mpPaused = 5,
  mpOpen = 6,
  mpUnknown = 7,
};

class TMediaPlayer {
public:
  TMediaPlayer() = default;
  ~TMediaPlayer();
  TMediaPlayer(const TMediaPlayer &) = delete;
  TMediaPlayer &operator=(const TMediaPlayer &) = delete;

  // Opens FileName (closing what was open). On failure stays closed and,
  // unless told not to, shows the error.
  void Open(bool showError = true);
  void Close();
  void Play();
  void Stop();
  void Pause();
  void Seek(uint32_t to);
  void SetTimeFormat(uint32_t format);
  uint32_t GetLength();
  // The mode index (mpNotReady..mpOpen), mpUnknown when the query fails.
  int32_t GetMode();
  // The text of LastError.
  std::string GetErrorMessage() const;

  bool Opened() const { return FOpened; }
  MCIDEVICEID DeviceID() const { return FDeviceID; }
  MCIERROR LastError() const { return FLastError; }
  int32_t DeviceType = 0;
  std::string FileName;

private:
  MCIERROR Send(UINT msg, DWORD_PTR flags, DWORD_PTR params);

  std::atomic<bool> FOpened{false};
  std::atomic<MCIDEVICEID> FDeviceID{0};
  std::atomic<MCIERROR> FLastError{0};
};

// The player's one media player.
TMediaPlayer &MediaPlayer();
