// Checking MDL files and drawing them: findings on files written byte by byte
// here, the mdlinfo command's check lines and JSON, and the pictures read back
// with stb_image.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "examine/MdlCheck.h"
#include "examine/ModelPicture.h"
#include "examine/PngFile.h"
#include "mdlformat/MdlReader.h"
#include "tests/MdlBytes.h"
#include "tests/RunProgram.h"
#include "tests/TestSupport.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

namespace {

using testing_support::MdlBytes;
using testing_support::MdlLayout;
using testing_support::PutFloat;
using testing_support::PutInt32;
using testing_support::TempDir;
using vandrell::FindingSeverity;

vandrell::MdlCheckReport Check(const std::vector<uint8_t>& bytes) {
  return vandrell::CheckMdl(bytes.data(), bytes.size());
}

// "severity: what" for each finding, "(engine)" added for an engine's.
std::vector<std::string> Lines(const vandrell::MdlCheckReport& report) {
  std::vector<std::string> lines;
  for (const vandrell::MdlFinding& finding : report.findings) {
    lines.push_back(std::string(vandrell::SeverityName(finding.severity)) + ": " + finding.what +
                    (finding.engine.empty() ? "" : " (" + finding.engine + ")"));
  }
  return lines;
}

// The base model: skin 8x4 (36 bytes with its type), 3 skin vertices at 120,
// 1 triangle at 156, two frames of 40 bytes at 172 and 212; 252 bytes.
TEST(MdlCheck, EachFormatFaultIsNamedAndASoundFileHasNone) {
  const std::vector<uint8_t> sound = MdlBytes(MdlLayout());
  ASSERT_EQ(sound.size(), 252u);
  EXPECT_TRUE(Lines(Check(sound)).empty()) << "s = 8 on an 8-wide skin is its right edge";

  struct Case {
    const char* name;
    void (*damage)(std::vector<uint8_t>*);
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"magic",
       [](std::vector<uint8_t>* b) { (*b)[3] = 'X'; },
       {"error: not an MDL file: the first four bytes are not \"IDPO\""}},
      {"version", [](std::vector<uint8_t>* b) { PutInt32(b, 4, 7); }, {"error: version 7, not 6"}},
      {"negative count",
       [](std::vector<uint8_t>* b) { PutInt32(b, 64, -1); },
       {"error: negative numtris (-1)"}},
      {"triangle index",
       [](std::vector<uint8_t>* b) { PutInt32(b, 168, 3); },
       {"error: a triangle corner outside the 3 vertices (1 in all; first: triangle 0 uses "
        "vertex 3)"}},
      {"skin coordinate",
       [](std::vector<uint8_t>* b) { PutInt32(b, 136, 9); },
       {"error: a skin vertex outside the 8x4 skin (1 in all; first: vertex 1 at s 9, t 0)"}},
      {"normal index",
       [](std::vector<uint8_t>* b) { (*b)[251] = 162; },
       {"error: a normal index outside 0 to 161 (1 in all; first: frame 1, vertex 2: 162)"}},
      {"on-seam flag",
       [](std::vector<uint8_t>* b) { PutInt32(b, 144, 1); },
       {"error: an on-seam flag other than 0 or 0x20 (1 in all; first: vertex 2, flag 1)"}},
      {"trailing byte",
       [](std::vector<uint8_t>* b) { b->push_back(0); },
       {"warning: 1 bytes follow the last frame, which games ignore: the counts call for 252 "
        "bytes, the file has 253"}},
      {"short file",
       [](std::vector<uint8_t>* b) { b->pop_back(); },
       {"error: the file ends inside frame 1 at offset 216: the counts call for at least 252 "
        "bytes, the file has 251"}},
      // The reader stops at the first of these; the check names both.
      {"two faults",
       [](std::vector<uint8_t>* b) {
         PutInt32(b, 160, -2);
         (*b)[211] = 200;
         (*b)[251] = 255;
       },
       {"error: a triangle corner outside the 3 vertices (1 in all; first: triangle 0 uses "
        "vertex -2)",
        "error: a normal index outside 0 to 161 (2 in all; first: frame 0, vertex 2: 200)"}},
      {"unterminated name",
       [](std::vector<uint8_t>* b) {
         for (size_t i = 184; i < 200; ++i) (*b)[i] = 'a';
       },
       {"warning: a frame name filling its 16 bytes without a zero byte (1 in all; first: frame "
        "0)"}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = sound;
    c.damage(&bytes);
    EXPECT_EQ(Lines(Check(bytes)), c.lines) << c.name;
  }

  // One frame group of two members whose second interval ends before the first.
  std::vector<uint8_t> group(sound.begin(), sound.begin() + 172);
  PutInt32(&group, 68, 1);
  for (int32_t word : {1, 2}) group.insert(group.end(), {uint8_t(word), 0, 0, 0});
  group.insert(group.end(), 8, 0);  // the group's box
  group.insert(group.end(), 8, 0);
  PutFloat(&group, group.size() - 8, 0.2f);
  PutFloat(&group, group.size() - 4, 0.1f);
  for (int member = 0; member < 2; ++member)
    group.insert(group.end(), sound.begin() + 176, sound.begin() + 212);  // body of frame 0
  EXPECT_EQ(Lines(Check(group)),
            std::vector<std::string>{"error: group intervals not positive and increasing (1 in "
                                     "all; first: frame 0, member 1: 0.100000)"});
  vandrell::MdlFile read;
  std::string error;
  EXPECT_TRUE(vandrell::ReadMdl(group, &read, &error)) << "the reader takes it: " << error;
}

TEST(MdlCheck, QuakeAndQuakeWorldRefuseOddSkinsAndEmptyModels) {
  MdlLayout skin;
  skin.skinwidth = 6;
  skin.skinheight = 481;
  EXPECT_EQ(Lines(Check(MdlBytes(skin))),
            std::vector<std::string>{"warning: a skin 481 pixels tall, more than 480; a skin 6 "
                                     "pixels wide, not a multiple of 4 (Quake and QuakeWorld)"});

  MdlLayout empty;
  empty.numskins = empty.numverts = empty.numtris = empty.numframes = 0;
  EXPECT_EQ(Lines(Check(MdlBytes(empty))),
            (std::vector<std::string>{
                "warning: no vertices; no triangles; no skins; no frames (Quake and QuakeWorld)",
                "warning: 0 skins, outside 1 to 32 (QuakeSpasm and FitzQuake)"}));
}

TEST(MdlCheck, GLQuakeRefusesMoreThan1024Vertices2048TrianglesOr256Frames) {
  MdlLayout layout;
  layout.numverts = 1025;
  layout.numtris = 2049;
  layout.numframes = 257;
  EXPECT_EQ(Lines(Check(MdlBytes(layout))),
            (std::vector<std::string>{"warning: 1025 vertices, more than 1024; 2049 triangles, "
                                      "more than 2048; 257 frames, more than 256 (GLQuake)",
                                      "warning: 257 frames, more than 256 (QuakeSpasm and "
                                      "FitzQuake)"}));
}

TEST(MdlCheck, QuakeSpasmRefusesMoreThan2000Vertices4096TrianglesOr32Skins) {
  MdlLayout layout;
  layout.numskins = 33;
  layout.numverts = 2001;
  layout.numtris = 4097;
  layout.numframes = 1;
  EXPECT_EQ(Lines(Check(MdlBytes(layout))),
            (std::vector<std::string>{
                "warning: 2001 vertices, more than 2000 (Quake and QuakeWorld)",
                "warning: 2001 vertices, more than 1024; 4097 triangles, more than 2048 (GLQuake)",
                "warning: 2001 vertices, more than 2000; 4097 triangles, more than 4096; 33 "
                "skins, outside 1 to 32 (QuakeSpasm and FitzQuake)"}));
}

TEST(MdlCheck, DarkPlacesRefusesCountsAbove65536AndOtherSynctypesAndNoEngineMeansError) {
  MdlLayout layout;
  layout.numtris = 65537;
  layout.numframes = 1;
  layout.synctype = 2;
  const vandrell::MdlCheckReport report = Check(MdlBytes(layout));
  EXPECT_EQ(Lines(report),
            (std::vector<std::string>{
                "warning: 65537 triangles, more than 2048 (GLQuake)",
                "warning: 65537 triangles, more than 4096 (QuakeSpasm and FitzQuake)",
                "warning: 65537 triangles, more than 65536; synctype 2, neither 0 "
                "nor 1 (DarkPlaces)"}));
  EXPECT_FALSE(report.HasErrors()) << "the software renderer still loads it";

  MdlLayout wide;
  wide.skinwidth = 65540;
  wide.skinheight = 1;
  wide.numframes = 1;
  EXPECT_EQ(Lines(Check(MdlBytes(wide))),
            std::vector<std::string>{"warning: a skin 65540 pixels wide, more than 65536 "
                                     "(DarkPlaces)"});

  MdlLayout everyone;
  everyone.numverts = 65537;
  everyone.numframes = 1;
  const vandrell::MdlCheckReport refused = Check(MdlBytes(everyone));
  ASSERT_EQ(refused.findings.size(), 4u);
  for (const vandrell::MdlFinding& finding : refused.findings)
    EXPECT_EQ(finding.severity, FindingSeverity::kError) << finding.engine;
  EXPECT_EQ(refused.findings[3].what, "65537 vertices, more than 65536");
}

TEST(MdlCheck, EachEngineLoadsAModelAtItsLimitsAndRefusesOnePast) {
  const char* const quake = "Quake and QuakeWorld";
  const char* const fitz = "QuakeSpasm and FitzQuake";
  const char* const dp = "DarkPlaces";
  struct Limit {
    int32_t MdlLayout::*count;
    int32_t limit;
    int step;  // +1 for a largest count, -1 for a smallest
    const char* engine;
  };
  const Limit limits[] = {
      {&MdlLayout::numverts, 2000, 1, quake},     {&MdlLayout::skinheight, 480, 1, quake},
      {&MdlLayout::numverts, 1, -1, quake},       {&MdlLayout::numtris, 1, -1, quake},
      {&MdlLayout::numskins, 1, -1, quake},       {&MdlLayout::numframes, 1, -1, quake},
      {&MdlLayout::numverts, 1024, 1, "GLQuake"}, {&MdlLayout::numtris, 2048, 1, "GLQuake"},
      {&MdlLayout::numframes, 256, 1, "GLQuake"}, {&MdlLayout::numverts, 2000, 1, fitz},
      {&MdlLayout::numtris, 4096, 1, fitz},       {&MdlLayout::numframes, 256, 1, fitz},
      {&MdlLayout::numskins, 32, 1, fitz},        {&MdlLayout::numskins, 1, -1, fitz},
      {&MdlLayout::numskins, 65536, 1, dp},       {&MdlLayout::skinwidth, 65536, 1, dp},
      {&MdlLayout::skinheight, 65536, 1, dp},     {&MdlLayout::numverts, 65536, 1, dp},
      {&MdlLayout::numtris, 65536, 1, dp},        {&MdlLayout::numframes, 65536, 1, dp},
      {&MdlLayout::synctype, 1, 1, dp},           {&MdlLayout::synctype, 0, -1, dp}};
  for (const Limit& l : limits) {
    for (const int past : {0, 1}) {
      MdlLayout layout;
      layout.numframes = 1;
      layout.*l.count = l.limit + past * l.step;
      bool refused = false;
      for (const vandrell::MdlFinding& finding : Check(MdlBytes(layout)).findings)
        refused = refused || finding.engine == l.engine;
      EXPECT_EQ(refused, past == 1) << l.engine << ": " << layout.*l.count;
    }
  }
}

// mdlinfo --check prints a line per finding and fails only on errors;
// --json says the same with the header, one object a line.
TEST(MdlinfoCheck, LinesJsonAndExitStatus) {
  TempDir dir;
  const std::string good = dir.File("good.mdl"), gl = dir.File("gl.mdl"), bad = dir.File("bad.mdl");
  testing_support::WriteFileBytes(good, MdlBytes(MdlLayout()));
  MdlLayout many;
  many.numverts = 1025;
  many.numframes = 1;
  testing_support::WriteFileBytes(gl, MdlBytes(many));
  std::vector<uint8_t> damaged = MdlBytes(MdlLayout());
  PutInt32(&damaged, 4, 5);
  testing_support::WriteFileBytes(bad, damaged);

  auto run = [](const std::vector<std::string>& args) {
    return testing_support::RunProgram(MDLINFO_PATH, args);
  };
  testing_support::ProgramRun warned = run({"--check", good, gl});
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_EQ(warned.out,
            good + ": ok\n" + gl + ": warning: 1025 vertices, more than 1024 (GLQuake)\n");

  testing_support::ProgramRun failed = run({"--check", good, bad});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, good + ": ok\n" + bad + ": error: version 5, not 6\n");

