// Any bytes handed to our own image reader (PCX): it accepts or refuses them,
// never reads outside them, and what it accepts is as large as it says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/PcxDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int width = -1;
  int height = -1;
  std::vector<uint8_t> rgba;
  std::string reason;
  if (!host::DecodePcx(data, size, &width, &height, &rgba, &reason)) {
    // A refusal always says why.
    if (reason.empty()) std::abort();
    return 0;
  }
  if (!host::LooksLikePcx(data, size)) std::abort();
  if (width <= 0 || height <= 0) std::abort();
  if (rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) std::abort();
  return 0;
}
