// Gouraud shading: the vertices at one packed position share the table
// normal nearest to the mean of their face normals, frame by frame.
#include "model/SmoothNormals.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "export/ExportSettings.h"
#include "mdlformat/NormalTable.h"
#include "model/FrameWalk.h"
#include "model/NearestNormal.h"

namespace vandrell {

namespace {

// Adds the table vector of vertex's normal index to sum. An index outside the
// table (never written by frame sampling) adds nothing rather than reading
// past it.
void AddTableNormal(const FrameVertex& vertex, double sum[3]) {
  if (vertex.normal_index >= mdl_format::kNormalCount) return;
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

// Positions of one frame numbered in order of first appearance: an
// open-addressing table from the 24-bit packed position to its group, reused
// frame after frame. A slot belongs to the current frame only when its stamp
// says so, so no frame has to clear the table.
class PositionGroups {
 public:
  // Room for up to vertex_count positions a frame (far below 2^30: Allocate
  // keeps the store within 2 GiB); false when memory runs out.
  bool Allocate(int32_t vertex_count) {
    slot_count_ = 1;
    while (slot_count_ < 2 * static_cast<uint32_t>(vertex_count)) slot_count_ *= 2;
    slots_.reset(new (std::nothrow) Slot[slot_count_]());
    return slots_ != nullptr;
  }
  void StartFrame() {
    ++stamp_;
    count_ = 0;
  }
  // The group of position; a position new in this frame opens the next one.
  int32_t GroupOf(uint32_t position) {
    uint32_t slot = (position * 2654435761u) & (slot_count_ - 1);  // Knuth's multiplicative hash
    while (slots_[slot].stamp == stamp_) {
      if (slots_[slot].position == position) return slots_[slot].group;
      slot = (slot + 1) & (slot_count_ - 1);
    }
    slots_[slot] = Slot{stamp_, position, count_};
    return count_++;
  }
  int32_t count() const { return count_; }

 private:
  struct Slot {
    uint32_t stamp;  // 0: never used
    uint32_t position;
    int32_t group;
  };
  std::unique_ptr<Slot[]> slots_;
  uint32_t slot_count_ = 0;
  uint32_t stamp_ = 0;
  int32_t count_ = 0;
};

FrameSmoother::FrameSmoother() = default;
FrameSmoother::~FrameSmoother() = default;

bool FrameSmoother::Allocate(int32_t vertex_count) {
  const size_t scratch = vertex_count > 0 ? static_cast<size_t>(vertex_count) : 1;
  groups_.reset(new (std::nothrow) PositionGroups);
  group_of_.reset(new (std::nothrow) int32_t[scratch]);
  sums_.reset(new (std::nothrow) double[3 * scratch]);
  counts_.reset(new (std::nothrow) int32_t[scratch]);
  indices_.reset(new (std::nothrow) uint8_t[scratch]);
  return groups_ && groups_->Allocate(vertex_count) && group_of_ && sums_ && counts_ && indices_;
}

// The lowest vertex at a position sums every member's original normal in
// ascending order and writes the result to all of them; every later member
// then averages copies of that one table vector, which gives its index back
// (every entry is its own nearest). So one sum per position, its members
// added in ascending vertex order, is the whole pass; the frame is grouped
// by position in one walk and changed in place.
void FrameSmoother::Smooth(FrameVertex* frame, int32_t vertices) {
  PositionGroups& groups = *groups_;
  int32_t* group_of = group_of_.get();
  double* sums = sums_.get();
  int32_t* counts = counts_.get();
  uint8_t* indices = indices_.get();
  groups.StartFrame();
  for (int32_t k = 0; k < vertices; ++k) group_of[k] = groups.GroupOf(PackedPosition(frame[k]));
  for (int32_t g = 0; g < groups.count(); ++g) {
    sums[3 * g] = sums[3 * g + 1] = sums[3 * g + 2] = 0.0;
    counts[g] = 0;
  }
  for (int32_t k = 0; k < vertices; ++k) {
    const int32_t group = group_of[k];
    AddTableNormal(frame[k], &sums[3 * static_cast<size_t>(group)]);
    ++counts[group];
  }
  for (int32_t g = 0; g < groups.count(); ++g) {
    indices[g] = static_cast<uint8_t>(NearestToMean(&sums[3 * static_cast<size_t>(g)], counts[g]));
  }
  for (int32_t k = 0; k < vertices; ++k) frame[k].normal_index = indices[group_of[k]];
}

void MdlModel::SmoothNormals() {
  if (g_export_settings.gouraud_shading == 0) return;
  const int32_t frames = FramesInUse(*this);
  const int32_t vertices = VerticesInUse(*this);
  if (frames == 0) return;
  FrameSmoother smoother;
  if (!smoother.Allocate(vertices)) {
    SmoothNormalsInPlace(*this);
    return;
  }
  for (int32_t f = 0; f < frames; ++f) {
    smoother.Smooth(frame_vertices + static_cast<size_t>(f) * vertex_capacity, vertices);
  }
  // The work arrays end holding the last frame, as they did before the pass.
  LoadFrame(frames - 1);
}

}  // namespace vandrell
