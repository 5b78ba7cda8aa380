#pragma once
// What the tests of the model passes share: the settings they start from,
// models allocated and filled by hand, scenes built through the collector,
// and the directions where the normal table's entries tie. Helpers carry
// the prefix Geom.

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
#include "model/MdlModel.h"
#include "model/NearestNormal.h"
#include "scene/MaterialTable.h"
#include "scene/SceneCollector.h"

namespace model_testing {

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

inline uint32_t GeomBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Settings every geometry test starts from: one frame, flat shading, scale 1.
inline void GeomDefaultSettings() {
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
inline void GeomAllocate(MdlModel& model, int32_t faces, int32_t frames) {
  g_export_settings.frame_count = frames;
  g_export_settings.skin_byte_budget = 128 * 4;
  ASSERT_EQ(model.Allocate(faces), 1);
}

// Stores frame f with the given float positions for vertices 0 .. n - 1.
inline void GeomStorePositions(MdlModel& model, int32_t f, const std::vector<Point3>& positions) {
  for (size_t k = 0; k < positions.size(); ++k) {
    model.work_vertices[k].x = positions[k].x;
    model.work_vertices[k].y = positions[k].y;
    model.work_vertices[k].z = positions[k].z;
  }
  model.numverts = std::max<int32_t>(model.numverts, static_cast<int32_t>(positions.size()));
  model.StoreFrame(f);
}

inline FrameVertex GeomVertex(int32_t s, int32_t t, uint8_t px, uint8_t py, uint8_t pz,
                              uint8_t normal) {
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
inline void GeomStoreFrame(MdlModel& model, int32_t f, const std::vector<FrameVertex>& vertices,
                           const std::vector<TriangleIndices>& triangles) {
  for (size_t k = 0; k < vertices.size(); ++k) model.work_vertices[k] = vertices[k];
  for (size_t k = 0; k < triangles.size(); ++k) model.work_triangles[k] = triangles[k];
  model.numverts = static_cast<int32_t>(vertices.size());
  model.numtris = static_cast<int32_t>(triangles.size());
  model.StoreFrame(f);
}

inline const FrameVertex& GeomStored(const MdlModel& model, int32_t f, int32_t k) {
  return model.frame_vertices[static_cast<size_t>(f) * model.vertex_capacity + k];
}

inline const TriangleIndices& GeomStoredTriangle(const MdlModel& model, int32_t f, int32_t k) {
  return model.frame_triangles[static_cast<size_t>(f) * model.triangle_capacity + k];
}

inline TriangleInput GeomTriangle(Point3 a, Point3 b, Point3 c, Point3 face_normal) {
  return TriangleInput{a, 1, 2, b, 3, 4, c, 5, 6, face_normal};
}

// Collects scene over its animation range into a collector over table and
// builds model from it.
inline BuildStatus GeomBuildScene(
    hostapp::StandInScene& scene, MdlModel& model, vandrell::MaterialTable& table,
    const std::function<void(vandrell::MaterialTable&)>& prepare = {}) {
  const host::ValidityInterval range = scene.GetAnimationRange();
  vandrell::SceneCollector collector(&scene, range.start, range.end, &scene, &table);
  if (prepare) prepare(table);
  return vandrell::BuildFrames(model, collector);
}

inline BuildStatus GeomBuildScene(hostapp::StandInScene& scene, MdlModel& model) {
  vandrell::MaterialTable table;
  return GeomBuildScene(scene, model, table);
}

// The mesh of one face per corner triple, no vertex shared.
inline host::Mesh GeomSeparateFaces(const std::vector<std::vector<Point3>>& faces) {
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
inline void GeomExpectTurned(const FrameVertex& vertex, Point3 p) {
  EXPECT_NEAR(vertex.x, -p.y, 1e-5f);
  EXPECT_NEAR(vertex.y, p.x, 1e-5f);
  EXPECT_NEAR(vertex.z, p.z, 1e-5f);
}

inline void GeomExpectTriangle(const TriangleIndices& triangle, int32_t a, int32_t b, int32_t c) {
  EXPECT_EQ(triangle.v[0], a);
  EXPECT_EQ(triangle.v[1], b);
  EXPECT_EQ(triangle.v[2], c);
}

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

}  // namespace model_testing
