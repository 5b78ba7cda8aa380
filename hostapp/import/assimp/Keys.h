#pragma once
// Animation keys at a time between them.

#include <assimp/anim.h>

#include <utility>

namespace hostapp {

// The factor of time between two key times, 0 when they coincide.
inline double Factor(double from, double to, double time) {
  return to > from ? (time - from) / (to - from) : 0.0;
}

// The pair of keys around time: index of the earlier and the factor toward
// the later. Before the first key and after the last, the end key holds.
template <typename Key>
std::pair<unsigned, double> Bracket(const Key* keys, unsigned count, double time) {
  if (count == 0 || time <= keys[0].mTime) return {0, 0.0};
  for (unsigned k = 0; k + 1 < count; ++k) {
    if (time < keys[k + 1].mTime) return {k, Factor(keys[k].mTime, keys[k + 1].mTime, time)};
  }
  return {count - 1, 0.0};
}

// The value of keys at time, linear (spherical for rotations) between two
// keys; rest when there are none. With step keys a key holds until the next one.
aiVector3D Interpolate(const aiVectorKey* keys, unsigned count, double time, aiVector3D rest,
                       bool step);
aiQuaternion Interpolate(const aiQuatKey* keys, unsigned count, double time, aiQuaternion rest,
                         bool step);

}  // namespace hostapp
