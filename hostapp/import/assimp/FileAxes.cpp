#include "hostapp/import/assimp/FileAxes.h"

#include <assimp/scene.h>

#include <cstdint>

namespace hostapp {

namespace {

// Quake-family files that reach Assimp (MDC, other games' MDL) come as its
// MDC reader hands them over, Y up: the table's row for MDC.
std::string ConventionName(const std::string& extension) {
  return UsesQuakeAxes(extension) ? "mdc" : extension;
}

// An FBX file's axis settings as a turn: the right axis to +X, the front
// axis to -Y, the up axis to +Z. False when they are missing or name no set
// of axes.
bool FbxSettings(const std::string& extension, const aiScene* scene, host::Matrix3* turn) {
  const aiMetadata* settings = scene ? scene->mMetaData : nullptr;
  int32_t up = 0, up_sign = 0, front = 0, front_sign = 0, right = 0, right_sign = 0;
  if (extension != "fbx" || !settings || !settings->Get("UpAxis", up) ||
      !settings->Get("UpAxisSign", up_sign) || !settings->Get("FrontAxis", front) ||
      !settings->Get("FrontAxisSign", front_sign) || !settings->Get("CoordAxis", right) ||
      !settings->Get("CoordAxisSign", right_sign))
    return false;
  auto axis = [](int32_t a) { return a >= 0 && a <= 2; };
  if (!axis(up) || !axis(front) || !axis(right) || up == front || up == right || front == right)
    return false;
  auto sign = [](int32_t s) { return s < 0 ? -1.0f : 1.0f; };
  host::Point3 rows[3];
  rows[right] = {sign(right_sign), 0, 0};
  rows[front] = {0, -sign(front_sign), 0};
  rows[up] = {0, 0, sign(up_sign)};
  *turn = host::Matrix3(rows[0], rows[1], rows[2], {0, 0, 0});
  return true;
}

}  // namespace

bool UsesQuakeAxes(const std::string& extension) {
  return extension == "md2" || extension == "md3" || extension == "mdl" || extension == "mdc";
}

bool HasAssimpKeyframes(const std::string& extension) { return extension == "mdc"; }

host::Matrix3 FileAxesToHost(const std::string& extension, const aiScene* scene,
                             const AxesChoice& choice) {
  host::Matrix3 settings;
  if (choice.up.empty() && FbxSettings(extension, scene, &settings))
    return settings * TurnAboutUp(choice.turn);
  return ConventionToHost(ConventionName(extension), choice);
}

std::string FileAxesWords(const std::string& extension, const aiScene* scene,
                          const AxesChoice& choice) {
  host::Matrix3 settings;
  if (choice.up.empty() && FbxSettings(extension, scene, &settings)) {
    const std::string turn = TurnWords(choice.turn);
    return "FBX: the file's axis settings" + (turn.empty() ? "" : "; " + turn);
  }
  return ConventionWords(ConventionName(extension), choice);
}

}  // namespace hostapp
