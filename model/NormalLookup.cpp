// Nearest table normal without scoring all 162 entries.
//
// Why a short list gives the full scan's answer. Let S be the largest score
// for v and m the first entry reaching it. The kept best only grows, and it
// is always the single-precision rounding of a score already seen. So once
// m has been scanned the kept best is at least S less half a step of single
// precision, and no later entry scoring below that can win; before m, only
// entries whose rounded score reaches S can keep m from winning. Let C be
// any set of entries holding every entry that scores at least S - kMargin·|v|
// (kMargin is thousands of single-precision steps). A scan of C in ascending
// order then passes through the same winners as the full scan from the first
// entry whose rounded score reaches S (or from m, which wins in both when
// there is none) to the end: entries outside C never win there. Hence the
// same index, whatever C holds besides.
//
// The lists come from a cube map: each face of the cube around the origin is
// cut into kGrid x kGrid cells, and a direction belongs to the cell its
// central projection onto the cube hits. On one face the score difference of
// two entries is |v_axis| times a linear function of the projected point, so
// over a cell it is least at one of the cell's corners. An entry is left out
// of a cell's list only when some other entry beats it at every corner by
// more than sqrt(3)·kMargin, which, as |v_axis| >= |v| / sqrt(3), means by
// more than kMargin·|v| everywhere in the cell.
#include <cmath>
#include <cstdint>
#include <vector>

#include "model/NearestNormal.h"

