// The skin of an export: the slots' diffuse bitmaps loaded, the slots laid
// out under the byte budget, and every block painted.
#include "export/ExportSettings.h"
#include "scene/MaterialTable.h"
#include "skin/SkinLayout.h"
#include "skin/SkinPainter.h"

namespace vandrell {

namespace {

// The bitmap of the material's diffuse map when that map is a bitmap texture
// and its file loads; null otherwise. The caller owns it.
host::Bitmap* LoadDiffuseBitmap(host::HostMaterial* material) {
  host::TextureMap* map = material->GetSubTexmap(host::kDiffuseMapSlot);
  if (!map || map->ClassID() != host::kBitmapTextureClassId) return nullptr;
  // The class id is what marks a map as a bitmap texture.
  auto* texture = static_cast<host::BitmapTexture*>(map);
  host::BitmapInfo info(texture->GetMapName());
  return host::TheManager->Load(&info, nullptr);
}

}  // namespace

int MaterialTable::BuildSkin(uint8_t* skin, int32_t byte_budget, int32_t* skin_width,
                             int32_t* skin_height) {
  for (int i = 0; i < Count(); ++i) {
    MaterialSlot& slot = Slot(i);
    // A bitmap from an earlier build is the table's too: release it first,
    // and leave no stale pointer should loading throw.
    delete slot.bitmap;
    slot.bitmap = nullptr;
    slot.bitmap = LoadDiffuseBitmap(slot.material);
  }
  SkinSize size{0, 0};
  if (!LayOutSkin(*this, byte_budget, size)) return 0;
  *skin_width = size.width;
  *skin_height = size.height;
  PaintSkin(*this, skin, size.width, g_export_settings.fullbright_colors != 0);
  return 1;
}

}  // namespace vandrell
