#pragma once
#include <cmath>
#include <cstdint>

namespace vandrell {

// value truncated toward zero into result, for any double: returns false and
// leaves result alone when value is NaN, infinite or outside the signed 32-bit
// range, where a plain cast would be undefined behaviour.
inline bool TruncateToInt32(double value, int32_t& result) {
  // Both bounds are exact in double; the comparisons are false for NaN.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
  result = static_cast<int32_t>(value);
  return true;
}

}  // namespace vandrell
