// The mdlexport command, run as a user runs it: a child process whose exit
// status, standard output and standard error are checked, and whose MDL file
// is read back with the project's reader.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "mdlformat/MdlReader.h"
#include "mdlformat/QuakePalette.h"
#include "tests/RunProgram.h"
#include "tests/TestSupport.h"
#include "testscene/GltfBuffer.h"
#include "testscene/QuakeFiles.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::SharedScenesDir;
using testing_support::TempDir;

using RunResult = testing_support::ProgramRun;
using RunSettings = testing_support::RunOptions;

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  testing_support::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

RunResult RunMdlexport(const std::vector<std::string>& args, const RunSettings& settings = {}) {
  return testing_support::RunProgram(MDLEXPORT_PATH, args, settings);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string SourceFile(const std::string& relative) {
  return std::string(VANDRELL_SOURCE_DIR) + "/" + relative;
}

// A tetrahedron's two faces, with no symmetry: 2 triangles, 4 corners.
const char kTwoTriangleObj[] =
    "v 0 0 0\n"
    "v 4 0 0\n"
    "v 0 2 0\n"
    "v 0 0 3\n"
    "f 1 2 3\n"
    "f 1 3 4\n";

// The numbers of the summary line: vertices, triangles, frames, skin width,
// skin height, bytes.
bool ParseSummary(const std::string& out, long numbers[6]) {
  static const std::regex kLine(
      R"((\d+) vertices, (\d+) triangles, (\d+) frames, skin (\d+)x(\d+), (\d+) bytes\n$)");
  std::smatch match;
  if (!std::regex_search(out, match, kLine)) return false;
  for (int i = 0; i < 6; ++i) numbers[i] = std::stol(match[static_cast<size_t>(i) + 1].str());
  return true;
}

vandrell::MdlFile ReadModel(const std::string& path) {
  vandrell::MdlFile file;
  std::string error;
  EXPECT_TRUE(vandrell::ReadMdlFile(path, &file, &error)) << path << ": " << error;
  return file;
}

size_t DistinctSkinIndices(const vandrell::MdlFile& file) {
  if (file.skins.empty()) return 0;
  return std::set<uint8_t>(file.skins[0].pixels.begin(), file.skins[0].pixels.end()).size();
}

// Frames whose packed vertices differ from frame 0's.
int FramesDifferingFromFirst(const vandrell::MdlFile& file) {
  int differing = 0;
  for (size_t f = 1; f < file.frames.size(); ++f) {
    const auto& a = file.frames[0].vertices;
    const auto& b = file.frames[f].vertices;
    for (size_t v = 0; v < a.size() && v < b.size(); ++v) {
      if (a[v].x != b[v].x || a[v].y != b[v].y || a[v].z != b[v].z) {
        ++differing;
        break;
      }
    }
  }
  return differing;
}

// The decoded extent of one frame's vertices on one axis.
void FrameExtent(const vandrell::MdlFile& file, size_t frame, int axis, float* low, float* high) {
  *low = INFINITY;
  *high = -INFINITY;
  for (const vandrell::MdlPackedVertex& v : file.frames[frame].vertices) {
    const uint8_t packed = axis == 0 ? v.x : axis == 1 ? v.y : v.z;
    const float p = vandrell::DecodeCoordinate(file.header, axis, packed);
    *low = std::min(*low, p);
    *high = std::max(*high, p);
  }
}

// Every option's line is checked against the option table by options_test.
TEST(Mdlexport, HelpExitsZeroAndExplainsTheFlagsTheStatusesAndTheAxes) {
  const RunResult run = RunMdlexport({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.err.empty()) << run.err;
  for (const char* flag : {"rotate", "rocket-smoke-trail", "grenade-smoke-trail",
                           "gib-long-blood-trail", "gib-short-blood-trail", "wizard-green-tracer",
                           "hellknight-yellow-tracer", "vore-purple-tracer"}) {
    EXPECT_TRUE(Contains(run.out, flag)) << "--help does not mention the flag " << flag;
  }
  EXPECT_TRUE(Contains(run.out, "Exit status"));
  EXPECT_TRUE(Contains(run.out, "Textures: a texture the scene names is looked for"));
  // The table of format conventions, which the README prints too, line for
  // line: SMD is Z up and faces +X, B3D is left-handed and faces +Z.
  const size_t table = run.out.find("  format                         up  front  hand   unit");
  ASSERT_NE(table, std::string::npos) << run.out;
  EXPECT_TRUE(
      Contains(run.out, "  Half-Life SMD                  +Z  +X     right  none: inches\n"));
  EXPECT_TRUE(
      Contains(run.out, "  Blitz3D B3D                    +Y  +Z     left   none: inches\n"));
  const std::string readme = ReadText(SourceFile("README.md"));
  int rows = 0;
  for (size_t at = table; at < run.out.size() && run.out.compare(at, 2, "  ") == 0; ++rows) {
    const size_t end = run.out.find('\n', at);
    EXPECT_TRUE(Contains(readme, "\n    " + run.out.substr(at + 2, end - at - 2) + "\n"))
        << "README.md lacks the conventions row " << run.out.substr(at, end - at);
    at = end + 1;
  }
  EXPECT_EQ(rows, 15);
  EXPECT_TRUE(Contains(run.out, "MD2"));
  EXPECT_TRUE(Contains(run.out, "+X"));
  EXPECT_TRUE(Contains(run.out, "one inch is one Quake unit"));
  EXPECT_TRUE(Contains(run.out, "tag_torso"));
  EXPECT_TRUE(Contains(run.out, "animation.cfg"));
}

// The package's version as CMakeLists.txt states it, read independently of
// the generated header the programs print.
std::string ProjectVersion() {
  std::smatch match;
  const std::string lists = ReadText(SourceFile("CMakeLists.txt"));
  if (!std::regex_search(lists, match, std::regex(R"(project\(Vandrell VERSION ([0-9.]+))")))
    return "";
  return match[1].str();
}

TEST(Mdlexport, VersionNamesThePackageAndTheVersionTheLoadedExporterReports) {
  const std::string version = ProjectVersion();
  ASSERT_FALSE(version.empty());
  const RunResult run = RunMdlexport({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // The exporter beside mdlexport reports 10: version 0.10.
  EXPECT_EQ(run.out, "mdlexport " + version + "\nexporter " + std::string(VANDRELL_MODULE_PATH) +
                         ": version 0.10\n");
  // --version wins over everything else, as --help does.
  EXPECT_EQ(RunMdlexport({"--frames", "all", "--version", "missing.gltf"}).out, run.out);
}

TEST(Mdlexport, VersionWithoutTheModuleSaysWhereItLookedAndExitsOne) {
  testing_support::TempDir dir;
  const std::string lone = dir.File("mdlexport");
  std::filesystem::copy_file(MDLEXPORT_PATH, lone);
  std::filesystem::permissions(lone, std::filesystem::perms::owner_all);
  const RunResult run = testing_support::RunProgram(lone, {"--version"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "mdlexport " + ProjectVersion() + "\n");
  EXPECT_TRUE(
      Contains(run.err, "cannot find the exporter module: there is no " + dir.File("Vandrell.dlo")))
      << run.err;
}

TEST(Mdlinfo, VersionNamesThePackage) {
  const RunResult run = testing_support::RunProgram(MDLINFO_PATH, {"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "mdlinfo " + ProjectVersion() + "\n");
}

TEST(Mdlexport, UsageErrorsExitTwoWithAReasonAndWriteNothing) {
  TempDir dir;
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);
  const std::string target = dir.File("out.mdl");
  struct Case {
    std::vector<std::string> args;
    const char* reason;  // a part of the message
  };
  const std::vector<Case> cases = {
      {{"--up", "w", scene, target}, "--up takes x, y, z, -x, -y or -z, not 'w'"},
      {{"--turn", "45", scene, target}, "--turn takes 90, 180 or 270 (degrees), not '45'"},
      {{}, "no scene file"},
      {{scene}, "no output file"},
      {{"--bogus", scene, target}, "unknown option --bogus"},
      {{"--frames", "1.5", scene, target}, "'1.5'"},
      {{"--frames", "0", scene, target}, "at least 1"},
      {{"--frames", "-2", scene, target}, "negative"},
      {{"--frames", "12x", scene, target}, "'12x'"},
      {{"--frames", "", scene, target}, "whole number"},
      {{"--scale", "abc", scene, target}, "'abc'"},
      {{"--collision-scale", "50%", scene, target}, "'50%'"},
      {{"--texture-kb", "99999999999", scene, target}, "too large"},
      {{"--fps", "0", scene, target}, "at least 1"},
      {{"--flag", "unknown", scene, target}, "unknown flag 'unknown'"},
      {{"--flat=yes", scene, target}, "takes no value"},
      {{scene, target, "extra"}, "too many"},
      {{scene, target, "--frames"}, "--frames needs a value"},
      {{"--height", "56", "--scale", "50", scene, target}, "not both"},
      {{"--scale=50", "--height=56", scene, target}, "not both"},
      {{"--height", "1.5", scene, target}, "'1.5'"},
      {{"--height", "0", scene, target}, "at least 1"},
      {{"--units", "furlongs", scene, target}, "'furlongs'"},
      {{"--skin", "../red", scene, target}, "a skin's name (as in head_NAME.skin), not '../red'"},
      // A skin is for MD3 models: the scene is read, and refuses it.
      {{"--skin", "red", scene, target}, "is no Quake-family model"},
      {{"--dialog", "--cancel", scene, target}, "not both"},
      // This build has no real dialogs to show a person.
      {{"--dialog", scene, target}, "on Windows"},
  };
  for (const Case& c : cases) {
    std::string command;
    for (const std::string& arg : c.args) command += " '" + arg + "'";
    const RunResult run = RunMdlexport(c.args);
    EXPECT_EQ(run.status, 2) << command;
    EXPECT_TRUE(Contains(run.err, c.reason)) << command << " said: " << run.err;
    EXPECT_TRUE(run.out.empty()) << command;
    EXPECT_FALSE(FileExists(target)) << command;
  }
}

TEST(Mdlexport, UnreadableSceneExitsTwoWithTheImportersReason) {
  TempDir dir;
  const std::string target = dir.File("out.mdl");
  const std::string missing = dir.File("missing.gltf");
  RunResult run = RunMdlexport({missing, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "mdlexport: " + missing + ": ")) << run.err;
  EXPECT_GT(run.err.size(), ("mdlexport: " + missing + ": \n").size());
  EXPECT_FALSE(FileExists(target));

  const std::string garbage = dir.File("garbage.gltf");
  WriteText(garbage, "{ this is not JSON");
  run = RunMdlexport({garbage, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "mdlexport: " + garbage + ": ")) << run.err;
  EXPECT_FALSE(FileExists(target));

  // Files that are not what their names say are named for what they are: a
  // Git LFS pointer under any model's name, a USD file, a kind nothing reads.
  const std::string pointer =
      "version https://git-lfs.github.com/pointer/v1\noid "
      "sha256:4d7a214614ab2935c943f9e0ff69d22eadbb8f32b1258daaa5e2ca24d17e2393\nsize 81920\n";
  struct Case {
    std::string name;
    std::string bytes;
    std::string reason;
  };
  const std::string lfs =
      "it is a Git LFS pointer, not the file itself (which has 81920 bytes): the repository was "
      "cloned without Git LFS; `git lfs pull` fetches the file";
  const std::string usd =
      "it is a USD (Universal Scene Description) file, a format mdlexport does not read: export "
      "the model from its program as glTF, FBX or OBJ and convert that";
  const std::vector<Case> cases = {
      {"knight.mdl", pointer, lfs},
      {"knight.md2", pointer, lfs},
      {"knight.glb", pointer, lfs},
      {"scene.usda", "#usda 1.0\n(\n)\ndef Xform \"hello\" {}\n", usd},
      {"scene.usd", std::string("PXR-USDC\0\0\0\0", 12), usd},
      {"world.wrl", "#VRML V2.0 utf8\nShape {}\n",
       "it is a VRML world, a format mdlexport does not read: export the model from its program "
       "as glTF, FBX or OBJ and convert that"},
      {"scene.xyz", "1 2 3\n",
       "no reader here takes .xyz files with these contents (mdlexport --help lists the formats "
       "read)"}};
  for (const Case& c : cases) {
    const std::string path = dir.File(c.name);
    WriteText(path, c.bytes);
    run = RunMdlexport({path, target});
    EXPECT_EQ(run.status, 2) << c.name;
    EXPECT_EQ(run.err, "mdlexport: " + path + ": cannot read " + path + ": " + c.reason + "\n");
    EXPECT_FALSE(FileExists(target));
  }
}

TEST(Mdlexport, CancelExitsOneAndLeavesTheTargetAlone) {
  TempDir dir;
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);
  const std::string target = dir.File("out.mdl");
  RunResult run = RunMdlexport({"--cancel", scene, target});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.empty());
  EXPECT_FALSE(FileExists(target));

  // A file already there is not touched either.
  WriteText(target, "keep");
  run = RunMdlexport({"--cancel", "--frames", "3", scene, target});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReadText(target), "keep");
}

TEST(Mdlexport, ExportWritesTheFileItsSummaryLineDescribes) {
  TempDir dir;
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);
  const std::string target = dir.File("Ogre.run.mdl");
  const RunResult run = RunMdlexport({scene, target});
  ASSERT_EQ(run.status, 0) << run.err;
  // Standard error is not a terminal here: no progress, and no message box.
  EXPECT_TRUE(run.err.empty()) << run.err;
  long numbers[6] = {};
  ASSERT_TRUE(ParseSummary(run.out, numbers)) << run.out;
  EXPECT_TRUE(Contains(run.out, target + ": "));

  const vandrell::MdlFile file = ReadModel(target);
  EXPECT_EQ(numbers[0], file.header.numverts);
  EXPECT_EQ(numbers[1], file.header.numtris);
  EXPECT_EQ(numbers[2], file.header.numframes);
  EXPECT_EQ(numbers[3], file.header.skinwidth);
  EXPECT_EQ(numbers[4], file.header.skinheight);
  EXPECT_EQ(numbers[5], static_cast<long>(ReadFileBytes(target).size()));
  // Two faces, one frame (the scene has no animation), the dialog's defaults:
  // random synchronisation, no flags, frame names from the file name.
  EXPECT_EQ(file.header.numtris, 2);
  EXPECT_EQ(file.header.numframes, 1);
  EXPECT_EQ(file.header.synctype, 1);
  EXPECT_EQ(file.header.flags, 0);
  ASSERT_EQ(file.frames.size(), 1u);
  EXPECT_STREQ(file.frames[0].name, "Ogre0");

  // -q prints nothing and writes the same file.
  const std::string quiet_target = dir.File("Ogre.quiet.mdl");
  const RunResult quiet = RunMdlexport({"-q", scene, quiet_target});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_TRUE(quiet.out.empty()) << quiet.out;
  EXPECT_EQ(ReadFileBytes(quiet_target), ReadFileBytes(target));
}

TEST(Mdlexport, MissingTextureIsWarnedAboutOrReplacedByTheGivenOne) {
  TempDir dir;
  WriteText(dir.File("lost.mtl"), "newmtl lost\nKd 0 1 0\nmap_Kd gone.png\n");
  WriteText(dir.File("lost.obj"),
            "mtllib lost.mtl\nv 0 0 0\nv 4 0 0\nv 0 2 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
            "usemtl lost\nf 1/1 2/2 3/3\n");
  const std::string target = dir.File("lost.mdl");
  RunResult run = RunMdlexport({dir.File("lost.obj"), target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err,
                       "mdlexport: warning: texture gone.png of material lost not found "
                       "(looked for gone.png in any case, "))
      << run.err;
  // The material is painted in its diffuse colour: one palette index, and
  // at most one more where the layout leaves the skin unpainted.
  const size_t flat = DistinctSkinIndices(ReadModel(target));
  EXPECT_LE(flat, 2u);

  // A bitmap of the user's takes the missing file's place, without a warning.
  run = RunMdlexport(
      {"--texture", SourceFile("examples/example_checker.png"), dir.File("lost.obj"), target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  EXPECT_GT(DistinctSkinIndices(ReadModel(target)), flat);
}

TEST(Mdlexport, ATextureNamedInAnotherCaseIsFoundAndListed) {
  // Made on Windows: the .mtl names Texture.PNG, the file is texture.png.
  TempDir dir;
  WriteText(dir.File("card.mtl"), "newmtl card\nKd 0 1 0\nmap_Kd Texture.PNG\n");
  WriteText(dir.File("card.obj"),
            "mtllib card.mtl\nv 0 0 0\nv 4 0 0\nv 0 2 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
            "usemtl card\nf 1/1 2/2 3/3\n");
  testing_support::WriteFileBytes(dir.File("texture.png"),
                                  ReadFileBytes(SourceFile("examples/example_checker.png")));
  const std::string target = dir.File("card.mdl");
  RunResult run = RunMdlexport({dir.File("card.obj"), target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  // The checker's two colours and more where they blend, not a flat skin.
  EXPECT_GT(DistinctSkinIndices(ReadModel(target)), 2u);

  run = RunMdlexport({"--list", dir.File("card.obj")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(
      Contains(run.out, "textures (1):\n  Texture.PNG: " + dir.File("texture.png") + ", 16x16\n"))
      << run.out;
}

// A Quake II skin as its tools write it: 8 bits a pixel, run-length encoded,
// Quake's palette at the end. 16 x 16 pixels in four bands of four lines,
// palette indices 15, 47, 79 and 111 from the top.
std::vector<uint8_t> BandedPcx() {
  std::vector<uint8_t> pcx = {10, 5, 1, 8, 0, 0, 0, 0, 15, 0, 15, 0};
  pcx.resize(65, 0);
  pcx.insert(pcx.end(), {1, 16, 0});  // one plane of 16 bytes a line
  pcx.resize(128, 0);
  for (int line = 0; line < 16; ++line) pcx.insert(pcx.end(), {0xD0, uint8_t(15 + line / 4 * 32)});
  pcx.push_back(12);
  for (const auto& colour : vandrell::kQuakePaletteRgb) pcx.insert(pcx.end(), colour, colour + 3);
  return pcx;
}

TEST(Mdlexport, AQuakeTwoModelWearsItsPcxSkinNamedFromTheGamesRoot) {
  // The game's folder holds models/monsters/x/tris.md2, which names its skin
  // models/monsters/shared/skin.pcx, relative to the game's root: not
  // beside the model, so that only the game's root leads to it.
  TempDir game;
  const std::string folder = game.File("models/monsters/x");
  const std::string skins = game.File("models/monsters/shared");
  ASSERT_EQ(mkdir(game.File("models").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(game.File("models/monsters").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(skins.c_str(), 0755), 0);
  testscene::Md2Description md2;
  md2.skin_width = 16;
  md2.skin_height = 16;
  md2.skins = {"models/monsters/shared/skin.pcx"};
  md2.texture_coordinates = {{0, 0}, {16, 0}, {0, 16}, {16, 16}};
  md2.triangles = {{0, 1, 2, 0, 1, 2}, {1, 3, 2, 1, 3, 2}};
  md2.frames = {{"stand1", {1, 1, 1}, {0, 0, 0}, {{0, 0, 0}, {0, 40, 0}, {0, 0, 40}, {0, 40, 40}}}};
  testscene::WriteBytes(folder + "/tris.md2", testscene::Md2Bytes(md2));
  testscene::WriteBytes(skins + "/skin.pcx", BandedPcx());

  const std::string target = game.File("x.mdl");
  RunResult run = RunMdlexport({"--texture-kb", "4", folder + "/tris.md2", target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  // Every band's colour is in the skin (Quake's own colours match themselves).
  const vandrell::MdlFile file = ReadModel(target);
  ASSERT_FALSE(file.skins.empty());
  const std::set<uint8_t> indices(file.skins[0].pixels.begin(), file.skins[0].pixels.end());
  for (int index : {15, 47, 79, 111}) EXPECT_EQ(indices.count(uint8_t(index)), 1u) << index;

  run = RunMdlexport({"--list", folder + "/tris.md2"});
  EXPECT_TRUE(
      Contains(run.out, "  models/monsters/shared/skin.pcx: " + skins + "/skin.pcx, 16x16\n"))
      << run.out;

  // A damaged skin is one warning line naming the file and the reason.
  std::vector<uint8_t> damaged = BandedPcx();
  damaged.erase(damaged.begin() + 128, damaged.begin() + 136);
  testscene::WriteBytes(skins + "/skin.pcx", damaged);
  run = RunMdlexport({folder + "/tris.md2", target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "mdlexport: warning: texture " + skins +
                         "/skin.pcx of material models/monsters/shared/skin.pcx cannot be read: "
                         "the PCX pixel data ends early; its diffuse colour is painted instead\n");
}

TEST(Mdlexport, APlayerWearsItsSkinFilesTextures) {
  TempDir game;
  const std::string folder = game.File("models/players/small");
  ASSERT_EQ(mkdir(game.File("models").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(game.File("models/players").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  testscene::WritePlayer(folder, testscene::SmallPlayer());
  const std::vector<uint8_t> checker = ReadFileBytes(SourceFile("examples/example_checker.png"));
  const char* parts[][2] = {{"lower", "l_legs"}, {"upper", "u_torso"}, {"head", "h_head"}};
  for (const auto& part : parts) {
    testscene::WriteText(folder + "/" + part[0] + "_default.skin",
                         std::string(part[1]) + ",models/players/small/look.tga\ntag_head,\n");
  }
  testscene::WriteBytes(folder + "/look.png", checker);

  const std::string target = game.File("small.mdl");
  RunResult run = RunMdlexport({"--player", folder, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  EXPECT_GT(DistinctSkinIndices(ReadModel(target)), 2u);
}

TEST(Mdlexport, ModelsWithoutTheirSkinSayWhatToGive) {
  TempDir game;
  // A Quake II model that names no skin.
  testscene::Md2Description md2;
  md2.texture_coordinates = {{0, 0}, {4, 2}, {8, 4}};
  md2.triangles = {{0, 1, 2, 2, 1, 0}};
  md2.frames = {{"stand1", {1, 1, 1}, {0, 0, 0}, {{2, 3, 4}, {0, 0, 0}, {9, 9, 9}}}};
  const std::string faerie = game.File("faerie.md2");
  testscene::WriteBytes(faerie, testscene::Md2Bytes(md2));
  const std::string target = game.File("out.mdl");
  RunResult run = RunMdlexport({"-q", faerie, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "mdlexport: warning: " + faerie +
                         " names no skin, so it is painted in one grey; give its picture with "
                         "--texture FILE\n");
  testscene::WriteBytes(game.File("faerie.png"),
                        ReadFileBytes(SourceFile("examples/example_checker.png")));
  run = RunMdlexport({"-q", "--texture", game.File("faerie.png"), faerie, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");

  // A player with red and blue skins but no default one.
  const std::string folder = game.File("sorceress");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  testscene::WritePlayer(folder, testscene::SmallPlayer());
  for (const char* part : {"lower", "upper", "head"})
    for (const char* skin : {"Red", "blue"})
      testscene::WriteText(folder + "/" + part + "_" + skin + ".skin", "x,\n");
  run = RunMdlexport({"-q", "--player", folder, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err,
                       "mdlexport: warning: no lower_default.skin, upper_default.skin "
                       "or head_default.skin in " +
                           folder +
                           ": the surfaces wear the shaders they name; the skins there: "
                           "blue, red (choose one with --skin NAME)\n"))
      << run.err;
  run = RunMdlexport({"-q", "--player", "--skin", "green", folder, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "no skin file lower_green.skin beside " + folder +
                                    "/lower.md3 (its skins: blue, red)\n"))
      << run.err;
}

TEST(Mdlexport, DialogOptionsReachTheFile) {
  TempDir dir;
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);

  const std::string flagged = dir.File("flagged.mdl");
  RunResult run = RunMdlexport({"--flag", "rotate", "--flag", "vore-purple-tracer", "--flag",
                                "rotate", "--no-random", scene, flagged});
  ASSERT_EQ(run.status, 0) << run.err;
  vandrell::MdlFile file = ReadModel(flagged);
  EXPECT_EQ(file.header.flags, 8 + 128);
  EXPECT_EQ(file.header.synctype, 0);

  // Each name on its own sets its own bit, which mdlinfo names in the
  // dialog's words.
  const struct {
    const char* name;
    int32_t bit;
    const char* words;
  } flags[] = {{"rocket-smoke-trail", 1, "rocket smoke trail"},
               {"grenade-smoke-trail", 2, "grenade smoke trail"},
               {"gib-long-blood-trail", 4, "gib long blood trail"},
               {"rotate", 8, "rotate"},
               {"wizard-green-tracer", 16, "wizard green tracer"},
               {"gib-short-blood-trail", 32, "gib short blood trail"},
               {"hellknight-yellow-tracer", 64, "hellknight yellow tracer"},
               {"vore-purple-tracer", 128, "vore purple tracer"}};
  for (const auto& flag : flags) {
    const std::string out = dir.File(std::string(flag.name) + ".mdl");
    run = RunMdlexport({"--flag", flag.name, scene, out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadModel(out).header.flags, flag.bit) << flag.name;
    const RunResult info = testing_support::RunProgram(MDLINFO_PATH, {out});
    EXPECT_TRUE(Contains(info.out, " " + std::to_string(flag.bit) + " (" + flag.words + ")\n"))
        << info.out;
  }

  // Half the model scale halves the packing step and the origin; a name of
  // more than 12 characters keeps its first 12.
  const std::string full = dir.File("full.mdl");
  const std::string half = dir.File("half.mdl");
  ASSERT_EQ(RunMdlexport({scene, full}).status, 0);
  run = RunMdlexport({"--scale", "50", "--base-name", "abcdefghijklmnop", scene, half});
  ASSERT_EQ(run.status, 0) << run.err;
  const vandrell::MdlFile full_file = ReadModel(full);
  const vandrell::MdlFile half_file = ReadModel(half);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_NEAR(half_file.header.scale[axis], full_file.header.scale[axis] * 0.5f,
                1e-6f * std::fabs(full_file.header.scale[axis]))
        << "axis " << axis;
    EXPECT_NEAR(half_file.header.scale_origin[axis], full_file.header.scale_origin[axis] * 0.5f,
                1e-5f)
        << "axis " << axis;
  }
  ASSERT_EQ(half_file.frames.size(), 1u);
  EXPECT_STREQ(half_file.frames[0].name, "abcdefghijkl0");
}

TEST(Mdlexport, ShadingColoursAndCollisionBoxOptionsReachTheModel) {
  TempDir dir;
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);
  // The two faces meet at a right angle along the edge of corners 1 and 3.
  // Smoothed, each of those corners has one averaged normal and is shared: 4
  // vertices. Flat, each face keeps its own normal there: 6.
  const std::string smooth = dir.File("smooth.mdl");
  const std::string flat = dir.File("flat.mdl");
  ASSERT_EQ(RunMdlexport({scene, smooth}).status, 0);
  RunResult run = RunMdlexport({"--flat", scene, flat});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadModel(smooth).header.numverts, 4);
  EXPECT_EQ(ReadModel(flat).header.numverts, 6);

  // The palette's last 32 entries glow in the game; only --fullbright lets
  // the bright red and yellow of the example's checker reach them.
  const std::string example = SourceFile("examples/example.gltf");
  const std::string plain = dir.File("plain.mdl");
  const std::string bright = dir.File("bright.mdl");
  ASSERT_EQ(RunMdlexport({example, plain}).status, 0);
  ASSERT_EQ(RunMdlexport({"--fullbright", example, bright}).status, 0);
  auto fullbright_pixels = [](const vandrell::MdlFile& file) {
    int count = 0;
    for (uint8_t index : file.skins.at(0).pixels) count += index >= 224;
    return count;
  };
  EXPECT_EQ(fullbright_pixels(ReadModel(plain)), 0);
  EXPECT_GT(fullbright_pixels(ReadModel(bright)), 0);

  // One frame spans the packed range 0..254 on every axis; at 50 percent each
  // end moves in by trunc(254 x 0.25) = 63.
  const std::string boxed = dir.File("boxed.mdl");
  run = RunMdlexport({"--collision-scale", "50", example, boxed});
  ASSERT_EQ(run.status, 0) << run.err;
  const vandrell::MdlFile boxed_file = ReadModel(boxed);
  const vandrell::MdlFile plain_file = ReadModel(plain);
  ASSERT_EQ(boxed_file.frames.size(), 1u);
  ASSERT_EQ(plain_file.frames.size(), 1u);
  const vandrell::MdlFrame& whole = plain_file.frames[0];
  const vandrell::MdlFrame& half = boxed_file.frames[0];
  EXPECT_EQ(std::vector<int>({whole.box_min.x, whole.box_min.y, whole.box_min.z, whole.box_max.x,
                              whole.box_max.y, whole.box_max.z}),
            std::vector<int>({0, 0, 0, 254, 254, 254}));
  EXPECT_EQ(std::vector<int>({half.box_min.x, half.box_min.y, half.box_min.z, half.box_max.x,
                              half.box_max.y, half.box_max.z}),
            std::vector<int>({63, 63, 63, 191, 191, 191}));
}

TEST(Mdlexport, ImportOptionsChooseTheClipAndTheRate) {
  TempDir dir;
  const std::string example = SourceFile("examples/example.gltf");
  const std::string target = dir.File("out.mdl");
  // The example's one clip lasts a second: 21 frames at 20 a second, 6 at 5.
  struct Case {
    std::vector<std::string> options;
    int frames;
  };
  const std::vector<Case> cases = {
      {{"--fps", "20"}, 21},      {{"--fps", "5"}, 6},          {{"--animation", "wave"}, 11},
      {{"--animation", "0"}, 11}, {{"--animation", "all"}, 11}, {{"--frames", "4"}, 4},
      {{"--frames", "500"}, 11},  // never more than the range holds
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    if (std::find(args.begin(), args.end(), "--frames") == args.end())
      args.insert(args.end(), {"--frames", "all"});
    args.insert(args.end(), {example, target});
    const RunResult run = RunMdlexport(args);
    ASSERT_EQ(run.status, 0) << c.options[0] << " " << c.options[1] << ": " << run.err;
    EXPECT_EQ(ReadModel(target).header.numframes, c.frames) << c.options[0] << " " << c.options[1];
  }

  // Refused by the importer: the scene is not read as asked, status 2.
  for (const std::vector<std::string>& options :
       std::vector<std::vector<std::string>>{{"--fps", "7"},
                                             {"--animation", "dance"},
                                             {"--animation", "3"},
                                             {"--texture", dir.File("absent.png")}}) {
    std::remove(target.c_str());
    const RunResult run = RunMdlexport({options[0], options[1], example, target});
    EXPECT_EQ(run.status, 2) << options[0] << " " << options[1];
    EXPECT_TRUE(Contains(run.err, "mdlexport: " + example + ": ")) << run.err;
    EXPECT_FALSE(FileExists(target));
  }
}

// A model of four triangles over four vertices, three frames (a plain one and
// a group of two), a 16 x 8 skin whose 128 pixels run through the palette
// (fullbright colours, and colours the palette holds twice, among them), a
// vertex on the seam and two triangles that face away.
testscene::MdlDescription RoundTripMdl() {
  testscene::MdlDescription mdl;
  mdl.scale = {0.25f, 0.5f, 0.75f};
  mdl.origin = {-10, -20, 5};
  mdl.skin_width = 16;
  mdl.skin_height = 8;
  std::vector<uint8_t> pixels(128);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37 + 11);
  pixels[0] = 0;
  pixels[1] = 48;  // black, as entry 0 is
  mdl.skins = {{false, {pixels}}};
  mdl.skin_vertices = {{0, 0, 0}, {32, 7, 3}, {0, 15, 7}, {0, 4, 6}};
  mdl.triangles = {{1, 0, 1, 2}, {0, 1, 3, 2}, {1, 0, 3, 1}, {0, 0, 2, 3}};
  auto frame = [](const std::string& name, uint8_t shift) {
    return testscene::MdlFrame{name,
                               {{shift, 10, 20, 0},
                                {200, static_cast<uint8_t>(40 + shift), 0, 0},
                                {90, 255, static_cast<uint8_t>(100 + shift), 0},
                                {30, 60, 250, 0}}};
  };
  mdl.frames = {{false, {frame("stand1", 0)}}, {true, {frame("stand2", 3), frame("walk1", 9)}}};
  return mdl;
}

// A triangle corner's skin column, seen as the game sees it: half the skin
// further right for a vertex on the seam of a triangle that faces away.
int EffectiveColumn(const vandrell::MdlFile& file, const vandrell::MdlTriangle& triangle, int c) {
  const vandrell::MdlSkinVertex& v =
      file.skin_vertices.at(static_cast<size_t>(triangle.vertices[c]));
  return v.s + (v.on_seam && !triangle.faces_front ? file.header.skinwidth / 2 : 0);
}

TEST(Mdlexport, QuakeModelConvertsToItselfKeepingFramesSkinColoursAndVertices) {
  TempDir dir;
  const std::string source = dir.File("model.mdl");
  testscene::WriteBytes(source, testscene::MdlBytes(RoundTripMdl()));
  const vandrell::MdlFile original = ReadModel(source);
  for (bool fullbright : {true, false}) {
    const std::string target = dir.File(fullbright ? "bright.mdl" : "plain.mdl");
    std::vector<std::string> args = {"-q", "--frames", "all", source, target};
    if (fullbright) args.insert(args.begin(), "--fullbright");
    const RunResult run = RunMdlexport(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const vandrell::MdlFile copy = ReadModel(target);
    EXPECT_EQ(copy.header.numframes, 3);
    ASSERT_EQ(copy.header.skinwidth, 16);
    ASSERT_EQ(copy.header.skinheight, 8);
    // Every pixel keeps its colour (either index where the palette holds it
    // twice); without --fullbright the fullbright ones take another.
    const std::vector<uint8_t>& before = original.skins.at(0).pixels;
    const std::vector<uint8_t>& after = copy.skins.at(0).pixels;
    int fullbright_pixels = 0;
    for (size_t i = 0; i < before.size(); ++i) {
      const uint8_t* a = vandrell::kQuakePaletteRgb[before[i]];
      const uint8_t* b = vandrell::kQuakePaletteRgb[after[i]];
      const bool same = a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
      if (fullbright || before[i] < vandrell::kPaletteSizeWithoutFullbright) {
        EXPECT_TRUE(same) << "pixel " << i << ": " << int(before[i]) << " became " << int(after[i]);
      } else {
        ++fullbright_pixels;
        EXPECT_LT(after[i], vandrell::kPaletteSizeWithoutFullbright) << "pixel " << i;
      }
    }
    EXPECT_EQ(fullbright_pixels, fullbright ? 0 : 16);
    // Triangle by triangle: the same corners in the same turn (the winding,
    // whichever corner comes first), each on the same skin pixel and at the
    // same place within the packing steps.
    ASSERT_EQ(copy.triangles.size(), original.triangles.size());
    auto same_corner = [&](const vandrell::MdlTriangle& a, int ca, const vandrell::MdlTriangle& b,
                           int cb) {
      if (EffectiveColumn(copy, b, cb) != EffectiveColumn(original, a, ca) ||
          copy.skin_vertices.at(static_cast<size_t>(b.vertices[cb])).t !=
              original.skin_vertices.at(static_cast<size_t>(a.vertices[ca])).t)
        return false;
      for (size_t f = 0; f < 3; ++f) {
        const vandrell::MdlPackedVertex& p = original.frames[f].vertices[a.vertices[ca]];
        const vandrell::MdlPackedVertex& q = copy.frames[f].vertices[b.vertices[cb]];
        const uint8_t pa[3] = {p.x, p.y, p.z}, qa[3] = {q.x, q.y, q.z};
        for (int axis = 0; axis < 3; ++axis) {
          if (std::fabs(vandrell::DecodeCoordinate(copy.header, axis, qa[axis]) -
                        vandrell::DecodeCoordinate(original.header, axis, pa[axis])) >
              copy.header.scale[axis] * 1.001f)
            return false;
        }
      }
      return true;
    };
    for (size_t k = 0; k < original.triangles.size(); ++k) {
      int turns = 0;
      for (int r = 0; r < 3; ++r) {
        bool all = true;
        for (int c = 0; c < 3; ++c)
          all = all && same_corner(original.triangles[k], (c + r) % 3, copy.triangles[k], c);
        turns += all;
      }
      EXPECT_EQ(turns, 1) << "triangle " << k << (fullbright ? " (fullbright)" : "");
    }
  }
}

TEST(Mdlexport, DamagedQuakeModelsExitTwoNamingTheFileAndTheReason) {
  TempDir dir;
  const std::string target = dir.File("out.mdl");
  std::vector<uint8_t> md3 = testscene::Md3Bytes(testscene::SmallPlayer().upper);
  md3.resize(md3.size() - 10);
  const std::string cut = dir.File("cut.md3");
  testscene::WriteBytes(cut, md3);
  RunResult run = RunMdlexport({cut, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "mdlexport: " + cut + ": cannot read " + cut +
                                    ": the file ends inside surface 0 (u_torso)'s vertices"))
      << run.err;
  EXPECT_FALSE(FileExists(target));

  const std::string wrong = dir.File("wrong.md2");
  WriteText(wrong, "nothing of a model here");
  run = RunMdlexport({wrong, target});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "cannot read " + wrong + ": not a Quake model")) << run.err;
  EXPECT_FALSE(FileExists(target));

  // Bytes after the last frame are read past, with a warning.
  testscene::MdlDescription mdl = RoundTripMdl();
  mdl.trailing.assign(1000, 0xCD);
  const std::string longer = dir.File("longer.mdl");
  testscene::WriteBytes(longer, testscene::MdlBytes(mdl));
  run = RunMdlexport({"-q", longer, target});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "warning: longer.mdl: 1000 bytes after the last frame are ignored"))
      << run.err;
}

TEST(Mdlexport, QuakeClipsAreListedChosenAndWrittenAsFrameMacros) {
  TempDir dir;
  const std::string source = dir.File("model.mdl");
  testscene::WriteBytes(source, testscene::MdlBytes(RoundTripMdl()));
  const std::string target = dir.File("out.mdl");
  const std::string qc = dir.File("frames.qc");

  RunResult run = RunMdlexport({"--list", source});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "  0 \"stand\": 2 frames, ticks 0..480\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "  1 \"walk\": 1 frame, ticks 960..960\n")) << run.out;
  // The skin's 16 x 8 bytes fit a limit of 1 KByte; 16 of its pixels are fullbright.
  EXPECT_TRUE(Contains(run.out,
                       "the model's own skin, 16x8 palette indices, kept pixel for pixel "
                       "with --texture-kb 1 or more and --fullbright (16 fullbright "
                       "pixels)\n"))
      << run.out;

  // By default every frame; a clip by its name.
  run = RunMdlexport({"-q", "--frames", "all", "--qc", qc, source, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadModel(target).header.numframes, 3);
  EXPECT_EQ(ReadText(qc), "$frame stand1 stand2\n$frame walk1\n");
  run = RunMdlexport({"-q", "--frames", "all", "--animation", "walk", "--qc", qc, source, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadModel(target).header.numframes, 1);
  EXPECT_EQ(ReadText(qc), "$frame walk1\n");
  // The frames written, at the rate asked for.
  run = RunMdlexport({"-q", "--frames", "2", "--fps", "20", "--qc", qc, source, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadText(qc), "$frame stand1 stand2\n");
  EXPECT_FALSE(FileExists(qc + ".part"));

  // A player: its animation.cfg's clips, in lower case.
  const std::string player = dir.File("player");
  ASSERT_EQ(mkdir(player.c_str(), 0755), 0);
  testscene::WritePlayer(player, testscene::SmallPlayer());
  run = RunMdlexport({"-q", "--player", "--frames", "all", "--qc", qc, player, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadModel(target).header.numframes, 30);
  const std::string lines = ReadText(qc);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 25);
  EXPECT_EQ(lines.rfind("$frame both_death1_1 both_death1_2\n$frame both_dead1_1\n$frame "
                        "both_death2_1\n",
                        0),
            0u)
      << lines;
  EXPECT_TRUE(Contains(lines, "\n$frame legs_run1 legs_run2\n")) << lines;
  run = RunMdlexport({"-q", "--player", "--frames", "all", "--animation", "legs_idle",
                      player + "/head.md3", target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadModel(target).header.numframes, 2);

  // --qc with --list is a usage error.
  run = RunMdlexport({"--list", "--qc", qc, source});
  EXPECT_EQ(run.status, 2);
}

TEST(Mdlexport, SceneWithoutFacesSaysWhatTheFileHoldsAndExitsOne) {
  TempDir dir;
  const std::string target = dir.File("out.mdl");
  struct Case {
    std::string file;
    std::string holds;
  };
  std::vector<Case> cases;
  // A node without a mesh; only vertices; only points; only a line.
  cases.push_back({dir.File("empty.gltf"), "holds no mesh"});
  WriteText(cases.back().file,
            R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],)"
            R"( "nodes": [{"name": "empty"}]})");
  cases.push_back({dir.File("vertices.obj"), "holds only vertices, no faces"});
  WriteText(cases.back().file, "v 0 0 0\nv 1 0 0\nv 0 1 0\n");
  cases.push_back({dir.File("points.obj"), "holds only points"});
  WriteText(cases.back().file, "v 0 0 0\nv 1 0 0\nv 0 1 0\np 1 2\n");
  cases.push_back({dir.File("line.obj"), "holds only lines"});
  WriteText(cases.back().file, "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\n");
  // Motion capture: bones and motion, which Assimp would show as pyramids.
  cases.push_back({dir.File("motion.bvh"), "holds an animation but no mesh"});
  WriteText(cases.back().file,
            "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 6 Xposition Yposition "
            "Zposition Zrotation Xrotation Yrotation\n  JOINT Chest\n  {\n    OFFSET 0 5 0\n"
            "    CHANNELS 3 Zrotation Xrotation Yrotation\n    End Site\n    {\n      OFFSET 0 5 "
            "0\n    }\n  }\n}\nMOTION\nFrames: 2\nFrame Time: 0.1\n0 0 0 0 0 0 0 0 0\n1 0 0 0 0 0 "
            "10 0 0\n");
  // An IQM animation without a mesh (Red Eclipse keeps its players' motions
  // so), and an MD3 of tags alone (Quake III's weapon hands).
  testscene::IqmDescription motion;
  testscene::IqmPose pose;
  pose.mask = 1;
  pose.scale[0] = 1;
  motion.poses = {pose};
  motion.animations = {{"idle", 0, 2, 10, 1}};
  motion.frames = {{0}, {3}};
  cases.push_back({dir.File("idle.iqm"), "holds an animation but no mesh"});
  testscene::WriteBytes(cases.back().file, testscene::IqmBytes(motion));
  testscene::Md3Description hand;
  hand.frame_names = {"hand"};
  hand.tags = {testscene::StillTag("tag_weapon", 1, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}),
               testscene::StillTag("tag_flash", 1, {9, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1})};
  cases.push_back({dir.File("hand.md3"), "holds only tags (tag_weapon, tag_flash) but no mesh"});
  testscene::WriteBytes(cases.back().file, testscene::Md3Bytes(hand));
  // A Half-Life model's sequence file: its motion, for the model that names it.
  const std::string sequence =
      "/usr/share/assimp/models/MDL/MDL (HL1)/duplicate_sequence_groups/"
      "duplicate_sequence_groups01.mdl";
  if (FileExists(sequence))
    cases.push_back({sequence,
                     "holds an animation but no mesh (a Half-Life sequence file, whose model "
                     "names it)"});
  for (const Case& c : cases) {
    const RunResult run = RunMdlexport({c.file, target});
    EXPECT_EQ(run.status, 1) << c.file;
    EXPECT_EQ(run.err, "mdlexport: " + c.file + " " + c.holds + "\n") << c.file;
    EXPECT_TRUE(run.out.empty()) << c.file;
    EXPECT_FALSE(FileExists(target)) << c.file;
    const RunResult list = RunMdlexport({"--list", c.file});
    EXPECT_EQ(list.status, 0) << c.file;
    EXPECT_TRUE(Contains(list.out, "\nnothing to export: the file " + c.holds + "\n"))
        << c.file << ": " << list.out;
  }
}

TEST(Mdlexport, FailuresShownByTheExporterExitOneWithoutAFile) {
  TempDir dir;
  const std::string target = dir.File("out.mdl");
  const std::string scene = dir.File("scene.obj");
  WriteText(scene, kTwoTriangleObj);
  const std::string nowhere = dir.File("missing/folder/out.mdl");
  RunResult run = RunMdlexport({scene, nowhere});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "Vandrell Exporter: Can't create output file\n")) << run.err;
  EXPECT_FALSE(FileExists(nowhere));

  // A file-size limit below the model's size: the write fails, is reported,
  // and the partial file is removed.
  RunSettings limited;
  limited.file_size_limit = 100;
  run = RunMdlexport({scene, target}, limited);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "Vandrell Exporter: Write error on file\n")) << run.err;
  EXPECT_FALSE(FileExists(target));

  // A texture limit of 0 KBytes leaves no room for the skin of the example's
  // two materials.
  run = RunMdlexport({"--texture-kb", "0", SourceFile("examples/example.gltf"), target});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "Vandrell Exporter: The texture size limit is too small"))
      << run.err;
  EXPECT_FALSE(FileExists(target));
}

TEST(Mdlexport, ListPrintsWhatTheSceneHoldsAndExportsNothing) {
  TempDir dir;
  const std::string target = dir.File("out.mdl");
  const RunResult run = RunMdlexport({"--list", SourceFile("examples/example.gltf"), target});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(FileExists(target));
  for (const char* part : {"nodes (4):", "meshes (3):", "materials (2):", "textures (1):",
                           "example_checker.png", "clips (1):", "\"wave\": 11 frames"}) {
    EXPECT_TRUE(Contains(run.out, part)) << "missing " << part << " in\n" << run.out;
  }
}

TEST(Mdlexport, HeightAndUnitsSizeTheModel) {
  TempDir dir;
  const std::string example = SourceFile("examples/example.gltf");
  const std::string target = dir.File("fit.mdl");

  // The example stands from its hips (4) to its head (33) at its first
  // frame: 29 units, and 56 / 29 = 193.103%.
  RunResult run = RunMdlexport({"--list", example});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "unit: metres (glTF), 1 file unit = 39.3701 Quake units\n"))
      << run.out;
  EXPECT_TRUE(Contains(run.out, "size: 20.00 wide, 10.00 deep, 29.00 high in Quake units"))
      << run.out;

  run = RunMdlexport({"--height", "56", example, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "bytes, scale 193.103% for a height of 56\n")) << run.out;
  vandrell::MdlFile file = ReadModel(target);
  float low = 0, high = 0;
  FrameExtent(file, 0, 2, &low, &high);
  // The top packs a step low as a rule; the packing box itself is the model's
  // own, 255 steps.
  EXPECT_NEAR(high - low, 56.0f, file.header.scale[2] * 1.01f);
  EXPECT_NEAR(file.header.scale[2] * 255, 56.0f, 0.01f);

  // An OBJ file has no unit; named as centimetres, 254 of them are 100 inches.
  const std::string obj = dir.File("tall.obj");
  WriteText(obj, "v 0 0 0\nv 10 0 0\nv 0 254 0\nf 1 2 3\n");
  run = RunMdlexport({"--units", "centimetres", obj, target});
  ASSERT_EQ(run.status, 0) << run.err;
  file = ReadModel(target);
  EXPECT_NEAR(file.header.scale[2] * 255, 100.0f, 0.01f);

  // Lying flat, a model has no height to fit: nothing is written.
  const std::string flat = dir.File("flat.obj");
  WriteText(flat, "v 0 0 0\nv 10 0 0\nv 0 0 10\nf 1 2 3\n");
  const std::string none = dir.File("none.mdl");
  run = RunMdlexport({"--height", "56", flat, none});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "flat")) << run.err;
  EXPECT_FALSE(FileExists(none));
}

TEST(Mdlexport, ProgressIsShownOnlyWhenStandardErrorIsATerminal) {
  TempDir dir;
  const std::string example = SourceFile("examples/example.gltf");
  const std::string target = dir.File("wave.mdl");
  RunSettings terminal;
  terminal.terminal_stderr = true;
  RunResult run = RunMdlexport({"--frames", "all", example, target}, terminal);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "\rsampling frame 1/11")) << run.err;
  EXPECT_TRUE(Contains(run.err, "\rsampling frame 11/11")) << run.err;
  EXPECT_FALSE(Contains(run.err, "12/11"));

  run = RunMdlexport({"--frames", "all", example, target});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST(Mdlexport, ExampleSceneIsWhatItsGeneratorWrites) {
  TempDir dir;
  const std::string command = std::string(MAKE_EXAMPLE_PATH) + " " + dir.path();
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("example.gltf")),
            ReadFileBytes(SourceFile("examples/example.gltf")));
  EXPECT_EQ(ReadFileBytes(dir.File("example_checker.png")),
            ReadFileBytes(SourceFile("examples/example_checker.png")));
}

