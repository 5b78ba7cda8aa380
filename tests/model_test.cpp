#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "export/ExportSettings.h"
#include "host/Geometry.h"
#include "host/Mesh.h"
#include "host/Timing.h"
#include "hostapp/scene/StandInScene.h"
#include "model/BuildFrames.h"
#include "model/FinishFrames.h"
#include "model/FrameWalk.h"
#include "model/MdlModel.h"
#include "model/MergeVertices.h"
#include "model/NearestNormal.h"
#include "model/SmoothNormals.h"
#include "scene/MaterialTable.h"
#include "scene/SceneCollector.h"

// ===========================================================================
// Model record: construction, Allocate, LoadFrame, StoreFrame, Reset.
// Self-contained: its helpers below are used by no other section.
// ===========================================================================

namespace {

using vandrell::FrameVertex;
using vandrell::MdlModel;
using vandrell::TriangleIndices;

// Sets the settings Allocate reads and puts the earlier ones back afterwards.
class RecordSettingsScope {
 public:
  RecordSettingsScope(int32_t frame_count, int32_t skin_byte_budget)
      : saved_(vandrell::g_export_settings) {
    vandrell::g_export_settings.frame_count = frame_count;
    vandrell::g_export_settings.skin_byte_budget = skin_byte_budget;
  }
  ~RecordSettingsScope() { vandrell::g_export_settings = saved_; }

 private:
  vandrell::ExportSettings saved_;
};

// True when count bytes at p are all zero.
bool RecordBytesAreZero(const void* p, size_t count) {
  const uint8_t* bytes = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// Fills count bytes at p with a pattern that differs from record to record
// and from seed to seed, none of them zero.
void RecordFillPattern(void* p, size_t count, uint8_t seed) {
  uint8_t* bytes = static_cast<uint8_t*>(p);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(1 + (seed + 3 * i) % 251);
}

TEST(MdlModelRecord, FreshModelHasTheHeaderDefaultsAndNoBuffers) {
  const MdlModel model;
  char ident[4];
  std::memcpy(ident, &model.ident, sizeof ident);
  EXPECT_EQ(std::memcmp(ident, "IDPO", 4), 0);
  EXPECT_EQ(model.version, 6);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(model.scale[axis], 1.0f);
    EXPECT_EQ(model.scale_origin[axis], 0.0f);
    EXPECT_EQ(model.eye_position[axis], 0.0f);
  }
  EXPECT_EQ(model.bounding_radius, 1.0f);
  EXPECT_EQ(model.numskins, 0);
  EXPECT_EQ(model.skinwidth, 0);
  EXPECT_EQ(model.skinheight, 0);
  EXPECT_EQ(model.numverts, 0);
  EXPECT_EQ(model.numtris, 0);
  EXPECT_EQ(model.numframes, 0);
  EXPECT_EQ(model.synctype, 1);
  EXPECT_EQ(model.flags, 0);
  EXPECT_EQ(model.size, 1.0f);
  EXPECT_EQ(model.skin, nullptr);
  EXPECT_EQ(model.work_vertices, nullptr);
  EXPECT_EQ(model.frame_vertices, nullptr);
  EXPECT_EQ(model.work_triangles, nullptr);
  EXPECT_EQ(model.frame_triangles, nullptr);
}

TEST(MdlModelRecord, FrameVertexKeepsItsPackedBytesAdjacentInFileOrder) {
  // s and t take 8 bytes; the four packed bytes follow in file order.
  EXPECT_EQ(offsetof(FrameVertex, packed_x), 8u);
  EXPECT_EQ(offsetof(FrameVertex, packed_y), 9u);
  EXPECT_EQ(offsetof(FrameVertex, packed_z), 10u);
  EXPECT_EQ(offsetof(FrameVertex, normal_index), 11u);
}

TEST(MdlModelRecord, AllocateSizesEveryBufferAndZeroFillsIt) {
  RecordSettingsScope settings(3, 16384);
  MdlModel model;
  ASSERT_EQ(model.Allocate(5), 1);
  EXPECT_EQ(model.vertex_capacity, 15);
  EXPECT_EQ(model.triangle_capacity, 5);
  EXPECT_EQ(model.frame_capacity, 3);
  EXPECT_EQ(model.skin_bytes, 16384);
  EXPECT_EQ(model.skinwidth, 128);
  EXPECT_EQ(model.skinheight, 128);
  EXPECT_EQ(model.numskins, 1);
  EXPECT_EQ(model.numverts, 0);
  EXPECT_EQ(model.numframes, 0);
  ASSERT_NE(model.skin, nullptr);
  EXPECT_TRUE(RecordBytesAreZero(model.skin, 16384));
  EXPECT_TRUE(RecordBytesAreZero(model.work_vertices, 15 * sizeof(FrameVertex)));
  EXPECT_TRUE(RecordBytesAreZero(model.frame_vertices, 45 * sizeof(FrameVertex)));
  EXPECT_TRUE(RecordBytesAreZero(model.work_triangles, 5 * sizeof(TriangleIndices)));
  EXPECT_TRUE(RecordBytesAreZero(model.frame_triangles, 15 * sizeof(TriangleIndices)));
}

TEST(MdlModelRecord, SkinHeightIsTheBudgetOverTheWidthRoundedDown) {
  const struct {
    int32_t budget;
    int32_t height;
  } cases[] = {{16384, 128}, {1000, 7}, {100, 0}, {0, 0}, {65536, 512}};
  for (const auto& c : cases) {
    RecordSettingsScope settings(1, c.budget);
    MdlModel model;
    ASSERT_EQ(model.Allocate(1), 1) << c.budget;
    EXPECT_EQ(model.skinwidth, 128) << c.budget;
    EXPECT_EQ(model.skinheight, c.height) << c.budget;
    EXPECT_EQ(model.skin_bytes, c.budget);
  }
}

TEST(MdlModelRecord, AllocateOfNoFacesCopiesNothingButStillCountsFrames) {
  RecordSettingsScope settings(4, 0);
  MdlModel model;
  ASSERT_EQ(model.Allocate(0), 1);
  EXPECT_EQ(model.vertex_capacity, 0);
  EXPECT_EQ(model.triangle_capacity, 0);
  model.StoreFrame(2);
  EXPECT_EQ(model.numframes, 3);
  model.LoadFrame(2);
  EXPECT_EQ(model.numframes, 3);
}

TEST(MdlModelRecord, FrameCountOfZeroLeavesAnEmptyStore) {
  RecordSettingsScope settings(0, 16384);
  MdlModel model;
  ASSERT_EQ(model.Allocate(2), 1);
  EXPECT_EQ(model.frame_capacity, 0);
  EXPECT_EQ(model.vertex_capacity, 6);
  EXPECT_EQ(model.numframes, 0);
}

TEST(MdlModelRecord, StoreFrameRaisesTheFrameCountAndNeverLowersIt) {
  MdlModel fresh;
  fresh.StoreFrame(3);
  EXPECT_EQ(fresh.numframes, 4);
  fresh.StoreFrame(1);
  EXPECT_EQ(fresh.numframes, 4);

  RecordSettingsScope settings(5, 0);
  MdlModel model;
  ASSERT_EQ(model.Allocate(1), 1);
  model.StoreFrame(3);
  EXPECT_EQ(model.numframes, 4);
  model.StoreFrame(1);
  EXPECT_EQ(model.numframes, 4);
  model.StoreFrame(4);
  EXPECT_EQ(model.numframes, 5);
}

TEST(MdlModelRecord, StoreThenLoadGivesBackEveryRecordByteForByte) {
  RecordSettingsScope settings(3, 0);
  MdlModel model;
  ASSERT_EQ(model.Allocate(2), 1);
  // Counts below the capacity: the records past them travel too.
  model.numverts = 1;
  model.numtris = 0;
  const size_t vertex_bytes = 6 * sizeof(FrameVertex);
  const size_t triangle_bytes = 2 * sizeof(TriangleIndices);
  RecordFillPattern(model.work_vertices, vertex_bytes, 17);
  RecordFillPattern(model.work_triangles, triangle_bytes, 91);
  const std::vector<uint8_t> stored_vertices(
      reinterpret_cast<uint8_t*>(model.work_vertices),
      reinterpret_cast<uint8_t*>(model.work_vertices) + vertex_bytes);
  const std::vector<uint8_t> stored_triangles(
      reinterpret_cast<uint8_t*>(model.work_triangles),
      reinterpret_cast<uint8_t*>(model.work_triangles) + triangle_bytes);
  model.StoreFrame(1);

  // Frame 1 sits at records 6 .. 11 and 2 .. 3 of the store; frames 0 and 2
  // are untouched.
  EXPECT_EQ(std::memcmp(model.frame_vertices + 6, stored_vertices.data(), vertex_bytes), 0);
  EXPECT_EQ(std::memcmp(model.frame_triangles + 2, stored_triangles.data(), triangle_bytes), 0);
  EXPECT_TRUE(RecordBytesAreZero(model.frame_vertices, vertex_bytes));
  EXPECT_TRUE(RecordBytesAreZero(model.frame_vertices + 12, vertex_bytes));
  EXPECT_TRUE(RecordBytesAreZero(model.frame_triangles + 4, triangle_bytes));

  RecordFillPattern(model.work_vertices, vertex_bytes, 200);
  RecordFillPattern(model.work_triangles, triangle_bytes, 5);
  model.LoadFrame(1);
  EXPECT_EQ(std::memcmp(model.work_vertices, stored_vertices.data(), vertex_bytes), 0);
  EXPECT_EQ(std::memcmp(model.work_triangles, stored_triangles.data(), triangle_bytes), 0);
  EXPECT_EQ(model.numverts, 1);
  EXPECT_EQ(model.numtris, 0);
  EXPECT_EQ(model.numframes, 2);

  model.LoadFrame(0);
  EXPECT_TRUE(RecordBytesAreZero(model.work_vertices, vertex_bytes));
  EXPECT_TRUE(RecordBytesAreZero(model.work_triangles, triangle_bytes));
}

TEST(MdlModelRecord, ResetReturnsToTheConstructedStateButKeepsTheDialogsFields) {
  RecordSettingsScope settings(2, 1024);
  MdlModel model;
  model.synctype = 0;
  model.flags = 9;
  ASSERT_EQ(model.Allocate(3), 1);
  model.numverts = 4;
  model.numtris = 2;
  model.StoreFrame(1);
  model.scale[0] = 0.5f;
  model.scale_origin[2] = -3.0f;
  model.bounding_radius = 40.0f;
  model.Reset();
  EXPECT_EQ(model.synctype, 0);
  EXPECT_EQ(model.flags, 9);
  EXPECT_EQ(model.numskins, 0);
  EXPECT_EQ(model.skinwidth, 0);
  EXPECT_EQ(model.skinheight, 0);
  EXPECT_EQ(model.numverts, 0);
  EXPECT_EQ(model.numtris, 0);
  EXPECT_EQ(model.numframes, 0);
  EXPECT_EQ(model.scale[0], 1.0f);
  EXPECT_EQ(model.scale_origin[2], 0.0f);
  EXPECT_EQ(model.bounding_radius, 1.0f);
  EXPECT_EQ(model.skin, nullptr);
  EXPECT_EQ(model.work_vertices, nullptr);
  EXPECT_EQ(model.frame_vertices, nullptr);
  EXPECT_EQ(model.work_triangles, nullptr);
  EXPECT_EQ(model.frame_triangles, nullptr);
  EXPECT_EQ(model.skin_bytes, 0);
  EXPECT_EQ(model.vertex_capacity, 0);
  EXPECT_EQ(model.triangle_capacity, 0);
  EXPECT_EQ(model.frame_capacity, 0);
  // A new allocation counts its skin from 1 again.
  ASSERT_EQ(model.Allocate(1), 1);
  EXPECT_EQ(model.numskins, 1);
}

TEST(MdlModelRecord, SizesThatDoNotFitAreRefusedWithNothingChanged) {
  MdlModel model;
  {
    RecordSettingsScope settings(2, 256);
    ASSERT_EQ(model.Allocate(4), 1);
  }
  FrameVertex* const vertices = model.work_vertices;
  uint8_t* const skin = model.skin;
  const struct {
    int32_t faces;
    int32_t frames;
    int32_t budget;
  } refused[] = {
      {1000, 1000000, 0},  // 3 x 1000 x 1000000 = 3e9 vertex records
      {800000000, 1, 0},   // 3 x 8e8 = 2.4e9 records in one frame
      {100000, 1000, 0},   // 3e8 records fit, their 7.2e9 bytes do not
      {-1, 1, 0},          // a negative face count
      {1, -1, 0},          // a negative frame count
      {1, 1, -1024},       // a negative budget
  };
  for (const auto& c : refused) {
    RecordSettingsScope settings(c.frames, c.budget);
    EXPECT_EQ(model.Allocate(c.faces), 0) << c.faces << " x " << c.frames;
    EXPECT_EQ(model.work_vertices, vertices);
    EXPECT_EQ(model.skin, skin);
    EXPECT_EQ(model.vertex_capacity, 12);
    EXPECT_EQ(model.triangle_capacity, 4);
    EXPECT_EQ(model.frame_capacity, 2);
    EXPECT_EQ(model.skin_bytes, 256);
    EXPECT_EQ(model.skinheight, 2);
    EXPECT_EQ(model.numskins, 1);
  }
}

}  // namespace

