#pragma once
// The rasteriser behind the model pictures: one frame into one rectangle of a
// picture, with a depth buffer of its own.

#include <cstddef>

#include "examine/RgbImage.h"
#include "mdlformat/MdlReader.h"

namespace vandrell {

// A rectangle on the view plane, in model units.
struct ViewBounds {
  double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
  bool empty = true;
  void Add(double x, double y);
  void Add(const ViewBounds& other);
};

// Where frame index's vertices fall on the view plane.
ViewBounds FrameViewBounds(const MdlFile& file, size_t index);

// Draws frame index into the rectangle (x0, y0, width, height) of *image,
// scaled so that fit, with a margin, fills the rectangle and centred on it.
void DrawFrame(const MdlFile& file, size_t index, const ViewBounds& fit, RgbImage* image, int x0,
               int y0, int width, int height);

}  // namespace vandrell
