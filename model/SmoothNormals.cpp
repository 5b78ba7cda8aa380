// Gouraud shading: the vertices at one packed position share the table
// normal nearest to the mean of their face normals, frame by frame.
#include "model/SmoothNormals.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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
void MeanNormal(const double sum[3], int32_t count, float mean[3]) {
  for (int axis = 0; axis < 3; ++axis) mean[axis] = static_cast<float>(sum[axis] / count);
}

int32_t NearestToMean(const double sum[3], int32_t count) {
  float mean[3];
  MeanNormal(sum, count, mean);
  return NearestNormalIndex(mean[0], mean[1], mean[2]);
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
// says so, so no frame has to clear the table. Only as much of the table is
// used as the frame's distinct positions need (at most half of it full):
// a frame has far fewer positions than vertices, and a small table stays in
// the cache.
class PositionGroups {
 public:
  // Room for up to vertex_count positions a frame (far below 2^30: Allocate
  // keeps the store within 2 GiB); false when memory runs out.
  bool Allocate(int32_t vertex_count) {
    capacity_ = 1;
    while (capacity_ < 2 * static_cast<uint32_t>(vertex_count)) capacity_ *= 2;
    slots_.reset(new (std::nothrow) Slot[capacity_]);
    positions_.reset(new (std::nothrow) uint32_t[capacity_ / 2 + 1]);
    if (!slots_ || !positions_) return false;
    used_ = capacity_ < kFirstUse ? capacity_ : kFirstUse;
    SetShift();
    for (uint32_t slot = 0; slot < used_; ++slot) slots_[slot].stamp = 0;
    return true;
  }
  void StartFrame() {
    ++stamp_;
    count_ = 0;
  }
  // The group of position; a position new in this frame opens the next one.
  int32_t GroupOf(uint32_t position) {
    uint32_t slot = Find(position);
    if (slots_[slot].stamp == stamp_) return slots_[slot].group;
    if (2 * (static_cast<uint32_t>(count_) + 1) > used_ && used_ < capacity_) {
      Grow();
      slot = Find(position);
    }
    slots_[slot] = Slot{stamp_, position, count_};
    positions_[count_] = position;
    return count_++;
  }
  int32_t count() const { return count_; }

 private:
  static constexpr uint32_t kFirstUse = 4096;

  struct Slot {
    uint32_t stamp;  // 0: never used
    uint32_t position;
    int32_t group;
  };

  // The slot holding position in this frame, else the free one where it goes.
  uint32_t Find(uint32_t position) const {
    // Knuth's multiplicative hash: its high bits, which every bit of the
    // position reaches (the low ones see only the position's low bits).
    uint32_t slot =
        static_cast<uint32_t>(static_cast<uint64_t>(position * 2654435761u) >> used_shift_);
    while (slots_[slot].stamp == stamp_ && slots_[slot].position != position) {
      slot = (slot + 1) & (used_ - 1);
    }
    return slot;
  }

  // Twice the slots; this frame's positions are entered again under a new
  // stamp, with their groups.
  void Grow() {
    const uint32_t old_used = used_;
    used_ = 2 * used_;
    SetShift();
    for (uint32_t slot = old_used; slot < used_; ++slot) slots_[slot].stamp = 0;
    ++stamp_;
    for (int32_t group = 0; group < count_; ++group) {
      const uint32_t slot = Find(positions_[group]);
      slots_[slot] = Slot{stamp_, positions_[group], group};
    }
  }

  // A hash's top bits select one of used_ slots.
  void SetShift() {
    used_shift_ = 32;
    for (uint32_t size = used_; size > 1; size /= 2) --used_shift_;
  }

  std::unique_ptr<Slot[]> slots_;
  std::unique_ptr<uint32_t[]> positions_;  // by group
  uint32_t capacity_ = 0;
  uint32_t used_ = 0;
  uint32_t used_shift_ = 32;
  uint32_t stamp_ = 0;
  int32_t count_ = 0;
};

// Table normals nearest to means already matched: the match depends on the
// three floats alone, and from frame to frame most positions keep the same
// normals around them. A direct-mapped cache on the floats' bits.
class NearestNormalCache {
 public:
  bool Allocate() {
    entries_.reset(new (std::nothrow) Entry[kEntries]());
    return entries_ != nullptr;
  }
  int32_t Nearest(float x, float y, float z) {
    uint32_t key[3];
    std::memcpy(&key[0], &x, sizeof x);
    std::memcpy(&key[1], &y, sizeof y);
    std::memcpy(&key[2], &z, sizeof z);
    const uint32_t hash = (key[0] * 2654435761u) ^ (key[1] * 2246822519u) ^ (key[2] * 3266489917u);
    Entry& entry = entries_[(hash >> 16) & (kEntries - 1)];
    if (entry.known && entry.key[0] == key[0] && entry.key[1] == key[1] && entry.key[2] == key[2]) {
      return entry.index;
    }
    const int32_t index = NearestNormalIndex(x, y, z);
    entry = Entry{{key[0], key[1], key[2]}, static_cast<uint8_t>(index), true};
    return index;
  }

 private:
  static constexpr uint32_t kEntries = 4096;
  struct Entry {
    uint32_t key[3];
    uint8_t index;
    bool known;
  };
  std::unique_ptr<Entry[]> entries_;
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
  leader_.reset(new (std::nothrow) int32_t[scratch]);
  leaders_for_ = -1;
  nearest_.reset(new (std::nothrow) NearestNormalCache);
  return groups_ && groups_->Allocate(vertex_count) && group_of_ && sums_ && counts_ && indices_ &&
         leader_ && nearest_ && nearest_->Allocate();
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
  int32_t* leader = leader_.get();
  // Frame after frame most vertices keep their positions' company: a vertex
  // still at the position of the first vertex of its group in the frame
  // before (which lies below it) takes that vertex's group without a lookup.
  // Equal positions still share a group, and each position's group is still
  // opened by its lowest vertex, which is always looked up, so the groups
  // are numbered in order of first appearance as by lookups alone. counts
  // holds each group's first vertex until the sums need it.
  const bool leaders_known = leaders_for_ == vertices;
  groups.StartFrame();
  for (int32_t k = 0; k < vertices; ++k) {
    const uint32_t position = PackedPosition(frame[k]);
    if (leaders_known && leader[k] < k && PackedPosition(frame[leader[k]]) == position) {
      group_of[k] = group_of[leader[k]];
      continue;
    }
    const int32_t opened = groups.count();
    group_of[k] = groups.GroupOf(position);
    if (group_of[k] == opened) counts[opened] = k;
  }
  for (int32_t k = 0; k < vertices; ++k) leader[k] = counts[group_of[k]];
  leaders_for_ = vertices;
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
    float mean[3];
    MeanNormal(&sums[3 * static_cast<size_t>(g)], counts[g], mean);
    indices[g] = static_cast<uint8_t>(nearest_->Nearest(mean[0], mean[1], mean[2]));
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
