// Export control: the options dialog driven by a scripted user, the settings
// it stores, and the driver's outcomes, messages and files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "export/ExportSettings.h"
#include "export/LeadingDecimal.h"
#include "host/Timing.h"
#include "hostapp/module/PluginModule.h"
#include "hostapp/scene/StandInScene.h"
#include "mdlformat/MdlReader.h"
#include "plugin/MdlExporter.h"
#include "resources/resource.h"
#include "tests/TestSupport.h"

namespace {

using hostapp::StandInScene;
using testing_support::FileExists;
using testing_support::MessageTexts;
using testing_support::TempDir;
using testing_support::ThenOk;
using vandrell::g_export_settings;
using win32::DialogAction;

using Texts = std::vector<std::string>;

// One triangle in the XY plane, its corners asymmetric.
host::Mesh OneTriangle() {
  return hostapp::MakeMesh({{0, 0, 0}, {2, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
}

// n separate triangles side by side, every corner its own vertex.
host::Mesh ManyTriangles(int n) {
  std::vector<host::Point3> vertices;
  std::vector<hostapp::FaceSpec> faces;
  for (int i = 0; i < n; ++i) {
    const uint32_t base = static_cast<uint32_t>(vertices.size());
    const float x = static_cast<float>(3 * i);
    vertices.push_back({x, 0, 0});
    vertices.push_back({x + 2, 0, 0});
    vertices.push_back({x, 1, static_cast<float>(i % 7)});
    faces.push_back({base, base + 1, base + 2});
  }
  return hostapp::MakeMesh(vertices, faces);
}

class ExportDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::AttachExporter();
    win32::ClearMessages();
    saved_settings_ = g_export_settings;
  }
  void TearDown() override {
    g_export_settings = saved_settings_;
    win32::SetDialogScript({});
    win32::SetMessageHook(nullptr, nullptr);
    win32::SetFullPathNameFails(false);
    win32::SetDialogCreationFails(false);
  }

  // RunExport of an empty scene to dir/name with the given script: after OK
  // it stops at "No data to export", the settings stored and no file made.
  int RunEmpty(std::vector<DialogAction> script, const std::string& name = "ogre.mdl") {
    win32::SetDialogScript(std::move(script));
    const std::string target = dir_.File(name);
    const int result = exporter_.RunExport(target.c_str(), &empty_scene_, &empty_scene_);
    EXPECT_FALSE(FileExists(target));
    return result;
  }

  // The text an edit of the last dialog held when it closed.
  static std::string LastEditText(int id) {
    for (const win32::ControlSnapshot& control : win32::LastDialog().controls) {
      if (control.id == id) return control.text;
    }
    return "<no control " + std::to_string(id) + ">";
  }

  vandrell::ExportSettings saved_settings_;
  TempDir dir_;
  vandrell::MdlExporter exporter_;
  StandInScene empty_scene_;
};

const Texts kNoData = {"No data to export"};

TEST_F(ExportDialog, OkWithTheDefaultsStoresTheDefaultSettings) {
  // Values the dialog must overwrite.
  g_export_settings = vandrell::ExportSettings();
  exporter_.Model().synctype = 0;
  exporter_.Model().flags = 77;
  EXPECT_EQ(RunEmpty(ThenOk()), 1);
  EXPECT_EQ(MessageTexts(), kNoData);
  EXPECT_EQ(g_export_settings.gouraud_shading, 1);
  EXPECT_EQ(g_export_settings.frame_count, 1);
  EXPECT_EQ(g_export_settings.model_scale, 1.0f);
  EXPECT_EQ(g_export_settings.collision_box_scale, 1.0f);
  EXPECT_EQ(g_export_settings.fullbright_colors, 0);
  EXPECT_EQ(g_export_settings.skin_byte_budget, 16384);
  EXPECT_STREQ(g_export_settings.base_name, "ogre");
  EXPECT_EQ(exporter_.Model().synctype, 1);
  EXPECT_EQ(exporter_.Model().flags, 0);
}

TEST_F(ExportDialog, DialogOpensWithTemplate102AndItsDefaults) {
  RunEmpty({DialogAction::Press(IDCANCEL)}, "Ogre.run.mdl");
  const win32::DialogSnapshot& dialog = win32::LastDialog();
  EXPECT_EQ(dialog.template_id, 102);
  EXPECT_EQ(dialog.caption, "MDL Export Options");
  EXPECT_EQ(dialog.font, "MS Sans Serif");
  EXPECT_EQ(dialog.font_size, 8);
  EXPECT_EQ(dialog.width, 334);
  EXPECT_EQ(dialog.height, 199);
  EXPECT_EQ(dialog.init_dialog_result, 0);

  struct Expected {
    int id;
    const char* kind;
    const char* text;
    int x, y, width, height;
  };
  const Expected expected[] = {
      {1, "defbutton", "OK", 277, 13, 50, 14},
      {2, "button", "Cancel", 277, 36, 50, 14},
      {1016, "edit", "Ogre", 18, 17, 68, 14},
      {1017, "edit", "1", 18, 58, 40, 14},
      {1015, "edit", "16", 18, 96, 40, 14},
      {1014, "edit", "100", 18, 135, 40, 14},
      {1013, "edit", "100", 18, 173, 40, 14},
      {1002, "checkbox", "Rotate", 127, 17, 37, 10},
      {1003, "checkbox", "Rocket Smoke Trail", 127, 31, 79, 10},
      {1004, "checkbox", "Grenade Smoke Trail", 127, 44, 83, 10},
      {1005, "checkbox", "Gib Long Blood Trail", 127, 57, 80, 10},
      {1006, "checkbox", "Gib Short Blood Trail", 127, 68, 81, 10},
      {1007, "checkbox", "Wizard Green Tracer", 127, 82, 82, 10},
      {1008, "checkbox", "Hellknight Yellow Tracer", 127, 95, 93, 10},
      {1009, "checkbox", "Vore Purple Tracer", 127, 108, 75, 10},
      {1000, "checkbox", "Gouraud Shading", 127, 138, 71, 10},
      {1010, "checkbox", "Random", 127, 178, 43, 10},
      {-1, "groupbox", "Flags", 107, 7, 137, 119},
      {-1, "groupbox", "Shading", 107, 129, 137, 37},
      {-1, "groupbox", "Synchronization", 107, 166, 137, 26},
      {-1, "groupbox", "Scale Model", 7, 161, 85, 31},
      {-1, "static", "Percent", 61, 176, 26, 8},
      {-1, "groupbox", "Scale Collision Box", 7, 124, 85, 31},
      {-1, "static", "Percent", 61, 138, 26, 8},
      {-1, "groupbox", "Limit Texture Size", 7, 85, 85, 31},
      {-1, "static", "KBytes", 61, 99, 23, 8},
      {-1, "groupbox", "Model Base Name", 7, 7, 85, 31},
      {-1, "groupbox", "Frames", 7, 47, 85, 31},
      {1018, "checkbox", "Use Fullbright Colors", 127, 149, 89, 14},
  };
  ASSERT_EQ(dialog.controls.size(), sizeof expected / sizeof expected[0]);
  for (size_t i = 0; i < dialog.controls.size(); ++i) {
    const win32::ControlSnapshot& got = dialog.controls[i];
    const Expected& want = expected[i];
    SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.text + "\"");
    if (want.id > 0) {
      EXPECT_EQ(got.id, want.id);
    }
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    // Only Gouraud Shading and Random start checked.
    EXPECT_EQ(got.checked, want.id == 1000 || want.id == 1010);
    const bool digits_only =
        want.id == 1013 || want.id == 1014 || want.id == 1015 || want.id == 1017;
    if (std::string(want.kind) == "edit") {
      EXPECT_EQ((got.style & ES_NUMBER) != 0, digits_only);
    }
    if (want.id == 1016) {
      EXPECT_EQ(got.text_limit, 13);
    }
  }
}

TEST_F(ExportDialog, ScaleFieldsArePercentages) {
  EXPECT_EQ(RunEmpty(ThenOk({DialogAction::Paste(IDC_SCALE_MODEL, ""),
                             DialogAction::Type(IDC_SCALE_MODEL, "50"),
                             DialogAction::Paste(IDC_SCALE_COLLISION_BOX, "")})),
            1);
  EXPECT_EQ(g_export_settings.model_scale, 0.5f);
  EXPECT_EQ(g_export_settings.collision_box_scale, 0.0f);

  // 90 x 0.01 in double, then rounded once to single precision: 0.9f.
  EXPECT_EQ(RunEmpty(ThenOk({DialogAction::Paste(IDC_SCALE_COLLISION_BOX, "90")})), 1);
  EXPECT_EQ(testing_support::FloatBits(g_export_settings.collision_box_scale), 0x3F666666u);
}

TEST_F(ExportDialog, PastedScaleTextCountsOnlyAsALeadingDecimalNumber) {
  // Expected bits: the number x 0.01 in double, rounded once to single precision.
  const struct {
    const char* text;
    uint32_t bits;
  } cases[] = {
      {"0x10", 0x00000000u},  // "0", then text: not hexadecimal 16
      {"inf", 0x00000000u},  {"nan", 0x00000000u}, {" 12", 0x3DF5C28Fu},  // 0.12f
      {"+5", 0x3D4CCCCDu},                                                // 0.05f
      {"1e2", 0x3F800000u},                                               // 1.0f
      {"12px", 0x3DF5C28Fu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunEmpty(ThenOk({DialogAction::Paste(IDC_SCALE_MODEL, c.text),
                               DialogAction::Paste(IDC_SCALE_COLLISION_BOX, c.text)})),
              1);
    EXPECT_EQ(testing_support::FloatBits(g_export_settings.model_scale), c.bits) << c.text;
    EXPECT_EQ(testing_support::FloatBits(g_export_settings.collision_box_scale), c.bits) << c.text;
  }
}

TEST(LeadingDecimal, ReadsSpaceSignDigitsPointAndExponentAndIgnoresTheRest) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      // Neither hexadecimal nor the C library's names of infinity and NaN.
      {"0x10", 0.0},
      {"0X1p4", 0.0},
      {"inf", 0.0},
      {"-inf", 0.0},
      {"INFINITY", 0.0},
      {"nan", 0.0},
      {"nan(1)", 0.0},
      // Leading white space and a sign.
      {" 12", 12.0},
      {"\t\n\v\f\r7", 7.0},
      {"+5", 5.0},
      {"-2.5", -2.5},
      {"+-3", 0.0},
      {"- 3", 0.0},
      // Digits around a point, at least one of them.
      {".5", 0.5},
      {"5.", 5.0},
      {".", 0.0},
      {"-", 0.0},
      {"", 0.0},
      {"   ", 0.0},
      {"0.1", 0.1},
      {"007.250", 7.25},
      {"1.5.5", 1.5},
      // An exponent only with a digit after it.
      {"1e2", 100.0},
      {"2E-1x", 0.2},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"3e-", 3.0},
      {"1.5e3.7", 1500.0},
      {"e5", 0.0},
      // Whatever follows the number.
      {"12px", 12.0},
      {"1,5", 1.0},
      {"1 5", 1.0},
      {"8kb", 8.0},
      // Beyond the double range: infinity or zero of the sign.
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"1e99999999999999999999", HUGE_VAL},
      {"0.0001e309", 1e305},
      {"1e-400", 0.0},
      {"123456789e-400", 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vandrell::LeadingDecimal(c.text), c.value) << '"' << c.text << '"';
  }
  // 99 nines are 10^99 - 1, nearest to the double nearest 10^99.
  EXPECT_EQ(vandrell::LeadingDecimal(std::string(99, '9').c_str()), 1e99);
  // A negative zero keeps its sign; a null text reads as 0.
  EXPECT_TRUE(std::signbit(vandrell::LeadingDecimal("-0")));
  EXPECT_EQ(vandrell::LeadingDecimal(nullptr), 0.0);
}

