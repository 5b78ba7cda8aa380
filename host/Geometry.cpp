#include "host/Geometry.h"

#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)

namespace {

// A transform's rows in double precision, x and y of each in one register.
struct RowsInDouble {
  explicit RowsInDouble(const Matrix3& m) {
    for (int i = 0; i < 4; ++i) {
      const Point3 row = m.GetRow(i);
      xy[i] = _mm_setr_pd(row.x, row.y);
      z[i] = row.z;
    }
  }
  __m128d xy[4];
  double z[4];
};

// operator*, the x and y sums side by side: the same products, added in the
// same order, each rounded once to single precision.
inline void Transform(const double p[3], const RowsInDouble& m, double out[3]) {
  const __m128d x = _mm_set1_pd(p[0]);
  const __m128d y = _mm_set1_pd(p[1]);
  const __m128d z = _mm_set1_pd(p[2]);
  const __m128d xy =
      _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(x, m.xy[0]), _mm_mul_pd(y, m.xy[1])),
                            _mm_mul_pd(z, m.xy[2])),
                 m.xy[3]);
  // Through single precision, as the stored point is.
  const __m128d rounded = _mm_cvtps_pd(_mm_cvtpd_ps(xy));
  _mm_storeu_pd(out, rounded);
  out[2] = static_cast<float>(p[0] * m.z[0] + p[1] * m.z[1] + p[2] * m.z[2] + m.z[3]);
}

}  // namespace

void TransformPoints(const Point3* in, std::size_t count, const Matrix3& first,
                     const Matrix3& second, Point3* out) {
  const RowsInDouble a(first);
  const RowsInDouble b(second);
  for (std::size_t i = 0; i < count; ++i) {
    const double p[3] = {in[i].x, in[i].y, in[i].z};
    double once[3];
    double twice[3];
    Transform(p, a, once);
    Transform(once, b, twice);
    out[i] = Point3(static_cast<float>(twice[0]), static_cast<float>(twice[1]),
                    static_cast<float>(twice[2]));
  }
}

#else

void TransformPoints(const Point3* in, std::size_t count, const Matrix3& first,
                     const Matrix3& second, Point3* out) {
  for (std::size_t i = 0; i < count; ++i) out[i] = (in[i] * first) * second;
}

#endif

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
