#pragma once
// Clips from frame names: modellers name a model's frames after their
// animation and a number (stand1 ... stand9, run1 ... run6), and consecutive
// frames whose names share the text before their trailing digits form one
// clip.

#include <cstddef>
#include <string>
#include <vector>

namespace vandrell {

struct FrameRun {
  std::string name;  // the shared text, trailing spaces removed; "frame" when nothing is left
  size_t first = 0;
  size_t count = 0;
};

// The runs of names, in order; together they cover every name once.
std::vector<FrameRun> ClipsFromFrameNames(const std::vector<std::string>& names);

}  // namespace vandrell
