#include "MdlBytes.h"

#include <cstdio>
#include <cstring>

namespace testing_support {

namespace {

void Int32(std::vector<uint8_t>* out, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(bits >> shift));
}

void Float(std::vector<uint8_t>* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Int32(out, static_cast<int32_t>(bits));
}

}  // namespace

size_t SkinVerticesOffset(const MdlLayout& layout) {
  return 84 +
         static_cast<size_t>(layout.numskins) *
             (4 + static_cast<size_t>(layout.skinwidth) * static_cast<size_t>(layout.skinheight));
}

size_t TrianglesOffset(const MdlLayout& layout) {
  return SkinVerticesOffset(layout) + 12 * static_cast<size_t>(layout.numverts);
}

size_t FramesOffset(const MdlLayout& layout) {
  return TrianglesOffset(layout) + 16 * static_cast<size_t>(layout.numtris);
}

std::vector<uint8_t> MdlBytes(const MdlLayout& layout) {
  std::vector<uint8_t> out = {'I', 'D', 'P', 'O'};
  Int32(&out, 6);
  for (int axis = 0; axis < 3; ++axis) Float(&out, 1.0f);  // scale
  for (int axis = 0; axis < 3; ++axis) Float(&out, 0.0f);  // scale_origin
  Float(&out, 255.0f);                                     // bounding radius
  for (int axis = 0; axis < 3; ++axis) Float(&out, 0.0f);  // eye position
  for (int32_t value : {layout.numskins, layout.skinwidth, layout.skinheight, layout.numverts,
                        layout.numtris, layout.numframes, layout.synctype, 0})
    Int32(&out, value);
  Float(&out, 1.0f);  // size

  for (int32_t i = 0; i < layout.numskins; ++i) {
    Int32(&out, 0);
    out.insert(out.end(),
               static_cast<size_t>(layout.skinwidth) * static_cast<size_t>(layout.skinheight),
               layout.skin_index);
  }
  const int32_t corners[3][2] = {{0, 0}, {layout.skinwidth, 0}, {0, layout.skinheight}};
  for (int32_t j = 0; j < layout.numverts; ++j) {
    Int32(&out, 0);
    Int32(&out, j < 3 ? corners[j][0] : 0);
    Int32(&out, j < 3 ? corners[j][1] : 0);
  }
  const bool three = layout.numverts >= 3;
  for (int32_t k = 0; k < layout.numtris; ++k) {
    Int32(&out, 1);
    for (int32_t c = 0; c < 3; ++c) Int32(&out, three ? c : 0);
  }
  const uint8_t positions[3][3] = {{0, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (int32_t i = 0; i < layout.numframes; ++i) {
    Int32(&out, 0);
    const uint8_t box[8] = {
        0, 0, 0, 0, 0, static_cast<uint8_t>(three ? 255 : 0), static_cast<uint8_t>(three ? 255 : 0),
        0};
    out.insert(out.end(), box, box + 8);
    char name[16] = {};
    std::snprintf(name, sizeof name, "f%d", i);
    out.insert(out.end(), name, name + 16);
    for (int32_t j = 0; j < layout.numverts; ++j) {
      if (j < 3) {
        out.insert(out.end(), positions[j], positions[j] + 3);
        out.push_back(52);
      } else {
        out.insert(out.end(), 4, 0);
      }
    }
  }
  return out;
}

void PutInt32(std::vector<uint8_t>* bytes, size_t offset, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int b = 0; b < 4; ++b) (*bytes)[offset + b] = static_cast<uint8_t>(bits >> (8 * b));
}

void PutFloat(std::vector<uint8_t>* bytes, size_t offset, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutInt32(bytes, offset, static_cast<int32_t>(bits));
}

}  // namespace testing_support
