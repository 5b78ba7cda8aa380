// Scene files into the stand-in host: hierarchy, coordinates, materials,
// textures and animation, on small files the tests write themselves and on
// the shared scenes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/Bitmap.h"
#include "host/Timing.h"
#include "hostapp/Animation.h"
#include "hostapp/SceneImporter.h"
#include "hostapp/StandInScene.h"
#include "hostapp/Timeline.h"
#include "tests/TestSupport.h"

namespace {

using hostapp::HostTime;
using hostapp::StandInNode;
using hostapp::StandInScene;
using testing_support::TempDir;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

// A 2 x 2 PNG: red, green in the top row; blue, white in the bottom row.
const std::vector<uint8_t> kTinyPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd,
    0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8,
    0xcf, 0xc0, 0xc0, 0x00, 0xc2, 0x0c, 0xff, 0x81, 0x00, 0x00, 0x1f, 0xee, 0x05, 0xfb, 0x0b,
    0xd9, 0x68, 0x8b, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// A glTF 2.0 file written by hand: the test adds binary arrays as accessors
// and writes the JSON of nodes, meshes and the rest itself.
class GltfFile {
 public:
  int AddFloats(const std::vector<float>& values, const std::string& type) {
    Align();
    const size_t offset = buffer_.size();
    for (float value : values) {
      uint8_t bytes[4];
      std::memcpy(bytes, &value, 4);
      buffer_.insert(buffer_.end(), bytes, bytes + 4);
    }
    return AddAccessor(offset, values.size() * 4, 5126, values.size() / Components(type), type);
  }
  int AddShorts(const std::vector<uint16_t>& values, const std::string& type) {
    Align();
    const size_t offset = buffer_.size();
    for (uint16_t value : values) {
      buffer_.push_back(static_cast<uint8_t>(value & 0xff));
      buffer_.push_back(static_cast<uint8_t>(value >> 8));
    }
    return AddAccessor(offset, values.size() * 2, 5123, values.size() / Components(type), type);
  }

  std::string roots = "0";
  std::string nodes, meshes, animations, skins, materials, textures, images;

  std::string Text() const {
    std::string text = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[" +
                       roots + "]}],\"nodes\":[" + nodes + "]";
    auto part = [&text](const char* name, const std::string& items) {
      if (!items.empty()) text += std::string(",\"") + name + "\":[" + items + "]";
    };
    part("meshes", meshes);
    part("animations", animations);
    part("skins", skins);
    part("materials", materials);
    part("textures", textures);
    part("images", images);
    text += ",\"buffers\":[{\"byteLength\":" + std::to_string(buffer_.size()) +
            ",\"uri\":\"data:application/octet-stream;base64," + Base64(buffer_) + "\"}]";
    text += ",\"bufferViews\":[" + views_ + "],\"accessors\":[" + accessors_ + "]}";
    return text;
  }

 private:
  static size_t Components(const std::string& type) {
    if (type == "SCALAR") return 1;
    if (type == "VEC2") return 2;
    if (type == "VEC3") return 3;
    if (type == "VEC4") return 4;
    return 16;  // MAT4
  }
  void Align() {
    while (buffer_.size() % 4 != 0) buffer_.push_back(0);
  }
  int AddAccessor(size_t offset, size_t length, int component, size_t count, const std::string& type) {
    const std::string index = std::to_string(count_);
    if (count_ > 0) {
      views_ += ",";
      accessors_ += ",";
    }
    views_ += "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
              ",\"byteLength\":" + std::to_string(length) + "}";
    accessors_ += "{\"bufferView\":" + index + ",\"componentType\":" + std::to_string(component) +
                  ",\"count\":" + std::to_string(count) + ",\"type\":\"" + type + "\"}";
    return count_++;
  }

  std::vector<uint8_t> buffer_;
  std::string views_, accessors_;
  int count_ = 0;
};

// A mesh entry of one triangle (0,0,0), (1,0,0), (0,1,0) as glTF JSON.
std::string TriangleMesh(GltfFile& file) {
  const int positions = file.AddFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  return "{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(positions) + "}}]}";
}

StandInNode* FindNode(const StandInScene& scene, const std::string& name) {
  for (StandInNode* node : scene.Nodes()) {
    if (node->Name() == name) return node;
  }
  return nullptr;
}

host::Mesh MeshAt(StandInNode* node, HostTime t) {
  host::HostObject* object = node->EvalWorldState(t, 1).obj;
  host::HostObject* converted = object->ConvertToType(t, host::triObjectClassID);
  return static_cast<host::TriObject*>(converted)->GetMesh();
}

// Where the node puts a point of its mesh in the host's world at t.
host::Point3 World(StandInNode* node, const host::Point3& p, HostTime t) {
  return p * node->GetObjectTransform(t, nullptr);
}

