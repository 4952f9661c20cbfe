// Resizing RGB24 pictures for exports: each output pixel is the average of
// the source area it covers (with fractional edges), which keeps text
// legible when shrinking and repeats pixels when enlarging.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What --scale asked for: a factor ("0.5", "2") or a size ("640x360").
struct TzxScale {
  double Factor = 1;
  int32_t Width = 0; // > 0 when a size was given
  int32_t Height = 0;

  bool Identity() const { return Width == 0 && Factor == 1; }
  // The output size for a w x h picture (at least 1 x 1).
  void Apply(int32_t w, int32_t h, int32_t &outW, int32_t &outH) const;
};

// Throws EzxUsageError for anything but a positive factor or a size.
TzxScale ParseScale(const std::string &text);

// Resizes reusing its weight tables while the sizes stay the same.
class TzxScaler {
public:
  void Scale(const uint8_t *rgb, int32_t w, int32_t h, int32_t outW, int32_t outH,
             std::vector<uint8_t> &out);

private:
  struct TTap {
    int32_t First = 0;
    std::vector<uint32_t> Weights; // sum to 65536
  };
  static std::vector<TTap> Taps(int32_t from, int32_t to);

  int32_t FW = 0, FH = 0, FOutW = 0, FOutH = 0;
  std::vector<TTap> FColumns, FRows;
  std::vector<uint32_t> FTemp;
};
