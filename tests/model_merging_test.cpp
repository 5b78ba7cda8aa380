// Merging: vertices identical in every frame become one.
#include <gtest/gtest.h>

#include "model/FinishFrames.h"
#include "model/FrameWalk.h"
#include "model/MergeVertices.h"
#include "model/SmoothNormals.h"
#include "tests/ModelReference.h"
#include "tests/ModelTestSupport.h"

using namespace model_testing;

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
