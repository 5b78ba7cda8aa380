#pragma once
// Textures that repeat: the exporter limits texture coordinates to 0 .. 1
// instead of repeating them, so a face that lies within one repeat of a
// repeating texture (a tiled floor, a box mapped at 5 .. 6) is moved by whole
// repeats into the first, axis by axis. On an axis that repeats mirrored
// (glTF's MIRRORED_REPEAT), every other repeat is the picture mirrored, so a
// face in one of those is mirrored into the first instead. An axis that
// clamps (CLAMP_TO_EDGE) shows the edge texels outside 0 .. 1, which is what
// the exporter's own limit gives: its coordinates stay as they are.

#include "host/Geometry.h"

namespace hostapp {

// How a texture axis goes on beyond 0 .. 1.
enum class TextureWrap { kRepeat, kMirroredRepeat, kClamp };

// Each texture axis's wrap; repeating where a file says nothing.
struct TextureRepeat {
  TextureWrap u = TextureWrap::kRepeat;
  TextureWrap v = TextureWrap::kRepeat;
};

// Moves a face's three texture corners (u, v, w) into the first repeat on
// each repeating axis where they lie within one repeat: by whole repeats, or
// mirrored about the repeat's middle for a mirrored repeat k with k odd (u
// becomes k + 1 - u). A face that spans more than one repeat stays as it is.
// Returns whether any corner moved.
bool MoveIntoFirstRepeat(const TextureRepeat& repeat, host::Point3 corners[3]);

}  // namespace hostapp
