// The host SDK's library code: geometry, meshes, the growable table, strings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "host/CStr.h"
#include "host/Geometry.h"
#include "host/Mesh.h"
#include "host/Tab.h"
#include "host/Timing.h"

namespace {

using host::Matrix3;
using host::Point3;

void ExpectPoint(const Point3& p, float x, float y, float z, float tolerance = 0.0f) {
  EXPECT_NEAR(p.x, x, tolerance);
  EXPECT_NEAR(p.y, y, tolerance);
  EXPECT_NEAR(p.z, z, tolerance);
}

TEST(HostGeometry, PointTimesMatrixIsRowVectorWithTranslation) {
  // Rows chosen so every term is distinct: p * M = x*row0 + y*row1 + z*row2 + row3.
  const Matrix3 m({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 20, 30});
  // (1,0,0) picks row0 plus translation; (0,0,2) picks twice row2.
  ExpectPoint(Point3(1, 0, 0) * m, 11, 22, 33);
  ExpectPoint(Point3(0, 0, 2) * m, 24, 36, 48);
  // (1, 1, 1): 1+4+7+10 = 22, 2+5+8+20 = 35, 3+6+9+30 = 48.
  ExpectPoint(Point3(1, 1, 1) * m, 22, 35, 48);
}

// The batch transform against two operator* products, bit for bit, on random
// points and transforms with rounding at every step, signed zeros, values
// near the ends of single precision and non-finite components.
TEST(HostGeometry, TransformPointsGivesTheBitsOfTwoProducts) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> any(-3.0f, 3.0f);
  const float odd[] = {0.0f,
                       -0.0f,
                       std::numeric_limits<float>::infinity(),
                       std::numeric_limits<float>::quiet_NaN(),
                       3.0e38f,
                       1.0e-40f};
  const auto value = [&]() { return rng() % 12 == 0 ? odd[rng() % 6] : any(rng) * 1000.0f; };
  std::vector<Point3> points(2000);
  for (Point3& p : points) p = Point3(value(), value(), value());
  for (int trial = 0; trial < 50; ++trial) {
    Matrix3 first;
    Matrix3 second;
    for (int row = 0; row < 4; ++row) {
      first.SetRow(row, Point3(value(), value(), value()));
      second.SetRow(row, trial % 2 == 0 ? Point3(any(rng), any(rng), any(rng))
                                        : Point3(value(), value(), value()));
    }
    if (trial == 0) {
      second.IdentityMatrix();
      second.RotateZ(3.14159265358979f * 0.5f);
    }
    std::vector<Point3> batch(points.size());
    host::TransformPoints(points.data(), points.size(), first, second, batch.data());
    // Same bits, except that a NaN may carry either operand's payload: the
    // exporter never stores one, it only packs it to 0.
    for (size_t i = 0; i < points.size(); ++i) {
      const Point3 expected = (points[i] * first) * second;
      for (int axis = 0; axis < 3; ++axis) {
        const float a = batch[i][axis];
        const float b = expected[axis];
        if (std::isnan(a) && std::isnan(b)) continue;
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0)
            << "trial " << trial << " point " << i << " axis " << axis;
      }
    }
  }
}

TEST(HostGeometry, IdentityAndTranslationAccessors) {
  Matrix3 m({2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {5, 6, 7});
  EXPECT_EQ(m.GetTrans(), Point3(5, 6, 7));
  m.SetTrans({0, 0, 0});
  ExpectPoint(Point3(1, 1, 1) * m, 2, 2, 2);
  m.IdentityMatrix();
  ExpectPoint(Point3(3, -4, 5) * m, 3, -4, 5);
}

TEST(HostGeometry, PositiveRotateZTurnsCounterClockwiseSeenFromAbove) {
  Matrix3 m;
  m.RotateZ(static_cast<float>(M_PI * 0.5));
  // A quarter turn counter-clockwise: +X goes to +Y, -Y (the host's front) to +X.
  ExpectPoint(Point3(1, 0, 0) * m, 0, 1, 0, 1e-6f);
  ExpectPoint(Point3(0, -1, 0) * m, 1, 0, 0, 1e-6f);
  ExpectPoint(Point3(0, 0, 3) * m, 0, 0, 3, 1e-6f);
}

TEST(HostGeometry, RotateZAppliesAfterTheExistingTransform) {
  // Translate by (1, 0, 0), then turn: the point (0,0,0) ends at (0, 1, 0).
  Matrix3 m;
  m.SetTrans({1, 0, 0});
  m.RotateZ(static_cast<float>(M_PI * 0.5));
  ExpectPoint(Point3(0, 0, 0) * m, 0, 1, 0, 1e-6f);
}

TEST(HostGeometry, MatrixProductAppliesLeftThenRight) {
  Matrix3 translate;
  translate.SetTrans({0, 0, 5});
  Matrix3 scale({2, 0, 0}, {0, 3, 0}, {0, 0, 4}, {0, 0, 0});
  // (1, 1, 1) translated to (1, 1, 6), then scaled to (2, 3, 24).
  ExpectPoint(Point3(1, 1, 1) * (translate * scale), 2, 3, 24);
  // The other order: scaled to (2, 3, 4), then translated to (2, 3, 9).
  ExpectPoint(Point3(1, 1, 1) * (scale * translate), 2, 3, 9);
}

TEST(HostGeometry, NormalizeGivesUnitLengthAndKeepsZero) {
  ExpectPoint(host::Normalize({3, 0, 4}), 0.6f, 0.0f, 0.8f, 1e-7f);
  ExpectPoint(host::Normalize({0, -2, 0}), 0, -1, 0);
  ExpectPoint(host::Normalize({0, 0, 0}), 0, 0, 0);
  const float inf = std::numeric_limits<float>::infinity();
  const Point3 infinite = host::Normalize({inf, 0, 0});
  EXPECT_TRUE(std::isinf(infinite.x));
}

TEST(HostMesh, BuildNormalsGivesUnitCrossProductOfEdges) {
  host::Mesh mesh;
  mesh.vertices = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 0}};
  host::MeshFace ccw;  // counter-clockwise seen from +Z
  ccw.v[0] = 0;
  ccw.v[1] = 1;
  ccw.v[2] = 2;
  host::MeshFace cw;
  cw.v[0] = 0;
  cw.v[1] = 2;
  cw.v[2] = 1;
  host::MeshFace flat;  // no area
  flat.v[0] = 0;
  flat.v[1] = 3;
  flat.v[2] = 1;
  host::MeshFace broken;  // names a vertex that does not exist
  broken.v[0] = 0;
  broken.v[1] = 1;
  broken.v[2] = 99;
  mesh.faces = {ccw, cw, flat, broken};
  mesh.buildNormals();
  ASSERT_EQ(mesh.face_normals.size(), 4u);
  ExpectPoint(mesh.face_normals[0], 0, 0, 1);
  ExpectPoint(mesh.face_normals[1], 0, 0, -1);
  ExpectPoint(mesh.face_normals[2], 0, 0, 0);
  ExpectPoint(mesh.face_normals[3], 0, 0, 0);
}

