#include "host/Geometry.h"

#include <cmath>

namespace host {

Point3 operator+(const Point3& a, const Point3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point3 operator-(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3 operator*(const Point3& a, float f) { return {a.x * f, a.y * f, a.z * f}; }
bool operator==(const Point3& a, const Point3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

Point3 Normalize(const Point3& v) {
  const double length = std::sqrt(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                                  static_cast<double>(v.z) * v.z);
  if (length == 0.0 || !std::isfinite(length)) return v;
  return {static_cast<float>(v.x / length), static_cast<float>(v.y / length),
          static_cast<float>(v.z / length)};
}

Point3 CrossProduct(const Point3& a, const Point3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float DotProduct(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Matrix3::Matrix3() { IdentityMatrix(); }

Matrix3::Matrix3(const Point3& row0, const Point3& row1, const Point3& row2, const Point3& row3)
    : rows_{row0, row1, row2, row3} {}

void Matrix3::IdentityMatrix() {
  rows_[0] = {1, 0, 0};
  rows_[1] = {0, 1, 0};
  rows_[2] = {0, 0, 1};
  rows_[3] = {0, 0, 0};
}

void Matrix3::RotateZ(float angle) {
  // Appending a turn about Z: every row (x, y) becomes (x cos - y sin, x sin + y cos),
  // so the point (1, 0, 0) goes to (cos, sin, 0), counter-clockwise seen from +Z.
  const double c = std::cos(static_cast<double>(angle));
  const double s = std::sin(static_cast<double>(angle));
  for (Point3& row : rows_) {
    const double x = row.x;
    const double y = row.y;
    row.x = static_cast<float>(x * c - y * s);
    row.y = static_cast<float>(x * s + y * c);
  }
}

Point3 Matrix3::GetRow(int i) const { return rows_[i]; }
void Matrix3::SetRow(int i, const Point3& row) { rows_[i] = row; }
Point3 Matrix3::GetTrans() const { return rows_[3]; }
void Matrix3::SetTrans(const Point3& translation) { rows_[3] = translation; }
void Matrix3::NoTrans() { rows_[3] = {0, 0, 0}; }

Point3 operator*(const Point3& p, const Matrix3& m) {
  // The rows are read in place: this runs for every corner and normal of
  // every exported frame.
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

Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
  Matrix3 result;
  for (int row = 0; row < 4; ++row) {
    const Point3 r = a.GetRow(row);
    Point3 out;
    for (int axis = 0; axis < 3; ++axis) {
      double sum = static_cast<double>(r.x) * b.GetRow(0)[axis] +
                   static_cast<double>(r.y) * b.GetRow(1)[axis] +
                   static_cast<double>(r.z) * b.GetRow(2)[axis];
      if (row == 3) sum += b.GetRow(3)[axis];
      out[axis] = static_cast<float>(sum);
    }
    result.SetRow(row, out);
  }
  return result;
}

}  // namespace host
