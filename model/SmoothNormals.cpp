// Gouraud shading: the vertices at one packed position share the table
// normal nearest to the mean of their face normals, frame by frame.
#include "model/SmoothNormals.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "export/ExportSettings.h"
#include "model/FrameWalk.h"
#include "model/NormalTable.h"

namespace vandrell {

namespace {

// Adds the table vector of vertex's normal index to sum. An index outside the
// table (never written by frame sampling) adds nothing rather than reading
// past it.
void AddTableNormal(const FrameVertex& vertex, double sum[3]) {
  if (vertex.normal_index >= kNormalCount) return;
  for (int axis = 0; axis < 3; ++axis) sum[axis] += NormalTable[vertex.normal_index][axis];
}

// The mean is formed in double and rounded once to single precision. A mean
// of copies of one table vector is then that vector exactly (the sum of up to
// 2^29 copies of a float is exact in double), which the fast pass relies on.
int32_t NearestToMean(const double sum[3], int32_t count) {
  return NearestNormalIndex(static_cast<float>(sum[0] / count), static_cast<float>(sum[1] / count),
                            static_cast<float>(sum[2] / count));
}

}  // namespace

void SmoothNormalsInPlace(MdlModel& model) {
  if (g_export_settings.gouraud_shading == 0) return;
  const int32_t frames = FramesInUse(model);
  const int32_t vertices = VerticesInUse(model);
  for (int32_t f = 0; f < frames; ++f) {
    model.LoadFrame(f);
    FrameVertex* work = model.work_vertices;
    for (int32_t a = 0; a < vertices; ++a) {
      double sum[3] = {0.0, 0.0, 0.0};
      int32_t count = 0;
      for (int32_t b = a; b < vertices; ++b) {
        if (!SamePackedPosition(work[a], work[b])) continue;
        AddTableNormal(work[b], sum);
        ++count;
      }
      const uint8_t index = static_cast<uint8_t>(NearestToMean(sum, count));
      for (int32_t b = a; b < vertices; ++b) {
        if (SamePackedPosition(work[a], work[b])) work[b].normal_index = index;
      }
    }
    model.StoreFrame(f);
  }
}

// The lowest vertex at a position sums every member's original normal in
// ascending order and writes the result to all of them; every later member
// then averages copies of that one table vector, which gives its index back
// (every entry is its own nearest). So one sum per position, in ascending
// vertex order, is the whole pass: the vertices are sorted by position with
// their numbers as the tie-break.
void MdlModel::SmoothNormals() {
  if (g_export_settings.gouraud_shading == 0) return;
  const int32_t frames = FramesInUse(*this);
  const int32_t vertices = VerticesInUse(*this);
  std::unique_ptr<uint64_t[]> order(new (std::nothrow) uint64_t[vertices > 0 ? vertices : 1]);
  if (!order) {
    SmoothNormalsInPlace(*this);
    return;
  }
  for (int32_t f = 0; f < frames; ++f) {
    LoadFrame(f);
    for (int32_t k = 0; k < vertices; ++k) {
      order[k] = (static_cast<uint64_t>(PackedPosition(work_vertices[k])) << 32) |
                 static_cast<uint32_t>(k);
    }
    std::sort(order.get(), order.get() + vertices);
    int32_t first = 0;
    while (first < vertices) {
      const uint64_t position = order[first] >> 32;
      int32_t end = first;
      double sum[3] = {0.0, 0.0, 0.0};
      while (end < vertices && (order[end] >> 32) == position) {
        AddTableNormal(work_vertices[static_cast<uint32_t>(order[end])], sum);
        ++end;
      }
      const uint8_t index = static_cast<uint8_t>(NearestToMean(sum, end - first));
      for (int32_t m = first; m < end; ++m) {
        work_vertices[static_cast<uint32_t>(order[m])].normal_index = index;
      }
      first = end;
    }
    StoreFrame(f);
  }
}

}  // namespace vandrell
