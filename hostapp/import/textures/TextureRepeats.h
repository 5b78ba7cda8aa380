#pragma once
// Textures that repeat: the exporter limits texture coordinates to 0 .. 1
// instead of repeating them, so a face that lies within one repeat of a
// repeating texture (a tiled floor, a box mapped at 5 .. 6) is moved by whole
// repeats into the first, axis by axis.

#include "host/Geometry.h"

namespace hostapp {

// Which texture axes repeat beyond 0 .. 1.
struct TextureRepeat {
  bool u = true;
  bool v = true;
};

// Moves a face's three texture corners (u, v, w) into the first repeat on
// each repeating axis where they lie within one repeat; a face that spans
// more than one repeat stays as it is. Returns whether any corner moved.
bool MoveIntoFirstRepeat(const TextureRepeat& repeat, host::Point3 corners[3]);

}  // namespace hostapp
