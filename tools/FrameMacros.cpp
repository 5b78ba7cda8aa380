#include "tools/FrameMacros.h"

#include <cstdint>
#include <map>

namespace hostapp {

namespace {

std::string Identifier(const std::string& name) {
  std::string out;
  for (char c : name) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    out += word ? c : '_';
  }
  if (out.empty() || (out[0] >= '0' && out[0] <= '9')) out = "_" + out;
  if (out.back() >= '0' && out.back() <= '9') out += '_';
  return out;
}

}  // namespace

std::string FrameMacroLines(const std::vector<ClipInfo>& timeline, HostTime range_start,
                            int ticks_per_frame, int frames, const std::string& base_name) {
  std::map<std::string, int> counted;
  std::string text;
  int line_clip = -2;  // the clip of the line being written; -1 for none
  for (int i = 0; i < frames; ++i) {
    const int64_t t = static_cast<int64_t>(range_start) + static_cast<int64_t>(i) * ticks_per_frame;
    int clip = timeline.empty() ? -1 : 0;
    for (size_t c = 0; c < timeline.size(); ++c)
      if (timeline[c].start <= t) clip = static_cast<int>(c);
    const std::string name =
        Identifier(clip < 0 ? base_name : timeline[static_cast<size_t>(clip)].name);
    if (clip != line_clip) {
      text += (text.empty() ? "$frame" : "\n$frame");
      line_clip = clip;
    }
    text += " " + name + std::to_string(++counted[name]);
  }
  return text.empty() ? text : text + "\n";
}

}  // namespace hostapp
