#include "hostapp/import/assimp/FileAxes.h"

#include <assimp/scene.h>

#include <cstdint>

namespace hostapp {

bool UsesQuakeAxes(const std::string& extension) {
  return extension == "md2" || extension == "md3" || extension == "mdl" || extension == "mdc";
}

bool HasAssimpKeyframes(const std::string& extension) { return extension == "mdc"; }

//  - Assimp hands over most formats with Y up and the front +Z (glTF, OBJ,
//    Collada and 3DS whatever their own up axis, DirectX, MD2/MD3/MDL, ...):
//    (x, y, z) -> (x, -z, y).
//  - FBX files keep their own axes and say which they are in their settings:
//    the right axis becomes +X, the front axis -Y and the up axis +Z.
//  - STL and 3MF (and AMF) files, of 3D printing, are Z up, and Assimp
//    leaves them so.
host::Matrix3 FileAxesToHost(const std::string& extension, const aiScene* scene) {
  const host::Matrix3 y_up({1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, 0, 0});
  if (extension == "stl" || extension == "3mf" || extension == "amf") return host::Matrix3();
  const aiMetadata* settings = scene->mMetaData;
  int32_t up = 0, up_sign = 0, front = 0, front_sign = 0, right = 0, right_sign = 0;
  if (extension != "fbx" || !settings || !settings->Get("UpAxis", up) ||
      !settings->Get("UpAxisSign", up_sign) || !settings->Get("FrontAxis", front) ||
      !settings->Get("FrontAxisSign", front_sign) || !settings->Get("CoordAxis", right) ||
      !settings->Get("CoordAxisSign", right_sign))
    return y_up;
  auto axis = [](int32_t a) { return a >= 0 && a <= 2; };
  if (!axis(up) || !axis(front) || !axis(right) || up == front || up == right || front == right)
    return y_up;
  auto sign = [](int32_t s) { return s < 0 ? -1.0f : 1.0f; };
  host::Point3 rows[3];
  rows[right] = {sign(right_sign), 0, 0};
  rows[front] = {0, -sign(front_sign), 0};
  rows[up] = {0, 0, sign(up_sign)};
  return host::Matrix3(rows[0], rows[1], rows[2], {0, 0, 0});
}

}  // namespace hostapp
