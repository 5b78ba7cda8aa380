#include "hostapp/import/quake/QuakeClips.h"

#include <algorithm>

#include "hostapp/import/FilePaths.h"
#include "hostapp/import/quake/PlayerConfig.h"
#include "mdlformat/FileBytes.h"
#include "mdlformat/FrameNameClips.h"

namespace hostapp {

namespace {

// The chosen clips: every clip for an empty choice or "all", else the first
// clip of that name (in any case when no name matches exactly) or index.
bool ChooseClips(const std::vector<QuakeClip>& clips, const std::string& wanted,
                 const std::string& path, std::vector<size_t>* chosen, std::string* error) {
  chosen->clear();
  if (wanted.empty() || wanted == "all") {
    for (size_t c = 0; c < clips.size(); ++c) chosen->push_back(c);
    return true;
  }
  for (bool any_case : {false, true}) {
    for (size_t c = 0; c < clips.size() && chosen->empty(); ++c) {
      if (clips[c].name == wanted || (any_case && Lower(clips[c].name) == Lower(wanted)))
        chosen->push_back(c);
    }
  }
  if (chosen->empty() && !wanted.empty() &&
      std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      wanted.size() < 10 && std::stoul(wanted) < clips.size())
    chosen->push_back(std::stoul(wanted));
  if (!chosen->empty()) return true;
  std::string names;
  for (size_t c = 0; c < clips.size() && c < 12; ++c) names += (c ? ", " : "") + clips[c].name;
  if (clips.size() > 12) names += ", ...";
  *error = "no animation named " + wanted + " in " + path + " (its clips: " + names + ")";
  return false;
}

ClipInfo ClipAt(const std::string& name, size_t first_pose, size_t poses, int ticks_per_frame) {
  ClipInfo info;
  info.name = name;
  info.start = static_cast<HostTime>(first_pose * kQuakePoseTicks);
  info.end = static_cast<HostTime>((first_pose + poses - 1) * kQuakePoseTicks);
  info.frames = static_cast<int>((info.end - info.start) / ticks_per_frame) + 1;
  return info;
}

}  // namespace

// A model's clips: those its file names, or else its runs of frame names.
std::vector<QuakeClip> ModelClips(const QuakeModel& model) {
  std::vector<QuakeClip> clips;
  for (const QuakeModelClip& named : model.clips) {
    QuakeClip clip;
    clip.name = named.name;
    for (size_t f = named.first; f < named.first + named.count; ++f) clip.poses.push_back({f});
    clips.push_back(std::move(clip));
  }
  if (!clips.empty()) return clips;
  for (const vandrell::FrameRun& run : vandrell::ClipsFromFrameNames(model.frame_names)) {
    QuakeClip clip;
    clip.name = run.name;
    for (size_t f = run.first; f < run.first + run.count; ++f) clip.poses.push_back({f});
    clips.push_back(std::move(clip));
  }
  return clips;
}

// A player's clips from its animation.cfg, or its frames side by side when it
// has none.
std::vector<QuakeClip> PlayerClips(const std::vector<QuakeFigure::Part>& parts,
                                   const std::string& config_path,
                                   std::vector<std::string>* warnings) {
  const size_t legs_frames = parts[kLegs].model.frame_count;
  const size_t torso_frames = parts[kTorso].model.frame_count;
  // Without animations, legs and torso play their frames side by side.
  auto side_by_side = [&](const std::string& why) {
    warnings->push_back(why + ": legs and torso play their frames side by side as one clip");
    QuakeClip clip;
    clip.name = "frames";
    for (size_t f = 0; f < std::max(legs_frames, torso_frames); ++f)
      clip.poses.push_back({std::min(f, legs_frames - 1), std::min(f, torso_frames - 1), 0});
    return std::vector<QuakeClip>{clip};
  };
  std::string text;
  if (config_path.empty()) return side_by_side("the player has no animation.cfg");
  if (!vandrell::ReadFileText(config_path, &text, nullptr))
    return side_by_side("cannot read " + config_path);
  const PlayerConfig config = ReadPlayerConfig(text);
  for (const std::string& note : config.notes) warnings->push_back(note);
  if (config.animations.empty()) return side_by_side(config_path + " lists no animation");
  std::vector<QuakeClip> clips;
  // No animation plays longer than the longer part has frames: beyond them
  // it would only show the last frame again.
  const size_t most = std::max(legs_frames, torso_frames);
  auto played = [most](const PlayerAnimation& animation) {
    return std::min(static_cast<size_t>(animation.count), most);
  };
  // The frames a part holds still on: the first animation of that name.
  auto frames_of = [&](const std::string& name) {
    std::vector<size_t> frames;
    for (const PlayerAnimation& animation : config.animations) {
      if (animation.name != name) continue;
      for (size_t i = 0; i < played(animation); ++i)
        frames.push_back(static_cast<size_t>(animation.first) + i);
      break;
    }
    if (frames.empty()) frames.push_back(0);
    return frames;
  };
  const std::vector<size_t> standing = frames_of("torso_stand");
  const std::vector<size_t> idle = frames_of("legs_idle");
  for (const PlayerAnimation& animation : config.animations) {
    QuakeClip clip;
    clip.name = animation.name;
    bool beyond = played(animation) < static_cast<size_t>(animation.count);
    for (size_t k = 0; k < played(animation); ++k) {
      const size_t own = static_cast<size_t>(animation.first) + k;
      size_t legs = own, torso = own;
      if (animation.part == PlayerPart::kTorso) legs = idle[k % idle.size()];
      if (animation.part == PlayerPart::kLegs) torso = standing[k % standing.size()];
      // A frame a model does not have shows the model's last.
      beyond = beyond || legs >= legs_frames || torso >= torso_frames;
      clip.poses.push_back({std::min(legs, legs_frames - 1), std::min(torso, torso_frames - 1), 0});
    }
    if (beyond)
      warnings->push_back("animation.cfg: " + animation.name +
                          " runs past the frames of lower.md3 (" + std::to_string(legs_frames) +
                          ") or upper.md3 (" + std::to_string(torso_frames) +
                          "); those show the last frame");
    clips.push_back(std::move(clip));
  }
  return clips;
}

bool LayOutTimeline(const std::vector<QuakeClip>& clips, const std::string& wanted,
                    const std::string& path, int ticks_per_frame, std::vector<QuakePose>* timeline,
                    std::vector<ClipInfo>* listed, std::vector<ClipInfo>* played,
                    std::string* error) {
  size_t poses = 0;
  for (const QuakeClip& clip : clips) poses += clip.poses.size();
  if (poses > static_cast<size_t>(INT32_MAX / kQuakePoseTicks)) {
    *error = path + " has more frames than the host's time holds";
    return false;
  }
  size_t pose = 0;
  for (const QuakeClip& clip : clips) {
    listed->push_back(ClipAt(clip.name, pose, clip.poses.size(), ticks_per_frame));
    pose += clip.poses.size();
  }
  std::vector<size_t> chosen;
  if (!ChooseClips(clips, wanted, path, &chosen, error)) return false;
  for (size_t c : chosen) {
    played->push_back(
        ClipAt(clips[c].name, timeline->size(), clips[c].poses.size(), ticks_per_frame));
    timeline->insert(timeline->end(), clips[c].poses.begin(), clips[c].poses.end());
  }
  return true;
}

}  // namespace hostapp