::testing::AssertionResult Near(const host::Point3& actual, const host::Point3& expected,
                                double tolerance = 1e-5) {
  if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
      std::fabs(actual.z - expected.z) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "(" << actual.x << ", " << actual.y << ", " << actual.z
                                       << ") is not (" << expected.x << ", " << expected.y << ", "
                                       << expected.z << ")";
}

bool Import(const std::string& path, StandInScene& scene, hostapp::ImportResult* result,
            const std::string& animation = "", int fps = 10, std::string* error = nullptr) {
  hostapp::ImportOptions options;
  options.animation = animation;
  options.frames_per_second = fps;
  std::string reason;
  const bool ok = hostapp::ImportScene(path, options, scene, result, error ? error : &reason);
  if (!ok && !error) ADD_FAILURE() << reason;
  return ok;
}

bool Converts(StandInNode* node) {
  return node->Object() && node->Object()->CanConvertToType(host::triObjectClassID);
}

// A rotation of angle degrees about +Y as a glTF quaternion (x, y, z, w).
std::vector<float> AboutY(double degrees) {
  const double half = degrees * M_PI / 360.0;
  return {0.0f, static_cast<float>(std::sin(half)), 0.0f, static_cast<float>(std::cos(half))};
}

}  // namespace

TEST(SceneImporter, KeepsHierarchyNamesAndComposesTransformsUnderTheZUpTurn) {
  TempDir dir;
  GltfFile file;
  file.meshes = TriangleMesh(file);
  file.nodes =
      "{\"name\":\"body\",\"translation\":[1,2,4],\"children\":[1,2]},"
      "{\"name\":\"arm\",\"translation\":[0,1,0],\"scale\":[2,2,2],\"mesh\":0},"
      "{\"name\":\"lamp\"}";
  WriteText(dir.File("tree.gltf"), file.Text());

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("tree.gltf"), scene, &result));
  std::vector<std::string> names;
  for (StandInNode* node : scene.Nodes()) names.push_back(node->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"body", "arm", "lamp"}));
  StandInNode* body = FindNode(scene, "body");
  StandInNode* arm = FindNode(scene, "arm");
  StandInNode* lamp = FindNode(scene, "lamp");
  ASSERT_TRUE(body && arm && lamp);
  EXPECT_EQ(arm->Parent(), body);
  EXPECT_EQ(lamp->Parent(), body);
  EXPECT_FALSE(Converts(body));
  EXPECT_FALSE(Converts(lamp));
  ASSERT_TRUE(Converts(arm));

  // (1, 0, 0) of the arm: scaled 2, moved up 1: (2, 1, 0); moved by the body:
  // (3, 3, 4) with Y up; turned to Z up by (x, -z, y): (3, -4, 3).
  EXPECT_TRUE(Near(World(arm, {1, 0, 0}, 0), {3, -4, 3}));
  const host::Mesh mesh = MeshAt(arm, 0);
  ASSERT_EQ(mesh.getNumFaces(), 1);
  EXPECT_TRUE(mesh.texture_faces.empty());
  EXPECT_EQ(scene.GetAnimationRange().start, 0);
  EXPECT_EQ(scene.GetAnimationRange().end, 0);
}

TEST(SceneImporter, ObjFacesCarrySubMaterialIndicesAndOnlyTrianglesRemain) {
  TempDir dir;
  testing_support::WriteFileBytes(dir.File("paint.png"), kTinyPng);
  WriteText(dir.File("two.mtl"),
            "newmtl red\nKd 1 0 0\n"
            "newmtl blue\nKd 0 0 1\nmap_Kd paint.png\n");
  WriteText(dir.File("two.obj"),
            "mtllib two.mtl\no thing\n"
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 1 2 3\n"
            "vt 0 0\nvt 1 0\nvt 0 1\n"
            "usemtl red\nf 1 2 3 4\nl 1 5\np 5\n"
            "usemtl blue\nf 2/1 5/2 3/3\n");
  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("two.obj"), scene, &result));
  StandInNode* thing = FindNode(scene, "thing");
  ASSERT_TRUE(thing);
  ASSERT_TRUE(Converts(thing));

  host::HostMaterial* material = thing->GetMaterial();
  ASSERT_TRUE(material);
  ASSERT_EQ(material->ClassID(), host::kMultiMaterialClassId);
  ASSERT_EQ(material->NumSubMtls(), 2);
  const host::Mesh mesh = MeshAt(thing, 0);
  // The quad became two triangles; the line and the point are gone.
  ASSERT_EQ(mesh.getNumFaces(), 3);
  int red_faces = 0, blue_faces = 0;
  for (int f = 0; f < 3; ++f) {
    const std::string name = material->GetSubMtl(mesh.getFaceMtlIndex(f))->GetName();
    red_faces += name == "red";
    blue_faces += name == "blue";
  }
  EXPECT_EQ(red_faces, 2);
  EXPECT_EQ(blue_faces, 1);

  for (int i = 0; i < 2; ++i) {
    host::HostMaterial* sub = material->GetSubMtl(i);
    const host::Color colour = sub->GetDiffuse(0, 0);
    if (std::string(sub->GetName()) == "red") {
      EXPECT_EQ(colour.r, 1.0f);
      EXPECT_EQ(colour.b, 0.0f);
      EXPECT_EQ(sub->GetSubTexmap(host::kDiffuseMapSlot), nullptr);
    } else {
      EXPECT_EQ(colour.b, 1.0f);
      auto* map = static_cast<host::BitmapTexture*>(sub->GetSubTexmap(host::kDiffuseMapSlot));
      ASSERT_TRUE(map);
      EXPECT_EQ(map->ClassID(), host::kBitmapTextureClassId);
      EXPECT_EQ(std::string(map->GetMapName()), dir.File("paint.png"));
    }
  }

  // The fifth vertex (1, 2, 3) stands at (1, -3, 2) in the host.
  bool found = false;
  for (const host::Point3& v : mesh.vertices) found = found || Near(World(thing, v, 0), {1, -3, 2});
  EXPECT_TRUE(found);
}

