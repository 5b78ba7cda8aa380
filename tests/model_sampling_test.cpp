// Frame sampling and triangle assembly: BuildFrames over the collected scene, AddTriangle.
#include <gtest/gtest.h>

#include "tests/ModelTestSupport.h"

using namespace model_testing;

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
