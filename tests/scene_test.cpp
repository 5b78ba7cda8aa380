// Scene capture: the collector's node list and timing, and the material table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include <stdexcept>
#include <string>

#include "host/Timing.h"
#include "hostapp/scene/StandInScene.h"
#include "plugin/MdlExporter.h"
#include "scene/MaterialTable.h"
#include "scene/SceneCollector.h"
#include "tests/TestSupport.h"

namespace {

using hostapp::FaceSpec;
using hostapp::StandInScene;
using vandrell::MaterialTable;
using vandrell::SceneCollector;

// A mesh of n separate triangles.
host::Mesh Triangles(int n) {
  std::vector<host::Point3> vertices;
  std::vector<FaceSpec> faces;
  for (int i = 0; i < n; ++i) {
    const uint32_t base = static_cast<uint32_t>(vertices.size());
    vertices.push_back({static_cast<float>(i), 0, 0});
    vertices.push_back({static_cast<float>(i) + 1, 0, 0});
    vertices.push_back({static_cast<float>(i), 1, 0});
    faces.push_back({base, base + 1, base + 2});
  }
  return hostapp::MakeMesh(vertices, faces);
}

class ScopedTicksPerFrame {
 public:
  explicit ScopedTicksPerFrame(int ticks) : before_(host::GetTicksPerFrame()) {
    host::SetTicksPerFrame(ticks);
  }
  ~ScopedTicksPerFrame() { host::SetTicksPerFrame(before_); }

 private:
  int before_;
};

TEST(SceneCollector, SceneWithoutConvertibleObjectsCollectsNothing) {
  StandInScene scene;
  scene.AddNonGeometricObject(scene.AddNode("light"));
  scene.AddNode("empty");  // a node without any object
  scene.AddNonGeometricObject(scene.AddNode("camera", scene.Roots()[0]));
  MaterialTable table;
  SceneCollector collector(&scene, 0, 100, &scene, &table);
  EXPECT_EQ(collector.node_count, 0);
  EXPECT_EQ(collector.first_node, nullptr);
  EXPECT_EQ(collector.TotalFaceCount(), 0);
  EXPECT_EQ(table.Count(), 0);
}

TEST(SceneCollector, KeepsConvertibleNodesInEnumerationOrderWithTiming) {
  ScopedTicksPerFrame ticks(160);
  StandInScene scene;
  auto* root = scene.AddNode("root");
  scene.AddMesh(root, Triangles(1));
  auto* light = scene.AddNode("light", root);
  scene.AddNonGeometricObject(light);
  auto* child = scene.AddNode("child", root);
  scene.AddMesh(child, Triangles(2));
  auto* grandchild = scene.AddNode("grandchild", child);
  scene.AddMesh(grandchild, Triangles(3));
  auto* second_root = scene.AddNode("second root");
  scene.AddMesh(second_root, Triangles(4));

  MaterialTable table;
  SceneCollector collector(&scene, 320, 960, &scene, &table);
  EXPECT_EQ(vandrell::g_current_collector, &collector);
  ASSERT_EQ(collector.node_count, 4);
  const char* expected[] = {"root", "child", "grandchild", "second root"};
  int i = 0;
  for (vandrell::ExportNode* record = collector.first_node; record; record = record->next, ++i)
    EXPECT_STREQ(record->node->GetName(), expected[i]);
  EXPECT_EQ(collector.last_node->node, second_root);
  EXPECT_EQ(collector.start_time, 320);
  EXPECT_EQ(collector.end_time, 960);
  EXPECT_EQ(collector.ticks_per_frame, 160);
  EXPECT_EQ(collector.TotalFaceCount(), 1 + 2 + 3 + 4);
  // Frame times step by the ticks per frame and are not held to the range.
  EXPECT_EQ(collector.FrameTime(0), 320);
  EXPECT_EQ(collector.FrameTime(4), 960);
  EXPECT_EQ(collector.FrameTime(10), 1920);
}

TEST(SceneCollector, NodeWithoutMaterialIsCollectedAndLeavesTheTableAlone) {
  StandInScene scene;
  scene.AddMesh(scene.AddNode("plain"), Triangles(1));
  MaterialTable table;
  SceneCollector collector(&scene, 0, 0, &scene, &table);
  ASSERT_EQ(collector.node_count, 1);
  EXPECT_EQ(collector.NodeMaterial(0), nullptr);
  EXPECT_EQ(table.Count(), 0);
}

TEST(SceneCollector, TwoNodesSharingAMaterialGiveTwoRecordsAndOneSlot) {
  StandInScene scene;
  auto* stone = scene.AddMaterial("stone", {0.5f, 0.5f, 0.5f});
  auto* a = scene.AddNode("a");
  scene.AddMesh(a, Triangles(1));
  a->SetMaterial(stone);
  auto* b = scene.AddNode("b");
  scene.AddMesh(b, Triangles(1));
  b->SetMaterial(stone);
  MaterialTable table;
  SceneCollector collector(&scene, 0, 0, &scene, &table);
  EXPECT_EQ(collector.node_count, 2);
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Slot(0).material, stone);
  EXPECT_EQ(table.Slot(0).bitmap, nullptr);
  EXPECT_EQ(collector.NodeMaterial(1), stone);
  // Each collection brings the node's material up to date once.
  EXPECT_EQ(stone->UpdateCount(), 2);
}

