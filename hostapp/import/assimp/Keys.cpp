#include "hostapp/import/assimp/Keys.h"

namespace hostapp {

aiVector3D Interpolate(const aiVectorKey* keys, unsigned count, double time, aiVector3D rest,
                       bool step) {
  if (count == 0) return rest;
  const auto [k, f] = Bracket(keys, count, time);
  if (step || f == 0.0 || k + 1 >= count) return keys[k].mValue;
  const aiVector3D& a = keys[k].mValue;
  const aiVector3D& b = keys[k + 1].mValue;
  return a + (b - a) * static_cast<float>(f);
}

aiQuaternion Interpolate(const aiQuatKey* keys, unsigned count, double time, aiQuaternion rest,
                         bool step) {
  if (count == 0) return rest;
  const auto [k, f] = Bracket(keys, count, time);
  if (step || f == 0.0 || k + 1 >= count) return keys[k].mValue;
  aiQuaternion result;
  aiQuaternion::Interpolate(result, keys[k].mValue, keys[k + 1].mValue, static_cast<float>(f));
  return result.Normalize();
}

}  // namespace hostapp
