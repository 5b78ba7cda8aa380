#pragma once
// The file's animation clips: found, listed, chosen by the options and laid
// out on the host's timeline.

#include <string>

#include "hostapp/import/ImportOptions.h"
#include "hostapp/import/assimp/ImportedAnimation.h"

namespace hostapp {

// Lists every clip of animation.scene in summary.clips, puts the clips
// options.animation chooses into animation.clips (and summary.timeline) and
// sets summary's range. An MDC file's keyframes (animation.keyframes) are its
// one clip. False
// with a reason in error when the chosen clip does not exist or the clips do
// not fit the host's 32-bit time.
bool LayOutClips(const std::string& path, const std::string& extension,
                 const ImportOptions& options, int ticks_per_frame, ImportedAnimation& animation,
                 ImportSummary& summary, std::string& error);

}  // namespace hostapp