TEST(SceneCollector, ConvertsAtTheCurrentTimeAndRefreshesMeshesPerSample) {
  StandInScene scene;
  auto* node = scene.AddNode("growing");
  std::vector<host::HostTime> conversions;
  // The mesh has one face per 100 ticks elapsed, plus one.
  scene.AddAnimatedMesh(node, [&](host::HostTime t, host::Mesh& mesh) {
    conversions.push_back(t);
    mesh = Triangles(1 + t / 100);
  });
  std::vector<host::HostTime> evaluations;
  scene.SetEvaluationObserver(
      [&](hostapp::StandInNode&, host::HostTime t) { evaluations.push_back(t); });
  scene.SetTime(300);
  MaterialTable table;
  SceneCollector collector(&scene, 100, 900, &scene, &table);
  // Evaluated at the start time, converted at the host's current time.
  EXPECT_EQ(evaluations, std::vector<host::HostTime>({100}));
  EXPECT_EQ(conversions, std::vector<host::HostTime>({300}));
  EXPECT_EQ(collector.TotalFaceCount(), 4);
  host::Mesh* mesh = collector.NodeMeshAt(0, 700);
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->getNumFaces(), 8);
  EXPECT_EQ(collector.TotalFaceCount(), 8);
  EXPECT_EQ(evaluations.back(), 700);
  EXPECT_EQ(conversions.back(), 700);
}

TEST(SceneCollector, NodeTransformIsTheObjectToWorldTransformAtTheTime) {
  StandInScene scene;
  auto* parent = scene.AddNode("parent");
  parent->SetAnimatedTransform(
      [](host::HostTime t) { return hostapp::Translation(static_cast<float>(t), 0, 0); });
  auto* child = scene.AddNode("child", parent);
  child->SetTransform(hostapp::Translation(0, 0, 5));
  scene.AddMesh(child, Triangles(1));
  MaterialTable table;
  SceneCollector collector(&scene, 0, 100, &scene, &table);
  host::Matrix3 result;
  EXPECT_EQ(collector.NodeTransform(&result, 0, 40), &result);
  EXPECT_EQ(result.GetTrans(), host::Point3(40, 0, 5));
}

TEST(MaterialTable, MultiMaterialsEnterTheirSubMaterialsOnce) {
  StandInScene scene;
  auto* red = scene.AddMaterial("red", {1, 0, 0});
  auto* green = scene.AddMaterial("green", {0, 1, 0});
  auto* blue = scene.AddMaterial("blue", {0, 0, 1});
  auto* inner_multi = scene.AddMultiMaterial("inner", {blue});
  auto* first = scene.AddMultiMaterial("first", {red, nullptr, green});
  auto* second = scene.AddMultiMaterial("second", {green, inner_multi, red});
  auto* empty = scene.AddMultiMaterial("empty", {});

  MaterialTable table;
  table.CollectMaterials(nullptr);
  table.CollectMaterials(first);
  table.CollectMaterials(second);
  table.CollectMaterials(empty);
  // red and green once each; a multi-material among sub-materials enters as
  // one material, not expanded; the multi-materials themselves never.
  ASSERT_EQ(table.Count(), 3);
  EXPECT_EQ(table.Slot(0).material, red);
  EXPECT_EQ(table.Slot(1).material, green);
  EXPECT_EQ(table.Slot(2).material, inner_multi);
  EXPECT_EQ(table.FindMaterial(blue), -1);
  EXPECT_EQ(table.FindMaterial(first), -1);
  EXPECT_EQ(table.FindMaterial(green), 1);
  // Only the materials handed in are brought up to date, not their subs.
  EXPECT_EQ(first->UpdateCount(), 1);
  EXPECT_EQ(red->UpdateCount(), 0);
  EXPECT_TRUE(MaterialTable::IsMultiMaterial(first));
  EXPECT_FALSE(MaterialTable::IsMultiMaterial(red));
}