TEST_F(ExportDialog, TextureLimitIsInKBytes) {
  EXPECT_EQ(RunEmpty(ThenOk({DialogAction::Paste(IDC_TEXTURE_LIMIT, "64")})), 1);
  EXPECT_EQ(g_export_settings.skin_byte_budget, 65536);
  // 0 is a legal limit: the export goes on to the scene.
  EXPECT_EQ(RunEmpty(ThenOk({DialogAction::Paste(IDC_TEXTURE_LIMIT, "0")})), 1);
  EXPECT_EQ(g_export_settings.skin_byte_budget, 0);
  // The largest limit whose bytes fit a signed 32-bit count.
  EXPECT_EQ(RunEmpty(ThenOk({DialogAction::Paste(IDC_TEXTURE_LIMIT, "2097151")})), 1);
  EXPECT_EQ(g_export_settings.skin_byte_budget, 2147482624);
  EXPECT_EQ(MessageTexts(), Texts(3, "No data to export"));
}

TEST_F(ExportDialog, FlagBitsFollowTheirBoxesNotTheControlOrder) {
  std::vector<DialogAction> every_flag;
  for (int id = IDC_ROTATE; id <= IDC_VORE_PURPLE_TRACER; ++id)
    every_flag.push_back(DialogAction::Check(id, true));
  RunEmpty(ThenOk(every_flag));
  EXPECT_EQ(exporter_.Model().flags, 255);

  const struct {
    int id;
    int32_t bit;
  } single[] = {{IDC_ROTATE, 8},
                {IDC_ROCKET_SMOKE_TRAIL, 1},
                {IDC_GRENADE_SMOKE_TRAIL, 2},
                {IDC_GIB_LONG_BLOOD_TRAIL, 4},
                {IDC_GIB_SHORT_BLOOD_TRAIL, 32},
                {IDC_WIZARD_GREEN_TRACER, 16},
                {IDC_HELLKNIGHT_YELLOW_TRACER, 64},
                {IDC_VORE_PURPLE_TRACER, 128}};
  for (const auto& box : single) {
    RunEmpty(ThenOk({DialogAction::Check(box.id, true)}));
    EXPECT_EQ(exporter_.Model().flags, box.bit) << box.id;
  }

  // Random, Gouraud Shading and fullbright colours reach their own fields.
  RunEmpty(ThenOk({DialogAction::Check(IDC_RANDOM, false),
                   DialogAction::Check(IDC_GOURAUD_SHADING, false),
                   DialogAction::Check(IDC_FULLBRIGHT_COLORS, true)}));
  EXPECT_EQ(exporter_.Model().synctype, 0);
  EXPECT_EQ(exporter_.Model().flags, 0);
  EXPECT_EQ(g_export_settings.gouraud_shading, 0);
  EXPECT_EQ(g_export_settings.fullbright_colors, 1);
}

