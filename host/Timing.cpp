#include "host/ClassId.h"
#include "host/Timing.h"

namespace host {

const Class_ID triObjectClassID(0x0009, 0);

namespace {
// 30 frames a second, the host's default setting.
int g_ticks_per_frame = kTicksPerSecond / 30;
int g_custom_controls_inits = 0;
}  // namespace

int GetTicksPerFrame() { return g_ticks_per_frame; }
void SetTicksPerFrame(int ticks) { g_ticks_per_frame = ticks; }

void InitCustomControls(void*) { ++g_custom_controls_inits; }
int CustomControlsInitCount() { return g_custom_controls_inits; }

}  // namespace host
