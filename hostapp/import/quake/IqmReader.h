#pragma once
// Inter-Quake models (IQM, version 2) into the Quake-family model the import
// turns into the scene: each mesh a surface, every frame of the file one
// frame, its animations the model's clips by name.
//
// The file is a 124-byte header (the magic "INTERQUAKEMODEL" and a zero
// byte, then 27 uint32: version, file size, flags, and the counts and
// offsets of the text, meshes, vertex arrays, triangles, adjacency, joints,
// poses, animations, frames (with the channels a frame holds and the
// bounds), comments and extensions), and sections where their offsets say.
// Text is zero-ended names that other sections point into by offset. A
// vertex array (type, flags, component format, components, offset) holds one
// attribute of every vertex: positions, texture coordinates (v down the
// picture), blend indices and weights (up to four joints a vertex) and
// others the import does not need. Triangles are three uint32 indices into
// the vertices; meshes (name, material, first vertex and count, first
// triangle and count) are runs of both. Joints (name, parent, translation,
// rotation quaternion x y z w, scale) give the bind pose, each relative to
// its parent, which comes before it. Each frame stores, for every pose (one
// a joint), the channels its mask marks (translation x y z, rotation x y z
// w, scale x y z) as uint16 steps: channel = offset + step x scale; a
// channel not marked is its offset.
//
// A vertex at frame f is its bind-pose position taken back through the
// inverse of each of its joints' bind poses and out through that joint's
// pose at f, the results blended by the vertex's weights (shares of their
// sum). A file without frames has one, the bind pose.

#include <cstddef>
#include <cstdint>
#include <string>

#include "hostapp/import/quake/QuakeModel.h"

namespace hostapp {

// The 16 bytes an IQM file starts with.
constexpr char kIqmMagic[] = "INTERQUAKEMODEL";
constexpr size_t kIqmMagicSize = 16;

// Whether the bytes start with the IQM magic.
bool IsIqm(const uint8_t* data, size_t size);

// Reads an IQM file's bytes into *model (format "IQM"); false with the
// reason in *error, naming no file, when the bytes are no IQM file or are
// damaged in a way no engine could load.
bool ReadIqm(const uint8_t* data, size_t size, QuakeModel* model, std::string* error);

}  // namespace hostapp