TEST(HostMesh, FaceMaterialIndexIsSixteenBitsAndZeroOutside) {
  host::Mesh mesh;
  mesh.faces.resize(2);
  mesh.faces[0].material_index = 7;
  mesh.faces[1].material_index = 65535;
  EXPECT_EQ(mesh.getFaceMtlIndex(0), 7);
  EXPECT_EQ(mesh.getFaceMtlIndex(1), 65535);
  EXPECT_EQ(mesh.getFaceMtlIndex(2), 0);
  EXPECT_EQ(mesh.getFaceMtlIndex(-1), 0);
}

struct Record {
  int a;
  int b;
};

TEST(HostTab, InsertAtIndexKeepsOrderAndGrowsWithReserve) {
  host::Tab<Record> table;
  EXPECT_EQ(table.Count(), 0);
  const Record first{1, 10}, second{2, 20}, middle{3, 30};
  EXPECT_EQ(table.TBInsertAt(0, &first, 1, 20), 0);
  EXPECT_EQ(table.TBInsertAt(1, &second, 1, 20), 1);
  // Inserted between them: the later record moves up.
  EXPECT_EQ(table.TBInsertAt(1, &middle, 1, 20), 1);
  ASSERT_EQ(table.Count(), 3);
  EXPECT_EQ(table[0].a, 1);
  EXPECT_EQ(table[1].a, 3);
  EXPECT_EQ(table[2].a, 2);
  // An index past the end appends.
  const Record last{4, 40};
  EXPECT_EQ(table.TBInsertAt(99, &last, 1, 20), 3);
  EXPECT_EQ(table[3].b, 40);
  table.zfree();
  EXPECT_EQ(table.Count(), 0);
}

TEST(HostTab, ManyInsertionsKeepEveryRecord) {
  host::Tab<Record> table;
  for (int i = 0; i < 1000; ++i) {
    const Record r{i, -i};
    table.Append(r, 20);
  }
  ASSERT_EQ(table.Count(), 1000);
  for (int i = 0; i < 1000; i += 111) EXPECT_EQ(table[i].b, -i);
}

TEST(HostTabDeathTest, IndexOutsideTheTableFailsLoudly) {
  host::Tab<Record> table;
  const Record r{1, 1};
  table.Append(r, 20);
  EXPECT_DEATH(table[1], "index out of range");
  EXPECT_DEATH(table[-1], "index out of range");
}

TEST(HostCStr, CopiesTextAndTreatsNullAsEmpty) {
  char source[] = "Vandrell";
  host::CStr text(source);
  source[0] = 'X';  // the string holds its own copy
  EXPECT_STREQ(text.data(), "Vandrell");
  EXPECT_EQ(text.Length(), 8u);
  host::CStr copy(text);
  text.Release();
  EXPECT_STREQ(text.data(), "");
  EXPECT_STREQ(copy.data(), "Vandrell");
  host::CStr empty(nullptr);
  EXPECT_STREQ(empty.data(), "");
  EXPECT_EQ(empty.Length(), 0u);
}

TEST(HostTiming, TicksPerFrameIsSettableByTheHostApplication) {
  const int before = host::GetTicksPerFrame();
  host::SetTicksPerFrame(480);
  EXPECT_EQ(host::GetTicksPerFrame(), 480);
  host::SetTicksPerFrame(before);
}

TEST(HostTiming, FramesInRangeCountsBothEndsNeverBelowOneAndSaturates) {
  EXPECT_EQ(host::FramesInRange(0, 4800, 480), 11);
  EXPECT_EQ(host::FramesInRange(-35, -1, 10), 4);  // 34 / 10 + 1, truncated
  EXPECT_EQ(host::FramesInRange(7, 7, 480), 1);
  EXPECT_EQ(host::FramesInRange(100, 0, 10), 1);  // ends before it starts
  EXPECT_EQ(host::FramesInRange(0, 100, 0), 1);   // a faulty host's ticks per frame
  EXPECT_EQ(host::FramesInRange(0, 100, -10), 1);
  // The whole 32-bit time line: 4294967295 / 3 + 1 frames, and at 1 tick a
  // frame more than an int32 holds.
  EXPECT_EQ(host::FramesInRange(INT32_MIN, INT32_MAX, 3), 1431655766);
  EXPECT_EQ(host::FramesInRange(INT32_MIN, INT32_MAX, 1), INT32_MAX);
}

}  // namespace
