#include "host/Geometry.h"

#include <cmath>

namespace host {

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
