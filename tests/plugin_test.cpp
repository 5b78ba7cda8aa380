// The plug-in shell: entry points, class descriptor, exporter identity, and the
// string and message helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/Timing.h"
#include "plugin/LibraryEntry.h"
#include "plugin/MdlExporter.h"
#include "plugin/MdlExporterClassDesc.h"
#include "plugin/Resources.h"
#include "tests/TestSupport.h"

namespace {

class PluginShell : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::AttachExporter();
    win32::ClearMessages();
  }
};

TEST_F(PluginShell, LibraryExportsOneClassWithItsDescriptor) {
  EXPECT_EQ(LibNumberClasses(), 1);
  EXPECT_EQ(LibVersion(), 120ul);
  EXPECT_STREQ(LibDescription(), ".MDL File Export DLL - Version 0.1");
  host::ClassDescriptor* descriptor = LibClassDesc(0);
  ASSERT_NE(descriptor, nullptr);
  EXPECT_EQ(LibClassDesc(0), descriptor);
  EXPECT_EQ(LibClassDesc(1), nullptr);
  EXPECT_EQ(LibClassDesc(-1), nullptr);
}

TEST_F(PluginShell, ClassDescriptorAnswersInInterfaceOrder) {
  host::ClassDescriptor* descriptor = LibClassDesc(0);
  EXPECT_EQ(descriptor->IsPublicClass(), 1);
  EXPECT_EQ(descriptor->BeginInteractiveCreate(nullptr), 0);
  EXPECT_EQ(descriptor->EndInteractiveCreate(nullptr), 0);
  EXPECT_STREQ(descriptor->GetClassName(), "Quake MDL Files");
  EXPECT_EQ(descriptor->GetSuperClassId(), 0xA20u);
  EXPECT_EQ(descriptor->GetClassId(), host::Class_ID(0x5CB45A86, 0x61E0624F));
  EXPECT_STREQ(descriptor->GetCategory(), "Scene Export");
  EXPECT_EQ(descriptor->CanCreate(nullptr), 1);
  // The six operations the descriptor leaves at the interface's defaults.
  EXPECT_EQ(descriptor->NumParamBlockDescs(), 0);
  EXPECT_EQ(descriptor->NumActionTables(), 0);
  EXPECT_EQ(descriptor->GetActionTable(0), nullptr);
  EXPECT_EQ(descriptor->GetActionCallback(0), nullptr);
}

TEST_F(PluginShell, CreatedExporterNamesTheMdlFileType) {
  std::unique_ptr<host::SceneExporter> exporter(
      static_cast<host::SceneExporter*>(LibClassDesc(0)->CreateInstance(0)));
  ASSERT_NE(exporter, nullptr);
  EXPECT_EQ(exporter->GetExtensionCount(), 1);
  EXPECT_STREQ(exporter->GetExtension(0), "MDL");
  ASSERT_NE(exporter->GetExtension(1), nullptr);
  EXPECT_STREQ(exporter->GetExtension(1), "");
  EXPECT_STREQ(exporter->GetExtension(-3), "");
  EXPECT_STREQ(exporter->GetLongDescription(), "Quake MDL Model File");
  EXPECT_STREQ(exporter->GetShortDescription(), "Quake MDL");
  EXPECT_STRNE(exporter->GetAuthor(), "");
  EXPECT_STRNE(exporter->GetCopyright(), "");
  EXPECT_STREQ(exporter->GetOtherMessage1(), "");
  EXPECT_STREQ(exporter->GetOtherMessage2(), "");
  EXPECT_EQ(exporter->GetVersion(), 10u);
  exporter->ShowAboutBox(nullptr);
  EXPECT_TRUE(win32::Messages().empty());
}

TEST_F(PluginShell, NewExporterHoldsAModelWithTheHeaderDefaults) {
  vandrell::MdlExporter exporter;
  const vandrell::MdlModel& model = exporter.Model();
  EXPECT_EQ(model.ident, 0x4F504449u);
  EXPECT_EQ(model.version, 6);
  EXPECT_EQ(model.synctype, 1);
  EXPECT_EQ(model.skin, nullptr);
}

TEST_F(PluginShell, StringsShareOneBufferThatEachCallOverwrites) {
  const char* first = vandrell::LoadResString(40221);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "Quake MDL");
  const char* second = vandrell::LoadResString(40233);
  EXPECT_EQ(second, first);
  EXPECT_STREQ(first, "No data to export");
  EXPECT_EQ(vandrell::LoadResString(40217), nullptr);  // not in the table
}

