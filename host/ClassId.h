#pragma once
#include <cstdint>

namespace host {

// A class of host objects, materials or maps, named by two 32-bit words.
class Class_ID {
 public:
  constexpr Class_ID() = default;
  constexpr Class_ID(uint32_t a, uint32_t b) : a_(a), b_(b) {}
  constexpr uint32_t PartA() const { return a_; }
  constexpr uint32_t PartB() const { return b_; }
  constexpr bool operator==(const Class_ID& other) const { return a_ == other.a_ && b_ == other.b_; }
  constexpr bool operator!=(const Class_ID& other) const { return !(*this == other); }

 private:
  uint32_t a_ = 0;
  uint32_t b_ = 0;
};

// Objects that hold a triangle mesh; the type every exportable object converts to.
extern const Class_ID triObjectClassID;
// A material made of sub-materials, chosen per face by its material index.
constexpr Class_ID kMultiMaterialClassId(0x200, 0);
// A texture map that shows one bitmap file.
constexpr Class_ID kBitmapTextureClassId(0x240, 0);
// The superclass id of scene exporters.
constexpr uint32_t kSceneExportSuperClassId = 0xA20;

}  // namespace host
