// Cursor tracks for zxtool make, from CSV text: lines "tick,cursor,x,y"
// with rising ticks; "#" comments, blank lines and a first line
// "tick,cursor,x,y" are allowed. tick = frame x samples + t.
#pragma once

#include "zxFilmWriter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TzxTrackLine {
  int64_t Tick;
  uint16_t Cursor, X, Y;
};

// The lines of a track for a segment of `cursors` cursors. Throws EzxError
// naming the file and line for anything else, and for a track without a
// sample.
std::vector<TzxTrackLine> ParseCursorTrack(const std::string &text, size_t cursors,
                                           const std::string &name);
std::vector<TzxTrackLine> ReadCursorTrack(const std::string &fileName, size_t cursors);

// Exactly `samples` samples: each tick takes the line listed for it or the
// sample before (before the first line, the first line's).
TzxBytes BuildCursorTrack(const std::vector<TzxTrackLine> &lines, int64_t samples);