// ===========================================================================
// End of the model-record section.
// ===========================================================================

// ===========================================================================
// Geometry: normal table, frame sampling, triangle assembly, quantisation,
// smoothing and merging. Helpers of this section carry the prefix Geom.
// ===========================================================================

namespace {

using host::Point3;
using vandrell::BuildStatus;
using vandrell::FrameVertex;
using vandrell::g_export_settings;
using vandrell::MdlModel;
using vandrell::NearestNormalIndex;
using vandrell::NormalTable;
using vandrell::TriangleIndices;
using vandrell::TriangleInput;

constexpr float kGeomRootHalf = 0.70710677f;  // sqrt(1/2) in single precision

uint32_t GeomBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Settings every geometry test starts from: one frame, flat shading, scale 1.
void GeomDefaultSettings() {
  g_export_settings.gouraud_shading = 0;
  g_export_settings.frame_count = 1;
  g_export_settings.model_scale = 1.0f;
  g_export_settings.collision_box_scale = 1.0f;
  g_export_settings.skin_byte_budget = 128 * 128;
}

// Ticks per frame for the collectors made while it lives.
class GeomTicksPerFrame {
 public:
  explicit GeomTicksPerFrame(int ticks) : saved_(host::GetTicksPerFrame()) {
    host::SetTicksPerFrame(ticks);
  }
  ~GeomTicksPerFrame() { host::SetTicksPerFrame(saved_); }
  GeomTicksPerFrame(const GeomTicksPerFrame&) = delete;
  GeomTicksPerFrame& operator=(const GeomTicksPerFrame&) = delete;

 private:
  int saved_;
};

// Buffers for faces faces a frame and frames frames.
void GeomAllocate(MdlModel& model, int32_t faces, int32_t frames) {
  g_export_settings.frame_count = frames;
  g_export_settings.skin_byte_budget = 128 * 4;
  ASSERT_EQ(model.Allocate(faces), 1);
}

// Stores frame f with the given float positions for vertices 0 .. n - 1.
void GeomStorePositions(MdlModel& model, int32_t f, const std::vector<Point3>& positions) {
  for (size_t k = 0; k < positions.size(); ++k) {
    model.work_vertices[k].x = positions[k].x;
    model.work_vertices[k].y = positions[k].y;
    model.work_vertices[k].z = positions[k].z;
  }
  model.numverts = std::max<int32_t>(model.numverts, static_cast<int32_t>(positions.size()));
  model.StoreFrame(f);
}

FrameVertex GeomVertex(int32_t s, int32_t t, uint8_t px, uint8_t py, uint8_t pz, uint8_t normal) {
  FrameVertex vertex{};
  vertex.s = s;
  vertex.t = t;
  vertex.packed_x = px;
  vertex.packed_y = py;
  vertex.packed_z = pz;
  vertex.normal_index = normal;
  return vertex;
}

// Stores frame f with the given vertices and triangles as the ones in use.
void GeomStoreFrame(MdlModel& model, int32_t f, const std::vector<FrameVertex>& vertices,
                    const std::vector<TriangleIndices>& triangles) {
  for (size_t k = 0; k < vertices.size(); ++k) model.work_vertices[k] = vertices[k];
  for (size_t k = 0; k < triangles.size(); ++k) model.work_triangles[k] = triangles[k];
  model.numverts = static_cast<int32_t>(vertices.size());
  model.numtris = static_cast<int32_t>(triangles.size());
  model.StoreFrame(f);
}

const FrameVertex& GeomStored(const MdlModel& model, int32_t f, int32_t k) {
  return model.frame_vertices[static_cast<size_t>(f) * model.vertex_capacity + k];
}

const TriangleIndices& GeomStoredTriangle(const MdlModel& model, int32_t f, int32_t k) {
  return model.frame_triangles[static_cast<size_t>(f) * model.triangle_capacity + k];
}

TriangleInput GeomTriangle(Point3 a, Point3 b, Point3 c, Point3 face_normal) {
  return TriangleInput{a, 1, 2, b, 3, 4, c, 5, 6, face_normal};
}

// Collects scene over its animation range into a collector over table and
// builds model from it.
BuildStatus GeomBuildScene(hostapp::StandInScene& scene, MdlModel& model,
                           vandrell::MaterialTable& table,
                           const std::function<void(vandrell::MaterialTable&)>& prepare = {}) {
  const host::ValidityInterval range = scene.GetAnimationRange();
  vandrell::SceneCollector collector(&scene, range.start, range.end, &scene, &table);
  if (prepare) prepare(table);
  return vandrell::BuildFrames(model, collector);
}

BuildStatus GeomBuildScene(hostapp::StandInScene& scene, MdlModel& model) {
  vandrell::MaterialTable table;
  return GeomBuildScene(scene, model, table);
}

// The mesh of one face per corner triple, no vertex shared.
host::Mesh GeomSeparateFaces(const std::vector<std::vector<Point3>>& faces) {
  std::vector<Point3> vertices;
  std::vector<hostapp::FaceSpec> face_list;
  for (const auto& corners : faces) {
    const uint32_t first = static_cast<uint32_t>(vertices.size());
    vertices.insert(vertices.end(), corners.begin(), corners.end());
    face_list.push_back({first, first + 1, first + 2});
  }
  return hostapp::MakeMesh(vertices, face_list);
}

// A point after the exporter's quarter turn about Z: (x, y, z) -> (-y, x, z).
// The turn's cosine is not exactly 0 in single precision, hence the tolerance.
void GeomExpectTurned(const FrameVertex& vertex, Point3 p) {
  EXPECT_NEAR(vertex.x, -p.y, 1e-5f);
  EXPECT_NEAR(vertex.y, p.x, 1e-5f);
  EXPECT_NEAR(vertex.z, p.z, 1e-5f);
}

void GeomExpectTriangle(const TriangleIndices& triangle, int32_t a, int32_t b, int32_t c) {
  EXPECT_EQ(triangle.v[0], a);
  EXPECT_EQ(triangle.v[1], b);
  EXPECT_EQ(triangle.v[2], c);
}

}  // namespace

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

namespace {

// The directions where entries of the table tie exactly, with the index the
// table's rule gives at unit length, worked out from the six-decimal table.
// A 45-degree direction ties the two entries that differ only in the sign of
// the zero component (42 and 43, (0.716567, 0.681718, +-0.147621), for (1, 1,
// 0)); their score, kept in single precision, rounds down, so the later one
// wins. A cube corner ties the three cyclic permutations of (0.688191,
// 0.587785, 0.425325) with its signs (45, 47 and 50 for (1, 1, 1)); their
// score rounds up, so the first one stays.
struct GeomTiedDirection {
  Point3 d;
  int index;
};
const GeomTiedDirection kGeomTiedDirections[] = {
    {{1, 1, 0}, 43},  {{1, -1, 0}, 111},  {{-1, 1, 0}, 25},   {{-1, -1, 0}, 118},
    {{1, 0, 1}, 59},  {{1, 0, -1}, 66},   {{-1, 0, 1}, 126},  {{-1, 0, -1}, 154},
    {{0, 1, 1}, 8},   {{0, 1, -1}, 77},   {{0, -1, 1}, 136},  {{0, -1, -1}, 92},
    {{1, 1, 1}, 45},  {{1, 1, -1}, 73},   {{1, -1, 1}, 138},  {{1, -1, -1}, 99},
    {{-1, 1, 1}, 17}, {{-1, 1, -1}, 156}, {{-1, -1, 1}, 125}, {{-1, -1, -1}, 159}};

}  // namespace

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

// --- Triangle assembly -----------------------------------------------------

