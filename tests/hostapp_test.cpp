// The stand-in host: its scene and loading the plug-in module as a host does.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>

#include "PackageVersion.h"
#include "hostapp/module/PluginModule.h"
#include "hostapp/scene/StandInScene.h"
#include "tests/TestSupport.h"

namespace {

using hostapp::StandInScene;

struct RecordingCallback : host::SceneEnumCallback {
  std::vector<std::string> names;
  int VisitNode(host::HostNode* node) override {
    names.push_back(node->GetName());
    return 0;
  }
};

TEST(StandInScene, EnumeratesParentsBeforeChildrenInOrderAdded) {
  StandInScene scene;
  auto* a = scene.AddNode("a");
  auto* b = scene.AddNode("b");
  scene.AddNode("a1", a);
  auto* a2 = scene.AddNode("a2", a);
  scene.AddNode("b1", b);
  scene.AddNode("a2x", a2);
  RecordingCallback callback;
  EXPECT_EQ(scene.GetScene()->EnumTree(&callback), 1);
  EXPECT_EQ(callback.names, std::vector<std::string>({"a", "a1", "a2", "a2x", "b", "b1"}));
}

TEST(StandInScene, WorldTransformComposesLocalWithEveryAncestor) {
  StandInScene scene;
  auto* root = scene.AddNode("root");
  host::Matrix3 turn;
  turn.RotateZ(static_cast<float>(M_PI * 0.5));  // +X to +Y
  root->SetTransform(turn);
  auto* child = scene.AddNode("child", root);
  child->SetTransform(hostapp::Translation(2, 0, 0));
  // The child's origin: moved 2 along X, then turned with its parent onto +Y.
  const host::Point3 origin = host::Point3(0, 0, 0) * child->GetObjectTransform(0, nullptr);
  EXPECT_NEAR(origin.x, 0.0f, 1e-6f);
  EXPECT_NEAR(origin.y, 2.0f, 1e-6f);
  EXPECT_NEAR(origin.z, 0.0f, 1e-6f);
}

TEST(StandInScene, ConversionHandsBackOneHostOwnedObjectRefilledPerTime) {
  StandInScene scene;
  auto* node = scene.AddNode("n");
  scene.AddAnimatedMesh(node, [](host::HostTime t, host::Mesh& mesh) {
    mesh.vertices.assign(static_cast<size_t>(t), host::Point3());
  });
  host::HostObject* object = node->EvalWorldState(0, 1).obj;
  ASSERT_NE(object, nullptr);
  ASSERT_TRUE(object->CanConvertToType(host::triObjectClassID));
  host::HostObject* first = object->ConvertToType(3, host::triObjectClassID);
  host::HostObject* second = object->ConvertToType(5, host::triObjectClassID);
  EXPECT_EQ(first, second);
  EXPECT_EQ(static_cast<host::TriObject*>(second)->GetMesh().getNumVerts(), 5);
  EXPECT_EQ(object->ConvertToType(5, host::Class_ID(1, 2)), nullptr);

  auto* light = scene.AddNode("light");
  scene.AddNonGeometricObject(light);
  EXPECT_FALSE(light->EvalWorldState(0, 1).obj->CanConvertToType(host::triObjectClassID));
}

TEST(StandInScene, MaterialsAnswerAsTheHostDoes) {
  StandInScene scene;
  auto* plain = scene.AddMaterial("plain", {0.25f, 0.5f, 0.75f});
  auto* map = scene.AddBitmapTexture("skins/ogre.png");
  plain->SetDiffuseMap(map);
  auto* multi = scene.AddMultiMaterial("multi", {plain, nullptr});
  EXPECT_EQ(plain->GetSubTexmap(1), map);
  EXPECT_EQ(plain->GetSubTexmap(0), nullptr);
  EXPECT_EQ(map->ClassID(), host::kBitmapTextureClassId);
  EXPECT_STREQ(static_cast<host::BitmapTexture*>(plain->GetSubTexmap(1))->GetMapName(),
               "skins/ogre.png");
  EXPECT_EQ(plain->GetDiffuse(0, 0).g, 0.5f);
  EXPECT_EQ(multi->ClassID(), host::kMultiMaterialClassId);
  EXPECT_EQ(multi->NumSubMtls(), 2);
  EXPECT_EQ(multi->GetSubMtl(0), plain);
  EXPECT_EQ(multi->GetSubMtl(1), nullptr);
  EXPECT_EQ(multi->GetSubMtl(2), nullptr);
}

TEST(PluginModule, LoadsTheModuleThroughItsFourEntryPoints) {
  hostapp::PluginModule module;
  ASSERT_TRUE(module.Load(VANDRELL_MODULE_PATH)) << module.Error();
  EXPECT_EQ(module.NumberOfClasses(), 1);
  EXPECT_EQ(module.Version(), 120ul);
  EXPECT_STREQ(module.Description(), ".MDL File Export DLL - Version 0.1");
  EXPECT_EQ(module.ClassDescriptorAt(1), nullptr);
  EXPECT_EQ(module.ClassDescriptorAt(0), module.ClassDescriptorAt(0));
  std::unique_ptr<host::SceneExporter> exporter(module.CreateExporter());
  ASSERT_NE(exporter, nullptr);
  EXPECT_STREQ(exporter->GetExtension(0), "MDL");
  EXPECT_STREQ(exporter->GetShortDescription(), "Quake MDL");
}

TEST(PluginModule, ExporterVersionIsWhatTheModulesExporterReports) {
  hostapp::PluginModule module;
  EXPECT_EQ(module.ExporterVersion(), std::nullopt) << "no module loaded";
  ASSERT_TRUE(module.Load(VANDRELL_MODULE_PATH)) << module.Error();
  // The exporter names itself version 0.10, as a hundred times that.
  EXPECT_EQ(module.ExporterVersion(), std::optional<unsigned int>(10));
  // Not the library's own number (LibVersion, 120).
  EXPECT_NE(module.ExporterVersion(), std::optional<unsigned int>(module.Version()));
}

TEST(PluginModule, ExporterVersionTextHasTwoDecimalsOfTheHundredths) {
  EXPECT_EQ(hostapp::ExporterVersionText(10), "0.10");
  EXPECT_EQ(hostapp::ExporterVersionText(120), "1.20");
  EXPECT_EQ(hostapp::ExporterVersionText(5), "0.05");
  EXPECT_EQ(hostapp::ExporterVersionText(0), "0.00");
  EXPECT_EQ(hostapp::ExporterVersionText(1234), "12.34");
}

TEST(PackageVersion, IsTheProjectVersionCMakeListsStates) {
  std::ifstream file(std::string(VANDRELL_SOURCE_DIR) + "/CMakeLists.txt");
  ASSERT_TRUE(file) << "cannot read CMakeLists.txt";
  std::stringstream text;
  text << file.rdbuf();
  std::smatch match;
  const std::string contents = text.str();
  ASSERT_TRUE(
      std::regex_search(contents, match, std::regex(R"(project\(Vandrell VERSION ([0-9.]+))")));
  EXPECT_EQ(std::string(vandrell::kPackageVersion), match[1].str());
}

TEST(PluginModule, MissingModuleIsReportedNotFatal) {
  hostapp::PluginModule module;
  EXPECT_FALSE(module.Load("/nonexistent/Vandrell.dlo"));
  EXPECT_FALSE(module.Error().empty());
}

TEST(PluginModule, ExportOfASceneWithoutMeshesSaysSoAndWritesNothing) {
  hostapp::PluginModule module;
  ASSERT_TRUE(module.Load(VANDRELL_MODULE_PATH)) << module.Error();
  std::unique_ptr<host::SceneExporter> exporter(module.CreateExporter());
  StandInScene scene;
  scene.AddNonGeometricObject(scene.AddNode("camera"));
  testing_support::TempDir dir;
  const std::string target = dir.File("empty.mdl");
  testing_support::WriteFileBytes(target, {1, 2, 3});
  win32::ClearMessages();
  win32::SetDialogScript(testing_support::ThenOk());
  EXPECT_EQ(exporter->ExportScene(target.c_str(), &scene, &scene), 1);
  EXPECT_EQ(testing_support::MessageTexts(), std::vector<std::string>({"No data to export"}));
  // An existing file of the target name is left as it was.
  EXPECT_EQ(testing_support::ReadFileBytes(target), std::vector<uint8_t>({1, 2, 3}));
}

TEST(PluginModule, CancelledDialogReadsNoSceneAndTouchesNoFile) {
  hostapp::PluginModule module;
  ASSERT_TRUE(module.Load(VANDRELL_MODULE_PATH)) << module.Error();
  std::unique_ptr<host::SceneExporter> exporter(module.CreateExporter());
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), hostapp::MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}));
  int evaluations = 0;
  scene.SetEvaluationObserver([&](hostapp::StandInNode&, host::HostTime) { ++evaluations; });
  testing_support::TempDir dir;
  const std::string target = dir.File("cancelled.mdl");
  win32::ClearMessages();
  win32::SetDialogScript({win32::DialogAction::Press(IDCANCEL)});
  EXPECT_EQ(exporter->ExportScene(target.c_str(), &scene, &scene), 1);
  EXPECT_EQ(evaluations, 0);
  EXPECT_FALSE(testing_support::FileExists(target));
  EXPECT_TRUE(win32::Messages().empty());
}

}  // namespace
