#include "scene/MaterialTable.h"

#include <cmath>

namespace vandrell {

namespace {

// u or v limited to [0, 1]; a value that does not compare (NaN) becomes 0.
float ClampUnit(float value) {
  if (value > 1.0f) return 1.0f;
  if (value >= 0.0f) return value;
  return 0.0f;
}

// from + trunc(extent x factor), the product in double precision.
int32_t Interpolate(int32_t from, int32_t to, float factor) {
  const double offset = (static_cast<double>(to) - from) * static_cast<double>(factor);
  return from + static_cast<int32_t>(offset);
}

}  // namespace

MaterialTable::~MaterialTable() {
  for (int i = 0; i < slots_.Count(); ++i) {
    delete slots_[i].bitmap;
    slots_[i].bitmap = nullptr;
  }
  slots_.zfree();
}

bool MaterialTable::IsMultiMaterial(host::HostMaterial* material) {
  const host::Class_ID id = material->ClassID();
  return id.PartA() == host::kMultiMaterialClassId.PartA() &&
         id.PartB() == host::kMultiMaterialClassId.PartB();
}

void MaterialTable::CollectMaterials(host::HostMaterial* material) {
  if (!material) return;
  host::ValidityInterval validity{host::kNeverTime, host::kNeverTime};
  material->Update(0, validity);
  if (!IsMultiMaterial(material)) {
    if (FindMaterial(material) == -1) AddMaterial(material);
    return;
  }
  if (material->NumSubMtls() < 1) return;
  // The count is asked again after every step: the host may change it.
  for (int i = 0; i < material->NumSubMtls(); ++i) {
    host::HostMaterial* sub = material->GetSubMtl(i);
    if (sub && FindMaterial(sub) == -1) AddMaterial(sub);
  }
}

int MaterialTable::FindMaterial(host::HostMaterial* material) const {
  for (int i = 0; i < slots_.Count(); ++i) {
    if (slots_[i].material == material) return i;
  }
  return -1;
}

void MaterialTable::AddMaterial(host::HostMaterial* material) {
  const MaterialSlot slot{material, nullptr, 0, 0, 0, 0};
  slots_.TBInsertAt(slots_.Count(), &slot, 1, kMaterialTableReserve);
}

void MaterialTable::MapTextureCoordinate(host::HostMaterial* material, uint32_t index, int32_t& s,
                                         int32_t& t, const float vertex[3]) const {
  if (slots_.Count() == 0) {
    s = 0;
    t = 0;
    return;
  }
  if (material && IsMultiMaterial(material)) {
    const int count = material->NumSubMtls();
    const int k = (count > 0 && index < static_cast<uint32_t>(count)) ? static_cast<int>(index) : 0;
    material = material->GetSubMtl(k);
  }
  int slot_index = material ? FindMaterial(material) : -1;
  if (slot_index < 0) slot_index = 0;
  const MaterialSlot& slot = slots_[slot_index];
  const float u = ClampUnit(vertex[0]);
  const float v = ClampUnit(1.0f - vertex[1]);
  s = Interpolate(slot.x0, slot.x1, u);
  t = Interpolate(slot.y0, slot.y1, v);
}

}  // namespace vandrell
