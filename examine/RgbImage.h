#pragma once
// A picture in 8-bit RGB, rows top first, three bytes a pixel.

#include <cstdint>
#include <vector>

namespace vandrell {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width x height x 3

  RgbImage() = default;
  RgbImage(int w, int h, Rgb fill) : width(w), height(h) {
    pixels.reserve(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    for (size_t i = 0; i < static_cast<size_t>(w) * static_cast<size_t>(h); ++i) {
      pixels.push_back(fill.r);
      pixels.push_back(fill.g);
      pixels.push_back(fill.b);
    }
  }
  // Callers keep 0 <= x < width and 0 <= y < height.
  Rgb At(int x, int y) const {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
    return {p[0], p[1], p[2]};
  }
  void Set(int x, int y, Rgb colour) {
    uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
  }
};

}  // namespace vandrell
