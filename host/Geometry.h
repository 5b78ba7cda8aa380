#pragma once
// Points and transforms of the host: single-precision storage, right-handed,
// Z up. Points are row vectors multiplied on the left of a matrix.

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

Point3 operator+(const Point3& a, const Point3& b);
Point3 operator-(const Point3& a, const Point3& b);
Point3 operator*(const Point3& a, float f);
bool operator==(const Point3& a, const Point3& b);

// Unit-length copy of v, computed in double precision; the zero vector (and a
// vector whose length is not finite) comes back unchanged.
Point3 Normalize(const Point3& v);

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
Point3 operator*(const Point3& p, const Matrix3& m);
// The transform a then b: p * (a * b) == (p * a) * b.
Matrix3 operator*(const Matrix3& a, const Matrix3& b);
Point3 CrossProduct(const Point3& a, const Point3& b);
float DotProduct(const Point3& a, const Point3& b);

}  // namespace host
