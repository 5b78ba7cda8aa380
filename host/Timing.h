#pragma once
#include <cstdint>

namespace host {

// Host time in ticks, signed 32-bit.
using HostTime = int32_t;

// The most negative host time; an interval of [kNeverTime, kNeverTime] is empty.
constexpr HostTime kNeverTime = INT32_MIN;

// A span of host time, both ends inclusive.
struct ValidityInterval {
  HostTime start = 0;
  HostTime end = 0;
};

// Ticks per animation frame, positive for a sound host.
int GetTicksPerFrame();
// The host application's frame rate setting; the exporter never calls it.
void SetTicksPerFrame(int ticks);

// Ticks in one second of host time.
constexpr int kTicksPerSecond = 4800;

// Called once by a plug-in when it is loaded, with its module handle.
void InitCustomControls(void* module);
// How often InitCustomControls has been called in this process (for tests).
int CustomControlsInitCount();

}  // namespace host
