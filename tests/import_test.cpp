// Importing scene files into the stand-in host: hierarchy, axes, meshes,
// materials and textures, and animation evaluated at any time.
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/Bitmap.h"
#include "host/Timing.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/import/assimp/ReadWithAssimp.h"
#include "hostapp/import/textures/SceneTextures.h"
#include "hostapp/import/textures/ShaderScripts.h"
#include "hostapp/import/textures/SkinFiles.h"
#include "hostapp/import/textures/TextureLookup.h"
#include "hostapp/scene/StandInScene.h"
#include "tests/ImportFixture.h"
#include "tests/TestSupport.h"
#include "testscene/GltfBuffer.h"

namespace {

using hostapp::ImportOptions;
using hostapp::SceneImporter;
using hostapp::StandInNode;
using hostapp::StandInScene;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A real image file (the example's 16 x 16 PNG) at path, its folders made.
void WriteImage(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file(std::string(VANDRELL_SOURCE_DIR) + "/examples/example_checker.png",
                             path, std::filesystem::copy_options::overwrite_existing);
}

// The mesh of a node at time t, as the exporter would see it.
host::Mesh MeshAt(StandInNode* node, host::HostTime t) {
  host::HostObject* object = node->EvalWorldState(t, 1).obj;
  if (!object || !object->CanConvertToType(host::triObjectClassID)) return {};
  return static_cast<host::TriObject*>(object->ConvertToType(t, host::triObjectClassID))->GetMesh();
}

// A mesh vertex carried into the world by its node's transform at t.
host::Point3 WorldVertex(StandInNode* node, host::HostTime t, size_t v) {
  return MeshAt(node, t).vertices.at(v) * node->GetObjectTransform(t, nullptr);
}

// Corner c of face f of a node's mesh at t, carried into the world; and a
// corner's texture vertex.
host::Point3 WorldCorner(StandInNode* node, host::HostTime t, int f, int c) {
  const host::Mesh mesh = MeshAt(node, t);
  return mesh.vertices.at(mesh.faces.at(static_cast<size_t>(f)).v[c]) *
         node->GetObjectTransform(t, nullptr);
}
host::Point3 CornerUv(const host::Mesh& mesh, int f, int c) {
  return mesh.texture_vertices.at(mesh.texture_faces.at(static_cast<size_t>(f)).t[c]);
}

// Host units (inches) in the units of the files the tests write: glTF is in
// metres, and Assimp writes FBX in centimetres. 1 / 0.0254 = 39.3700787...
constexpr float kMetre = 39.3700787f;
constexpr float kCentimetre = 0.393700787f;

// Expects p at (x, y, z) of the file's unit, in host units.
void ExpectNearIn(float unit, const host::Point3& p, float x, float y, float z,
                  float tolerance = 1e-5f) {
  EXPECT_NEAR(p.x, x * unit, tolerance * unit);
  EXPECT_NEAR(p.y, y * unit, tolerance * unit);
  EXPECT_NEAR(p.z, z * unit, tolerance * unit);
}

StandInNode* FindNode(StandInScene& scene, const std::string& name) {
  for (StandInNode* node : scene.Nodes())
    if (node->Name() == name) return node;
  return nullptr;
}

void ExpectNear(const host::Point3& p, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(p.x, x, tolerance);
  EXPECT_NEAR(p.y, y, tolerance);
  EXPECT_NEAR(p.z, z, tolerance);
}

using Import = testing_support::ImportFixture;

// Two objects; the first uses two materials, one of them textured; the second
// has no texture coordinates. OBJ files are Y up.
constexpr char kTwoObjects[] =
    "mtllib two.mtl\n"
    "o first\n"
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
    "vt 0 0\nvt 1 0\nvt 0 1\n"
    "usemtl red\nf 1/1 2/2 3/3\n"
    "usemtl blue\nf 1/1 3/3 4/3\n"
    "o second\n"
    "v 5 0 0\nv 6 0 0\nv 5 2 0\n"
    "usemtl red\nf 5 6 7\n";
constexpr char kTwoMaterials[] =
    "newmtl red\nKd 1 0 0\nmap_Kd red.png\n"
    "newmtl blue\nKd 0 0 1\n";

TEST_F(Import, ObjectsBecomeNodesWithMeshesMaterialsAndTurnedAxes) {
  WriteText(dir_.File("two.obj"), kTwoObjects);
  WriteText(dir_.File("two.mtl"), kTwoMaterials);
  ASSERT_TRUE(Load(dir_.File("two.obj")));
  StandInNode* first = FindNode(scene_, "first");
  StandInNode* second = FindNode(scene_, "second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  // Two materials on one node: a multi-material, faces indexing into it.
  const host::Mesh mesh = MeshAt(first, 0);
  ASSERT_EQ(mesh.getNumFaces(), 2);
  host::HostMaterial* multi = first->GetMaterial();
  ASSERT_NE(multi, nullptr);
  ASSERT_EQ(multi->ClassID(), host::kMultiMaterialClassId);
  ASSERT_EQ(multi->NumSubMtls(), 2);
  host::HostMaterial* red = multi->GetSubMtl(mesh.getFaceMtlIndex(0));
  host::HostMaterial* blue = multi->GetSubMtl(mesh.getFaceMtlIndex(1));
  EXPECT_STREQ(red->GetName(), "red");
  EXPECT_STREQ(blue->GetName(), "blue");
  EXPECT_EQ(blue->GetDiffuse(0, 0).b, 1.0f);
  // The texture resolves beside the scene file.
  ASSERT_NE(red->GetSubTexmap(host::kDiffuseMapSlot), nullptr);
  EXPECT_EQ(std::string(static_cast<host::BitmapTexture*>(red->GetSubTexmap(1))->GetMapName()),
            dir_.File("red.png"));
  EXPECT_EQ(blue->GetSubTexmap(1), nullptr);
  // Each material's faces come from a mesh of their own, with their own
  // corners and texture coordinates (v up as in the file). Y up becomes Z
  // up: the file's (x, y, z) is the host's (x, -z, y).
  ASSERT_EQ(mesh.texture_faces.size(), 2u);
  const float corners[2][3][5] = {{{0, 0, 0, 0, 0}, {1, 0, 0, 1, 0}, {0, 0, 1, 0, 1}},
                                  {{0, 0, 0, 0, 0}, {0, 0, 1, 0, 1}, {0, -1, 0, 0, 1}}};
  for (int f = 0; f < 2; ++f) {
    for (int c = 0; c < 3; ++c) {
      SCOPED_TRACE(::testing::Message() << "face " << f << " corner " << c);
      const float* expected = corners[f][c];
      ExpectNear(WorldCorner(first, 0, f, c), expected[0], expected[1], expected[2]);
      EXPECT_EQ(CornerUv(mesh, f, c).x, expected[3]);
      EXPECT_EQ(CornerUv(mesh, f, c).y, expected[4]);
    }
  }

  // One material stays a standard material; no coordinates, no texture faces.
  EXPECT_EQ(second->GetMaterial(), red);
  EXPECT_TRUE(MeshAt(second, 0).texture_faces.empty());

  // Y up becomes Z up: the file's (5, 2, 0) is the host's (5, 0, 2).
  host::Point3 top;
  const host::Mesh second_mesh = MeshAt(second, 0);
  for (size_t v = 0; v < second_mesh.vertices.size(); ++v) {
    const host::Point3 p = WorldVertex(second, 0, v);
    if (p.z > top.z) top = p;
  }
  ExpectNear(top, 5, 0, 2);
  // A scene without animation has the range 0 to 0.
  EXPECT_EQ(scene_.GetAnimationRange().start, 0);
  EXPECT_EQ(scene_.GetAnimationRange().end, 0);
}

TEST_F(Import, RepeatedTextureCoordinatesMoveIntoTheFirstRepeatFaceByFace) {
  // The exporter clamps coordinates to 0 .. 1, so a face mapped at 5 .. 6 of a
  // repeating texture would show only the texture's right edge.
  WriteText(dir_.File("tiles.obj"),
            "o tiles\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
            "vt 5 0\nvt 6 0\nvt 5 1\nvt 0.5 0\nvt 1.5 0\nvt -0.75 -1\nvt 0.25 0.5\n"
            "f 1/1 2/2 3/3\nf 1/4 2/5 3/6\nf 1/7 2/4 3/7\n");
  ASSERT_TRUE(Load(dir_.File("tiles.obj")));
  const host::Mesh mesh = MeshAt(FindNode(scene_, "tiles"), 0);
  ASSERT_EQ(mesh.getNumFaces(), 3);
  ASSERT_EQ(mesh.texture_faces.size(), 3u);
  auto corners = [&mesh](size_t f) {
    std::multiset<std::pair<float, float>> uvs;
    for (int c = 0; c < 3; ++c) {
      const host::Point3& uv = mesh.texture_vertices.at(mesh.texture_faces[f].t[c]);
      uvs.insert({uv.x, uv.y});
    }
    return uvs;
  };
  using Corners = std::multiset<std::pair<float, float>>;
  // Five repeats to the right: moved back by five.
  EXPECT_EQ(corners(0), (Corners{{0, 0}, {1, 0}, {0, 1}}));
  // Across two repeats in u it stays; within -1 .. 0 in v it moves up by one.
  EXPECT_EQ(corners(1), (Corners{{0.5f, 1}, {1.5f, 1}, {-0.75f, 0}}));
  // Inside the first repeat nothing changes.
  EXPECT_EQ(corners(2), (Corners{{0.25f, 0.5f}, {0.5f, 0}, {0.25f, 0.5f}}));
}

// The host position of the vertex of a one-triangle scene farthest from the
// origin in the file.
host::Point3 FarthestVertex(StandInScene& scene) {
  host::Point3 far;
  float best = -1.0f;
  for (StandInNode* node : scene.Nodes()) {
    if (!node->Object() || !node->Object()->IsGeometric()) continue;
    const host::Mesh mesh = MeshAt(node, 0);
    for (size_t v = 0; v < mesh.vertices.size(); ++v) {
      const host::Point3& p = mesh.vertices[v];
      const float length = p.x * p.x + p.y * p.y + p.z * p.z;
      if (length > best) {
        best = length;
        far = WorldVertex(node, 0, v);
      }
    }
  }
  return far;
}

// Replaces one of the axis settings of an FBX text file.
void SetFbxSetting(std::string& text, const std::string& name, int value) {
  const std::string key = "P: \"" + name + "\", \"int\", \"Integer\", \"\", ";
  const size_t at = text.find(key);
  ASSERT_NE(at, std::string::npos) << name;
  const size_t end = text.find('\n', at);
  text.replace(at + key.size(), end - (at + key.size()), std::to_string(value));
}

TEST_F(Import, FbxAxisSettingsAndZUpFormatsDecideTheTurn) {
  // A triangle reaching to (1, 2, 3), written as FBX text by Assimp, which
  // gives it Y up, front +Z and right +X.
  WriteText(dir_.File("tri.obj"), "o tri\nv 0 0 0\nv 1 0 0\nv 1 2 3\nf 1 2 3\n");
  Assimp::Importer reader;
  const aiScene* triangle = reader.ReadFile(dir_.File("tri.obj"), 0);
  ASSERT_NE(triangle, nullptr) << reader.GetErrorString();
  Assimp::Exporter writer;
  ASSERT_EQ(writer.Export(triangle, "fbxa", dir_.File("y_up.fbx")), AI_SUCCESS)
      << writer.GetErrorString();
  std::ifstream in(dir_.File("y_up.fbx"), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  ASSERT_TRUE(Load(dir_.File("y_up.fbx")));
  ExpectNearIn(kCentimetre, FarthestVertex(scene_), 1, -3, 2);

  // Z up with the front toward +Y and the right toward -X: turned half way
  // round about Z, so that the front faces -Y.
  SetFbxSetting(text, "UpAxis", 2);
  SetFbxSetting(text, "FrontAxis", 1);
  SetFbxSetting(text, "FrontAxisSign", 1);
  SetFbxSetting(text, "CoordAxis", 0);
  SetFbxSetting(text, "CoordAxisSign", -1);
  WriteText(dir_.File("z_up.fbx"), text);
  SceneImporter z_up_importer;
  StandInScene z_up;
  ASSERT_TRUE(z_up_importer.Import(dir_.File("z_up.fbx"), {}, z_up)) << z_up_importer.Error();
  ExpectNearIn(kCentimetre, FarthestVertex(z_up), -1, -2, 3);

  // STL files, of 3D printing, are Z up: nothing turns.
  WriteText(dir_.File("tri.stl"),
            "solid tri\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
            "vertex 1 2 3\nendloop\nendfacet\nendsolid tri\n");
  SceneImporter stl_importer;
  StandInScene stl;
  ASSERT_TRUE(stl_importer.Import(dir_.File("tri.stl"), {}, stl)) << stl_importer.Error();
  ExpectNear(FarthestVertex(stl), 1, 2, 3);
}

TEST_F(Import, MissingTextureFilesAreReportedOrReplacedByTheGivenBitmap) {
  WriteText(dir_.File("lost.mtl"),
            "newmtl lost\nKd 0 1 0\nmap_Kd gone.png\n"
            "newmtl spare\nKd 1 1 1\nmap_Kd absent.png\n");
  WriteText(dir_.File("lost.obj"),
            "mtllib lost.mtl\no card\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
            "usemtl lost\nf 1/1 2/2 3/3\n");
  WriteImage(dir_.File("given.png"));
  auto map_name = [](StandInScene& scene) {
    host::TextureMap* map = FindNode(scene, "card")->GetMaterial()->GetSubTexmap(1);
    return map ? std::string(static_cast<host::BitmapTexture*>(map)->GetMapName()) : std::string();
  };

  // Without a bitmap of the user's the file's name stays, with a warning; the
  // unused material's missing file is not worth one.
  ASSERT_TRUE(Load(dir_.File("lost.obj")));
  EXPECT_EQ(map_name(scene_), dir_.File("gone.png"));
  ASSERT_EQ(importer_.Summary().warnings.size(), 1u);
  EXPECT_EQ(importer_.Summary().warnings[0],
            "texture gone.png of material lost not found (looked for gone.png in any case, and "
            "with .tga, .jpg, .pcx or .bmp for .png, in " +
                dir_.path() + " and each folder above it); its diffuse colour is painted instead");
  EXPECT_EQ(importer_.Summary().textures,
            std::vector<std::string>{"gone.png: missing; looked for gone.png in any case, and "
                                     "with .tga, .jpg, .pcx or .bmp for .png, in " +
                                     dir_.path() + " and each folder above it"});

  ImportOptions options;
  options.fallback_texture = dir_.File("given.png");
  SceneImporter other;
  StandInScene other_scene;
  ASSERT_TRUE(other.Import(dir_.File("lost.obj"), options, other_scene)) << other.Error();
  EXPECT_EQ(map_name(other_scene), dir_.File("given.png"));
  EXPECT_TRUE(other.Summary().warnings.empty());
}

TEST_F(Import, TexturesAreFoundInAnyCaseOrWarnedAboutOnceWhenUnreadable) {
  // Made on Windows: the .mtl names Texture.PNG for texture.png; and a file
  // two materials name that is no image.
  WriteText(dir_.File("three.mtl"),
            "newmtl shown\nKd 1 1 1\nmap_Kd Texture.PNG\n"
            "newmtl bad1\nKd 1 0 0\nmap_Kd broken.png\n"
            "newmtl bad2\nKd 0 0 1\nmap_Kd broken.png\n");
  WriteText(dir_.File("three.obj"),
            "mtllib three.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
            "o a\nusemtl shown\nf 1/1 2/2 3/3\no b\nusemtl bad1\nf 1/1 2/2 3/3\n"
            "o c\nusemtl bad2\nf 1/1 2/2 3/3\n");
  WriteImage(dir_.File("texture.png"));
  WriteText(dir_.File("broken.png"), "no image");
  auto map_name = [](StandInScene& scene, const char* node) {
    host::TextureMap* map = FindNode(scene, node)->GetMaterial()->GetSubTexmap(1);
    return map ? std::string(static_cast<host::BitmapTexture*>(map)->GetMapName()) : std::string();
  };
  const std::string unread =
      "not an image in a format that is read (PNG, JPEG, TGA, BMP, PCX, GIF, PSD, HDR)";

  ASSERT_TRUE(Load(dir_.File("three.obj")));
  EXPECT_EQ(map_name(scene_, "a"), dir_.File("texture.png"));
  EXPECT_EQ(map_name(scene_, "b"), dir_.File("broken.png"));
  EXPECT_EQ(importer_.Summary().textures,
            (std::vector<std::string>{"Texture.PNG: " + dir_.File("texture.png") + ", 16x16",
                                      dir_.File("broken.png") + ": cannot be read: " + unread}));
  EXPECT_EQ(importer_.Summary().warnings,
            std::vector<std::string>{"texture " + dir_.File("broken.png") +
                                     " of material bad1 cannot be read: " + unread +
                                     "; its diffuse colour is painted instead"});
  // The image found is held for the exporter, which need not read it again.
  int width = 0, height = 0;
  EXPECT_TRUE(host::TheManager->HeldImageSize(dir_.File("texture.png"), &width, &height));
  // A trial import may leave the images unread: it can tell nothing of them.
  host::TheManager->ForgetImages();
  ImportOptions trial;
  trial.read_textures = false;
  SceneImporter trial_importer;
  StandInScene trial_scene;
  ASSERT_TRUE(trial_importer.Import(dir_.File("three.obj"), trial, trial_scene));
  EXPECT_TRUE(trial_importer.Summary().warnings.empty());
  EXPECT_FALSE(host::TheManager->HeldImageSize(dir_.File("texture.png"), &width, &height));

  // The user's bitmap stands in for a file that cannot be read.
  ImportOptions options;
  options.fallback_texture = dir_.File("texture.png");
  SceneImporter other;
  StandInScene other_scene;
  ASSERT_TRUE(other.Import(dir_.File("three.obj"), options, other_scene)) << other.Error();
  EXPECT_EQ(map_name(other_scene, "c"), dir_.File("texture.png"));
  EXPECT_TRUE(other.Summary().warnings.empty());
  // One the user gives that cannot be read is warned about too.
  options.fallback_texture = dir_.File("broken.png");
  SceneImporter third;
  StandInScene third_scene;
  ASSERT_TRUE(third.Import(dir_.File("three.obj"), options, third_scene)) << third.Error();
  EXPECT_EQ(third.Summary().warnings,
            std::vector<std::string>{"the given texture " + dir_.File("broken.png") +
                                     " cannot be read: " + unread +
                                     "; diffuse colours are painted instead"});
  host::TheManager->ForgetImages();
}

TEST(TextureLookup, FindsNamesAsWrittenInAnyCaseWithTheGamesExtensionsUpToTheGameRoot) {
  testing_support::TempDir dir;
  const std::string root = dir.path();
  const std::string scene = root + "/models/monsters/x";
  for (const char* file :
       {"Skin.TGA", "other.jpg", "tex.png", "tex.tga", "Dup.png", "PAIR.tga", "pair.tga"})
    WriteImage(scene + "/" + file);
  WriteImage(root + "/dup.png");
  WriteImage(root + "/pics/Mixed/Case.png");

  hostapp::TextureLookup lookup(scene);
  const struct {
    const char* name;
    std::string found;
  } cases[] = {
      // As written; in any case; with the extensions in their order.
      {"Skin.TGA", scene + "/Skin.TGA"},
      {"./Skin.TGA", scene + "/./Skin.TGA"},
      {"skin.tga", scene + "/Skin.TGA"},
      {"SKIN", scene + "/Skin.TGA"},
      {"other.tga", scene + "/other.jpg"},
      {"tex", scene + "/tex.tga"},
      {"tex.bmp", scene + "/tex.tga"},
      {"tex.png", scene + "/tex.png"},
      // Of two spellings, the one as written.
      {"pair", scene + "/pair.tga"},
      {"../x/other.jpg", scene + "/../x/other.jpg"},
      // Relative to the game's root, folders in any case too.
      {"models/monsters/x/OTHER.pcx", root + "/models/monsters/x/other.jpg"},
      {"Pics\\mixed\\case", root + "/pics/Mixed/Case.png"},
      // The scene's folder in any case comes before a folder above it.
      {"dup.png", scene + "/Dup.png"},
      // Paths of another machine, or that lead nowhere: the bare name.
      {"C:\\Art\\Other.jpg", scene + "/other.jpg"},
      {"//server/share/other.jpg", scene + "/other.jpg"},
      {"/no/such/folder/other.jpg", scene + "/other.jpg"},
      {"textures/other.jpg", scene + "/other.jpg"},
  };
  for (const auto& c : cases) {
    const hostapp::TextureSearch search = lookup.Find(c.name);
    EXPECT_EQ(search.path, c.found) << c.name;
    EXPECT_TRUE(search.tried.empty()) << c.name;
  }

  hostapp::TextureSearch search = lookup.Find("nothing.png");
  EXPECT_EQ(search.path, "");
  EXPECT_EQ(search.tried,
            "looked for nothing.png in any case, and with .tga, .jpg, .pcx or .bmp "
            "for .png, in " +
                scene + " and each folder above it");
  search = lookup.Find("art\\nothing");
  EXPECT_EQ(search.tried,
            "looked for art/nothing in any case, and with .tga, .jpg, .png, .pcx or "
            ".bmp added, in " +
                scene + " and each folder above it, then for nothing the same way in " + scene);
  search = lookup.Find("D:\\nothing.jpg");
  EXPECT_EQ(search.tried,
            "looked for nothing.jpg in any case, and with .tga, .png, .pcx or .bmp "
            "for .jpg, in " +
                scene);
  EXPECT_EQ(lookup.Find("").tried, "the name \"\" names no file");

  // Each folder is listed once a lookup: a file that appears later under
  // another spelling is found by a new lookup only.
  WriteImage(scene + "/LATE.png");
  EXPECT_EQ(lookup.Find("late.png").path, "");
  EXPECT_EQ(hostapp::TextureLookup(scene).Find("late.png").path, scene + "/LATE.png");
}

TEST(ShaderScripts, AShadersImageIsItsFirstStagesFileElseTheEditorsImage) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.File("Scripts"));
  std::filesystem::create_directories(dir.File("models/w"));
  WriteText(dir.File("Scripts/a.shader"),
            "// a comment { with a brace\n"
            "models/w/skin\n"
            "{\n"
            "\tcull none\n"
            "\t{\n\t\tmap $lightmap\n\t}\n"
            "\t{\n\t\tmap models/w/real.tga // the picture\n\t\trgbGen identity\n\t}\n"
            "\t{\n\t\tmap models/w/second.tga\n\t}\n"
            "}\n"
            "/* models/w/hidden\n{\n\t{\n\t\tmap hidden.tga\n\t}\n} */\n"
            "Models/W/Anim\n{\n\t{ AnimMap 10 anim1.tga anim2.tga }\n}\n"
            "c/editor\n{\n\tqer_editorimage textures/c/editor.jpg\n\t{\n\t\tmap "
            "$whiteimage\n\t}\n}\n"
            "d/clamped{{clampMap d.tga}}\n"
            "e/none\n{\n\tsurfaceparm nodraw\n}\n");
  WriteText(dir.File("Scripts/b.shader"), "models/w/skin\n{\n\t{\n\t\tmap later.tga\n\t}\n}\n");
  WriteText(dir.File("Scripts/notes.txt"), "f/other\n{\n\t{\n\t\tmap f.tga\n\t}\n}\n");

  // The first of the folders with a scripts folder is the game's root.
  const hostapp::ShaderScripts scripts({dir.File("models/w"), dir.File("models"), dir.path()});
  const hostapp::ShaderScripts::Shader* shader = scripts.Find("MODELS\\W\\SKIN.TGA");
  ASSERT_NE(shader, nullptr);
  EXPECT_EQ(shader->image, "models/w/real.tga");
  EXPECT_EQ(shader->script, dir.File("Scripts/a.shader"));
  const struct {
    const char* name;
    const char* image;
  } cases[] = {{"models/w/anim", "anim1.tga"},
               {"c/editor", "textures/c/editor.jpg"},
               {"d/clamped.jpg", "d.tga"},
               {"e/none", ""}};
  for (const auto& c : cases) {
    shader = scripts.Find(c.name);
    ASSERT_NE(shader, nullptr) << c.name;
    EXPECT_EQ(shader->image, c.image) << c.name;
  }
  for (const char* absent : {"models/w/hidden", "f/other", "models/w/real"})
    EXPECT_EQ(scripts.Find(absent), nullptr) << absent;
  // Without a scripts folder at or above the scene there are no shaders.
  EXPECT_EQ(hostapp::ShaderScripts({dir.File("models/w")}).Find("models/w/skin"), nullptr);
}

TEST(SceneTextures, QuakeThreeNamesAreLookedUpThroughTheGamesShadersFirst) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.File("scripts"));
  WriteText(dir.File("scripts/gun.shader"),
            "models/w/skin\n{\n\t{\n\t\tmap models/w/mgun.tga\n\t}\n}\n");
  // The shader names a .tga; the game has a .png of that name. An image of
  // the shader's own name is not what the game draws.
  WriteImage(dir.File("models/w/mgun.png"));
  WriteImage(dir.File("models/w/skin.png"));
  WriteImage(dir.File("models/w/sight.png"));
  const std::string scene = dir.File("models/w/gun.md3");