TEST(AddTriangle, WindingFollowsTheFaceNormalAndTheRecordsKeepInputOrder) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 4, 1);
  g_export_settings.model_scale = 1.0f;
  // (C - A) x (B - A) = (1, 0, 0) x (0, 1, 0) = (0, 0, 1).
  const Point3 a(0, 0, 0), b(0, 1, 0), c(1, 0, 0);

  model.AddTriangle(0, GeomTriangle(a, b, c, {0, 0, 3}));   // agrees: kept
  model.AddTriangle(1, GeomTriangle(a, b, c, {0, 0, -3}));  // opposes: turned over
  model.AddTriangle(2, GeomTriangle(a, b, c, {1, 0, 0}));   // perpendicular: kept
  const float nan = std::numeric_limits<float>::quiet_NaN();
  model.AddTriangle(3, GeomTriangle(a, b, c, {nan, 0, 1}));  // no answer: turned over

  EXPECT_EQ(model.numtris, 4);
  EXPECT_EQ(model.numverts, 12);
  GeomExpectTriangle(model.work_triangles[0], 0, 1, 2);
  GeomExpectTriangle(model.work_triangles[1], 3, 5, 4);
  GeomExpectTriangle(model.work_triangles[2], 6, 7, 8);
  GeomExpectTriangle(model.work_triangles[3], 9, 11, 10);
  const int expected_normal[4] = {5, 84, 5, 84};
  for (int k = 0; k < 4; ++k) {
    for (int corner = 0; corner < 3; ++corner) {
      const FrameVertex& vertex = model.work_vertices[3 * k + corner];
      EXPECT_EQ(vertex.normal_index, expected_normal[k]) << "triangle " << k;
      EXPECT_EQ(vertex.s, 1 + 2 * corner);
      EXPECT_EQ(vertex.t, 2 + 2 * corner);
    }
    EXPECT_EQ(model.work_vertices[3 * k + 1].y, 1.0f);
    EXPECT_EQ(model.work_vertices[3 * k + 2].x, 1.0f);
  }
}

TEST(AddTriangle, FacesAt45DegreesTakeTheIndexOfTheirUnitNormalAtEverySize) {
  // Geometric normals along the tied directions at several lengths: only the
  // unit normal counts. Unscaled, (2, 2, 2) or (50, 50, 0) would round their
  // tied scores the other way and pick another entry.
  std::vector<TriangleInput> inputs;
  std::vector<int> expected;
  for (const float s : {1.0f, 5.0f, 0.375f, 1000.0f}) {
    for (const GeomTiedDirection& tie : kGeomTiedDirections) {
      // u and w = d x u lie across d, and w x u = -|u|^2 d: corners (0, u,
      // w) run against the face normal d and are turned over, (0, w, u) not.
      const Point3 d = tie.d;
      const Point3 u = Point3(d.y, -d.x, 0) * s;
      const Point3 w = Point3(d.x * d.z, d.y * d.z, -d.x * d.x - d.y * d.y) * s;
      inputs.push_back(GeomTriangle({0, 0, 0}, u, w, d));
      inputs.push_back(GeomTriangle({0, 0, 0}, w, u, d * 3.0f));
      expected.insert(expected.end(), 2, tie.index);
    }
  }
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, static_cast<int32_t>(inputs.size()), 1);
  for (size_t k = 0; k < inputs.size(); ++k) model.AddTriangle(static_cast<int32_t>(k), inputs[k]);
  for (int32_t k = 0; k < static_cast<int32_t>(inputs.size()); ++k) {
    const Point3 d = inputs[static_cast<size_t>(k)].face_normal;
    const Point3 b = inputs[static_cast<size_t>(k)].b;
    SCOPED_TRACE(::testing::Message() << "face normal " << d.x << ", " << d.y << ", " << d.z
                                      << ", corner B " << b.x << ", " << b.y << ", " << b.z);
    for (int corner = 0; corner < 3; ++corner)
      EXPECT_EQ(model.work_vertices[3 * k + corner].normal_index, expected[static_cast<size_t>(k)]);
    if (k % 2 == 0) {
      GeomExpectTriangle(model.work_triangles[k], 3 * k, 3 * k + 2, 3 * k + 1);
    } else {
      GeomExpectTriangle(model.work_triangles[k], 3 * k, 3 * k + 1, 3 * k + 2);
    }
  }
}

TEST(AddTriangle, ModelScaleMultipliesPositionsButNotWindingOrNormal) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 2, 1);
  g_export_settings.model_scale = 2.0f;
  // (C - A) x (B - A) = (0, 0, 1) x (0, -2, 0) = (2, 0, 0): +X, entry 52.
  model.AddTriangle(1, GeomTriangle({1.5f, 2, 3}, {1.5f, 0, 3}, {1.5f, 2, 4}, {-1, 0, 0}));
  EXPECT_EQ(model.numtris, 2);
  EXPECT_EQ(model.numverts, 6);
  GeomExpectTriangle(model.work_triangles[1], 3, 5, 4);
  const float expected[3][3] = {{3, 4, 6}, {3, 0, 6}, {3, 4, 8}};
  for (int c = 0; c < 3; ++c) {
    const FrameVertex& vertex = model.work_vertices[3 + c];
    EXPECT_EQ(vertex.x, expected[c][0]);
    EXPECT_EQ(vertex.y, expected[c][1]);
    EXPECT_EQ(vertex.z, expected[c][2]);
    EXPECT_EQ(vertex.normal_index, 143);  // the turned-over normal, -X
  }
}

TEST(AddTriangle, TriangleWithoutAreaKeepsItsOrderAndGetsTheFirstEntry) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  model.AddTriangle(0, GeomTriangle({1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {0, 0, -1}));
  GeomExpectTriangle(model.work_triangles[0], 0, 1, 2);
  EXPECT_EQ(model.work_vertices[0].normal_index, 0);
}

TEST(AddTriangle, IndexPastTheCapacityWritesNothing) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  model.AddTriangle(1, GeomTriangle({0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}));
  model.AddTriangle(-1, GeomTriangle({0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}));
  EXPECT_EQ(model.numtris, 0);
  EXPECT_EQ(model.numverts, 0);
}

// --- Frame sampling --------------------------------------------------------

TEST(BuildFrames, FrameCountIsLimitedToTheAnimationRange) {
  GeomTicksPerFrame ticks(10);
  struct Case {
    host::HostTime start, end;
    int32_t requested, expected;
  };
  const Case cases[] = {
      {0, 100, 50, 11},                  // (100 - 0) / 10 + 1
      {0, 100, 11, 11}, {0, 100, 5, 5},  // never raised
      {0, 9, 5, 1},                      // shorter than one frame
      {100, 0, 5, 1},                    // ends before it starts
      {-35, -1, 9, 4},                   // 34 / 10 + 1, truncated
  };
  for (const Case& c : cases) {
    GeomDefaultSettings();
    g_export_settings.frame_count = c.requested;
    hostapp::StandInScene scene;
    scene.SetAnimationRange(c.start, c.end);
    scene.AddMesh(scene.AddNode("tri"), GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
    MdlModel model;
    ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
    EXPECT_EQ(g_export_settings.frame_count, c.expected) << c.start << ".." << c.end;
    EXPECT_EQ(model.numframes, c.expected) << c.start << ".." << c.end;
  }
}

TEST(BuildFrames, SamplesConsecutiveFramesFromTheStartTime) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  g_export_settings.frame_count = 5;
  hostapp::StandInScene scene;
  scene.SetAnimationRange(0, 100);
  scene.AddMesh(scene.AddNode("tri"), GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
  std::vector<host::HostTime> times;
  scene.SetEvaluationObserver(
      [&times](hostapp::StandInNode&, host::HostTime t) { times.push_back(t); });
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  // The collection evaluates at the start time, then one evaluation per frame.
  EXPECT_EQ(times, (std::vector<host::HostTime>{0, 0, 10, 20, 30, 40}));
  EXPECT_EQ(g_export_settings.frame_count, 5);
}

TEST(BuildFrames, RangeEndingBeforeItsStartSamplesTheStartTimeOnly) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  g_export_settings.frame_count = 3;
  hostapp::StandInScene scene;
  scene.SetAnimationRange(70, 20);
  scene.AddMesh(scene.AddNode("tri"), GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
  std::vector<host::HostTime> times;
  scene.SetEvaluationObserver(
      [&times](hostapp::StandInNode&, host::HostTime t) { times.push_back(t); });
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  EXPECT_EQ(times, (std::vector<host::HostTime>{70, 70}));
  EXPECT_EQ(model.numframes, 1);
}

TEST(BuildFrames, TicksPerFrameBelowOneSamplesOneFrame) {
  for (int bad_ticks : {0, -10}) {
    GeomTicksPerFrame ticks(bad_ticks);
    GeomDefaultSettings();
    g_export_settings.frame_count = 4;
    hostapp::StandInScene scene;
    scene.SetAnimationRange(0, 100);
    scene.AddMesh(scene.AddNode("tri"), GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
    MdlModel model;
    ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
    EXPECT_EQ(g_export_settings.frame_count, 1) << bad_ticks;
    EXPECT_EQ(model.numframes, 1) << bad_ticks;
  }
}

TEST(BuildFrames, FacesOfAllNodesAreNumberedInListOrder) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  hostapp::StandInScene scene;
  const std::vector<std::vector<Point3>> first_faces = {
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
      {{2, 0, 0}, {3, 0, 0}, {2, 1, 0}},
  };
  const std::vector<std::vector<Point3>> second_faces = {
      {{0, 2, 0}, {1, 2, 0}, {0, 3, 0}},
      {{2, 2, 0}, {3, 2, 0}, {2, 3, 0}},
      {{4, 4, 0}, {5, 4, 0}, {4, 5, 0}},
  };
  scene.AddMesh(scene.AddNode("first"), GeomSeparateFaces(first_faces));
  hostapp::StandInNode* second = scene.AddNode("second");
  second->SetTransform(hostapp::Translation(0, 0, 5));
  scene.AddMesh(second, GeomSeparateFaces(second_faces));
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);

  // Every corner lies apart from the others, so merging keeps all 15.
  EXPECT_EQ(model.numtris, 5);
  EXPECT_EQ(model.numverts, 15);
  std::vector<std::vector<Point3>> faces = first_faces;
  for (const auto& face : second_faces) {
    faces.push_back(
        {face[0] + Point3(0, 0, 5), face[1] + Point3(0, 0, 5), face[2] + Point3(0, 0, 5)});
  }
  for (int k = 0; k < 5; ++k) {
    GeomExpectTriangle(model.work_triangles[k], 3 * k, 3 * k + 1, 3 * k + 2);
    // Records hold the face's corners 0, 2, 1.
    GeomExpectTurned(model.work_vertices[3 * k], faces[k][0]);
    GeomExpectTurned(model.work_vertices[3 * k + 1], faces[k][2]);
    GeomExpectTurned(model.work_vertices[3 * k + 2], faces[k][1]);
  }
}

TEST(BuildFrames, MirroringTransformTurnsTheTriangleOverWithTheSameNormal) {
  GeomTicksPerFrame ticks(10);
  struct Case {
    host::Matrix3 transform;
    TriangleIndices triangle;
    Point3 records[3];  // before the quarter turn
  };
  const host::Matrix3 mirror_x({-1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0});
  const Case cases[] = {
      {host::Matrix3(), {{0, 1, 2}}, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}},
      {mirror_x, {{0, 2, 1}}, {{0, 0, 0}, {0, 1, 0}, {-1, 0, 0}}},
  };
  for (const Case& c : cases) {
    GeomDefaultSettings();
    hostapp::StandInScene scene;
    hostapp::StandInNode* node = scene.AddNode("tri");
    node->SetTransform(c.transform);
    scene.AddMesh(node, GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
    MdlModel model;
    ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
    ASSERT_EQ(model.numverts, 3);
    GeomExpectTriangle(model.work_triangles[0], c.triangle.v[0], c.triangle.v[1], c.triangle.v[2]);
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(model.work_vertices[r].normal_index, 5);
      GeomExpectTurned(model.work_vertices[r], c.records[r]);
    }
  }
}