  testing_support::ProgramRun json = run({"--json", good, gl, bad});
  EXPECT_EQ(json.status, 1);
  std::istringstream lines(json.out);
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 3u) << json.out;

  const nlohmann::json& g = objects[0];
  EXPECT_EQ(g["file"], good);
  EXPECT_EQ(g["ok"], true);
  EXPECT_EQ(g["file_bytes"], 252);
  EXPECT_EQ(g["expected_bytes"], 252);
  EXPECT_EQ(g["header"]["ident"], "IDPO");
  EXPECT_EQ(g["header"]["scale"], nlohmann::json({1.0, 1.0, 1.0}));
  EXPECT_EQ(g["header"]["bounding_radius"], 255.0);
  EXPECT_EQ(g["header"]["skinwidth"], 8);
  EXPECT_EQ(g["header"]["numverts"], 3);
  EXPECT_EQ(g["header"]["numframes"], 2);
  EXPECT_EQ(g["counts"]["frames"], 2);
  EXPECT_EQ(g["engines"].size(), 4u);
  for (const nlohmann::json& engine : g["engines"]) EXPECT_EQ(engine["loads"], true);
  EXPECT_TRUE(g["findings"].empty());

  const nlohmann::json& w = objects[1];
  EXPECT_EQ(w["ok"], true);
  EXPECT_EQ(w["engines"][1]["engine"], "GLQuake");
  EXPECT_EQ(w["engines"][1]["loads"], false);
  EXPECT_EQ(w["engines"][1]["problems"], nlohmann::json({"1025 vertices, more than 1024"}));
  ASSERT_EQ(w["findings"].size(), 1u);
  EXPECT_EQ(w["findings"][0]["severity"], "warning");
  EXPECT_EQ(w["findings"][0]["engine"], "GLQuake");

  EXPECT_EQ(objects[2]["ok"], false);
  EXPECT_EQ(objects[2]["header"]["version"], 5);
  EXPECT_EQ(objects[2]["findings"][0]["what"], "version 5, not 6");
  EXPECT_EQ(objects[2]["findings"][0].count("engine"), 0u);
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  std::vector<int> At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// A PNG decoded by stb_image, not by our own code.
Picture LoadPng(const std::string& path) {
  Picture picture;
  int channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 3);
  if (!data) return picture;
  picture.rgb.assign(data, data + static_cast<size_t>(picture.width) * picture.height * 3);
  stbi_image_free(data);
  return picture;
}

