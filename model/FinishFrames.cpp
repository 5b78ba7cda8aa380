// The passes after frame sampling in one walk over the frame store: the
// store is larger than any cache, and every pass that walks it on its own
// reads it from memory again.
#include "model/FinishFrames.h"

#include <cstdint>

#include "export/ExportSettings.h"
#include "model/FrameWalk.h"
#include "model/MergeVertices.h"
#include "model/SmoothNormals.h"

namespace vandrell {

void FinishFrames(MdlModel& model, const PositionBounds& frame_bounds) {
  const int32_t frames = FramesInUse(model);
  const int32_t vertices = VerticesInUse(model);
  const bool smooth = g_export_settings.gouraud_shading != 0;
  FrameSmoother smoother;
  MergeRefinement merging;
  // Without frames or vertices there is nothing to walk; without scratch
  // memory each pass finds its own way.
  if (frames == 0 || vertices < 2 || !merging.Allocate(vertices) ||
      (smooth && !smoother.Allocate(vertices))) {
    model.Quantize();
    model.SmoothNormals();
    model.MergeVertices();
    return;
  }

  // Smoothing reads only a frame's own packed bytes and normals, and merging
  // compares each frame's final state, so frame by frame is the order of the
  // separate passes for every value they compute.
  Packing packing = StartPacking(model, frame_bounds);
  for (int32_t f = 0; f < frames; ++f) {
    FrameVertex* frame = model.frame_vertices + static_cast<size_t>(f) * model.vertex_capacity;
    PackFrame(frame, vertices, packing);
    if (smooth) smoother.Smooth(frame, vertices);
    merging.TakeFrame(frame);
  }
  model.bounding_radius = packing.radius;
  // As quantising and smoothing leave them, should merging remove nothing.
  model.LoadFrame(frames - 1);
  MergeIntoRepresentatives(model, merging.representatives());
}

}  // namespace vandrell
