#pragma once
// MDL files written byte by byte for the tests: a small sound model whose
// counts can be turned up, and patching of single fields afterwards.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

// One plain skin of skinwidth x skinheight pixels of skin_index; numverts skin
// vertices (on-seam 0, s = t = 0, except the first three at the skin's
// corners (0, 0), (width, 0), (0, height)); numtris triangles (faces-front 1,
// corners 0, 1, 2 when there are three vertices, else 0, 0, 0); numframes
// plain frames "f0", "f1", ..., each vertex packed at (0, 0, 0) with normal
// 0 but the first three at (0, 0, 0), (0, 255, 0), (0, 0, 255) with normal
// 52 (+X). Scale 1 on every axis, origin 0.
struct MdlLayout {
  int32_t numskins = 1;
  int32_t skinwidth = 8;
  int32_t skinheight = 4;
  int32_t numverts = 3;
  int32_t numtris = 1;
  int32_t numframes = 2;
  int32_t synctype = 0;
  uint8_t skin_index = 251;
};

std::vector<uint8_t> MdlBytes(const MdlLayout& layout);

// Offsets of the sections of MdlBytes(layout).
size_t SkinVerticesOffset(const MdlLayout& layout);
size_t TrianglesOffset(const MdlLayout& layout);
size_t FramesOffset(const MdlLayout& layout);

void PutInt32(std::vector<uint8_t>* bytes, size_t offset, int32_t value);
void PutFloat(std::vector<uint8_t>* bytes, size_t offset, float value);

}  // namespace testing_support
