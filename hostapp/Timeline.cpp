#include "hostapp/Timeline.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace hostapp {

namespace {

// A selection that is a whole decimal number, as a clip index.
bool ParseIndex(const std::string& text, int* index) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *index = std::atoi(text.c_str());
  return true;
}

std::string ClipNames(const ImportedScene& scene) {
  std::string names;
  for (size_t i = 0; i < scene.clips.size(); ++i) {
    if (!names.empty()) names += ", ";
    names += std::to_string(i) + " \"" + scene.clips[i].name + "\"";
  }
  return names;
}

bool PlaceClip(const Clip& clip, int index, ClipPlacement* placement, std::string* error) {
  host::HostTime start = 0;
  host::HostTime end = 0;
  if (!SecondsToTicks(clip.start, &start) || !SecondsToTicks(clip.end, &end) || end < start) {
    *error = "animation \"" + clip.name + "\" does not fit the host's time range";
    return false;
  }
  *placement = {index, start, end};
  return true;
}

}  // namespace

bool SecondsToTicks(double seconds, host::HostTime* ticks) {
  const double value = std::round(seconds * host::kTicksPerSecond);
  if (!(value >= static_cast<double>(INT32_MIN) && value <= static_cast<double>(INT32_MAX))) {
    return false;
  }
  *ticks = static_cast<host::HostTime>(value);
  return true;
}

bool TicksPerFrameForRate(int frames_per_second, int* ticks_per_frame, std::string* error) {
  if (frames_per_second <= 0 || host::kTicksPerSecond % frames_per_second != 0) {
    *error = "a frame rate of " + std::to_string(frames_per_second) +
             " frames a second does not divide the host's " +
             std::to_string(host::kTicksPerSecond) +
             " ticks a second; choose one that does, such as 10, 15, 20, 24, 25, 30 or 60";
    return false;
  }
  *ticks_per_frame = host::kTicksPerSecond / frames_per_second;
  return true;
}

int ClipFrameCount(const Clip& clip, int ticks_per_frame) {
  host::HostTime start = 0;
  host::HostTime end = 0;
  if (!SecondsToTicks(clip.start, &start) || !SecondsToTicks(clip.end, &end) || end < start) {
    return 1;
  }
  return static_cast<int>((static_cast<int64_t>(end) - start) / ticks_per_frame + 1);
}

bool MakeTimeline(const ImportedScene& scene, const std::string& selection, int frames_per_second,
                  Timeline* timeline, std::string* error) {
  *timeline = Timeline();
  if (!TicksPerFrameForRate(frames_per_second, &timeline->ticks_per_frame, error)) return false;
  const int clip_count = static_cast<int>(scene.clips.size());
  int index = 0;
  if (clip_count == 0) {
    if (selection.empty() || selection == "all" || selection == "0") return true;
    *error = "the scene has no animation, so there is no animation \"" + selection + "\"";
    return false;
  }

  if (selection == "all") {
    // Back to back: each clip starts on the first frame after the previous one
    // ends, so that every sampled frame shows exactly one clip.
    int64_t next_start = 0;
    for (int i = 0; i < clip_count; ++i) {
      ClipPlacement own;
      if (!PlaceClip(scene.clips[static_cast<size_t>(i)], i, &own, error)) return false;
      const int64_t length = static_cast<int64_t>(own.host_end) - own.host_start;
      const int64_t start = i == 0 ? own.host_start : next_start;
      const int64_t end = start + length;
      if (end > INT32_MAX) {
        *error = "the animations together are too long for the host's time range";
        return false;
      }
      timeline->placements.push_back(
          {i, static_cast<host::HostTime>(start), static_cast<host::HostTime>(end)});
      next_start = start + (length / timeline->ticks_per_frame + 1) * timeline->ticks_per_frame;
    }
  } else {
    if (selection.empty()) {
      index = 0;
    } else if (ParseIndex(selection, &index)) {
      if (index >= clip_count) {
        *error = "there is no animation " + selection + "; the scene has " + ClipNames(scene);
        return false;
      }
    } else {
      index = -1;
      for (int i = 0; i < clip_count && index < 0; ++i) {
        if (scene.clips[static_cast<size_t>(i)].name == selection) index = i;
      }
      if (index < 0) {
        *error = "there is no animation \"" + selection + "\"; the scene has " + ClipNames(scene);
        return false;
      }
    }
    ClipPlacement placement;
    if (!PlaceClip(scene.clips[static_cast<size_t>(index)], index, &placement, error)) return false;
    timeline->placements.push_back(placement);
  }
  timeline->start = timeline->placements.front().host_start;
  timeline->end = timeline->placements.back().host_end;
  return true;
}

bool ClipTimeAt(const ImportedScene& scene, const Timeline& timeline, host::HostTime t,
                int* clip, double* seconds) {
  if (timeline.placements.empty()) return false;
  const ClipPlacement* shown = &timeline.placements.front();
  for (const ClipPlacement& placement : timeline.placements) {
    if (placement.host_start <= t) shown = &placement;
  }
  const Clip& c = scene.clips[static_cast<size_t>(shown->clip)];
  const double offset = static_cast<double>(static_cast<int64_t>(t) - shown->host_start) /
                        host::kTicksPerSecond;
  double time = c.start + offset;
  if (time < c.start) time = c.start;
  if (time > c.end) time = c.end;
  *clip = shown->clip;
  *seconds = time;
  return true;
}

}  // namespace hostapp