TEST(SceneImporter, MeshWithoutTextureCoordinatesHasNoTextureFaces) {
  TempDir dir;
  WriteText(dir.File("plain.obj"), "o plain\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("plain.obj"), scene, &result));
  StandInNode* plain = FindNode(scene, "plain");
  ASSERT_TRUE(plain && Converts(plain));
  const host::Mesh mesh = MeshAt(plain, 0);
  EXPECT_EQ(mesh.getNumFaces(), 1);
  EXPECT_TRUE(mesh.texture_vertices.empty());
  EXPECT_TRUE(mesh.texture_faces.empty());
  // A single material stays a standard material.
  ASSERT_TRUE(plain->GetMaterial());
  EXPECT_NE(plain->GetMaterial()->ClassID(), host::kMultiMaterialClassId);
}

TEST(SceneImporter, RepeatedTextureCoordinatesMoveIntoTheUnitSquareFaceByFace) {
  TempDir dir;
  WriteText(dir.File("tiles.obj"),
            "o tiles\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
            "vt 5 0\nvt 6 0\nvt 5 1\nvt 0.5 0\nvt 1.5 0\nvt -0.75 -1\n"
            "f 1/1 2/2 3/3\nf 1/4 2/5 3/6\n");
  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("tiles.obj"), scene, &result));
  const host::Mesh mesh = MeshAt(FindNode(scene, "tiles"), 0);
  ASSERT_EQ(mesh.getNumFaces(), 2);
  ASSERT_EQ(mesh.texture_faces.size(), 2u);
  // The first face lies within one repeat, five to the right: moved back.
  std::set<std::pair<float, float>> first, second;
  for (int c = 0; c < 3; ++c) {
    const host::Point3& a = mesh.texture_vertices[mesh.texture_faces[0].t[c]];
    const host::Point3& b = mesh.texture_vertices[mesh.texture_faces[1].t[c]];
    first.insert({a.x, a.y});
    second.insert({b.x, b.y});
  }
  EXPECT_EQ(first, (std::set<std::pair<float, float>>{{0, 0}, {1, 0}, {0, 1}}));
  // The second spans two repeats in u and stays; in v it lies in -1..0 and
  // moves up by one.
  EXPECT_EQ(second, (std::set<std::pair<float, float>>{{0.5f, 1}, {1.5f, 1}, {-0.75f, 0}}));
}