TEST(BuildFrames, FaceNormalIgnoresTheNodesTranslation) {
  // The node moves its face (normal +Z) five units down, across the plane the
  // face lies in: the normal turned with the translation would be (0, 0, -4)
  // and turn the triangle over. Without it the face keeps normal index 5 and
  // the order of a face whose normal agrees with its corners.
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  hostapp::StandInScene scene;
  hostapp::StandInNode* node = scene.AddNode("lowered");
  node->SetTransform(hostapp::Translation(0, 0, -5));
  scene.AddMesh(node, GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  ASSERT_EQ(model.numverts, 3);
  GeomExpectTriangle(model.work_triangles[0], 0, 1, 2);
  const Point3 records[3] = {{0, 0, -5}, {0, 1, -5}, {1, 0, -5}};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(model.work_vertices[r].normal_index, 5) << r;
    GeomExpectTurned(model.work_vertices[r], records[r]);
  }
}

TEST(BuildFrames, TheQuarterTurnBringsTheHostsFrontToPlusX) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  hostapp::StandInScene scene;
  // A face whose normal, (1, 0, 0) x (0, 0, 1), points to the host's front, -Y.
  scene.AddMesh(scene.AddNode("front"), GeomSeparateFaces({{{0, -2, 0}, {1, -2, 0}, {0, -2, 1}}}));
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  EXPECT_EQ(model.work_vertices[0].normal_index, 52);
  EXPECT_NEAR(model.work_vertices[0].x, 2.0f, 1e-5f);
}

TEST(BuildFrames, WallsAt45DegreesGetTheTiedDirectionsIndices) {
  // An octagonal tube 5 high, walls facing the axes and the diagonals. Its
  // corners lie at 4 and 5 on X and Y, where the quarter turn's cosine
  // (-4.4e-8 in single precision) is below half a step of the other
  // coordinate: every corner turns exactly, (x, y, z) -> (-y, x, z), and each
  // diagonal wall's normal is a tied direction of the table, z exactly 0.
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  const Point3 ring[8] = {{5, -4, 0}, {5, 4, 0},   {4, 5, 0},   {-4, 5, 0},
                          {-5, 4, 0}, {-5, -4, 0}, {-4, -5, 0}, {4, -5, 0}};
  std::vector<Point3> vertices(ring, ring + 8);
  for (const Point3& p : ring) vertices.push_back(p + Point3(0, 0, 5));
  std::vector<hostapp::FaceSpec> faces;
  for (uint32_t i = 0; i < 8; ++i) {
    const uint32_t j = (i + 1) % 8;
    faces.push_back({i, j, j + 8});
    faces.push_back({i, j + 8, i + 8});
  }
  hostapp::StandInScene scene;
  scene.AddMesh(scene.AddNode("tube"), hostapp::MakeMesh(vertices, faces));
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  ASSERT_EQ(model.numtris, 16);
  // Wall i faces, in the host, +X, (1, 1), +Y, (-1, 1), -X, (-1, -1), -Y,
  // (1, -1); turned: (0, 1, 0), (-r, r, 0), (-1, 0, 0), (-r, -r, 0), ...
  const int expected[8] = {32, 25, 143, 118, 104, 111, 52, 43};
  for (int k = 0; k < 16; ++k) {
    for (int corner = 0; corner < 3; ++corner) {
      const FrameVertex& vertex = model.work_vertices[model.work_triangles[k].v[corner]];
      EXPECT_EQ(vertex.normal_index, expected[k / 2]) << "triangle " << k;
    }
  }
  // Flat shading keeps the walls apart: 4 corners each.
  EXPECT_EQ(model.numverts, 32);
}

TEST(BuildFrames, FaceCountDifferentFromCollectionStopsTheBuild) {
  GeomTicksPerFrame ticks(10);
  const std::vector<Point3> one = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const std::vector<Point3> two = {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}};
  for (bool grows : {true, false}) {
    GeomDefaultSettings();
    g_export_settings.frame_count = 3;
    hostapp::StandInScene scene;
    scene.SetAnimationRange(0, 100);
    scene.AddAnimatedMesh(scene.AddNode("changing"), [&](host::HostTime t, host::Mesh& mesh) {
      const bool more = grows ? t >= 10 : t < 10;
      mesh = more ? GeomSeparateFaces({one, two}) : GeomSeparateFaces({one});
    });
    MdlModel model;
    EXPECT_EQ(GeomBuildScene(scene, model), BuildStatus::kFaceCountChanged) << grows;
    // Frame 0 was whole; frame 1 is never stored.
    EXPECT_EQ(model.numframes, 1) << grows;
    EXPECT_LE(model.numtris, model.triangle_capacity);
  }
}

TEST(BuildFrames, NodeLosingItsMeshDuringTheAnimationStopsTheBuild) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  g_export_settings.frame_count = 2;
  hostapp::StandInScene scene;
  scene.SetAnimationRange(0, 100);
  hostapp::StandInNode* node = scene.AddNode("vanishing");
  scene.AddMesh(node, GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
  hostapp::StandInObject* mesh_object = node->Object();
  hostapp::StandInObject* light = scene.AddNonGeometricObject(scene.AddNode("light"));
  node->SetObject(mesh_object);
  scene.SetEvaluationObserver([&](hostapp::StandInNode& evaluated, host::HostTime t) {
    if (&evaluated == node) node->SetObject(t >= 10 ? light : mesh_object);
  });
  MdlModel model;
  EXPECT_EQ(GeomBuildScene(scene, model), BuildStatus::kFaceCountChanged);
  EXPECT_EQ(model.numframes, 1);
}

TEST(BuildFrames, CornersWithoutTextureVerticesMapAsTheTextureOrigin) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  hostapp::StandInScene scene;
  hostapp::StandInNode* node = scene.AddNode("mapped");
  node->SetMaterial(scene.AddMaterial("red", {1, 0, 0}));
  // Face 0 maps every corner to (u, v) = (1, 1); face 1 names a texture vertex
  // that does not exist at corner 1; face 2 has no texture face at all.
  host::Mesh mesh = GeomSeparateFaces({
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
      {{4, 0, 0}, {5, 0, 0}, {4, 1, 0}},
      {{8, 0, 0}, {9, 0, 0}, {8, 1, 0}},
  });
  mesh.texture_vertices = {{1, 1, 0}};
  host::TextureFace mapped;
  host::TextureFace broken;
  broken.t[1] = 7;
  mesh.texture_faces = {mapped, broken};
  scene.AddMesh(node, mesh);

  vandrell::MaterialTable table;
  MdlModel model;
  // A rectangle away from the skin's corner, so that its four sides differ.
  const auto place = [](vandrell::MaterialTable& t) {
    ASSERT_EQ(t.Count(), 1);
    t.Slot(0).x0 = 3;
    t.Slot(0).y0 = 5;
    t.Slot(0).x1 = 40;
    t.Slot(0).y1 = 60;
  };
  ASSERT_EQ(GeomBuildScene(scene, model, table, place), BuildStatus::kBuilt);
  const vandrell::MaterialSlot& slot = table.Slot(0);
  ASSERT_NE(slot.x0, slot.x1);
  ASSERT_NE(slot.y0, slot.y1);
  ASSERT_EQ(model.numtris, 3);
  // u = 1 is the right column, v = 1 the top row; (0, 0) the left column and
  // the bottom row.
  const int32_t mapped_st[2] = {slot.x1, slot.y0};
  const int32_t origin_st[2] = {slot.x0, slot.y1};
  // Expected (s, t) per face and face corner.
  const int32_t* expected[3][3] = {{mapped_st, mapped_st, mapped_st},
                                   {mapped_st, origin_st, mapped_st},
                                   {origin_st, origin_st, origin_st}};
  for (int k = 0; k < 3; ++k) {
    const TriangleIndices& triangle = model.work_triangles[k];
    const int face_corner[3] = {0, 2, 1};  // no flip: records hold corners 0, 2, 1
    for (int i = 0; i < 3; ++i) {
      const FrameVertex& vertex = model.work_vertices[triangle.v[i]];
      EXPECT_EQ(vertex.s, expected[k][face_corner[i]][0]) << "face " << k << " corner " << i;
      EXPECT_EQ(vertex.t, expected[k][face_corner[i]][1]) << "face " << k << " corner " << i;
    }
  }
}

TEST(BuildFrames, SkinCoordinatesFollowTextureVerticesAndMaterialsThatChangeBetweenFrames) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  g_export_settings.frame_count = 4;
  hostapp::StandInScene scene;
  scene.SetAnimationRange(0, 30);
  hostapp::StandInNode* node = scene.AddNode("sliding");
  host::HostMaterial* red = scene.AddMaterial("red", {1, 0, 0});
  host::HostMaterial* blue = scene.AddMaterial("blue", {0, 0, 1});
  node->SetMaterial(scene.AddMultiMaterial("both", {red, blue}));
  // Frame 0 maps corner 0 to u = 0, frame 1 to u = 1, frame 2 back to u = 0
  // but through sub-material 1, frame 3 as frame 0. Corner 1 stays at u = 1.
  scene.AddAnimatedMesh(node, [](host::HostTime t, host::Mesh& mesh) {
    const int frame = t / 10;
    mesh = GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}});
    mesh.texture_vertices = {{frame == 1 ? 1.0f : 0.0f, 0, 0}, {1, 0, 0}};
    host::TextureFace face;
    face.t[1] = 1;
    mesh.texture_faces = {face};
    mesh.faces[0].material_index = frame == 2 ? 1 : 0;
  });
  vandrell::MaterialTable table;
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model, table), BuildStatus::kBuilt);
  ASSERT_EQ(model.numframes, 4);
  ASSERT_EQ(table.Count(), 2);
  // u = 0 maps to a rectangle's left column x0, u = 1 to its right x1.
  const vandrell::MaterialSlot& first = table.Slot(0);
  const vandrell::MaterialSlot& second = table.Slot(1);
  ASSERT_NE(first.x0, first.x1);
  ASSERT_NE(first.x0, second.x0);
  // Record 0 holds corner 0, record 2 corner 1 (records hold corners 0, 2, 1).
  const int32_t corner0_s[4] = {first.x0, first.x1, second.x0, first.x0};
  const int32_t corner1_s[4] = {first.x1, first.x1, second.x1, first.x1};
  for (int f = 0; f < 4; ++f) {
    EXPECT_EQ(GeomStored(model, f, 0).s, corner0_s[f]) << "frame " << f;
    EXPECT_EQ(GeomStored(model, f, 2).s, corner1_s[f]) << "frame " << f;
  }
}

