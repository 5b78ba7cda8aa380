#include "mdlformat/FrameNameClips.h"

namespace vandrell {

namespace {

std::string ClipName(const std::string& frame_name) {
  size_t end = frame_name.size();
  while (end > 0 && frame_name[end - 1] >= '0' && frame_name[end - 1] <= '9') --end;
  while (end > 0 && frame_name[end - 1] == ' ') --end;
  return end == 0 ? "frame" : frame_name.substr(0, end);
}

}  // namespace

std::vector<FrameRun> ClipsFromFrameNames(const std::vector<std::string>& names) {
  std::vector<FrameRun> runs;
  for (size_t f = 0; f < names.size(); ++f) {
    const std::string name = ClipName(names[f]);
    if (runs.empty() || runs.back().name != name) runs.push_back({name, f, 0});
    ++runs.back().count;
  }
  return runs;
}

}  // namespace vandrell
