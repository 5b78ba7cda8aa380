// Gouraud smoothing: coincident vertices share one averaged table normal.
#include <gtest/gtest.h>

#include "model/SmoothNormals.h"
#include "tests/ModelReference.h"
#include "tests/ModelTestSupport.h"

using namespace model_testing;

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

// Frames whose vertices keep their groups, move them as a whole, join two
// groups at one position, and split one: the pass reuses a frame's grouping
// for the next only where it still holds, and must notice every change.
TEST(SmoothNormals, GroupsKeptJoinedAndSplitFromFrameToFrameMatchTheReference) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    GeomDefaultSettings();
    g_export_settings.gouraud_shading = 1;
    std::mt19937 rng(seed);
    constexpr int kFaces = 20;
    constexpr int kGroups = 10;
    std::vector<int> group(3 * kFaces);
    for (int& g : group) g = static_cast<int>(rng() % kGroups);
    std::vector<std::array<uint8_t, 3>> position(kGroups);
    for (int g = 0; g < kGroups; ++g) position[g] = {static_cast<uint8_t>(g), 7, 9};
    std::vector<uint8_t> normal(3 * kFaces);
    for (uint8_t& n : normal) n = static_cast<uint8_t>(rng() % 162);
    MdlModel expected, fast;
    for (MdlModel* model : {&expected, &fast}) GeomAllocate(*model, kFaces, 6);
    for (int f = 0; f < 6; ++f) {
      // 1: every group moves; 2: group 3 joins group 7; 3: as 2, moved;
      // 4: one vertex leaves its group; 5: as 4.
      if (f == 1 || f == 3) {
        for (auto& p : position) p[1] = static_cast<uint8_t>(p[1] + 1);
      }
      if (f == 2) position[3] = position[7];
      std::vector<FrameVertex> vertices;
      for (int k = 0; k < 3 * kFaces; ++k) {
        std::array<uint8_t, 3> p = position[static_cast<size_t>(group[k])];
        if (f >= 4 && k == static_cast<int>(seed) % (3 * kFaces)) p[2] = 200;
        vertices.push_back(GeomVertex(0, 0, p[0], p[1], p[2], normal[static_cast<size_t>(k)]));
      }
      for (MdlModel* model : {&expected, &fast}) GeomStoreFrame(*model, f, vertices, {});
    }
    for (MdlModel* model : {&expected, &fast}) model->numverts = 3 * kFaces;
    GeomReferenceSmooth(expected);
    fast.SmoothNormals();
    GeomExpectSameModel(expected, fast, seed);
  }
}