TEST_F(ExportDialog, BaseNameKeepsTwelveCharacters) {
  // Typing stops at 13 characters; OK keeps 12 of them.
  RunEmpty(ThenOk({DialogAction::Paste(IDC_BASE_NAME, ""),
                   DialogAction::Type(IDC_BASE_NAME, "abcdefghijklmnop")}));
  EXPECT_EQ(LastEditText(IDC_BASE_NAME), "abcdefghijklm");
  EXPECT_STREQ(g_export_settings.base_name, "abcdefghijkl");

  // A 16-character default is shown whole and cut by OK.
  RunEmpty(ThenOk(), "abcdefghijklmnopqrst");
  EXPECT_EQ(LastEditText(IDC_BASE_NAME), "abcdefghijklmnop");
  EXPECT_STREQ(g_export_settings.base_name, "abcdefghijkl");
}

TEST_F(ExportDialog, DigitsOnlyFieldsRefuseTypedLettersButTakePastedOnes) {
  RunEmpty(
      ThenOk({DialogAction::Paste(IDC_SCALE_MODEL, ""), DialogAction::Type(IDC_SCALE_MODEL, "2x5"),
              DialogAction::Paste(IDC_FRAMES, ""), DialogAction::Type(IDC_FRAMES, "-3"),
              DialogAction::Paste(IDC_TEXTURE_LIMIT, "8kb"),
              DialogAction::Paste(IDC_SCALE_COLLISION_BOX, "abc")}));
  EXPECT_EQ(LastEditText(IDC_SCALE_MODEL), "25");
  EXPECT_EQ(LastEditText(IDC_FRAMES), "3");
  EXPECT_EQ(LastEditText(IDC_TEXTURE_LIMIT), "8kb");
  EXPECT_EQ(g_export_settings.model_scale, 0.25f);
  EXPECT_EQ(g_export_settings.frame_count, 3);
  // A pasted number is read up to its first non-digit; text without one is 0.
  EXPECT_EQ(g_export_settings.skin_byte_budget, 8192);
  EXPECT_EQ(g_export_settings.collision_box_scale, 0.0f);
  // The base name takes any character.
  RunEmpty(
      ThenOk({DialogAction::Paste(IDC_BASE_NAME, ""), DialogAction::Type(IDC_BASE_NAME, "a1-b")}));
  EXPECT_STREQ(g_export_settings.base_name, "a1-b");
}

