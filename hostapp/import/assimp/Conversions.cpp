#include "hostapp/import/assimp/Conversions.h"

#include <cmath>

namespace hostapp {

host::Matrix3 ToHost(const aiMatrix4x4& m) {
  return host::Matrix3({m.a1, m.b1, m.c1}, {m.a2, m.b2, m.c2}, {m.a3, m.b3, m.c3},
                       {m.a4, m.b4, m.c4});
}

host::Point3 ToPoint(const aiVector3D& v) { return {v.x, v.y, v.z}; }

host::Matrix3 Inverse(const host::Matrix3& m) {
  double a[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) a[r][c] = m.GetRow(r)[c];
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (det == 0.0 || !std::isfinite(det)) return host::Matrix3();
  double inv[3][3];
  inv[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
  inv[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
  inv[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
  inv[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
  inv[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
  inv[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
  inv[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
  inv[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
  inv[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
  host::Matrix3 result;
  for (int r = 0; r < 3; ++r)
    result.SetRow(r, {static_cast<float>(inv[r][0]), static_cast<float>(inv[r][1]),
                      static_cast<float>(inv[r][2])});
  const host::Point3 t = m.GetTrans();
  host::Point3 moved;
  for (int c = 0; c < 3; ++c)
    moved[c] = static_cast<float>(-(t.x * inv[0][c] + t.y * inv[1][c] + t.z * inv[2][c]));
  result.SetTrans(moved);
  return result;
}

}  // namespace hostapp
