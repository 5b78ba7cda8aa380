// Checking MDL files, drawing them and converting them to glTF: findings on
// files written byte by byte here, the mdlinfo command's check lines and JSON,
// the pictures read back with stb_image, the glTF files taken apart by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "examine/MdlCheck.h"
#include "examine/MdlToGltf.h"
#include "examine/ModelPicture.h"
#include "examine/PngFile.h"
#include "mdlformat/MdlReader.h"
#include "mdlformat/QuakePalette.h"
#include "tests/MdlBytes.h"
#include "tests/RunProgram.h"
#include "tests/TestSupport.h"
#include "testscene/QuakeFiles.h"

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
                                      "FitzQuake)",
                                      "note: loads, but shows at most 256 of its 257 frames "
                                      "(network protocol 15)"}));
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
                "skins, outside 1 to 32 (QuakeSpasm and FitzQuake)",
                "note: loads, but warns of 2001 vertices, more than 2000; 4097 triangles, more "
                "than 4096 (ironwail)",
                "warning: 2001 vertices, more than 2000; 4097 triangles, more than 4096 "
                "(vkQuake)"}));
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
                "note: loads, but warns of 65537 triangles, more than 4096 (ironwail)",
                "warning: 65537 triangles, more than 4096 (vkQuake)",
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
  ASSERT_EQ(refused.findings.size(), 6u);
  for (const vandrell::MdlFinding& finding : refused.findings)
    EXPECT_EQ(finding.severity, FindingSeverity::kError) << finding.engine;
  EXPECT_EQ(refused.findings[3].what, "65537 vertices, more than 32767") << "ironwail";
  EXPECT_EQ(refused.findings[5].what, "65537 vertices, more than 65536");

  // A protocol does not load models: past every engine's frames, the model is
  // still one that no engine loads.
  MdlLayout frames;
  frames.numverts = 65537;
  frames.numframes = 257;
  const vandrell::MdlCheckReport unplayable = Check(MdlBytes(frames));
  EXPECT_TRUE(unplayable.HasErrors());
  EXPECT_EQ(Lines(unplayable).back(),
            "note: loads, but shows at most 256 of its 257 frames (network protocol 15)");
}

TEST(MdlCheck, EachEngineLoadsAModelAtItsLimitsAndRefusesOnePast) {
  const char* const quake = "Quake and QuakeWorld";
  const char* const fitz = "QuakeSpasm and FitzQuake";
  const char* const dp = "DarkPlaces";
  const char* const iw = "ironwail";
  const char* const vk = "vkQuake";
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
      {&MdlLayout::synctype, 1, 1, dp},           {&MdlLayout::synctype, 0, -1, dp},
      {&MdlLayout::numverts, 32767, 1, iw},       {&MdlLayout::numframes, 1024, 1, iw},
      {&MdlLayout::numverts, 2000, 1, vk},        {&MdlLayout::numtris, 4096, 1, vk},
      {&MdlLayout::numframes, 1024, 1, vk}};
  for (const Limit& l : limits) {
    for (const int past : {0, 1}) {
      MdlLayout layout;
      layout.numframes = 1;
      layout.*l.count = l.limit + past * l.step;
      bool refused = false;
      for (const vandrell::MdlFinding& finding : Check(MdlBytes(layout)).findings)
        refused =
            refused || (finding.engine == l.engine && finding.severity != FindingSeverity::kNote);
      EXPECT_EQ(refused, past == 1) << l.engine << ": " << layout.*l.count;
    }
  }
}