TEST(SceneImporter, RegistersEmbeddedImagesUnderNamesTheBitmapManagerLoads) {
  TempDir dir;
  GltfFile file;
  const int positions = file.AddFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  const int uvs = file.AddFloats({0, 0, 1, 0, 0, 1}, "VEC2");
  file.meshes = "{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(positions) +
                ",\"TEXCOORD_0\":" + std::to_string(uvs) + "},\"material\":0}]}";
  file.materials = "{\"name\":\"painted\",\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":0}}}";
  file.textures = "{\"source\":0}";
  file.images = "{\"uri\":\"data:image/png;base64," + Base64(kTinyPng) + "\"}";
  file.nodes = "{\"name\":\"card\",\"mesh\":0}";
  WriteText(dir.File("card.gltf"), file.Text());

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("card.gltf"), scene, &result));
  StandInNode* card = FindNode(scene, "card");
  ASSERT_TRUE(card && card->GetMaterial());
  auto* map = static_cast<host::BitmapTexture*>(card->GetMaterial()->GetSubTexmap(host::kDiffuseMapSlot));
  ASSERT_TRUE(map);
  host::BitmapInfo info(map->GetMapName());
  std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
  ASSERT_TRUE(bitmap);
  ASSERT_EQ(bitmap->Width(), 2);
  ASSERT_EQ(bitmap->Height(), 2);
  uint8_t rgba[4];
  bitmap->Storage()->ReadColor(1, 0, rgba);  // top right: green
  EXPECT_EQ(rgba[0], 0);
  EXPECT_EQ(rgba[1], 255);
  EXPECT_EQ(rgba[2], 0);
  bitmap->Storage()->ReadColor(0, 1, rgba);  // bottom left: blue
  EXPECT_EQ(rgba[0], 0);
  EXPECT_EQ(rgba[2], 255);

  // glTF counts v downward; the host's v points up.
  const host::Mesh mesh = MeshAt(card, 0);
  ASSERT_EQ(mesh.texture_faces.size(), 1u);
  std::set<std::pair<float, float>> corners;
  for (int c = 0; c < 3; ++c) {
    const host::Point3& uv = mesh.texture_vertices[mesh.texture_faces[0].t[c]];
    corners.insert({uv.x, uv.y});
  }
  EXPECT_EQ(corners, (std::set<std::pair<float, float>>{{0, 1}, {1, 1}, {0, 0}}));
}

TEST(SceneImporter, BoxTexturedCarriesItsEmbeddedPng) {
  const std::string shared = testing_support::SharedScenesDir();
  if (shared.empty()) GTEST_SKIP() << "the shared scenes are absent";
  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(shared + "/BoxTextured.glb", scene, &result));
  int textured = 0;
  for (StandInNode* node : scene.Nodes()) {
    if (!Converts(node)) continue;
    auto* map = static_cast<host::BitmapTexture*>(node->GetMaterial()->GetSubTexmap(host::kDiffuseMapSlot));
    ASSERT_TRUE(map);
    host::BitmapInfo info(map->GetMapName());
    std::unique_ptr<host::Bitmap> bitmap(host::TheManager->Load(&info));
    ASSERT_TRUE(bitmap) << map->GetMapName();
    EXPECT_GT(bitmap->Width(), 1);
    ++textured;
  }
  EXPECT_EQ(textured, 1);
}

TEST(SceneImporter, FileWithoutMeshesIsASceneOfObjectsThatDoNotConvert) {
  TempDir dir;
  GltfFile file;
  file.roots = "0";
  file.nodes = "{\"name\":\"camera rig\",\"children\":[1]},{\"name\":\"light\"}";
  WriteText(dir.File("empty.gltf"), file.Text());
  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("empty.gltf"), scene, &result));
  ASSERT_EQ(scene.Nodes().size(), 2u);
  for (StandInNode* node : scene.Nodes()) EXPECT_FALSE(Converts(node)) << node->Name();
}

TEST(SceneImporter, UnreadableFilesGiveAReason) {
  TempDir dir;
  WriteText(dir.File("broken.gltf"), "{\"asset\": not json");
  hostapp::ImportedScene imported;
  std::string error;
  EXPECT_FALSE(hostapp::ReadSceneFile(dir.File("broken.gltf"), &imported, &error));
  EXPECT_EQ(error.find("cannot read " + dir.File("broken.gltf") + ": "), 0u) << error;
  EXPECT_GT(error.size(), std::string("cannot read " + dir.File("broken.gltf") + ": ").size());
  error.clear();
  EXPECT_FALSE(hostapp::ReadSceneFile(dir.File("absent.obj"), &imported, &error));
  EXPECT_NE(error.find("no such file"), std::string::npos) << error;
}

