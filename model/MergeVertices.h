#pragma once
#include <cstdint>
#include <memory>

#include "model/MdlModel.h"

namespace vandrell {

// The merging pass without scratch memory: for i from numverts - 1 down to 1,
// vertex i is removed into the first lower vertex identical to it in every
// frame, with RemoveVertex copying every frame through the work arrays per
// removal. MdlModel::MergeVertices gives the same result (frame store, work
// arrays, counts) with one pass over the frames, and falls back to this when
// it cannot have its scratch memory.
void MergeVerticesInPlace(MdlModel& model);

// The hash by which MdlModel::MergeVertices groups vertices before comparing
// them: vertex k's compared fields over stored frames 0 .. frames - 1. Equal
// vertices have equal hashes; unequal ones may share one. Declared for tests
// that need two different vertices with one hash.
uint64_t MergeVertexHash(const MdlModel& model, int32_t frames, int32_t k);

// MdlModel::MergeVertices in two steps, so that a walk over the frames for
// another pass can hash them while each frame is at hand: hashes[k] for k <
// count start with StartMergeHashes, take in every stored frame in order
// with MixMergeHashes, and then equal MergeVertexHash(model, frames, k).
void StartMergeHashes(uint64_t* hashes, int32_t count);
void MixMergeHashes(uint64_t* hashes, const FrameVertex* frame, int32_t count);
// The rest of MdlModel::MergeVertices, given those hashes of vertices
// 0 .. VerticesInUse(model) - 1 over FramesInUse(model) frames.
void MergeHashedVertices(MdlModel& model, const uint64_t* hashes);

// The representatives merging folds vertices into (each vertex's lowest
// vertex equal to it in every frame), found while a walk over the frames has
// each one at hand: every frame in order goes through TakeFrame once.
class MergeRefinement {
 public:
  MergeRefinement();
  ~MergeRefinement();
  // For vertices 0 .. count - 1; false when memory runs out.
  bool Allocate(int32_t count);
  // Takes in one stored frame: vertices that differ in it part.
  void TakeFrame(const FrameVertex* frame);
  // Representative of every vertex over the frames taken in so far.
  const int32_t* representatives() const { return representative_.get(); }

 private:
  struct Slot {
    uint32_t stamp;  // frame the slot was filled in; 0: never
    int32_t old_representative;
    int32_t vertex;  // the first vertex of that class to leave with its fields
  };
  int32_t count_ = 0;
  std::unique_ptr<int32_t[]> representative_;
  std::unique_ptr<Slot[]> slots_;
  uint32_t slot_count_ = 0;
  uint32_t stamp_ = 0;
};

// The rewriting of MdlModel::MergeVertices given every vertex's
// representative, the lowest vertex equal to it in every frame (r <= v).
void MergeIntoRepresentatives(MdlModel& model, const int32_t* representative);

}  // namespace vandrell