TEST_F(ExportDialog, HugeNumbersSaturateInsteadOfOverflowing) {
  const std::string digits(99, '9');
  RunEmpty(ThenOk(
      {DialogAction::Paste(IDC_SCALE_MODEL, digits), DialogAction::Paste(IDC_FRAMES, digits)}));
  EXPECT_EQ(g_export_settings.model_scale, std::numeric_limits<float>::infinity());
  EXPECT_EQ(g_export_settings.frame_count, INT32_MAX);
}

TEST_F(ExportDialog, CancelChangesNothingButTheDefaultBaseName) {
  vandrell::ExportSettings before;
  before.gouraud_shading = 0;
  before.frame_count = 7;
  before.model_scale = 2.5f;
  before.collision_box_scale = 0.75f;
  std::snprintf(before.base_name, sizeof before.base_name, "%s", "earlier");
  before.fullbright_colors = 1;
  before.skin_byte_budget = 4096;
  g_export_settings = before;
  exporter_.Model().synctype = 0;
  exporter_.Model().flags = 5;

  std::vector<DialogAction> everything = {
      DialogAction::Paste(IDC_BASE_NAME, "changed"),
      DialogAction::Paste(IDC_FRAMES, "9"),
      DialogAction::Paste(IDC_TEXTURE_LIMIT, "1"),
      DialogAction::Paste(IDC_SCALE_COLLISION_BOX, "10"),
      DialogAction::Paste(IDC_SCALE_MODEL, "10"),
      DialogAction::Check(IDC_GOURAUD_SHADING, true),
      DialogAction::Check(IDC_RANDOM, true),
      DialogAction::Check(IDC_FULLBRIGHT_COLORS, false),
  };
  for (int id = IDC_ROTATE; id <= IDC_VORE_PURPLE_TRACER; ++id)
    everything.push_back(DialogAction::Check(id, true));

  const DialogAction endings[] = {DialogAction::Press(IDCANCEL), DialogAction::Escape(),
                                  DialogAction::Close()};
  for (const DialogAction& ending : endings) {
    std::vector<DialogAction> script = everything;
    script.push_back(ending);
    EXPECT_EQ(RunEmpty(script, "fresh.name.mdl"), 0);
    EXPECT_TRUE(win32::Messages().empty());
    EXPECT_EQ(g_export_settings.gouraud_shading, 0);
    EXPECT_EQ(g_export_settings.frame_count, 7);
    EXPECT_EQ(g_export_settings.model_scale, 2.5f);
    EXPECT_EQ(g_export_settings.collision_box_scale, 0.75f);
    EXPECT_EQ(g_export_settings.fullbright_colors, 1);
    EXPECT_EQ(g_export_settings.skin_byte_budget, 4096);
    // The driver has put the new default there before the dialog opened.
    EXPECT_STREQ(g_export_settings.base_name, "fresh");
    EXPECT_EQ(exporter_.Model().synctype, 0);
    EXPECT_EQ(exporter_.Model().flags, 5);
  }
}