TEST(SceneImporter, QuakeModelKeepsItsCoordinatesTurnedToFaceMinusY) {
  const std::string shared = testing_support::SharedScenesDir();
  if (shared.empty()) GTEST_SKIP() << "the shared scenes are absent";
  const std::string path = shared + "/faerie.md2";
  // The MD2's own frames, read here from the file: per frame a scale and a
  // translation, then one byte triple per vertex.
  const std::vector<uint8_t> md2 = testing_support::ReadFileBytes(path);
  ASSERT_GT(md2.size(), 68u);
  auto int32 = [&md2](size_t offset) { return testing_support::ReadInt32(md2, offset); };
  const int vertex_count = int32(24), triangle_count = int32(32), frame_count = int32(40);
  const size_t frame_size = static_cast<size_t>(int32(16));
  const size_t triangles_at = static_cast<size_t>(int32(52)), frames_at = static_cast<size_t>(int32(56));
  ASSERT_EQ(frame_count, 198);
  auto md2_vertex = [&](int frame, int vertex) {
    const size_t at = frames_at + frame_size * static_cast<size_t>(frame);
    host::Point3 p;
    for (int axis = 0; axis < 3; ++axis) {
      const float scale = testing_support::ReadFloat(md2, at + 4 * static_cast<size_t>(axis));
      const float move = testing_support::ReadFloat(md2, at + 12 + 4 * static_cast<size_t>(axis));
      p[axis] = md2[at + 40 + 4 * static_cast<size_t>(vertex) + static_cast<size_t>(axis)] * scale + move;
    }
    return p;
  };
  // Facing -Y instead of +X: (x, y, z) -> (y, -x, z).
  auto turned = [](const host::Point3& p) { return host::Point3(p.y, -p.x, p.z); };

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(path, scene, &result));
  EXPECT_EQ(scene.GetAnimationRange().start, 0);
  EXPECT_EQ(scene.GetAnimationRange().end, 197 * 480);
  EXPECT_EQ(host::GetTicksPerFrame(), 480);
  StandInNode* model = nullptr;
  for (StandInNode* node : scene.Nodes()) {
    if (Converts(node)) model = node;
  }
  ASSERT_TRUE(model);

  // Frame 0, frame 5, and halfway between frames 5 and 6: each face's
  // corners are the MD2 triangle's corners, turned.
  struct Sample {
    HostTime time;
    int frame;
    double toward_next;
  };
  for (const Sample& sample : {Sample{0, 0, 0.0}, Sample{5 * 480, 5, 0.0}, Sample{5 * 480 + 240, 5, 0.5}}) {
    const host::Mesh mesh = MeshAt(model, sample.time);
    ASSERT_EQ(mesh.getNumFaces(), triangle_count);
    for (int f = 0; f < triangle_count; f += 37) {
      std::vector<host::Point3> expected;
      for (int c = 0; c < 3; ++c) {
        const int16_t index = static_cast<int16_t>(md2[triangles_at + 12 * static_cast<size_t>(f) + 2 * static_cast<size_t>(c)] |
                                                   md2[triangles_at + 12 * static_cast<size_t>(f) + 2 * static_cast<size_t>(c) + 1] << 8);
        ASSERT_LT(index, vertex_count);
        const host::Point3 a = md2_vertex(sample.frame, index);
        const host::Point3 b = md2_vertex(sample.frame + 1, index);
        const double w = sample.toward_next;
        expected.push_back(turned({static_cast<float>(a.x + (b.x - a.x) * w),
                                   static_cast<float>(a.y + (b.y - a.y) * w),
                                   static_cast<float>(a.z + (b.z - a.z) * w)}));
      }
      for (int c = 0; c < 3; ++c) {
        const host::Point3 actual = World(model, mesh.vertices[mesh.faces[static_cast<size_t>(f)].v[c]], sample.time);
        bool matched = false;
        for (const host::Point3& e : expected) matched = matched || Near(actual, e, 1e-4);
        EXPECT_TRUE(matched) << "face " << f << " corner " << c << " at " << sample.time;
      }
    }
  }
}

TEST(Animation, TranslationIsLinearBetweenKeys) {
  TempDir dir;
  GltfFile file;
  file.meshes = TriangleMesh(file);
  const int times = file.AddFloats({0, 2}, "SCALAR");
  const int moves = file.AddFloats({0, 0, 0, 0, 4, 0}, "VEC3");
  file.nodes = "{\"name\":\"lift\",\"mesh\":0}";
  file.animations = "{\"name\":\"up\",\"samplers\":[{\"input\":" + std::to_string(times) +
                    ",\"output\":" + std::to_string(moves) +
                    "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"translation\"}}]}";
  WriteText(dir.File("lift.gltf"), file.Text());

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("lift.gltf"), scene, &result));
  EXPECT_EQ(scene.GetAnimationRange().start, 0);
  EXPECT_EQ(scene.GetAnimationRange().end, 9600);  // 2 s of 4800 ticks
  EXPECT_EQ(scene.GetTime(), 0);
  EXPECT_EQ(result.timeline.FrameCount(), 21);
  StandInNode* lift = FindNode(scene, "lift");
  ASSERT_TRUE(lift);
  // Halfway, 2 up in Y: 2 up in Z for the host.
  EXPECT_TRUE(Near(World(lift, {0, 0, 0}, 4800), {0, 0, 2}));
  EXPECT_TRUE(Near(World(lift, {0, 0, 0}, 2400), {0, 0, 1}));
  EXPECT_TRUE(Near(World(lift, {0, 0, 0}, 9600), {0, 0, 4}));
}