  hostapp::ImportSummary summary;
  hostapp::SceneTextures shaders(scene, true, {}, summary);
  hostapp::SceneTextures::Choice choice = shaders.ForMaterial("gun", "models/w/skin");
  EXPECT_EQ(choice.map_name, dir.File("models/w/mgun.png"));
  const std::string label =
      "models/w/skin (shader of " + dir.File("scripts/gun.shader") + ", drawing models/w/mgun.tga)";
  EXPECT_EQ(summary.textures,
            std::vector<std::string>{label + ": " + dir.File("models/w/mgun.png") + ", 16x16"});
  // Shader names are in any case and without extension, like images'.
  EXPECT_EQ(shaders.ForMaterial("gun2", "MODELS/W/SKIN.tga").map_name,
            dir.File("models/w/mgun.png"));
  // A name no shader defines is an image's name.
  EXPECT_EQ(shaders.ForMaterial("sight", "models/w/Sight").map_name,
            dir.File("models/w/sight.png"));
  EXPECT_TRUE(summary.warnings.empty());

  // Other formats' names are images' names only.
  hostapp::ImportSummary plain_summary;
  hostapp::SceneTextures plain(scene, false, {}, plain_summary);
  EXPECT_EQ(plain.ForMaterial("gun", "models/w/skin").map_name, dir.File("models/w/skin.png"));
  host::TheManager->ForgetImages();
}

