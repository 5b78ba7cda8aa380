#pragma once
#include <cstdint>
#include <memory>

#include "model/MdlModel.h"

namespace vandrell {

// The Gouraud pass without scratch memory: for every frame and every vertex a
// in ascending order, the vertices from a on at a's packed position get the
// table entry nearest to the mean of their current normals. Quadratic in
// numverts. MdlModel::SmoothNormals gives the same result faster and falls
// back to this when it cannot have its scratch memory. Does nothing when
// gouraud_shading is 0.
void SmoothNormalsInPlace(MdlModel& model);

class PositionGroups;
class NearestNormalCache;

// The Gouraud pass on one frame at a time, with scratch memory kept from
// frame to frame: MdlModel::SmoothNormals is Smooth on every stored frame.
class FrameSmoother {
 public:
  FrameSmoother();
  ~FrameSmoother();
  // Room for frames of up to vertex_count vertices; false when memory runs out.
  bool Allocate(int32_t vertex_count);
  // Gives each of vertices 0 .. vertices - 1 of frame the table entry nearest
  // to the mean normal of the vertices at its packed position.
  void Smooth(FrameVertex* frame, int32_t vertices);

 private:
  std::unique_ptr<PositionGroups> groups_;
  std::unique_ptr<int32_t[]> group_of_;
  std::unique_ptr<double[]> sums_;
  std::unique_ptr<int32_t[]> counts_;
  std::unique_ptr<uint8_t[]> indices_;
  std::unique_ptr<NearestNormalCache> nearest_;
  // Each vertex's lowest vertex at its position in the frame smoothed last,
  // for frames of leaders_for_ vertices (-1: none yet).
  std::unique_ptr<int32_t[]> leader_;
  int32_t leaders_for_ = -1;
};

}  // namespace vandrell
