#include "hostapp/import/textures/TextureRepeats.h"

#include <algorithm>
#include <cmath>

namespace hostapp {

bool MoveIntoFirstRepeat(const TextureRepeat& repeat, host::Point3 corners[3]) {
  bool moved = false;
  for (int axis = 0; axis < 2; ++axis) {
    if (!(axis == 0 ? repeat.u : repeat.v)) continue;
    const double low = std::min({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double high = std::max({corners[0][axis], corners[1][axis], corners[2][axis]});
    const double whole = std::floor(low);
    if (!std::isfinite(whole) || whole == 0.0 || high - whole > 1.0) continue;
    for (int c = 0; c < 3; ++c) corners[c][axis] = static_cast<float>(corners[c][axis] - whole);
    moved = true;
  }
  return moved;
}

}  // namespace hostapp
