#pragma once
#include "model/MdlModel.h"

namespace vandrell {

// The Gouraud pass without scratch memory: for every frame and every vertex a
// in ascending order, the vertices from a on at a's packed position get the
// table entry nearest to the mean of their current normals. Quadratic in
// numverts. MdlModel::SmoothNormals gives the same result faster and falls
// back to this when it cannot have its scratch memory. Does nothing when
// gouraud_shading is 0.
void SmoothNormalsInPlace(MdlModel& model);

}  // namespace vandrell
