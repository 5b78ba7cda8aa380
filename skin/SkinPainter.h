#pragma once
#include <cstdint>

namespace vandrell {

class MaterialTable;

// Paints every slot's block of the skin (skin_width bytes a row, top row
// first) with palette indices. A slot with a bitmap gets the bitmap scaled to
// its block and converted by the host to the first 224 palette entries, or to
// all 256 when fullbright is set; a slot without one, or whose paletted copy
// the host cannot create, gets the palette entry nearest to its material's
// diffuse colour. Writes nothing outside the blocks.
void PaintSkin(const MaterialTable& table, uint8_t* skin, int32_t skin_width, bool fullbright);

}  // namespace vandrell
