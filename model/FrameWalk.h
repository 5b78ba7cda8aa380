#pragma once
#include <algorithm>
#include <cstdint>

#include "model/MdlModel.h"

namespace vandrell {

// How far the model-wide passes walk: the stored frames and the vertices and
// triangles in use, never past what the buffers hold. With the model's
// invariants kept these are numframes, numverts and numtris themselves.
inline int32_t FramesInUse(const MdlModel& model) {
  return std::max<int32_t>(0, std::min(model.numframes, model.frame_capacity));
}
inline int32_t VerticesInUse(const MdlModel& model) {
  return std::max<int32_t>(0, std::min(model.numverts, model.vertex_capacity));
}
inline int32_t TrianglesInUse(const MdlModel& model) {
  return std::max<int32_t>(0, std::min(model.numtris, model.triangle_capacity));
}

// A vertex's packed position as one number: equal positions, equal keys.
inline uint32_t PackedPosition(const FrameVertex& vertex) {
  return (static_cast<uint32_t>(vertex.packed_x) << 16) |
         (static_cast<uint32_t>(vertex.packed_y) << 8) | vertex.packed_z;
}

inline bool SamePackedPosition(const FrameVertex& a, const FrameVertex& b) {
  return PackedPosition(a) == PackedPosition(b);
}

// Vertex k of stored frame f, read in place.
inline const FrameVertex& StoredVertex(const MdlModel& model, int32_t f, int32_t k) {
  return model.frame_vertices[static_cast<size_t>(f) * model.vertex_capacity + k];
}

}  // namespace vandrell
