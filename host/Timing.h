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

// Frames of ticks_per_frame ticks in the range start .. end, both ends
// counted: (end - start) / ticks_per_frame + 1, truncated, at most INT32_MAX.
// A range that ends before it starts, or fewer than 1 tick a frame (a faulty
// host), holds the start time alone: 1. Inline, so that the plug-in and the
// host application count alike without a library function of their own.
inline int32_t FramesInRange(HostTime start, HostTime end, int ticks_per_frame) {
  const int64_t span = static_cast<int64_t>(end) - start;
  if (span < 0 || ticks_per_frame < 1) return 1;
  const int64_t frames = span / ticks_per_frame + 1;
  return frames > INT32_MAX ? INT32_MAX : static_cast<int32_t>(frames);
}

// Called once by a plug-in when it is loaded, with its module handle.
void InitCustomControls(void* module);
// How often InitCustomControls has been called in this process (for tests).
int CustomControlsInitCount();

}  // namespace host
