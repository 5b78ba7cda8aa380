// Quake MDL models through the project's own MDL reader: every frame, group
// members in order, and the first skin picture.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "hostapp/import/quake/QuakeModel.h"
#include "mdlformat/MdlReader.h"

namespace hostapp {

namespace {

// The exporter maps a texture coordinate of 0 to the first skin column (or
// row) and 1 to the last, truncating in between. Column c is handed over as
// the middle of the span that maps back to it, so that the model's own skin,
// converted at its own size, keeps every vertex on its pixel.
float MiddleOfPixel(int32_t pixel, int32_t extent) {
  if (extent <= 1) return 0.0f;
  const double middle = (pixel + 0.5) / (extent - 1);
  return static_cast<float>(std::min(std::max(middle, 0.0), 1.0));
}

}  // namespace

bool ReadMdlModel(const uint8_t* data, size_t size, QuakeModel* model, std::string* error) {
  *model = QuakeModel();
  model->format = "MDL";
  vandrell::MdlFile file;
  if (!vandrell::ReadMdl(data, size, &file, error)) return false;
  const vandrell::MdlFileHeader& h = file.header;
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(h.scale[axis]) || !std::isfinite(h.scale_origin[axis])) {
      *error = "the header's scale or origin is not a finite number";
      return false;
    }
  }
  if (file.frames.empty()) {
    *error = "the file holds no frames";
    return false;
  }
  if (file.trailing_bytes > 0)
    model->notes.push_back(std::to_string(file.trailing_bytes) +
                           " bytes after the last frame are ignored, as games ignore them");

  if (!file.skins.empty() && h.skinwidth > 0 && h.skinheight > 0) {
    model->skin.width = h.skinwidth;
    model->skin.height = h.skinheight;
    model->skin.pixels = file.skins.front().pixels;
    if (file.skins.size() > 1)
      model->notes.push_back("the first of its " + std::to_string(file.skins.size()) +
                             " skin pictures is used");
  }

  QuakeSurface surface;
  surface.vertex_count = static_cast<size_t>(h.numverts);
  // A vertex on the seam of a two-sided skin stands half a skin further right
  // on triangles that face away: each skin vertex has a front texture vertex
  // at 2v and a back one at 2v + 1.
  const int32_t half = h.skinwidth / 2;
  surface.texture_vertices.reserve(2 * file.skin_vertices.size());
  for (const vandrell::MdlSkinVertex& sv : file.skin_vertices) {
    const float v = 1.0f - MiddleOfPixel(sv.t, h.skinheight);
    surface.texture_vertices.emplace_back(MiddleOfPixel(sv.s, h.skinwidth), v, 0.0f);
    const int32_t back = sv.on_seam != 0 && sv.s <= INT32_MAX - half ? sv.s + half : sv.s;
    surface.texture_vertices.emplace_back(MiddleOfPixel(back, h.skinwidth), v, 0.0f);
  }
  for (const vandrell::MdlTriangle& t : file.triangles) {
    QuakeTriangle triangle;
    for (int c = 0; c < 3; ++c) {
      const uint32_t v = static_cast<uint32_t>(t.vertices[c]);
      triangle.vertex[c] = v;
      triangle.texture_vertex[c] = 2 * v + (t.faces_front == 0 ? 1 : 0);
    }
    surface.triangles.push_back(triangle);
  }

  surface.positions.reserve(file.frames.size() * surface.vertex_count);
  for (const vandrell::MdlFrame& frame : file.frames) {
    model->frame_names.push_back(frame.name);
    for (const vandrell::MdlPackedVertex& packed : frame.vertices)
      surface.positions.emplace_back(vandrell::DecodeCoordinate(h, 0, packed.x),
                                     vandrell::DecodeCoordinate(h, 1, packed.y),
                                     vandrell::DecodeCoordinate(h, 2, packed.z));
  }
  model->frame_count = file.frames.size();
  model->surfaces.push_back(std::move(surface));
  return true;
}

}  // namespace hostapp
