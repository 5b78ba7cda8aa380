// Merging: every vertex identical in every frame to a lower-numbered one is
// removed and its triangle corners point at the lowest such vertex.
#include "model/MergeVertices.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "model/FrameWalk.h"

namespace vandrell {

namespace {

// The fields merging compares: s, t, the packed position and the normal
// index, which are the record's first twelve bytes, without padding.
static_assert(offsetof(FrameVertex, t) == 4 && offsetof(FrameVertex, packed_x) == 8 &&
                  offsetof(FrameVertex, normal_index) == 11 && offsetof(FrameVertex, x) == 12,
              "the compared fields fill the first twelve bytes");
inline bool SameVertex(const FrameVertex& a, const FrameVertex& b) {
  return std::memcmp(&a, &b, offsetof(FrameVertex, x)) == 0;
}

// FNV-1a with an extra fold of the high bits, over the compared fields of
// one vertex frame after frame: vertices that are equal have equal hashes.
constexpr uint64_t kHashStart = 1469598103934665603ull;  // FNV-1a offset basis

uint64_t Mix(uint64_t hash, uint64_t value) {
  hash ^= value;
  hash *= 1099511628211ull;  // FNV prime
  return hash ^ (hash >> 29);
}

uint64_t MixVertex(uint64_t hash, const FrameVertex& vertex) {
  hash = Mix(hash, static_cast<uint32_t>(vertex.s));
  hash = Mix(hash, static_cast<uint32_t>(vertex.t));
  return Mix(hash, (static_cast<uint64_t>(PackedPosition(vertex)) << 8) | vertex.normal_index);
}

template <typename T>
std::unique_ptr<T[]> Scratch(int32_t count) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[count > 0 ? count : 1]);
}

}  // namespace

uint64_t MergeVertexHash(const MdlModel& model, int32_t frames, int32_t k) {
  uint64_t hash = kHashStart;
  for (int32_t f = 0; f < frames; ++f) hash = MixVertex(hash, StoredVertex(model, f, k));
  return hash;
}

int MdlModel::VerticesEqual(int32_t i, int32_t j) const {
  const int32_t frames = FramesInUse(*this);
  for (int32_t f = 0; f < frames; ++f) {
    if (!SameVertex(StoredVertex(*this, f, i), StoredVertex(*this, f, j))) return 0;
  }
  return 1;
}

int MdlModel::RemoveVertex(int32_t removed, int32_t kept) {
  const int32_t frames = FramesInUse(*this);
  const int32_t triangles = TrianglesInUse(*this);
  const int32_t vertices = VerticesInUse(*this);
  for (int32_t f = 0; f < frames; ++f) {
    LoadFrame(f);
    for (int32_t k = 0; k < triangles; ++k) {
      int32_t* corner = work_triangles[k].v;
      for (int c = 0; c < 3; ++c) {
        if (corner[c] == removed) corner[c] = kept;
      }
      // kept is below removed, so a corner just pointed at it stays.
      for (int c = 0; c < 3; ++c) {
        if (corner[c] > removed) corner[c] -= 1;
      }
    }
    // The last record keeps its content; it now lies past the count.
    for (int32_t m = removed; m < vertices - 1; ++m) work_vertices[m] = work_vertices[m + 1];
    StoreFrame(f);
  }
  numverts -= 1;
  return numverts;
}

void MergeVerticesInPlace(MdlModel& model) {
  const int32_t n = VerticesInUse(model);
  for (int32_t i = n - 1; i >= 1; --i) {
    for (int32_t j = 0; j < i; ++j) {
      if (model.VerticesEqual(i, j)) {
        model.RemoveVertex(i, j);
        break;
      }
    }
  }
}

