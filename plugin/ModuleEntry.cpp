// What the operating system does for the module when it loads. On Windows the
// loader calls DllMain itself. Elsewhere the module registers its resource
// script with the Win32 layer and calls DllMain once, with the module's load
// address as its handle.
#include "plugin/LibraryEntry.h"

#ifndef _WIN32
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "Win32StandIn.h"
#include "resources/ResourceScript.h"

namespace {

HINSTANCE ModuleHandle() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ModuleHandle), &info)) return nullptr;
  return static_cast<HINSTANCE>(info.dli_fbase);
}

__attribute__((constructor)) void AttachModule() {
  HINSTANCE module = ModuleHandle();
  std::string error;
  if (!win32::RegisterResourceScript(module, vandrell::kResourceScript, &error))
    std::fprintf(stderr, "Vandrell.dlo: resources unreadable: %s\n", error.c_str());
  DllMain(module, DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void DetachModule() {
  HINSTANCE module = ModuleHandle();
  DllMain(module, DLL_PROCESS_DETACH, nullptr);
  win32::ForgetResources(module);
}

}  // namespace
#endif
