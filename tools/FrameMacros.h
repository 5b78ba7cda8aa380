#pragma once
// QuakeC frame macros for a model as written: a monster's .qc file names its
// model's frames with "$frame" lines, each name standing for the next frame
// number. One line per clip, in the order the frames were written, each name
// the clip's name and the frame's number within the clip counting from 1
// (stand1 stand2 ...). A clip whose name ends in a digit gets an underscore
// before the number (both_death1_1), so that no two names run together.

#include <string>
#include <vector>

#include "hostapp/import/ImportOptions.h"

namespace hostapp {

// The "$frame" lines for frames frames sampled from range_start on,
// ticks_per_frame apart, over the clips of timeline (as the import laid them
// out; each frame belongs to the last clip that starts at or before it). With
// no clips, one line of base_name's frames. Names are made QuakeC
// identifiers: anything but letters, digits and underscores becomes an
// underscore, and a clip name that repeats goes on counting where it stopped.
std::string FrameMacroLines(const std::vector<ClipInfo>& timeline, HostTime range_start,
                            int ticks_per_frame, int frames, const std::string& base_name);

}  // namespace hostapp