namespace {

// Slots of an open-addressing table for n hashes, all free (-1); null when
// memory runs out. Allocate keeps the store within 2 GiB, so n stays far
// below 2^30.
std::unique_ptr<int32_t[]> HashSlots(int32_t n, uint32_t* slot_count) {
  uint32_t count = 1;
  while (count < 2 * static_cast<uint32_t>(n)) count *= 2;
  std::unique_ptr<int32_t[]> slots = Scratch<int32_t>(static_cast<int32_t>(count));
  if (slots) {
    for (uint32_t slot = 0; slot < count; ++slot) slots[slot] = -1;
  }
  *slot_count = count;
  return slots;
}

// The slot of hash: the one holding the first vertex with it, else a free one.
uint32_t SlotOf(const int32_t* slots, uint32_t slot_count, const uint64_t* hashes, uint64_t hash) {
  uint32_t slot = static_cast<uint32_t>(hash >> 32) & (slot_count - 1);
  while (slots[slot] >= 0 && hashes[slots[slot]] != hash) slot = (slot + 1) & (slot_count - 1);
  return slot;
}

// Representatives the exact way: each vertex, in ascending order, is
// compared with the representatives found so far that share its hash
// (chained from the first vertex with that hash); the first equal one is the
// lowest vertex equal to it. False when memory runs out.
bool ChainedRepresentatives(const MdlModel& model, const uint64_t* hashes, int32_t n,
                            int32_t* representative) {
  uint32_t slot_count = 0;
  std::unique_ptr<int32_t[]> slots = HashSlots(n, &slot_count);
  // next_same_hash[r]: the next representative after r with r's hash, or -1.
  std::unique_ptr<int32_t[]> next_same_hash = Scratch<int32_t>(n);
  if (!slots || !next_same_hash) return false;
  for (int32_t v = 0; v < n; ++v) {
    const uint32_t slot = SlotOf(slots.get(), slot_count, hashes, hashes[v]);
    representative[v] = v;
    next_same_hash[v] = -1;
    if (slots[slot] < 0) {
      slots[slot] = v;
      continue;
    }
    int32_t candidate = slots[slot];
    while (true) {
      if (model.VerticesEqual(v, candidate)) {
        representative[v] = candidate;
        break;
      }
      if (next_same_hash[candidate] < 0) {
        next_same_hash[candidate] = v;
        break;
      }
      candidate = next_same_hash[candidate];
    }
  }
  return true;
}

// Representatives on the guess that vertices with one hash are equal: each
// vertex goes to the first vertex with its hash. The guess is then checked
// frame after frame, reading each frame of the store in order rather than
// every frame for each pair. Where it holds, the chained search would have
// found that first vertex equal at once, so the result is the same. False,
// with representative undefined, when some pair differs or memory runs out.
bool GuessedRepresentatives(const MdlModel& model, const uint64_t* hashes, int32_t n,
                            int32_t* representative) {
  uint32_t slot_count = 0;
  std::unique_ptr<int32_t[]> slots = HashSlots(n, &slot_count);
  std::unique_ptr<int32_t[]> folded = Scratch<int32_t>(n);
  if (!slots || !folded) return false;
  int32_t folded_count = 0;
  for (int32_t v = 0; v < n; ++v) {
    const uint32_t slot = SlotOf(slots.get(), slot_count, hashes, hashes[v]);
    if (slots[slot] < 0) {
      slots[slot] = v;
      representative[v] = v;
    } else {
      representative[v] = slots[slot];
      folded[folded_count++] = v;
    }
  }
  const int32_t frames = FramesInUse(model);
  for (int32_t f = 0; f < frames; ++f) {
    const FrameVertex* frame = &StoredVertex(model, f, 0);
    for (int32_t m = 0; m < folded_count; ++m) {
      const int32_t v = folded[m];
      if (!SameVertex(frame[v], frame[representative[v]])) return false;
    }
  }
  return true;
}

}  // namespace

void StartMergeHashes(uint64_t* hashes, int32_t count) {
  for (int32_t k = 0; k < count; ++k) hashes[k] = kHashStart;
}

void MixMergeHashes(uint64_t* hashes, const FrameVertex* frame, int32_t count) {
  for (int32_t k = 0; k < count; ++k) hashes[k] = MixVertex(hashes[k], frame[k]);
}

void MdlModel::MergeVertices() {
  const int32_t n = VerticesInUse(*this);
  if (n < 2) return;
  const int32_t frames = FramesInUse(*this);
  std::unique_ptr<uint64_t[]> hashes = Scratch<uint64_t>(n);
  if (!hashes) {
    MergeVerticesInPlace(*this);
    return;
  }
  // Hashes frame by frame, so that the frame store is read in order.
  StartMergeHashes(hashes.get(), n);
  for (int32_t f = 0; f < frames; ++f) MixMergeHashes(hashes.get(), &StoredVertex(*this, f, 0), n);
  MergeHashedVertices(*this, hashes.get());
}

// Removals run from the top down and each folds a vertex into a lower one, so
// the outcome has a closed form. Every vertex goes to the lowest vertex equal
// to it (its representative); survivors keep their order and are numbered
// afresh; a corner naming vertex v ends naming the new number of v's
// representative, and one at or past the count drops by the number removed.
// The shifts leave one stale record per removal past the new count: record
// n - j holds the highest vertex not yet removed when the j-th removal ran.
// All of that is computed once, then every frame is rewritten once instead
// of once per removal.
void MergeHashedVertices(MdlModel& model, const uint64_t* hashes) {
  const int32_t n = VerticesInUse(model);
  if (n < 2) return;
  std::unique_ptr<int32_t[]> representative = Scratch<int32_t>(n);
  if (!representative || (!GuessedRepresentatives(model, hashes, n, representative.get()) &&
                          !ChainedRepresentatives(model, hashes, n, representative.get()))) {
    MergeVerticesInPlace(model);
    return;
  }
  MergeIntoRepresentatives(model, representative.get());
}

MergeRefinement::MergeRefinement() = default;
MergeRefinement::~MergeRefinement() = default;

