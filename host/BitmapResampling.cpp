// Resampling RGBA8 pixels to another size, and matching colours with a
// palette, for BitmapStorage::CopyScaledFrom.
#include "host/BitmapResampling.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace host {

namespace {

// One source sample of an output pixel along one axis.
struct Tap {
  int index;
  float weight;
};
// Per output position, the source samples whose weights add up to 1.
using AxisFilter = std::vector<std::vector<Tap>>;

// Resampling along one axis from source_size to output_size samples. Shrinking
// averages the source samples under each output sample's footprint, weighted
// by how much of each it covers; enlarging (or keeping the size) interpolates
// linearly between the two nearest source sample centres, so an equal size
// copies every sample exactly.
AxisFilter MakeAxisFilter(int source_size, int output_size) {
  AxisFilter filter(static_cast<size_t>(output_size));
  const double ratio = static_cast<double>(source_size) / output_size;
  for (int i = 0; i < output_size; ++i) {
    std::vector<Tap>& taps = filter[static_cast<size_t>(i)];
    if (output_size < source_size) {
      const double from = i * ratio;
      const double to = (i + 1) * ratio;
      const int first = static_cast<int>(std::floor(from));
      for (int j = first; j < source_size && j < to; ++j) {
        const double covered = std::min(to, j + 1.0) - std::max(from, static_cast<double>(j));
        if (covered > 0.0) taps.push_back({j, static_cast<float>(covered / ratio)});
      }
    } else {
      const double at = (i + 0.5) * ratio - 0.5;
      if (at <= 0.0) {
        taps.push_back({0, 1.0f});
      } else if (at >= source_size - 1) {
        taps.push_back({source_size - 1, 1.0f});
      } else {
        const int j = static_cast<int>(std::floor(at));
        const double f = at - j;
        taps.push_back({j, static_cast<float>(1.0 - f)});
        if (f > 0.0) taps.push_back({j + 1, static_cast<float>(f)});
      }
    }
  }
  return filter;
}

// A weighted colour sum back to an 8-bit level, rounded to nearest.
uint8_t ToLevel(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 255.0f) return 255;
  return static_cast<uint8_t>(value + 0.5f);
}

}  // namespace

std::vector<uint8_t> Resample(const uint8_t* rgba, int width, int height, int out_width,
                              int out_height) {
  const AxisFilter across = MakeAxisFilter(width, out_width);
  const AxisFilter down = MakeAxisFilter(height, out_height);
  // Rows first: every source row shrunk or stretched to the output width.
  std::vector<float> rows(static_cast<size_t>(height) * out_width * 4, 0.0f);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = rgba + static_cast<size_t>(y) * width * 4;
    float* out = rows.data() + static_cast<size_t>(y) * out_width * 4;
    for (int x = 0; x < out_width; ++x, out += 4) {
      for (const Tap& tap : across[static_cast<size_t>(x)]) {
        const uint8_t* pixel = in + static_cast<size_t>(tap.index) * 4;
        for (int c = 0; c < 4; ++c) out[c] += tap.weight * pixel[c];
      }
    }
  }
  // Then columns.
  std::vector<uint8_t> result(static_cast<size_t>(out_width) * out_height * 4);
  std::vector<float> sum(static_cast<size_t>(out_width) * 4);
  for (int y = 0; y < out_height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (const Tap& tap : down[static_cast<size_t>(y)]) {
      const float* row = rows.data() + static_cast<size_t>(tap.index) * out_width * 4;
      for (size_t k = 0; k < sum.size(); ++k) sum[k] += tap.weight * row[k];
    }
    uint8_t* out = result.data() + static_cast<size_t>(y) * out_width * 4;
    for (size_t k = 0; k < sum.size(); ++k) out[k] = ToLevel(sum[k]);
  }
  return result;
}

PaletteMatcher::PaletteMatcher(const std::vector<PaletteColor16>& palette) : palette_(palette) {}

uint8_t PaletteMatcher::Nearest(uint8_t r, uint8_t g, uint8_t b) {
  const uint32_t key = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
  auto known = cache_.find(key);
  if (known != cache_.end()) return known->second;
  // An 8-bit level is its 16-bit value divided by 257.
  const int64_t red = r * 257;
  const int64_t green = g * 257;
  const int64_t blue = b * 257;
  int64_t best_distance = INT64_MAX;
  uint8_t best = 0;
  for (size_t k = 0; k < palette_.size(); ++k) {
    const int64_t dr = red - palette_[k].r;
    const int64_t dg = green - palette_[k].g;
    const int64_t db = blue - palette_[k].b;
    const int64_t distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = static_cast<uint8_t>(k);
    }
  }
  cache_.emplace(key, best);
  return best;
}

}  // namespace host