TEST_F(ExportDialog, FrameCountBelowOneIsRefusedBeforeTheScene) {
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  int evaluations = 0;
  scene.SetEvaluationObserver([&](hostapp::StandInNode&, host::HostTime) { ++evaluations; });
  const std::string target = dir_.File("frames.mdl");
  const std::vector<DialogAction> scripts[] = {
      ThenOk({DialogAction::Paste(IDC_FRAMES, ""), DialogAction::Type(IDC_FRAMES, "0")}),
      ThenOk({DialogAction::Paste(IDC_FRAMES, "-4")}),
      ThenOk({DialogAction::Paste(IDC_FRAMES, "")}),
  };
  for (const auto& script : scripts) {
    win32::ClearMessages();
    win32::SetDialogScript(script);
    EXPECT_EQ(exporter_.RunExport(target.c_str(), &scene, &scene), 0);
    EXPECT_EQ(MessageTexts(), Texts{"The frame count must be at least 1"});
    ASSERT_EQ(win32::Messages().size(), 1u);
    EXPECT_EQ(win32::Messages()[0].caption, "Vandrell Exporter");
    EXPECT_EQ(evaluations, 0);
    EXPECT_FALSE(FileExists(target));
  }
}

TEST_F(ExportDialog, TextureLimitOutOfRangeIsRefusedBeforeTheScene) {
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  int evaluations = 0;
  scene.SetEvaluationObserver([&](hostapp::StandInNode&, host::HostTime) { ++evaluations; });
  const std::string target = dir_.File("limit.mdl");
  // An existing file is left alone.
  testing_support::WriteFileBytes(target, {7, 8});
  for (const char* limit : {"-1", "2097152", "99999999999999999999"}) {
    win32::ClearMessages();
    win32::SetDialogScript(ThenOk({DialogAction::Paste(IDC_TEXTURE_LIMIT, limit)}));
    EXPECT_EQ(exporter_.RunExport(target.c_str(), &scene, &scene), 0) << limit;
    EXPECT_EQ(MessageTexts(), Texts{"The texture size limit is out of range"}) << limit;
    EXPECT_EQ(evaluations, 0);
    EXPECT_EQ(testing_support::ReadFileBytes(target), (std::vector<uint8_t>{7, 8}));
  }
}

TEST_F(ExportDialog, DefaultBaseNameIsTheFileNameUpToItsFirstDot) {
  const struct {
    const char* path;
    const char* base_name;
  } cases[] = {
      {"C:\\out\\a.b.c", "a"},
      {"C:\\models\\Ogre.run.mdl", "Ogre"},
      {".hidden.mdl", ""},
      {"abcdefghijklmnopqrst", "abcdefghijklmnop"},
      {"sub/dir/knight.mdl", "knight"},
  };
  for (const auto& c : cases) {
    win32::SetDialogScript({DialogAction::Press(IDCANCEL)});
    // Relative paths resolve against the current folder; the file is never
    // opened because the dialog is cancelled.
    EXPECT_EQ(exporter_.RunExport(c.path, &empty_scene_, &empty_scene_), 0);
    EXPECT_STREQ(g_export_settings.base_name, c.base_name) << c.path;
    EXPECT_EQ(LastEditText(IDC_BASE_NAME), c.base_name) << c.path;
  }
}

