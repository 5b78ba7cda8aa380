#include "model/NearestNormal.h"

#include <cstdint>

namespace vandrell {

int32_t NearestNormalIndexByFullScan(float x, float y, float z) {
  // The score is formed in double precision with the additions in this order,
  // but the best is kept in single precision: a later entry that ties exactly
  // wins whenever rounding lowered the kept score. Outputs depend on it.
  int32_t best = 0;
  float best_score = -1.0f;
  for (int32_t i = 0; i < mdl_format::kNormalCount; ++i) {
    const double score = NormalScore(i, x, y, z);
    if (score > best_score) {
      best_score = static_cast<float>(score);
      best = i;
    }
  }
  return best;
}

}  // namespace vandrell
