#pragma once
// The counts a model file's header states (skins, vertices, frames, ...),
// which no reader may take when negative: each reader lists its format's
// counts under the names its messages give them and asks which are negative.

#include <cstdint>
#include <vector>

#include "mdlformat/MdlReader.h"

namespace vandrell {

struct HeaderCount {
  const char* name;
  int32_t value;
};

// The counts of an MDL header, by the names of its fields.
std::vector<HeaderCount> MdlHeaderCounts(const MdlFileHeader& header);

// The counts below zero, in the order given.
std::vector<HeaderCount> NegativeCounts(const std::vector<HeaderCount>& counts);

}  // namespace vandrell