TEST(MaterialTable, ManyMaterialsGrowTheTableInOrder) {
  StandInScene scene;
  MaterialTable table;
  std::vector<host::HostMaterial*> materials;
  for (int i = 0; i < 45; ++i) {
    materials.push_back(scene.AddMaterial("m", {0, 0, 0}));
    table.CollectMaterials(materials.back());
  }
  ASSERT_EQ(table.Count(), 45);
  for (int i = 0; i < 45; ++i) EXPECT_EQ(table.FindMaterial(materials[i]), i);
}

// A table with one material whose rectangle is (x0, y0) .. (x1, y1).
struct OneSlot {
  StandInScene scene;
  MaterialTable table;
  host::HostMaterial* material;
  OneSlot(int x0, int y0, int x1, int y1) {
    material = scene.AddMaterial("m", {0, 0, 0});
    table.CollectMaterials(material);
    vandrell::MaterialSlot& slot = table.Slot(0);
    slot.x0 = x0;
    slot.y0 = y0;
    slot.x1 = x1;
    slot.y1 = y1;
  }
  std::pair<int, int> Map(float u, float v, uint32_t index = 0) {
    const float vertex[3] = {u, v, 0.5f};
    int32_t s = -1, t = -1;
    table.MapTextureCoordinate(material, index, s, t, vertex);
    return {s, t};
  }
};

TEST(MaterialTable, TextureCoordinatesMapIntoTheRectangleWithVUp) {
  OneSlot one(10, 0, 73, 31);  // 63 columns and 31 rows of extent
  EXPECT_EQ(one.Map(0.0f, 1.0f), std::make_pair(10, 0));   // top left
  EXPECT_EQ(one.Map(1.0f, 0.0f), std::make_pair(73, 31));  // bottom right
  // u 0.5: 10 + trunc(31.5) = 41; v 0.25: 1 - v = 0.75, trunc(23.25) = 23.
  EXPECT_EQ(one.Map(0.5f, 0.25f), std::make_pair(41, 23));
}

TEST(MaterialTable, CoordinatesOutsideTheUnitSquareAreClampedNotWrapped) {
  OneSlot one(10, 0, 73, 31);
  EXPECT_EQ(one.Map(1.5f, 0.5f).first, 73);
  EXPECT_EQ(one.Map(-0.2f, 0.5f).first, 10);
  EXPECT_EQ(one.Map(0.0f, 0.0f).second, 31);
  EXPECT_EQ(one.Map(0.0f, 1.0f).second, 0);
  EXPECT_EQ(one.Map(0.0f, 7.0f).second, 0);
  EXPECT_EQ(one.Map(0.0f, -3.0f).second, 31);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // NaN compares with nothing and becomes 0: u NaN is column x0, v NaN gives
  // 1 - NaN = NaN for the row factor, so row y0.
  EXPECT_EQ(one.Map(nan, nan), std::make_pair(10, 0));
}

TEST(MaterialTable, TwoColumnRectangleReachesItsRightColumnOnlyAtOne) {
  OneSlot one(60, 0, 61, 1);
  EXPECT_EQ(one.Map(0.0f, 1.0f).first, 60);
  EXPECT_EQ(one.Map(0.5f, 1.0f).first, 60);
  EXPECT_EQ(one.Map(0.99999994f, 1.0f).first, 60);
  EXPECT_EQ(one.Map(1.0f, 1.0f).first, 61);
  EXPECT_EQ(one.Map(2.0f, 1.0f).first, 61);
}

