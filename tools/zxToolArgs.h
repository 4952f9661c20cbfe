// Values of zxtool's options: whole numbers, segment numbers and times, and
// the error that says a command line is wrong (exit code 2).
#pragma once

#include "zxClasses.h"

#include <cstdint>
#include <string>

// The command line asks for something no input could satisfy: an unknown
// option, a value of the wrong form, options that exclude each other.
class EzxUsageError : public EzxError {
public:
  using EzxError::EzxError;
};

// A whole number from lo to hi; throws EzxUsageError naming the option.
int64_t ParseWholeNumber(const std::string &option, const std::string &text, int64_t lo,
                         int64_t hi);

// A segment's number as zxtool prints it: from 1, as the player numbers
// the segments of a film (by their place in its directory).
int32_t ParseSegmentNumber(const std::string &option, const std::string &text);

// A time as FFmpeg takes it, or a number of frames:
//   2.5  2.5s  1500ms  250000us   seconds
//   [HH:]MM:SS[.frac]              hours, minutes (< 60), seconds (< 60)
//   120f                           frames (counted from 0)
struct TzxTimeValue {
  bool InFrames = false;
  double Seconds = 0; // when not in frames
  int64_t Frames = 0; // when in frames
  // As a position in a segment of fps frames a second: the first frame
  // shown at or after the time, or the frame number itself.
  int64_t FrameAt(double fps) const;
  // The time it stands for at fps.
  double SecondsAt(double fps) const { return InFrames ? double(Frames) / fps : Seconds; }
};

// Throws EzxUsageError naming the option; frames are refused unless
// framesAllowed (for times that are not positions in a segment).
TzxTimeValue ParseTimeValue(const std::string &option, const std::string &text,
                            bool framesAllowed = true);