// What an engine loads but warns about, and what the standard protocol cannot
// show, are notes: at the limit nothing, one past it a note and no refusal.
TEST(MdlCheck, IronwailWarnsAbove2000VerticesOr4096TrianglesAndProtocol15ShowsAt256Frames) {
  struct Limit {
    int32_t MdlLayout::*count;
    int32_t limit;
    const char* engine;
    const char* note;
  };
  const Limit limits[] = {
      {&MdlLayout::numverts, 2000, "ironwail", "loads, but warns of 2001 vertices, more than 2000"},
      {&MdlLayout::numtris, 4096, "ironwail", "loads, but warns of 4097 triangles, more than 4096"},
      {&MdlLayout::numframes, 256, "network protocol 15",
       "loads, but shows at most 256 of its 257 frames"}};
  for (const Limit& l : limits) {
    for (const int past : {0, 1}) {
      MdlLayout layout;
      layout.numframes = 1;
      layout.*l.count = l.limit + past;
      std::vector<std::string> notes;
      for (const vandrell::MdlFinding& finding : Check(MdlBytes(layout)).findings) {
        if (finding.engine != l.engine) continue;
        EXPECT_EQ(finding.severity, FindingSeverity::kNote) << finding.what;
        notes.push_back(finding.what);
      }
      EXPECT_EQ(notes, past ? std::vector<std::string>{l.note} : std::vector<std::string>{})
          << l.engine << ": " << layout.*l.count;
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
  const std::string net = dir.File("net.mdl");
  MdlLayout frames;
  frames.numframes = 257;
  testing_support::WriteFileBytes(net, MdlBytes(frames));

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

  testing_support::ProgramRun noted = run({"--check", net});
  EXPECT_EQ(noted.status, 0) << "a note is no error";
  EXPECT_NE(noted.out.find(net + ": note: loads, but shows at most 256 of its 257 frames "
                                 "(network protocol 15)\n"),
            std::string::npos)
      << noted.out;

  testing_support::ProgramRun json = run({"--json", good, gl, bad, net});
  EXPECT_EQ(json.status, 1);
  std::istringstream lines(json.out);
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 4u) << json.out;

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
  EXPECT_EQ(g["engines"].size(), 7u);
  EXPECT_EQ(g["engines"][6]["engine"], "network protocol 15");
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

  const nlohmann::json& n = objects[3];
  EXPECT_EQ(n["ok"], true);
  EXPECT_EQ(n["engines"][6]["loads"], true);
  EXPECT_EQ(n["engines"][6]["cautions"], nlohmann::json({"shows at most 256 of its 257 frames"}));
  EXPECT_EQ(n["engines"][3]["engine"], "ironwail");
  EXPECT_EQ(n["engines"][3]["cautions"], nlohmann::json::array());
  EXPECT_EQ(n["findings"].back()["severity"], "note");
  EXPECT_EQ(n["findings"].back()["engine"], "network protocol 15");
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

// --- MDL to glTF ---------------------------------------------------------------

// A GLB file taken apart by hand: its JSON and its binary chunk.
struct Glb {
  nlohmann::json json;
  std::vector<uint8_t> bin;
};

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

Glb ParseGlb(const std::vector<uint8_t>& bytes) {
  Glb glb;
  if (bytes.size() < 28) {
    ADD_FAILURE() << "a GLB of " << bytes.size() << " bytes";
    return glb;
  }
  EXPECT_EQ(Le32(bytes, 0), 0x46546C67u) << "glTF";
  EXPECT_EQ(Le32(bytes, 4), 2u);
  EXPECT_EQ(Le32(bytes, 8), bytes.size());
  const uint32_t json_length = Le32(bytes, 12);
  EXPECT_EQ(Le32(bytes, 16), 0x4E4F534Au) << "JSON";
  EXPECT_EQ(json_length % 4, 0u);
  glb.json = nlohmann::json::parse(bytes.begin() + 20, bytes.begin() + 20 + json_length);
  const size_t bin_at = 20 + json_length;
  EXPECT_EQ(Le32(bytes, bin_at + 4), 0x004E4942u) << "BIN";
  glb.bin.assign(bytes.begin() + bin_at + 8, bytes.begin() + bin_at + 8 + Le32(bytes, bin_at));
  EXPECT_EQ(glb.bin.size() % 4, 0u);
  EXPECT_EQ(glb.json["buffers"][0]["byteLength"], glb.bin.size());
  return glb;
}

// Where accessor's data starts in the binary chunk.
size_t AccessorStart(const Glb& glb, int accessor) {
  const nlohmann::json& a = glb.json["accessors"][accessor];
  const nlohmann::json& view = glb.json["bufferViews"][a["bufferView"].get<int>()];
  return view.value("byteOffset", 0) + a.value("byteOffset", 0);
}

std::vector<float> Floats(const Glb& glb, int accessor) {
  const nlohmann::json& a = glb.json["accessors"][accessor];
  EXPECT_EQ(a["componentType"], 5126);
  const std::string type = a["type"];
  const size_t components = type == "VEC3" ? 3 : type == "VEC2" ? 2 : 1;
  std::vector<float> values(a["count"].get<size_t>() * components);
  const size_t start = AccessorStart(glb, accessor);
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = testing_support::ReadFloat(glb.bin, start + 4 * i);
  return values;
}

std::vector<uint32_t> Indices(const Glb& glb, int accessor) {
  const nlohmann::json& a = glb.json["accessors"][accessor];
  EXPECT_EQ(a["componentType"], 5123) << "16 bits do for a small model";
  std::vector<uint32_t> values(a["count"].get<size_t>());
  const size_t start = AccessorStart(glb, accessor);
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = glb.bin[start + 2 * i] | glb.bin[start + 2 * i + 1] << 8;
  return values;
}

// A PNG image of the asset, decoded by stb_image.
Picture ImageOf(const Glb& glb, int image) {
  const nlohmann::json& view =
      glb.json["bufferViews"][glb.json["images"][image]["bufferView"].get<int>()];
  Picture picture;
  int channels = 0;
  unsigned char* data = stbi_load_from_memory(glb.bin.data() + view.value("byteOffset", 0),
                                              view["byteLength"].get<int>(), &picture.width,
                                              &picture.height, &channels, 3);
  if (!data) return picture;
  picture.rgb.assign(data, data + static_cast<size_t>(picture.width) * picture.height * 3);
  stbi_image_free(data);
  return picture;
}

// Skin 8x4: a plain skin of index 20 with one fullbright pixel (250 at
// column 5, row 1), then a group of two pictures (index 30, index 40). Four
// skin vertices: 0 on the seam at (0, 0), 1 at (6, 1), 2 on the seam at
// (2, 3), 3 at (4, 2). Triangle 0 faces front (0, 1, 2), triangle 1 faces back
// (0, 2, 3). Scale (1, 2, 0.5), origin (10, 0, -4). Frames stand1, stand2,
// run1, then a group pain1, pain2, pain3 with intervals 0.1, 0.3, 0.35; in
// frame k vertex v is packed at (v + 1 + k, k, 3 + v).
testscene::MdlDescription SeamModel() {
  testscene::MdlDescription mdl;
  mdl.scale = {1, 2, 0.5f};
  mdl.origin = {10, 0, -4};
  std::vector<uint8_t> plain(32, 20);
  plain[1 * 8 + 5] = 250;
  mdl.skins.push_back({false, {plain}});
  mdl.skins.push_back({true, {std::vector<uint8_t>(32, 30), std::vector<uint8_t>(32, 40)}});
  mdl.skin_vertices = {{0x20, 0, 0}, {0, 6, 1}, {0x20, 2, 3}, {0, 4, 2}};
  mdl.triangles = {{1, 0, 1, 2}, {0, 0, 2, 3}};
  auto frame = [](const char* name, int k) {
    testscene::MdlFrame pose;
    pose.name = name;
    for (int v = 0; v < 4; ++v)
      pose.vertices.push_back({static_cast<uint8_t>(v + 1 + k), static_cast<uint8_t>(k),
                               static_cast<uint8_t>(3 + v), 0});
    return pose;
  };
  mdl.frames.push_back({false, {frame("stand1", 0)}, {}});
  mdl.frames.push_back({false, {frame("stand2", 1)}, {}});
  mdl.frames.push_back({false, {frame("run1", 2)}, {}});
  mdl.frames.push_back(
      {true, {frame("pain1", 3), frame("pain2", 4), frame("pain3", 5)}, {0.1f, 0.3f, 0.35f}});
  return mdl;
}

Glb SeamModelGlb(bool quake_units) {
  vandrell::MdlFile file;
  std::string error;
  EXPECT_TRUE(vandrell::ReadMdl(testscene::MdlBytes(SeamModel()), &file, &error)) << error;
  vandrell::GltfOptions options;
  options.quake_units = quake_units;
  options.name = "seams";
  vandrell::GltfAsset asset;
  EXPECT_TRUE(vandrell::BuildGltf(file, options, "", &asset, &error)) << error;
  return ParseGlb(vandrell::GlbBytes(asset));
}

TEST(MdlToGltf, SeamVerticesOfBackFacingTrianglesMoveHalfASkinRightAndCornersTurnAround) {
  const Glb glb = SeamModelGlb(true);
  const nlohmann::json& primitive = glb.json["meshes"][0]["primitives"][0];
  // Corners 0, 2, 1 of each triangle; vertices 0 and 2 twice, once for the
  // back-facing triangle, at s + 4; vertex 3 is no seam vertex.
  EXPECT_EQ(Indices(glb, primitive["indices"]), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Floats(glb, primitive["attributes"]["TEXCOORD_0"]),
            (std::vector<float>{0.0625f, 0.125f, 0.3125f, 0.875f, 0.8125f, 0.375f,  // front
                                0.5625f, 0.125f, 0.5625f, 0.625f, 0.8125f, 0.875f}));
}

TEST(MdlToGltf, FirstFrameIsTheMeshEveryFrameADisplacementInGltfAxesAndUnits) {
  const Glb quake = SeamModelGlb(true);
  const nlohmann::json& primitive = quake.json["meshes"][0]["primitives"][0];
  const int position = primitive["attributes"]["POSITION"];
  // Mesh vertices are model vertices 0, 2, 1, 0, 3, 2. Frame 0: vertex v at
  // Quake (11 + v, 0, -2.5 + v / 2), glTF (y, z, x).
  EXPECT_EQ(Floats(quake, position), (std::vector<float>{0, -2.5f, 11, 0, -1.5f, 13, 0, -2, 12, 0,
                                                         -2.5f, 11, 0, -1, 14, 0, -1.5f, 13}));
  EXPECT_EQ(quake.json["accessors"][position]["min"], nlohmann::json({0.0, -2.5, 11.0}));
  EXPECT_EQ(quake.json["accessors"][position]["max"], nlohmann::json({0.0, -1.0, 14.0}));
  ASSERT_EQ(primitive["targets"].size(), 6u);
  // Frame 4 (pain2): each vertex 4 further along x and 8 (4 x 2) along y.
  const int pain2 = primitive["targets"][4]["POSITION"];
  for (size_t i = 0; i < 6; ++i) {
    const std::vector<float> delta = Floats(quake, pain2);
    EXPECT_EQ(delta[3 * i], 8.0f);
    EXPECT_EQ(delta[3 * i + 1], 0.0f);
    EXPECT_EQ(delta[3 * i + 2], 4.0f);
  }
  EXPECT_EQ(quake.json["accessors"][pain2]["min"], nlohmann::json({8.0, 0.0, 4.0}));
  EXPECT_EQ(quake.json["meshes"][0]["extras"]["targetNames"],
            nlohmann::json({"stand1", "stand2", "run1", "pain1", "pain2", "pain3"}));
  EXPECT_EQ(quake.json["meshes"][0]["weights"], nlohmann::json({0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(quake.json["nodes"][0]["name"], "seams");
  EXPECT_EQ(quake.json["scenes"][0]["nodes"], nlohmann::json({0}));

  // In metres, an inch a unit: vertex 0 at 11 units forward is 0.2794 m.
  const Glb metres = SeamModelGlb(false);
  const std::vector<float> first = Floats(metres, position);
  EXPECT_EQ(first[1], static_cast<float>(-2.5 * 0.0254));
  EXPECT_EQ(first[2], static_cast<float>(11 * 0.0254));
  EXPECT_EQ(metres.json["accessors"][position]["max"][2].get<double>(),
            static_cast<double>(static_cast<float>(14 * 0.0254)))
      << "min and max are the stored floats exactly";
}

TEST(MdlToGltf, OneAnimationPerClipSteppingTenFramesASecondAndAGroupAtItsIntervals) {
  const Glb glb = SeamModelGlb(true);
  const nlohmann::json& animations = glb.json["animations"];
  ASSERT_EQ(animations.size(), 3u);
  const std::vector<std::string> names = {"stand", "run", "pain"};
  const std::vector<std::vector<float>> times = {{0, 0.1f}, {0}, {0, 0.1f, 0.3f}};
  const std::vector<std::vector<size_t>> frames = {{0, 1}, {2}, {3, 4, 5}};
  for (size_t a = 0; a < 3; ++a) {
    const nlohmann::json& animation = animations[a];
    EXPECT_EQ(animation["name"], names[a]);
    EXPECT_EQ(animation["samplers"][0]["interpolation"], "STEP");
    EXPECT_EQ(animation["channels"][0]["target"],
              nlohmann::json({{"node", 0}, {"path", "weights"}}));
    EXPECT_EQ(Floats(glb, animation["samplers"][0]["input"]), times[a]) << names[a];
    const std::vector<float> weights = Floats(glb, animation["samplers"][0]["output"]);
    ASSERT_EQ(weights.size(), 6 * frames[a].size()) << "one weight a frame at each key";
    for (size_t k = 0; k < frames[a].size(); ++k)
      for (size_t f = 0; f < 6; ++f)
        EXPECT_EQ(weights[6 * k + f], f == frames[a][k] ? 1.0f : 0.0f) << names[a] << k << f;
  }
}

TEST(MdlToGltf, FirstSkinIsTheBaseColourItsFullbrightPixelsEmissiveOtherPicturesExtraImages) {
  const Glb glb = SeamModelGlb(true);
  const nlohmann::json& material = glb.json["materials"][0];
  EXPECT_EQ(material["pbrMetallicRoughness"]["baseColorTexture"]["index"], 0);
  EXPECT_EQ(material["emissiveTexture"]["index"], 1);
  EXPECT_EQ(material["emissiveFactor"], nlohmann::json({1, 1, 1}));
  ASSERT_EQ(glb.json["images"].size(), 4u);
  const Picture base = ImageOf(glb, 0), glow = ImageOf(glb, 1);
  ASSERT_EQ(base.width, 8);
  ASSERT_EQ(base.height, 4);
  EXPECT_EQ(base.At(0, 0), (std::vector<int>{0x2F, 0x23, 0x13})) << "palette entry 20";
  EXPECT_EQ(base.At(5, 1), (std::vector<int>{0xD7, 0, 0})) << "palette entry 250";
  EXPECT_EQ(glow.At(5, 1), (std::vector<int>{0xD7, 0, 0}));
  EXPECT_EQ(glow.At(0, 0), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(ImageOf(glb, 2).At(7, 3), (std::vector<int>{0x83, 0x67, 0x23})) << "entry 30";
  EXPECT_EQ(ImageOf(glb, 3).At(0, 0), (std::vector<int>{0x4F, 0x4F, 0x73})) << "entry 40";
}

TEST(MdlToGltf, TextFormKeepsItsBufferBesideItAndBadNamesOrEmptyModelsWriteNothing) {
  TempDir dir;
  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdl(testscene::MdlBytes(SeamModel()), &file, &error)) << error;
  ASSERT_TRUE(vandrell::WriteGltfFile(file, dir.File("a b.gltf"), {}, &error)) << error;
  const std::vector<uint8_t> text = testing_support::ReadFileBytes(dir.File("a b.gltf"));
  const nlohmann::json json = nlohmann::json::parse(text.begin(), text.end());
  EXPECT_EQ(json["buffers"][0]["uri"], "a%20b.bin");
  EXPECT_EQ(json["buffers"][0]["byteLength"],
            testing_support::ReadFileBytes(dir.File("a b.bin")).size());
  ASSERT_TRUE(vandrell::WriteGltfFile(file, dir.File("B.GLB"), {}, &error)) << error;
  EXPECT_EQ(
      ParseGlb(testing_support::ReadFileBytes(dir.File("B.GLB"))).json["buffers"][0].count("uri"),
      0u);

  EXPECT_FALSE(vandrell::WriteGltfFile(file, dir.File("c.obj"), {}, &error));
  EXPECT_NE(error.find(".glb"), std::string::npos) << error;
  EXPECT_FALSE(testing_support::FileExists(dir.File("c.obj")));
  file.triangles.clear();
  EXPECT_FALSE(vandrell::WriteGltfFile(file, dir.File("d.glb"), {}, &error));
  EXPECT_EQ(error, "the model has no triangles to convert");
  EXPECT_FALSE(testing_support::FileExists(dir.File("d.glb")));
}

// --- MDL to glTF and back ------------------------------------------------------

// Why the Khronos glTF validator cannot run here, or empty when it can.
std::string ValidatorMissing() {
  const std::string module = std::string(VANDRELL_SOURCE_DIR) +
                             "/build-tools/gltf-validator/node_modules/gltf-validator/package.json";
  if (testing_support::RunProgram("/bin/sh", {"-c", "command -v node"}).status != 0)
    return "node is not installed (scripts/setup.sh --tests installs it)";
  if (!testing_support::FileExists(module))
    return "the glTF validator is not installed (scripts/setup.sh --tests installs it)";
  return "";
}

// The validator's report on path: its first line ("errors: N, warnings: N")
// and each error after it.
std::string Validate(const std::string& path) {
  const testing_support::ProgramRun run = testing_support::RunProgram(
      "/bin/sh", {"-c", "node \"$0\" \"$1\"",
                  std::string(VANDRELL_SOURCE_DIR) + "/tests/gltf_validate.js", path});
  EXPECT_EQ(run.status, 0) << run.err;
  return run.out;
}

vandrell::MdlFile ReadBack(const std::string& path) {
  vandrell::MdlFile file;
  std::string error;
  EXPECT_TRUE(vandrell::ReadMdlFile(path, &file, &error)) << path << ": " << error;
  return file;
}

// Each vertex of one model that a triangle uses has a vertex in the other
// that stays within two of the first model's packing steps of it (on every
// axis) in every frame, the same vertex in all frames; and the other way round.
void ExpectSameVertices(const vandrell::MdlFile& a, const vandrell::MdlFile& b,
                        const vandrell::MdlFileHeader& steps, const std::string& way) {
  std::vector<bool> used(a.skin_vertices.size());
  for (const vandrell::MdlTriangle& t : a.triangles)
    for (int32_t v : t.vertices) used[static_cast<size_t>(v)] = true;
  auto at = [](const vandrell::MdlFile& m, size_t f, size_t v, int axis) {
    const vandrell::MdlPackedVertex& p = m.frames[f].vertices[v];
    return vandrell::DecodeCoordinate(m.header, axis, axis == 0 ? p.x : axis == 1 ? p.y : p.z);
  };
  size_t unmatched = 0;
  for (size_t v = 0; v < used.size(); ++v) {
    if (!used[v]) continue;
    bool found = false;
    for (size_t w = 0; w < b.skin_vertices.size() && !found; ++w) {
      bool close = true;
      for (size_t f = 0; f < a.frames.size() && close; ++f)
        for (int axis = 0; axis < 3 && close; ++axis)
          close = std::fabs(at(a, f, v, axis) - at(b, f, w, axis)) <= 2.0f * steps.scale[axis];
      found = close;
    }
    if (!found && unmatched++ < 3) ADD_FAILURE() << way << ": vertex " << v << " has no match";
  }
  EXPECT_EQ(unmatched, 0u) << way;
}

// mdlinfo writes the model as .glb and .gltf, the validator finds no error in
// either, and mdlexport turns the GLB back into the same frames, skin size and
// skin colours.
void ExpectRoundTrip(const std::vector<uint8_t>& bytes, const std::string& what) {
  SCOPED_TRACE(what);
  TempDir dir;
  const std::string mdl = dir.File("model.mdl"), glb = dir.File("model.glb");
  testing_support::WriteFileBytes(mdl, bytes);
  for (const std::string& out : {glb, dir.File("model.gltf")}) {
    const testing_support::ProgramRun run =
        testing_support::RunProgram(MDLINFO_PATH, {"--gltf", out, mdl});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string report = Validate(out);
    EXPECT_EQ(report.substr(0, report.find(',')), "errors: 0") << out << "\n" << report;
  }
  const vandrell::MdlFile original = ReadBack(mdl);
  const long kilobytes =
      static_cast<long>(original.header.skinwidth) * original.header.skinheight / 1024 + 1;
  const testing_support::ProgramRun back = testing_support::RunProgram(
      MDLEXPORT_PATH, {"-q", "--frames", "all", "--animation", "all", "--fullbright",
                       "--texture-kb", std::to_string(kilobytes), glb, dir.File("back.mdl")});
  ASSERT_EQ(back.status, 0) << back.err;
  const vandrell::MdlFile returned = ReadBack(dir.File("back.mdl"));
  ASSERT_EQ(returned.frames.size(), original.frames.size());
  ExpectSameVertices(original, returned, original.header, "original to returned");
  ExpectSameVertices(returned, original, original.header, "returned to original");
  ASSERT_EQ(returned.header.skinwidth, original.header.skinwidth);
  ASSERT_EQ(returned.header.skinheight, original.header.skinheight);
  ASSERT_FALSE(returned.skins.empty());
  size_t changed = 0;
  for (size_t i = 0; i < original.skins[0].pixels.size(); ++i) {
    const uint8_t* was = vandrell::kQuakePaletteRgb[original.skins[0].pixels[i]];
    const uint8_t* is = vandrell::kQuakePaletteRgb[returned.skins[0].pixels[i]];
    if (was[0] != is[0] || was[1] != is[1] || was[2] != is[2]) ++changed;
  }
  EXPECT_EQ(changed, 0u) << "skin pixels of another colour";
}

// A ring of rings: rings x sides vertices, two triangles a quad, as many more
// as extra (fans of ring 0) to reach a triangle count. It swells frame by
// frame; frame names are four clips, a1 .. a64, b1 .., c1 .., d1 ...
// Vertices of side 0 are on the seam, and every other ring's triangles face
// away. Skin 64 x 32 of every palette colour.
std::vector<uint8_t> Torus(int rings, int sides, int extra, int frames) {
  testscene::MdlDescription mdl;
  mdl.origin = {-128, -128, -64};
  mdl.skin_width = 64;
  mdl.skin_height = 32;
  std::vector<uint8_t> picture(64 * 32);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7 % 256);
  mdl.skins.push_back({false, {picture}});
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < sides; ++s)
      mdl.skin_vertices.push_back({s == 0 ? 0x20 : 0, r * 31 / rings, s * 31 / sides});
  auto index = [&](int r, int s) { return (r % rings) * sides + s % sides; };
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < sides; ++s) {
      const int front = r % 2;
      mdl.triangles.push_back({front, index(r, s), index(r + 1, s), index(r + 1, s + 1)});
      mdl.triangles.push_back({front, index(r, s), index(r + 1, s + 1), index(r, s + 1)});
    }
  }
  for (int k = 0; k < extra; ++k) mdl.triangles.push_back({1, 0, index(0, k + 1), index(0, k + 2)});
  const double pi = std::acos(-1.0);
  for (int f = 0; f < frames; ++f) {
    testscene::MdlFrame pose;
    pose.name = std::string(1, static_cast<char>('a' + f * 4 / frames)) +
                std::to_string(f % ((frames + 3) / 4) + 1);
    for (int r = 0; r < rings; ++r) {
      for (int s = 0; s < sides; ++s) {
        const double u = 2 * pi * r / rings, w = 2 * pi * s / sides;
        const double tube = 30 * (1 + 0.2 * std::sin(0.1 * f + u));
        const double x = (80 + tube * std::cos(w)) * std::cos(u);
        const double y = (80 + tube * std::cos(w)) * std::sin(u);
        const double z = tube * std::sin(w);
        pose.vertices.push_back({static_cast<uint8_t>(x + 128), static_cast<uint8_t>(y + 128),
                                 static_cast<uint8_t>(z + 64), 0});
      }
    }
    mdl.frames.push_back({false, {pose}, {}});
  }
  return testscene::MdlBytes(mdl);
}

class MdlToGltfRoundTrip : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = ValidatorMissing();
    if (!missing.empty()) GTEST_SKIP() << missing;
  }
};

