// Merging: every vertex identical in every frame to a lower-numbered one is
// removed and its triangle corners point at the lowest such vertex.
#include "model/MergeVertices.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "model/FrameWalk.h"

namespace vandrell {

namespace {

// The fields merging compares, in the order it compares them.
bool SameVertex(const FrameVertex& a, const FrameVertex& b) {
  return a.s == b.s && a.t == b.t && SamePackedPosition(a, b) && a.normal_index == b.normal_index;
}

// A hash of vertex k's compared fields over every frame: vertices that are
// equal have equal hashes.
uint64_t VertexHash(const MdlModel& model, int32_t frames, int32_t k) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a offset basis
  const auto mix = [&hash](uint64_t value) {
    hash ^= value;
    hash *= 1099511628211ull;  // FNV prime
    hash ^= hash >> 29;
  };
  for (int32_t f = 0; f < frames; ++f) {
    const FrameVertex& vertex = StoredVertex(model, f, k);
    mix(static_cast<uint32_t>(vertex.s));
    mix(static_cast<uint32_t>(vertex.t));
    mix((static_cast<uint64_t>(PackedPosition(vertex)) << 8) | vertex.normal_index);
  }
  return hash;
}

template <typename T>
std::unique_ptr<T[]> Scratch(int32_t count) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[count > 0 ? count : 1]);
}

}  // namespace

uint64_t MergeVertexHash(const MdlModel& model, int32_t frames, int32_t k) {
  return VertexHash(model, frames, k);
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

// Removals run from the top down and each folds a vertex into a lower one, so
// the outcome has a closed form. Every vertex goes to the lowest vertex equal
// to it (its representative); survivors keep their order and are numbered
// afresh; a corner naming vertex v ends naming the new number of v's
// representative, and one at or past the count drops by the number removed.
// The shifts leave one stale record per removal past the new count: record
// n - j holds the highest vertex not yet removed when the j-th removal ran.
// All of that is computed once, then every frame is rewritten with one load
// and one store instead of one of each per removal.
void MdlModel::MergeVertices() {
  const int32_t n = VerticesInUse(*this);
  if (n < 2) return;
  const int32_t frames = FramesInUse(*this);

  std::unique_ptr<uint64_t[]> hashes = Scratch<uint64_t>(n);
  std::unique_ptr<int32_t[]> order = Scratch<int32_t>(n);
  std::unique_ptr<int32_t[]> representative = Scratch<int32_t>(n);
  std::unique_ptr<int32_t[]> renumbered = Scratch<int32_t>(n);
  std::unique_ptr<int32_t[]> source = Scratch<int32_t>(n);
  if (!hashes || !order || !representative || !renumbered || !source) {
    MergeVerticesInPlace(*this);
    return;
  }

  // Representatives: among vertices of equal hash, in ascending order, each
  // one is compared with the representatives found so far in its run.
  for (int32_t k = 0; k < n; ++k) {
    hashes[k] = VertexHash(*this, frames, k);
    order[k] = k;
  }
  std::sort(order.get(), order.get() + n, [&hashes](int32_t a, int32_t b) {
    return hashes[a] != hashes[b] ? hashes[a] < hashes[b] : a < b;
  });
  for (int32_t first = 0; first < n;) {
    int32_t end = first;
    while (end < n && hashes[order[end]] == hashes[order[first]]) ++end;
    for (int32_t m = first; m < end; ++m) {
      const int32_t v = order[m];
      representative[v] = v;
      for (int32_t r = first; r < m; ++r) {
        const int32_t candidate = order[r];
        if (representative[candidate] == candidate && VerticesEqual(v, candidate)) {
          representative[v] = candidate;
          break;
        }
      }
    }
    first = end;
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
  int32_t highest_left = n - 1;
  int32_t j = 0;
  for (int32_t removed = n - 1; removed >= 1; --removed) {
    if (representative[removed] == removed) continue;
    // Before this removal every removed vertex above it is gone.
    while (highest_left > removed && representative[highest_left] != highest_left) --highest_left;
    ++j;
    source[n - j] = highest_left;
  }

  for (int32_t f = 0; f < frames; ++f) {
    LoadFrame(f);
    const FrameVertex* stored = &StoredVertex(*this, f, 0);
    for (int32_t p = 0; p < n; ++p) work_vertices[p] = stored[source[p]];
    const int32_t triangles = TrianglesInUse(*this);
    for (int32_t k = 0; k < triangles; ++k) {
      for (int32_t& corner : work_triangles[k].v) {
        if (corner >= n) {
          corner -= removed_count;
        } else if (corner >= 0) {
          corner = renumbered[representative[corner]];
        }
      }
    }
    StoreFrame(f);
  }
  numverts -= removed_count;
}

}  // namespace vandrell
