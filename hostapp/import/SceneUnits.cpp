#include "hostapp/import/SceneUnits.h"

#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace hostapp {
namespace {

constexpr double kMetresPerInch = 0.0254;

// A unit by name, in metres; 0 for "file" and names not known.
double NamedUnitMetres(const std::string& name) {
  if (name == "metres" || name == "meters") return 1.0;
  if (name == "centimetres" || name == "centimeters") return 0.01;
  if (name == "inches") return kMetresPerInch;
  return 0.0;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// A length in metres in words: a common unit by its name, any other as a
// number of metres.
std::string UnitWords(double metres) {
  const struct {
    double metres;
    const char* name;
  } known[] = {{1.0, "metres"},        {0.01, "centimetres"},
               {0.001, "millimetres"}, {kMetresPerInch, "inches"},
               {0.3048, "feet"},       {1000.0, "kilometres"}};
  for (const auto& unit : known)
    if (std::fabs(metres / unit.metres - 1.0) < 1e-6) return unit.name;
  return "units of " + Number(metres) + " m";
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

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

bool IsUnitName(const std::string& name) {
  return name.empty() || name == "file" || NamedUnitMetres(name) > 0.0;
}

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
    description = UnitWords(metres) + " (FBX unit scale " + Number(centimetres) + ")";
  } else if (extension == "dae" || extension == "zae") {
    applied = ColladaUnitMetres(scene);
    metres = applied;
    description = UnitWords(metres) + " (Collada unit " + Number(metres) + " m)";
  } else if (extension == "md2" || extension == "md3" || extension == "mdl" || extension == "mdc" ||
             extension == "iqm") {
    description = "Quake units (" + Upper(extension) + ")";
  } else {
    description = "none stated (" +
                  (extension.empty() ? std::string("this format") : Upper(extension)) +
                  " files carry no unit): host units";
  }

  const double named = NamedUnitMetres(choice);
  if (named > 0.0) {
    description = UnitWords(named) + " (chosen; the file: " + description + ")";
    metres = named;
  }
  FileUnit unit;
  unit.description = description;
  unit.host_units = metres / kMetresPerInch;
  unit.factor = unit.host_units / applied;
  return unit;
}

}  // namespace hostapp
