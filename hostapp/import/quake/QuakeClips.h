#pragma once
// A Quake figure's clips: a model's from its runs of frame names (see
// mdlformat/FrameNameClips.h), a player's from its animation.cfg (see PlayerConfig.h):
// a both_* animation plays on legs and torso together, a legs_* animation
// with the torso standing (TORSO_STAND), a torso_* animation with the legs
// idle (LEGS_IDLE), and the head keeps its first frame. The chosen clips are
// laid out on the host's timeline; with no clip named, every clip plays, in
// the file's order.

#include <string>
#include <vector>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/import/quake/QuakeFigure.h"

namespace hostapp {

// A player's parts, in the order the import reads them.
enum PlayerPartIndex { kLegs = 0, kTorso = 1, kHead = 2 };

// A model's clips: its runs of frame names.
std::vector<QuakeClip> ModelClips(const QuakeModel& model);

// A player's clips from its animation.cfg at config_path (empty when it has
// none), or its frames side by side when it has none or it cannot be read;
// what was odd in it goes into *warnings.
std::vector<QuakeClip> PlayerClips(const std::vector<QuakeFigure::Part>& parts,
                                   const std::string& config_path,
                                   std::vector<std::string>* warnings);

// Lists every clip in *listed, each where it would play with every clip,
// and lays the clips wanted names on *timeline, listed in *played: every clip
// for an empty choice or "all", else the first clip of that name (in any case
// when no name matches exactly) or index. False with the reason in *error
// when the clips do not fit the host's time or none is named wanted.
bool LayOutTimeline(const std::vector<QuakeClip>& clips, const std::string& wanted,
                    const std::string& path, int ticks_per_frame, std::vector<QuakePose>* timeline,
                    std::vector<ClipInfo>* listed, std::vector<ClipInfo>* played,
                    std::string* error);

}  // namespace hostapp