TEST_F(PluginShell, StringsNeedTheModuleHandle) {
  HINSTANCE saved = vandrell::g_module;
  vandrell::g_module = nullptr;
  EXPECT_EQ(vandrell::LoadResString(40221), nullptr);
  vandrell::g_module = saved;
}

TEST_F(PluginShell, MessageBoxShowsTextAndCaptionFromTheTable) {
  EXPECT_EQ(vandrell::ShowResMessage(40233, 40229, 0), IDOK);
  ASSERT_EQ(win32::Messages().size(), 1u);
  EXPECT_EQ(win32::Messages()[0].text, "No data to export");
  EXPECT_EQ(win32::Messages()[0].caption, "Vandrell Exporter");
  EXPECT_EQ(win32::Messages()[0].type, 0u);
}

TEST_F(PluginShell, MessageWithAMissingTextShowsItEmpty) {
  vandrell::ShowResMessage(40217, 40229, 0);
  ASSERT_EQ(win32::Messages().size(), 1u);
  EXPECT_EQ(win32::Messages()[0].text, "");
  EXPECT_EQ(win32::Messages()[0].caption, "Vandrell Exporter");
}

TEST_F(PluginShell, MessageWithAnArgumentFillsTheFormat) {
  vandrell::ShowResMessageWith(40236, "ogre", 40229, 0);
  ASSERT_EQ(win32::Messages().size(), 1u);
  EXPECT_EQ(win32::Messages()[0].text, "Object ogre is to large to export");
}

TEST_F(PluginShell, DllMainInitialisesControlsOnceAndRefreshesTheHandle) {
  HINSTANCE saved = vandrell::g_module;
  const int inits = host::CustomControlsInitCount();
  static char other_anchor;
  HINSTANCE other = reinterpret_cast<HINSTANCE>(&other_anchor);
  EXPECT_EQ(DllMain(other, DLL_THREAD_ATTACH, nullptr), TRUE);
  EXPECT_EQ(vandrell::g_module, other);
  EXPECT_EQ(DllMain(saved, DLL_PROCESS_DETACH, nullptr), TRUE);
  EXPECT_EQ(vandrell::g_module, saved);
  EXPECT_EQ(host::CustomControlsInitCount(), inits);
}

// The child's part of the start-up test, in a fresh process where nothing has
// called DllMain yet: 0 when everything held, else the number of the first
// check that failed.
struct StartUpObservation {
  int custom_inits_seen = -1;  // InitCustomControls calls when InitCommonControls ran
};

void ObserveCommonControls(void* context) {
  static_cast<StartUpObservation*>(context)->custom_inits_seen = host::CustomControlsInitCount();
}

int FirstDllMainCallInitialisesTheControls() {
  if (host::CustomControlsInitCount() != 0 || win32::InitCommonControlsCalls() != 0) return 10;
  StartUpObservation seen;
  win32::SetInitCommonControlsHook(&ObserveCommonControls, &seen);
  static char anchors[3];
  HINSTANCE first = reinterpret_cast<HINSTANCE>(&anchors[0]);
  if (DllMain(first, DLL_PROCESS_ATTACH, nullptr) != TRUE) return 11;
  if (vandrell::g_module != first) return 12;
  // One call of each, the host's custom controls first.
  if (host::CustomControlsInitCount() != 1) return 13;
  if (win32::InitCommonControlsCalls() != 1) return 14;
  if (seen.custom_inits_seen != 1) return 15;
  // Later calls, whatever their reason, only refresh the handle.
  const DWORD reasons[] = {DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_ATTACH,
                           DLL_PROCESS_DETACH};
  for (DWORD reason : reasons) {
    HINSTANCE other = reinterpret_cast<HINSTANCE>(&anchors[1 + reason % 2]);
    if (DllMain(other, reason, nullptr) != TRUE) return 16;
    if (vandrell::g_module != other) return 17;
  }
  if (host::CustomControlsInitCount() != 1 || win32::InitCommonControlsCalls() != 1) return 18;
  win32::SetInitCommonControlsHook(nullptr, nullptr);
  return 0;
}

// No fixture: the library must not have been attached before the child runs.
TEST(PluginStartUp, FirstDllMainCallInitialisesCustomThenCommonControlsOnce) {
  // A child started afresh, so that its DllMain call is the process's first.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(FirstDllMainCallInitialisesTheControls()), ::testing::ExitedWithCode(0),
              "");
}

}  // namespace
