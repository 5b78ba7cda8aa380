#pragma once
// Where the clips of an imported scene lie on the host's timeline, and the
// host's animation range and frame rate that follow from them.

#include <string>
#include <vector>

#include "host/Timing.h"
#include "hostapp/ImportedScene.h"

namespace hostapp {

// One clip on the timeline: its first key falls on host_start, its last on
// host_end (host ticks).
struct ClipPlacement {
  int clip = 0;
  host::HostTime host_start = 0;
  host::HostTime host_end = 0;
};

struct Timeline {
  // Empty for a scene shown without animation: its first pose throughout.
  std::vector<ClipPlacement> placements;
  // The host's animation range, both ends inclusive.
  host::HostTime start = 0;
  host::HostTime end = 0;
  int ticks_per_frame = host::kTicksPerSecond / 10;

  // Frames the range holds: its start and every full frame after it.
  int FrameCount() const { return (end - start) / ticks_per_frame + 1; }
};

// Seconds to host ticks, rounded to the nearest tick; false for a value that
// is not a number or does not fit the host's 32-bit time.
bool SecondsToTicks(double seconds, host::HostTime* ticks);

// Ticks per frame for a frame rate; false (with a reason) when the rate is
// not positive or does not divide the host's ticks per second.
bool TicksPerFrameForRate(int frames_per_second, int* ticks_per_frame, std::string* error);

// Frames a clip spans at the rate: its first key and every full frame after it.
int ClipFrameCount(const Clip& clip, int ticks_per_frame);

// Lays the chosen clips out. selection: empty for the first clip, "all" for
// every clip back to back (each starts on the first frame after the previous
// one ends), a clip's name, or its index. A scene without clips gives the
// range 0 to 0 for an empty selection, "all" and "0". False, with a reason,
// for a selection naming no clip, a bad rate or a clip too long for host time.
bool MakeTimeline(const ImportedScene& scene, const std::string& selection, int frames_per_second,
                  Timeline* timeline, std::string* error);

// The clip and its time (seconds) shown at host time t: the last placement
// starting at or before t (the first one before the range), held at its
// ends. False when the timeline has no clip.
bool ClipTimeAt(const ImportedScene& scene, const Timeline& timeline, host::HostTime t,
                int* clip, double* seconds);

}  // namespace hostapp