TEST(SkinFiles, LinesMapSurfacesToTexturesAndModelsFindTheirSkinsFile) {
  const std::map<std::string, std::string> textures = hostapp::ParseSkinFile(
      "U_Torso,models/players/grism/enkiskin.tga\r\n"
      "tag_head\r\n"
      "u_belt,\r\n"
      " \"u_cape\" , \"models/players/grism/cape.tga\" \n"
      "\n"
      "h_eyes,models/players/grism/eyes");
  EXPECT_EQ(textures,
            (std::map<std::string, std::string>{{"u_torso", "models/players/grism/enkiskin.tga"},
                                                {"tag_head", ""},
                                                {"u_belt", ""},
                                                {"u_cape", "models/players/grism/cape.tga"},
                                                {"h_eyes", "models/players/grism/eyes"}}));

  testing_support::TempDir dir;
  for (const char* file : {"Head_Default.SKIN", "head_red.skin", "upper_default.skin",
                           "upper_1_default.skin", "lower.md3"})
    WriteText(dir.File(file), "");
  const struct {
    const char* model;
    const char* skin;
    std::string found;
  } cases[] = {
      {"head.md3", "default", dir.File("Head_Default.SKIN")},
      {"head.md3", "RED", dir.File("head_red.skin")},
      {"head.md3", "blue", ""},
      // Lower levels of detail wear the full model's skin, unless their own.
      {"head_2.md3", "red", dir.File("head_red.skin")},
      {"upper_1.md3", "default", dir.File("upper_1_default.skin")},
      {"upper_2.md3", "default", dir.File("upper_default.skin")},
      {"upper_3.md3", "default", ""},
      {"lower.md3", "default", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hostapp::FindSkinFile(dir.File(c.model), c.skin), c.found)
        << c.model << " " << c.skin;

  hostapp::SkinFile skin;
  std::string error;
  ASSERT_TRUE(hostapp::ReadSkinFile(dir.File("head_red.skin"), &skin, &error)) << error;
  EXPECT_EQ(skin.path, dir.File("head_red.skin"));
  EXPECT_TRUE(skin.textures.empty());
  EXPECT_FALSE(hostapp::ReadSkinFile(dir.File("absent.skin"), &skin, &error));
  EXPECT_EQ(error, "cannot read " + dir.File("absent.skin"));
}

TEST_F(Import, MissingFilesAndRefusedOptionsGiveReasons) {
  EXPECT_FALSE(importer_.Import(dir_.File("absent.obj"), {}, scene_));
  EXPECT_NE(importer_.Error().find("absent.obj"), std::string::npos);
  WriteText(dir_.File("junk.gltf"), "{ not json");
  EXPECT_FALSE(importer_.Import(dir_.File("junk.gltf"), {}, scene_));
  EXPECT_FALSE(importer_.Error().empty());

  WriteText(dir_.File("two.obj"), kTwoObjects);
  WriteText(dir_.File("two.mtl"), kTwoMaterials);
  ImportOptions odd_rate;
  odd_rate.frames_per_second = 7;
  SceneImporter other;
  StandInScene other_scene;
  EXPECT_FALSE(other.Import(dir_.File("two.obj"), odd_rate, other_scene));
  EXPECT_NE(other.Error().find("7"), std::string::npos);
  ImportOptions missing_texture;
  missing_texture.fallback_texture = dir_.File("nowhere.png");
  EXPECT_FALSE(other.Import(dir_.File("two.obj"), missing_texture, other_scene));
  EXPECT_NE(other.Error().find("nowhere.png"), std::string::npos);
}

// A glTF 2.0 file put together by a test: binary arrays become accessors of
// one embedded buffer; the test writes the JSON of nodes, meshes and
// animations itself.
class GltfFile : public testscene::GltfBuffer {
 public:
  // A mesh of one triangle (0, 0, 0), (1, 0, 0), (0, 1, 0).
  std::string Triangle() {
    const int positions = AddFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, 3, true);
    return "{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(positions) + "}}]}";
  }
  // An animation of one channel: path of node, keys at times, values of
  // components each.
  std::string Clip(const std::string& name, int node, const std::string& path,
                   const std::vector<float>& times, const std::vector<float>& values,
                   int components, const std::string& interpolation = "LINEAR") {
    const int input = AddFloats(times, 1, true);
    const int output = AddFloats(values, components);
    return "{\"name\":\"" + name + "\",\"samplers\":[{\"input\":" + std::to_string(input) +
           ",\"output\":" + std::to_string(output) + ",\"interpolation\":\"" + interpolation +
           "\"}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":" + std::to_string(node) +
           ",\"path\":\"" + path + "\"}}]}";
  }

  std::string nodes, meshes, animations, skins;

  std::string Text() const {
    std::string text = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}]";
    text += ",\"nodes\":[" + nodes + "]";
    if (!meshes.empty()) text += ",\"meshes\":[" + meshes + "]";
    if (!animations.empty()) text += ",\"animations\":[" + animations + "]";
    if (!skins.empty()) text += ",\"skins\":[" + skins + "]";
    return text + ",\n" + Members() + "}";
  }
};

