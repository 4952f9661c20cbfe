#include "zxToolArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// The longest time taken: about 115 days, far beyond any film, and small
// enough that a time by a frame rate stays far inside 64 bits.
const double MaxSeconds = 1e7;

bool AllDigits(const std::string &s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// "12", "12.", "12.5", ".5"; -1 for anything else.
double Decimal(const std::string &s) {
  const size_t dot = s.find('.');
  const std::string whole = s.substr(0, dot);
  const std::string frac = dot == std::string::npos ? "" : s.substr(dot + 1);
  if ((whole.empty() && frac.empty()) || (!whole.empty() && !AllDigits(whole)) ||
      (!frac.empty() && !AllDigits(frac)))
    return -1;
  return std::strtod(s.c_str(), nullptr);
}

// [HH:]MM:SS[.frac]; -1 when the text is not of that form.
double ClockTime(const std::string &text) {
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    const size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() > 3) return -1;
  const std::string &last = parts.back();
  const std::string wholeSeconds = last.substr(0, last.find('.'));
  double total = Decimal(last);
  if (total < 0 || wholeSeconds.empty() || wholeSeconds.size() > 2 || total >= 60) return -1;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const bool minutes = i + 2 == parts.size();
    const std::string &p = parts[i];
    if (!AllDigits(p) || p.size() > (minutes ? 2u : 8u)) return -1;
    const double v = std::stod(p);
    if (minutes && v >= 60) return -1;
    total += v * (minutes ? 60 : 3600);
  }
  return total;
}

} // namespace

int64_t ParseWholeNumber(const std::string &option, const std::string &text, int64_t lo,
                         int64_t hi) {
  char *end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
    throw EzxUsageError(Format("%s %s: expected a whole number from %lld to %lld", option.c_str(),
                               text.c_str(), static_cast<long long>(lo),
                               static_cast<long long>(hi)));
  return v;
}

int32_t ParseSegmentNumber(const std::string &option, const std::string &text) {
  if (text == "0")
    throw EzxUsageError(
        Format("%s 0: segments are numbered from 1, as zxtool info lists them", option.c_str()));
  return static_cast<int32_t>(ParseWholeNumber(option, text, 1, INT32_MAX));
}

int64_t TzxTimeValue::FrameAt(double fps) const {
  if (InFrames) return Frames;
  return static_cast<int64_t>(std::ceil(Seconds * fps - 1e-9));
}

TzxTimeValue ParseTimeValue(const std::string &option, const std::string &text,
                            bool framesAllowed) {
  TzxTimeValue t;
  double seconds = -1;
  if (framesAllowed && text.size() > 1 && text.back() == 'f' &&
      AllDigits(text.substr(0, text.size() - 1))) {
    const std::string digits = text.substr(0, text.size() - 1);
    if (digits.size() <= 10 && std::stoll(digits) <= INT32_MAX) {
      t.InFrames = true;
      t.Frames = std::stoll(digits);
      return t;
    }
  } else if (text.find(':') != std::string::npos) {
    seconds = ClockTime(text);
  } else {
    // Seconds, with the suffixes FFmpeg takes.
    static const struct {
      const char *Suffix;
      double Scale;
    } units[] = {{"ms", 1e-3}, {"us", 1e-6}, {"s", 1}, {"", 1}};
    for (const auto &u : units) {
      const std::string suffix = u.Suffix;
      if (text.size() < suffix.size() ||
          text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
        continue;
      const double v = Decimal(text.substr(0, text.size() - suffix.size()));
      if (v >= 0) seconds = v * u.Scale;
      break;
    }
  }
  if (seconds >= 0 && seconds <= MaxSeconds) {
    t.Seconds = seconds;
    return t;
  }
  throw EzxUsageError(Format("%s %s: expected %s", option.c_str(), text.c_str(),
                             framesAllowed
                                 ? "seconds (2.5), [HH:]MM:SS[.ms] or a frame number (120f)"
                                 : "seconds (2.5) or [HH:]MM:SS[.ms]"));
}
