#pragma once
#include "model/MdlModel.h"

namespace vandrell {

// The merging pass without scratch memory: for i from numverts - 1 down to 1,
// vertex i is removed into the first lower vertex identical to it in every
// frame, with RemoveVertex copying every frame through the work arrays per
// removal. MdlModel::MergeVertices gives the same result (frame store, work
// arrays, counts) with one pass over the frames, and falls back to this when
// it cannot have its scratch memory.
void MergeVerticesInPlace(MdlModel& model);

}  // namespace vandrell
