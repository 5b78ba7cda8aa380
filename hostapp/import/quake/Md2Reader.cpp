// Quake II models (MD2, version 8). After a 68-byte header of seventeen
// int32 (magic "IDP2", version, skin width and height, bytes per frame, the
// counts of skins, vertices, texture coordinates, triangles, GL commands and
// frames, then the offsets of skins, texture coordinates, triangles, frames,
// GL commands and the end) each section stands where its offset says:
// 64-byte skin names; texture coordinates of two int16 (s, t in skin pixels);
// triangles of six uint16 (three vertex indices, then three texture-coordinate
// indices); frames of a float scale[3], a float translate[3], a 16-byte name
// and four bytes a vertex (x, y, z packed, a normal index), a vertex being
// packed x scale + translate on each axis. The GL commands are a drawing aid
// the import does not need.
#include <cmath>
#include <string>

#include "hostapp/import/quake/QuakeModel.h"
#include "mdlformat/ByteCursor.h"
#include "mdlformat/HeaderCounts.h"

namespace hostapp {

using vandrell::ByteCursor;

namespace {

constexpr int32_t kVersion = 8;
constexpr size_t kHeaderSize = 68;
constexpr size_t kSkinNameSize = 64;
constexpr size_t kTextureCoordinateSize = 4;
constexpr size_t kTriangleSize = 12;
constexpr size_t kFrameNameSize = 16;
constexpr size_t kFrameHeaderSize = 40;  // scale, translate, name
constexpr size_t kPackedVertexSize = 4;

struct Md2Header {
  int32_t skin_width, skin_height, frame_size;
  int32_t skins, vertices, texture_coordinates, triangles, gl_commands, frames;
  int32_t skins_at, texture_coordinates_at, triangles_at, frames_at, gl_commands_at, end_at;
};

}  // namespace

bool ReadMd2(const uint8_t* data, size_t size, QuakeModel* model, std::string* error) {
  *model = QuakeModel();
  model->format = "MD2";
  ByteCursor in(data, size);
  const ReaderFailure fail(in, error);
  if (!CheckHeader(in, kHeaderSize, "MD2", "IDP2", kVersion, error)) return false;
  Md2Header h;
  for (int32_t* field :
       {&h.skin_width, &h.skin_height, &h.frame_size, &h.skins, &h.vertices, &h.texture_coordinates,
        &h.triangles, &h.gl_commands, &h.frames, &h.skins_at, &h.texture_coordinates_at,
        &h.triangles_at, &h.frames_at, &h.gl_commands_at, &h.end_at})
    *field = in.Int32();
  const std::vector<vandrell::HeaderCount> negative =
      vandrell::NegativeCounts({{"skins", h.skins},
                                {"vertices", h.vertices},
                                {"texture coordinates", h.texture_coordinates},
                                {"triangles", h.triangles},
                                {"frames", h.frames}});
  if (!negative.empty())
    return fail.Refuse("a negative count of " + std::string(negative[0].name) + " (" +
                       std::to_string(negative[0].value) + ")");
  if (h.frames == 0) return fail.Refuse("the file holds no frames");
  const uint64_t frame_bytes =
      kFrameHeaderSize + static_cast<uint64_t>(h.vertices) * kPackedVertexSize;
  if (h.frame_size < 0 || static_cast<uint64_t>(h.frame_size) < frame_bytes)
    return fail.Refuse("frames of " + std::to_string(h.frame_size) + " bytes cannot hold " +
                       std::to_string(h.vertices) + " vertices");

  // The first skin name is the model's texture.
  QuakeSurface surface;
  if (h.skins > 0) {
    if (!SeekSection(in, 0, h.skins_at, h.skins, kSkinNameSize, "the skin names"))
      return fail.FromCursor();
    surface.texture = in.FixedString(kSkinNameSize);
  }

  // Texture coordinates count skin pixels from the top left corner; the host's
  // run 0 to 1 across the skin with v up.
  if (!SeekSection(in, 0, h.texture_coordinates_at, h.texture_coordinates, kTextureCoordinateSize,
                   "the texture coordinates"))
    return fail.FromCursor();
  if ((h.skin_width <= 0 || h.skin_height <= 0) && h.texture_coordinates > 0)
    model->notes.push_back("the skin size " + std::to_string(h.skin_width) + "x" +
                           std::to_string(h.skin_height) +
                           " is not positive: every texture coordinate is 0");
  surface.texture_vertices.reserve(static_cast<size_t>(h.texture_coordinates));
  for (int32_t i = 0; i < h.texture_coordinates; ++i) {
    const int16_t s = in.Int16();
    const int16_t t = in.Int16();
    host::Point3 uv;
    if (h.skin_width > 0 && h.skin_height > 0) {
      uv.x = static_cast<float>(s) / static_cast<float>(h.skin_width);
      uv.y = 1.0f - static_cast<float>(t) / static_cast<float>(h.skin_height);
    }
    surface.texture_vertices.push_back(uv);
  }

  if (!SeekSection(in, 0, h.triangles_at, h.triangles, kTriangleSize, "the triangles"))
    return fail.FromCursor();
  surface.triangles.resize(static_cast<size_t>(h.triangles));
  for (size_t k = 0; k < surface.triangles.size(); ++k) {
    QuakeTriangle& triangle = surface.triangles[k];
    for (uint32_t& v : triangle.vertex) v = in.Uint16();
    for (uint32_t& t : triangle.texture_vertex) t = in.Uint16();
    for (int c = 0; c < 3; ++c) {
      if (triangle.vertex[c] >= static_cast<uint32_t>(h.vertices))
        return fail.Refuse("triangle " + std::to_string(k) + " uses vertex " +
                           std::to_string(triangle.vertex[c]) + ", outside the " +
                           std::to_string(h.vertices) + " vertices");
      if (triangle.texture_vertex[c] >= static_cast<uint32_t>(h.texture_coordinates))
        return fail.Refuse("triangle " + std::to_string(k) + " uses texture coordinate " +
                           std::to_string(triangle.texture_vertex[c]) + ", outside the " +
                           std::to_string(h.texture_coordinates) + " texture coordinates");
    }
  }

  if (!SeekSection(in, 0, h.frames_at, h.frames, static_cast<uint64_t>(h.frame_size), "the frames"))
    return fail.FromCursor();
  surface.vertex_count = static_cast<size_t>(h.vertices);
  surface.positions.reserve(static_cast<size_t>(h.frames) * surface.vertex_count);
  for (int32_t f = 0; f < h.frames; ++f) {
    in.Seek(static_cast<uint64_t>(h.frames_at) + static_cast<uint64_t>(f) * h.frame_size);
    float scale[3], translate[3];
    for (float& value : scale) value = in.Float();
    for (float& value : translate) value = in.Float();
    for (int axis = 0; axis < 3; ++axis)
      if (!std::isfinite(scale[axis]) || !std::isfinite(translate[axis]))
        return fail.Refuse("frame " + std::to_string(f) +
                           "'s scale or origin is not a finite number");
    model->frame_names.push_back(in.FixedString(kFrameNameSize));
    for (size_t v = 0; v < surface.vertex_count; ++v) {
      host::Point3 p;
      for (int axis = 0; axis < 3; ++axis)
        p[axis] = static_cast<float>(in.Uint8()) * scale[axis] + translate[axis];
      in.Uint8();  // the normal, which the exporter works out again
      surface.positions.push_back(p);
    }
  }
  if (!in.ok()) return fail.FromCursor();
  model->frame_count = static_cast<size_t>(h.frames);
  model->surfaces.push_back(std::move(surface));
  return true;
}

}  // namespace hostapp