TEST(BuildFrames, VertexIndexPastTheMeshReadsAsTheObjectOrigin) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  hostapp::StandInScene scene;
  hostapp::StandInNode* node = scene.AddNode("broken");
  node->SetTransform(hostapp::Translation(0, 3, 0));
  scene.AddMesh(node, hostapp::MakeMesh({{1, 0, 0}, {2, 0, 0}}, {{0, 1, 9}}));
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  ASSERT_EQ(model.numverts, 3);
  // Corner 2 (record 1) is the translated origin.
  GeomExpectTurned(model.work_vertices[0], {1, 3, 0});
  GeomExpectTurned(model.work_vertices[1], {0, 3, 0});
  GeomExpectTurned(model.work_vertices[2], {2, 3, 0});
}

TEST(BuildFrames, FaceCountTooLargeForTheBuffersIsRefused) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  // 3 faces x 3 vertices x a frame count near the signed 32-bit limit.
  g_export_settings.frame_count = 0x7FFFFFFF;
  hostapp::StandInScene scene;
  scene.SetAnimationRange(0, 0x7FFFFFF0);
  scene.AddMesh(scene.AddNode("big"), GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                                                         {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}},
                                                         {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}}}));
  MdlModel model;
  EXPECT_EQ(GeomBuildScene(scene, model), BuildStatus::kTooLarge);
  EXPECT_EQ(model.numframes, 0);
}

TEST(BuildFrames, AnimatedNodesGiveOneFramePerSampledTime) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  g_export_settings.frame_count = 3;
  hostapp::StandInScene scene;
  scene.SetAnimationRange(0, 20);
  hostapp::StandInNode* moving = scene.AddNode("moving");
  moving->SetAnimatedTransform(
      [](host::HostTime t) { return hostapp::Translation(0, static_cast<float>(t), 0); });
  scene.AddMesh(moving, GeomSeparateFaces({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}));
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  ASSERT_EQ(model.numframes, 3);
  // Corner 0 at (0, 10 f, 0) turns to x = -10 f, corner 2 at (0, 1 + 10 f, 0)
  // to x = -1 - 10 f: x spans -21 .. 0 over all frames, so corner 0 of frame 0
  // packs to the top of the range and corner 2 (record 1) of frame 2 to 0.
  for (int f = 0; f < 3; ++f) {
    EXPECT_NEAR(GeomStored(model, f, 0).x, -10.0f * f, 1e-4f) << f;
    EXPECT_NEAR(GeomStored(model, f, 1).x, -1.0f - 10.0f * f, 1e-4f) << f;
  }
  EXPECT_EQ(GeomStored(model, 0, 0).packed_x, 254);
  EXPECT_EQ(GeomStored(model, 2, 1).packed_x, 0);
}

// --- Quantisation ----------------------------------------------------------

TEST(Quantize, ExtentOf25Point5PacksToThreeListedBytes) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  GeomStorePositions(model, 0, {{0, 0, 0}, {12.75f, 0, 0}, {25.5f, 0, 0}});
  model.Quantize();
  EXPECT_EQ(GeomBits(model.scale[0]), 0x3DCCCCCEu);
  EXPECT_EQ(model.scale_origin[0], 0.0f);
  EXPECT_EQ(GeomStored(model, 0, 0).packed_x, 0);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 127);
  EXPECT_EQ(GeomStored(model, 0, 2).packed_x, 254);
  // y and z have no extent: scale 0 and every byte 0.
  EXPECT_EQ(model.scale[1], 0.0f);
  EXPECT_EQ(model.scale[2], 0.0f);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(GeomStored(model, 0, k).packed_y, 0);
    EXPECT_EQ(GeomStored(model, 0, k).packed_z, 0);
  }
  EXPECT_EQ(model.bounding_radius, 25.5f);
}

TEST(Quantize, SymmetricExtentPacksTheCentreBelowTheMiddle) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  GeomStorePositions(model, 0, {{-10, 0, 0}, {0, 0, 0}, {10, 0, 0}});
  model.Quantize();
  EXPECT_EQ(GeomBits(model.scale[0]), 0x3DA0A0A1u);
  EXPECT_EQ(model.scale_origin[0], -10.0f);
  EXPECT_EQ(GeomStored(model, 0, 0).packed_x, 0);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 127);
  EXPECT_EQ(GeomStored(model, 0, 2).packed_x, 254);
}

TEST(Quantize, ExtentOf255HasScaleOneAndReachesByte255) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  GeomStorePositions(model, 0, {{0, 0, 0}, {100, 0, 0}, {255, 0, 0}});
  model.Quantize();
  EXPECT_EQ(model.scale[0], 1.0f);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 100);
  EXPECT_EQ(GeomStored(model, 0, 2).packed_x, 255);
}

TEST(Quantize, VerticesAllAtOnePositionGiveZeroScaleAndThatOrigin) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 2);
  GeomStorePositions(model, 0, {{2, 3, 4}, {2, 3, 4}, {2, 3, 4}});
  GeomStorePositions(model, 1, {{2, 3, 4}, {2, 3, 4}, {2, 3, 4}});
  model.Quantize();
  for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(model.scale[axis], 0.0f);
  EXPECT_EQ(model.scale_origin[0], 2.0f);
  EXPECT_EQ(model.scale_origin[1], 3.0f);
  EXPECT_EQ(model.scale_origin[2], 4.0f);
  for (int f = 0; f < 2; ++f) {
    for (int k = 0; k < 3; ++k) {
      const FrameVertex& vertex = GeomStored(model, f, k);
      EXPECT_EQ(vertex.packed_x | vertex.packed_y | vertex.packed_z, 0);
    }
  }
  EXPECT_FLOAT_EQ(model.bounding_radius, 5.3851648f);  // sqrt(29)
}

TEST(Quantize, StepTooSmallForSinglePrecisionPacksToZero) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  // An extent of one denormal step: extent x K rounds to 0 in single precision.
  const float tiny = std::numeric_limits<float>::denorm_min();
  GeomStorePositions(model, 0, {{0, 0, 0}, {tiny, 0, 0}, {tiny, 0, 0}});
  model.Quantize();
  EXPECT_EQ(model.scale[0], 0.0f);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 0);
}

TEST(Quantize, RadiusIsMeasuredFromTheModelsOriginAndNeverBelowOne) {
  GeomDefaultSettings();
  {
    MdlModel model;
    GeomAllocate(model, 1, 1);
    GeomStorePositions(model, 0, {{0.1f, 0.2f, 0.3f}, {-0.5f, 0, 0.5f}, {0, -0.9f, 0}});
    model.Quantize();
    EXPECT_EQ(model.bounding_radius, 1.0f);
  }
  {
    MdlModel model;
    GeomAllocate(model, 1, 1);
    GeomStorePositions(model, 0, {{100, 0, 0}, {100.5f, 0, 0}, {101, 0, 0}});
    model.Quantize();
    EXPECT_EQ(model.bounding_radius, 101.0f);
    EXPECT_EQ(model.scale_origin[0], 100.0f);
  }
  {
    MdlModel model;
    GeomAllocate(model, 1, 2);
    GeomStorePositions(model, 0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    GeomStorePositions(model, 1, {{0, 0, 0}, {3, 4, 0}, {0, 1, 0}});
    model.Quantize();
    EXPECT_EQ(model.bounding_radius, 5.0f);
  }
}

TEST(Quantize, BoundsAreTakenOverAllFramesTogether) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 2, 2);
  GeomStorePositions(model, 0, {{0, 0, 0}, {5, 0, 0}, {5, 0, 0}});
  GeomStorePositions(model, 1, {{10, 0, 0}, {5, 0, 0}, {5, 0, 0}});
  // Records past numverts keep their bytes.
  model.LoadFrame(0);
  model.work_vertices[3].packed_x = 7;
  model.work_vertices[3].packed_y = 8;
  model.work_vertices[3].packed_z = 9;
  model.StoreFrame(0);
  model.LoadFrame(1);
  model.Quantize();
  EXPECT_EQ(GeomStored(model, 0, 0).packed_x, 0);
  EXPECT_EQ(GeomStored(model, 1, 0).packed_x, 254);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 127);  // 5 / (10 x K) = 127.49...
  EXPECT_EQ(GeomStored(model, 0, 3).packed_x, 7);
  EXPECT_EQ(GeomStored(model, 0, 3).packed_y, 8);
  EXPECT_EQ(GeomStored(model, 0, 3).packed_z, 9);
  // The work arrays end holding the last frame as stored.
  EXPECT_EQ(std::memcmp(model.work_vertices, &GeomStored(model, 1, 0),
                        sizeof(FrameVertex) * model.vertex_capacity),
            0);
}

TEST(Quantize, BoundsStartFromVertexZeroOfTheLastFrameSoItDecidesTheSignOfAZeroOrigin) {
  GeomDefaultSettings();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  MdlModel model;
  GeomAllocate(model, 1, 2);
  // Every axis has its minimum at zero, stored with both signs. x: frame 0
  // says +0, the last frame -0 at vertex 0. y: the other way round. z: the
  // last frame's vertex 0 has no value, so the first finite z (frame 0,
  // vertex 0: -0) starts the axis.
  GeomStorePositions(model, 0, {{0.0f, -0.0f, -0.0f}, {2, 2, 0.0f}, {1, 1, 2}});
  GeomStorePositions(model, 1, {{-0.0f, 0.0f, nan}, {0.0f, -0.0f, 2}, {1, 1, 0.0f}});
  model.Quantize();
  EXPECT_EQ(GeomBits(model.scale_origin[0]), 0x80000000u);
  EXPECT_EQ(GeomBits(model.scale_origin[1]), 0x00000000u);
  EXPECT_EQ(GeomBits(model.scale_origin[2]), 0x80000000u);
  // The extent 2 packs the top to 254 on every axis, whichever zero is kept.
  EXPECT_EQ(GeomBits(model.scale[0]), GeomBits(model.scale[1]));
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 254);
  EXPECT_EQ(GeomStored(model, 1, 1).packed_z, 254);
  EXPECT_EQ(GeomStored(model, 1, 0).packed_z, 0);
}

TEST(Quantize, NonFiniteCoordinatesPackToZeroAndStayOutOfTheBounds) {
  GeomDefaultSettings();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  MdlModel model;
  GeomAllocate(model, 2, 1);
  GeomStorePositions(model, 0,
                     {{nan, 1, 0}, {0, 1, 0}, {inf, 1, 0}, {25.5f, 1, 0}, {-inf, 1, nan}});
  model.Quantize();
  EXPECT_EQ(GeomBits(model.scale[0]), 0x3DCCCCCEu);
  EXPECT_EQ(model.scale_origin[0], 0.0f);
  EXPECT_EQ(model.scale_origin[1], 1.0f);
  const uint8_t expected_x[5] = {0, 0, 0, 254, 0};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(GeomStored(model, 0, k).packed_x, expected_x[k]) << k;
  EXPECT_EQ(GeomStored(model, 0, 4).packed_z, 0);
  // The radius of the finite vertices: |(25.5, 1, 0)|.
  EXPECT_FLOAT_EQ(model.bounding_radius, 25.519600f);
}

