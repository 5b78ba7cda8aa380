#pragma once
// The unit normals a packed vertex's normal index points into.

#include "mdlformat/MdlFormat.h"

namespace vandrell {

// The 162 entries in the format's standard order, x, y, z each.
extern const float NormalTable[mdl_format::kNormalCount][3];

}  // namespace vandrell
