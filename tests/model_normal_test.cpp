// Normal lookup: the nearest of the table's 162 normals to any vector.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>

#include "tests/ModelTestSupport.h"

using namespace model_testing;

TEST(NearestNormalIndex, AxesAndListedEntriesGiveTheirIndices) {
  EXPECT_EQ(NearestNormalIndex(0.0f, 0.0f, 1.0f), 5);
  EXPECT_EQ(NearestNormalIndex(1.0f, 0.0f, 0.0f), 52);
  EXPECT_EQ(NearestNormalIndex(0.0f, -1.0f, 0.0f), 104);
  EXPECT_EQ(NearestNormalIndex(-1.0f, 0.0f, 0.0f), 143);
  EXPECT_EQ(NearestNormalIndex(0.0f, 0.0f, -1.0f), 84);
  EXPECT_EQ(NearestNormalIndex(-0.688191f, -0.587785f, -0.425325f), 161);
  EXPECT_EQ(NearestNormalIndex(0.688191f, 0.587785f, 0.425325f), 47);
  // Only the direction counts.
  EXPECT_EQ(NearestNormalIndex(0.0f, 0.0f, 250.0f), 5);
  EXPECT_EQ(NearestNormalIndex(-0.001f, 0.0f, 0.0f), 143);
}

TEST(NearestNormalIndex, EveryEntryGivesItsOwnIndex) {
  for (int i = 0; i < vandrell::mdl_format::kNormalCount; ++i) {
    EXPECT_EQ(NearestNormalIndex(NormalTable[i][0], NormalTable[i][1], NormalTable[i][2]), i);
  }
}

TEST(NearestNormalIndex, ExactTiesGoToTheFirstEntryUnlessItsKeptScoreRoundedDown) {
  struct Case {
    Point3 v;
    int expected;
  };
  std::vector<Case> cases;
  for (const GeomTiedDirection& tie : kGeomTiedDirections) {
    const bool corner = tie.d.x != 0 && tie.d.y != 0 && tie.d.z != 0;
    cases.push_back({tie.d * (corner ? 0.57735026f : kGeomRootHalf), tie.index});
  }
  // At other lengths the same ties round the other way; and where the tied
  // score is a single-precision number already nothing rounds: the first.
  const Case others[] = {{{1, 1, 1}, 50},
                         {{-1, -1, -1}, 161},
                         {{5, 5, 0}, 42},
                         {{0.875f, 0.9375f, 0}, 42},
                         {{-0.875f, -0.9375f, 0}, 117},
                         {{0.9375f, 0, 0.875f}, 49},
                         {{0, 0.875f, 0.9375f}, 7}};
  cases.insert(cases.end(), std::begin(others), std::end(others));
  for (const Case& t : cases) {
    const Point3 v = t.v;
    EXPECT_EQ(NearestNormalIndex(v.x, v.y, v.z), t.expected) << v.x << ", " << v.y << ", " << v.z;
    EXPECT_EQ(vandrell::NearestNormalIndexByFullScan(v.x, v.y, v.z), t.expected)
        << v.x << ", " << v.y << ", " << v.z;
  }
}

TEST(NearestNormalIndex, ZeroVectorAndNanGiveTheFirstEntry) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(NearestNormalIndex(0.0f, 0.0f, 0.0f), 0);
  EXPECT_EQ(NearestNormalIndex(nan, 0.0f, 1.0f), 0);
  EXPECT_EQ(NearestNormalIndex(0.0f, nan, 0.0f), 0);
  EXPECT_EQ(NearestNormalIndex(1.0f, 0.0f, nan), 0);
}