TEST(Animation, RotationIsSphericalBetweenKeys) {
  TempDir dir;
  GltfFile file;
  file.meshes = TriangleMesh(file);
  const int times = file.AddFloats({0, 1}, "SCALAR");
  std::vector<float> turns = AboutY(0);
  const std::vector<float> end = AboutY(120);
  turns.insert(turns.end(), end.begin(), end.end());
  const int rotations = file.AddFloats(turns, "VEC4");
  file.nodes = "{\"name\":\"turn\",\"mesh\":0}";
  file.animations = "{\"samplers\":[{\"input\":" + std::to_string(times) + ",\"output\":" +
                    std::to_string(rotations) +
                    "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"rotation\"}}]}";
  WriteText(dir.File("turn.gltf"), file.Text());

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("turn.gltf"), scene, &result));
  StandInNode* turn = FindNode(scene, "turn");
  ASSERT_TRUE(turn);
  // A quarter of the way through 120 degrees is 30 degrees (straight blending
  // of the quaternions would give 27.8). (1, 0, 0) turned 30 degrees about +Y
  // is (cos 30, 0, -sin 30), which the host sees as (cos 30, sin 30, 0).
  EXPECT_TRUE(Near(World(turn, {1, 0, 0}, 1200), {0.8660254f, 0.5f, 0}));
  EXPECT_TRUE(Near(World(turn, {1, 0, 0}, 4800), {-0.5f, 0.8660254f, 0}));
}

TEST(Animation, KeysSharingATimeMakeAStep) {
  TempDir dir;
  GltfFile file;
  file.meshes = TriangleMesh(file);
  const int times = file.AddFloats({0, 1, 1, 2}, "SCALAR");
  const int moves = file.AddFloats({0, 0, 0, 0, 0, 0, 10, 0, 0, 10, 0, 0}, "VEC3");
  file.nodes = "{\"name\":\"hop\",\"mesh\":0}";
  file.animations = "{\"samplers\":[{\"input\":" + std::to_string(times) + ",\"output\":" +
                    std::to_string(moves) +
                    "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"translation\"}}]}";
  WriteText(dir.File("hop.gltf"), file.Text());

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("hop.gltf"), scene, &result));
  StandInNode* hop = FindNode(scene, "hop");
  ASSERT_TRUE(hop);
  EXPECT_TRUE(Near(World(hop, {0, 0, 0}, 2400), {0, 0, 0}));
  EXPECT_TRUE(Near(World(hop, {0, 0, 0}, 4799), {0, 0, 0}));
  EXPECT_TRUE(Near(World(hop, {0, 0, 0}, 4800), {10, 0, 0}));
  EXPECT_TRUE(Near(World(hop, {0, 0, 0}, 7200), {10, 0, 0}));
}

TEST(Animation, TracksHoldRepeatOrExtendBeyondTheirKeys) {
  const std::vector<hostapp::Key<hostapp::Vec3>> keys = {{1.0, {0, 0, 0}}, {2.0, {4, 0, 0}}};
  const hostapp::Vec3 fallback{9, 9, 9};
  using hostapp::Extrapolation;
  auto x = [&](double t, Extrapolation rule) {
    return hostapp::SampleVectorTrack(keys, t, rule, rule, fallback).x;
  };
  EXPECT_DOUBLE_EQ(x(0.0, Extrapolation::kHold), 0.0);
  EXPECT_DOUBLE_EQ(x(3.0, Extrapolation::kHold), 4.0);
  EXPECT_DOUBLE_EQ(x(0.5, Extrapolation::kLinear), -2.0);
  EXPECT_DOUBLE_EQ(x(2.5, Extrapolation::kLinear), 6.0);
  EXPECT_DOUBLE_EQ(x(2.25, Extrapolation::kRepeat), 1.0);
  EXPECT_DOUBLE_EQ(x(0.75, Extrapolation::kRepeat), 3.0);
  EXPECT_DOUBLE_EQ(hostapp::SampleVectorTrack({}, 1.0, Extrapolation::kHold, Extrapolation::kHold, fallback).x, 9.0);
}

