#pragma once
// Matching a direction with the format's table of normals.

#include <cstdint>

#include "mdlformat/NormalTable.h"

namespace vandrell {

// How well entry i matches (x, y, z): formed in double precision with the
// additions in this order. Every search scores through this one expression,
// so that all of them agree to the last bit.
inline double NormalScore(int32_t i, float x, float y, float z) {
  return (static_cast<double>(x) * NormalTable[i][0] + static_cast<double>(y) * NormalTable[i][1]) +
         static_cast<double>(z) * NormalTable[i][2];
}

// Index of the table entry with the largest dot product with (x, y, z):
// scores in double precision, the best kept in single precision, a later
// entry winning only when it scores strictly more. The zero vector and any
// NaN give 0.
int32_t NearestNormalIndexByFullScan(float x, float y, float z);

// The same index as NearestNormalIndexByFullScan for every input, found by
// scoring only the few entries that can win for the input's direction.
int32_t NearestNormalIndex(float x, float y, float z);

}  // namespace vandrell