TEST(Quantize, AxisWithoutAnyFiniteCoordinateKeepsItsScaleAndOrigin) {
  GeomDefaultSettings();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  GeomStorePositions(model, 0, {{nan, 0, 0}, {nan, 25.5f, 0}, {nan, 0, 0}});
  model.Quantize();
  EXPECT_EQ(model.scale[0], 1.0f);
  EXPECT_EQ(model.scale_origin[0], 0.0f);
  EXPECT_EQ(GeomBits(model.scale[1]), 0x3DCCCCCEu);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 0);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_y, 254);
}

TEST(Quantize, ExtremeCoordinatesStayWithinSinglePrecision) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  GeomStorePositions(model, 0, {{3e38f, 3e38f, 0}, {-3e38f, 0, 0}, {0, 0, 0}});
  model.Quantize();
  EXPECT_TRUE(std::isfinite(model.scale[0]));
  EXPECT_GT(model.scale[0], 0.0f);
  EXPECT_EQ(GeomStored(model, 0, 1).packed_x, 0);
  // |(3e38, 3e38, 0)| lies beyond the largest float: the radius holds there.
  EXPECT_EQ(model.bounding_radius, std::numeric_limits<float>::max());
}

TEST(Quantize, ModelWithoutFramesOrVerticesKeepsItsHeader) {
  GeomDefaultSettings();
  {
    MdlModel model;  // no frame stored
    GeomAllocate(model, 1, 1);
    model.numverts = 3;
    model.bounding_radius = 7.0f;
    model.Quantize();
    EXPECT_EQ(model.scale[0], 1.0f);
    EXPECT_EQ(model.scale_origin[0], 0.0f);
    EXPECT_EQ(model.bounding_radius, 7.0f);
  }
  {
    MdlModel model;  // a frame without vertices
    GeomAllocate(model, 0, 1);
    model.StoreFrame(0);
    model.Quantize();
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_EQ(model.scale[axis], 1.0f);
      EXPECT_EQ(model.scale_origin[axis], 0.0f);
    }
    EXPECT_EQ(model.bounding_radius, 1.0f);
  }
  {
    MdlModel model;  // never allocated
    model.numverts = 3;
    model.numframes = 2;
    model.Quantize();
    EXPECT_EQ(model.scale[1], 1.0f);
    EXPECT_EQ(model.bounding_radius, 1.0f);
  }
}

// --- Smoothing and merging -------------------------------------------------

TEST(SmoothNormals, GouraudOffLeavesEveryNormalAsBuilt) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  GeomStoreFrame(model, 0, {GeomVertex(0, 0, 1, 1, 1, 52), GeomVertex(0, 0, 1, 1, 1, 5)}, {});
  g_export_settings.gouraud_shading = 0;
  model.SmoothNormals();
  EXPECT_EQ(GeomStored(model, 0, 0).normal_index, 52);
  EXPECT_EQ(GeomStored(model, 0, 1).normal_index, 5);
}

TEST(SmoothNormals, VerticesAtOnePositionTakeTheEntryNearestTheirMean) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 4, 2);
  g_export_settings.gouraud_shading = 1;
  // Frame 0: a box corner at (9, 9, 9) where the +X and +Z faces touch it
  // with both their triangles and the +Y face with one; mean (0.4, 0.2, 0.4),
  // nearest entry 50 (ahead of 49). Another corner at (1, 2, 3): mean
  // (-0.25, -0.25, -0.5), entry 88. A lone vertex keeps its own normal.
  const std::vector<FrameVertex> frame0 = {
      GeomVertex(0, 0, 9, 9, 9, 52),  GeomVertex(0, 0, 1, 2, 3, 143), GeomVertex(1, 0, 9, 9, 9, 52),
      GeomVertex(0, 0, 9, 9, 9, 32),  GeomVertex(0, 0, 1, 2, 3, 104), GeomVertex(0, 0, 9, 9, 9, 5),
      GeomVertex(0, 0, 1, 2, 3, 84),  GeomVertex(0, 0, 9, 9, 9, 5),   GeomVertex(0, 0, 1, 2, 3, 84),
      GeomVertex(0, 0, 4, 4, 4, 161),
  };
  // Frame 1: the last +Z corner has moved away; (0.5, 0.25, 0.25) gives 48.
  std::vector<FrameVertex> frame1 = frame0;
  frame1[7].packed_x = 200;
  GeomStoreFrame(model, 0, frame0, {});
  GeomStoreFrame(model, 1, frame1, {});
  model.SmoothNormals();
  const int expected0[10] = {50, 88, 50, 50, 88, 50, 88, 50, 88, 161};
  const int expected1[10] = {48, 88, 48, 48, 88, 48, 88, 5, 88, 161};
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(GeomStored(model, 0, k).normal_index, expected0[k]) << "frame 0 vertex " << k;
    EXPECT_EQ(GeomStored(model, 1, k).normal_index, expected1[k]) << "frame 1 vertex " << k;
  }
  // Work arrays hold the last frame.
  EXPECT_EQ(model.work_vertices[0].normal_index, 48);
}

TEST(SmoothNormals, OppositeNormalsAverageToTheFirstEntry) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  g_export_settings.gouraud_shading = 1;
  GeomStoreFrame(model, 0, {GeomVertex(0, 0, 3, 3, 3, 5), GeomVertex(0, 0, 3, 3, 3, 84)}, {});
  model.SmoothNormals();
  EXPECT_EQ(GeomStored(model, 0, 0).normal_index, 0);
  EXPECT_EQ(GeomStored(model, 0, 1).normal_index, 0);
}

TEST(SmoothNormals, NormalsAreSummedInDoublePrecisionAndRoundedOnceToTheMean) {
  // Two positions whose groups a single-precision running sum would send
  // elsewhere (found by search over the table, values written out here).
  // At (2, 2, 2), entries 140, 99, 86 in this order: the mean is
  // (0.425325334, -0.337703347, -0.371172011), nearest entry 102; summed in
  // floats it is (0.425325304, -0.337703317, -0.371171981), nearest 101.
  // At (7, 7, 7), entries 39, 29, 122, 108: two exactly opposite pairs, the
  // sum is exactly 0 and gives entry 0; summed in floats it keeps
  // (0, -1.5e-8, 7.5e-9) and gives 106.
  for (const bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "SmoothNormals" : "SmoothNormalsInPlace");
    GeomDefaultSettings();
    MdlModel model;
    GeomAllocate(model, 3, 1);
    g_export_settings.gouraud_shading = 1;
    GeomStoreFrame(model, 0,
                   {GeomVertex(0, 0, 2, 2, 2, 140), GeomVertex(0, 0, 7, 7, 7, 39),
                    GeomVertex(0, 0, 2, 2, 2, 99), GeomVertex(0, 0, 7, 7, 7, 29),
                    GeomVertex(0, 0, 7, 7, 7, 122), GeomVertex(0, 0, 2, 2, 2, 86),
                    GeomVertex(0, 0, 7, 7, 7, 108)},
                   {});
    if (fast) {
      model.SmoothNormals();
    } else {
      vandrell::SmoothNormalsInPlace(model);
    }
    const int expected[7] = {102, 0, 102, 0, 0, 102, 0};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(GeomStored(model, 0, k).normal_index, expected[k]) << k;
  }
}

TEST(SmoothNormals, TextureSeamSharesTheNormalButIsNeverMerged) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  g_export_settings.gouraud_shading = 1;
  // Same packed position, different skin column: mean (0.5, 0, 0.5) gives 59.
  GeomStoreFrame(model, 0, {GeomVertex(0, 7, 3, 3, 3, 52), GeomVertex(12, 7, 3, 3, 3, 5)},
                 {{{0, 1, 0}}});
  model.SmoothNormals();
  model.MergeVertices();
  EXPECT_EQ(model.numverts, 2);
  EXPECT_EQ(GeomStored(model, 0, 0).normal_index, 59);
  EXPECT_EQ(GeomStored(model, 0, 1).normal_index, 59);
  GeomExpectTriangle(GeomStoredTriangle(model, 0, 0), 0, 1, 0);
}

TEST(SmoothNormals, PositionsDifferingInAnyBitOfAnyByteNeitherShareANormalNorMerge) {
  // Around (0, 0, 0) and (255, 255, 255), every position one bit away; and
  // (10, 5, 0) beside (10, 4, 16), alike once y's bits overlap z's. All
  // differ, so each vertex keeps its normal (pooled with its base, +X and +Z
  // would give 59) and none merges, though all share their skin coordinates.
  std::vector<FrameVertex> vertices;
  for (const uint8_t base : {uint8_t{0}, uint8_t{255}}) {
    vertices.push_back(GeomVertex(1, 1, base, base, base, 52));
    for (int bit = 0; bit < 24; ++bit) {
      uint8_t packed[3] = {base, base, base};
      packed[bit / 8] = static_cast<uint8_t>(packed[bit / 8] ^ (1 << bit % 8));
      vertices.push_back(GeomVertex(1, 1, packed[0], packed[1], packed[2], 5));
    }
  }
  vertices.push_back(GeomVertex(1, 1, 10, 5, 0, 52));
  vertices.push_back(GeomVertex(1, 1, 10, 4, 16, 5));
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, static_cast<int32_t>(vertices.size()), 1);
  g_export_settings.gouraud_shading = 1;
  GeomStoreFrame(model, 0, vertices, {{{0, 1, 2}}});
  model.SmoothNormals();
  model.MergeVertices();
  ASSERT_EQ(model.numverts, static_cast<int32_t>(vertices.size()));
  for (size_t k = 0; k < vertices.size(); ++k) {
    const FrameVertex& vertex = GeomStored(model, 0, static_cast<int32_t>(k));
    EXPECT_EQ(vertex.normal_index, vertices[k].normal_index)
        << int{vertex.packed_x} << ", " << int{vertex.packed_y} << ", " << int{vertex.packed_z};
  }
}

TEST(MergeVertices, SharedEdgeOfTwoTrianglesLeavesFourVertices) {
  GeomTicksPerFrame ticks(10);
  GeomDefaultSettings();
  hostapp::StandInScene scene;
  // Two coplanar faces sharing the edge from vertex 0 to vertex 2.
  scene.AddMesh(
      scene.AddNode("quad"),
      hostapp::MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}));
  MdlModel model;
  ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
  // Built: triangle 0 = records (v0, v2, v1), triangle 1 = (v0, v3, v2);
  // records 3 and 5 repeat records 0 and 1.
  EXPECT_EQ(model.numverts, 4);
  EXPECT_EQ(model.numtris, 2);
  GeomExpectTriangle(model.work_triangles[0], 0, 1, 2);
  GeomExpectTriangle(model.work_triangles[1], 0, 3, 1);
  GeomExpectTurned(model.work_vertices[0], {0, 0, 0});
  GeomExpectTurned(model.work_vertices[1], {1, 1, 0});
  GeomExpectTurned(model.work_vertices[2], {1, 0, 0});
  GeomExpectTurned(model.work_vertices[3], {0, 1, 0});
  // The frame store agrees with the work arrays.
  GeomExpectTriangle(GeomStoredTriangle(model, 0, 1), 0, 3, 1);
}

