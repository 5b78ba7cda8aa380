// COMCTL32: there are no window classes to register here.
#include <commctrl.h>

#include "Win32StandIn.h"

namespace win32 {
namespace {
int g_init_common_controls_calls = 0;
void (*g_hook)(void*) = nullptr;
void* g_hook_context = nullptr;
}  // namespace
int InitCommonControlsCalls() { return g_init_common_controls_calls; }
void SetInitCommonControlsHook(void (*hook)(void* context), void* context) {
  g_hook = hook;
  g_hook_context = context;
}
}  // namespace win32

extern "C" void WINAPI InitCommonControls(void) {
  ++win32::g_init_common_controls_calls;
  if (win32::g_hook) win32::g_hook(win32::g_hook_context);
}
