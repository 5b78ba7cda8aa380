// Quake-family models read by our own readers (MDL, MD2, MD3), their clips,
// Quake III players hung together by their tags, and the QuakeC frame macros
// of what was written. The files are written byte by byte by testscene/.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "host/Bitmap.h"
#include "host/Timing.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/import/quake/PlayerConfig.h"
#include "hostapp/import/quake/QuakeModel.h"
#include "hostapp/scene/StandInScene.h"
#include "tests/ImportFixture.h"
#include "tests/MdlBytes.h"
#include "tests/TestSupport.h"
#include "testscene/QuakeFiles.h"
#include "tools/FrameMacros.h"

namespace {

using hostapp::ImportOptions;
using hostapp::QuakeModel;
using hostapp::SceneImporter;
using hostapp::StandInNode;
using hostapp::StandInScene;

host::Mesh MeshAt(StandInNode* node, host::HostTime t) {
  host::HostObject* object = node->EvalWorldState(t, 1).obj;
  if (!object || !object->CanConvertToType(host::triObjectClassID)) return {};
  return static_cast<host::TriObject*>(object->ConvertToType(t, host::triObjectClassID))->GetMesh();
}

host::Point3 WorldVertex(StandInNode* node, host::HostTime t, size_t v) {
  return MeshAt(node, t).vertices.at(v) * node->GetObjectTransform(t, nullptr);
}

StandInNode* FindNode(StandInScene& scene, const std::string& name) {
  for (StandInNode* node : scene.Nodes())
    if (node->Name() == name) return node;
  return nullptr;
}

void ExpectAt(const host::Point3& p, float x, float y, float z, const std::string& what) {
  EXPECT_NEAR(p.x, x, 1e-5f) << what;
  EXPECT_NEAR(p.y, y, 1e-5f) << what;
  EXPECT_NEAR(p.z, z, 1e-5f) << what;
}

bool Read(const std::vector<uint8_t>& bytes, QuakeModel* model, std::string* error) {
  return hostapp::ReadQuakeModel(bytes.data(), bytes.size(), model, error);
}

// Three frames (stand1, stand2, run1) of one triangle on an 8 x 4 skin.
testscene::Md2Description SmallMd2() {
  testscene::Md2Description md2;
  md2.skins = {"models/monsters/ogre/ogre.pcx", "second.pcx"};
  md2.texture_coordinates = {{0, 0}, {4, 2}, {8, 4}};
  md2.triangles = {{0, 1, 2, 2, 1, 0}};
  md2.frames = {{"stand1", {0.5f, 1, 2}, {1, 2, 3}, {{2, 3, 4}, {0, 0, 0}, {255, 255, 255}}},
                {"stand2", {0.5f, 1, 2}, {1, 2, 3}, {{4, 3, 4}, {0, 0, 0}, {255, 255, 255}}},
                {"run1", {1, 1, 1}, {0, 0, 0}, {{7, 8, 9}, {1, 1, 1}, {2, 2, 2}}}};
  return md2;
}

// Two frames: a plain one and a group of two, on an 8 x 4 skin that is a
// group of two pictures; vertex 1 lies on the seam, and triangle 1 faces away.
testscene::MdlDescription SmallMdl() {
  testscene::MdlDescription mdl;
  mdl.scale = {0.5f, 1, 2};
  mdl.origin = {-1, 0, 1};
  std::vector<uint8_t> first(32), second(32, 9);
  for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i * 7);
  mdl.skins = {{true, {first, second}}};
  mdl.skin_vertices = {{0, 3, 1}, {32, 2, 0}, {0, 7, 3}};
  mdl.triangles = {{1, 0, 1, 2}, {0, 0, 1, 2}};
  testscene::MdlFrame a{"walk1", {{2, 4, 6, 0}, {0, 0, 0, 0}, {255, 1, 2, 0}}};
  testscene::MdlFrame b{"walk2", {{3, 4, 6, 0}, {0, 0, 0, 0}, {255, 1, 2, 0}}};
  testscene::MdlFrame c{"pain1", {{4, 4, 6, 0}, {0, 0, 0, 0}, {255, 1, 2, 0}}};
  mdl.frames = {{false, {a}}, {true, {b, c}}};
  mdl.trailing = {1, 2, 3, 4, 5};
  return mdl;
}

TEST(QuakeReaders, Md2FramesTextureCoordinatesAndSkinNameAreTheFiles) {
  QuakeModel model;
  std::string error;
  ASSERT_TRUE(Read(testscene::Md2Bytes(SmallMd2()), &model, &error)) << error;
  EXPECT_EQ(model.format, "MD2");
  EXPECT_EQ(model.frame_count, 3u);
  EXPECT_EQ(model.frame_names, (std::vector<std::string>{"stand1", "stand2", "run1"}));
  ASSERT_EQ(model.surfaces.size(), 1u);
  const hostapp::QuakeSurface& surface = model.surfaces[0];
  EXPECT_EQ(surface.texture, "models/monsters/ogre/ogre.pcx");
  ASSERT_EQ(surface.vertex_count, 3u);
  ASSERT_EQ(surface.positions.size(), 9u);
  // packed x scale + translate: (2 x 0.5 + 1, 3 x 1 + 2, 4 x 2 + 3).
  ExpectAt(surface.positions[0], 2, 5, 11, "frame 0 vertex 0");
  ExpectAt(surface.positions[2], 128.5f, 257, 513, "frame 0 vertex 2");
  ExpectAt(surface.positions[3], 3, 5, 11, "frame 1 vertex 0");
  ExpectAt(surface.positions[7], 1, 1, 1, "frame 2 vertex 1");
  // s / 8 and 1 - t / 4.
  ASSERT_EQ(surface.texture_vertices.size(), 3u);
  ExpectAt(surface.texture_vertices[0], 0, 1, 0, "coordinate 0");
  ExpectAt(surface.texture_vertices[1], 0.5f, 0.5f, 0, "coordinate 1");
  ExpectAt(surface.texture_vertices[2], 1, 0, 0, "coordinate 2");
  ASSERT_EQ(surface.triangles.size(), 1u);
  EXPECT_EQ(surface.triangles[0].vertex[1], 1u);
  EXPECT_EQ(surface.triangles[0].texture_vertex[0], 2u);
}

