#include "hostapp/Transform.h"

#include <cmath>

namespace hostapp {

Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(const Vec3& a, double f) { return {a.x * f, a.y * f, a.z * f}; }

Mat4 operator*(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
      r.m[i][j] = sum;
    }
  }
  return r;
}

Vec3 TransformPoint(const Mat4& m, const Vec3& p) {
  return {m.m[0][0] * p.x + m.m[0][1] * p.y + m.m[0][2] * p.z + m.m[0][3],
          m.m[1][0] * p.x + m.m[1][1] * p.y + m.m[1][2] * p.z + m.m[1][3],
          m.m[2][0] * p.x + m.m[2][1] * p.y + m.m[2][2] * p.z + m.m[2][3]};
}

Mat4 Inverse(const Mat4& m) {
  // The linear part by its adjugate, the translation by -L^-1 t.
  const double a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
  const double d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
  const double g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
  const double co00 = e * i - f * h, co01 = -(d * i - f * g), co02 = d * h - e * g;
  const double det = a * co00 + b * co01 + c * co02;
  if (det == 0.0 || !std::isfinite(det)) return Mat4();
  Mat4 r;
  r.m[0][0] = co00 / det;
  r.m[0][1] = -(b * i - c * h) / det;
  r.m[0][2] = (b * f - c * e) / det;
  r.m[1][0] = co01 / det;
  r.m[1][1] = (a * i - c * g) / det;
  r.m[1][2] = -(a * f - c * d) / det;
  r.m[2][0] = co02 / det;
  r.m[2][1] = -(a * h - b * g) / det;
  r.m[2][2] = (a * e - b * d) / det;
  for (int row = 0; row < 3; ++row) {
    r.m[row][3] = -(r.m[row][0] * m.m[0][3] + r.m[row][1] * m.m[1][3] + r.m[row][2] * m.m[2][3]);
  }
  return r;
}

Mat4 Compose(const Vec3& translation, const Quat& rotation, const Vec3& scaling) {
  const Quat q = Normalized(rotation);
  const double xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  const double xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  const double wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  const double rot[3][3] = {{1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy)},
                            {2 * (xy + wz), 1 - 2 * (xx + zz), 2 * (yz - wx)},
                            {2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy)}};
  const double s[3] = {scaling.x, scaling.y, scaling.z};
  Mat4 r;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) r.m[row][column] = rot[row][column] * s[column];
  }
  r.m[0][3] = translation.x;
  r.m[1][3] = translation.y;
  r.m[2][3] = translation.z;
  return r;
}

Quat Normalized(const Quat& q) {
  const double length = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  if (length == 0.0 || !std::isfinite(length)) return Quat();
  return {q.w / length, q.x / length, q.y / length, q.z / length};
}

Quat Slerp(const Quat& a, const Quat& b, double f) {
  double cosine = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  // q and -q are the same rotation; take the one on a's side for the shorter arc.
  Quat end = b;
  if (cosine < 0.0) {
    cosine = -cosine;
    end = {-b.w, -b.x, -b.y, -b.z};
  }
  double wa = 1.0 - f;
  double wb = f;
  // Nearly equal rotations: the arc is so short that a straight line is as good
  // and avoids dividing by a vanishing sine.
  if (cosine < 0.9999) {
    const double angle = std::acos(cosine);
    const double sine = std::sin(angle);
    wa = std::sin((1.0 - f) * angle) / sine;
    wb = std::sin(f * angle) / sine;
  }
  return Normalized({wa * a.w + wb * end.w, wa * a.x + wb * end.x, wa * a.y + wb * end.y,
                     wa * a.z + wb * end.z});
}

Vec3 Lerp(const Vec3& a, const Vec3& b, double f) { return a + (b - a) * f; }

host::Matrix3 ToHostMatrix(const Mat4& m) {
  // Row i of the host matrix is column i of ours: p * M = M^T p.
  auto row = [&m](int column) {
    return host::Point3(static_cast<float>(m.m[0][column]), static_cast<float>(m.m[1][column]),
                        static_cast<float>(m.m[2][column]));
  };
  return host::Matrix3(row(0), row(1), row(2), row(3));
}

}  // namespace hostapp
