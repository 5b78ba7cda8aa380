// Placeholder until the skin lands.
#include "scene/MaterialTable.h"
#include "skin/QuakePalette.h"

namespace vandrell {

const host::PaletteColor16 QuakePalette[kPaletteSize] = {};
uint8_t NearestPaletteIndex(float, float, float) { return 0; }
// Keeps the provisional skin size that Allocate set.
int MaterialTable::BuildSkin(uint8_t*, int32_t, int32_t*, int32_t*) { return 1; }

}  // namespace vandrell
