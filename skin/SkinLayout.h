#pragma once
#include <cstdint>

namespace vandrell {

class MaterialTable;

// Width and height of a laid-out skin, in pixels (one byte each).
struct SkinSize {
  int32_t width;   // a multiple of 8
  int32_t height;  // the tallest block's height
};

// Lays the table's slots out in one row of blocks from column 0, row 0, in
// slot order, shrinking every bitmap block by one common scale until the
// skin fits byte_budget bytes. A bitmap block is its bitmap's size times the
// scale, truncated, at least 2 x 2; a slot without a bitmap gets 2 x 2. On
// success sets every slot's rectangle, writes the size and returns 1; returns
// 0 when even the smallest layout (every block 2 x 2) exceeds the budget,
// leaving rectangles and size untouched.
int LayOutSkin(MaterialTable& table, int32_t byte_budget, SkinSize& size);

}  // namespace vandrell
