#pragma once
// A scene file as the stand-in host keeps it after import: the node tree,
// meshes with their skinning, morph targets and vertex keyframes, materials
// and animation clips. Nothing here depends on the import library; the
// evaluation (Animation.h) and the host scene (SceneBuilder.h) work from this
// record alone. Positions are in the file's own units and axes ("scene
// space"); `scene_to_host` turns scene space into the host's Z-up space.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Mesh.h"
#include "host/Scene.h"
#include "hostapp/Transform.h"

namespace hostapp {

// One key of an animation track. Time in seconds of clip time.
template <typename T>
struct Key {
  double time = 0.0;
  T value;
};

// What a track gives outside its first and last key.
enum class Extrapolation {
  kHold,    // the nearest key's value
  kLinear,  // continues the line through the two nearest keys
  kRepeat,  // the keys repeat with the period of their span
};

// The animation of one node in one clip. An empty key list leaves that part
// of the node's own transform unanimated. Keys are sorted by time; two keys
// with the same time make a step: the value jumps there to the later key's.
struct NodeChannel {
  int node = -1;
  std::vector<Key<Vec3>> positions;
  std::vector<Key<Quat>> rotations;
  std::vector<Key<Vec3>> scalings;
  Extrapolation before = Extrapolation::kHold;
  Extrapolation after = Extrapolation::kHold;
};

// Morph-target weights over time for the meshes it names; `weights` holds one
// weight per morph target of those meshes (missing ones count 0).
struct MorphWeightKey {
  double time = 0.0;
  std::vector<double> weights;
};
struct MorphChannel {
  std::vector<int> meshes;
  std::vector<MorphWeightKey> keys;
};

// One animation clip: its keys span start to end (seconds, start <= end).
// A clip of vertex keyframes has no channels: keyframe k of every mesh
// stands at start + k * kKeyframeInterval.
struct Clip {
  std::string name;
  double start = 0.0;
  double end = 0.0;
  std::vector<NodeChannel> node_channels;
  std::vector<MorphChannel> morph_channels;
  bool vertex_keyframes = false;
};

// Vertex keyframes of Quake-family files stand this far apart (seconds):
// Quake's own animation rate of ten frames a second.
constexpr double kKeyframeInterval = 0.1;

// A bone of a skinned mesh: the node that moves it, and the transform from
// mesh space to the bone's space in the bind pose.
struct BoneBinding {
  int node = -1;
  Mat4 offset;
};

// One bone's share of a vertex; the shares of a vertex sum to 1.
struct Influence {
  uint32_t bone = 0;
  double weight = 0.0;
};

struct MorphTarget {
  std::string name;
  // Absolute positions replacing the mesh's own, vertex for vertex.
  std::vector<host::Point3> positions;
  // The weight when no clip animates it.
  double default_weight = 0.0;
};

struct ImportedMesh {
  std::string name;
  // Index into ImportedScene::materials.
  int material = 0;
  // Mesh space, vertex for vertex with the other per-vertex arrays.
  std::vector<host::Point3> positions;
  // Texture coordinates (u, v, 0) of channel 0, v pointing up; empty when the
  // mesh has none.
  std::vector<host::Point3> uvs;
  std::vector<std::array<uint32_t, 3>> triangles;
  // Skinning: the influences of vertex i are influences[influence_start[i]]
  // up to influences[influence_start[i + 1]]; influence_start is empty for a
  // mesh without bones. A vertex without influences keeps its position.
  std::vector<BoneBinding> bones;
  std::vector<uint32_t> influence_start;
  std::vector<Influence> influences;
  std::vector<MorphTarget> morph_targets;
  // Quake-family vertex keyframes: the positions of every keyframe, keyframe 0
  // equal to `positions`; empty when the file has none.
  std::vector<std::vector<host::Point3>> keyframes;
};

struct ImportedNode {
  std::string name;
  // Index of the parent node, -1 for the root; parents come before children.
  int parent = -1;
  // The node's own transform relative to its parent, and its parts.
  Mat4 local;
  Vec3 translation;
  Quat rotation;
  Vec3 scaling{1.0, 1.0, 1.0};
  // Indices into ImportedScene::meshes.
  std::vector<int> meshes;
};

// Where a material's diffuse bitmap comes from.
enum class TextureSource {
  kNone,         // the material names none (or only a placeholder)
  kFile,         // a file that exists, named relative to the scene file
  kEmbedded,     // an image inside the scene file, registered with the bitmap manager
  kMissingFile,  // a file that does not exist
};

struct ImportedMaterial {
  std::string name;
  host::Color diffuse{1.0f, 1.0f, 1.0f};
  // The reference as the file gives it ("*0" for an embedded image).
  std::string texture_reference;
  // The name the bitmap texture carries: a path, or a registered image's name.
  std::string map_name;
  TextureSource texture_source = TextureSource::kNone;
  // Texture coordinates repeat beyond 0..1 (the default of most formats).
  bool wrap_u = true;
  bool wrap_v = true;
};

// An image the scene file carries inside itself.
struct EmbeddedImage {
  std::string registered_name;
  std::string format;  // "png", "jpg", ..., or "rgba" for raw pixels
  int width = 0;       // 0 when only the encoded bytes are known
  int height = 0;
  size_t size = 0;     // bytes in the file
  bool decoded = false;
};

struct ImportedScene {
  std::string path;
  // The file-name extension, lower case, without the dot.
  std::string format;
  // How the scene's axes were read, in words (for listings).
  std::string axes;
  Mat4 scene_to_host;
  std::vector<ImportedNode> nodes;
  std::vector<ImportedMesh> meshes;
  std::vector<ImportedMaterial> materials;
  std::vector<EmbeddedImage> embedded_images;
  std::vector<Clip> clips;
};

}  // namespace hostapp
