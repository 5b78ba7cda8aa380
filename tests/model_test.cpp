#include <gtest/gtest.h>

// ===========================================================================
// Geometry: normal table, frame sampling, triangle assembly, quantisation,
// smoothing and merging. Helpers of this section carry the prefix Geom.
// ===========================================================================

#include <algorithm>
#include <cmath>
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
#include "hostapp/StandInScene.h"
#include "model/BuildFrames.h"
#include "model/MdlModel.h"
#include "model/MergeVertices.h"
#include "model/NormalTable.h"
#include "model/SmoothNormals.h"
#include "scene/MaterialTable.h"
#include "scene/SceneCollector.h"

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
  std::vector<hostapp::FaceSpec> specs;
  for (const auto& corners : faces) {
    const uint32_t first = static_cast<uint32_t>(vertices.size());
    vertices.insert(vertices.end(), corners.begin(), corners.end());
    specs.push_back({first, first + 1, first + 2});
  }
  return hostapp::MakeMesh(vertices, specs);
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

// --- Normal table ----------------------------------------------------------

TEST(NormalTable, ListedRowsHoldTheFormatsStandardValues) {
  struct Row {
    int index;
    float x, y, z;
  };
  const Row rows[] = {
      {0, -0.525731f, 0.000000f, 0.850651f},    {1, -0.442863f, 0.238856f, 0.864188f},
      {2, -0.295242f, 0.000000f, 0.955423f},    {5, 0.000000f, 0.000000f, 1.000000f},
      {32, 0.000000f, 1.000000f, 0.000000f},    {41, 0.850651f, 0.525731f, 0.000000f},
      {42, 0.716567f, 0.681718f, 0.147621f},    {43, 0.716567f, 0.681718f, -0.147621f},
      {47, 0.688191f, 0.587785f, 0.425325f},    {52, 1.000000f, 0.000000f, 0.000000f},
      {84, 0.000000f, 0.000000f, -1.000000f},   {104, 0.000000f, -1.000000f, 0.000000f},
      {143, -1.000000f, 0.000000f, 0.000000f},  {160, -0.587785f, -0.425325f, -0.688191f},
      {161, -0.688191f, -0.587785f, -0.425325f},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(GeomBits(NormalTable[row.index][0]), GeomBits(row.x)) << "entry " << row.index;
    EXPECT_EQ(GeomBits(NormalTable[row.index][1]), GeomBits(row.y)) << "entry " << row.index;
    EXPECT_EQ(GeomBits(NormalTable[row.index][2]), GeomBits(row.z)) << "entry " << row.index;
  }
}

TEST(NormalTable, EveryEntryIsTheNearestFloatToItsSixDecimalValue) {
  const std::string path = std::string(VANDRELL_SOURCE_DIR) + "/../shared/data/normals.txt";
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) GTEST_SKIP() << "the six-decimal normal list is not at " << path;
  char line[256];
  int entries = 0;
  while (std::fgets(line, sizeof line, file)) {
    if (line[0] == '#' || line[0] == '\n') continue;
    int index = -1;
    char x[32], y[32], z[32];
    ASSERT_EQ(std::sscanf(line, "%d %31s %31s %31s", &index, x, y, z), 4) << line;
    ASSERT_EQ(index, entries);
    // strtof rounds the decimal text to the nearest float: an independent route.
    EXPECT_EQ(GeomBits(NormalTable[index][0]), GeomBits(std::strtof(x, nullptr))) << index;
    EXPECT_EQ(GeomBits(NormalTable[index][1]), GeomBits(std::strtof(y, nullptr))) << index;
    EXPECT_EQ(GeomBits(NormalTable[index][2]), GeomBits(std::strtof(z, nullptr))) << index;
    ++entries;
  }
  std::fclose(file);
  EXPECT_EQ(entries, vandrell::kNormalCount);
}

TEST(NormalTable, IsAUnitSetClosedUnderSignChangesAndCyclicPermutation) {
  const auto find = [](float x, float y, float z) {
    for (int i = 0; i < vandrell::kNormalCount; ++i) {
      if (NormalTable[i][0] == x && NormalTable[i][1] == y && NormalTable[i][2] == z) return i;
    }
    return -1;
  };
  const float magnitudes[] = {0.0f,      0.147621f, 0.162460f, 0.238856f, 0.262866f, 0.295242f,
                              0.309017f, 0.425325f, 0.442863f, 0.500000f, 0.525731f, 0.587785f,
                              0.681718f, 0.688191f, 0.716567f, 0.809017f, 0.850651f, 0.864188f,
                              0.951056f, 0.955423f, 1.0f};
  for (int i = 0; i < vandrell::kNormalCount; ++i) {
    const float x = NormalTable[i][0];
    const float y = NormalTable[i][1];
    const float z = NormalTable[i][2];
    EXPECT_NEAR(std::sqrt(double{x} * x + double{y} * y + double{z} * z), 1.0, 2e-6) << i;
    for (float component : {x, y, z}) {
      EXPECT_NE(std::find(std::begin(magnitudes), std::end(magnitudes), std::fabs(component)),
                std::end(magnitudes))
          << "entry " << i << " component " << component;
    }
    // 0.0f and -0.0f compare equal, so a sign change of a zero finds the entry.
    for (int signs = 0; signs < 8; ++signs) {
      const float sx = (signs & 1) ? -x : x;
      const float sy = (signs & 2) ? -y : y;
      const float sz = (signs & 4) ? -z : z;
      EXPECT_GE(find(sx, sy, sz), 0) << "signs " << signs << " of entry " << i;
    }
    EXPECT_GE(find(y, z, x), 0) << "cycle of entry " << i;
    EXPECT_GE(find(z, x, y), 0) << "cycle of entry " << i;
    EXPECT_EQ(find(x, y, z), i) << "entry " << i << " appears twice";
  }
}

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
  for (int i = 0; i < vandrell::kNormalCount; ++i) {
    EXPECT_EQ(NearestNormalIndex(NormalTable[i][0], NormalTable[i][1], NormalTable[i][2]), i);
  }
}

TEST(NearestNormalIndex, ExactTiesGoToTheLaterEntryWhenTheKeptScoreRoundedDown) {
  EXPECT_EQ(NearestNormalIndex(kGeomRootHalf, kGeomRootHalf, 0.0f), 43);
  EXPECT_EQ(NearestNormalIndex(kGeomRootHalf, 0.0f, kGeomRootHalf), 59);
  EXPECT_EQ(NearestNormalIndex(0.0f, kGeomRootHalf, kGeomRootHalf), 8);
}

TEST(NearestNormalIndex, ZeroVectorAndNanGiveTheFirstEntry) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(NearestNormalIndex(0.0f, 0.0f, 0.0f), 0);
  EXPECT_EQ(NearestNormalIndex(nan, 0.0f, 1.0f), 0);
  EXPECT_EQ(NearestNormalIndex(0.0f, nan, 0.0f), 0);
  EXPECT_EQ(NearestNormalIndex(1.0f, 0.0f, nan), 0);
}
