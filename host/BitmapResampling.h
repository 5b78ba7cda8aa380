#pragma once
// Resampling and palette matching for BitmapStorage::CopyScaledFrom; inside
// hostsdk only, not part of the SDK surface the exporter sees.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/Bitmap.h"

namespace host {

// width x height RGBA8 pixels resampled to out_width x out_height: area
// average where an axis shrinks, linear interpolation between the nearest
// sample centres where it grows or keeps its size (an equal size copies every
// pixel exactly). Levels are rounded to nearest.
std::vector<uint8_t> Resample(const uint8_t* rgba, int width, int height, int out_width,
                              int out_height);

// Nearest palette entry of 8-bit colours, remembered per distinct colour: a
// texture holds far fewer colours than pixels.
class PaletteMatcher {
 public:
  explicit PaletteMatcher(const std::vector<PaletteColor16>& palette);

  // Plain squared distance in 16-bit RGB; ties keep the lower index.
  uint8_t Nearest(uint8_t r, uint8_t g, uint8_t b);

 private:
  const std::vector<PaletteColor16>& palette_;
  std::unordered_map<uint32_t, uint8_t> cache_;
};

}  // namespace host