TEST(Mdlexport, ExampleSceneExportsAnimatedTexturedAndFacingPlusX) {
  TempDir dir;
  const std::string target = dir.File("example.mdl");
  const RunResult run = RunMdlexport(
      {"--frames", "all", "--base-name", "ogre", SourceFile("examples/example.gltf"), target});
  ASSERT_EQ(run.status, 0) << run.err;
  const vandrell::MdlFile file = ReadModel(target);
  // Three boxes and a nose of 12 triangles each; one second at 10 frames a
  // second, both ends included.
  EXPECT_EQ(file.header.numtris, 48);
  ASSERT_EQ(file.header.numframes, 11);
  EXPECT_STREQ(file.frames[0].name, "ogre0");
  EXPECT_STREQ(file.frames[10].name, "ogre10");
  EXPECT_GE(FramesDifferingFromFirst(file), 8);
  // Red, yellow and green checker squares and the flat blue.
  EXPECT_GE(DistinctSkinIndices(file), 4u);

  // Frame 0 at rest, in the model's frame (front +X, Z up): depth from the
  // back (-4) to the nose (6), width from the arm (-12, the figure's right)
  // to the body's left side (8), height from the hips (4) to the head (33).
  const float expected[3][2] = {{-4, 6}, {-12, 8}, {4, 33}};
  for (int axis = 0; axis < 3; ++axis) {
    float low = 0, high = 0;
    FrameExtent(file, 0, axis, &low, &high);
    const float step = file.header.scale[axis] * 1.01f;
    EXPECT_NEAR(low, expected[axis][0], step) << "axis " << axis;
    EXPECT_NEAR(high, expected[axis][1], step) << "axis " << axis;
  }
}

