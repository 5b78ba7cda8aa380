#pragma once
// Quake-family model files (MDL, MD2, MD3, IQM) written byte by byte from plain
// descriptions, for the tests, the benchmarks and the fuzzers' seeds. The
// writers put down whatever they are given, counts and offsets worked out from
// it, so that a test can also describe a damaged file.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testscene {

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

// Header, skins, texture coordinates, triangles, GL commands (only the 0 that
// ends them), frames, in that order.
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

// A plain frame (one pose) or a frame group (its poses, intervals 0.1 apart
// unless given).
struct MdlFrameRecord {
  bool group = false;
  std::vector<MdlFrame> poses;
  std::vector<float> intervals = {};  // a group's, one a pose; empty: 0.1, 0.2, ...
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

// --- IQM (Inter-Quake model, version 2) ---------------------------------------

struct IqmMesh {
  std::string name, material;
  uint32_t first_vertex = 0, vertex_count = 0, first_triangle = 0, triangle_count = 0;
};

struct IqmJoint {
  std::string name;
  int32_t parent = -1;
  std::array<float, 3> translate = {0, 0, 0};
  std::array<float, 4> rotate = {0, 0, 0, 1};  // x, y, z, w
  std::array<float, 3> scale = {1, 1, 1};
};

// Channels 0 to 2 translate, 3 to 6 rotate (x, y, z, w), 7 to 9 scale; a
// channel is offset + step x scale where mask has its bit, else offset.
struct IqmPose {
  int32_t parent = -1;
  uint32_t mask = 0;
  std::array<float, 10> offset = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1};
  std::array<float, 10> scale = {};
};

struct IqmAnimation {
  std::string name;
  uint32_t first_frame = 0, frame_count = 0;
  float frame_rate = 10;
  uint32_t flags = 0;
};

struct IqmDescription {
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 2>> texture_coordinates;  // u, v down the picture; empty: none
  // Four joints and weights (of 255) a vertex; empty: none.
  std::vector<std::array<uint8_t, 4>> blend_indexes, blend_weights;
  std::vector<std::array<uint32_t, 3>> triangles;
  std::vector<IqmMesh> meshes;
  std::vector<IqmJoint> joints;
  std::vector<IqmPose> poses;
  std::vector<IqmAnimation> animations;
  // Each frame's stored channel steps, pose after pose; all as long as the
  // poses' masks have bits.
  std::vector<std::vector<uint16_t>> frames;
  uint32_t version = 2;
  int64_t file_size = -1;  // -1: the bytes written
};

// Header, text, meshes, vertex arrays and their data, triangles, joints,
// poses, animations, frames, in that order.
std::vector<uint8_t> IqmBytes(const IqmDescription& iqm);

// --- A Quake III player --------------------------------------------------------

struct PlayerFiles {
  Md3Description lower, upper, head;
  std::string animation_cfg;
};

// A small player whose every pose can be worked out by hand. Each part is one
// triangle whose first vertex says the frame: lower.md3 has 19 frames, vertex
// 0 of frame f at (f, 0, 0); upper.md3 12 frames, vertex 0 at (0, f, 0);
// head.md3 one frame, vertex 0 at (1, 0, 0); the other two vertices of each
// are vertex 0 plus (0, 0, 1) and plus (0, 1, 0) on the legs and torso, plus
// (0, 1, 0) and (0, 0, 1) on the head.
// Tags: lower's tag_torso at frame f stands at (0, 0, 20 + f) with the
// model's own axes, except frame 7, whose axes are turned a quarter about Z
// (forward (0, 1, 0), left (-1, 0, 0), up (0, 0, 1)); upper's tag_head at
// frame f stands at (0, 0, 5 + f), axes unturned.
// animation.cfg, with a sex, a headoffset, a footsteps line and comments,
// lists the 25 animations: both frames 0 .. 3 (death1 0-1, dead1 1, death2 2,
// dead2 2, death3 3, dead3 3), torso frames 4 .. 11 (gesture 4-5, attack 6,
// attack2 7, drop 8, raise 9, stand 10, stand2 11) and legs frames written
// from 12 on, which the torso frames' span of 8 brings to 4 .. 18 in
// lower.md3 (walkcr 4-5, walk 6, run 7-8, back 9, swim 10, jump 11, land 12,
// jumpb 13, landb 14, idle 15-16, idlecr 17, turn 18): 30 poses in all.
PlayerFiles SmallPlayer();
// Writes lower.md3, upper.md3, head.md3 and (when not empty) animation.cfg
// into folder.
void WritePlayer(const std::string& folder, const PlayerFiles& player);

// --- Files -------------------------------------------------------------------

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

}  // namespace testscene
