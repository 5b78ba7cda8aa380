// Any bytes handed to the Quake-family readers (MDL, MD2, MD3, IQM, chosen by the
// first bytes) and, as text, to the animation.cfg reader: each accepts or
// refuses them and never reads outside them; what a reader accepts is a
// model whose parts agree with one another, and which the import evaluates
// at its first, a middle and its last frame without going outside its
// arrays.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hostapp/import/quake/PlayerConfig.h"
#include "hostapp/import/quake/QuakeFigure.h"
#include "hostapp/import/quake/QuakeModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const hostapp::PlayerConfig config =
      hostapp::ReadPlayerConfig(std::string(reinterpret_cast<const char*>(data), size));
  for (const hostapp::PlayerAnimation& animation : config.animations)
    if (animation.count < 1 || animation.first < 0) std::abort();

  hostapp::QuakeFigure figure;
  figure.parts.resize(1);
  hostapp::QuakeModel& model = figure.parts[0].model;
  std::string error;
  if (!hostapp::ReadQuakeModel(data, size, &model, &error)) {
    // A refusal always says why.
    if (error.empty()) std::abort();
    return 0;
  }
  if (model.frame_count < 1 || model.frame_names.size() != model.frame_count) std::abort();
  for (const hostapp::QuakeSurface& surface : model.surfaces) {
    if (surface.positions.size() != model.frame_count * surface.vertex_count) std::abort();
    for (const hostapp::QuakeTriangle& triangle : surface.triangles) {
      for (int c = 0; c < 3; ++c) {
        if (triangle.vertex[c] >= surface.vertex_count) std::abort();
        if (triangle.texture_vertex[c] >= surface.texture_vertices.size()) std::abort();
      }
    }
  }
  for (const hostapp::QuakeTag& tag : model.tags)
    if (tag.frames.size() != model.frame_count) std::abort();
  if (model.skin.pixels.size() !=
      static_cast<size_t>(model.skin.width) * static_cast<size_t>(model.skin.height))
    std::abort();

  for (size_t f = 0; f < model.frame_count; ++f) figure.timeline.push_back({f});
  figure.PrepareMeshes();
  host::Mesh mesh;
  for (host::HostTime t : {host::HostTime(0), figure.End() / 2 + 1, figure.End()}) {
    for (size_t s = 0; s < model.surfaces.size(); ++s) {
      figure.FillMesh(0, s, t, mesh);
      for (const host::MeshFace& face : mesh.faces)
        for (uint32_t v : face.v)
          if (v >= mesh.vertices.size()) std::abort();
      for (const host::TextureFace& face : mesh.texture_faces)
        for (uint32_t v : face.t)
          if (v >= mesh.texture_vertices.size()) std::abort();
    }
  }
  return 0;
}
