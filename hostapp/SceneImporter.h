#pragma once
// Scene files into the stand-in host: any format the Open Asset Import
// Library reads (glTF and GLB, FBX, OBJ, Collada, DirectX, MD2, MD3, MDL,
// SMD, MS3D and the rest).
//
// Coordinates: the host is right-handed with Z up and a model's front facing
// -Y. Files whose up axis is Y (the library's own convention, and what it
// makes of most formats) are turned by (x, y, z) -> (x, -z, y), so that a
// glTF model's front (+Z) faces -Y. FBX files say their axes in their
// settings, which are followed. STL and 3MF files are Z-up already. Quake-
// family files (MD2, MD3, MDL) face +X; they are turned a further quarter
// turn so that they face -Y as well, and so keep their orientation through an
// MDL export, which turns -Y back to +X.

#include <memory>
#include <string>

#include "hostapp/Animation.h"
#include "hostapp/ImportedScene.h"
#include "hostapp/StandInScene.h"
#include "hostapp/Timeline.h"

namespace hostapp {

// Reads a scene file into the import record: nodes, meshes (triangles only:
// polygons are triangulated, points and lines dropped), materials, embedded
// images (registered with host::TheManager under "<path>*<index>"), clips,
// and for Quake-family files every vertex keyframe. False with the reason
// (the import library's own where it has one) when the file cannot be read.
bool ReadSceneFile(const std::string& path, ImportedScene* scene, std::string* error);

// Whether the file-name extension (lower case, no dot) is one of the
// Quake family, whose models face +X and carry vertex keyframes.
bool IsQuakeFamily(const std::string& format);

// Fills an empty stand-in scene from an import record shown on a timeline:
// one host node per node, a triangle object for each node with triangles
// (its meshes' materials as one standard material or a multi-material), an
// object that does not convert for every other node, and the animation
// range, with the current time at its start. fallback_texture, when not
// empty, becomes the diffuse bitmap of every material whose own is missing
// or absent. Returns the animator the scene's objects and transforms use.
std::shared_ptr<SceneAnimator> BuildStandInScene(std::shared_ptr<const ImportedScene> imported,
                                                 const Timeline& timeline,
                                                 const std::string& fallback_texture,
                                                 StandInScene& scene);

struct ImportOptions {
  // Empty for the first clip, "all" for every clip, or a clip's name or index.
  std::string animation;
  // Frames per second of the host's timeline; must divide 4800.
  int frames_per_second = 10;
  // A diffuse bitmap for materials without a usable one of their own.
  std::string fallback_texture;
};

struct ImportResult {
  std::shared_ptr<const ImportedScene> imported;
  Timeline timeline;
  std::shared_ptr<SceneAnimator> animator;
};

// Everything at once: reads the file, lays out the chosen clips, sets the
// host's ticks per frame and fills the scene. False with a reason.
bool ImportScene(const std::string& path, const ImportOptions& options, StandInScene& scene,
                 ImportResult* result, std::string* error);

}  // namespace hostapp
