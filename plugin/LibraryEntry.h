#pragma once
// The library's entry points: DllMain and the four exports through which the
// host finds the plug-in.
#include <windows.h>

#include "host/Plugin.h"

extern "C" {
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
const char* LibDescription();
int LibNumberClasses();
host::ClassDescriptor* LibClassDesc(int i);
unsigned long LibVersion();
}
