// The skin: Quake palette and colour matching, the layout under the byte
// budget, painting, and the stand-in host's bitmaps that painting relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "export/ExportSettings.h"
#include "host/Bitmap.h"
#include "hostapp/StandInScene.h"
#include "scene/MaterialTable.h"
#include "skin/QuakePalette.h"

namespace {

using vandrell::MaterialTable;
using vandrell::NearestPaletteIndex;
using vandrell::QuakePalette;

// ---------------------------------------------------------------------------
// Palette

TEST(QuakePalette, EntriesAreEightBitLevelsTimes257) {
  auto expect_entry = [](int k, uint16_t r, uint16_t g, uint16_t b) {
    EXPECT_EQ(QuakePalette[k].r, r) << "entry " << k;
    EXPECT_EQ(QuakePalette[k].g, g) << "entry " << k;
    EXPECT_EQ(QuakePalette[k].b, b) << "entry " << k;
  };
  expect_entry(0, 0, 0, 0);
  expect_entry(1, 3855, 3855, 3855);       // 0F0F0F
  expect_entry(16, 3855, 2827, 1799);      // 0F0B07
  expect_entry(111, 65535, 62451, 6939);   // FFF31B
  expect_entry(208, 0, 0, 65535);          // 0000FF
  expect_entry(223, 2827, 2827, 3855);     // 0B0B0F
  expect_entry(224, 11051, 0, 0);          // 2B0000, first fullbright colour
  expect_entry(244, 32639, 49087, 65535);  // 7FBFFF
  expect_entry(254, 65535, 65535, 65535);
  expect_entry(255, 0, 65535, 0);
}

TEST(NearestPaletteIndex, PicksTheClosestOfTheFirst255EntriesWithTiesToTheLower) {
  EXPECT_EQ(NearestPaletteIndex(0.0f, 0.0f, 0.0f), 0);  // entry 48 is black too
  EXPECT_EQ(NearestPaletteIndex(1.0f, 1.0f, 1.0f), 254);
  EXPECT_EQ(NearestPaletteIndex(0.0f, 1.0f, 0.0f), 63);  // entry 255 is never considered
  EXPECT_EQ(NearestPaletteIndex(1.0f, 0.0f, 0.0f), 251);
  EXPECT_EQ(NearestPaletteIndex(0.0f, 0.0f, 1.0f), 208);
  EXPECT_EQ(NearestPaletteIndex(0.5f, 0.5f, 0.5f), 8);
  // Every distance is beyond the starting 100: the first entry stays.
  EXPECT_EQ(NearestPaletteIndex(20.0f, 0.0f, 0.0f), 0);
}

}  // namespace
