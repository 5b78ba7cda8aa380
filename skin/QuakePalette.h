#pragma once
#include <cstdint>

#include "host/Bitmap.h"
#include "mdlformat/QuakePalette.h"

namespace vandrell {

// Quake's 256 colours as the host's bitmaps take them, 16 bits a component
// (8-bit level x 257). Entries 224 to 255 are the fullbright colours.
extern const host::PaletteColor16 (&QuakePalette)[kPaletteSize];

// The palette entry among 0 .. 254 nearest to (r, g, b) in plain squared RGB
// distance, components nominally 0 to 1; ties keep the lower index.
uint8_t NearestPaletteIndex(float r, float g, float b);

}  // namespace vandrell