// Files of four vertices, the origin and one on each of the file's axes at
// 1 (+X), 2 (+Y) and 3 (+Z), in two triangles, in each format's own words.
std::string AxesFile(const std::string& folder, const std::string& extension) {
  const std::string path = folder + "/axes." + extension;
  if (extension == "obj") {
    WriteText(path, "v 0 0 0\nv 1 0 0\nv 0 2 0\nv 0 0 3\nf 1 2 3\nf 1 3 4\n");
  } else if (extension == "ply") {
    WriteText(path,
              "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
              "property float z\nelement face 2\nproperty list uchar int vertex_indices\n"
              "end_header\n0 0 0\n1 0 0\n0 2 0\n0 0 3\n3 0 1 2\n3 0 2 3\n");
  } else if (extension == "stl") {
    WriteText(path,
              "solid axes\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
              "vertex 0 2 0\nendloop\nendfacet\nfacet normal 1 0 0\nouter loop\n"
              "vertex 0 0 0\nvertex 0 2 0\nvertex 0 0 3\nendloop\nendfacet\nendsolid axes\n");
  } else if (extension == "x") {
    WriteText(path,
              "xof 0303txt 0032\nMesh axes {\n 4;\n 0.0;0.0;0.0;,\n 1.0;0.0;0.0;,\n "
              "0.0;2.0;0.0;,\n 0.0;0.0;3.0;;\n 2;\n 3;0,1,2;,\n 3;0,2,3;;\n}\n");
  } else if (extension == "smd") {
    // bone, position, normal, texture coordinates
    WriteText(path,
              "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n"
              "triangles\naxes.bmp\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 0 0\n0 0 2 0 0 0 1 0 0\n"
              "axes.bmp\n0 0 0 0 0 0 1 0 0\n0 0 2 0 0 0 1 0 0\n0 0 0 3 0 0 1 0 0\nend\n");
  } else if (extension == "md5mesh") {
    // Assimp's reader wants the blank lines between the parts.
    WriteText(path,
              "MD5Version 10\ncommandline \"\"\n\nnumJoints 1\nnumMeshes 1\n\njoints {\n"
              "\t\"origin\"\t-1 ( 0 0 0 ) ( 0 0 0 )\n}\n\nmesh {\n\tshader \"axes\"\n"
              "\tnumverts 4\n\tvert 0 ( 0 0 ) 0 1\n\tvert 1 ( 0 0 ) 1 1\n\tvert 2 ( 0 0 ) 2 1\n"
              "\tvert 3 ( 0 0 ) 3 1\n\tnumtris 2\n\ttri 0 0 1 2\n\ttri 1 0 2 3\n"
              "\tnumweights 4\n\tweight 0 0 1.0 ( 0 0 0 )\n\tweight 1 0 1.0 ( 1 0 0 )\n"
              "\tweight 2 0 1.0 ( 0 2 0 )\n\tweight 3 0 1.0 ( 0 0 3 )\n}\n");
  } else if (extension == "b3d") {
    // Chunks of a four-byte tag and an int32 length: BB3D (version 1) holds
    // a NODE (name, position, scale, rotation w x y z) holding a MESH (brush
    // -1) of VRTS (flags 0, no texture coordinates) and TRIS (brush -1).
    std::vector<uint8_t> vertices, triangles, mesh, node, file;
    auto put = [](std::vector<uint8_t>& out, const void* data, size_t size) {
      const uint8_t* bytes = static_cast<const uint8_t*>(data);
      out.insert(out.end(), bytes, bytes + size);
    };
    auto put_int = [&put](std::vector<uint8_t>& out, int32_t value) {
      const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                static_cast<uint8_t>(value >> 16),
                                static_cast<uint8_t>(value >> 24)};
      put(out, bytes, 4);
    };
    auto put_float = [&put_int](std::vector<uint8_t>& out, float value) {
      int32_t bits;
      std::memcpy(&bits, &value, 4);
      put_int(out, bits);
    };
    auto chunk = [&put, &put_int](std::vector<uint8_t>& out, const char* tag,
                                  const std::vector<uint8_t>& body) {
      put(out, tag, 4);
      put_int(out, static_cast<int32_t>(body.size()));
      put(out, body.data(), body.size());
    };
    for (int32_t value : {0, 0, 0}) put_int(vertices, value);
    for (float value : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 2.f, 0.f, 0.f, 0.f, 3.f})
      put_float(vertices, value);
    for (int32_t value : {-1, 0, 1, 2, 0, 2, 3}) put_int(triangles, value);
    put_int(mesh, -1);
    chunk(mesh, "VRTS", vertices);
    chunk(mesh, "TRIS", triangles);
    put(node, "axes", 5);
    for (float value : {0.f, 0.f, 0.f, 1.f, 1.f, 1.f, 1.f, 0.f, 0.f, 0.f}) put_float(node, value);
    chunk(node, "MESH", mesh);
    std::vector<uint8_t> body;
    put_int(body, 1);
    chunk(body, "NODE", node);
    chunk(file, "BB3D", body);
    testscene::WriteBytes(path, file);
  } else if (extension == "gltf") {
    testscene::GltfBuffer buffer;
    const int positions = buffer.AddFloats({0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3}, 3, true);
    const int indices = buffer.AddUint16({0, 1, 2, 0, 2, 3}, 1);
    WriteText(path,
              "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
              "\"nodes\":[{\"mesh\":0}],\"meshes\":[{\"primitives\":[{\"attributes\":"
              "{\"POSITION\":" +
                  std::to_string(positions) + "},\"indices\":" + std::to_string(indices) +
                  "}]}],\n" + buffer.Members() + "}");
  }
  return path;
}