// A glTF file: a parent node moved 2 along X, animated over one second with
// a translation from (0,0,0) to (0,4,0) and a turn of 90 degrees about Y; a
// child node holding one triangle. The buffer holds, in order: key times
// (0, 1), translations, rotations (x, y, z, w), then the triangle's three
// positions.
std::string AnimatedGltf(const char* translation_interpolation = "LINEAR") {
  GltfFile file;
  const std::string times = std::to_string(file.AddFloats({0, 1}, 1, true));
  const std::string translations = std::to_string(file.AddFloats({0, 0, 0, 0, 4, 0}, 3));
  const std::string rotations =
      std::to_string(file.AddFloats({0, 0, 0, 1, 0, 0.70710677f, 0, 0.70710677f}, 4));
  const std::string triangle = std::to_string(file.AddFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, 3, true));
  file.nodes = R"({"name": "parent", "translation": [2, 0, 0], "children": [1]},
                  {"name": "child", "mesh": 0})";
  file.meshes =
      R"({"name": "tri", "primitives": [{"attributes": {"POSITION": )" + triangle + "}}]}";
  const auto sampler = [&times](const std::string& output, const std::string& interpolation) {
    return "{\"input\": " + times + ", \"output\": " + output + ", \"interpolation\": \"" +
           interpolation + "\"}";
  };
  file.animations = R"({"name": "walk",
    "channels": [{"sampler": 0, "target": {"node": 0, "path": "translation"}},
                 {"sampler": 1, "target": {"node": 0, "path": "rotation"}}],
    "samplers": [)" +
                    sampler(translations, translation_interpolation) + ", " +
                    sampler(rotations, "LINEAR") + "]}";
  return file.Text();
}

