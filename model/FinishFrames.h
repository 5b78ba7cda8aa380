#pragma once
#include <cstdint>

#include "model/MdlModel.h"
#include "model/Quantize.h"

namespace vandrell {

// Quantize, SmoothNormals and MergeVertices, in this order, with one walk
// over the stored frames instead of one per pass: each frame is packed,
// smoothed and hashed for merging while it is at hand, and the bounds come
// from frame_bounds instead of a walk of their own. Leaves the model exactly
// as the three passes would. frame_bounds must hold the positions of
// vertices 0 .. VerticesInUse(model) - 1 of the stored frames
// 0 .. FramesInUse(model) - 1, folded in frame order with WidenBounds.
void FinishFrames(MdlModel& model, const PositionBounds& frame_bounds);

}  // namespace vandrell
