#include "mdlformat/HeaderCounts.h"

namespace vandrell {

std::vector<HeaderCount> MdlHeaderCounts(const MdlFileHeader& header) {
  return {{"numskins", header.numskins},     {"skinwidth", header.skinwidth},
          {"skinheight", header.skinheight}, {"numverts", header.numverts},
          {"numtris", header.numtris},       {"numframes", header.numframes}};
}

std::vector<HeaderCount> NegativeCounts(const std::vector<HeaderCount>& counts) {
  std::vector<HeaderCount> negative;
  for (const HeaderCount& count : counts)
    if (count.value < 0) negative.push_back(count);
  return negative;
}

}  // namespace vandrell
