// The model record: construction, Allocate, LoadFrame, StoreFrame, Reset.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "export/ExportSettings.h"
#include "model/MdlModel.h"

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
  // s and t take 8 bytes; the four packed bytes follow in file order. No
  // pass relies on this yet (PackedPosition shifts the bytes together, the
  // writer copies them one by one); a pass that reads the four bytes as one
  // word does, and this is then its guard.
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