TEST_F(ExportDialog, PathsThatDoNotResolveToAFileNameGiveTheNameAsWritten) {
  // A path GetFullPathNameA cannot resolve: the file name as given.
  win32::SetFullPathNameFails(true);
  win32::SetDialogScript({DialogAction::Press(IDCANCEL)});
  const int unresolved =
      exporter_.RunExport("C:\\out\\knight.run.mdl", &empty_scene_, &empty_scene_);
  win32::SetFullPathNameFails(false);
  EXPECT_EQ(unresolved, 0);
  EXPECT_STREQ(g_export_settings.base_name, "knight");

  // A path ending in a separator names no file: an empty base name.
  win32::SetDialogScript({DialogAction::Press(IDCANCEL)});
  EXPECT_EQ(exporter_.RunExport("C:\\out\\models\\", &empty_scene_, &empty_scene_), 0);
  EXPECT_STREQ(g_export_settings.base_name, "");
  win32::SetDialogScript({DialogAction::Press(IDCANCEL)});
  EXPECT_EQ(exporter_.RunExport("/out/models/", &empty_scene_, &empty_scene_), 0);
  EXPECT_STREQ(g_export_settings.base_name, "");
  EXPECT_TRUE(win32::Messages().empty());

  // Resolved, the path needs more than the 200 characters the driver holds:
  // the file name as given, and the file is still written there.
  const std::string name = "Paladin" + std::string(190, 'x') + ".mdl";
  const std::string target = dir_.File(name);
  ASSERT_GT(target.size(), 200u);
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  win32::SetDialogScript({DialogAction::Press(IDCANCEL)});
  EXPECT_EQ(exporter_.RunExport(target.c_str(), &scene, &scene), 0);
  EXPECT_STREQ(g_export_settings.base_name, "Paladinxxxxxxxxx");
  win32::SetDialogScript(ThenOk());
  EXPECT_EQ(exporter_.RunExport(target.c_str(), &scene, &scene), 1);
  EXPECT_TRUE(win32::Messages().empty()) << MessageTexts()[0];
  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdlFile(target, &file, &error)) << error;
  ASSERT_EQ(file.header.numframes, 1);
  EXPECT_STREQ(file.frames[0].name, "Paladinxxxxx0");

  // Ending in a separator, with OK: no file to create.
  const std::string folder = dir_.File("sub/");
  win32::SetDialogScript(ThenOk());
  EXPECT_EQ(exporter_.RunExport(folder.c_str(), &scene, &scene), 0);
  EXPECT_EQ(MessageTexts(), Texts{"Can't create output file"});
  EXPECT_FALSE(FileExists(dir_.File("sub")));
}

// A host interface that counts the questions about the animation range.
class RangeCountingHost : public host::HostInterface {
 public:
  explicit RangeCountingHost(StandInScene& scene) : scene_(scene) {}
  host::ValidityInterval GetAnimationRange() override {
    ++range_queries;
    return scene_.GetAnimationRange();
  }
  host::HostTime GetTime() override { return scene_.GetTime(); }
  int range_queries = 0;

 private:
  StandInScene& scene_;
};

TEST_F(ExportDialog, DialogEndingWithoutOkLeavesEverythingUntouched) {
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  int evaluations = 0;
  scene.SetEvaluationObserver([&](hostapp::StandInNode&, host::HostTime) { ++evaluations; });
  const std::string target = dir_.File("kept.mdl");
  const std::vector<uint8_t> earlier = {'I', 'D', 'P', 'O', 0, 255, 7};
  testing_support::WriteFileBytes(target, earlier);

  // Cancel, then a dialog that cannot be created (DialogBoxParamA gives -1),
  // through RunExport and through the host's ExportScene.
  for (const bool creation_fails : {false, true}) {
    for (const bool through_export_scene : {false, true}) {
      SCOPED_TRACE(std::string(creation_fails ? "dialog not created" : "Cancel") +
                   (through_export_scene ? ", ExportScene" : ", RunExport"));
      RangeCountingHost host(scene);
      win32::ClearMessages();
      win32::SetDialogScript({DialogAction::Press(IDCANCEL)});
      win32::SetDialogCreationFails(creation_fails);
      const int result = through_export_scene ? exporter_.ExportScene(target.c_str(), &scene, &host)
                                              : exporter_.RunExport(target.c_str(), &scene, &host);
      win32::SetDialogCreationFails(false);
      EXPECT_EQ(result, through_export_scene ? 1 : 0);
      EXPECT_TRUE(win32::Messages().empty());
      EXPECT_EQ(host.range_queries, 0);
      EXPECT_EQ(evaluations, 0);
      EXPECT_EQ(testing_support::ReadFileBytes(target), earlier);
    }
  }
  // The same exporter and scene export normally once the dialog says OK.
  RangeCountingHost host(scene);
  win32::SetDialogScript(ThenOk());
  EXPECT_EQ(exporter_.RunExport(target.c_str(), &scene, &host), 1);
  EXPECT_EQ(host.range_queries, 1);
  EXPECT_NE(testing_support::ReadFileBytes(target), earlier);
}

