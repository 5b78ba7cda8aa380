// Quantisation: the bounds over all frames, scale and origin, packed bytes.
#include <gtest/gtest.h>

#include "tests/ModelTestSupport.h"

using namespace model_testing;

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