TEST_F(Import, NodeAnimationInterpolatesTranslationAndTurnsBySlerp) {
  WriteText(dir_.File("walk.gltf"), AnimatedGltf());
  ImportOptions options;
  options.frames_per_second = 10;
  ASSERT_TRUE(Load(dir_.File("walk.gltf"), options));
  EXPECT_EQ(host::GetTicksPerFrame(), 480);
  // One second of keys: the range is 0 to 4800 ticks, starting where the host stands.
  EXPECT_EQ(scene_.GetAnimationRange().start, 0);
  EXPECT_EQ(scene_.GetAnimationRange().end, 4800);
  EXPECT_EQ(scene_.GetTime(), 0);
  ASSERT_EQ(importer_.Summary().clips.size(), 1u);
  EXPECT_EQ(importer_.Summary().clips[0].name, "walk");
  EXPECT_EQ(importer_.Summary().clips[0].frames, 11);

  StandInNode* child = FindNode(scene_, "child");
  ASSERT_NE(child, nullptr);
  // Vertex (1, 0, 0) of the triangle. At 0 s: no turn, no move: the file's
  // (1, 0, 0) is the host's (1, 0, 0).
  ExpectNearIn(kMetre, WorldVertex(child, 0, 1), 1, 0, 0);
  // At 1 s: turned 90 degrees about the file's Y (x to -z), moved to (0, 4, 0):
  // (0, 4, -1) in the file, the host's (0, 1, 4).
  ExpectNearIn(kMetre, WorldVertex(child, 4800, 1), 0, 1, 4);
  // At 0.5 s: halfway, a 45 degree turn: (0.7071, 2, -0.7071), host (0.7071, 0.7071, 2).
  ExpectNearIn(kMetre, WorldVertex(child, 2400, 1), 0.70710677f, 0.70710677f, 2, 1e-4f);
  // Past the last key the last key holds.
  ExpectNearIn(kMetre, WorldVertex(child, 9600, 1), 0, 1, 4);
}

TEST_F(Import, StepKeysHoldUntilTheNextKey) {
  WriteText(dir_.File("step.gltf"), AnimatedGltf("STEP"));
  ASSERT_TRUE(Load(dir_.File("step.gltf")));
  StandInNode* child = FindNode(scene_, "child");
  ASSERT_NE(child, nullptr);
  // At 0.5 s the translation still holds its first key, (0, 0, 0), while the
  // rotation blends to 45 degrees: the file's (0.7071, 0, -0.7071), the
  // host's (0.7071, 0.7071, 0).
  ExpectNearIn(kMetre, WorldVertex(child, 2400, 1), 0.70710677f, 0.70710677f, 0, 1e-4f);
  EXPECT_NEAR(WorldVertex(child, 4799, 1).z, 0.0f, 1e-6f);
  // The second key takes over at its own time.
  ExpectNearIn(kMetre, WorldVertex(child, 4800, 1), 0, 1, 4);
}

TEST_F(Import, UnknownClipIsRefusedAndClipsCanBeChosen) {
  WriteText(dir_.File("walk.gltf"), AnimatedGltf());
  ImportOptions by_index;
  by_index.animation = "0";
  EXPECT_TRUE(Load(dir_.File("walk.gltf"), by_index));
  SceneImporter other;
  StandInScene other_scene;
  ImportOptions unknown;
  unknown.animation = "run";
  EXPECT_FALSE(other.Import(dir_.File("walk.gltf"), unknown, other_scene));
  EXPECT_NE(other.Error().find("run"), std::string::npos);
}

TEST_F(Import, FileWithoutMeshesIsAValidScene) {
  WriteText(dir_.File("empty.gltf"),
            R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
                "nodes": [{"name": "marker", "translation": [1, 2, 3]}]})");
  ASSERT_TRUE(Load(dir_.File("empty.gltf")));
  StandInNode* marker = FindNode(scene_, "marker");
  ASSERT_NE(marker, nullptr);
  ASSERT_NE(marker->EvalWorldState(0, 1).obj, nullptr);
  EXPECT_FALSE(marker->EvalWorldState(0, 1).obj->CanConvertToType(host::triObjectClassID));

  // Points and lines are dropped: a file of nothing else is an empty scene.
  WriteText(dir_.File("lines.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\np 3\n");
  SceneImporter other;
  StandInScene other_scene;
  ASSERT_TRUE(other.Import(dir_.File("lines.obj"), {}, other_scene)) << other.Error();
  for (StandInNode* node : other_scene.Nodes())
    EXPECT_FALSE(node->Object() && node->Object()->IsGeometric()) << node->Name();
}

class SharedSceneImport : public Import {
 protected:
  void SetUp() override {
    scenes_ = testing_support::SharedScenesDir();
    if (scenes_.empty()) GTEST_SKIP() << "the shared scenes folder is absent";
  }
  // Every node whose object converts.
  std::vector<StandInNode*> MeshNodes() {
    std::vector<StandInNode*> result;
    for (StandInNode* node : scene_.Nodes())
      if (node->Object() && node->Object()->IsGeometric()) result.push_back(node);
    return result;
  }
  std::string scenes_;
};

TEST_F(SharedSceneImport, EmbeddedTextureIsRegisteredWithTheBitmapManager) {
  ASSERT_TRUE(Load(scenes_ + "/BoxTextured.glb"));
  const std::vector<StandInNode*> nodes = MeshNodes();
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(MeshAt(nodes[0], 0).getNumFaces(), 12);
  host::TextureMap* map = nodes[0]->GetMaterial()->GetSubTexmap(1);
  ASSERT_NE(map, nullptr);
  host::BitmapInfo info(static_cast<host::BitmapTexture*>(map)->GetMapName());
  std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_GT(bitmap->Width(), 0);
  EXPECT_GT(bitmap->Height(), 0);
}

TEST_F(SharedSceneImport, MorphTargetWeightsMoveTheCube) {
  ASSERT_TRUE(Load(scenes_ + "/AnimatedMorphCube.gltf"));
  const std::vector<StandInNode*> nodes = MeshNodes();
  ASSERT_EQ(nodes.size(), 1u);
  const host::ValidityInterval range = scene_.GetAnimationRange();
  EXPECT_GT(range.end, range.start);
  const host::Mesh start = MeshAt(nodes[0], range.start);
  const host::Mesh middle = MeshAt(nodes[0], (range.start + range.end) / 2);
  ASSERT_EQ(start.vertices.size(), middle.vertices.size());
  float largest_move = 0.0f;
  for (size_t v = 0; v < start.vertices.size(); ++v) {
    const host::Point3 d = middle.vertices[v] - start.vertices[v];
    largest_move = std::max(largest_move, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z));
  }
  EXPECT_GT(largest_move, 1e-3f);
}

TEST_F(SharedSceneImport, SkinnedCharacterMovesWithItsBones) {
  ASSERT_TRUE(Load(scenes_ + "/dwarf.x"));
  const std::vector<StandInNode*> nodes = MeshNodes();
  ASSERT_FALSE(nodes.empty());
  const host::ValidityInterval range = scene_.GetAnimationRange();
  // 55 keys at the default 25 a second: 2.2 seconds.
  EXPECT_EQ(range.end - range.start, 10560);
  // Two textured materials among the node's sub-materials.
  host::HostMaterial* material = nodes[0]->GetMaterial();
  ASSERT_NE(material, nullptr);
  ASSERT_EQ(material->ClassID(), host::kMultiMaterialClassId);
  int textured = 0;
  for (int i = 0; i < material->NumSubMtls(); ++i)
    if (material->GetSubMtl(i) && material->GetSubMtl(i)->GetSubTexmap(1)) ++textured;
  EXPECT_EQ(textured, 2);
  const host::Mesh start = MeshAt(nodes[0], range.start);
  const host::Mesh later = MeshAt(nodes[0], range.start + 2400);
  ASSERT_EQ(start.vertices.size(), later.vertices.size());
  size_t moved = 0;
  for (size_t v = 0; v < start.vertices.size(); ++v)
    if (!(start.vertices[v] == later.vertices[v])) ++moved;
  EXPECT_GT(moved, start.vertices.size() / 10);
}