TEST_F(ExportDialog, ExportStartsFromAFreshModel) {
  // Leftovers of an earlier export on the same exporter.
  vandrell::MdlModel& model = exporter_.Model();
  g_export_settings.frame_count = 3;
  g_export_settings.skin_byte_budget = 1024;
  ASSERT_EQ(model.Allocate(2), 1);
  model.numverts = 6;
  model.numtris = 2;
  model.StoreFrame(2);
  model.scale[1] = 0.25f;
  model.bounding_radius = 9.0f;

  EXPECT_EQ(RunEmpty(ThenOk(
                {DialogAction::Check(IDC_RANDOM, false), DialogAction::Check(IDC_ROTATE, true)})),
            1);
  EXPECT_EQ(model.numskins, 0);
  EXPECT_EQ(model.numverts, 0);
  EXPECT_EQ(model.numtris, 0);
  EXPECT_EQ(model.numframes, 0);
  EXPECT_EQ(model.scale[1], 1.0f);
  EXPECT_EQ(model.bounding_radius, 1.0f);
  EXPECT_EQ(model.skin, nullptr);
  EXPECT_EQ(model.frame_vertices, nullptr);
  // The dialog's choices survive the reset.
  EXPECT_EQ(model.synctype, 0);
  EXPECT_EQ(model.flags, 8);
}

// --- Exports that reach the file -------------------------------------------

TEST_F(ExportDialog, ExportThroughTheModuleWritesTheDialogsChoices) {
  hostapp::PluginModule module;
  ASSERT_TRUE(module.Load(VANDRELL_MODULE_PATH)) << module.Error();
  std::unique_ptr<host::SceneExporter> exporter(module.CreateExporter());
  ASSERT_NE(exporter, nullptr);
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  const std::string target = dir_.File("knight.mdl");
  win32::SetDialogScript(
      ThenOk({DialogAction::Check(IDC_RANDOM, false), DialogAction::Check(IDC_ROTATE, true),
              DialogAction::Check(IDC_VORE_PURPLE_TRACER, true)}));
  EXPECT_EQ(exporter->ExportScene(target.c_str(), &scene, &scene), 1);
  EXPECT_TRUE(win32::Messages().empty()) << MessageTexts()[0];

  vandrell::MdlFile file;
  std::string error;
  ASSERT_TRUE(vandrell::ReadMdlFile(target, &file, &error)) << error;
  EXPECT_EQ(file.header.synctype, 0);
  EXPECT_EQ(file.header.flags, 136);
  EXPECT_EQ(file.header.numskins, 1);
  EXPECT_EQ(file.header.numtris, 1);
  ASSERT_EQ(file.header.numframes, 1);
  EXPECT_STREQ(file.frames[0].name, "knight0");
}

TEST_F(ExportDialog, SecondExportOnTheSameExporterWritesTheSameFile) {
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  const std::string first = dir_.File("first.mdl");
  const std::string second = dir_.File("first.again.mdl");
  win32::SetDialogScript(ThenOk());
  EXPECT_EQ(exporter_.ExportScene(first.c_str(), &scene, &scene), 1);
  win32::SetDialogScript(ThenOk());
  EXPECT_EQ(exporter_.ExportScene(second.c_str(), &scene, &scene), 1);
  EXPECT_TRUE(win32::Messages().empty());
  const std::vector<uint8_t> a = testing_support::ReadFileBytes(first);
  ASSERT_GT(a.size(), 84u);
  EXPECT_EQ(testing_support::ReadFileBytes(second), a);
  EXPECT_EQ(testing_support::ReadInt32(a, 48), 1);  // numskins
}

TEST_F(ExportDialog, MissingFolderGivesCantCreateOutputFile) {
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  const std::string target = dir_.File("missing/ogre.mdl");
  win32::SetDialogScript(ThenOk());
  EXPECT_EQ(exporter_.RunExport(target.c_str(), &scene, &scene), 0);
  EXPECT_EQ(MessageTexts(), Texts{"Can't create output file"});
  EXPECT_FALSE(FileExists(target));
  win32::ClearMessages();
  win32::SetDialogScript(ThenOk());
  EXPECT_EQ(exporter_.ExportScene(target.c_str(), &scene, &scene), 1);
  EXPECT_EQ(MessageTexts(), Texts{"Can't create output file"});
}

