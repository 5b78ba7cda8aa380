// Positions into bytes: one scale and origin per axis for the whole model,
// taken from the bounds over every frame.
#include "model/Quantize.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "model/CheckedConversion.h"
#include "model/FrameWalk.h"
#include "model/MdlModel.h"

namespace vandrell {

namespace {

// The single-precision number nearest to 1/255, slightly above it, so that
// the vertex at an axis' maximum packs to 254 as a rule.
float PackingFactor() {
  const uint32_t bits = 0x3B808081u;
  float factor;
  std::memcpy(&factor, &bits, sizeof factor);
  return factor;
}

// The low 8 bits of q truncated toward zero. A quotient without a value (a
// non-finite coordinate gives NaN or infinity) packs to 0.
uint8_t PackedByte(double q) {
  int32_t whole = 0;
  if (!TruncateToInt32(q, whole)) return 0;
  return static_cast<uint8_t>(whole & 0xFF);
}

float Coordinate(const FrameVertex& vertex, int axis) {
  return axis == 0 ? vertex.x : (axis == 1 ? vertex.y : vertex.z);
}

}  // namespace

void WidenBounds(PositionBounds& bounds, const FrameVertex* vertices, int32_t count) {
  // Locals, so that the loop keeps them in registers.
  float minimum[3] = {bounds.minimum[0], bounds.minimum[1], bounds.minimum[2]};
  float maximum[3] = {bounds.maximum[0], bounds.maximum[1], bounds.maximum[2]};
  for (int32_t k = 0; k < count; ++k) {
    const float position[3] = {vertices[k].x, vertices[k].y, vertices[k].z};
    for (int axis = 0; axis < 3; ++axis) {
      const float value = position[axis];
      if (!std::isfinite(value)) continue;
      if (minimum[axis] > value) minimum[axis] = value;
      if (maximum[axis] < value) maximum[axis] = value;
    }
  }
  for (int axis = 0; axis < 3; ++axis) {
    bounds.minimum[axis] = minimum[axis];
    bounds.maximum[axis] = maximum[axis];
  }
}

// Only finite coordinates count, so every measured value is one that some
// vertex really has. Each axis starts from vertex 0 of the work arrays (the
// last frame built, measured again in the frames): where the extreme is a
// zero that frames store with either sign, the starting value decides the
// sign of scale_origin. The frames' bounds hold the first of the equal
// extremes, so the start stays unless it lies strictly beyond; a non-finite
// start leaves the axis to the frames alone.
Packing StartPacking(MdlModel& model, const PositionBounds& frame_bounds) {
  float minimum[3];
  float maximum[3];
  for (int axis = 0; axis < 3; ++axis) {
    minimum[axis] = frame_bounds.minimum[axis];
    maximum[axis] = frame_bounds.maximum[axis];
    const float start = Coordinate(model.work_vertices[0], axis);
    if (!std::isfinite(start)) continue;
    if (!(start > minimum[axis])) minimum[axis] = start;
    if (!(start < maximum[axis])) maximum[axis] = start;
  }
  // An axis with no finite coordinate keeps its scale and origin.
  const double factor = PackingFactor();
  for (int axis = 0; axis < 3; ++axis) {
    if (!(minimum[axis] <= maximum[axis])) continue;
    model.scale_origin[axis] = minimum[axis];
    // At most (2 x FLT_MAX) x K, well inside single precision.
    model.scale[axis] = static_cast<float>(
        (static_cast<double>(maximum[axis]) - static_cast<double>(minimum[axis])) * factor);
  }
  Packing packing;
  for (int axis = 0; axis < 3; ++axis) {
    packing.origin[axis] = model.scale_origin[axis];
    packing.step[axis] = model.scale[axis];
  }
  packing.radius = model.bounding_radius;
  return packing;
}

// The radius is measured from the model's own origin. The step, origin and
// radius live in locals: the byte stores below may alias anything, which
// would make the compiler read them again for every vertex.
void PackFrame(FrameVertex* vertices, int32_t count, Packing& packing) {
  const double origin[3] = {packing.origin[0], packing.origin[1], packing.origin[2]};
  const double step[3] = {packing.step[0], packing.step[1], packing.step[2]};
  float radius = packing.radius;
  for (int32_t k = 0; k < count; ++k) {
    FrameVertex& vertex = vertices[k];
    const double position[3] = {vertex.x, vertex.y, vertex.z};
    uint8_t packed[3];
    for (int axis = 0; axis < 3; ++axis) {
      // A zero-extent axis (or one whose step underflowed to 0) has no
      // quotient: every byte on it is 0.
      packed[axis] =
          step[axis] == 0.0 ? 0 : PackedByte((position[axis] - origin[axis]) / step[axis]);
    }
    vertex.packed_x = packed[0];
    vertex.packed_y = packed[1];
    vertex.packed_z = packed[2];
    const double length = std::sqrt(position[0] * position[0] + position[1] * position[1] +
                                    position[2] * position[2]);
    // A non-finite vertex has no distance; a finite one beyond single
    // precision is held at the largest float rather than converted out of range.
    if (std::isfinite(length) && length > radius) {
      radius = length > FLT_MAX ? FLT_MAX : static_cast<float>(length);
    }
  }
  packing.radius = radius;
}

void MdlModel::Quantize() {
  const int32_t frames = FramesInUse(*this);
  const int32_t vertices = VerticesInUse(*this);
  // Nothing measured: scale, origin and radius keep their values.
  if (frames == 0 || vertices == 0) return;

  // Both passes read and write the frame store in place: loading each frame
  // into the work arrays and storing it back would copy the same records.
  PositionBounds bounds;
  for (int32_t f = 0; f < frames; ++f) WidenBounds(bounds, &StoredVertex(*this, f, 0), vertices);
  Packing packing = StartPacking(*this, bounds);
  for (int32_t f = 0; f < frames; ++f) {
    PackFrame(frame_vertices + static_cast<size_t>(f) * vertex_capacity, vertices, packing);
  }
  bounding_radius = packing.radius;
  // The work arrays end holding the last frame, as the later passes expect.
  LoadFrame(frames - 1);
}

}  // namespace vandrell