// Reads vertex v of frame f of an MD2 file, decoded, in the file's own axes.
host::Point3 Md2Vertex(const std::vector<uint8_t>& md2, int frame, int v) {
  auto int_at = [&](size_t offset) { return testing_support::ReadInt32(md2, offset); };
  const int frame_size = int_at(16);
  const size_t frames = static_cast<size_t>(int_at(56));
  const size_t at = frames + static_cast<size_t>(frame) * frame_size;
  host::Point3 p;
  for (int axis = 0; axis < 3; ++axis) {
    p[axis] = md2.at(at + 40 + 4 * v + axis) * testing_support::ReadFloat(md2, at + 4 * axis) +
              testing_support::ReadFloat(md2, at + 12 + 4 * axis);
  }
  return p;
}

TEST_F(SharedSceneImport, QuakeModelKeyframesFaceTheHostsFront) {
  const std::string path = scenes_ + "/faerie.md2";
  ASSERT_TRUE(Load(path));
  // 198 keyframes a tenth of a second apart.
  EXPECT_EQ(scene_.GetAnimationRange().end, 197 * 480);
  const std::vector<StandInNode*> nodes = MeshNodes();
  ASSERT_EQ(nodes.size(), 1u);
  const std::vector<uint8_t> md2 = testing_support::ReadFileBytes(path);
  // The first triangle's corners, in the file's own order.
  const size_t triangles = static_cast<size_t>(testing_support::ReadInt32(md2, 52));
  std::set<int> corners;
  for (int c = 0; c < 3; ++c)
    corners.insert(md2.at(triangles + 2 * c) | md2.at(triangles + 2 * c + 1) << 8);
  for (int frame : {0, 100}) {
    const host::Mesh mesh = MeshAt(nodes[0], frame * 480);
    ASSERT_EQ(mesh.getNumFaces(), 654);
    // Each corner of face 0 is one of the MD2 triangle's vertices, turned a
    // quarter so that the model's +X front faces the host's -Y:
    // (x, y, z) -> (y, -x, z).
    for (int c = 0; c < 3; ++c) {
      const host::Point3 p =
          mesh.vertices.at(mesh.faces[0].v[c]) * nodes[0]->GetObjectTransform(0, nullptr);
      bool matched = false;
      for (int v : corners) {
        const host::Point3 q = Md2Vertex(md2, frame, v);
        matched = matched || (std::fabs(p.x - q.y) < 1e-3f && std::fabs(p.y + q.x) < 1e-3f &&
                              std::fabs(p.z - q.z) < 1e-3f);
      }
      EXPECT_TRUE(matched) << "frame " << frame << " corner " << c;
    }
  }
  // Halfway between keyframes 0 and 1 every vertex lies halfway.
  const host::Mesh a = MeshAt(nodes[0], 0);
  const host::Mesh b = MeshAt(nodes[0], 480);
  const host::Mesh half = MeshAt(nodes[0], 240);
  for (size_t v = 0; v < a.vertices.size(); v += 97)
    EXPECT_NEAR(half.vertices[v].x, (a.vertices[v].x + b.vertices[v].x) / 2, 1e-4f);
}

}  // namespace

TEST_F(SharedSceneImport, QuakeModelClipsAreItsRunsOfFrameNames) {
  const std::string path = scenes_ + "/faerie.md2";
  // stand01 .. stand40 play first, run1 .. run6 next, death01 .. death20 last;
  // by default every frame plays, in the file's order.
  const struct {
    const char* animation;
    host::HostTime end;
    const char* first_clip;
  } cases[] = {{"", 197 * 480, "stand"}, {"all", 197 * 480, "stand"},  {"0", 39 * 480, "stand"},
               {"run", 5 * 480, "run"},  {"DEATH", 19 * 480, "death"}, {"15", 19 * 480, "death"}};
  for (const auto& c : cases) {
    ImportOptions options;
    options.animation = c.animation;
    SceneImporter importer;
    StandInScene scene;
    ASSERT_TRUE(importer.Import(path, options, scene)) << c.animation << ": " << importer.Error();
    EXPECT_EQ(scene.GetAnimationRange().start, 0) << c.animation;
    EXPECT_EQ(scene.GetAnimationRange().end, c.end) << c.animation;
    ASSERT_FALSE(importer.Summary().timeline.empty());
    EXPECT_EQ(importer.Summary().timeline.front().name, c.first_clip) << c.animation;
    ASSERT_EQ(importer.Summary().clips.size(), 16u);
    EXPECT_EQ(importer.Summary().clips[1].name, "run");
    EXPECT_EQ(importer.Summary().clips[1].frames, 6);
    EXPECT_EQ(importer.Summary().clips[1].start, 40 * 480);
  }
  // A clip the file does not have is refused, and the refusal names some
  // that it has.
  ImportOptions options;
  options.animation = "keyframes";
  EXPECT_FALSE(importer_.Import(path, options, scene_));
  EXPECT_NE(importer_.Error().find("keyframes"), std::string::npos) << importer_.Error();
  EXPECT_NE(importer_.Error().find("stand, run, attack"), std::string::npos) << importer_.Error();
}

TEST_F(Import, KeysSharingATimeMakeAStep) {
  GltfFile file;
  file.meshes = file.Triangle();
  file.nodes = "{\"name\":\"hop\",\"mesh\":0}";
  file.animations =
      file.Clip("hop", 0, "translation", {0, 1, 1, 2}, {0, 0, 0, 0, 0, 0, 10, 0, 0, 10, 0, 0}, 3);
  WriteText(dir_.File("hop.gltf"), file.Text());
  ASSERT_TRUE(Load(dir_.File("hop.gltf")));
  StandInNode* hop = FindNode(scene_, "hop");
  ASSERT_NE(hop, nullptr);
  ExpectNearIn(kMetre, WorldVertex(hop, 2400, 0), 0, 0, 0);
  ExpectNearIn(kMetre, WorldVertex(hop, 4799, 0), 0, 0, 0);
  ExpectNearIn(kMetre, WorldVertex(hop, 4800, 0), 10, 0, 0);
  ExpectNearIn(kMetre, WorldVertex(hop, 7200, 0), 10, 0, 0);
}

TEST_F(Import, SkinnedVerticesFollowTheirBonesByNormalisedWeights) {
  GltfFile file;
  const int positions = file.AddFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, 3, true);
  const int joints = file.AddUint16({0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0}, 4);
  // The second vertex's weights add up to 0.5: they count half and half.
  const int weights = file.AddFloats({1, 0, 0, 0, 0.25f, 0.25f, 0, 0, 1, 0, 0, 0}, 4);
  const int binds = file.AddFloats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,  //
                                    1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
                                   16);
  // A second part, 2 lower in the file's z, weighted as the first.
  const int lower = file.AddFloats({0, 0, -2, 1, 0, -2, 0, 1, -2}, 3, true);
  const std::string weighting =
      ",\"JOINTS_0\":" + std::to_string(joints) + ",\"WEIGHTS_0\":" + std::to_string(weights);
  file.meshes = "{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(positions) +
                weighting + "}},{\"attributes\":{\"POSITION\":" + std::to_string(lower) +
                weighting + "}}]}";
  file.skins = "{\"joints\":[2,3],\"inverseBindMatrices\":" + std::to_string(binds) + "}";
  // The skinned mesh's own node stands 100 away: a skin follows its bones.
  file.nodes =
      "{\"name\":\"rig\",\"children\":[1,2,3]},"
      "{\"name\":\"skin\",\"mesh\":0,\"skin\":0,\"translation\":[100,0,0]},"
      "{\"name\":\"mover\"},{\"name\":\"anchor\"}";
  file.animations = file.Clip("move", 2, "translation", {0, 1}, {0, 0, 0, 2, 0, 0}, 3);
  WriteText(dir_.File("skin.gltf"), file.Text());
  ASSERT_TRUE(Load(dir_.File("skin.gltf")));
  StandInNode* skin = FindNode(scene_, "skin");
  ASSERT_NE(skin, nullptr);
  // Half a second in, the mover stands at x 1: the first vertex follows it
  // fully, the second half way, the third stays with the anchor (the file's
  // (0, 1, 0) is the host's (0, 0, 1)).
  ExpectNearIn(kMetre, WorldVertex(skin, 2400, 0), 1, 0, 0, 1e-4f);
  ExpectNearIn(kMetre, WorldVertex(skin, 2400, 1), 1.5f, 0, 0, 1e-4f);
  ExpectNearIn(kMetre, WorldVertex(skin, 2400, 2), 0, 0, 1, 1e-4f);
  // The second part's corners move alike, from their own places.
  ExpectNearIn(kMetre, WorldCorner(skin, 2400, 1, 0), 1, 2, 0, 1e-4f);
  ExpectNearIn(kMetre, WorldCorner(skin, 2400, 1, 1), 1.5f, 2, 0, 1e-4f);
  ExpectNearIn(kMetre, WorldCorner(skin, 2400, 1, 2), 0, 2, 1, 1e-4f);
}