namespace vandrell {

namespace {

using mdl_format::kNormalCount;

constexpr int kGrid = 32;
// The grid whose lists, made from the whole table, are the pools of the
// fine cells within them.
constexpr int kCoarseGrid = 4;
constexpr int kCells = 6 * kGrid * kGrid;
constexpr double kMargin = 1.0 / 4096;
// sqrt(3)·kMargin rounded up, with room for the rounding of the corner sums.
constexpr double kCornerMargin = 1.7321 * kMargin;
// Cells are widened by this much so that a direction whose projection
// rounds across a cell border is still covered by the cell it lands in. The
// projection is formed in single precision, a reciprocal and a product, so
// it is off by less than 2^-22 (a coordinate is at most 1).
constexpr double kCellSlack = 1e-6;
// Inputs whose largest component lies outside this range go to the full
// scan: there the rounding of the kept score is no longer small against
// kMargin (subnormal scores), or a score may round to infinity.
constexpr float kSmallestLookedUp = 0x1p-100f;
constexpr float kLargestLookedUp = 0x1p100f;

// Face 2·axis + (1 when that component is negative); the point on the face
// has the sign on axis and u, w on the axes after it, in cyclic order.
struct CandidateLists {
  std::vector<uint16_t> first;   // cell c lists entries[first[c]] .. entries[first[c + 1] - 1]
  std::vector<uint8_t> entries;  // ascending within each cell
};

double TableDot(int i, const double p[3]) {
  return (NormalTable[i][0] * p[0] + NormalTable[i][1] * p[1]) + NormalTable[i][2] * p[2];
}

// Appends to out the entries of pool (ascending) that may be nearest for a
// direction in cell (cell_u, cell_w) of face, the face cut into grid x grid
// cells. An entry is left out only when another entry of the pool beats it
// at every corner by the margin; an entry outside the pool must be beaten so
// everywhere in the cell already.
void ListCell(int face, int cell_u, int cell_w, int grid, const uint8_t* pool, int pool_count,
              std::vector<uint8_t>& out) {
  const int axis = face / 2;
  const double sign = face % 2 == 0 ? 1.0 : -1.0;
  const double step = 2.0 / grid;
  const double u[2] = {-1.0 + step * cell_u - kCellSlack, -1.0 + step * (cell_u + 1) + kCellSlack};
  const double w[2] = {-1.0 + step * cell_w - kCellSlack, -1.0 + step * (cell_w + 1) + kCellSlack};
  double corner[4][3];
  for (int k = 0; k < 4; ++k) {
    corner[k][axis] = sign;
    corner[k][(axis + 1) % 3] = u[k % 2];
    corner[k][(axis + 2) % 3] = w[k / 2];
  }

  double score[kNormalCount][4];
  for (int n = 0; n < pool_count; ++n) {
    for (int k = 0; k < 4; ++k) score[n][k] = TableDot(pool[n], corner[k]);
  }

  // A coarse cut first: an entry whose best corner score stays below the
  // best worst-corner score of another entry by the margin is beaten by that
  // entry at every corner.
  double lowest[kNormalCount];
  double highest[kNormalCount];
  double best_lowest = -2.0;
  for (int n = 0; n < pool_count; ++n) {
    lowest[n] = highest[n] = score[n][0];
    for (int k = 1; k < 4; ++k) {
      if (score[n][k] < lowest[n]) lowest[n] = score[n][k];
      if (score[n][k] > highest[n]) highest[n] = score[n][k];
    }
    if (lowest[n] > best_lowest) best_lowest = lowest[n];
  }
  int near[kNormalCount];
  int near_count = 0;
  for (int n = 0; n < pool_count; ++n) {
    if (highest[n] >= best_lowest - kCornerMargin) near[near_count++] = n;
  }

  // Then pair by pair among the rest.
  for (int a = 0; a < near_count; ++a) {
    const int i = near[a];
    bool beaten = false;
    for (int b = 0; b < near_count && !beaten; ++b) {
      const int j = near[b];
      double least = 2.0;
      for (int k = 0; k < 4; ++k) {
        const double difference = score[j][k] - score[i][k];
        if (difference < least) least = difference;
      }
      beaten = least > kCornerMargin;
    }
    if (!beaten) out.push_back(pool[i]);
  }
}

// The lists of a coarse grid from the whole table first; each fine cell lies
// within one coarse cell and needs only that cell's entries as its pool.
// That makes the fine grid cheap to list at the first lookup of a process.
CandidateLists BuildCandidateLists() {
  static_assert(kGrid % kCoarseGrid == 0, "every fine cell lies within one coarse cell");
  uint8_t table[kNormalCount];
  for (int i = 0; i < kNormalCount; ++i) table[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> coarse[6][kCoarseGrid][kCoarseGrid];
  for (int face = 0; face < 6; ++face) {
    for (int cell_w = 0; cell_w < kCoarseGrid; ++cell_w) {
      for (int cell_u = 0; cell_u < kCoarseGrid; ++cell_u) {
        ListCell(face, cell_u, cell_w, kCoarseGrid, table, kNormalCount,
                 coarse[face][cell_w][cell_u]);
      }
    }
  }
  constexpr int kPerCoarse = kGrid / kCoarseGrid;
  CandidateLists lists;
  lists.first.reserve(kCells + 1);
  for (int face = 0; face < 6; ++face) {
    for (int cell_w = 0; cell_w < kGrid; ++cell_w) {
      for (int cell_u = 0; cell_u < kGrid; ++cell_u) {
        lists.first.push_back(static_cast<uint16_t>(lists.entries.size()));
        const std::vector<uint8_t>& pool = coarse[face][cell_w / kPerCoarse][cell_u / kPerCoarse];
        ListCell(face, cell_u, cell_w, kGrid, pool.data(), static_cast<int>(pool.size()),
                 lists.entries);
      }
    }
  }
  lists.first.push_back(static_cast<uint16_t>(lists.entries.size()));
  return lists;
}

// Cell of coordinate q in [-1, 1] on a face (give or take the rounding of
// its projection); q = 1 belongs to the last cell.
int CellOf(float q) {
  const int cell = static_cast<int>((static_cast<double>(q) + 1.0) * (kGrid / 2));
  return cell < kGrid ? cell : kGrid - 1;
}

}  // namespace

int32_t NearestNormalIndex(float x, float y, float z) {
  const float magnitude[3] = {std::fabs(x), std::fabs(y), std::fabs(z)};
  const int axis = magnitude[0] >= magnitude[1] && magnitude[0] >= magnitude[2]
                       ? 0
                       : (magnitude[1] >= magnitude[2] ? 1 : 2);
  // Zero and infinity fail the range test; a NaN may hide from the choice
  // of axis, hence its own test.
  const bool looked_up = magnitude[axis] >= kSmallestLookedUp &&
                         magnitude[axis] <= kLargestLookedUp && !std::isnan(x) && !std::isnan(y) &&
                         !std::isnan(z);
  if (!looked_up) {
    return NearestNormalIndexByFullScan(x, y, z);
  }

  static const CandidateLists lists = BuildCandidateLists();
  const float v[3] = {x, y, z};
  const float inverse_on_axis = 1.0f / magnitude[axis];
  const int face = 2 * axis + (v[axis] < 0.0f ? 1 : 0);
  const int cell_u = CellOf(v[(axis + 1) % 3] * inverse_on_axis);
  const int cell_w = CellOf(v[(axis + 2) % 3] * inverse_on_axis);
  const int cell = (face * kGrid + cell_w) * kGrid + cell_u;

  // A cell listing one entry is that entry's alone: the nearest entry is in
  // every list of its direction, and the scan of a list of one would take it
  // (its score is positive, above the starting best of -1).
  const int listed_first = lists.first[cell];
  if (lists.first[cell + 1] - listed_first == 1) return lists.entries[listed_first];

  // The full scan's loop over the listed entries only.
  int32_t best = 0;
  float best_score = -1.0f;
  for (int n = lists.first[cell]; n < lists.first[cell + 1]; ++n) {
    const int32_t i = lists.entries[n];
    const double score = NormalScore(i, x, y, z);
    if (score > best_score) {
      best_score = static_cast<float>(score);
      best = i;
    }
  }
  return best;
}

}  // namespace vandrell