TEST(QuakeReaders, Md3SurfacesTagsAndFramesAreTheFiles) {
  const testscene::PlayerFiles player = testscene::SmallPlayer();
  testscene::Md3Description md3 = player.upper;
  md3.surfaces.push_back(md3.surfaces[0]);
  md3.surfaces[1].name = "u_arm";
  md3.surfaces[1].shaders = {};
  md3.surfaces[1].texture_coordinates = {{0.25f, 0.75f}, {1.5f, 0}, {0, 2}};
  QuakeModel model;
  std::string error;
  ASSERT_TRUE(Read(testscene::Md3Bytes(md3), &model, &error)) << error;
  EXPECT_EQ(model.format, "MD3");
  EXPECT_EQ(model.frame_count, 12u);
  EXPECT_EQ(model.frame_names[11], "torso11");
  ASSERT_EQ(model.surfaces.size(), 2u);
  EXPECT_EQ(model.surfaces[0].name, "u_torso");
  EXPECT_EQ(model.surfaces[0].texture, "models/players/small/u_torso.tga");
  EXPECT_EQ(model.surfaces[1].texture, "");
  // Frame 5 of the torso: vertex 0 at (0, 5, 0), vertex 1 a unit above it.
  const hostapp::QuakeSurface& arm = model.surfaces[1];
  ExpectAt(arm.positions[5 * 3 + 0], 0, 5, 0, "frame 5 vertex 0");
  ExpectAt(arm.positions[5 * 3 + 1], 0, 5, 1, "frame 5 vertex 1");
  // (s, 1 - t).
  ExpectAt(arm.texture_vertices[0], 0.25f, 0.25f, 0, "coordinate 0");
  ExpectAt(arm.texture_vertices[2], 0, -1, 0, "coordinate 2");
  ASSERT_EQ(model.tags.size(), 2u);
  EXPECT_EQ(model.tags[0].name, "tag_head");
  EXPECT_EQ(model.tags[1].name, "tag_weapon");
  ASSERT_EQ(model.tags[0].frames.size(), 12u);
  // A point of the head at (1, 0, 0) stands at (1, 0, 5 + 3) on frame 3.
  ExpectAt(host::Point3(1, 0, 0) * model.tags[0].frames[3], 1, 0, 8, "tag_head, frame 3");
}

TEST(QuakeReaders, MdlFrameGroupsPlayInOrderAndTheFirstSkinPictureIsTheSkin) {
  QuakeModel model;
  std::string error;
  ASSERT_TRUE(Read(testscene::MdlBytes(SmallMdl()), &model, &error)) << error;
  EXPECT_EQ(model.format, "MDL");
  EXPECT_EQ(model.frame_names, (std::vector<std::string>{"walk1", "walk2", "pain1"}));
  ASSERT_EQ(model.surfaces.size(), 1u);
  const hostapp::QuakeSurface& surface = model.surfaces[0];
  // origin + packed x scale: (-1 + 2 x 0.5, 0 + 4, 1 + 6 x 2), then the
  // group's members.
  ExpectAt(surface.positions[0], 0, 4, 13, "frame 0 vertex 0");
  ExpectAt(surface.positions[3], 0.5f, 4, 13, "frame 1 vertex 0");
  ExpectAt(surface.positions[6], 1, 4, 13, "frame 2 vertex 0");
  ExpectAt(surface.positions[8], 126.5f, 1, 5, "frame 2 vertex 2");
  // The first picture of the skin group.
  EXPECT_EQ(model.skin.width, 8);
  EXPECT_EQ(model.skin.height, 4);
  ASSERT_EQ(model.skin.pixels.size(), 32u);
  EXPECT_EQ(model.skin.pixels[5], 35);
  // Pixel column s is handed over as (s + 0.5) / 7, the middle of what the
  // exporter maps back to it; rows the same with v up: (3.5 / 7, 1 - 1.5 / 3).
  ExpectAt(surface.texture_vertices[0], 0.5f, 0.5f, 0, "front of vertex 0");
  // Vertex 1 is on the seam: seen from behind it stands half the skin further
  // right, at column 2 + 4.
  ExpectAt(surface.texture_vertices[2], 2.5f / 7, 1 - 0.5f / 3, 0, "front of vertex 1");
  ExpectAt(surface.texture_vertices[3], 6.5f / 7, 1 - 0.5f / 3, 0, "back of vertex 1");
  // Column 7, the last, maps to 1; row 3, the last, to 0.
  ExpectAt(surface.texture_vertices[4], 1, 0, 0, "front of vertex 2");
  // The triangle that faces away uses the back coordinates.
  EXPECT_EQ(surface.triangles[0].texture_vertex[1], 2u);
  EXPECT_EQ(surface.triangles[1].texture_vertex[1], 3u);
  // Bytes after the last frame are read past, with a note.
  ASSERT_EQ(model.notes.size(), 2u);
  EXPECT_EQ(model.notes[0], "5 bytes after the last frame are ignored, as games ignore them");
  EXPECT_EQ(model.notes[1], "the first of its 2 skin pictures is used");
}