// Where the written model's frame 0 has the file's +X, +Y and +Z vertices
// (the nearest, the middle and the farthest from the origin), each as the
// model's axis it lies along: "+X", "-Y", ...
std::vector<std::string> MarkerAxes(const vandrell::MdlFile& file) {
  std::vector<std::pair<float, std::string>> found;
  for (const vandrell::MdlPackedVertex& packed : file.frames.at(0).vertices) {
    const uint8_t steps[3] = {packed.x, packed.y, packed.z};
    float p[3], length = 0;
    int along = 0;
    for (int a = 0; a < 3; ++a) {
      p[a] = file.header.scale_origin[a] + steps[a] * file.header.scale[a];
      length += p[a] * p[a];
      if (std::fabs(p[a]) > std::fabs(p[along])) along = a;
    }
    if (length < 1e-2f) continue;  // the origin
    found.push_back({length, std::string(p[along] < 0 ? "-" : "+") + "XYZ"[along]});
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> axes;
  for (const auto& marker : found) axes.push_back(marker.second);
  return axes;
}

TEST(Mdlexport, EachFormatsAxesBringItsModelUprightAndFacingPlusX) {
  TempDir dir;
  // Quake models face +X with Z up and +Y their left; each format's up, the
  // way its models face and its left go there, so each row says where the
  // file's +X, +Y and +Z end up, worked out from the format's conventions.
  const struct {
    const char* extension;
    std::vector<std::string> expected;
  } formats[] = {
      // Y up, facing +Z: its left is +X (right-handed).
      {"gltf", {"+Y", "+Z", "+X"}},
      {"obj", {"+Y", "+Z", "+X"}},
      {"ply", {"+Y", "+Z", "+X"}},
      // Left-handed, Y up, facing -Z toward its camera: +X is its left.
      {"x", {"+Y", "+Z", "-X"}},
      // Left-handed, Y up, facing +Z away from the camera: +X is its right.
      {"b3d", {"-Y", "+Z", "+X"}},
      // Z up, facing +X like Quake's.
      {"smd", {"+X", "+Y", "+Z"}},
      {"md5mesh", {"+X", "+Y", "+Z"}},
      // Z up, facing -Y: +X is its left, +Y its back.
      {"stl", {"+Y", "-X", "+Z"}},
  };
  for (const auto& format : formats) {
    const std::string target = dir.File(std::string("axes-") + format.extension + ".mdl");
    const RunResult run = RunMdlexport({"-q", AxesFile(dir.path(), format.extension), target});
    ASSERT_EQ(run.status, 0) << format.extension << ": " << run.err;
    EXPECT_EQ(MarkerAxes(ReadModel(target)), format.expected) << format.extension;
  }

  // Files that state nothing useful: --up names the file's up axis, the
  // front following the table, and --turn turns counter-clockwise seen from
  // above after it (the model's +X to +Y).
  const struct {
    const char* extension;
    std::vector<std::string> options;
    std::vector<std::string> expected;
    const char* axes;  // what --list says
  } chosen[] = {
      // An STL file of Y-up data: up +Y; its front -Y lies along it, so the
      // front becomes the table's up (+Z) turned away: +Z, as OBJ's.
      {"stl",
       {"--up", "y"},
       {"+Y", "+Z", "+X"},
       "STL, 3MF, AMF: up +Y (--up), front +Z, right-handed"},
      // The same turned a quarter: +X to +Y, +Y to -X.
      {"stl",
       {"--up", "y", "--turn", "90"},
       {"-X", "+Z", "+Y"},
       "STL, 3MF, AMF: up +Y (--up), front +Z, right-handed; turned 90 degrees counter-clockwise "
       "seen from above (--turn)"},
      // An OBJ file of Z-up data: its front +Z lies along the new up, so it
      // becomes the table's up (+Y) turned away: -Y, as STL's.
      {"obj", {"--up", "z"}, {"+Y", "-X", "+Z"}, "OBJ, PLY: up +Z (--up), front -Y, right-handed"},
      // Upside down: the front stays, the sides swap.
      {"obj", {"--up", "-y"}, {"-Y", "-Z", "+X"}, "OBJ, PLY: up -Y (--up), front +Z, right-handed"},
      // A Quake model turned half round.
      {"smd",
       {"--turn", "180"},
       {"-X", "-Y", "+Z"},
       "Half-Life SMD: up +Z, front +X, right-handed (the format's); turned 180 degrees "
       "counter-clockwise seen from above (--turn)"},
  };
  for (const auto& choice : chosen) {
    const std::string scene = AxesFile(dir.path(), choice.extension);
    const std::string target = dir.File("chosen.mdl");
    std::vector<std::string> args = choice.options;
    args.insert(args.begin(), "-q");
    args.push_back(scene);
    args.push_back(target);
    const RunResult run = RunMdlexport(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(MarkerAxes(ReadModel(target)), choice.expected) << choice.axes;
    args.pop_back();
    args.insert(args.begin(), "--list");
    EXPECT_TRUE(Contains(RunMdlexport(args).out, std::string("\naxes: ") + choice.axes + "\n"))
        << choice.axes;
  }

  // The turn comes before the size options: --height measures the file's
  // +Y, 2 long, as the model's height.
  const std::string tall = dir.File("tall.mdl");
  const RunResult run =
      RunMdlexport({"-q", "--up", "y", "--height", "56", AxesFile(dir.path(), "stl"), tall});
  ASSERT_EQ(run.status, 0) << run.err;
  float low = 0, high = 0;
  const vandrell::MdlFile file = ReadModel(tall);
  FrameExtent(file, 0, 2, &low, &high);
  EXPECT_NEAR(high, 56, file.header.scale[2] * 1.01f);
}

// What "assimp info" says of a file, or empty when the tool is missing.
std::string AssimpInfo(const std::string& path) {
  if (std::system("command -v assimp >/dev/null 2>&1") != 0) return {};
  std::string text;
  FILE* pipe = popen(("assimp info '" + path + "' 2>/dev/null").c_str(), "r");
  if (!pipe) return {};
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  pclose(pipe);
  return text;
}

TEST(Mdlexport, AssimpsOwnQuakeReaderReadsTheSameModel) {
  TempDir dir;
  const std::string target = dir.File("example.mdl");
  const RunResult run = RunMdlexport({SourceFile("examples/example.gltf"), target});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string info = AssimpInfo(target);
  if (info.empty()) GTEST_SKIP() << "the assimp command (assimp-utils) is not installed";
  const vandrell::MdlFile file = ReadModel(target);

  std::smatch match;
  ASSERT_TRUE(std::regex_search(info, match, std::regex(R"(Faces:\s+(\d+))"))) << info;
  EXPECT_EQ(std::stoi(match[1].str()), 48);
  EXPECT_TRUE(std::regex_search(info, std::regex(R"(Textures \(embed\.\):\s+1)"))) << info;
  // Assimp hands the model over Y up: its (x, y, z) is the file's (x, z, -y).
  const std::regex point(R"((Minimum|Maximum) point\s+\(([-0-9.e]+) ([-0-9.e]+) ([-0-9.e]+)\))");
  float low[3], high[3];
  for (int axis = 0; axis < 3; ++axis) FrameExtent(file, 0, axis, &low[axis], &high[axis]);
  int points = 0;
  for (auto it = std::sregex_iterator(info.begin(), info.end(), point);
       it != std::sregex_iterator(); ++it, ++points) {
    const bool minimum = (*it)[1].str() == "Minimum";
    const float x = std::stof((*it)[2].str()), y = std::stof((*it)[3].str()),
                z = std::stof((*it)[4].str());
    EXPECT_NEAR(x, minimum ? low[0] : high[0], 1e-3f);
    EXPECT_NEAR(y, minimum ? low[2] : high[2], 1e-3f);
    EXPECT_NEAR(z, minimum ? -high[1] : -low[1], 1e-3f);
  }
  EXPECT_EQ(points, 2) << info;
}

// Each face of the box reaches across the skin, none squeezed into the
// skin's edge column; returns the vertex count.
int32_t ExpectEveryFaceAcrossTheSkin(const std::string& target) {
  const vandrell::MdlFile file = ReadModel(target);
  EXPECT_EQ(file.header.numtris, 12);
  EXPECT_GT(DistinctSkinIndices(file), 2u);
  for (const vandrell::MdlTriangle& triangle : file.triangles) {
    int32_t low = file.header.skinwidth, high = -1;
    for (int32_t v : triangle.vertices) {
      low = std::min(low, file.skin_vertices.at(static_cast<size_t>(v)).s);
      high = std::max(high, file.skin_vertices.at(static_cast<size_t>(v)).s);
    }
    EXPECT_GT(high - low, file.header.skinwidth / 2) << target;
  }
  return file.header.numverts;
}

TEST(Mdlexport, SharedBoxTexturedPaintsItsEmbeddedTexture) {
  const std::string scenes = SharedScenesDir();
  if (scenes.empty()) GTEST_SKIP() << "the shared scenes folder is absent";
  TempDir dir;
  const std::string target = dir.File("box.mdl");
  const RunResult run = RunMdlexport({scenes + "/BoxTextured.glb", target});
  ASSERT_EQ(run.status, 0) << run.err;
  // The box maps each face onto a whole repeat of its texture (u from 5 to 6
  // and the like), its sampler repeating.
  const int32_t repeated = ExpectEveryFaceAcrossTheSkin(target);

  // Its twin among Assimp's test models says MIRRORED_REPEAT along u and
  // CLAMP_TO_EDGE along v (where its coordinates stay within 0 .. 1): the
  // odd repeats show the picture mirrored, so each face has its picture and
  // as many vertices as the repeating box needs.
  const std::string twin = "/usr/share/assimp/models/glTF2/BoxTextured-glTF/BoxTextured.gltf";
  if (!FileExists(twin)) GTEST_SKIP() << twin << " is absent (assimp-testmodels)";
  const std::string mirrored = dir.File("mirrored.mdl");
  const RunResult twin_run = RunMdlexport({twin, mirrored});
  ASSERT_EQ(twin_run.status, 0) << twin_run.err;
  EXPECT_EQ(ExpectEveryFaceAcrossTheSkin(mirrored), repeated);
}

TEST(Mdlexport, SharedAnimatedMorphCubeMovesFromFrameToFrame) {
  const std::string scenes = SharedScenesDir();
  if (scenes.empty()) GTEST_SKIP() << "the shared scenes folder is absent";
  TempDir dir;
  const std::string target = dir.File("morph.mdl");
  const RunResult run =
      RunMdlexport({"--frames", "all", scenes + "/AnimatedMorphCube.gltf", target});
  ASSERT_EQ(run.status, 0) << run.err;
  const vandrell::MdlFile file = ReadModel(target);
  ASSERT_GT(file.header.numframes, 2);
  EXPECT_GT(FramesDifferingFromFirst(file), 0);
  // The frame boxes move with the morph.
  std::set<std::vector<uint8_t>> boxes;
  for (const vandrell::MdlFrame& frame : file.frames) {
    boxes.insert({frame.box_min.x, frame.box_min.y, frame.box_min.z, frame.box_max.x,
                  frame.box_max.y, frame.box_max.z});
  }
  EXPECT_GT(boxes.size(), 1u);
}

// A Quake II model as its file holds it: per frame, scale x byte + translate.
struct Md2Model {
  int triangles = 0;
  std::vector<std::vector<std::array<float, 3>>> frames;
  std::vector<std::array<float, 3>> scales;
};

bool ReadMd2(const std::string& path, Md2Model* model, std::string* error) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  if (bytes.size() < 68 || std::memcmp(bytes.data(), "IDP2", 4) != 0) {
    *error = "not an MD2 file";
    return false;
  }
  using testing_support::ReadFloat;
  using testing_support::ReadInt32;
  const int32_t frame_size = ReadInt32(bytes, 16);
  const int32_t vertices = ReadInt32(bytes, 24);
  model->triangles = ReadInt32(bytes, 32);
  const int32_t frames = ReadInt32(bytes, 40);
  const int32_t frames_at = ReadInt32(bytes, 56);
  if (frame_size < 40 + 4 * vertices || frames < 0 || frames_at < 0 ||
      static_cast<size_t>(frames_at) + static_cast<size_t>(frames) * frame_size > bytes.size()) {
    *error = "frames run past the end";
    return false;
  }
  for (int32_t f = 0; f < frames; ++f) {
    const size_t at = static_cast<size_t>(frames_at) + static_cast<size_t>(f) * frame_size;
    std::array<float, 3> scale, translate;
    for (int a = 0; a < 3; ++a) {
      scale[a] = ReadFloat(bytes, at + 4 * a);
      translate[a] = ReadFloat(bytes, at + 12 + 4 * a);
    }
    std::vector<std::array<float, 3>> positions;
    for (int32_t v = 0; v < vertices; ++v) {
      const size_t vertex = at + 40 + 4 * static_cast<size_t>(v);
      std::array<float, 3> p;
      for (int a = 0; a < 3; ++a) p[a] = bytes[vertex + a] * scale[a] + translate[a];
      positions.push_back(p);
    }
    model->frames.push_back(positions);
    model->scales.push_back(scale);
  }
  return true;
}

TEST(Mdlexport, SharedFaerieKeepsEveryVertexOfEveryFrameWithinTheQuantisationSteps) {
  const std::string scenes = SharedScenesDir();
  if (scenes.empty()) GTEST_SKIP() << "the shared scenes folder is absent";
  Md2Model md2;
  std::string error;
  ASSERT_TRUE(ReadMd2(scenes + "/faerie.md2", &md2, &error)) << error;
  ASSERT_EQ(md2.frames.size(), 198u);
  ASSERT_EQ(md2.triangles, 654);

  TempDir dir;
  const std::string target = dir.File("faerie.mdl");
  const RunResult run = RunMdlexport(
      {"--texture", scenes + "/faerie2.bmp", "--frames", "all", scenes + "/faerie.md2", target});
  ASSERT_EQ(run.status, 0) << run.err;
  const vandrell::MdlFile file = ReadModel(target);
  EXPECT_EQ(file.header.numtris, 654);
  ASSERT_EQ(file.header.numframes, 198);
  EXPECT_GT(DistinctSkinIndices(file), 16u);

  // Both formats face +X with Z up, so positions compare axis by axis: each
  // decoded vertex lies within one MDL step plus one MD2 step of a vertex of
  // the same MD2 frame.
  int far_vertices = 0;
  for (size_t f = 0; f < file.frames.size(); ++f) {
    for (const vandrell::MdlPackedVertex& packed : file.frames[f].vertices) {
      const float p[3] = {vandrell::DecodeCoordinate(file.header, 0, packed.x),
                          vandrell::DecodeCoordinate(file.header, 1, packed.y),
                          vandrell::DecodeCoordinate(file.header, 2, packed.z)};
      bool near = false;
      for (const std::array<float, 3>& q : md2.frames[f]) {
        near = true;
        for (int a = 0; a < 3 && near; ++a) {
          const float tolerance = file.header.scale[a] + md2.scales[f][a] + 1e-4f;
          near = std::fabs(p[a] - q[a]) <= tolerance;
        }
        if (near) break;
      }
      if (!near && ++far_vertices <= 5) {
        ADD_FAILURE() << "frame " << f << ": vertex (" << p[0] << ", " << p[1] << ", " << p[2]
                      << ") is near no vertex of the MD2 frame";
      }
    }
  }
  EXPECT_EQ(far_vertices, 0);
}

TEST(Mdlexport, SharedDwarfExportsItsSkinnedAnimationWithBothTextures) {
  const std::string scenes = SharedScenesDir();
  if (scenes.empty()) GTEST_SKIP() << "the shared scenes folder is absent";
  TempDir dir;
  const std::string target = dir.File("dwarf.mdl");
  const RunResult run = RunMdlexport({"--frames", "8", scenes + "/dwarf.x", target});
  ASSERT_EQ(run.status, 0) << run.err;
  const vandrell::MdlFile file = ReadModel(target);
  ASSERT_EQ(file.header.numframes, 8);
  EXPECT_GT(FramesDifferingFromFirst(file), 0);
  // Colours of the two photographs, not a few flat ones.
  EXPECT_GT(DistinctSkinIndices(file), 32u);
}

}  // namespace
