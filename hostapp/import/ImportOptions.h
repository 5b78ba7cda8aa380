#pragma once
// What every wing of the import shares: the options an import is asked for,
// and the summary of what it found, for listing. Nothing here reads a file.

#include <string>
#include <vector>

#include "hostapp/scene/StandInScene.h"

namespace hostapp {

// The unit names ImportOptions::units takes, with the length each stands for
// in metres; "file" (0) follows the file. The American spellings count too.
struct UnitName {
  const char* name;
  double metres;
};
inline constexpr UnitName kUnitNames[] = {{"file", 0.0},         {"metres", 1.0},
                                          {"meters", 1.0},       {"centimetres", 0.01},
                                          {"centimeters", 0.01}, {"inches", 0.0254}};

// The entry of kUnitNames named name, or null.
inline const UnitName* FindUnitName(const std::string& name) {
  for (const UnitName& unit : kUnitNames)
    if (name == unit.name) return &unit;
  return nullptr;
}

struct ImportOptions {
  // The clip to play: empty for the first, a name, a zero-based index, or
  // "all" for every clip back to back on the timeline. Quake-family models
  // play every clip when none is named.
  std::string animation;
  // Read a Quake III player: the path names its folder or any of its three
  // models (lower, upper and head), which are hung together by their tags.
  bool player = false;
  // The skin of MD3 models and players: each model's MODEL_SKIN.skin file
  // (see SkinFiles.h) says its surfaces' textures. Empty for "default", whose
  // file a model need not have; a skin named here must be there.
  std::string skin;
  // Frames a second; the host's ticks per frame is 4800 / fps.
  int frames_per_second = 10;
  // A diffuse bitmap (file path) for materials that have none or whose own
  // file is missing, or empty.
  std::string fallback_texture;
  // Read the image of each texture found, held then for the exporter, so
  // that one that cannot be read is told. An import whose scene only tries
  // the file (the guarded pre-flight) may leave them unread.
  bool read_textures = true;
  // The unit of the file's coordinates: empty to follow the file, or one of
  // kUnitNames (see FileToHost.h).
  std::string units;
  // The file's up axis, for files that state nothing useful: empty for the
  // format's (see FormatConventions.h), or x, y, z, -x, -y, -z; and a turn
  // after it, 0, 90, 180 or 270 degrees counter-clockwise seen from above.
  std::string up;
  int turn = 0;
};

// One animation clip of the file.
struct ClipInfo {
  std::string name;
  HostTime start = 0;  // in host ticks, on the timeline the import laid out
  HostTime end = 0;
  int frames = 1;  // frames the clip covers at the chosen rate
};

// What the import found, for listing.
struct ImportSummary {
  std::vector<std::string> nodes;      // "name (kind)" lines, indented by depth
  std::vector<std::string> meshes;     // "name: N triangles, M vertices[, no UVs]"
  std::vector<std::string> materials;  // "name: diffuse r g b[, texture T]"
  // One line a texture: the file found and its size, or why there is none.
  std::vector<std::string> textures;
  std::vector<ClipInfo> clips;
  // The clips that play, in the order they play, where they play on the
  // timeline.
  std::vector<ClipInfo> timeline;
  // Problems that do not stop the import, one sentence each (a texture that
  // a used material names but that is not found or cannot be read).
  std::vector<std::string> warnings;
  HostTime range_start = 0;
  HostTime range_end = 0;
  // The file's unit in words, and host units per unit of the file.
  std::string unit;
  double unit_size = 1.0;
  // The file's axes in words (see ConventionWords in FormatConventions.h).
  std::string axes;
  // What the file holds when it holds no triangle mesh, to end a sentence
  // about it ("holds an animation but no mesh", "holds only lines"); empty
  // when it has a mesh.
  std::string without_mesh;
};

}  // namespace hostapp
