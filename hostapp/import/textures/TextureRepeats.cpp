#include "hostapp/import/textures/TextureRepeats.h"

#include <algorithm>
#include <cmath>

namespace hostapp {

bool MoveIntoFirstRepeat(const TextureRepeat& repeat, host::Point3 corners[3]) {
  bool moved = false;
  for (int axis = 0; axis < 2; ++axis) {
    const TextureWrap wrap = axis == 0 ? repeat.u : repeat.v;
    if (wrap == TextureWrap::kClamp) continue;
    const double low = std::min({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double high = std::max({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double whole = std::floor(low);
    if (!std::isfinite(whole) || whole == 0.0 || high - whole > 1.0) continue;
    const bool mirrored =
        wrap == TextureWrap::kMirroredRepeat && std::fmod(std::fabs(whole), 2.0) == 1.0;
    for (int c = 0; c < 3; ++c)
      corners[c][axis] =
          static_cast<float>(mirrored ? whole + 1.0 - corners[c][axis] : corners[c][axis] - whole);
    moved = true;
  }
  return moved;
}

}  // namespace hostapp
