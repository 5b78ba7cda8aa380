#include "skin/SkinPainter.h"

#include <algorithm>
#include <cstddef>
#include <memory>

#include "scene/MaterialTable.h"
#include "skin/QuakePalette.h"

namespace vandrell {

namespace {

// Fill index of the host's scaled copy, for pixels the source cannot give.
constexpr int kCopyFillIndex = 0;

size_t SkinOffset(int32_t row, int32_t column, int32_t skin_width) {
  return static_cast<size_t>(row) * static_cast<size_t>(skin_width) + static_cast<size_t>(column);
}

// The block filled with the palette entry nearest to the material's diffuse
// colour, whatever the fullbright setting.
void PaintColorBlock(const MaterialSlot& slot, uint8_t* skin, int32_t skin_width) {
  const host::Color diffuse = slot.material->GetDiffuse(0, 0);
  const uint8_t index = NearestPaletteIndex(diffuse.r, diffuse.g, diffuse.b);
  const size_t width = static_cast<size_t>(slot.x1 - slot.x0 + 1);
  for (int32_t y = slot.y0; y <= slot.y1; ++y)
    std::fill_n(skin + SkinOffset(y, slot.x0, skin_width), width, index);
}

// The slot's bitmap scaled into the block through a new paletted bitmap of the
// block's size, whose rows are copied straight into the skin.
void PaintBitmapBlock(const MaterialSlot& slot, uint8_t* skin, int32_t skin_width,
                      bool fullbright) {
  const int32_t block_width = slot.x1 - slot.x0 + 1;
  const int32_t block_height = slot.y1 - slot.y0 + 1;
  host::BitmapInfo info;
  info.SetName("");
  info.SetWidth(block_width);
  info.SetHeight(block_height);
  info.SetType(host::kBitmapType8BitPaletted);
  std::unique_ptr<host::Bitmap> block(host::TheManager->Create(&info));
  if (!block) {
    PaintColorBlock(slot, skin, skin_width);
    return;
  }
  host::BitmapStorage* storage = block->Storage();
  if (!storage) return;  // reports height 0: the block stays unwritten
  const int palette_size = fullbright ? kPaletteSize : kPaletteSizeWithoutFullbright;
  storage->SetPalette(0, palette_size, QuakePalette);
  storage->CopyScaledFrom(slot.bitmap, host::kCopyScaled, kCopyFillIndex);
  // The host makes the bitmap the size asked for; the limits keep every
  // write inside the block should it not.
  const int32_t rows = std::min(block->Height(), block_height);
  const int32_t columns = std::min(block->Width(), block_width);
  for (int32_t k = 0; k < rows; ++k)
    storage->ReadIndexRow(0, k, columns, skin + SkinOffset(slot.y0 + k, slot.x0, skin_width));
}

}  // namespace

void PaintSkin(const MaterialTable& table, uint8_t* skin, int32_t skin_width, bool fullbright) {
  for (int i = 0; i < table.Count(); ++i) {
    const MaterialSlot& slot = table.Slot(i);
    if (slot.bitmap)
      PaintBitmapBlock(slot, skin, skin_width, fullbright);
    else
      PaintColorBlock(slot, skin, skin_width);
  }
}

}  // namespace vandrell
