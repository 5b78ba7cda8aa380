// Scene units: each file's unit becomes the host's inch (one Quake unit), the
// user may name the unit instead, and the model can be measured and scaled
// to a height.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/Timing.h"
#include "hostapp/import/SceneImporter.h"
#include "hostapp/scene/SceneBounds.h"
#include "hostapp/scene/StandInScene.h"
#include "tests/TestSupport.h"
#include "tools/SceneSize.h"

namespace {

using hostapp::ImportOptions;
using hostapp::SceneImporter;
using hostapp::StandInScene;

// Inches in a metre: 1 / 0.0254.
constexpr double kInchesPerMetre = 39.37007874015748;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Replaces the first occurrence of from in text; fails the test when absent.
void Replace(std::string& text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// An open box of edge `edge` with one corner at the origin: the floor, the
// roof and one wall, enough to span all three axes.
std::string CubeObj(const std::string& edge) {
  const std::string e = edge;
  return "o cube\n"
         "v 0 0 0\nv " +
         e + " 0 0\nv " + e + " " + e + " 0\nv 0 " + e +
         " 0\n"
         "v 0 0 " +
         e + "\nv " + e + " 0 " + e + "\nv " + e + " " + e + " " + e + "\nv 0 " + e + " " + e +
         "\n"
         "f 1 2 3 4\nf 5 6 7 8\nf 1 2 6 5\n";
}

class Units : public ::testing::Test {
 protected:
  void TearDown() override { host::SetTicksPerFrame(160); }

  // Writes the cube as OBJ and has Assimp's own exporter turn it into
  // format, at name.
  void Convert(const std::string& edge, const char* format, const std::string& name) {
    const std::string obj = dir_.File("source_" + name + ".obj");
    WriteText(obj, CubeObj(edge));
    Assimp::Importer reader;
    const aiScene* cube = reader.ReadFile(obj, aiProcess_Triangulate);
    ASSERT_NE(cube, nullptr) << reader.GetErrorString();
    Assimp::Exporter writer;
    ASSERT_EQ(writer.Export(cube, format, dir_.File(name)), AI_SUCCESS) << writer.GetErrorString();
  }

  // The imported scene's box at its start, in host units.
  hostapp::SceneBox Measure(const std::string& name, const std::string& units = "",
                            hostapp::ImportSummary* summary = nullptr) {
    SceneImporter importer;
    StandInScene scene;
    ImportOptions options;
    options.units = units;
    if (!importer.Import(dir_.File(name), options, scene)) {
      ADD_FAILURE() << importer.Error();
      return {};
    }
    if (summary) *summary = importer.Summary();
    return hostapp::MeasureScene(scene, 0);
  }

  // Expects a cube of the given edge in host units.
  static void ExpectCube(const hostapp::SceneBox& box, double edge, const std::string& what) {
    ASSERT_FALSE(box.empty) << what;
    const double tolerance = edge * 1e-6;
    EXPECT_NEAR(box.Width(), edge, tolerance) << what;
    EXPECT_NEAR(box.Depth(), edge, tolerance) << what;
    EXPECT_NEAR(box.Height(), edge, tolerance) << what;
  }

  testing_support::TempDir dir_;
};

TEST_F(Units, EachFormatsUnitBecomesInches) {
  hostapp::ImportSummary summary;

  // glTF is in metres: a 1 m cube is 39.37 inches.
  Convert("1", "gltf2", "metre.gltf");
  ExpectCube(Measure("metre.gltf", "", &summary), kInchesPerMetre, "glTF");
  EXPECT_EQ(summary.unit, "metres (glTF)");
  EXPECT_NEAR(summary.unit_size, kInchesPerMetre, 1e-9);

  // FBX says how many centimetres a unit is: 100 cm in centimetres and 1 m
  // in metres are the same cube, and a file that says nothing is in
  // centimetres.
  Convert("100", "fbxa", "centimetres.fbx");
  std::string centimetres = ReadText(dir_.File("centimetres.fbx"));
  const std::string unit_line = "P: \"UnitScaleFactor\", \"double\", \"Number\", \"\", 1\n";
  ASSERT_NE(centimetres.find(unit_line), std::string::npos);
  ExpectCube(Measure("centimetres.fbx", "", &summary), kInchesPerMetre, "FBX in centimetres");
  EXPECT_EQ(summary.unit, "centimetres (FBX unit scale 1)");

  Convert("1", "fbxa", "metres.fbx");
  std::string metres = ReadText(dir_.File("metres.fbx"));
  Replace(metres, unit_line, "P: \"UnitScaleFactor\", \"double\", \"Number\", \"\", 100\n");
  WriteText(dir_.File("metres.fbx"), metres);
  ExpectCube(Measure("metres.fbx", "", &summary), kInchesPerMetre, "FBX in metres");
  EXPECT_EQ(summary.unit, "metres (FBX unit scale 100)");

  Replace(centimetres, unit_line, "");
  WriteText(dir_.File("silent.fbx"), centimetres);
  ExpectCube(Measure("silent.fbx"), kInchesPerMetre, "FBX without a unit");

  // Collada's unit element: 100 units of 0.01 m.
  Convert("100", "collada", "centimetres.dae");
  std::string collada = ReadText(dir_.File("centimetres.dae"));
  Replace(collada, "<unit name=\"meter\" meter=\"1\" />",
          "<unit name=\"centimeter\" meter=\"0.01\" />");
  WriteText(dir_.File("centimetres.dae"), collada);
  ExpectCube(Measure("centimetres.dae", "", &summary), kInchesPerMetre, "Collada");
  EXPECT_EQ(summary.unit, "centimetres (Collada unit 0.01 m)");

  // OBJ carries no unit: its numbers are host units.
  WriteText(dir_.File("plain.obj"), CubeObj("1"));
  ExpectCube(Measure("plain.obj", "", &summary), 1.0, "OBJ");
  EXPECT_NE(summary.unit.find("no unit"), std::string::npos) << summary.unit;
  EXPECT_EQ(summary.unit_size, 1.0);
  StandInScene empty;
  EXPECT_EQ(hostapp::UnitAndSizeLines(summary, empty, 0).at(0),
            "unit: " + summary.unit + ", 1 file unit = 1 Quake unit");
}

TEST_F(Units, TheUserNamesTheUnitInsteadOfTheFile) {
  WriteText(dir_.File("plain.obj"), CubeObj("1"));
  hostapp::ImportSummary summary;
  ExpectCube(Measure("plain.obj", "metres", &summary), kInchesPerMetre, "OBJ in metres");
  EXPECT_EQ(summary.unit.rfind("metres (chosen", 0), 0u) << summary.unit;
  ExpectCube(Measure("plain.obj", "centimetres"), kInchesPerMetre / 100, "OBJ in centimetres");
  ExpectCube(Measure("plain.obj", "inches"), 1.0, "OBJ in inches");
  // The American spellings name the same units.
  ExpectCube(Measure("plain.obj", "meters"), kInchesPerMetre, "OBJ in meters");
  ExpectCube(Measure("plain.obj", "centimeters"), kInchesPerMetre / 100, "OBJ in centimeters");

  Convert("1", "gltf2", "metre.gltf");
  ExpectCube(Measure("metre.gltf", "inches"), 1.0, "glTF in inches");
  ExpectCube(Measure("metre.gltf", "file"), kInchesPerMetre, "glTF, the file's unit");

  // Assimp scales Collada by its unit itself; naming another unit undoes it.
  Convert("100", "collada", "centimetres.dae");
  std::string collada = ReadText(dir_.File("centimetres.dae"));
  Replace(collada, "meter=\"1\"", "meter=\"0.01\"");
  WriteText(dir_.File("centimetres.dae"), collada);
  ExpectCube(Measure("centimetres.dae", "inches"), 100.0, "Collada in inches");
  ExpectCube(Measure("centimetres.dae", "metres"), 100 * kInchesPerMetre, "Collada in metres");

  SceneImporter importer;
  StandInScene scene;
  ImportOptions options;
  options.units = "furlongs";
  EXPECT_FALSE(importer.Import(dir_.File("plain.obj"), options, scene));
  EXPECT_NE(importer.Error().find("furlongs"), std::string::npos) << importer.Error();
}

TEST_F(Units, ScaleForAHeightAndTheListedSize) {
  Convert("1", "gltf2", "metre.gltf");
  SceneImporter importer;
  StandInScene scene;
  ASSERT_TRUE(importer.Import(dir_.File("metre.gltf"), {}, scene)) << importer.Error();

  // 56 units from 39.37: 56 x 2.54 = 142.24 percent.
  std::string percent, error;
  ASSERT_TRUE(hostapp::ScaleForHeight(scene, 0, 56, &percent, &error)) << error;
  EXPECT_EQ(percent, "142.24");
  ASSERT_TRUE(hostapp::ScaleForHeight(scene, 0, 1, &percent, &error)) << error;
  EXPECT_EQ(percent, "2.54");

  const std::vector<std::string> lines = hostapp::UnitAndSizeLines(importer.Summary(), scene, 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "unit: metres (glTF), 1 file unit = 39.3701 Quake units");
  EXPECT_EQ(lines[1], "size: 39.37 wide, 39.37 deep, 39.37 high in Quake units, at tick 0");

  // A triangle lying flat (the file's Y is the host's Z) has no height to
  // scale, and an empty scene no triangles.
  WriteText(dir_.File("flat.obj"), "v 0 0 0\nv 1 0 0\nv 0 0 1\nf 1 2 3\n");
  SceneImporter flat_importer;
  StandInScene flat;
  ASSERT_TRUE(flat_importer.Import(dir_.File("flat.obj"), {}, flat)) << flat_importer.Error();
  EXPECT_FALSE(hostapp::ScaleForHeight(flat, 0, 56, &percent, &error));
  EXPECT_NE(error.find("flat"), std::string::npos) << error;
  StandInScene empty;
  EXPECT_FALSE(hostapp::ScaleForHeight(empty, 0, 56, &percent, &error));
  EXPECT_EQ(hostapp::UnitAndSizeLines(importer.Summary(), empty, 0).at(1), "size: no triangles");
}

}  // namespace
