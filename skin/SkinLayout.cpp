#include "skin/SkinLayout.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "scene/MaterialTable.h"

namespace vandrell {

namespace {

// The scale starts at 1 and drops by this much per try, both in single
// precision, so the error accumulates: the eleventh try uses 0.49999988.
constexpr float kFirstScale = 1.0f;
constexpr float kScaleStep = 0.05f;
constexpr int64_t kSmallestBlockSide = 2;
constexpr int64_t kSkinWidthMultiple = 8;

// value truncated toward zero; NaN and values beyond +-2^62 (never reached by
// a 32-bit size times a scale of at most 1) give 0.
int64_t TruncateToInt64(double value) {
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (!(value > -kLimit && value < kLimit)) return 0;
  return static_cast<int64_t>(value);
}

// One side of a bitmap block: trunc(side x scale), the product in double
// precision, at least the smallest side.
int64_t ScaledSide(int32_t side, float scale) {
  const int64_t scaled = TruncateToInt64(static_cast<double>(side) * static_cast<double>(scale));
  return std::max(scaled, kSmallestBlockSide);
}

struct Block {
  int64_t width;
  int64_t height;
};

// Block sizes at one scale and the skin they make; sizes kept in 64 bits so
// that no sum or product of them can overflow.
struct Trial {
  std::vector<Block> blocks;
  int64_t width = 0;
  int64_t height = 0;
};

void TryScale(const MaterialTable& table, float scale, Trial& trial) {
  trial.blocks.clear();
  int64_t x = 0;
  int64_t tallest = 0;
  for (int i = 0; i < table.Count(); ++i) {
    const host::Bitmap* bitmap = table.Slot(i).bitmap;
    Block block{kSmallestBlockSide, kSmallestBlockSide};
    if (bitmap) block = {ScaledSide(bitmap->Width(), scale), ScaledSide(bitmap->Height(), scale)};
    trial.blocks.push_back(block);
    x += block.width;
    tallest = std::max(tallest, block.height);
  }
  trial.width = (x + kSkinWidthMultiple - 1) / kSkinWidthMultiple * kSkinWidthMultiple;
  trial.height = tallest;
}

// A skin fits when its byte count is at most the budget. A side beyond 32 bits
// never fits; below that the product cannot overflow 64 bits.
bool Fits(const Trial& trial, int32_t byte_budget) {
  if (trial.width > INT32_MAX || trial.height > INT32_MAX) return false;
  return trial.width * trial.height <= static_cast<int64_t>(byte_budget);
}

}  // namespace

int LayOutSkin(MaterialTable& table, int32_t byte_budget, SkinSize& size) {
  Trial trial;
  float scale = kFirstScale;
  for (;;) {
    TryScale(table, scale, trial);
    if (Fits(trial, byte_budget)) break;
    // From a scale of zero or below every block is already 2 x 2: no later
    // try can be smaller.
    if (!(scale > 0.0f)) return 0;
    scale -= kScaleStep;
  }
  int64_t x = 0;
  for (int i = 0; i < table.Count(); ++i) {
    MaterialSlot& slot = table.Slot(i);
    const Block& block = trial.blocks[static_cast<size_t>(i)];
    // Within 32 bits: the skin these blocks make fits a 32-bit budget.
    slot.x0 = static_cast<int32_t>(x);
    slot.y0 = 0;
    slot.x1 = static_cast<int32_t>(x + block.width - 1);
    slot.y1 = static_cast<int32_t>(block.height - 1);
    x += block.width;
  }
  size.width = static_cast<int32_t>(trial.width);
  size.height = static_cast<int32_t>(trial.height);
  return 1;
}

}  // namespace vandrell
