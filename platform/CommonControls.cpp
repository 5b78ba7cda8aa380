// COMCTL32: there are no window classes to register here.
#include <commctrl.h>

#include "Win32StandIn.h"

namespace win32 {
namespace {
int g_init_common_controls_calls = 0;
}
int InitCommonControlsCalls() { return g_init_common_controls_calls; }
}  // namespace win32

extern "C" void WINAPI InitCommonControls(void) { ++win32::g_init_common_controls_calls; }