namespace {

// Vectors for the lookup's differential check; VANDRELL_NORMAL_CHECKS sets
// the count of random ones for a long run by hand.
int64_t GeomRandomNormalChecks() {
  if (const char* text = std::getenv("VANDRELL_NORMAL_CHECKS")) return std::atoll(text);
#ifdef VANDRELL_SANITIZED_BUILD
  return 100000;
#else
  return 1000000;
#endif
}

// The index of the largest score, first among equals: what a scan keeping
// its best in double precision would give. Differs from the table's rule
// only at near-ties, which counts how many the check reaches.
int32_t GeomFirstLargestScore(float x, float y, float z) {
  int32_t best = 0;
  double best_score = -1.0;
  for (int32_t i = 0; i < vandrell::mdl_format::kNormalCount; ++i) {
    const double score =
        (static_cast<double>(x) * NormalTable[i][0] + static_cast<double>(y) * NormalTable[i][1]) +
        static_cast<double>(z) * NormalTable[i][2];
    if (score > best_score) {
      best_score = score;
      best = i;
    }
  }
  return best;
}

}  // namespace

TEST(NearestNormalIndex, LookupGivesTheFullScansIndexForEveryKindOfVector) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  int64_t checked = 0;
  int64_t mismatches = 0;
  int64_t near_ties = 0;  // vectors where rounding the kept score decides
  const auto check = [&](float x, float y, float z) {
    ++checked;
    const int32_t expected = vandrell::NearestNormalIndexByFullScan(x, y, z);
    const int32_t actual = NearestNormalIndex(x, y, z);
    if (actual != expected && ++mismatches <= 5) {
      ADD_FAILURE() << "(" << x << ", " << y << ", " << z << ") gives " << actual
                    << ", the full scan " << expected;
    }
    near_ties += expected != GeomFirstLargestScore(x, y, z);
  };
  // Scales across the range: the subnormal and overflowing ends, and both
  // sides of where the lookup hands over to the full scan.
  const float scales[] = {1.0f,     -1.0f,     0.5f,      3.0f,        1e-3f,
                          7e5f,     0x1p-100f, 0x1p-101f, 0x1.8p-100f, 0x1p100f,
                          0x1p101f, 1e-40f,    1e-30f,    1e30f,       3e38f};
  const auto check_scaled = [&](float x, float y, float z) {
    for (float scale : scales) check(x * scale, y * scale, z * scale);
  };
  // Steps of one unit in the last place on each component, both ways, at
  // unit length, reversed, and at either end of the looked-up range.
  const auto check_nudged = [&](float x, float y, float z) {
    check_scaled(x, y, z);
    const float v[3] = {x, y, z};
    for (int axis = 0; axis < 3; ++axis) {
      for (float toward : {-inf, inf}) {
        float w[3] = {v[0], v[1], v[2]};
        w[axis] = std::nextafter(w[axis], toward);
        for (float scale : {1.0f, -1.0f, 0x1p-100f, 0x1p100f}) {
          check(w[0] * scale, w[1] * scale, w[2] * scale);
        }
      }
    }
  };

  // Every entry, and the midpoints and centres of neighbouring entries,
  // where two or three of them tie.
  std::vector<int> neighbours[vandrell::mdl_format::kNormalCount];
  for (int i = 0; i < vandrell::mdl_format::kNormalCount; ++i) {
    const float* a = NormalTable[i];
    check_nudged(a[0], a[1], a[2]);
    for (int j = i + 1; j < vandrell::mdl_format::kNormalCount; ++j) {
      const float* b = NormalTable[j];
      if (a[0] * b[0] + a[1] * b[1] + a[2] * b[2] < 0.8f) continue;
      neighbours[i].push_back(j);
      check_nudged(a[0] + b[0], a[1] + b[1], a[2] + b[2]);
      check_nudged((a[0] + b[0]) * 0.5f, (a[1] + b[1]) * 0.5f, (a[2] + b[2]) * 0.5f);
    }
  }
  for (int i = 0; i < vandrell::mdl_format::kNormalCount; ++i) {
    for (int j : neighbours[i]) {
      for (int k : neighbours[j]) {
        const float* a = NormalTable[i];
        const float* b = NormalTable[j];
        const float* c = NormalTable[k];
        if (std::find(neighbours[i].begin(), neighbours[i].end(), k) == neighbours[i].end())
          continue;
        check_nudged(a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]);
      }
    }
  }

  // Zero, infinities and NaN, alone and mixed with ordinary components.
  const float odd_values[] = {0.0f, -0.0f, inf, -inf, nan, 1.0f, -0.25f, 1e-45f};
  for (float x : odd_values)
    for (float y : odd_values)
      for (float z : odd_values) check(x, y, z);

  // Cube edges and corners, where the largest component ties.
  for (float a : {1.0f, -1.0f})
    for (float b : {1.0f, -1.0f})
      for (float c : {0.0f, 0.3f, -0.7f, 1.0f, -1.0f}) {
        check(a, b, c);
        check(a, c, b);
        check(c, a, b);
      }

  // Sixteenths: short components make some exact ties score a
  // single-precision number, which no rounding of the kept best decides.
  for (int i = -16; i <= 16; ++i)
    for (int j = -16; j <= 16; ++j)
      for (int k = -16; k <= 16; ++k) check(i / 16.0f, j / 16.0f, k / 16.0f);

  // Random vectors: directions uniform on the sphere at random scales, points
  // near the plane where two neighbouring entries tie, points on the lines
  // where the lookup's cells meet, and random bit patterns (subnormal,
  // infinite and NaN components included).
  std::mt19937_64 rng(20261209);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-130, 130);
  std::uniform_int_distribution<int> entry(0, vandrell::mdl_format::kNormalCount - 1);
  std::uniform_real_distribution<float> offset(-1e-3f, 1e-3f);
  const int64_t random_checks = GeomRandomNormalChecks();
  for (int64_t n = 0; n < random_checks; ++n) {
    switch (n % 4) {
      case 0: {
        const float scale = std::ldexp(1.0f, exponent(rng));
        check(normal(rng) * scale, normal(rng) * scale, normal(rng) * scale);
        break;
      }
      case 1: {
        const int i = entry(rng);
        if (neighbours[i].empty()) break;
        const int j = neighbours[i][static_cast<size_t>(n) % neighbours[i].size()];
        float v[3];
        for (int axis = 0; axis < 3; ++axis) {
          v[axis] = NormalTable[i][axis] + NormalTable[j][axis] +
                    (n % 2 == 0 ? offset(rng) : offset(rng) * 1e-4f);
        }
        check(v[0], v[1], v[2]);
        break;
      }
      case 2: {
        // On a face of the cube around the origin, one coordinate on a line
        // k / 8 - 1 (or one step beside it), where any direction lookup must
        // change from one cell to the next.
        float v[3];
        const int axis = static_cast<int>(rng() % 3);
        v[axis] = rng() % 2 ? 1.0f : -1.0f;
        float line = static_cast<float>(rng() % 17) / 8.0f - 1.0f;
        if (rng() % 3 == 0) line = std::nextafter(line, rng() % 2 ? inf : -inf);
        v[(axis + 1) % 3] = line;
        v[(axis + 2) % 3] = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
        if (rng() % 2) std::swap(v[(axis + 1) % 3], v[(axis + 2) % 3]);
        const float scale = std::ldexp(1.0f, exponent(rng) / 4);
        check(v[0] * scale, v[1] * scale, v[2] * scale);
        break;
      }
      default: {
        float v[3];
        for (float& component : v) {
          const uint32_t bits = static_cast<uint32_t>(rng());
          std::memcpy(&component, &bits, sizeof component);
        }
        check(v[0], v[1], v[2]);
        break;
      }
    }
  }

  EXPECT_EQ(mismatches, 0) << "of " << checked << " vectors";
  // The check reaches the cases that need the table's own rounding rule.
  EXPECT_GT(near_ties, 1000) << "of " << checked << " vectors";
  std::printf("NearestNormalIndex: %lld vectors, %lld where the rounded best decides\n",
              static_cast<long long>(checked), static_cast<long long>(near_ties));
}