TEST_F(Import, EachPartOfANodeKeepsItsCornersCoordinatesAndMorph) {
  // One mesh of three parts: two with texture coordinates around one
  // without, and a morph target that only the third part moves, half-way
  // by the mesh's default weight.
  GltfFile file;
  std::string parts;
  const float depths[3] = {0, 2, 4};
  for (int part = 0; part < 3; ++part) {
    const float z = depths[part];
    const int positions = file.AddFloats({0, 0, z, 1, 0, z, 0, 1, z}, 3, true);
    const float d = part == 2 ? 1.0f : 0.0f;
    const int target = file.AddFloats({0, d, 0, 0, d, 0, 0, d, 0}, 3, true);
    std::string attributes = "\"POSITION\":" + std::to_string(positions);
    if (part != 1) {
      const float u = 0.25f * static_cast<float>(part);
      attributes += ",\"TEXCOORD_0\":" + std::to_string(file.AddFloats({u, 0, 1, 0, u, 1}, 2));
    }
    parts += std::string(part ? "," : "") + "{\"attributes\":{" + attributes +
             "},\"targets\":[{\"POSITION\":" + std::to_string(target) + "}]}";
  }
  file.meshes = "{\"primitives\":[" + parts + "],\"weights\":[0.5]}";
  file.nodes = "{\"name\":\"parts\",\"mesh\":0}";
  WriteText(dir_.File("parts.gltf"), file.Text());
  ASSERT_TRUE(Load(dir_.File("parts.gltf")));
  StandInNode* node = FindNode(scene_, "parts");
  ASSERT_NE(node, nullptr);
  const host::Mesh mesh = MeshAt(node, 0);
  ASSERT_EQ(mesh.getNumFaces(), 3);
  ASSERT_EQ(mesh.texture_faces.size(), 3u);
  // The file's (x, y, z) is the host's (x, -z, y); its v runs down, the
  // host's up. The part without coordinates maps to (0, 0).
  for (int f = 0; f < 3; ++f) {
    const float up = f == 2 ? 0.5f : 0.0f;
    const float u = 0.25f * static_cast<float>(f);
    const float corners[3][4] = {{0, 0, u, 1}, {1, 0, 1, 1}, {0, 1, u, 0}};
    for (int c = 0; c < 3; ++c) {
      SCOPED_TRACE(::testing::Message() << "face " << f << " corner " << c);
      ExpectNearIn(kMetre, WorldCorner(node, 0, f, c), corners[c][0], -depths[f],
                   corners[c][1] + up);
      EXPECT_EQ(CornerUv(mesh, f, c).x, f == 1 ? 0.0f : corners[c][2]);
      EXPECT_EQ(CornerUv(mesh, f, c).y, f == 1 ? 0.0f : corners[c][3]);
    }
  }
}

// An MD3 file (Quake III's vertex-animated models) as the format lays it
// out: two surfaces of one triangle each, over two frames. Surface "a" is
// (0, 0, 0), (1, 0, 0), (0, 1, 0) at frame 0 and twice that at frame 1;
// surface "b" the same triangle at z 5, then at z 6. Coordinates in 64ths.
std::string TwoSurfaceMd3() {
  std::string out;
  const auto int32 = [&out](int32_t value) {
    for (int k = 0; k < 4; ++k) out += static_cast<char>((value >> (8 * k)) & 0xff);
  };
  const auto real = [&int32](float value) {
    int32_t bits;
    std::memcpy(&bits, &value, 4);
    int32(bits);
  };
  const auto name = [&out](const char* text, size_t size) {
    out += std::string(text).append(size - std::strlen(text), '\0');
  };
  name("IDP3", 4);
  int32(15);
  name("pair", 64);
  // Flags, frames, tags, surfaces, skins; offsets of the frames, tags,
  // surfaces and the end.
  for (int32_t field : {0, 2, 0, 2, 0, 108, 220, 220, 740}) int32(field);
  for (int frame = 0; frame < 2; ++frame) {
    for (float bound : {0.0f, 0.0f, 0.0f, 2.0f, 2.0f, 6.0f, 0.0f, 0.0f, 0.0f, 7.0f}) real(bound);
    name(frame ? "f1" : "f0", 16);
  }
  for (int surface = 0; surface < 2; ++surface) {
    name("IDP3", 4);
    name(surface ? "b" : "a", 64);
    // Flags, frames, shaders, vertices, triangles; offsets of the triangles,
    // shaders, texture coordinates, vertices and the end.
    for (int32_t field : {0, 2, 1, 3, 1, 176, 108, 188, 212, 260}) int32(field);
    name("", 68);
    for (int32_t corner : {0, 1, 2}) int32(corner);
    for (float st : {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f}) real(st);
    for (int frame = 0; frame < 2; ++frame) {
      const int size = (surface ? 1 : frame + 1) * 64;
      const int z = (surface ? 5 + frame : 0) * 64;
      for (int c = 0; c < 3; ++c) {
        for (int v : {c == 1 ? size : 0, c == 2 ? size : 0, z, 0})
          out.append(1, static_cast<char>(v & 0xff)).append(1, static_cast<char>(v >> 8));
      }
    }
  }
  return out;
}

TEST_F(Import, QuakeModelGivesEachSurfaceItsOwnCorners) {
  WriteText(dir_.File("pair.md3"), TwoSurfaceMd3());
  ASSERT_TRUE(Load(dir_.File("pair.md3")));
  // Each face is one surface's triangle at frame 0, the model's (x, y, z)
  // turned to the host's (y, -x, z), whichever nodes hold them.
  std::set<std::multiset<std::vector<float>>> faces;
  for (StandInNode* node : scene_.Nodes()) {
    if (!node->Object() || !node->Object()->IsGeometric()) continue;
    for (int f = 0; f < MeshAt(node, 0).getNumFaces(); ++f) {
      std::multiset<std::vector<float>> corners;
      for (int c = 0; c < 3; ++c) {
        const host::Point3 p = WorldCorner(node, 0, f, c);
        corners.insert({p.x, p.y, p.z});
      }
      faces.insert(corners);
    }
  }
  const std::set<std::multiset<std::vector<float>>> expected = {{{0, 0, 0}, {0, -1, 0}, {1, 0, 0}},
                                                                {{0, 0, 5}, {0, -1, 5}, {1, 0, 5}}};
  EXPECT_EQ(faces, expected);
}

TEST_F(Import, ClipTimesBeyondTheHostsTimeAreRefused) {
  // A key a million seconds in: 4.8e9 ticks, past the host's 32-bit time.
  GltfFile far;
  far.meshes = far.Triangle();
  far.nodes = "{\"name\":\"far\",\"mesh\":0}";
  far.animations = far.Clip("far", 0, "translation", {0, 1e6f}, {0, 0, 0, 1, 0, 0}, 3);
  WriteText(dir_.File("far.gltf"), far.Text());
  EXPECT_FALSE(importer_.Import(dir_.File("far.gltf"), {}, scene_));
  EXPECT_NE(importer_.Error().find("does not fit"), std::string::npos) << importer_.Error();

  // Two clips of 300000 seconds fit one by one, not back to back.
  GltfFile pair;
  pair.meshes = pair.Triangle();
  pair.nodes = "{\"name\":\"pair\",\"mesh\":0}";
  pair.animations = pair.Clip("a", 0, "translation", {0, 3e5f}, {0, 0, 0, 1, 0, 0}, 3) + "," +
                    pair.Clip("b", 0, "translation", {0, 3e5f}, {0, 0, 0, 0, 1, 0}, 3);
  WriteText(dir_.File("pair.gltf"), pair.Text());
  SceneImporter one;
  StandInScene one_scene;
  ASSERT_TRUE(one.Import(dir_.File("pair.gltf"), {}, one_scene)) << one.Error();
  EXPECT_EQ(one_scene.GetAnimationRange().end, 1440000000);
  ImportOptions all;
  all.animation = "all";
  SceneImporter both;
  StandInScene both_scene;
  EXPECT_FALSE(both.Import(dir_.File("pair.gltf"), all, both_scene));
  EXPECT_NE(both.Error().find("do not fit"), std::string::npos) << both.Error();
}

