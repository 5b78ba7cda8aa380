#pragma once
// Double-precision transforms for evaluating imported scenes. Unlike the
// host's Matrix3 these follow the column-vector convention of the files
// (p' = M p), so a file's matrices are used as they are read; ToHostMatrix
// turns one into the host's row-vector form at the edge.

#include "host/Geometry.h"

namespace hostapp {

struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// A rotation as a unit quaternion; w is the scalar part.
struct Quat {
  double w = 1.0;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// An affine transform, column-vector convention: m[row][column], the
// translation in column 3, row 3 always (0, 0, 0, 1).
struct Mat4 {
  double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

Vec3 operator+(const Vec3& a, const Vec3& b);
Vec3 operator-(const Vec3& a, const Vec3& b);
Vec3 operator*(const Vec3& a, double f);

// a then b applied to a point is b * a: (a * b) p = a (b p).
Mat4 operator*(const Mat4& a, const Mat4& b);
Vec3 TransformPoint(const Mat4& m, const Vec3& p);
// The inverse of an affine transform; the identity for a singular one.
Mat4 Inverse(const Mat4& m);
// translation * rotation * scaling, the order in which files compose them.
Mat4 Compose(const Vec3& translation, const Quat& rotation, const Vec3& scaling);

// The unit quaternion nearest to q; the identity for a zero quaternion.
Quat Normalized(const Quat& q);
// Spherical interpolation from a (f = 0) to b (f = 1) along the shorter arc.
Quat Slerp(const Quat& a, const Quat& b, double f);
// Linear interpolation of two vectors.
Vec3 Lerp(const Vec3& a, const Vec3& b, double f);

// The same transform in the host's row-vector form (p * M), rounded to
// single precision.
host::Matrix3 ToHostMatrix(const Mat4& m);

}  // namespace hostapp
