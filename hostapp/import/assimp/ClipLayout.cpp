#include "hostapp/import/assimp/ClipLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "hostapp/import/assimp/FileAxes.h"
#include "hostapp/import/assimp/GltfStepKeys.h"

namespace hostapp {

namespace {

// Seconds to host ticks, rounded to the nearest tick. False for a time that
// is not a number or lies outside the host's signed 32-bit time, where a
// plain conversion would be undefined.
bool SecondsToTicks(double seconds, HostTime* ticks) {
  const double value = std::round(seconds * host::kTicksPerSecond);
  if (!(value >= -2147483648.0 && value <= 2147483647.0)) return false;
  *ticks = static_cast<HostTime>(value);
  return true;
}

}  // namespace

bool LayOutClips(const std::string& path, const std::string& extension,
                 const ImportOptions& options, int ticks_per_frame, ImportedAnimation& animation,
                 ImportSummary& summary, std::string& error) {
  const aiScene* source = animation.scene;
  const bool quake = HasAssimpKeyframes(extension);
  const std::vector<std::map<std::string, int>> step_keys =
      extension == "gltf" || extension == "glb" ? ReadGltfStepKeys(path)
                                                : std::vector<std::map<std::string, int>>();
  std::vector<ImportedAnimation::Clip> all_clips;
  for (unsigned a = 0; a < source->mNumAnimations; ++a) {
    const aiAnimation* anim = source->mAnimations[a];
    ImportedAnimation::Clip clip;
    clip.animation = anim;
    if (a < step_keys.size()) clip.step_keys = step_keys[a];
    clip.ticks_per_second =
        anim->mTicksPerSecond > 0.0 ? anim->mTicksPerSecond : kDefaultTicksPerSecond;
    double first = INFINITY, last = -INFINITY;
    auto extend = [&](double time) {
      first = std::min(first, time);
      last = std::max(last, time);
    };
    for (unsigned c = 0; c < anim->mNumChannels; ++c) {
      const aiNodeAnim* channel = anim->mChannels[c];
      clip.channels[channel->mNodeName.C_Str()] = channel;
      for (unsigned k = 0; k < channel->mNumPositionKeys; ++k)
        extend(channel->mPositionKeys[k].mTime);
      for (unsigned k = 0; k < channel->mNumRotationKeys; ++k)
        extend(channel->mRotationKeys[k].mTime);
      for (unsigned k = 0; k < channel->mNumScalingKeys; ++k)
        extend(channel->mScalingKeys[k].mTime);
    }
    for (unsigned c = 0; c < anim->mNumMorphMeshChannels; ++c) {
      const aiMeshMorphAnim* channel = anim->mMorphMeshChannels[c];
      clip.morphs[channel->mName.C_Str()] = channel;
      for (unsigned k = 0; k < channel->mNumKeys; ++k) extend(channel->mKeys[k].mTime);
    }
    if (!(first <= last)) first = last = 0.0;
    clip.first_key = first;
    const double seconds = (last - first) / clip.ticks_per_second;
    HostTime length = 0;
    if (!SecondsToTicks(first / clip.ticks_per_second, &clip.start) ||
        !SecondsToTicks(seconds, &length) ||
        static_cast<int64_t>(clip.start) + length > INT32_MAX) {
      error = "animation " + std::to_string(a) + " of " + path +
              " does not fit the host's time (its keys run from " + std::to_string(first) + " to " +
              std::to_string(last) + " ticks of " + std::to_string(clip.ticks_per_second) +
              " a second)";
      return false;
    }
    clip.end = clip.start + length;
    all_clips.push_back(std::move(clip));
  }
  for (size_t a = 0; a < all_clips.size(); ++a) {
    const aiAnimation* anim = all_clips[a].animation;
    ClipInfo info;
    info.name = anim->mName.length ? anim->mName.C_Str() : "clip " + std::to_string(a);
    info.start = all_clips[a].start;
    info.end = all_clips[a].end;
    info.frames = host::FramesInRange(info.start, info.end, ticks_per_frame);
    summary.clips.push_back(info);
  }
  if (quake) {
    // The keyframes are the file's one clip: by its name, its index or "all".
    const std::string& wanted = options.animation;
    if (!wanted.empty() && wanted != "all" && wanted != "0" && wanted != "keyframes") {
      error = "no animation named " + wanted + " in " + path + " (its one clip is \"keyframes\")";
      return false;
    }
    ClipInfo info;
    info.name = "keyframes";
    info.end = static_cast<HostTime>(
        std::lround((animation.keyframes.size() - 1) * kKeyframeSeconds * host::kTicksPerSecond));
    info.frames = host::FramesInRange(info.start, info.end, ticks_per_frame);
    summary.clips.push_back(info);
    summary.timeline.push_back(info);
    summary.range_end = info.end;
  } else if (!all_clips.empty()) {
    std::vector<size_t> chosen;
    const std::string& wanted = options.animation;
    if (wanted.empty()) {
      chosen.push_back(0);
    } else if (wanted == "all") {
      for (size_t a = 0; a < all_clips.size(); ++a) chosen.push_back(a);
    } else {
      for (size_t a = 0; a < summary.clips.size(); ++a)
        if (summary.clips[a].name == wanted) chosen.push_back(a);
      char* end = nullptr;
      const long index = std::strtol(wanted.c_str(), &end, 10);
      if (chosen.empty() && end && *end == '\0' && index >= 0 &&
          static_cast<size_t>(index) < all_clips.size())
        chosen.push_back(static_cast<size_t>(index));
      if (chosen.empty()) {
        error = "no animation named " + wanted + " in " + path;
        return false;
      }
      chosen.erase(chosen.begin() + 1, chosen.end());
    }
    // "all" lays the clips one after another from the first clip's start.
    int64_t next_start = all_clips[chosen.front()].start;
    for (size_t a : chosen) {
      ImportedAnimation::Clip clip = all_clips[a];
      const int64_t length = static_cast<int64_t>(clip.end) - clip.start;
      if (next_start + length > INT32_MAX) {
        error = "the animations of " + path + " together do not fit the host's time";
        return false;
      }
      clip.start = static_cast<HostTime>(next_start);
      clip.end = static_cast<HostTime>(next_start + length);
      // The next clip starts on the first frame after this one ends, so that
      // its first key is a frame of the model too.
      next_start += (length / ticks_per_frame + 1) * ticks_per_frame;
      animation.clips.push_back(clip);
      ClipInfo info = summary.clips[a];
      info.start = clip.start;
      info.end = clip.end;
      summary.timeline.push_back(info);
    }
    summary.range_start = animation.clips.front().start;
    summary.range_end = animation.clips.back().end;
  } else if (!options.animation.empty() && options.animation != "all" && options.animation != "0") {
    error = "the scene has no animation " + options.animation;
    return false;
  }
  return true;
}

}  // namespace hostapp