TEST_F(Import, AllClipsStartEachOnTheFirstFrameAfterThePreviousEnds) {
  GltfFile file;
  file.meshes = file.Triangle();
  file.nodes = "{\"name\":\"actor\",\"mesh\":0}";
  // A quarter second of walking to x 1, then half a second of jumping from
  // y 2 (the host's z 2) to y 4.
  file.animations = file.Clip("walk", 0, "translation", {0, 0.25f}, {0, 0, 0, 1, 0, 0}, 3) + "," +
                    file.Clip("jump", 0, "translation", {0, 0.5f}, {0, 2, 0, 0, 4, 0}, 3);
  WriteText(dir_.File("actor.gltf"), file.Text());
  ImportOptions all;
  all.animation = "all";
  ASSERT_TRUE(Load(dir_.File("actor.gltf"), all));
  // At 480 ticks a frame the walk ends at tick 1200, within frame 2; the jump
  // starts on frame 3, tick 1440, and ends 2400 ticks later.
  EXPECT_EQ(scene_.GetAnimationRange().start, 0);
  EXPECT_EQ(scene_.GetAnimationRange().end, 3840);
  StandInNode* actor = FindNode(scene_, "actor");
  ExpectNearIn(kMetre, WorldVertex(actor, 1200, 0), 1, 0, 0);
  ExpectNearIn(kMetre, WorldVertex(actor, 1440, 0), 0, 0, 2);
  ExpectNearIn(kMetre, WorldVertex(actor, 2640, 0), 0, 0, 3);
  ExpectNearIn(kMetre, WorldVertex(actor, 3840, 0), 0, 0, 4);
}

namespace {

// An MDC header: "IDPC", version 2, a 64-byte name, flags, then the frame
// count at byte 76 (little-endian), cut to the given size.
std::string MdcHeader(const char* ident, int32_t frames, size_t size) {
  std::string bytes(ident, 4);
  bytes += std::string("\x02\0\0\0", 4) + std::string(64, 'n') + std::string(4, '\0');
  for (int k = 0; k < 4; ++k)
    bytes += static_cast<char>((static_cast<uint32_t>(frames) >> (8 * k)) & 0xff);
  bytes += std::string(16, '\0');
  return bytes.substr(0, size);
}

}  // namespace

TEST_F(Import, MdcKeyframesStopAtTheFrameCountTheHeaderStates) {
  const std::string path = dir_.File("m.mdc");
  WriteText(path, MdcHeader("IDPC", 258, 100));  // 258 = 0x102: both low bytes count
  EXPECT_EQ(hostapp::MdcFrameCount(path), 258);
  WriteText(path, MdcHeader("IDPC", 7, 80));  // the count's last byte is the file's last
  EXPECT_EQ(hostapp::MdcFrameCount(path), 7);
  WriteText(path, MdcHeader("IDPC", 7, 79));
  EXPECT_EQ(hostapp::MdcFrameCount(path), 0);
  WriteText(path, MdcHeader("IDP3", 7, 100));
  EXPECT_EQ(hostapp::MdcFrameCount(path), 0);
  WriteText(path, MdcHeader("IDPC", -3, 100));
  EXPECT_EQ(hostapp::MdcFrameCount(path), 0);
  EXPECT_EQ(hostapp::MdcFrameCount(dir_.File("absent.mdc")), 0);
}

// Three triangles apart, textured through a sampler whose wrapS and wrapT
// are given: at u 5 .. 6, at u 4 .. 5, and at v 2 .. 3. The texture
// coordinates (u, v) of each face's corners as the host holds them (v up,
// as Assimp turns glTF's v down).
std::vector<std::multiset<std::pair<float, float>>> SampledCorners(const std::string& folder,
                                                                   int wrap_s, int wrap_t) {
  testscene::GltfBuffer buffer;
  const int positions = buffer.AddFloats(
      {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 0, 0, 3, 0, 0, 2, 1, 0, 4, 0, 0, 5, 0, 0, 4, 1, 0}, 3, true);
  const int uvs = buffer.AddFloats({5, 0, 6, 0, 5, 1, 4, 0, 5, 0, 4, 1, 0, 2, 1, 2, 0, 3}, 2);
  const std::string path = folder + "/sampled.gltf";
  WriteImage(folder + "/tiles.png");
  WriteText(path,
            "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
            "\"nodes\":[{\"name\":\"tiles\",\"mesh\":0}],"
            "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" +
                std::to_string(positions) + ",\"TEXCOORD_0\":" + std::to_string(uvs) +
                "},\"material\":0}]}],"
                "\"materials\":[{\"pbrMetallicRoughness\":{\"baseColorTexture\":"
                "{\"index\":0}}}],"
                "\"textures\":[{\"sampler\":0,\"source\":0}],"
                "\"images\":[{\"uri\":\"tiles.png\"}],"
                "\"samplers\":[{\"wrapS\":" +
                std::to_string(wrap_s) + ",\"wrapT\":" + std::to_string(wrap_t) + "}],\n" +
                buffer.Members() + "}");
  hostapp::SceneImporter importer;
  StandInScene scene;
  std::vector<std::multiset<std::pair<float, float>>> faces;
  if (!importer.Import(path, {}, scene)) {
    ADD_FAILURE() << importer.Error();
    return faces;
  }
  host::SetTicksPerFrame(160);
  const host::Mesh mesh = MeshAt(FindNode(scene, "tiles"), 0);
  for (const host::TextureFace& face : mesh.texture_faces) {
    faces.emplace_back();
    for (uint32_t t : face.t)
      faces.back().insert({mesh.texture_vertices.at(t).x, mesh.texture_vertices.at(t).y});
  }
  return faces;
}

TEST_F(Import, GltfSamplersRepeatMirrorOrClampEachAxisAsGltfMeansThem) {
  using Corners = std::multiset<std::pair<float, float>>;
  constexpr int kRepeat = 10497, kMirroredRepeat = 33648, kClampToEdge = 33071;
  // Mirrored along u, clamped along v.
  const auto mirrored = SampledCorners(dir_.path(), kMirroredRepeat, kClampToEdge);
  ASSERT_EQ(mirrored.size(), 3u);
  // Repeat 5 is an odd one: the picture mirrored, u becoming 6 - u, so the
  // corner at u 5 shows the picture's right edge. (v 0 .. 1 is 1 .. 0 up.)
  EXPECT_EQ(mirrored[0], (Corners{{1, 1}, {0, 1}, {1, 0}}));
  // Repeat 4 is an even one: the picture as it is, moved back by four.
  EXPECT_EQ(mirrored[1], (Corners{{0, 1}, {1, 1}, {0, 0}}));
  // Beyond 0 .. 1 on a clamped axis the edge shows: the corners stay.
  EXPECT_EQ(mirrored[2], (Corners{{0, -1}, {1, -1}, {0, -2}}));

  // Repeating on both axes: every face moved by whole repeats.
  const auto repeated = SampledCorners(dir_.path(), kRepeat, kRepeat);
  ASSERT_EQ(repeated.size(), 3u);
  EXPECT_EQ(repeated[0], (Corners{{0, 1}, {1, 1}, {0, 0}}));
  EXPECT_EQ(repeated[1], (Corners{{0, 1}, {1, 1}, {0, 0}}));
  // v' = 1 - v lies in -2 .. -1: moved up by two.
  EXPECT_EQ(repeated[2], (Corners{{0, 1}, {1, 1}, {0, 0}}));
}