bool MergeRefinement::Allocate(int32_t count) {
  count_ = count > 0 ? count : 0;
  representative_ = Scratch<int32_t>(count_);
  // Room for every vertex leaving its class in one frame, at most half full.
  slot_count_ = 1;
  while (slot_count_ < 2 * static_cast<uint32_t>(count_)) slot_count_ *= 2;
  slots_.reset(new (std::nothrow) Slot[slot_count_]());
  stamp_ = 0;
  if (!representative_ || !slots_) return false;
  // Before any frame every vertex equals every other.
  for (int32_t v = 0; v < count_; ++v) representative_[v] = 0;
  return true;
}

// A class of vertices equal in every frame so far splits by the fields of
// this frame. Its lowest member stays its representative; a member that
// differs from it in this frame goes to the lowest member of the class that
// has its fields in this frame, which, walking upwards, is the first such
// member to leave. Members are compared with their representative, which
// is never changed by the walk (it lies below them and stays its own).
void MergeRefinement::TakeFrame(const FrameVertex* frame) {
  if (++stamp_ == 0) {
    // Stamps have gone round: no slot may look as if it were this frame's.
    for (uint32_t slot = 0; slot < slot_count_; ++slot) slots_[slot].stamp = 0;
    stamp_ = 1;
  }
  int32_t* representative = representative_.get();
  for (int32_t v = 0; v < count_; ++v) {
    const int32_t old = representative[v];
    if (old == v || SameVertex(frame[v], frame[old])) continue;
    const uint64_t hash = MixVertex(Mix(kHashStart, static_cast<uint32_t>(old)), frame[v]);
    uint32_t slot = static_cast<uint32_t>(hash >> 32) & (slot_count_ - 1);
    while (slots_[slot].stamp == stamp_ && !(slots_[slot].old_representative == old &&
                                             SameVertex(frame[slots_[slot].vertex], frame[v]))) {
      slot = (slot + 1) & (slot_count_ - 1);
    }
    if (slots_[slot].stamp == stamp_) {
      representative[v] = slots_[slot].vertex;
    } else {
      slots_[slot] = Slot{stamp_, old, v};
      representative[v] = v;
    }
  }
}

void MergeIntoRepresentatives(MdlModel& model, const int32_t* representative) {
  const int32_t n = VerticesInUse(model);
  if (n < 2) return;
  const int32_t frames = FramesInUse(model);
  std::unique_ptr<int32_t[]> renumbered = Scratch<int32_t>(n);
  std::unique_ptr<int32_t[]> source = Scratch<int32_t>(n);
  if (!renumbered || !source) {
    MergeVerticesInPlace(model);
    return;
  }

  // New numbers of the survivors, and where each record of the merged frame
  // comes from.
  int32_t survivors = 0;
  for (int32_t k = 0; k < n; ++k) {
    if (representative[k] == k) {
      renumbered[k] = survivors;
      source[survivors] = k;
      ++survivors;
    }
  }
  const int32_t removed_count = n - survivors;
  if (removed_count == 0) return;
  // What a corner naming vertex v ends naming, in one step: the new number
  // of v's representative.
  for (int32_t k = 0; k < n; ++k) renumbered[k] = renumbered[representative[k]];
  int32_t highest_left = n - 1;
  int32_t j = 0;
  for (int32_t removed = n - 1; removed >= 1; --removed) {
    if (representative[removed] == removed) continue;
    // Before this removal every removed vertex above it is gone.
    while (highest_left > removed && representative[highest_left] != highest_left) --highest_left;
    ++j;
    source[n - j] = highest_left;
  }

  // Each frame is rewritten in place. Survivor p comes from a record at or
  // above p, so an ascending gather reads only records not yet overwritten;
  // the stale records' sources are set aside first. Triangles are renumbered
  // in place.
  std::unique_ptr<FrameVertex[]> stale = Scratch<FrameVertex>(removed_count);
  if (!stale) {
    MergeVerticesInPlace(model);
    return;
  }
  const int32_t triangles = TrianglesInUse(model);
  for (int32_t f = 0; f < frames; ++f) {
    FrameVertex* stored = model.frame_vertices + static_cast<size_t>(f) * model.vertex_capacity;
    for (int32_t m = 0; m < removed_count; ++m) stale[m] = stored[source[survivors + m]];
    for (int32_t p = 0; p < survivors; ++p) stored[p] = stored[source[p]];
    for (int32_t m = 0; m < removed_count; ++m) stored[survivors + m] = stale[m];
    TriangleIndices* stored_triangles =
        model.frame_triangles + static_cast<size_t>(f) * model.triangle_capacity;
    for (int32_t k = 0; k < triangles; ++k) {
      for (int32_t& corner : stored_triangles[k].v) {
        if (corner >= n) {
          corner -= removed_count;
        } else if (corner >= 0) {
          corner = renumbered[corner];
        }
      }
    }
  }
  // The work arrays end holding the last frame, as merged.
  model.LoadFrame(frames - 1);
  model.numverts -= removed_count;
}

}  // namespace vandrell
