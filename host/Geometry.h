#pragma once
// Points and transforms of the host: single-precision storage, right-handed,
// Z up. Points are row vectors multiplied on the left of a matrix.
//
// The point operations are defined here, inline: they run for every corner
// and normal of every exported frame, and a call into the library for each
// would cost more than the arithmetic. Every build compiles them with the
// same rules, so the results are the same bits wherever they are expanded.

#include <cmath>
#include <cstddef>

namespace host {

struct Point3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  Point3() = default;
  Point3(float px, float py, float pz) : x(px), y(py), z(pz) {}

  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

inline Point3 operator+(const Point3& a, const Point3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point3 operator-(const Point3& a, const Point3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point3 operator*(const Point3& a, float f) { return {a.x * f, a.y * f, a.z * f}; }
inline bool operator==(const Point3& a, const Point3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Unit-length copy of v, computed in double precision; the zero vector (and a
// vector whose length is not finite) comes back unchanged.
inline Point3 Normalize(const Point3& v) {
  const double length = std::sqrt(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                                  static_cast<double>(v.z) * v.z);
  if (length == 0.0 || !std::isfinite(length)) return v;
  return {static_cast<float>(v.x / length), static_cast<float>(v.y / length),
          static_cast<float>(v.z / length)};
}

// A 4x3 affine transform: three rows for the linear part, a fourth for the
// translation. p * M = p.x * row0 + p.y * row1 + p.z * row2 + row3.
class Matrix3 {
 public:
  // The identity transform.
  Matrix3();
  Matrix3(const Point3& row0, const Point3& row1, const Point3& row2, const Point3& row3);

  void IdentityMatrix();
  // Turns the transform further about the Z axis by angle radians: a positive
  // angle turns counter-clockwise seen from +Z (X toward Y).
  void RotateZ(float angle);

  Point3 GetRow(int i) const;
  void SetRow(int i, const Point3& row);
  Point3 GetTrans() const;
  void SetTrans(const Point3& translation);
  void NoTrans();

 private:
  friend Point3 operator*(const Point3& p, const Matrix3& m);
  Point3 rows_[4];
};

// Row vector times transform, translation included; products summed in
// double precision and stored in single precision.
inline Point3 operator*(const Point3& p, const Matrix3& m) {
  const Point3* rows = m.rows_;
  const double x = p.x;
  const double y = p.y;
  const double z = p.z;
  return {static_cast<float>(x * rows[0].x + y * rows[1].x + z * rows[2].x +
                             static_cast<double>(rows[3].x)),
          static_cast<float>(x * rows[0].y + y * rows[1].y + z * rows[2].y +
                             static_cast<double>(rows[3].y)),
          static_cast<float>(x * rows[0].z + y * rows[1].z + z * rows[2].z +
                             static_cast<double>(rows[3].z))};
}
// out[i] = (in[i] * first) * second for i < count, each product exactly as
// operator* forms it, with vector instructions where the build has them.
void TransformPoints(const Point3* in, std::size_t count, const Matrix3& first,
                     const Matrix3& second, Point3* out);
// The transform a then b: p * (a * b) == (p * a) * b.
Matrix3 operator*(const Matrix3& a, const Matrix3& b);
inline Point3 CrossProduct(const Point3& a, const Point3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float DotProduct(const Point3& a, const Point3& b);

}  // namespace host
