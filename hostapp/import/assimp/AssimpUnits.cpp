#include "hostapp/import/assimp/AssimpUnits.h"

#include <assimp/scene.h>

#include <cmath>

#include "hostapp/import/FilePaths.h"
#include "hostapp/import/assimp/FileAxes.h"

namespace hostapp {
namespace {

// A number the scene's settings hold, as float or double.
bool SettingNumber(const aiScene* scene, const char* key, double* value) {
  const aiMetadata* settings = scene ? scene->mMetaData : nullptr;
  if (!settings) return false;
  float single = 0.0f;
  if (settings->Get(key, single)) {
    *value = single;
    return true;
  }
  return settings->Get(key, *value);
}

// Assimp turns a Collada file's unit into metres on its own, as a scale of
// the root node (with the turn for the file's up axis, which is no scale).
double ColladaUnitMetres(const aiScene* scene) {
  if (!scene || !scene->mRootNode) return 1.0;
  aiVector3D scaling;
  aiQuaternion rotation;
  aiVector3D position;
  scene->mRootNode->mTransformation.Decompose(scaling, rotation, position);
  const double x = std::fabs(scaling.x), y = std::fabs(scaling.y), z = std::fabs(scaling.z);
  if (!(x > 0.0) || !std::isfinite(x) || std::fabs(y / x - 1.0) > 1e-4 ||
      std::fabs(z / x - 1.0) > 1e-4)
    return 1.0;
  return x;
}

}  // namespace

FileUnit UnitOfScene(const std::string& extension, const aiScene* scene,
                     const std::string& choice) {
  // The file's own unit, in metres, and what Assimp already applied.
  double metres = kMetresPerInch;
  double applied = 1.0;
  std::string description;
  if (extension == "gltf" || extension == "glb") {
    metres = 1.0;
    description = "metres (glTF)";
  } else if (extension == "fbx") {
    // Centimetres per file unit; FBX files that say nothing are in
    // centimetres.
    double centimetres = 1.0;
    if (!SettingNumber(scene, "UnitScaleFactor", &centimetres) || !(centimetres > 0.0) ||
        !std::isfinite(centimetres))
      centimetres = 1.0;
    metres = centimetres * 0.01;
    description = UnitWords(metres) + " (FBX unit scale " + UnitNumber(centimetres) + ")";
  } else if (extension == "dae" || extension == "zae") {
    applied = ColladaUnitMetres(scene);
    metres = applied;
    description = UnitWords(metres) + " (Collada unit " + UnitNumber(metres) + " m)";
  } else if (UsesQuakeAxes(extension)) {
    description = "Quake units (" + Upper(extension) + ")";
  } else {
    description = "none stated (" +
                  (extension.empty() ? std::string("this format") : Upper(extension)) +
                  " files carry no unit): host units";
  }

  return ChosenUnit(metres, applied, description, choice);
}

}  // namespace hostapp
