#include "skin/QuakePalette.h"

namespace vandrell {

namespace {

// The palette in host colours: each 8-bit level repeated in both bytes
// (level x 257), so that 255 becomes 65535. Built at compile time.
struct HostPalette {
  host::PaletteColor16 colours[kPaletteSize];
};

constexpr HostPalette WidenQuakePalette() {
  HostPalette palette{};
  for (int k = 0; k < kPaletteSize; ++k) {
    palette.colours[k].r = static_cast<uint16_t>(kQuakePaletteRgb[k][0] * 257);
    palette.colours[k].g = static_cast<uint16_t>(kQuakePaletteRgb[k][1] * 257);
    palette.colours[k].b = static_cast<uint16_t>(kQuakePaletteRgb[k][2] * 257);
  }
  return palette;
}

constexpr HostPalette kHostPalette = WidenQuakePalette();

// Entry 255 (pure green) is left out of colour matching.
constexpr int kMatchedEntries = 255;
// 16-bit components to unit range, as a single-precision constant.
constexpr float kUnitPerLevel = 1.0f / 65535.0f;
// Larger than any distance between colours inside the unit cube (at most 3).
constexpr float kNoDistance = 100.0f;

}  // namespace

const host::PaletteColor16 (&QuakePalette)[kPaletteSize] = kHostPalette.colours;

uint8_t NearestPaletteIndex(float r, float g, float b) {
  float best_distance = kNoDistance;
  uint8_t best_index = 0;
  for (int k = 0; k < kMatchedEntries; ++k) {
    const float dr = r - QuakePalette[k].r * kUnitPerLevel;
    const float dg = g - QuakePalette[k].g * kUnitPerLevel;
    const float db = b - QuakePalette[k].b * kUnitPerLevel;
    const float distance = dr * dr + dg * dg + db * db;
    // Strictly less: a tie keeps the lower index.
    if (distance < best_distance) {
      best_distance = distance;
      best_index = static_cast<uint8_t>(k);
    }
  }
  return best_index;
}

}  // namespace vandrell
