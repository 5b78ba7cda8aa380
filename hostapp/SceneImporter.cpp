// Placeholder until the Assimp import lands.
#include "hostapp/SceneImporter.h"

namespace hostapp {

class ImportedAnimation {};

SceneImporter::SceneImporter() = default;
SceneImporter::~SceneImporter() = default;

bool SceneImporter::Import(const std::string&, const ImportOptions&, StandInScene&) {
  error_ = "scene import is not built yet";
  return false;
}

}  // namespace hostapp