TEST_F(ExportDialog, ModelTooLargeForItsCountsIsRefusedBeforeTheFile) {
  // 1000 faces x 1000000 frames x 3 vertices overflow a signed 32-bit count.
  const int ticks_before = host::GetTicksPerFrame();
  host::SetTicksPerFrame(1);
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), ManyTriangles(1000));
  scene.SetAnimationRange(0, 2000000);
  const std::string target = dir_.File("giant.run.mdl");
  testing_support::WriteFileBytes(target, {4, 5, 6});
  win32::SetDialogScript(ThenOk({DialogAction::Paste(IDC_FRAMES, "1000000")}));
  const int result = exporter_.RunExport(target.c_str(), &scene, &scene);
  host::SetTicksPerFrame(ticks_before);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(MessageTexts(), Texts{"Object giant is to large to export"});
  // The file was never opened: what was there stays.
  EXPECT_EQ(testing_support::ReadFileBytes(target), (std::vector<uint8_t>{4, 5, 6}));
}

// What the message hook saw of the output file while the box was up.
struct BoxObservation {
  std::string path;
  int boxes = 0;
  bool file_existed = false;
};

void ObserveFile(const win32::MessageRecord&, void* context) {
  BoxObservation* seen = static_cast<BoxObservation*>(context);
  ++seen->boxes;
  seen->file_existed = FileExists(seen->path);
}

// The child's part of the write-failure test: 0 when everything held, else
// the number of the first check that failed (reported on standard error).
int ExportWithSmallFileLimit(const std::string& target, bool through_export_scene) {
  // 100 triangles of 3 vertices each: 3600 bytes of skin vertices alone,
  // against a limit of 1000 bytes.
  const rlimit limit = {1000, 1000};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
  signal(SIGXFSZ, SIG_IGN);

  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), ManyTriangles(100));
  vandrell::MdlExporter exporter;
  BoxObservation seen;
  seen.path = target;
  win32::ClearMessages();
  win32::SetMessageHook(&ObserveFile, &seen);
  win32::SetDialogScript(ThenOk());
  const int result = through_export_scene ? exporter.ExportScene(target.c_str(), &scene, &scene)
                                          : exporter.RunExport(target.c_str(), &scene, &scene);
  win32::SetMessageHook(nullptr, nullptr);
  const Texts texts = MessageTexts();
  const int expected_result = through_export_scene ? 1 : 0;
  if (result != expected_result) return 11;
  if (texts != Texts{"Write error on file"}) {
    for (const std::string& text : texts) std::fprintf(stderr, "message: %s\n", text.c_str());
    return 12;
  }
  if (seen.boxes != 1 || !seen.file_existed) return 13;  // shown before the removal
  if (FileExists(target)) return 14;                     // removed after it
  return 0;
}

// The child's part of the closing-failure test: the whole model fits the
// stream's buffer, so every write succeeds and the bytes first reach the file,
// beyond its size limit, when fclose flushes them. 0 when everything held,
// else the number of the first check that failed.
int ExportFailingOnlyAtClose(const std::string& target, size_t limit) {
  const rlimit file_limit = {limit, limit};
  if (setrlimit(RLIMIT_FSIZE, &file_limit) != 0) return 10;
  signal(SIGXFSZ, SIG_IGN);
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  vandrell::MdlExporter exporter;
  BoxObservation seen;
  seen.path = target;
  win32::ClearMessages();
  win32::SetMessageHook(&ObserveFile, &seen);
  win32::SetDialogScript(ThenOk());
  const int result = exporter.RunExport(target.c_str(), &scene, &scene);
  win32::SetMessageHook(nullptr, nullptr);
  if (result != 0) return 11;
  if (MessageTexts() != Texts{"Write error on file"}) return 12;
  if (seen.boxes != 1 || !seen.file_existed) return 13;
  if (FileExists(target)) return 14;
  return 0;
}

TEST_F(ExportDialog, CloseFailingAfterACompleteWriteRemovesTheFile) {
  // The size of the file, written without a limit.
  StandInScene scene;
  scene.AddMesh(scene.AddNode("n"), OneTriangle());
  const std::string target = dir_.File("closing.mdl");
  win32::SetDialogScript(ThenOk());
  ASSERT_EQ(exporter_.RunExport(target.c_str(), &scene, &scene), 1);
  const size_t size = testing_support::ReadFileBytes(target).size();
  // Far below a stream buffer (at least 4096 bytes here), so nothing is
  // written before fclose.
  ASSERT_LT(size, 1024u);
  ASSERT_EQ(std::remove(target.c_str()), 0);
  EXPECT_EXIT(std::_Exit(ExportFailingOnlyAtClose(target, size / 2)), ::testing::ExitedWithCode(0),
              "");
  EXPECT_FALSE(FileExists(target));
}

TEST_F(ExportDialog, WriteFailureShowsItsMessageThenRemovesTheFile) {
  const std::string target = dir_.File("too-big.mdl");
  EXPECT_EXIT(std::_Exit(ExportWithSmallFileLimit(target, false)), ::testing::ExitedWithCode(0),
              "");
  EXPECT_EXIT(std::_Exit(ExportWithSmallFileLimit(target, true)), ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(FileExists(target));
}

}  // namespace