TEST(ModelPicture, SkinGoesThroughThePaletteIntoAPng) {
  MdlLayout layout;
  layout.skinwidth = 2;
  layout.skinheight = 1;
  std::vector<uint8_t> bytes = MdlBytes(layout);
  bytes[89] = 244;  // second pixel; the first stays 251
  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(bytes, &file, &error)) << error;

  TempDir dir;
  ASSERT_TRUE(vandrell::WritePngFile(vandrell::SkinPicture(file, 0), dir.File("skin.png"), &error))
      << error;
  const Picture skin = LoadPng(dir.File("skin.png"));
  ASSERT_EQ(skin.width, 2);
  ASSERT_EQ(skin.height, 1);
  EXPECT_EQ(skin.At(0, 0), (std::vector<int>{255, 0, 0}));      // palette 251
  EXPECT_EQ(skin.At(1, 0), (std::vector<int>{127, 191, 255}));  // palette 244

  EXPECT_FALSE(
      vandrell::WritePngFile(vandrell::SkinPicture(file, 0), dir.File("no/such.png"), &error));
  EXPECT_FALSE(testing_support::FileExists(dir.File("no/such.png")));
}

// An upright triangle facing the front, skin all red: from the front left
// its middle is where the picture's middle is, and nothing reaches the corners.
TEST(ModelPicture, PreviewShowsTheLitSkinColourAtTheCentreAndBackgroundAtTheCorners) {
  std::vector<uint8_t> bytes = MdlBytes(MdlLayout());
  // Frame 0's vertices at 200: (0, 0, 0), (0, 200, 0), (0, 100, 200).
  bytes[205] = 200;
  bytes[209] = 100;
  bytes[210] = 200;
  TempDir dir;
  const std::string model = dir.File("tri.mdl"), preview = dir.File("tri.png");
  testing_support::WriteFileBytes(model, bytes);

  const testing_support::ProgramRun run = testing_support::RunProgram(
      MDLINFO_PATH, {model, "--preview", preview, "--frame", "0", "--size", "120x90"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Picture picture = LoadPng(preview);
  ASSERT_EQ(picture.width, 120);
  ASSERT_EQ(picture.height, 90);
  const std::vector<int> centre = picture.At(60, 45);
  EXPECT_GT(centre[0], 60) << "lit red";
  EXPECT_EQ(centre[1], 0);
  EXPECT_EQ(centre[2], 0);
  const std::vector<int> background = {112, 112, 112};
  for (int x : {0, 119}) {
    for (int y : {0, 89}) EXPECT_EQ(picture.At(x, y), background) << x << ", " << y;
  }

  // A NaN scale leaves nothing to draw, and nothing undefined is done with it.
  PutFloat(&bytes, 8, std::nanf(""));
  vandrell::MdlFile nan_model;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(bytes, &nan_model, &error)) << error;
  const vandrell::RgbImage blank = vandrell::RenderFrame(nan_model, 0, 16, 8);
  EXPECT_EQ(blank.pixels, std::vector<uint8_t>(16 * 8 * 3, 112));

  const testing_support::ProgramRun beyond =
      testing_support::RunProgram(MDLINFO_PATH, {model, "--preview", preview, "--frame", "2"});
  EXPECT_EQ(beyond.status, 1);
  EXPECT_NE(beyond.err.find("no frame 2: the model's frames are 0 to 1"), std::string::npos)
      << beyond.err;
}

}  // namespace