// Two joints: "root" at the origin and "arm", its child, at (2, 0, 0) turned
// a quarter counter-clockwise about Z in its bind pose. Vertex 0 (0, 0, 0)
// follows the root, vertices 1 (2, 0, 0) and 2 (4, 0, 0) the arm, vertex 3
// (3, 1, 0) a fifth the root and four fifths the arm (weights 51 and 204).
// Each frame stores the root's x translation (steps of 1) and the arm's
// rotation z and w (steps of 1/1024 from -1): "walk" is frames 0 and 1,
// "wave" frames 2 to 4.
testscene::IqmDescription SmallIqm() {
  testscene::IqmDescription iqm;
  iqm.positions = {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {3, 1, 0}};
  iqm.texture_coordinates = {{0, 0}, {1, 0}, {1, 0.25f}, {0.5f, 1}};
  iqm.blend_indexes = {{0, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
  iqm.blend_weights = {{255, 0, 0, 0}, {255, 0, 0, 0}, {255, 0, 0, 0}, {51, 204, 0, 0}};
  iqm.triangles = {{0, 1, 3}, {1, 2, 3}};
  iqm.meshes = {{"body", "skins/body.png", 0, 4, 0, 2}};
  const float half = std::sqrt(0.5f);
  iqm.joints = {{"root", -1, {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}},
                {"arm", 0, {2, 0, 0}, {0, 0, half, half}, {1, 1, 1}}};
  testscene::IqmPose root;
  root.mask = 1;  // translation x
  root.scale[0] = 1;
  testscene::IqmPose arm;
  arm.parent = 0;
  arm.mask = (1 << 5) | (1 << 6);  // rotation z and w
  arm.offset = {2, 0, 0, 0, 0, -1, -1, 1, 1, 1};
  arm.scale[5] = arm.scale[6] = 1.0f / 1024;
  iqm.poses = {root, arm};
  iqm.animations = {{"walk", 0, 2, 30, 1}, {"wave", 2, 3, 24, 0}};
  // Root x, arm z, arm w: a quarter turn (its bind pose), the same moved 5
  // along x, a half turn, a three-quarter turn moved 1, a whole turn moved 2.
  iqm.frames = {{0, 1748, 1748}, {5, 1748, 1748}, {0, 2048, 1024}, {1, 1748, 300}, {2, 1024, 0}};
  return iqm;
}

TEST(QuakeReaders, IqmFramesUndoTheBindPoseAndApplyEachFramesJointsBlendedByWeight) {
  QuakeModel model;
  std::string error;
  ASSERT_TRUE(Read(testscene::IqmBytes(SmallIqm()), &model, &error)) << error;
  EXPECT_EQ(model.format, "IQM");
  ASSERT_EQ(model.frame_count, 5u);
  ASSERT_EQ(model.clips.size(), 2u);
  EXPECT_EQ(model.clips[0].name, "walk");
  EXPECT_EQ(model.clips[0].first, 0u);
  EXPECT_EQ(model.clips[0].count, 2u);
  EXPECT_EQ(model.clips[1].name, "wave");
  EXPECT_EQ(model.clips[1].first, 2u);
  EXPECT_EQ(model.clips[1].count, 3u);
  EXPECT_EQ(model.frame_names,
            (std::vector<std::string>{"walk1", "walk2", "wave1", "wave2", "wave3"}));
  ASSERT_EQ(model.surfaces.size(), 1u);
  const hostapp::QuakeSurface& surface = model.surfaces[0];
  EXPECT_EQ(surface.name, "body");
  EXPECT_EQ(surface.texture, "skins/body.png");
  ASSERT_EQ(surface.vertex_count, 4u);
  ASSERT_EQ(surface.positions.size(), 20u);
  // Worked out by hand: the arm turned by the frame's rotation less its bind
  // quarter turn, about its joint, which the root moves along x; vertex 3
  // is 0.2 of its root-moved rest plus 0.8 of its arm-turned place.
  const float expected[5][4][3] = {
      // frame 0: the bind pose.
      {{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {3, 1, 0}},
      // frame 1: all moved 5 along x.
      {{5, 0, 0}, {7, 0, 0}, {9, 0, 0}, {8, 1, 0}},
      // frame 2: the arm a further quarter turn: (2, 0) about (2, 0) is
      // (0, 2); (1, 1) is (-1, 1), so vertex 3 is 0.2 (3, 1) + 0.8 (1, 1).
      {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1.4f, 1, 0}},
      // frame 3: a further half turn, the joint at (3, 0): 0.2 (4, 1) + 0.8 (2, -1).
      {{1, 0, 0}, {3, 0, 0}, {1, 0, 0}, {2.4f, -0.6f, 0}},
      // frame 4: a quarter turn back, the joint at (4, 0): 0.2 (5, 1) + 0.8 (5, -1).
      {{2, 0, 0}, {4, 0, 0}, {4, -2, 0}, {5, -0.6f, 0}}};
  for (size_t f = 0; f < 5; ++f)
    for (size_t v = 0; v < 4; ++v)
      ExpectAt(surface.positions[f * 4 + v], expected[f][v][0], expected[f][v][1],
               expected[f][v][2], "frame " + std::to_string(f) + " vertex " + std::to_string(v));
  // Texture coordinates: v runs down the picture in the file, up in the host.
  ExpectAt(surface.texture_vertices[2], 1, 0.75f, 0, "texture vertex 2");
  ASSERT_EQ(surface.triangles.size(), 2u);
  EXPECT_EQ(surface.triangles[1].vertex[0], 1u);
  EXPECT_EQ(surface.triangles[1].vertex[2], 3u);

  // A vertex count with no positions behind it holds nothing (another
  // fuzzer's out-of-memory finding): a file of no meshes is read as such.
  testscene::IqmDescription bare;
  std::vector<uint8_t> bare_bytes = testscene::IqmBytes(bare);
  testing_support::PutInt32(&bare_bytes, 16 + 4 * 8, 1685021184);
  testing_support::PutInt32(&bare_bytes, 16 + 4 * 7, 0);  // no vertex arrays
  ASSERT_TRUE(Read(bare_bytes, &model, &error)) << error;
  EXPECT_TRUE(model.surfaces.empty());

  // Without animations or frames the one frame is the bind pose.
  testscene::IqmDescription still = SmallIqm();
  still.animations.clear();
  still.frames.clear();
  ASSERT_TRUE(Read(testscene::IqmBytes(still), &model, &error)) << error;
  ASSERT_EQ(model.frame_count, 1u);
  EXPECT_TRUE(model.clips.empty());
  ExpectAt(model.surfaces[0].positions[3], 3, 1, 0, "bind pose");
}

TEST(QuakeReaders, DamagedFilesAreRefusedWithAReasonAndNeverReadPastTheirEnd) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<Case> cases;
  {
    std::vector<uint8_t> md2 = testscene::Md2Bytes(SmallMd2());
    testing_support::PutInt32(&md2, 4, 7);
    cases.push_back({"MD2 version", md2, "unsupported MD2 version 7 (expected 8)"});
    md2 = testscene::Md2Bytes(SmallMd2());
    // Triangle 0's second corner names vertex 3 of 3.
    md2[68 + 2 * 64 + 3 * 4 + 2] = 3;
    cases.push_back({"MD2 triangle", md2, "triangle 0 uses vertex 3, outside the 3 vertices"});
    md2 = testscene::Md2Bytes(SmallMd2());
    testing_support::PutInt32(&md2, 40, 0);
    cases.push_back({"MD2 frames", md2, "the file holds no frames"});
    md2 = testscene::Md2Bytes(SmallMd2());
    testing_support::PutInt32(&md2, 16, 51);
    cases.push_back({"MD2 frame size", md2, "frames of 51 bytes cannot hold 3 vertices"});
    md2 = testscene::Md2Bytes(SmallMd2());
    md2.resize(md2.size() - 1);
    cases.push_back({"MD2 short", md2,
                     "the file ends inside the frames: it needs 156 bytes at offset 224, 155 "
                     "remain"});
  }
  {
    testscene::Md3Description md3 = testscene::SmallPlayer().head;
    md3.surfaces[0].triangles[0][2] = -1;
    cases.push_back({"MD3 triangle", testscene::Md3Bytes(md3),
                     "surface 0 (h_head): triangle 0 uses vertex -1, outside the 3 vertices"});
    md3 = testscene::SmallPlayer().head;
    md3.surfaces[0].frames.clear();
    md3.surfaces[0].texture_coordinates.clear();
    std::vector<uint8_t> bytes = testscene::Md3Bytes(md3);
    cases.push_back({"MD3 surface frames", bytes, "surface 0 (h_head) has 0 frames, the model 1"});
    bytes = testscene::Md3Bytes(testscene::SmallPlayer().head);
    bytes[108 + 56 + 112] = 'X';
    cases.push_back(
        {"MD3 surface magic", bytes, "surface 0 does not start with \"IDP3\" (at offset 276)"});
  }
  {
    testscene::MdlDescription mdl = SmallMdl();
    mdl.frames.clear();
    cases.push_back({"MDL frames", testscene::MdlBytes(mdl), "the file holds no frames"});
  }
  cases.push_back({"no model",
                   {'I', 'D', 'P', '4', 0, 0, 0, 0},
                   "not a Quake model: the file starts with neither \"IDPO\" (MDL), \"IDP2\" "
                   "(MD2), \"IDP3\" (MD3) nor \"INTERQUAKEMODEL\" (IQM)"});
  {
    testscene::IqmDescription iqm = SmallIqm();
    iqm.version = 1;
    cases.push_back(
        {"IQM version", testscene::IqmBytes(iqm), "unsupported IQM version 1 (expected 2)"});
    iqm = SmallIqm();
    iqm.file_size = 100000;
    cases.push_back({"IQM size", testscene::IqmBytes(iqm),
                     "the header says the file has 100000 bytes; it has 746"});
    iqm = SmallIqm();
    iqm.triangles[1][2] = 4;
    cases.push_back(
        {"IQM triangle", testscene::IqmBytes(iqm),
         "mesh 0 (body): triangle 1 uses vertex 4, outside the mesh's vertices 0 to 4"});
    iqm = SmallIqm();
    iqm.blend_indexes[3][1] = 2;
    cases.push_back({"IQM blend", testscene::IqmBytes(iqm),
                     "vertex 3 is bound to joint 2, outside the 2 joints"});
    iqm = SmallIqm();
    iqm.joints[0].parent = 1;
    cases.push_back(
        {"IQM parent", testscene::IqmBytes(iqm), "joint 0's parent (1) does not come before it"});
    iqm = SmallIqm();
    iqm.joints[1].scale = {1, 0, 1};
    cases.push_back({"IQM scale", testscene::IqmBytes(iqm),
                     "joint 1's bind pose cannot be undone (a scale of 0)"});
    iqm = SmallIqm();
    iqm.poses.pop_back();
    cases.push_back(
        {"IQM poses", testscene::IqmBytes(iqm), "1 poses for 2 joints (a frame poses each joint)"});
    iqm = SmallIqm();
    iqm.meshes[0].vertex_count = 5;
    cases.push_back(
        {"IQM mesh", testscene::IqmBytes(iqm), "mesh 0 (body)'s vertices run past the file's 4"});
    std::vector<uint8_t> bytes = testscene::IqmBytes(SmallIqm());
    testing_support::PutInt32(&bytes, 16 + 4 * 20, 99);  // the channels a frame holds
    cases.push_back(
        {"IQM channels", bytes, "the poses store 3 channels a frame; the header says 99"});
    // Frames that store no channel take no bytes: their count alone must
    // not decide what is held (a fuzzer's out-of-memory finding).
    iqm = SmallIqm();
    for (testscene::IqmPose& pose : iqm.poses) pose.mask = 0;
    bytes = testscene::IqmBytes(iqm);
    testing_support::PutInt32(&bytes, 16 + 4 * 19, (1 << 20) + 1);
    cases.push_back(
        {"IQM frame count", bytes, "1048577 frames are more than the import holds (1048576)"});
  }
  for (const Case& c : cases) {
    QuakeModel model;
    std::string error;
    EXPECT_FALSE(Read(c.bytes, &model, &error)) << c.name;
    EXPECT_EQ(error, c.reason) << c.name;
  }

  // Every shorter file of each kind is refused (under the sanitizers, also
  // never read beyond); a longer one is read as it is.
  const std::vector<std::vector<uint8_t>> files = {
      testscene::Md2Bytes(SmallMd2()), testscene::Md3Bytes(testscene::SmallPlayer().upper),
      testscene::MdlBytes(SmallMdl()), testscene::IqmBytes(SmallIqm())};
  for (const std::vector<uint8_t>& whole : files) {
    QuakeModel model;
    std::string error;
    std::vector<uint8_t> longer = whole;
    longer.insert(longer.end(), 100, 0xEE);
    EXPECT_TRUE(Read(longer, &model, &error)) << error;
    for (size_t size = 0; size + 5 < whole.size(); ++size) {
      // The MDL's five trailing bytes may go.
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
      EXPECT_FALSE(Read(cut, &model, &error)) << size << " of " << whole.size() << " bytes";
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(QuakeClips, AnimationConfigLegsNumbersLoseTheTorsoFramesSpan) {
  const hostapp::PlayerConfig config =
      hostapp::ReadPlayerConfig(testscene::SmallPlayer().animation_cfg);
  EXPECT_TRUE(config.notes.empty());
  ASSERT_EQ(config.animations.size(), 25u);
  EXPECT_EQ(config.animations[0].name, "both_death1");
  EXPECT_EQ(config.animations[0].first, 0);
  EXPECT_EQ(config.animations[0].count, 2);
  EXPECT_EQ(config.animations[11].name, "torso_stand");
  EXPECT_EQ(config.animations[11].first, 10);
  EXPECT_EQ(config.animations[11].part, hostapp::PlayerPart::kTorso);
  // Written 15 and 23: LEGS_WALKCR's 12 less TORSO_GESTURE's 4 off each.
  EXPECT_EQ(config.animations[15].name, "legs_run");
  EXPECT_EQ(config.animations[15].first, 7);
  EXPECT_EQ(config.animations[15].count, 2);
  EXPECT_EQ(config.animations[22].name, "legs_idle");
  EXPECT_EQ(config.animations[22].first, 15);
  EXPECT_EQ(config.animations[24].first, 18);

  // An unknown word is skipped, an animation without frames left out, a file
  // that stops early read as far as it goes; each is noted.
  const hostapp::PlayerConfig odd =
      hostapp::ReadPlayerConfig("fixedtorso\nnonsense\n0 5 0 20\n5 0 0 20\n6 1 0 20 // x\n7 1");
  ASSERT_EQ(odd.animations.size(), 2u);
  EXPECT_EQ(odd.animations[1].name, "both_death2");
  EXPECT_EQ(odd.animations[1].first, 6);
  ASSERT_EQ(odd.notes.size(), 3u);
  EXPECT_EQ(odd.notes[0], "animation.cfg: the unknown word \"nonsense\" is skipped");
  EXPECT_EQ(odd.notes[1], "animation.cfg lists 3 animations, not the 25 of a player");
  EXPECT_EQ(odd.notes[2], "animation.cfg: both_dead1 (first frame 5, 0 frames) is left out");
}

using QuakeImport = testing_support::ImportFixture;

TEST_F(QuakeImport, Md2FramesPlayATenthOfASecondApartTurnedToFaceTheHostsFront) {
  testscene::WriteBytes(dir_.File("ogre.md2"), testscene::Md2Bytes(SmallMd2()));
  ASSERT_TRUE(Load(dir_.File("ogre.md2")));
  EXPECT_EQ(scene_.GetAnimationRange().start, 0);
  EXPECT_EQ(scene_.GetAnimationRange().end, 960);
  StandInNode* node = FindNode(scene_, "ogre");
  ASSERT_NE(node, nullptr);
  // (x, y, z) of the file is (y, -x, z) of the host: a model facing +X faces -Y.
  ExpectAt(WorldVertex(node, 0, 0), 5, -2, 11, "frame 0");
  ExpectAt(WorldVertex(node, 480, 0), 5, -3, 11, "frame 1");
  ExpectAt(WorldVertex(node, 960, 0), 8, -7, 9, "frame 2");
  // Half way between frames 1 and 2: (5, 6.5, 10) turned.
  ExpectAt(WorldVertex(node, 720, 0), 6.5f, -5, 10, "frame 1.5");
  // The file's corners 0, 1, 2 run clockwise seen from the front; the host's
  // run the other way.
  const host::Mesh mesh = MeshAt(node, 0);
  ASSERT_EQ(mesh.faces.size(), 1u);
  EXPECT_EQ(mesh.faces[0].v[0], 2u);
  EXPECT_EQ(mesh.faces[0].v[2], 0u);
  ASSERT_EQ(mesh.texture_faces.size(), 1u);
  EXPECT_EQ(mesh.texture_faces[0].t[0], 0u);
  EXPECT_EQ(mesh.texture_faces[0].t[2], 2u);
  // The skin's name as written stays on the material.
  auto* material = static_cast<hostapp::StandInMaterial*>(node->GetMaterial());
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(material->WrittenTextureName(), "models/monsters/ogre/ogre.pcx");
  // Clips by frame name.
  const hostapp::ImportSummary& summary = importer_.Summary();
  ASSERT_EQ(summary.clips.size(), 2u);
  EXPECT_EQ(summary.clips[0].name, "stand");
  EXPECT_EQ(summary.clips[0].frames, 2);
  EXPECT_EQ(summary.clips[1].name, "run");
  EXPECT_EQ(summary.clips[1].start, 960);
  EXPECT_EQ(summary.timeline.size(), 2u);
  EXPECT_EQ(summary.meshes,
            (std::vector<std::string>{"ogre: 1 triangles, 3 vertices, 3 frames, texture "
                                      "models/monsters/ogre/ogre.pcx"}));

  // One clip alone plays from time 0.
  ImportOptions options;
  options.animation = "run";
  SceneImporter importer;
  StandInScene scene;
  ASSERT_TRUE(importer.Import(dir_.File("ogre.md2"), options, scene)) << importer.Error();
  EXPECT_EQ(scene.GetAnimationRange().end, 0);
  ExpectAt(WorldVertex(FindNode(scene, "ogre"), 0, 0), 8, -7, 9, "run");

  // Quake units are the host's inches; a unit named instead scales the
  // turned model: a centimetre is 1 / 2.54 inch.
  EXPECT_EQ(summary.unit, "Quake units (MD2)");
  EXPECT_EQ(summary.unit_size, 1.0);
  ImportOptions in_centimetres;
  in_centimetres.units = "centimeters";
  SceneImporter scaled_importer;
  StandInScene scaled;
  ASSERT_TRUE(scaled_importer.Import(dir_.File("ogre.md2"), in_centimetres, scaled))
      << scaled_importer.Error();
  EXPECT_EQ(scaled_importer.Summary().unit, "centimetres (chosen; the file: Quake units (MD2))");
  ExpectAt(WorldVertex(FindNode(scaled, "ogre"), 0, 0), 5 / 2.54f, -2 / 2.54f, 11 / 2.54f,
           "frame 0 in centimetres");
}

TEST_F(QuakeImport, IqmAnimationsAreClipsByNameOneFrameATenthOfASecondFacingTheHostsFront) {
  testscene::WriteBytes(dir_.File("arm.iqm"), testscene::IqmBytes(SmallIqm()));
  ASSERT_TRUE(Load(dir_.File("arm.iqm")));
  const hostapp::ImportSummary& summary = importer_.Summary();
  ASSERT_EQ(summary.clips.size(), 2u);
  EXPECT_EQ(summary.clips[0].name, "walk");
  EXPECT_EQ(summary.clips[0].frames, 2);
  EXPECT_EQ(summary.clips[1].name, "wave");
  EXPECT_EQ(summary.clips[1].start, 960);
  EXPECT_EQ(summary.clips[1].frames, 3);
  EXPECT_EQ(scene_.GetAnimationRange().end, 4 * 480);
  StandInNode* node = FindNode(scene_, "arm");
  ASSERT_NE(node, nullptr);
  // Like the Quake models, IQM models face +X and are turned to face -Y:
  // the file's (x, y, z) is the host's (y, -x, z). Frame 2's vertex 2 is at
  // (2, 2, 0) in the file.
  ExpectAt(WorldVertex(node, 2 * 480, 2), 2, -2, 0, "wave1");
  ExpectAt(WorldVertex(node, 4 * 480, 3), -0.6f, -5, 0, "wave3");
  EXPECT_EQ(summary.meshes,
            (std::vector<std::string>{"body: 2 triangles, 4 vertices, 5 frames, texture "
                                      "skins/body.png"}));

  ImportOptions options;
  options.animation = "wave";
  SceneImporter importer;
  StandInScene scene;
  ASSERT_TRUE(importer.Import(dir_.File("arm.iqm"), options, scene)) << importer.Error();
  EXPECT_EQ(scene.GetAnimationRange().end, 2 * 480);
  ExpectAt(WorldVertex(FindNode(scene, "arm"), 480, 2), 0, -1, 0, "wave2");
}

TEST_F(QuakeImport, MdlSkinIsHeldByTheBitmapManagerInItsPaletteColours) {
  const std::string path = dir_.File("knight.mdl");
  testscene::WriteBytes(path, testscene::MdlBytes(SmallMdl()));
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(scene_.GetAnimationRange().end, 960);
  // Bytes after the last frame and the skin group's second picture are
  // warned about.
  EXPECT_EQ(importer_.Summary().warnings.size(), 2u);
  StandInNode* node = FindNode(scene_, "knight");
  ASSERT_NE(node, nullptr);
  auto* material = static_cast<hostapp::StandInMaterial*>(node->GetMaterial());
  ASSERT_NE(material, nullptr);
  ASSERT_NE(material->DiffuseMap(), nullptr);
  host::BitmapInfo info(static_cast<host::BitmapTexture*>(material->DiffuseMap())->GetMapName());
  std::unique_ptr<host::Bitmap> skin(host::TheManager->Load(&info));
  ASSERT_NE(skin, nullptr);
  ASSERT_EQ(skin->Width(), 8);
  ASSERT_EQ(skin->Height(), 4);
  // Pixel (5, 0) is index 35 (27 27 39), pixel (1, 3) index 175 (0F 0B 07).
  uint8_t rgba[4];
  skin->Storage()->ReadColor(5, 0, rgba);
  EXPECT_EQ(rgba[0], 0x27);
  EXPECT_EQ(rgba[1], 0x27);
  EXPECT_EQ(rgba[2], 0x33);
  skin->Storage()->ReadColor(1, 3, rgba);
  EXPECT_EQ(rgba[0], 0x0F);
  EXPECT_EQ(rgba[1], 0x0B);
  EXPECT_EQ(rgba[2], 0x07);
  EXPECT_EQ(rgba[3], 255);
  // Frame 2, the group's second member: (-1 + 4 x 0.5, 4, 13) turned.
  ExpectAt(WorldVertex(node, 960, 0), 4, -1, 13, "frame 2");
}

TEST_F(QuakeImport, PlayerPartsHangFromTheirTagsFrameByFrame) {
  testscene::WritePlayer(dir_.path(), testscene::SmallPlayer());
  ImportOptions options;
  options.player = true;
  options.animation = "legs_run";
  ASSERT_TRUE(Load(dir_.File("upper.md3"), options));
  StandInNode* lower = FindNode(scene_, "lower");
  StandInNode* upper = FindNode(scene_, "upper");
  StandInNode* head = FindNode(scene_, "head");
  ASSERT_NE(lower, nullptr);
  ASSERT_NE(upper, nullptr);
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(upper->Parent(), lower);
  EXPECT_EQ(head->Parent(), upper);
  EXPECT_EQ(scene_.GetAnimationRange().end, 480);
  // legs_run's first pose: legs frame 7, torso standing (frame 10), head 0.
  // The legs' vertex (7, 0, 0) is the host's (0, -7, 0).
  ExpectAt(WorldVertex(lower, 0, 0), 0, -7, 0, "legs");
  // tag_torso of legs frame 7 stands at (0, 0, 27), turned a quarter: the
  // torso's (0, 10, 0) goes 10 along the tag's left axis (-1, 0, 0), to
  // (-10, 0, 27), the host's (0, 10, 27).
  ExpectAt(WorldVertex(upper, 0, 0), 0, 10, 27, "torso");
  // The head's (1, 0, 0) on tag_head of torso frame 10, at (0, 0, 15), is
  // (1, 0, 15) on the torso, then (0, 1, 42) on the legs: the host's (1, 0, 42).
  ExpectAt(WorldVertex(head, 0, 0), 1, 0, 42, "head");
  // The second pose: legs frame 8, unturned: the torso at (0, 10, 28) of
  // the legs, the host's (10, 0, 28).
  ExpectAt(WorldVertex(lower, 480, 0), 0, -8, 0, "legs, pose 2");
  ExpectAt(WorldVertex(upper, 480, 0), 10, 0, 28, "torso, pose 2");

  const struct {
    const char* animation;
    host::HostTime end;
    float legs, torso;  // the parts' frames at time 0, told by vertex 0
  } cases[] = {{"both_death1", 480, 0, 0}, {"torso_gesture", 480, 15, 4},
               {"TORSO_ATTACK", 0, 15, 6}, {"legs_idle", 480, 15, 10},
               {"", 29 * 480, 0, 0},       {"24", 0, 18, 10}};
  for (const auto& c : cases) {
    SceneImporter importer;
    StandInScene scene;
    options.animation = c.animation;
    ASSERT_TRUE(importer.Import(dir_.path(), options, scene)) << c.animation << importer.Error();
    EXPECT_EQ(scene.GetAnimationRange().end, c.end) << c.animation;
    EXPECT_NEAR(WorldVertex(FindNode(scene, "lower"), 0, 0).y, -c.legs, 1e-5f) << c.animation;
    // Vertex 0 of the torso is (0, f, 0) and tag_torso unturned but on frame 7.
    const host::Point3 torso = MeshAt(FindNode(scene, "upper"), 0).vertices[0];
    EXPECT_NEAR(torso.y, c.torso, 1e-5f) << c.animation;
  }
  // torso_gesture's second pose has the legs on their second idle frame.
  options.animation = "torso_gesture";
  SceneImporter importer;
  StandInScene scene;
  ASSERT_TRUE(importer.Import(dir_.File("head.md3"), options, scene)) << importer.Error();
  EXPECT_NEAR(WorldVertex(FindNode(scene, "lower"), 480, 0).y, -16, 1e-5f);

  // The clips in the file's order, in lower case, each with its poses.
  const hostapp::ImportSummary& summary = importer.Summary();
  ASSERT_EQ(summary.clips.size(), 25u);
  EXPECT_EQ(summary.clips[6].name, "torso_gesture");
  EXPECT_EQ(summary.clips[6].start, 7 * 480);
  EXPECT_EQ(summary.clips[6].frames, 2);
  EXPECT_EQ(summary.clips[24].name, "legs_turn");
  EXPECT_EQ(summary.clips[24].end, 29 * 480);
}

TEST_F(QuakeImport, PlayerWithoutItsPartsOrTagsIsRefusedAndWithoutAnimationsPlaysSideBySide) {
  testscene::PlayerFiles player = testscene::SmallPlayer();
  player.animation_cfg.clear();
  testscene::WritePlayer(dir_.path(), player);
  ImportOptions options;
  options.player = true;
  ASSERT_TRUE(Load(dir_.path(), options));
  // lower has 19 frames, upper 12: 19 poses, the torso holding its last.
  EXPECT_EQ(scene_.GetAnimationRange().end, 18 * 480);
  EXPECT_NEAR(MeshAt(FindNode(scene_, "upper"), 18 * 480).vertices[0].y, 11, 1e-5f);
  // Besides the three textures not found, a warning says why.
  const std::vector<std::string>& warnings = importer_.Summary().warnings;
  ASSERT_EQ(warnings.size(), 4u);
  EXPECT_EQ(warnings[0],
            "the player has no animation.cfg: legs and torso play their frames side by side as "
            "one clip");

  // An animation of two thousand million frames plays as many as the longer
  // part has (19), not more, and is warned about.
  player = testscene::SmallPlayer();
  player.animation_cfg = "0 2000000000 0 20\n";
  testscene::WritePlayer(dir_.path(), player);
  {
    SceneImporter importer;
    StandInScene scene;
    ASSERT_TRUE(importer.Import(dir_.path(), options, scene)) << importer.Error();
    EXPECT_EQ(scene.GetAnimationRange().end, 18 * 480);
    EXPECT_NE(importer.Summary().warnings[1].find("both_death1 runs past the frames"),
              std::string::npos)
        << importer.Summary().warnings[1];
  }

  player = testscene::SmallPlayer();
  player.lower.tags[0].name = "tag_waist";
  testscene::WritePlayer(dir_.path(), player);
  SceneImporter importer;
  StandInScene scene;
  EXPECT_FALSE(importer.Import(dir_.path(), options, scene));
  EXPECT_EQ(importer.Error(), dir_.path() + "/lower.md3 has no tag_torso to hang upper.md3 from");
  std::remove(dir_.File("head.md3").c_str());
  EXPECT_FALSE(importer.Import(dir_.path(), options, scene));
  EXPECT_EQ(importer.Error(),
            "no head.md3 in " + dir_.path() + " (a player is lower.md3, upper.md3 and head.md3)");
  // A part alone is that model alone.
  ASSERT_TRUE(importer.Import(dir_.File("lower.md3"), ImportOptions(), scene));
  EXPECT_EQ(scene.GetAnimationRange().end, 18 * 480);
  EXPECT_EQ(importer.Summary().clips.size(), 1u);
}

// A real image file (the example's 16 x 16 PNG) at path, its folders made.
void WriteImage(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file(std::string(VANDRELL_SOURCE_DIR) + "/examples/example_checker.png",
                             path, std::filesystem::copy_options::overwrite_existing);
}

// The file name of a node's diffuse map, or empty when it has none.
std::string MapOf(StandInScene& scene, const std::string& node) {
  host::TextureMap* map = FindNode(scene, node)->GetMaterial()->GetSubTexmap(1);
  return map ? static_cast<host::BitmapTexture*>(map)->GetMapName() : "";
}

TEST_F(QuakeImport, Md3SkinFilesWinOverShadersAndAreChosenByName) {
  // A game's folder: the model and its skins in models/w, textures named
  // from the game's root, an image for every name so that only the order of
  // the rules decides.
  const std::string folder = dir_.File("models/w");
  testscene::Md3Description md3 = testscene::SmallPlayer().upper;
  md3.surfaces.push_back(md3.surfaces[0]);
  md3.surfaces.push_back(md3.surfaces[0]);
  md3.surfaces[0].shaders = {"models/w/u_torso"};
  md3.surfaces[1].name = "u_arm";
  md3.surfaces[1].shaders = {"models/w/u_arm"};
  md3.surfaces[2].name = "U_Cape";
  md3.surfaces[2].shaders = {"models/w/u_cape"};
  std::filesystem::create_directories(folder);
  testscene::WriteBytes(folder + "/upper.md3", testscene::Md3Bytes(md3));
  for (const char* image : {"u_torso", "u_arm", "u_cape", "red", "blue"})
    WriteImage(folder + "/" + image + ".png");
  testscene::WriteText(folder + "/upper_default.skin",
                       "u_torso,models/w/red.tga\r\nu_arm,\r\ntag_head,\r\ntag_weapon,\r\n");
  testscene::WriteText(folder + "/Upper_Blue.skin",
                       "u_torso,models/w/blue\nu_arm,models/w/blue\nu_cape,models/w/blue\n");

  // The default skin: its texture wins over the shader, a surface it leaves
  // empty has none, one it does not list keeps its shader.
  ASSERT_TRUE(Load(folder + "/upper.md3"));
  EXPECT_EQ(MapOf(scene_, "u_torso"), folder + "/red.png");
  EXPECT_EQ(MapOf(scene_, "u_arm"), "");
  EXPECT_EQ(MapOf(scene_, "U_Cape"), folder + "/u_cape.png");
  const std::vector<std::string>& meshes = importer_.Summary().meshes;
  ASSERT_EQ(meshes.size(), 3u);
  EXPECT_EQ(meshes[0], "u_torso: 1 triangles, 3 vertices, 12 frames, texture models/w/red.tga (" +
                           folder + "/upper_default.skin)");
  EXPECT_EQ(meshes[1], "u_arm: 1 triangles, 3 vertices, 12 frames, no texture (" + folder +
                           "/upper_default.skin)");
  EXPECT_EQ(meshes[2],
            "U_Cape: 1 triangles, 3 vertices, 12 frames, texture models/w/u_cape (not in " +
                folder + "/upper_default.skin)");
  EXPECT_TRUE(importer_.Summary().warnings.empty());

  // A skin chosen by name, in any case.
  ImportOptions options;
  options.skin = "blue";
  SceneImporter blue;
  StandInScene blue_scene;
  ASSERT_TRUE(blue.Import(folder + "/upper.md3", options, blue_scene)) << blue.Error();
  for (const char* surface : {"u_torso", "u_arm", "U_Cape"})
    EXPECT_EQ(MapOf(blue_scene, surface), folder + "/blue.png") << surface;

  // A skin that is not there, or one for a model without skin files.
  options.skin = "green";
  SceneImporter green;
  StandInScene green_scene;
  EXPECT_FALSE(green.Import(folder + "/upper.md3", options, green_scene));
  EXPECT_EQ(green.Error(), "no skin file upper_green.skin beside " + folder +
                               "/upper.md3 (its skins: blue, default)");
  testscene::WriteBytes(folder + "/ogre.md2", testscene::Md2Bytes(SmallMd2()));
  EXPECT_FALSE(green.Import(folder + "/ogre.md2", options, green_scene));
  EXPECT_EQ(green.Error(), "a skin (green) is chosen among an MD3 model's .skin files; " + folder +
                               "/ogre.md2 is an MD2 model");
  testscene::WriteText(folder + "/card.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  EXPECT_FALSE(green.Import(folder + "/card.obj", options, green_scene));
  EXPECT_EQ(green.Error(), "a skin (green) is chosen among an MD3 model's .skin files; " + folder +
                               "/card.obj is no Quake-family model");
  host::TheManager->ForgetImages();
}

TEST_F(QuakeImport, PlayerPartsWearTheirOwnSkinFilesOfTheChosenName) {
  const std::string folder = dir_.File("models/players/small");
  std::filesystem::create_directories(folder);
  testscene::WritePlayer(folder, testscene::SmallPlayer());
  for (const char* part : {"lower", "upper", "head"}) {
    const std::string name = part;
    WriteImage(dir_.File("models/players/small/" + name + "_red.tga"));
    WriteImage(dir_.File("models/players/small/" + name + "_plain.jpg"));
    const char* surface = name == "lower" ? "l_legs" : name == "upper" ? "u_torso" : "h_head";
    testscene::WriteText(folder + "/" + name + "_default.skin",
                         std::string(surface) + ",models/players/small/" + name + "_plain.tga\n");
    if (name != "head")
      testscene::WriteText(folder + "/" + name + "_red.skin",
                           std::string(surface) + ",models/players/small/" + name + "_red.tga\n");
  }
  ImportOptions options;
  options.player = true;
  ASSERT_TRUE(Load(folder, options));
  // Each part is its one surface's node.
  EXPECT_EQ(MapOf(scene_, "lower"), folder + "/lower_plain.jpg");
  EXPECT_EQ(MapOf(scene_, "upper"), folder + "/upper_plain.jpg");
  EXPECT_EQ(MapOf(scene_, "head"), folder + "/head_plain.jpg");
  EXPECT_TRUE(importer_.Summary().warnings.empty());

  // Every part needs the skin chosen.
  options.skin = "red";
  SceneImporter red;
  StandInScene red_scene;
  EXPECT_FALSE(red.Import(folder, options, red_scene));
  EXPECT_EQ(red.Error(),
            "no skin file head_red.skin beside " + folder + "/head.md3 (its skins: default)");
  testscene::WriteText(folder + "/head_red.skin", "h_head,models/players/small/head_red.tga\n");
  ASSERT_TRUE(red.Import(folder, options, red_scene)) << red.Error();
  EXPECT_EQ(MapOf(red_scene, "lower"), folder + "/lower_red.tga");
  EXPECT_EQ(MapOf(red_scene, "head"), folder + "/head_red.tga");
  host::TheManager->ForgetImages();
}

TEST(FrameMacros, OneLinePerClipOfTheFramesAsWritten) {
  using hostapp::ClipInfo;
  // stand: two poses at ticks 0 and 480; run: three at 960 .. 1920.
  const std::vector<ClipInfo> timeline = {{"stand", 0, 480, 2}, {"run", 960, 1920, 3}};
  EXPECT_EQ(hostapp::FrameMacroLines(timeline, 0, 480, 5, "ogre"),
            "$frame stand1 stand2\n$frame run1 run2 run3\n");
  // At 20 frames a second the frame between two poses goes with the earlier.
  EXPECT_EQ(hostapp::FrameMacroLines(timeline, 0, 240, 7, "ogre"),
            "$frame stand1 stand2 stand3 stand4\n$frame run1 run2 run3\n");
  // Only the frames written.
  EXPECT_EQ(hostapp::FrameMacroLines(timeline, 0, 480, 3, "ogre"),
            "$frame stand1 stand2\n$frame run1\n");
  // No clips: the base name's frames.
  EXPECT_EQ(hostapp::FrameMacroLines({}, 0, 160, 3, "ogre"), "$frame ogre1 ogre2 ogre3\n");
  // Names become identifiers; one ending in a digit gets an underscore; a
  // name met again counts on.
  const std::vector<ClipInfo> odd = {
      {"both_death1", 0, 0, 1}, {"walk cycle", 480, 480, 1}, {"both_death1", 960, 1440, 2}};
  EXPECT_EQ(hostapp::FrameMacroLines(odd, 0, 480, 4, "x"),
            "$frame both_death1_1\n$frame walk_cycle1\n$frame both_death1_2 both_death1_3\n");
}

}  // namespace
