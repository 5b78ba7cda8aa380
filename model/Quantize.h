#pragma once
#include <cstdint>
#include <limits>

#include "model/MdlModel.h"

namespace vandrell {

// Running bounds of finite float positions per axis, folded in the order the
// positions are given: a coordinate replaces the minimum only when the
// minimum is greater, the maximum only when it is less, so of equal values
// (0 and -0) the first one given stays. Empty: +infinity .. -infinity.
struct PositionBounds {
  float minimum[3] = {std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::infinity()};
  float maximum[3] = {-std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()};
};

// Folds the positions of vertices 0 .. count - 1 into bounds. The plain
// loop is what Quantize uses; the other gives the same bounds with vector
// instructions where the build has them.
void WidenBoundsPlain(PositionBounds& bounds, const FrameVertex* vertices, int32_t count);
void WidenBounds(PositionBounds& bounds, const FrameVertex* vertices, int32_t count);

// What packing needs, in the precision it is done in, and the radius so far.
struct Packing {
  double origin[3];
  double step[3];
  float radius;
  double largest_square;  // of the vertices packed so far; -1 before any
};

// Sets the model's scale and scale_origin from the bounds of its stored
// frames (folded in frame order, vertices in order), starting, as Quantize
// does, from vertex 0 of the work arrays; returns the packing they give.
Packing StartPacking(MdlModel& model, const PositionBounds& frame_bounds);

// Packs vertices 0 .. count - 1 of one frame and raises packing.radius:
// the plain loop (Quantize's) and the same result with vector instructions
// where the build has them.
void PackFramePlain(FrameVertex* vertices, int32_t count, Packing& packing);
void PackFrame(FrameVertex* vertices, int32_t count, Packing& packing);

}  // namespace vandrell
