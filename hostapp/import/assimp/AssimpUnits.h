#pragma once
// The unit of a scene file's coordinates, and the factor that turns them into
// host units. The host's unit is the inch, and one inch is one Quake unit
// (a 56-unit player is about 1.4 to 1.8 m tall).

#include <string>

struct aiScene;

namespace hostapp {

struct FileUnit {
  // For listing: the unit and where it comes from, "metres (glTF)".
  std::string description;
  // Host units per unit of the file's coordinates.
  double host_units = 1.0;
  // The factor on the coordinates as Assimp hands them over (which for some
  // formats already carry part of the conversion).
  double factor = 1.0;
};

// The unit names --units takes: "file" (follow the file), "metres",
// "centimetres" or "inches" (the American spellings too). Empty is "file".
bool IsUnitName(const std::string& name);

// The unit of the scene Assimp read from a file with this (lower-case)
// extension, or the unit named by choice when it is not "file" or empty. An
// unknown name is taken as "file"; callers check names with IsUnitName.
FileUnit UnitOfScene(const std::string& extension, const aiScene* scene, const std::string& choice);

}  // namespace hostapp
