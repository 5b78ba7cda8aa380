#pragma once
// Quake-family model files (MDL, MD2, MD3) written byte by byte from plain
// descriptions, for the tests, the benchmarks and the fuzzers' seeds. The
// writers put down whatever they are given, counts and offsets worked out from
// it, so that a test can also describe a damaged file.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testfiles {

// --- MD2 (Quake II) ----------------------------------------------------------

struct Md2Frame {
  std::string name;
  std::array<float, 3> scale = {1, 1, 1};
  std::array<float, 3> translate = {0, 0, 0};
  std::vector<std::array<uint8_t, 3>> vertices;  // packed x, y, z; the normal written is 0
};

struct Md2Description {
  int32_t skin_width = 8;
  int32_t skin_height = 4;
  std::vector<std::string> skins;                           // 64-byte names
  std::vector<std::array<int16_t, 2>> texture_coordinates;  // s, t in pixels
  // Three vertex indices, then three texture-coordinate indices.
  std::vector<std::array<uint16_t, 6>> triangles;
  std::vector<Md2Frame> frames;
};

// Header, skins, texture coordinates, triangles, frames, in that order; no GL
// commands.
std::vector<uint8_t> Md2Bytes(const Md2Description& md2);

// --- MD3 (Quake III) ---------------------------------------------------------

struct Md3Surface {
  std::string name;
  std::vector<std::string> shaders;
  std::vector<std::array<int32_t, 3>> triangles;
  std::vector<std::array<float, 2>> texture_coordinates;  // s, t; one a vertex
  // Per frame, per vertex: x, y, z in 64ths of a unit.
  std::vector<std::vector<std::array<int16_t, 3>>> frames;
};

struct Md3Tag {
  std::string name;
  // Per frame: the origin, then the forward, left and up axes.
  std::vector<std::array<float, 12>> frames;
};

struct Md3Description {
  std::string name;
  std::vector<std::string> frame_names;  // the frame count
  std::vector<Md3Tag> tags;              // each with a pose for every frame
  std::vector<Md3Surface> surfaces;      // each with vertices for every frame
};

std::vector<uint8_t> Md3Bytes(const Md3Description& md3);

// A tag that stays put: origin and axes the same in every one of frames.
Md3Tag StillTag(const std::string& name, size_t frames, std::array<float, 12> pose);

// --- MDL (Quake) -------------------------------------------------------------

// A plain skin (one picture) or a skin group (its pictures, intervals 0.1
// apart).
struct MdlSkin {
  bool group = false;
  std::vector<std::vector<uint8_t>> pictures;  // width x height palette indices each
};

struct MdlFrame {
  std::string name;
  std::vector<std::array<uint8_t, 4>> vertices;  // packed x, y, z, normal index
};

// A plain frame (one pose) or a frame group (its poses, intervals 0.1 apart).
struct MdlFrameRecord {
  bool group = false;
  std::vector<MdlFrame> poses;
};

struct MdlDescription {
  std::array<float, 3> scale = {1, 1, 1};
  std::array<float, 3> origin = {0, 0, 0};
  int32_t skin_width = 8;
  int32_t skin_height = 4;
  int32_t vertex_count = -1;  // -1: as many as skin_vertices holds
  std::vector<MdlSkin> skins;
  std::vector<std::array<int32_t, 3>> skin_vertices;  // on-seam flag, s, t
  std::vector<std::array<int32_t, 4>> triangles;      // faces-front flag, three vertex indices
  std::vector<MdlFrameRecord> frames;
  std::vector<uint8_t> trailing;  // bytes after the last frame
};

std::vector<uint8_t> MdlBytes(const MdlDescription& mdl);

// --- Files -------------------------------------------------------------------

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

}  // namespace testfiles