TEST(MergeVertices, FoldedEdgeMergesOnlyOnceGouraudSharesItsNormal) {
  GeomTicksPerFrame ticks(10);
  for (int gouraud : {0, 1}) {
    GeomDefaultSettings();
    g_export_settings.gouraud_shading = gouraud;
    hostapp::StandInScene scene;
    // A floor (normal +Z) and a wall (normal +Y, turned to -X) sharing the
    // edge from vertex 0 to vertex 1.
    scene.AddMesh(
        scene.AddNode("fold"),
        hostapp::MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}, {0, 3, 1}}));
    MdlModel model;
    ASSERT_EQ(GeomBuildScene(scene, model), BuildStatus::kBuilt);
    if (gouraud == 0) {
      EXPECT_EQ(model.numverts, 6);
      const int expected[6] = {5, 5, 5, 143, 143, 143};
      for (int k = 0; k < 6; ++k) EXPECT_EQ(model.work_vertices[k].normal_index, expected[k]) << k;
    } else {
      // The shared corners average +Z and -X: (-0.5, 0, 0.5) gives 126.
      EXPECT_EQ(model.numverts, 4);
      GeomExpectTriangle(model.work_triangles[0], 0, 1, 2);
      GeomExpectTriangle(model.work_triangles[1], 0, 2, 3);
      const int expected[4] = {126, 5, 126, 143};
      for (int k = 0; k < 4; ++k) EXPECT_EQ(model.work_vertices[k].normal_index, expected[k]) << k;
    }
  }
}

TEST(MergeVertices, VerticesCoincidingInSomeFramesOnlyStaySeparate) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 2);
  GeomStoreFrame(model, 0, {GeomVertex(1, 1, 5, 5, 5, 5), GeomVertex(1, 1, 5, 5, 5, 5)},
                 {{{0, 1, 1}}});
  GeomStoreFrame(model, 1, {GeomVertex(1, 1, 5, 5, 5, 5), GeomVertex(1, 1, 5, 6, 5, 5)},
                 {{{0, 1, 1}}});
  EXPECT_EQ(model.VerticesEqual(0, 1), 0);
  model.MergeVertices();
  EXPECT_EQ(model.numverts, 2);
  GeomExpectTriangle(GeomStoredTriangle(model, 1, 0), 0, 1, 1);
}

TEST(MergeVertices, NormalIndexAloneKeepsVerticesApart) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  GeomStoreFrame(model, 0, {GeomVertex(1, 1, 5, 5, 5, 5), GeomVertex(1, 1, 5, 5, 5, 6)},
                 {{{0, 1, 0}}});
  model.MergeVertices();
  EXPECT_EQ(model.numverts, 2);
}

TEST(MergeVertices, DifferentVerticesWhoseHashesCollideStaySeparate) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 1, 1);
  // Vertex 1 (s 1, t 2, packed (3, 4, 5), normal 6) and vertex 0 (s 1,
  // t -1157627901, packed (148, 4, 27), normal 85) share one merging hash,
  // found by inverting the hash's last steps; vertex 2 repeats vertex 1.
  GeomStoreFrame(model, 0,
                 {GeomVertex(1, -1157627901, 148, 4, 27, 85), GeomVertex(1, 2, 3, 4, 5, 6),
                  GeomVertex(1, 2, 3, 4, 5, 6)},
                 {{{0, 1, 2}}});
  // When the hash changes, this pair no longer tests a collision: search anew.
  ASSERT_EQ(vandrell::MergeVertexHash(model, 1, 0), vandrell::MergeVertexHash(model, 1, 1));
  ASSERT_EQ(vandrell::MergeVertexHash(model, 1, 1), vandrell::MergeVertexHash(model, 1, 2));
  model.MergeVertices();
  // Only the true copy goes, into vertex 1, past the colliding vertex 0.
  EXPECT_EQ(model.numverts, 2);
  EXPECT_EQ(GeomStored(model, 0, 0).t, -1157627901);
  EXPECT_EQ(GeomStored(model, 0, 0).normal_index, 85);
  EXPECT_EQ(GeomStored(model, 0, 1).t, 2);
  EXPECT_EQ(GeomStored(model, 0, 1).normal_index, 6);
  GeomExpectTriangle(GeomStoredTriangle(model, 0, 0), 0, 1, 1);
}

TEST(MergeVertices, IdenticalVerticesEndAsTheLowestOfThem) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 2, 2);
  std::vector<FrameVertex> same(4, GeomVertex(3, 4, 10, 20, 30, 47));
  // Float positions play no part in the comparison.
  for (int k = 0; k < 4; ++k) same[k].x = static_cast<float>(k);
  GeomStoreFrame(model, 0, same, {{{0, 1, 2}}, {{3, 2, 1}}});
  GeomStoreFrame(model, 1, same, {{{0, 1, 2}}, {{3, 2, 1}}});
  model.MergeVertices();
  EXPECT_EQ(model.numverts, 1);
  EXPECT_EQ(model.numtris, 2);
  for (int f = 0; f < 2; ++f) {
    GeomExpectTriangle(GeomStoredTriangle(model, f, 0), 0, 0, 0);
    GeomExpectTriangle(GeomStoredTriangle(model, f, 1), 0, 0, 0);
    EXPECT_EQ(GeomStored(model, f, 0).x, 0.0f);
  }
}

TEST(MergeVertices, ModelWithFewerThanTwoVerticesIsUnchanged) {
  for (int count : {0, 1}) {
    GeomDefaultSettings();
    MdlModel model;
    GeomAllocate(model, 1, 1);
    std::vector<FrameVertex> vertices(static_cast<size_t>(count), GeomVertex(1, 2, 3, 4, 5, 6));
    GeomStoreFrame(model, 0, vertices, {{{0, 0, 0}}});
    const std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(model.frame_vertices),
                                      reinterpret_cast<uint8_t*>(model.frame_vertices + 3));
    model.MergeVertices();
    EXPECT_EQ(model.numverts, count);
    EXPECT_EQ(std::memcmp(before.data(), model.frame_vertices, before.size()), 0);
  }
}

TEST(MergeVertices, WithoutFramesEveryVertexIsEqual) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 2, 1);
  model.numverts = 6;  // counted, but no frame stored
  EXPECT_EQ(model.VerticesEqual(5, 0), 1);
  model.MergeVertices();
  EXPECT_EQ(model.numverts, 1);
}

TEST(RemoveVertex, FoldsOneVertexAndRenumbersEveryFrame) {
  GeomDefaultSettings();
  MdlModel model;
  GeomAllocate(model, 2, 2);
  const std::vector<FrameVertex> vertices = {
      GeomVertex(0, 0, 0, 0, 0, 0), GeomVertex(1, 0, 0, 0, 0, 0), GeomVertex(2, 0, 0, 0, 0, 0),
      GeomVertex(3, 0, 0, 0, 0, 0), GeomVertex(4, 0, 0, 0, 0, 0)};
  GeomStoreFrame(model, 0, vertices, {{{0, 1, 2}}, {{2, 3, 4}}});
  GeomStoreFrame(model, 1, vertices, {{{4, 2, 1}}, {{3, 3, 0}}});
  EXPECT_EQ(model.RemoveVertex(2, 1), 4);
  EXPECT_EQ(model.numverts, 4);
  for (int f = 0; f < 2; ++f) {
    const int expected_s[5] = {0, 1, 3, 4, 4};  // the last record stays behind
    for (int k = 0; k < 5; ++k) EXPECT_EQ(GeomStored(model, f, k).s, expected_s[k]) << f << k;
  }
  GeomExpectTriangle(GeomStoredTriangle(model, 0, 0), 0, 1, 1);
  GeomExpectTriangle(GeomStoredTriangle(model, 0, 1), 1, 2, 3);
  GeomExpectTriangle(GeomStoredTriangle(model, 1, 0), 3, 1, 1);
  GeomExpectTriangle(GeomStoredTriangle(model, 1, 1), 2, 2, 0);
}

// --- Differential checks of the fast passes ----------------------------------

