#include "zxCursorTrack.h"

#include "zxClasses.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace {

// "a , b , c , d": four whole numbers, each with blanks and a sign allowed
// before it, blanks allowed before each comma. A number too large for 64
// bits reads as the largest one of its sign, which no range here admits.
bool ParseFields(const std::string &l, long long (&v)[4]) {
  const char *p = l.c_str();
  const char *const end = p + l.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
      if (p == end || *p != ',') return false;
      ++p;
    }
    char *after = nullptr;
    errno = 0;
    v[i] = std::strtoll(p, &after, 10);
    if (after == p) return false;
    p = after;
  }
  return p == end;
}

} // namespace

std::vector<TzxTrackLine> ParseCursorTrack(const std::string &text, size_t cursors,
                                           const std::string &name) {
  std::vector<TzxTrackLine> lines;
  size_t start = 0;
  for (int line = 1; start < text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string l = text.substr(start, end - start);
    start = end + 1;
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ' || l.back() == '\t'))
      l.pop_back();
    if (l.empty() || l[0] == '#' || (line == 1 && l == "tick,cursor,x,y")) continue;
    long long v[4];
    if (!ParseFields(l, v))
      throw EzxError(Format("%s, line %d: expected tick,cursor,x,y, got \"%s\"", name.c_str(), line,
                            l.c_str()));
    if (v[0] < 0 || v[0] > INT32_MAX)
      throw EzxError(Format("%s, line %d: tick %lld is out of range", name.c_str(), line, v[0]));
    if (!lines.empty() && v[0] <= lines.back().Tick)
      throw EzxError(Format("%s, line %d: tick %lld does not follow tick %lld", name.c_str(), line,
                            v[0], static_cast<long long>(lines.back().Tick)));
    if (v[1] < 0 || static_cast<unsigned long long>(v[1]) >= cursors)
      throw EzxError(Format("%s, line %d: cursor %lld, but the segment has %zu cursor%s",
                            name.c_str(), line, v[1], cursors, cursors == 1 ? "" : "s"));
    if (v[2] < 0 || v[2] > 65535 || v[3] < 0 || v[3] > 65535)
      throw EzxError(Format("%s, line %d: the position %lld,%lld is outside 0 .. 65535",
                            name.c_str(), line, v[2], v[3]));
    lines.push_back({v[0], static_cast<uint16_t>(v[1]), static_cast<uint16_t>(v[2]),
                     static_cast<uint16_t>(v[3])});
  }
  if (lines.empty()) throw EzxError(Format("%s holds no cursor sample", name.c_str()));
  return lines;
}

std::vector<TzxTrackLine> ReadCursorTrack(const std::string &fileName, size_t cursors) {
  if (!FileExists(fileName)) throw EzxError(Format("Cannot open %s", fileName.c_str()));
  const TzxBytes bytes = ReadWholeFile(fileName);
  return ParseCursorTrack(std::string(bytes.begin(), bytes.end()), cursors, fileName);
}

TzxBytes BuildCursorTrack(const std::vector<TzxTrackLine> &lines, int64_t samples) {
  TzxBytes track;
  if (lines.empty() || samples <= 0) return track;
  track.reserve(size_t(samples) * 6);
  size_t next = 0;
  TzxTrackLine current = lines[0];
  for (int64_t t = 0; t < samples; ++t) {
    while (next < lines.size() && lines[next].Tick <= t)
      current = lines[next++];
    AppendCursorSample(track, current.Cursor, current.X, current.Y);
  }
  return track;
}
