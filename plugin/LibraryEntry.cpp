#include "plugin/LibraryEntry.h"

#include <commctrl.h>

#include "plugin/MdlExporterClassDesc.h"
#include "plugin/Resources.h"
#include "resources/resource.h"

namespace {
int g_controls_initialised = 0;
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
  vandrell::g_module = instance;
  if (!g_controls_initialised) {
    g_controls_initialised = 1;
    host::InitCustomControls(instance);
    InitCommonControls();
  }
  return TRUE;
}

const char* LibDescription() { return vandrell::LoadResString(IDS_LIB_DESCRIPTION); }

int LibNumberClasses() { return 1; }

host::ClassDescriptor* LibClassDesc(int i) {
  return i == 0 ? &vandrell::g_class_descriptor : nullptr;
}

unsigned long LibVersion() { return 120; }

}  // extern "C"