TEST(MaterialTable, FaceMaterialIndexChoosesSubMaterialOrFallsBackToFirst) {
  StandInScene scene;
  auto* a = scene.AddMaterial("a", {0, 0, 0});
  auto* b = scene.AddMaterial("b", {0, 0, 0});
  auto* c = scene.AddMaterial("c", {0, 0, 0});
  auto* stranger = scene.AddMaterial("not collected", {0, 0, 0});
  auto* multi = scene.AddMultiMaterial("abc", {a, b, c});
  auto* holey = scene.AddMultiMaterial("a, nothing, c", {a, nullptr, c});
  MaterialTable table;
  table.CollectMaterials(multi);
  table.CollectMaterials(holey);
  ASSERT_EQ(table.Count(), 3);
  // Rectangles side by side: a at 0..9, b at 10..19, c at 20..29, one row.
  for (int i = 0; i < 3; ++i) {
    vandrell::MaterialSlot& slot = table.Slot(i);
    slot.x0 = 10 * i;
    slot.x1 = 10 * i + 9;
    slot.y0 = 0;
    slot.y1 = 0;
  }
  const float left[3] = {0, 0, 0};
  auto column = [&](host::HostMaterial* material, uint32_t index) {
    int32_t s = -1, t = -1;
    table.MapTextureCoordinate(material, index, s, t, left);
    return s;
  };
  EXPECT_EQ(column(multi, 0), 0);
  EXPECT_EQ(column(multi, 1), 10);
  EXPECT_EQ(column(multi, 2), 20);
  EXPECT_EQ(column(multi, 5), 0);       // beyond the count: sub-material 0, no wrap
  EXPECT_EQ(column(multi, 65535), 0);
  EXPECT_EQ(column(holey, 1), 0);       // an empty sub-material: slot 0
  EXPECT_EQ(column(holey, 2), 20);
  EXPECT_EQ(column(nullptr, 0), 0);     // a node without material: slot 0
  EXPECT_EQ(column(stranger, 0), 0);    // a material not in the table: slot 0
  EXPECT_EQ(column(c, 9), 20);          // a plain material ignores the index
}

TEST(MaterialTable, EmptyTableMapsEveryCoordinateToTheOrigin) {
  MaterialTable table;
  const float vertex[3] = {0.7f, 0.2f, 0};
  int32_t s = -1, t = -1;
  table.MapTextureCoordinate(nullptr, 3, s, t, vertex);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(t, 0);
}

// Exports through the statically linked exporter, the dialog confirmed as given.
class SceneExport : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::AttachExporter();
    win32::ClearMessages();
  }
  int Export(StandInScene& scene, const std::string& target) {
    win32::SetDialogScript(testing_support::ThenOk());
    return exporter_.RunExport(target.c_str(), &scene, &scene);
  }
  vandrell::MdlExporter exporter_;
  testing_support::TempDir dir_;
};

TEST_F(SceneExport, NothingToExportIsReportedAndCountsAsDone) {
  StandInScene scene;
  scene.AddNonGeometricObject(scene.AddNode("light"));
  const std::string absent = dir_.File("absent.mdl");
  EXPECT_EQ(Export(scene, absent), 1);
  ASSERT_EQ(testing_support::MessageTexts(), std::vector<std::string>({"No data to export"}));
  EXPECT_EQ(win32::Messages()[0].caption, "Vandrell Exporter");
  EXPECT_FALSE(testing_support::FileExists(absent));

  const std::string existing = dir_.File("existing.mdl");
  testing_support::WriteFileBytes(existing, {9, 8, 7});
  EXPECT_EQ(Export(scene, existing), 1);
  EXPECT_EQ(testing_support::ReadFileBytes(existing), std::vector<uint8_t>({9, 8, 7}));
}

TEST_F(SceneExport, ExceptionFromAHostCallPassesThroughWithoutMessageOrFile) {
  StandInScene scene;
  auto* node = scene.AddNode("fragile");
  scene.AddMesh(node, Triangles(2));
  node->SetMaterial(scene.AddMaterial("m", {1, 1, 1}));
  // Throw at a chosen evaluation: the first happens during collection, the
  // second while frames are sampled.
  for (int fail_at : {1, 2}) {
    int evaluations = 0;
    scene.SetEvaluationObserver([&](hostapp::StandInNode&, host::HostTime) {
      if (++evaluations == fail_at) throw std::runtime_error("host failure");
    });
    win32::ClearMessages();
    const std::string target = dir_.File("fragile.mdl");
    EXPECT_THROW(Export(scene, target), std::runtime_error) << "failing at evaluation " << fail_at;
    EXPECT_TRUE(win32::Messages().empty());
    EXPECT_FALSE(testing_support::FileExists(target));
  }
  // The exporter is usable again afterwards.
  scene.SetEvaluationObserver(nullptr);
  scene.AddNonGeometricObject(node);
  EXPECT_EQ(Export(scene, dir_.File("again.mdl")), 1);
}

}  // namespace