TEST(Animation, ClipsAreChosenByNameOrIndexOrAllBackToBack) {
  TempDir dir;
  GltfFile file;
  file.meshes = TriangleMesh(file);
  const int walk_times = file.AddFloats({0, 1}, "SCALAR");
  const int walk_moves = file.AddFloats({0, 0, 0, 1, 0, 0}, "VEC3");
  const int jump_times = file.AddFloats({0, 0.5f}, "SCALAR");
  const int jump_moves = file.AddFloats({0, 0, 0, 0, 2, 0}, "VEC3");
  file.nodes = "{\"name\":\"actor\",\"mesh\":0}";
  auto clip = [](const char* name, int input, int output) {
    return std::string("{\"name\":\"") + name + "\",\"samplers\":[{\"input\":" + std::to_string(input) +
           ",\"output\":" + std::to_string(output) +
           "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"translation\"}}]}";
  };
  file.animations = clip("walk", walk_times, walk_moves) + "," + clip("jump", jump_times, jump_moves);
  WriteText(dir.File("actor.gltf"), file.Text());

  hostapp::ImportedScene imported;
  std::string error;
  ASSERT_TRUE(hostapp::ReadSceneFile(dir.File("actor.gltf"), &imported, &error)) << error;
  ASSERT_EQ(imported.clips.size(), 2u);
  hostapp::Timeline timeline;
  ASSERT_TRUE(hostapp::MakeTimeline(imported, "", 10, &timeline, &error));
  EXPECT_EQ(timeline.end, 4800);
  ASSERT_TRUE(hostapp::MakeTimeline(imported, "jump", 10, &timeline, &error));
  EXPECT_EQ(timeline.end, 2400);
  ASSERT_TRUE(hostapp::MakeTimeline(imported, "1", 10, &timeline, &error));
  EXPECT_EQ(timeline.placements.at(0).clip, 1);
  // Walk fills frames 0 to 10 (ticks 0 to 4800); jump starts on frame 11.
  ASSERT_TRUE(hostapp::MakeTimeline(imported, "all", 10, &timeline, &error));
  ASSERT_EQ(timeline.placements.size(), 2u);
  EXPECT_EQ(timeline.placements[1].host_start, 5280);
  EXPECT_EQ(timeline.end, 5280 + 2400);
  EXPECT_EQ(timeline.FrameCount(), 17);
  EXPECT_FALSE(hostapp::MakeTimeline(imported, "run", 10, &timeline, &error));
  EXPECT_NE(error.find("\"walk\""), std::string::npos) << error;
  EXPECT_FALSE(hostapp::MakeTimeline(imported, "2", 10, &timeline, &error));
  EXPECT_FALSE(hostapp::MakeTimeline(imported, "", 7, &timeline, &error));
  EXPECT_NE(error.find("4800"), std::string::npos) << error;
  ASSERT_TRUE(hostapp::MakeTimeline(imported, "", 25, &timeline, &error));
  EXPECT_EQ(timeline.ticks_per_frame, 192);

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("actor.gltf"), scene, &result, "all"));
  StandInNode* actor = FindNode(scene, "actor");
  // A quarter second into the jump: 1 up in Y, 1 up in Z; the walk ended at x 1.
  EXPECT_TRUE(Near(World(actor, {0, 0, 0}, 5280 + 1200), {0, 0, 1}));
  EXPECT_TRUE(Near(World(actor, {0, 0, 0}, 4800), {1, 0, 0}));
  EXPECT_TRUE(Near(World(actor, {0, 0, 0}, 5000), {1, 0, 0}));
}

TEST(Animation, SkinnedVerticesFollowTheirBonesByNormalisedWeights) {
  TempDir dir;
  GltfFile file;
  const int positions = file.AddFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  const int joints = file.AddShorts({0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0}, "VEC4");
  // The second vertex's weights add up to 0.5: they count half and half.
  const int weights = file.AddFloats({1, 0, 0, 0, 0.25f, 0.25f, 0, 0, 1, 0, 0, 0}, "VEC4");
  const int binds = file.AddFloats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
                                    1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
                                   "MAT4");
  const int times = file.AddFloats({0, 1}, "SCALAR");
  const int moves = file.AddFloats({0, 0, 0, 2, 0, 0}, "VEC3");
  file.meshes = "{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(positions) +
                ",\"JOINTS_0\":" + std::to_string(joints) + ",\"WEIGHTS_0\":" + std::to_string(weights) +
                "}}]}";
  file.skins = "{\"joints\":[2,3],\"inverseBindMatrices\":" + std::to_string(binds) + "}";
  file.nodes =
      "{\"name\":\"rig\",\"children\":[1,2,3]},"
      "{\"name\":\"skin\",\"mesh\":0,\"skin\":0},"
      "{\"name\":\"mover\"},{\"name\":\"anchor\"}";
  file.animations = "{\"samplers\":[{\"input\":" + std::to_string(times) + ",\"output\":" +
                    std::to_string(moves) +
                    "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":2,\"path\":\"translation\"}}]}";
  WriteText(dir.File("skin.gltf"), file.Text());

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("skin.gltf"), scene, &result));
  StandInNode* skin = FindNode(scene, "skin");
  ASSERT_TRUE(skin && Converts(skin));
  EXPECT_FALSE(Converts(FindNode(scene, "mover")));
  // Half a second in, the mover stands at x 1: the first vertex follows it
  // fully, the second half way, the third stays with the anchor.
  std::vector<host::Point3> at_half;
  for (const host::Point3& v : MeshAt(skin, 2400).vertices) at_half.push_back(World(skin, v, 2400));
  ASSERT_EQ(at_half.size(), 3u);
  EXPECT_TRUE(Near(at_half[0], {1, 0, 0}));
  EXPECT_TRUE(Near(at_half[1], {1.5f, 0, 0}));
  EXPECT_TRUE(Near(at_half[2], {0, 0, 1}));
}