namespace {

// The Gouraud pass exactly as its contract reads, quadratic, for comparison.
void GeomReferenceSmooth(MdlModel& model) {
  if (g_export_settings.gouraud_shading == 0) return;
  for (int32_t f = 0; f < model.numframes; ++f) {
    model.LoadFrame(f);
    FrameVertex* v = model.work_vertices;
    for (int32_t a = 0; a < model.numverts; ++a) {
      double sum[3] = {0, 0, 0};
      int32_t count = 0;
      for (int32_t b = a; b < model.numverts; ++b) {
        if (v[b].packed_x == v[a].packed_x && v[b].packed_y == v[a].packed_y &&
            v[b].packed_z == v[a].packed_z) {
          for (int axis = 0; axis < 3; ++axis) sum[axis] += NormalTable[v[b].normal_index][axis];
          ++count;
        }
      }
      const int32_t n =
          NearestNormalIndex(static_cast<float>(sum[0] / count), static_cast<float>(sum[1] / count),
                             static_cast<float>(sum[2] / count));
      for (int32_t b = a; b < model.numverts; ++b) {
        if (v[b].packed_x == v[a].packed_x && v[b].packed_y == v[a].packed_y &&
            v[b].packed_z == v[a].packed_z) {
          v[b].normal_index = static_cast<uint8_t>(n);
        }
      }
    }
    model.StoreFrame(f);
  }
}

bool GeomReferenceEqual(const MdlModel& model, int32_t i, int32_t j) {
  for (int32_t f = 0; f < model.numframes; ++f) {
    const FrameVertex& a = GeomStored(model, f, i);
    const FrameVertex& b = GeomStored(model, f, j);
    if (a.s != b.s || a.t != b.t || a.packed_x != b.packed_x || a.packed_y != b.packed_y ||
        a.packed_z != b.packed_z || a.normal_index != b.normal_index)
      return false;
  }
  return true;
}

void GeomReferenceRemove(MdlModel& model, int32_t removed, int32_t kept) {
  for (int32_t f = 0; f < model.numframes; ++f) {
    model.LoadFrame(f);
    for (int32_t k = 0; k < model.numtris; ++k) {
      int32_t* v = model.work_triangles[k].v;
      for (int c = 0; c < 3; ++c)
        if (v[c] == removed) v[c] = kept;
      for (int c = 0; c < 3; ++c)
        if (v[c] > removed) --v[c];
    }
    for (int32_t m = removed; m < model.numverts - 1; ++m)
      model.work_vertices[m] = model.work_vertices[m + 1];
    model.StoreFrame(f);
  }
  --model.numverts;
}

void GeomReferenceMerge(MdlModel& model) {
  const int32_t n = model.numverts;
  for (int32_t i = n - 1; i >= 1; --i) {
    for (int32_t j = 0; j < i; ++j) {
      if (GeomReferenceEqual(model, i, j)) {
        GeomReferenceRemove(model, i, j);
        break;
      }
    }
  }
}

// A small model with many coincidences: few packed positions, skin
// coordinates and normals, later frames copying the first with a few
// changes, every record of the capacity filled, and triangle indices that
// also point past the vertices in use or below zero.
void GeomRandomModel(MdlModel& model, uint32_t seed, int max_faces) {
  std::mt19937 rng(seed);
  const auto pick = [&rng](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
  };
  const int faces = pick(0, max_faces);
  const int frames = pick(0, 4);
  GeomAllocate(model, faces, frames);
  const int capacity = 3 * faces;
  const uint8_t normals[] = {5, 84, 52, 32, 47, 143, 104};
  // Few packed positions, so that vertices often share one: random ones,
  // each with a neighbour one bit away on one axis, which a key that let
  // the bytes' bits overlap would take for the same position.
  std::vector<std::array<uint8_t, 3>> positions;
  for (int pair = 0; pair < 3; ++pair) {
    std::array<uint8_t, 3> position;
    for (uint8_t& byte : position) byte = static_cast<uint8_t>(pick(0, 255));
    positions.push_back(position);
    position[static_cast<size_t>(pick(0, 2))] ^= static_cast<uint8_t>(1 << pick(0, 7));
    positions.push_back(position);
  }
  const auto random_vertex = [&]() {
    const std::array<uint8_t, 3>& p = positions[static_cast<size_t>(pick(0, 5))];
    FrameVertex vertex =
        GeomVertex(pick(0, 1), pick(0, 1), p[0], p[1], p[2],
                   pick(0, 3) == 0 ? static_cast<uint8_t>(pick(0, 161)) : normals[pick(0, 6)]);
    vertex.x = static_cast<float>(pick(-1000, 1000)) / 8.0f;
    vertex.y = static_cast<float>(pick(-1000, 1000)) / 8.0f;
    vertex.z = static_cast<float>(pick(-1000, 1000)) / 8.0f;
    return vertex;
  };
  std::vector<FrameVertex> base(static_cast<size_t>(capacity));
  for (FrameVertex& vertex : base) vertex = random_vertex();
  std::vector<TriangleIndices> triangles(static_cast<size_t>(faces));
  for (TriangleIndices& triangle : triangles)
    for (int32_t& corner : triangle.v) corner = pick(-2, capacity + 2);
  for (int f = 0; f < frames; ++f) {
    for (int k = 0; k < capacity; ++k)
      model.work_vertices[k] = pick(0, 4) == 0 ? random_vertex() : base[static_cast<size_t>(k)];
    for (int k = 0; k < faces; ++k) {
      model.work_triangles[k] = triangles[static_cast<size_t>(k)];
      if (pick(0, 5) == 0) model.work_triangles[k].v[pick(0, 2)] = pick(0, capacity);
    }
    model.StoreFrame(f);
  }
  model.numverts = pick(0, capacity);
  model.numtris = pick(0, faces);
  if (frames > 0) model.LoadFrame(frames - 1);
}

void GeomExpectSameModel(const MdlModel& expected, const MdlModel& actual, uint32_t seed) {
  ASSERT_EQ(actual.numverts, expected.numverts) << "seed " << seed;
  ASSERT_EQ(actual.numtris, expected.numtris) << "seed " << seed;
  ASSERT_EQ(actual.numframes, expected.numframes) << "seed " << seed;
  const size_t vertices = static_cast<size_t>(expected.vertex_capacity);
  const size_t triangles = static_cast<size_t>(expected.triangle_capacity);
  const size_t frames = static_cast<size_t>(expected.frame_capacity);
  EXPECT_EQ(std::memcmp(actual.frame_vertices, expected.frame_vertices,
                        sizeof(FrameVertex) * vertices * frames),
            0)
      << "frame store vertices, seed " << seed;
  EXPECT_EQ(std::memcmp(actual.frame_triangles, expected.frame_triangles,
                        sizeof(TriangleIndices) * triangles * frames),
            0)
      << "frame store triangles, seed " << seed;
  EXPECT_EQ(
      std::memcmp(actual.work_vertices, expected.work_vertices, sizeof(FrameVertex) * vertices), 0)
      << "work vertices, seed " << seed;
  EXPECT_EQ(std::memcmp(actual.work_triangles, expected.work_triangles,
                        sizeof(TriangleIndices) * triangles),
            0)
      << "work triangles, seed " << seed;
}

}  // namespace

TEST(SmoothNormals, FastPassMatchesTheQuadraticPassOnRandomModels) {
  int changed = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    GeomDefaultSettings();
    g_export_settings.gouraud_shading = 1;
    const int max_faces = seed % 10 == 0 ? 60 : 12;
    MdlModel expected, fast, in_place;
    GeomRandomModel(expected, seed, max_faces);
    GeomRandomModel(fast, seed, max_faces);
    GeomRandomModel(in_place, seed, max_faces);
    GeomReferenceSmooth(expected);
    fast.SmoothNormals();
    vandrell::SmoothNormalsInPlace(in_place);
    GeomExpectSameModel(expected, fast, seed);
    GeomExpectSameModel(expected, in_place, seed);
    MdlModel original;
    GeomRandomModel(original, seed, max_faces);
    for (int32_t f = 0; f < original.numframes; ++f) {
      for (int32_t k = 0; k < original.numverts; ++k) {
        changed +=
            GeomStored(original, f, k).normal_index != GeomStored(expected, f, k).normal_index;
      }
    }
  }
  // The models are made to share positions often, so the comparison covers
  // groups whose normal changes.
  EXPECT_GT(changed, 1000);
}

TEST(MergeVertices, FastPassMatchesRemovalByRemovalOnRandomModels) {
  int removed = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    GeomDefaultSettings();
    const int max_faces = seed % 10 == 0 ? 60 : 12;
    MdlModel expected, fast, in_place;
    GeomRandomModel(expected, seed, max_faces);
    GeomRandomModel(fast, seed, max_faces);
    GeomRandomModel(in_place, seed, max_faces);
    const int32_t before = expected.numverts;
    GeomReferenceMerge(expected);
    removed += before - expected.numverts;
    fast.MergeVertices();
    vandrell::MergeVerticesInPlace(in_place);
    GeomExpectSameModel(expected, fast, seed);
    GeomExpectSameModel(expected, in_place, seed);
  }
  // The models are made to merge often, so the comparison covers removals.
  EXPECT_GT(removed, 500);
}

TEST(MergeVertices, SmoothingThenMergingMatchesTheReferenceOnRandomModels) {
  for (uint32_t seed = 1000; seed < 1100; ++seed) {
    GeomDefaultSettings();
    g_export_settings.gouraud_shading = 1;
    MdlModel expected, fast;
    GeomRandomModel(expected, seed, 30);
    GeomRandomModel(fast, seed, 30);
    GeomReferenceSmooth(expected);
    GeomReferenceMerge(expected);
    fast.SmoothNormals();
    fast.MergeVertices();
    GeomExpectSameModel(expected, fast, seed);
  }
}

// The one walk after frame sampling (with the vector bounds and packing where
// the build has them) against the three plain passes run one after the other,
// on the random models with float positions that coincide where the packed
// bytes do (so that quantising keeps the models' coincidences), with signed
// zeros and non-finite values at the ends of the axes, and axes without extent.
TEST(FinishFrames, OneWalkMatchesQuantizeSmoothAndMergeOnRandomModels) {
  int removed = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    GeomDefaultSettings();
    g_export_settings.gouraud_shading = seed % 3 != 0;
    const int max_faces = seed % 10 == 0 ? 60 : 12;
    MdlModel expected, fast;
    for (MdlModel* model : {&expected, &fast}) {
      GeomRandomModel(*model, seed, max_faces);
      std::mt19937 rng(seed);
      const float odd[] = {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(), -1000.0f};
      const size_t records =
          static_cast<size_t>(model->vertex_capacity) * static_cast<size_t>(model->frame_capacity);
      for (size_t r = 0; r < records; ++r) {
        FrameVertex& vertex = model->frame_vertices[r];
        vertex.x = vertex.packed_x / 4.0f;
        vertex.y = vertex.packed_y / 4.0f - 32.0f;
        vertex.z = -vertex.packed_z / 2.0f;
        if (rng() % 50 == 0) vertex.y = odd[rng() % 5];
        if (rng() % 50 == 0) vertex.x = -odd[rng() % 5];
        // Now and then an axis without extent, whose step is 0.
        if (seed % 7 == 0) vertex.z = 3.0f;
      }
      if (model->numframes > 0) model->LoadFrame(model->numframes - 1);
    }
    const int32_t before = expected.numverts;
    expected.Quantize();
    expected.SmoothNormals();
    expected.MergeVertices();
    removed += before - expected.numverts;
    vandrell::PositionBounds bounds;
    for (int32_t f = 0; f < vandrell::FramesInUse(fast); ++f) {
      vandrell::WidenBounds(bounds, &GeomStored(fast, f, 0), vandrell::VerticesInUse(fast));
    }
    vandrell::FinishFrames(fast, bounds);
    GeomExpectSameModel(expected, fast, seed);
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_EQ(std::memcmp(&fast.scale[axis], &expected.scale[axis], sizeof(float)), 0) << seed;
      EXPECT_EQ(std::memcmp(&fast.scale_origin[axis], &expected.scale_origin[axis], sizeof(float)),
                0)
          << seed;
    }
    EXPECT_EQ(fast.bounding_radius, expected.bounding_radius) << seed;
  }
  EXPECT_GT(removed, 500);
}

// Thousands of positions in a frame, some shared, many more than the
// grouping table first makes room for: the table grows while a frame is
// grouped and still gives the quadratic pass's result.
TEST(SmoothNormals, FramesWithThousandsOfPositionsMatchTheQuadraticPass) {
  GeomDefaultSettings();
  g_export_settings.gouraud_shading = 1;
  MdlModel fast, in_place;
  for (MdlModel* model : {&fast, &in_place}) {
    GeomAllocate(*model, 2000, 2);
    std::mt19937 rng(7);
    for (int f = 0; f < 2; ++f) {
      for (int k = 0; k < model->vertex_capacity; ++k) {
        // About 4500 distinct positions among 6000 vertices.
        const uint32_t position = rng() % 9000;
        model->work_vertices[k] = GeomVertex(
            0, 0, static_cast<uint8_t>(position & 0xFF), static_cast<uint8_t>(position >> 8),
            static_cast<uint8_t>(f), static_cast<uint8_t>(rng() % 162));
      }
      model->StoreFrame(f);
    }
    model->numverts = model->vertex_capacity;
  }
  fast.SmoothNormals();
  vandrell::SmoothNormalsInPlace(in_place);
  GeomExpectSameModel(in_place, fast, 7);
}
