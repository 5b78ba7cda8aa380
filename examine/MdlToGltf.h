#pragma once
// A Quake MDL model as a glTF 2.0 asset, so that a modelling application can
// open it: one mesh drawn as the engines draw the model, every frame a morph
// target, one animation per clip, the first skin as its texture.
//
// The mesh: one vertex per skin vertex, and a second one for a seam vertex
// that a back-facing triangle uses, half the skin's width further right, as
// the engines move it: nothing is torn, and front and back keep their own
// pixels. Texture coordinates are the middles of the skin vertices' pixels.
// Its positions are the first frame's; frame f is morph target f, holding
// each vertex's displacement from the first frame, and the mesh's
// extras.targetNames are the frame names. Corners are given counter-clockwise
// seen from the front, as glTF wants (the games' run clockwise).
//
// Axes: Quake's (x forward, y left, z up) become glTF's (z forward, x left,
// y up): glTF (x, y, z) = Quake (y, z, x). Sizes are metres, one Quake unit
// being one inch (0.0254 m), unless the options ask for Quake units.
//
// Animations: one per clip, each switching the weights from frame to frame
// (STEP interpolation). A run of plain frames whose names share the text
// before their trailing digits is one clip, its frames a tenth of a second
// apart, as the games play them; a frame group is one clip with its own
// intervals (or a tenth of a second apart when they do not increase).
//
// Texture: the first skin picture through Quake's palette as the base colour,
// and its fullbright pixels (palette entries 224 to 255) alone, on black, as
// the emissive texture when there are any; every other skin picture (other
// skins, the other pictures of a skin group) comes along as an extra image.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mdlformat/MdlReader.h"

namespace vandrell {

struct GltfOptions {
  bool quake_units = false;  // sizes in Quake units, not metres
  std::string name;          // the node's and the mesh's name (the file's stem, say)
};

// A document and its one buffer, a whole number of 4-byte words long.
struct GltfAsset {
  std::string json;
  std::vector<uint8_t> binary;
};

// One animation: the frames it shows, in order, each from its time on.
struct GltfClip {
  std::string name;
  std::vector<size_t> frames;  // indices into MdlFile::frames
  std::vector<float> times;    // seconds from the clip's start, strictly increasing, from 0
};

// The model's clips, covering every frame once, in the file's order.
std::vector<GltfClip> ModelClips(const MdlFile& file);

// Most frames converted: each animation key holds a weight for every frame,
// so the weights grow with the square of the frame count (this many frames
// need 64 MiB of them). Far beyond every engine's limit.
constexpr size_t kMaxGltfFrames = 4096;

// The asset of file. The buffer's uri is buffer_uri (already a valid URI
// reference), or absent when buffer_uri is empty, as in a GLB file. False,
// with the reason in *error, for a model with no triangle or no frame, or
// with more than kMaxGltfFrames frames.
bool BuildGltf(const MdlFile& file, const GltfOptions& options, const std::string& buffer_uri,
               GltfAsset* asset, std::string* error);

// The GLB file of an asset built without a buffer uri: header, JSON chunk
// (padded with spaces), binary chunk.
std::vector<uint8_t> GlbBytes(const GltfAsset& asset);

// True when path ends in .glb or .gltf, in any case.
bool IsGltfFileName(const std::string& path);

// Writes file to path: a GLB file when path ends in .glb, a text .gltf file
// and its buffer beside it (the same name ending in .bin) when it ends in
// .gltf, in any case. False, with the reason in *error, for another ending,
// a model BuildGltf refuses or a file that cannot be written completely; no
// partial file is left.
bool WriteGltfFile(const MdlFile& file, const std::string& path, const GltfOptions& options,
                   std::string* error);

}  // namespace vandrell