TEST_F(MdlToGltfRoundTrip, OurOwnExport) {
  TempDir dir;
  const testing_support::ProgramRun run = testing_support::RunProgram(
      MDLEXPORT_PATH,
      {"-q", "--frames", "all", std::string(VANDRELL_SOURCE_DIR) + "/examples/example.gltf",
       dir.File("ex.mdl")});
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectRoundTrip(testing_support::ReadFileBytes(dir.File("ex.mdl")), "the example, exported");
}

TEST_F(MdlToGltfRoundTrip, SeamVerticesNamedClipsFrameGroupsAndSkinGroups) {
  testscene::MdlDescription mdl = SeamModel();
  // Intervals a tenth of a second apart: sampled ten times a second, each
  // member is one frame.
  mdl.frames[3].intervals.clear();
  ExpectRoundTrip(testscene::MdlBytes(mdl), "seams, clips and groups");
  mdl.frames[0].group = mdl.frames[1].group = true;
  ExpectRoundTrip(testscene::MdlBytes(mdl), "groups of one");
}

TEST_F(MdlToGltfRoundTrip, OneFrame) {
  MdlLayout one;
  one.numframes = 1;
  ExpectRoundTrip(MdlBytes(one), "one frame");
}

TEST_F(MdlToGltfRoundTrip, ModelsAtGLQuakesAndQuakeSpasmsLimits) {
  ExpectRoundTrip(Torus(32, 32, 0, 256), "GLQuake: 1024 vertices, 2048 triangles, 256 frames");
  ExpectRoundTrip(Torus(40, 50, 96, 8), "QuakeSpasm: 2000 vertices, 4096 triangles");
}

