// Will it load in the game? Models from mdlexport loaded by a real engine,
// DarkPlaces (Debian's darkplaces-server), through its own loader: its
// "modeldecompile" command writes what it loaded as an OBJ file, which is
// compared with our reader's first frame. And mdlexport's warnings for models
// beyond the engines' limits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "mdl/MdlReader.h"
#include "testfiles/QuakeFiles.h"
#include "tests/MdlBytes.h"
#include "tests/RunProgram.h"
#include "tests/TestSupport.h"

namespace {

using testing_support::ProgramRun;
using testing_support::RunProgram;
using testing_support::TempDir;

std::string EnginePath() {
  for (const char* path : {"/usr/games/darkplaces-server", "/usr/bin/darkplaces-server"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return "";
}

#define SKIP_WITHOUT_ENGINE()                                                               \
  if (EnginePath().empty())                                                                 \
  GTEST_SKIP() << "darkplaces-server is not installed (scripts/setup.sh installs it); the " \
                  "engine tests need it"

struct ObjCorner {
  std::array<double, 3> position;  // in the model's axes
  std::array<double, 2> uv;
};

struct EngineLoad {
  ProgramRun run;
  bool wrote = false;
  int vertices = -1, faces = -1;  // as the engine reports them
  std::vector<std::array<ObjCorner, 3>> triangles;
};

// Loads the model at path in the engine and reads back what it wrote.
EngineLoad LoadInEngine(const std::string& path) {
  TempDir base;
  mkdir((base.path() + "/id1").c_str(), 0700);
  mkdir((base.path() + "/id1/progs").c_str(), 0700);
  testing_support::WriteFileBytes(base.File("id1/progs/x.mdl"),
                                  testing_support::ReadFileBytes(path));
  EngineLoad load;
  // The engine quits by itself; the time limit only guards against a hang.
  load.run = RunProgram("/usr/bin/timeout",
                        {"120", EnginePath(), "-basedir", base.path(), "-nohome",
                         "+modeldecompile progs/x.mdl", "+quit"},
                        {base.path()});
  std::smatch match;
  const std::regex wrote(
      R"(Wrote progs/x_decompiled\.obj \(\d+ bytes, (\d+) vertices, (\d+) faces)");
  if (!std::regex_search(load.run.out, match, wrote)) return load;
  load.wrote = true;
  load.vertices = std::stoi(match[1]);
  load.faces = std::stoi(match[2]);

  const std::vector<uint8_t> bytes =
      testing_support::ReadFileBytes(base.File("id1/progs/x_decompiled.obj"));
  std::istringstream obj(std::string(bytes.begin(), bytes.end()));
  std::vector<std::array<double, 3>> positions;
  std::vector<std::array<double, 2>> uvs;
  for (std::string line; std::getline(obj, line);) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "v") {
      double x, y, z;
      fields >> x >> y >> z;
      positions.push_back({x, z, y});  // the engine writes x, z, y
    } else if (kind == "vt") {
      double u, v;
      fields >> u >> v;
      uvs.push_back({u, v});
    } else if (kind == "f") {
      std::array<ObjCorner, 3> triangle;
      for (ObjCorner& corner : triangle) {
        std::string ref;
        fields >> ref;
        unsigned v = 0, t = 0;
        if (std::sscanf(ref.c_str(), "%u/%u", &v, &t) != 2 || v < 1 || v > positions.size() ||
            t < 1 || t > uvs.size())
          return load;  // triangles stay short of faces: the comparison fails
        corner = {positions[v - 1], uvs[t - 1]};
      }
      load.triangles.push_back(triangle);
    }
  }
  return load;
}

// The first frame's triangles as the engine should have them: positions
// decoded, skin coordinates over the skin's size with the rows counted
// upward, as OBJ files count them.
std::vector<std::array<ObjCorner, 3>> ExpectedTriangles(const vandrell::MdlFile& file) {
  std::vector<std::array<ObjCorner, 3>> triangles;
  const vandrell::MdlFileHeader& h = file.header;
  for (const vandrell::MdlTriangle& triangle : file.triangles) {
    std::array<ObjCorner, 3> corners;
    for (int c = 0; c < 3; ++c) {
      const size_t j = static_cast<size_t>(triangle.vertices[c]);
      const vandrell::MdlPackedVertex& p = file.frames[0].vertices[j];
      const vandrell::MdlSkinVertex& skin = file.skin_vertices[j];
      corners[c] = {{vandrell::DecodeCoordinate(h, 0, p.x), vandrell::DecodeCoordinate(h, 1, p.y),
                     vandrell::DecodeCoordinate(h, 2, p.z)},
                    {static_cast<double>(skin.s) / h.skinwidth,
                     1.0 - static_cast<double>(skin.t) / h.skinheight}};
    }
    triangles.push_back(corners);
  }
  return triangles;
}

// Corners match whatever the order (the engine may turn the winding round).
bool SameTriangle(const std::array<ObjCorner, 3>& a, const std::array<ObjCorner, 3>& b,
                  double tolerance) {
  bool used[3] = {false, false, false};
  for (const ObjCorner& corner : a) {
    bool found = false;
    for (int k = 0; k < 3 && !found; ++k) {
      if (used[k]) continue;
      bool near = true;
      for (int axis = 0; axis < 3; ++axis)
        near = near && std::fabs(corner.position[axis] - b[k].position[axis]) <= tolerance;
      for (int axis = 0; axis < 2; ++axis)
        near = near && std::fabs(corner.uv[axis] - b[k].uv[axis]) <= 1e-5;
      if (near) found = used[k] = true;
    }
    if (!found) return false;
  }
  return true;
}

struct Export {
  std::string name;
  std::vector<std::string> args;  // the scene and options; the output is added
};

TEST(DarkPlaces, LoadsOurExportsWithTheVerticesOurReaderDecodes) {
  SKIP_WITHOUT_ENGINE();
  const std::string source = VANDRELL_SOURCE_DIR;
  std::vector<Export> exports = {
      {"example", {"--frames", "all", source + "/examples/example.gltf"}}};
  const std::string scenes = testing_support::SharedScenesDir();
  if (scenes.empty()) {
    std::printf("the shared scenes are absent: only the bundled example is loaded\n");
  } else {
    exports.push_back({"BoxTextured", {scenes + "/BoxTextured.glb"}});
    exports.push_back(
        {"AnimatedMorphCube", {"--frames", "all", scenes + "/AnimatedMorphCube.gltf"}});
    exports.push_back({"faerie", {"--texture", scenes + "/faerie2.bmp", scenes + "/faerie.md2"}});
    exports.push_back({"dwarf", {"--frames", "3", scenes + "/dwarf.x"}});
  }

  // A Quake III player assembled from its parts, and an MDL model with a
  // frame group and a skin group converted to itself.
  TempDir dir;
  const std::string player = dir.File("player");
  mkdir(player.c_str(), 0700);
  testfiles::WritePlayer(player, testfiles::SmallPlayer());
  exports.push_back({"player", {"--player", "--frames", "all", player}});
  testfiles::MdlDescription mdl;
  mdl.skins = {{true, {std::vector<uint8_t>(32, 100), std::vector<uint8_t>(32, 7)}}};
  mdl.skin_vertices = {{0, 0, 0}, {32, 3, 1}, {0, 7, 3}, {0, 5, 0}};
  mdl.triangles = {{1, 0, 1, 2}, {0, 0, 2, 3}};
  mdl.frames = {{false, {{"a1", {{0, 0, 0, 0}, {255, 10, 0, 0}, {0, 255, 30, 0}, {9, 9, 255, 0}}}}},
                {true,
                 {{"b1", {{5, 0, 0, 0}, {250, 10, 0, 0}, {0, 250, 30, 0}, {9, 9, 250, 0}}},
                  {"b2", {{9, 0, 0, 0}, {245, 10, 0, 0}, {0, 245, 30, 0}, {9, 9, 245, 0}}}}}};
  testfiles::WriteBytes(dir.File("grouped.mdl"), testfiles::MdlBytes(mdl));
  exports.push_back({"grouped", {"--frames", "all", dir.File("grouped.mdl")}});

  for (Export& e : exports) {
    SCOPED_TRACE(e.name);
    const std::string out = dir.File(e.name + ".mdl");
    e.args.insert(e.args.begin(), "-q");
    e.args.push_back(out);
    const ProgramRun exported = RunProgram(MDLEXPORT_PATH, e.args);
    ASSERT_EQ(exported.status, 0) << exported.err;
    const ProgramRun checked = RunProgram(MDLINFO_PATH, {"--check", out});
    EXPECT_EQ(checked.status, 0) << checked.out;
    EXPECT_EQ(checked.out.find(": error:"), std::string::npos) << checked.out;

    vandrell::MdlFile file;
    std::string error;
    ASSERT_TRUE(vandrell::ReadMdlFile(out, &file, &error)) << error;
    const EngineLoad load = LoadInEngine(out);
    ASSERT_TRUE(load.wrote) << load.run.out << load.run.err;
    EXPECT_EQ(load.vertices, file.header.numverts);
    EXPECT_EQ(load.faces, file.header.numtris);
    ASSERT_EQ(load.triangles.size(), file.triangles.size());

    // Both sides decode a packed byte as origin + byte x scale in single
    // precision; the engine prints six decimals (5e-7) of values whose
    // single-precision rounding is below 6e-5 for models under 1000 units.
    // 2e-4 model units covers both, and is a quarter of the smallest packing
    // step or less, so a byte off by one still fails.
    const double tolerance = 2e-4;
    for (float step : file.header.scale) ASSERT_GT(step, 4 * tolerance);
    const std::vector<std::array<ObjCorner, 3>> expected = ExpectedTriangles(file);
    int wrong = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
      if (SameTriangle(expected[k], load.triangles[k], tolerance)) continue;
      if (wrong++ == 0) ADD_FAILURE() << "triangle " << k << " differs in the engine";
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(DarkPlaces, RefusesAModelOverItsLimitAndCheckSaysSo) {
  SKIP_WITHOUT_ENGINE();
  testing_support::MdlLayout layout;
  layout.numverts = 65537;
  layout.numframes = 1;
  TempDir dir;
  const std::string path = dir.File("many.mdl");
  testing_support::WriteFileBytes(path, testing_support::MdlBytes(layout));

  const EngineLoad load = LoadInEngine(path);
  EXPECT_FALSE(load.wrote);
  EXPECT_NE(load.run.out.find("Host_Error"), std::string::npos) << load.run.out;
  EXPECT_NE(load.run.out.find("65537 exceeds 0 - 65536"), std::string::npos) << load.run.out;

  const ProgramRun checked = RunProgram(MDLINFO_PATH, {"--check", path});
  EXPECT_EQ(checked.status, 1);
  EXPECT_NE(checked.out.find(path + ": error: 65537 vertices, more than 65536 (DarkPlaces)\n"),
            std::string::npos)
      << checked.out;
}

// A flat grid of cells x cells squares, two triangles each, every corner
// with its own texture coordinate: (cells + 1)^2 vertices, 2 cells^2
// triangles.
void WriteGrid(const std::string& path, int cells) {
  std::string obj;
  for (int pass = 0; pass < 2; ++pass) {
    for (int j = 0; j <= cells; ++j) {
      for (int i = 0; i <= cells; ++i) {
        obj += pass == 0 ? "v " + std::to_string(i) + " 0 " + std::to_string(j) + "\n"
                         : "vt " + std::to_string(static_cast<double>(i) / cells) + " " +
                               std::to_string(static_cast<double>(j) / cells) + "\n";
      }
    }
  }
  auto index = [cells](int i, int j) { return std::to_string(j * (cells + 1) + i + 1); };
  for (int j = 0; j < cells; ++j) {
    for (int i = 0; i < cells; ++i) {
      const std::string a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1),
                        d = index(i, j + 1);
      obj += "f " + a + "/" + a + " " + b + "/" + b + " " + c + "/" + c + "\n";
      obj += "f " + a + "/" + a + " " + c + "/" + c + " " + d + "/" + d + "\n";
    }
  }
  testing_support::WriteFileBytes(path, std::vector<uint8_t>(obj.begin(), obj.end()));
}

TEST(MdlexportEngineWarnings, OneLinePerRefusingEngineAndStrictFailsTheRun) {
  TempDir dir;
  // 48^2 = 2304 vertices and 4418 triangles: too many for all but DarkPlaces.
  WriteGrid(dir.File("mid.obj"), 47);
  const std::string mid = dir.File("mid.mdl");
  const ProgramRun warned = RunProgram(MDLEXPORT_PATH, {"-q", dir.File("mid.obj"), mid});
  EXPECT_EQ(warned.status, 0);
  EXPECT_EQ(warned.err, "mdlexport: warning: Quake and QuakeWorld will not load " + mid +
                            ": 2304 vertices, more than 2000\n"
                            "mdlexport: warning: GLQuake will not load " +
                            mid +
                            ": 2304 vertices, more than 1024; 4418 triangles, more than 2048\n"
                            "mdlexport: warning: QuakeSpasm and FitzQuake will not load " +
                            mid +
                            ": 2304 vertices, more than 2000; 4418 triangles, more than 4096\n");

  std::remove(mid.c_str());
  const ProgramRun strict =
      RunProgram(MDLEXPORT_PATH, {"-q", "--strict", dir.File("mid.obj"), mid});
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.err, warned.err);
  EXPECT_TRUE(testing_support::FileExists(mid)) << "the file is still written";

  // Within every engine's limits: not a word.
  WriteGrid(dir.File("small.obj"), 4);
  const ProgramRun quiet =
      RunProgram(MDLEXPORT_PATH, {"-q", "--strict", dir.File("small.obj"), dir.File("small.mdl")});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