TEST(Animation, MorphWeightsPullTowardTheirTargets) {
  TempDir dir;
  GltfFile file;
  const int positions = file.AddFloats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  const int target = file.AddFloats({0, 1, 0, 0, 0, 0, 0, 0, 0}, "VEC3");
  const int times = file.AddFloats({0, 1}, "SCALAR");
  const int weights = file.AddFloats({0, 1}, "SCALAR");
  file.meshes = "{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(positions) +
                "},\"targets\":[{\"POSITION\":" + std::to_string(target) + "}]}],\"weights\":[0]}";
  file.nodes = "{\"name\":\"blob\",\"mesh\":0}";
  file.animations = "{\"samplers\":[{\"input\":" + std::to_string(times) + ",\"output\":" +
                    std::to_string(weights) +
                    "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"weights\"}}]}";
  WriteText(dir.File("blob.gltf"), file.Text());

  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(dir.File("blob.gltf"), scene, &result));
  StandInNode* blob = FindNode(scene, "blob");
  ASSERT_TRUE(blob);
  // A quarter second in, the first vertex has moved a quarter of the way up
  // (Y in the file, Z in the host); the others have no offset.
  const host::Mesh mesh = MeshAt(blob, 1200);
  ASSERT_EQ(mesh.vertices.size(), 3u);
  EXPECT_TRUE(Near(World(blob, mesh.vertices[0], 1200), {0, 0, 0.25f}));
  EXPECT_TRUE(Near(World(blob, mesh.vertices[1], 1200), {1, 0, 0}));
  EXPECT_TRUE(Near(World(blob, MeshAt(blob, 4800).vertices[0], 4800), {0, 0, 1}));
}

TEST(Animation, MorphCubeChangesShapeOverItsClip) {
  const std::string shared = testing_support::SharedScenesDir();
  if (shared.empty()) GTEST_SKIP() << "the shared scenes are absent";
  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(shared + "/AnimatedMorphCube.gltf", scene, &result));
  EXPECT_EQ(scene.GetAnimationRange().end, 20160);  // 4.2 s
  StandInNode* cube = FindNode(scene, "AnimatedMorphCube");
  ASSERT_TRUE(cube);
  const host::Mesh start = MeshAt(cube, 0);
  const host::Mesh later = MeshAt(cube, 4800);
  ASSERT_EQ(start.vertices.size(), later.vertices.size());
  EXPECT_EQ(start.getNumFaces(), later.getNumFaces());
  double largest_move = 0.0;
  for (size_t v = 0; v < start.vertices.size(); ++v) {
    const host::Point3 a = World(cube, start.vertices[v], 0);
    const host::Point3 b = World(cube, later.vertices[v], 4800);
    largest_move = std::max(largest_move, std::fabs(static_cast<double>(a.z) - b.z) +
                                              std::fabs(static_cast<double>(a.x) - b.x) +
                                              std::fabs(static_cast<double>(a.y) - b.y));
  }
  EXPECT_GT(largest_move, 0.1);
}

TEST(Animation, DirectXClipWithoutTicksPerSecondRunsAt25AndSkinsBothMeshes) {
  const std::string shared = testing_support::SharedScenesDir();
  if (shared.empty()) GTEST_SKIP() << "the shared scenes are absent";
  StandInScene scene;
  hostapp::ImportResult result;
  ASSERT_TRUE(Import(shared + "/dwarf.x", scene, &result));
  // 55 ticks at 25 a second: 2.2 s.
  EXPECT_EQ(scene.GetAnimationRange().end, 10560);
  StandInNode* body = FindNode(scene, "Body");
  ASSERT_TRUE(body && Converts(body));
  ASSERT_EQ(body->GetMaterial()->ClassID(), host::kMultiMaterialClassId);
  EXPECT_EQ(body->GetMaterial()->NumSubMtls(), 2);
  const host::Mesh a = MeshAt(body, 0);
  const host::Mesh b = MeshAt(body, 4800);
  EXPECT_EQ(a.getNumFaces(), 1896);
  EXPECT_EQ(b.getNumFaces(), 1896);
  int moved = 0;
  for (size_t v = 0; v < a.vertices.size(); ++v) {
    moved += !Near(World(body, a.vertices[v], 0), World(body, b.vertices[v], 4800), 1e-3);
  }
  EXPECT_GT(moved, 100);
  // Standing upright: much taller (Z) than deep (Y) in the host.
  float low = 1e9f, high = -1e9f;
  for (const host::Point3& v : a.vertices) {
    const host::Point3 w = World(body, v, 0);
    low = std::min(low, w.z);
    high = std::max(high, w.z);
  }
  EXPECT_GT(high - low, 50.0f);
}
