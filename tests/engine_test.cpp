// Will it load in the game, and is it the scene? Models from mdlexport
// loaded by a real engine, DarkPlaces (Debian's darkplaces-server), through
// its own loader: its "modeldecompile" command writes what it loaded as an
// OBJ file, whose positions, triangles and normals are compared with the
// source scene as our importer reads it. And mdlexport's warnings for
// models beyond the engines' limits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/ClassId.h"
#include "host/Geometry.h"
#include "host/Timing.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/scene/StandInScene.h"
#include "tests/MdlBytes.h"
#include "tests/RunProgram.h"
#include "tests/TestSupport.h"
#include "testscene/QuakeFiles.h"

namespace {

using testing_support::ProgramRun;
using testing_support::ReadFloat;
using testing_support::ReadInt32;
using testing_support::RunProgram;
using testing_support::TempDir;
using Vector = std::array<double, 3>;

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

Vector Minus(const Vector& a, const Vector& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vector Cross(const Vector& a, const Vector& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const Vector& a, const Vector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Length(const Vector& a) { return std::sqrt(Dot(a, a)); }

struct EngineCorner {
  Vector position;  // in the model's axes
  std::array<double, 2> uv;
  Vector normal;
};
using EngineTriangle = std::array<EngineCorner, 3>;

struct EngineLoad {
  bool wrote = false;
  int vertices = -1, faces = -1;  // as the engine reports them
  std::vector<EngineTriangle> triangles;
};

// Loads each model in one run of the engine and reads back what it wrote.
std::vector<EngineLoad> LoadInEngine(const std::vector<std::vector<uint8_t>>& models,
                                     ProgramRun* run) {
  TempDir base;
  mkdir((base.path() + "/id1").c_str(), 0700);
  mkdir((base.path() + "/id1/progs").c_str(), 0700);
  std::vector<std::string> args = {"120", EnginePath(), "-basedir", base.path(), "-nohome"};
  for (size_t m = 0; m < models.size(); ++m) {
    testing_support::WriteFileBytes(base.File("id1/progs/m" + std::to_string(m) + ".mdl"),
                                    models[m]);
    args.push_back("+modeldecompile progs/m" + std::to_string(m) + ".mdl");
  }
  args.push_back("+quit");
  // The engine quits by itself; the time limit only guards against a hang.
  *run = RunProgram("/usr/bin/timeout", args, {base.path()});

  std::vector<EngineLoad> loads(models.size());
  for (size_t m = 0; m < models.size(); ++m) {
    EngineLoad& load = loads[m];
    std::smatch match;
    const std::regex wrote("Wrote progs/m" + std::to_string(m) +
                           R"(_decompiled\.obj \(\d+ bytes, (\d+) vertices, (\d+) faces)");
    if (!std::regex_search(run->out, match, wrote)) continue;
    load.wrote = true;
    load.vertices = std::stoi(match[1]);
    load.faces = std::stoi(match[2]);
    const std::vector<uint8_t> bytes = testing_support::ReadFileBytes(
        base.File("id1/progs/m" + std::to_string(m) + "_decompiled.obj"));
    std::istringstream obj(std::string(bytes.begin(), bytes.end()));
    std::vector<Vector> positions, normals;
    std::vector<std::array<double, 2>> uvs;
    for (std::string line; std::getline(obj, line);) {
      std::istringstream fields(line);
      std::string kind;
      fields >> kind;
      double x = 0, y = 0, z = 0;
      if (kind == "v" || kind == "vn") {
        fields >> x >> y >> z;
        // The engine writes x, z, y.
        (kind == "v" ? positions : normals).push_back({x, z, y});
      } else if (kind == "vt") {
        fields >> x >> y;
        uvs.push_back({x, y});
      } else if (kind == "f") {
        EngineTriangle triangle;
        for (EngineCorner& corner : triangle) {
          std::string ref;
          fields >> ref;
          unsigned v = 0, t = 0, n = 0;
          if (std::sscanf(ref.c_str(), "%u/%u/%u", &v, &t, &n) != 3 || v < 1 ||
              v > positions.size() || t < 1 || t > uvs.size() || n < 1 || n > normals.size())
            return loads;  // triangles stay short of faces: the comparison fails
          corner = {positions[v - 1], uvs[t - 1], normals[n - 1]};
        }
        load.triangles.push_back(triangle);
      }
    }
  }
  return loads;
}

// The parts of a file mdlexport wrote (one plain skin, plain frames).
struct MdlParts {
  int32_t skinwidth = 0, skinheight = 0, numverts = 0, numtris = 0, numframes = 0;
  float scale[3] = {0, 0, 0};
  size_t skin_vertices = 0, triangles = 0, frames = 0, frame_size = 0;
};

MdlParts FindParts(const std::vector<uint8_t>& bytes) {
  MdlParts parts;
  for (int axis = 0; axis < 3; ++axis) parts.scale[axis] = ReadFloat(bytes, 8 + 4 * axis);
  parts.skinwidth = ReadInt32(bytes, 52);
  parts.skinheight = ReadInt32(bytes, 56);
  parts.numverts = ReadInt32(bytes, 60);
  parts.numtris = ReadInt32(bytes, 64);
  parts.numframes = ReadInt32(bytes, 68);
  parts.skin_vertices = 84 + 4 + static_cast<size_t>(parts.skinwidth) * parts.skinheight;
  parts.triangles = parts.skin_vertices + 12 * static_cast<size_t>(parts.numverts);
  parts.frames = parts.triangles + 16 * static_cast<size_t>(parts.numtris);
  parts.frame_size = 28 + 4 * static_cast<size_t>(parts.numverts);
  return parts;
}

// The engine writes only a model's first frame: a later frame f is loaded
// from a copy of the file whose first frame record holds frame f's.
std::vector<uint8_t> WithFrameFirst(const std::vector<uint8_t>& bytes, const MdlParts& parts,
                                    int32_t f) {
  std::vector<uint8_t> copy = bytes;
  std::memcpy(copy.data() + parts.frames, bytes.data() + parts.frames + f * parts.frame_size,
              parts.frame_size);
  return copy;
}

// One face of the source scene at a frame's time, in Quake units: its
// corners in the order the model must hold them, clockwise seen from the
// face's front, and its unit normal toward the front (0 without area).
struct SourceFace {
  std::array<Vector, 3> corners;
  Vector normal;
};

// The exporter's documented transform, worked out here in double
// precision: each node's mesh at time t through the node's object-to-world
// transform, then a quarter turn about Z that brings the host's front, -Y,
// to Quake's +X: (x, y, z) -> (-y, x, z). The model scale is 100 %. Faces
// come node by node in enumeration order, for the nodes whose object
// converts to a triangle mesh at the start of the animation.
std::vector<SourceFace> SourceFaces(hostapp::StandInScene& scene, host::HostTime t) {
  std::vector<SourceFace> faces;
  const host::HostTime start = scene.GetAnimationRange().start;
  for (hostapp::StandInNode* node : scene.Nodes()) {
    host::HostObject* object = node->EvalWorldState(start, 1).obj;
    if (!object || !object->CanConvertToType(host::triObjectClassID)) continue;
    object = node->EvalWorldState(t, 1).obj;
    const host::Mesh& mesh =
        static_cast<host::TriObject*>(object->ConvertToType(t, host::triObjectClassID))->GetMesh();
    const host::Matrix3 world = node->GetObjectTransform(t, nullptr);
    Vector row[4];
    for (int r = 0; r < 4; ++r) row[r] = {world.GetRow(r).x, world.GetRow(r).y, world.GetRow(r).z};
    // A transform that mirrors turns a face's sense of rotation round.
    const bool mirrors = Dot(Cross(row[0], row[1]), row[2]) < 0;
    for (const host::MeshFace& face : mesh.faces) {
      std::array<Vector, 3> world_corners;
      for (int c = 0; c < 3; ++c) {
        const host::Point3& p = mesh.vertices.at(face.v[c]);
        Vector w = row[3];
        for (int axis = 0; axis < 3; ++axis)
          w[axis] += p.x * row[0][axis] + p.y * row[1][axis] + p.z * row[2][axis];
        world_corners[c] = {-w[1], w[0], w[2]};
      }
      // Counter-clockwise around the host's face normal, so clockwise seen
      // from the front when turned round.
      SourceFace out;
      out.corners =
          mirrors ? world_corners
                  : std::array<Vector, 3>{world_corners[0], world_corners[2], world_corners[1]};
      const Vector n =
          Cross(Minus(out.corners[2], out.corners[0]), Minus(out.corners[1], out.corners[0]));
      const double length = Length(n);
      out.normal = length > 0 ? Vector{n[0] / length, n[1] / length, n[2] / length} : Vector{};
      faces.push_back(out);
    }
  }
  return faces;
}

struct Export {
  std::string name;
  std::vector<std::string> args;  // the scene and options; the output is added
  bool flat = false;
};

// Every direction lies within 10.82 degrees of an entry of the normal table
// (the centres of its triangles of neighbouring entries are farthest), a
// chord of 0.1885.
const double kCoverAngle = 10.82 * M_PI / 180;
const double kCoverChord = 0.1885;

TEST(DarkPlaces, LoadsOurExportsAsTheSourceScenesShapeWindingAndNormals) {
  SKIP_WITHOUT_ENGINE();
  const std::string source = VANDRELL_SOURCE_DIR;
  std::vector<Export> exports = {
      {"example", {"--frames", "all", source + "/examples/example.gltf"}}};
  const std::string scenes = testing_support::SharedScenesDir();
  if (scenes.empty()) {
    std::printf("the shared scenes are absent: only the bundled example is loaded\n");
  } else {
    exports.push_back({"BoxTextured", {scenes + "/BoxTextured.glb"}});
    exports.push_back({"BoxTextured flat", {"--flat", scenes + "/BoxTextured.glb"}, true});
    exports.push_back(
        {"AnimatedMorphCube", {"--frames", "all", scenes + "/AnimatedMorphCube.gltf"}});
    exports.push_back(
        {"faerie",
         {"--frames", "all", "--texture", scenes + "/faerie2.bmp", scenes + "/faerie.md2"}});
    exports.push_back({"dwarf", {"--frames", "3", scenes + "/dwarf.x"}});
  }

  // A Quake III player assembled from its parts, and an MDL model with a
  // frame group and a skin group converted to itself.
  TempDir dir;
  const std::string player = dir.File("player");
  mkdir(player.c_str(), 0700);
  testscene::WritePlayer(player, testscene::SmallPlayer());
  exports.push_back({"player", {"--player", "--frames", "all", player}});
  testscene::MdlDescription mdl;
  mdl.skins = {{true, {std::vector<uint8_t>(32, 100), std::vector<uint8_t>(32, 7)}}};
  mdl.skin_vertices = {{0, 0, 0}, {32, 3, 1}, {0, 7, 3}, {0, 5, 0}};
  mdl.triangles = {{1, 0, 1, 2}, {0, 0, 2, 3}};
  mdl.frames = {{false, {{"a1", {{0, 0, 0, 0}, {255, 10, 0, 0}, {0, 255, 30, 0}, {9, 9, 255, 0}}}}},
                {true,
                 {{"b1", {{5, 0, 0, 0}, {250, 10, 0, 0}, {0, 250, 30, 0}, {9, 9, 250, 0}}},
                  {"b2", {{9, 0, 0, 0}, {245, 10, 0, 0}, {0, 245, 30, 0}, {9, 9, 245, 0}}}}}};
  testscene::WriteBytes(dir.File("grouped.mdl"), testscene::MdlBytes(mdl));
  exports.push_back({"grouped", {"--frames", "all", dir.File("grouped.mdl")}});

  for (Export& e : exports) {
    SCOPED_TRACE(e.name);
    const std::string out = dir.File("model.mdl");
    std::vector<std::string> args = {"-q"};
    args.insert(args.end(), e.args.begin(), e.args.end());
    args.push_back(out);
    const ProgramRun exported = RunProgram(MDLEXPORT_PATH, args);
    ASSERT_EQ(exported.status, 0) << exported.err;
    const ProgramRun checked = RunProgram(MDLINFO_PATH, {"--check", out});
    EXPECT_EQ(checked.status, 0) << checked.out;
    EXPECT_EQ(checked.out.find(": error:"), std::string::npos) << checked.out;

    // The first, middle and last frames, each loaded as a copy's first.
    const std::vector<uint8_t> bytes = testing_support::ReadFileBytes(out);
    const MdlParts parts = FindParts(bytes);
    ASSERT_GT(parts.numframes, 0);
    ASSERT_EQ(bytes.size(), parts.frames + parts.numframes * parts.frame_size);
    std::vector<int32_t> frames = {0, parts.numframes / 2, parts.numframes - 1};
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    std::vector<std::vector<uint8_t>> copies;
    for (int32_t f : frames) copies.push_back(WithFrameFirst(bytes, parts, f));
    ProgramRun run;
    const std::vector<EngineLoad> loads = LoadInEngine(copies, &run);

    hostapp::SceneImporter importer;
    hostapp::StandInScene scene;
    hostapp::ImportOptions import_options;
    import_options.player = std::find(e.args.begin(), e.args.end(), "--player") != e.args.end();
    ASSERT_TRUE(importer.Import(e.args.back(), import_options, scene)) << importer.Error();
    for (size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "frame " << frames[i]);
      const EngineLoad& load = loads[i];
      ASSERT_TRUE(load.wrote) << run.out << run.err;
      EXPECT_EQ(load.vertices, parts.numverts);
      EXPECT_EQ(load.faces, parts.numtris);
      const std::vector<SourceFace> faces = SourceFaces(
          scene, scene.GetAnimationRange().start + frames[i] * host::GetTicksPerFrame());
      ASSERT_EQ(load.triangles.size(), faces.size());

      // Positions: packing truncates, so each engine corner lies at most one
      // packing step below the source's on each axis (and 1e-4 for the
      // six decimals the engine prints and single-precision rounding). The
      // corners must match in the stored order, starting anywhere: the
      // winding is the source's.
      int misplaced = 0;
      for (size_t k = 0; k < faces.size(); ++k) {
        bool matched = false;
        for (int start = 0; start < 3 && !matched; ++start) {
          matched = true;
          for (int c = 0; c < 3; ++c) {
            const Vector d =
                Minus(load.triangles[k][c].position, faces[k].corners[(start + c) % 3]);
            for (int axis = 0; axis < 3; ++axis)
              matched = matched && d[axis] <= 1e-4 && d[axis] >= -parts.scale[axis] - 1e-4;
          }
        }
        if (!matched && misplaced++ == 0)
          ADD_FAILURE() << "triangle " << k << " is not where the scene's face is, or turned round";
      }
      EXPECT_EQ(misplaced, 0) << "of " << faces.size();

      // Normals, against the mean of the unit normals of the faces whose
      // corners share the engine's position (print alike) with Gouraud
      // shading, or the face's own flat. Every direction lies within
      // kCoverAngle of a table entry, whose chord is kCoverChord: a flat
      // normal is within kCoverAngle of its face's. A smoothed one is the
      // entry nearest the mean of its faces' entries, which lies within
      // kCoverChord of M, the mean of their normals: within kCoverAngle +
      // asin(kCoverChord / |M|) of M's direction. Where the faces point too
      // far apart (|M| below 0.5), M says little of a direction.
      struct Group {
        Vector sum{};
        int faces = 0;
        bool without_area = false;  // then the exporter's mean has entry 0 in it
      };
      std::map<Vector, Group> groups;
      for (size_t k = 0; k < faces.size(); ++k) {
        for (const EngineCorner& corner : load.triangles[k]) {
          Group& group = groups[corner.position];
          for (int axis = 0; axis < 3; ++axis) group.sum[axis] += faces[k].normal[axis];
          group.faces += 1;
          group.without_area = group.without_area || Length(faces[k].normal) == 0;
        }
      }
      int wrong = 0, normals_checked = 0;
      for (size_t k = 0; k < faces.size(); ++k) {
        for (const EngineCorner& corner : load.triangles[k]) {
          const Group& group = groups[corner.position];
          const Vector& expected = e.flat ? faces[k].normal : group.sum;
          const double mean = e.flat ? Length(expected) : Length(expected) / group.faces;
          if (mean < 0.5 || (!e.flat && group.without_area)) continue;
          const double tolerance =
              kCoverAngle + (e.flat ? 0.0 : std::asin(kCoverChord / mean)) + 1e-4;
          const double angle = std::acos(
              std::max(-1.0, std::min(1.0, Dot(corner.normal, expected) /
                                               (Length(corner.normal) * Length(expected)))));
          ++normals_checked;
          if (angle > tolerance && wrong++ == 0)
            ADD_FAILURE() << "triangle " << k << ": the normal is " << angle * 180 / M_PI
                          << " degrees from the scene's, more than " << tolerance * 180 / M_PI;
        }
      }
      EXPECT_EQ(wrong, 0) << "of " << normals_checked;
      std::printf("%s, frame %d: %d corners, normals of %d checked\n", e.name.c_str(), frames[i],
                  3 * static_cast<int>(faces.size()), normals_checked);

      // Skin coordinates: those of the file, over the skin's size with the
      // rows counted upward as OBJ files count them.
      for (size_t k = 0; i == 0 && k < faces.size(); ++k) {
        for (int c = 0; c < 3; ++c) {
          const size_t j =
              static_cast<size_t>(ReadInt32(bytes, parts.triangles + 16 * k + 4 + 4 * c));
          const double s = ReadInt32(bytes, parts.skin_vertices + 12 * j + 4);
          const double t = ReadInt32(bytes, parts.skin_vertices + 12 * j + 8);
          EXPECT_NEAR(load.triangles[k][c].uv[0], s / parts.skinwidth, 1e-5) << "triangle " << k;
          EXPECT_NEAR(load.triangles[k][c].uv[1], 1.0 - t / parts.skinheight, 1e-5)
              << "triangle " << k;
        }
      }
    }
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

  ProgramRun run;
  EXPECT_FALSE(LoadInEngine({testing_support::ReadFileBytes(path)}, &run)[0].wrote);
  EXPECT_NE(run.out.find("Host_Error"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("65537 exceeds 0 - 65536"), std::string::npos) << run.out;

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
  // 48^2 = 2304 vertices and 4418 triangles: too many for all but DarkPlaces
  // and ironwail, which warns.
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
                            ": 2304 vertices, more than 2000; 4418 triangles, more than 4096\n"
                            "mdlexport: note: ironwail loads " +
                            mid +
                            ", but warns of 2304 vertices, more than 2000; 4418 triangles, more "
                            "than 4096\n"
                            "mdlexport: warning: vkQuake will not load " +
                            mid +
                            ": 2304 vertices, more than 2000; 4418 triangles, more than 4096\n");

  std::remove(mid.c_str());
  const ProgramRun strict =
      RunProgram(MDLEXPORT_PATH, {"-q", "--strict", dir.File("mid.obj"), mid});
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.err, warned.err);
  EXPECT_TRUE(testing_support::FileExists(mid)) << "the file is still written";

  // 32^2 = 1024 vertices and 1922 triangles, at GLQuake's vertex limit and
  // within every other: not a word.
  WriteGrid(dir.File("small.obj"), 31);
  const ProgramRun quiet =
      RunProgram(MDLEXPORT_PATH, {"-q", "--strict", dir.File("small.obj"), dir.File("small.mdl")});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
