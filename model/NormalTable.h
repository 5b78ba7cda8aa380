#pragma once
#include <cstdint>

namespace vandrell {

// The Quake MDL format's 162 unit normals, in the format's standard order.
constexpr int kNormalCount = 162;
extern const float NormalTable[kNormalCount][3];

// Index of the table entry with the largest dot product with (x, y, z):
// scores in double precision, the best kept in single precision, a later
// entry winning only when it scores strictly more. The zero vector and any
// NaN give 0.
int32_t NearestNormalIndexByFullScan(float x, float y, float z);

// The same index as NearestNormalIndexByFullScan for every input, found by
// scoring only the few entries that can win for the input's direction.
int32_t NearestNormalIndex(float x, float y, float z);

}  // namespace vandrell
