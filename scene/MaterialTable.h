#pragma once
#include <cstdint>

#include "host/Bitmap.h"
#include "host/Scene.h"
#include "host/Tab.h"

namespace vandrell {

// One distinct material of the export and its block of the skin.
struct MaterialSlot {
  host::HostMaterial* material;  // never null; not owned
  host::Bitmap* bitmap;          // the loaded diffuse bitmap, owned; null: a flat colour
  int32_t x0;                    // skin rectangle, inclusive on every side
  int32_t y0;
  int32_t x1;
  int32_t y1;
};

// Records added to the table's storage whenever it grows.
constexpr int kMaterialTableReserve = 20;

// The distinct materials of the collected nodes, in the order first met. A
// multi-material is never an entry itself: its sub-materials are.
class MaterialTable {
 public:
  MaterialTable() = default;
  // Destroys every slot's bitmap, then frees the storage.
  ~MaterialTable();
  MaterialTable(const MaterialTable&) = delete;
  MaterialTable& operator=(const MaterialTable&) = delete;

  // Enters a node's material, or the sub-materials of a multi-material, each
  // once. A null material is ignored.
  void CollectMaterials(host::HostMaterial* material);
  // Index of the slot holding material, or -1.
  int FindMaterial(host::HostMaterial* material) const;
  void AddMaterial(host::HostMaterial* material);
  static bool IsMultiMaterial(host::HostMaterial* material);

  // Skin column s and row t of a texture vertex (u, v, w) on a face using
  // material (may be null) with face material index (0 .. 65535). u and v are
  // clamped to [0, 1]; v = 1 is the rectangle's top row. With an empty table
  // s = t = 0.
  void MapTextureCoordinate(host::HostMaterial* material, uint32_t index, int32_t& s, int32_t& t,
                            const float vertex[3]) const;

  // Loads the slots' diffuse bitmaps, lays the slots out side by side under
  // byte_budget bytes, writes the skin's width and height and paints skin.
  // Returns 1, or 0 when even the smallest layout exceeds the budget (nothing
  // painted, width and height untouched).
  int BuildSkin(uint8_t* skin, int32_t byte_budget, int32_t* skin_width, int32_t* skin_height);

  int Count() const { return slots_.Count(); }
  MaterialSlot& Slot(int i) { return slots_[i]; }
  const MaterialSlot& Slot(int i) const { return slots_[i]; }

 private:
  host::Tab<MaterialSlot> slots_;
};

}  // namespace vandrell
