#pragma once
#include <cstdint>

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

}  // namespace vandrell
