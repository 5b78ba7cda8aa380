#pragma once
// Plain, literal versions of the Gouraud and merging passes, quadratic and
// removal by removal as their contracts read, and random models that share
// positions often, for differential checks of the fast passes.

#include <cstdint>
#include <cstring>
#include <random>

#include "model/MdlModel.h"
#include "tests/ModelTestSupport.h"

namespace model_testing {

// The Gouraud pass exactly as its contract reads, quadratic, for comparison.
inline void GeomReferenceSmooth(MdlModel& model) {
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

inline bool GeomReferenceEqual(const MdlModel& model, int32_t i, int32_t j) {
  for (int32_t f = 0; f < model.numframes; ++f) {
    const FrameVertex& a = GeomStored(model, f, i);
    const FrameVertex& b = GeomStored(model, f, j);
    if (a.s != b.s || a.t != b.t || a.packed_x != b.packed_x || a.packed_y != b.packed_y ||
        a.packed_z != b.packed_z || a.normal_index != b.normal_index)
      return false;
  }
  return true;
}

inline void GeomReferenceRemove(MdlModel& model, int32_t removed, int32_t kept) {
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

inline void GeomReferenceMerge(MdlModel& model) {
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
inline void GeomRandomModel(MdlModel& model, uint32_t seed, int max_faces) {
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

inline void GeomExpectSameModel(const MdlModel& expected, const MdlModel& actual, uint32_t seed) {
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

}  // namespace model_testing