// mdlinfo --gltf names the node after the file, --quake-units keeps the
// sizes, and a name that is neither .glb nor .gltf is a usage error.
TEST(MdlinfoGltf, WritesTheFileInTheUnitAskedAndRefusesOtherNames) {
  TempDir dir;
  const std::string mdl = dir.File("seam model.mdl");
  testing_support::WriteFileBytes(mdl, testscene::MdlBytes(SeamModel()));
  auto run = [](const std::vector<std::string>& args) {
    return testing_support::RunProgram(MDLINFO_PATH, args);
  };
  const testing_support::ProgramRun quake =
      run({"--gltf", dir.File("q.glb"), "--quake-units", mdl});
  ASSERT_EQ(quake.status, 0) << quake.err;
  const Glb glb = ParseGlb(testing_support::ReadFileBytes(dir.File("q.glb")));
  EXPECT_EQ(glb.json["nodes"][0]["name"], "seam model");
  const int position = glb.json["meshes"][0]["primitives"][0]["attributes"]["POSITION"];
  EXPECT_EQ(glb.json["accessors"][position]["max"], nlohmann::json({0.0, -1.0, 14.0}));

  const testing_support::ProgramRun obj = run({"--gltf", dir.File("q.obj"), mdl});
  EXPECT_EQ(obj.status, 2);
  EXPECT_NE(obj.err.find("--gltf writes FILE.glb or FILE.gltf"), std::string::npos) << obj.err;
  EXPECT_EQ(run({"--quake-units", mdl}).status, 2);
  EXPECT_EQ(run({"--check", "--gltf", dir.File("c.glb"), mdl}).status, 2);
  EXPECT_FALSE(testing_support::FileExists(dir.File("q.obj")));
  EXPECT_FALSE(testing_support::FileExists(dir.File("c.glb")));
}
