// Positions into bytes: one scale and origin per axis for the whole model,
// taken from the bounds over every frame.
#include "model/Quantize.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "model/CheckedConversion.h"
#include "model/FrameWalk.h"
#include "model/MdlModel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

void WidenBoundsPlain(PositionBounds& bounds, const FrameVertex* vertices, int32_t count) {
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
  packing.largest_square = -1.0;
  return packing;
}

// The radius is measured from the model's own origin. The step, origin and
// radius live in locals: the byte stores below may alias anything, which
// would make the compiler read them again for every vertex.
void PackFramePlain(FrameVertex* vertices, int32_t count, Packing& packing) {
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

#if defined(__SSE2__)

// Four lanes at once: x, y, z of a vertex sit in lanes 1 to 3 of the 16
// bytes from its packed bytes on (lane 0 is ignored). minps(v, m) is
// (v < m ? v : m), the same choice as the plain fold, equal values keeping
// the earlier one; a non-finite lane is replaced by the value that changes
// nothing.
void WidenBounds(PositionBounds& bounds, const FrameVertex* vertices, int32_t count) {
  static_assert(offsetof(FrameVertex, x) == offsetof(FrameVertex, packed_x) + 4 &&
                    offsetof(FrameVertex, z) == offsetof(FrameVertex, packed_x) + 12,
                "x, y, z follow the four packed bytes");
  const __m128 infinity = _mm_set1_ps(std::numeric_limits<float>::infinity());
  const __m128 magnitude_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  __m128 minimum = _mm_setr_ps(0.0f, bounds.minimum[0], bounds.minimum[1], bounds.minimum[2]);
  __m128 maximum = _mm_setr_ps(0.0f, bounds.maximum[0], bounds.maximum[1], bounds.maximum[2]);
  const __m128 negative_infinity = _mm_sub_ps(_mm_setzero_ps(), infinity);
  for (int32_t k = 0; k < count; ++k) {
    const __m128 lanes = _mm_loadu_ps(reinterpret_cast<const float*>(&vertices[k].packed_x));
    // Finite: magnitude below infinity (false for NaN).
    const __m128 finite = _mm_cmplt_ps(_mm_and_ps(lanes, magnitude_mask), infinity);
    const __m128 for_minimum =
        _mm_or_ps(_mm_and_ps(finite, lanes), _mm_andnot_ps(finite, infinity));
    const __m128 for_maximum =
        _mm_or_ps(_mm_and_ps(finite, lanes), _mm_andnot_ps(finite, negative_infinity));
    minimum = _mm_min_ps(for_minimum, minimum);
    maximum = _mm_max_ps(for_maximum, maximum);
  }
  float low[4];
  float high[4];
  _mm_storeu_ps(low, minimum);
  _mm_storeu_ps(high, maximum);
  for (int axis = 0; axis < 3; ++axis) {
    bounds.minimum[axis] = low[axis + 1];
    bounds.maximum[axis] = high[axis + 1];
  }
}

// x and y in the two lanes of one register, z on its own, with the plain
// pass's operations in its order. cvttsd2si gives 0x80000000, whose low byte
// is 0, wherever the plain pass's checked truncation refuses (NaN, infinity,
// beyond 32 bits), so a step of 0 (0 / 0 or x / 0) needs no test either.
// The radius: a vertex no farther out than one already measured cannot
// change it (sqrt and the rounding to float only grow with the sum of
// squares), so only a new largest sum of squares is taken to its root.
void PackFrame(FrameVertex* vertices, int32_t count, Packing& packing) {
  const __m128d origin_xy = _mm_setr_pd(packing.origin[0], packing.origin[1]);
  const __m128d step_xy = _mm_setr_pd(packing.step[0], packing.step[1]);
  const double origin_z = packing.origin[2];
  const double step_z = packing.step[2];
  float radius = packing.radius;
  double largest = packing.largest_square;
  for (int32_t k = 0; k < count; ++k) {
    FrameVertex& vertex = vertices[k];
    // x and y are adjacent floats; copied as one 8-byte value, since the
    // record only guarantees them a float's alignment.
    double xy_bits;
    std::memcpy(&xy_bits, &vertex.x, sizeof xy_bits);
    const __m128d xy = _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(&xy_bits)));
    const double z = vertex.z;
    const __m128i packed_xy = _mm_cvttpd_epi32(_mm_div_pd(_mm_sub_pd(xy, origin_xy), step_xy));
    const int32_t packed_z = _mm_cvttsd_si32(_mm_set_sd((z - origin_z) / step_z));
    vertex.packed_x = static_cast<uint8_t>(_mm_cvtsi128_si32(packed_xy));
    vertex.packed_y = static_cast<uint8_t>(_mm_extract_epi16(packed_xy, 2));
    vertex.packed_z = static_cast<uint8_t>(packed_z);
    const __m128d squares = _mm_mul_pd(xy, xy);
    const double square =
        (_mm_cvtsd_f64(squares) + _mm_cvtsd_f64(_mm_unpackhi_pd(squares, squares))) + z * z;
    // False for NaN; an infinite sum has no finite root and changes nothing.
    if (square > largest && square <= DBL_MAX) {
      largest = square;
      const double length = std::sqrt(square);
      if (length > radius) radius = length > FLT_MAX ? FLT_MAX : static_cast<float>(length);
    }
  }
  packing.radius = radius;
  packing.largest_square = largest;
}

#else

void WidenBounds(PositionBounds& bounds, const FrameVertex* vertices, int32_t count) {
  WidenBoundsPlain(bounds, vertices, count);
}

void PackFrame(FrameVertex* vertices, int32_t count, Packing& packing) {
  PackFramePlain(vertices, count, packing);
}

#endif

void MdlModel::Quantize() {
  const int32_t frames = FramesInUse(*this);
  const int32_t vertices = VerticesInUse(*this);
  // Nothing measured: scale, origin and radius keep their values.
  if (frames == 0 || vertices == 0) return;

  // Both passes read and write the frame store in place: loading each frame
  // into the work arrays and storing it back would copy the same records.
  PositionBounds bounds;
  for (int32_t f = 0; f < frames; ++f) {
    WidenBoundsPlain(bounds, &StoredVertex(*this, f, 0), vertices);
  }
  Packing packing = StartPacking(*this, bounds);
  for (int32_t f = 0; f < frames; ++f) {
    PackFramePlain(frame_vertices + static_cast<size_t>(f) * vertex_capacity, vertices, packing);
  }
  bounding_radius = packing.radius;
  // The work arrays end holding the last frame, as the later passes expect.
  LoadFrame(frames - 1);
}

}  // namespace vandrell
