#pragma once
// The unit of the coordinates of a scene Assimp read, from the file's kind
// and settings, and the factor that turns them into host units.

#include <string>

#include "hostapp/import/FileToHost.h"

struct aiScene;

namespace hostapp {

// The unit of the scene Assimp read from a file with this (lower-case)
// extension, or the unit named by choice when it is not "file" or empty. An
// unknown name is taken as "file"; callers check names with IsUnitName.
FileUnit UnitOfScene(const std::string& extension, const aiScene* scene, const std::string& choice);

}  // namespace hostapp
