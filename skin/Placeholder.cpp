// Placeholder until the skin layout and painting land.
#include "scene/MaterialTable.h"

namespace vandrell {

// Keeps the provisional skin size that Allocate set.
int MaterialTable::BuildSkin(uint8_t*, int32_t, int32_t*, int32_t*) { return 1; }

}  // namespace vandrell
