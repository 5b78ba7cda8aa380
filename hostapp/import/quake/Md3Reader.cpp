// Quake III models (MD3, version 15). A 108-byte header (magic "IDP3",
// version, a 64-byte name, flags, then the counts of frames, tags, surfaces
// and skins and the offsets of frames, tags, surfaces and the end, all int32)
// leads to: frames of 56 bytes (bounds, origin, radius, a 16-byte name); tags,
// frame after frame, of 112 bytes (a 64-byte name, an origin and three axes,
// twelve floats); and surfaces one after another. A surface starts with its
// own 108-byte header (magic, a 64-byte name, flags, the counts of frames,
// shaders, vertices and triangles, and the offsets, from the surface's start,
// of triangles, shaders, texture coordinates, vertices and the next surface)
// and holds triangles of three int32 vertex indices, shaders of a 64-byte
// name and an int32, texture coordinates of two floats (s, t, t down the
// picture) and, frame after frame, vertices of four int16 (x, y, z in 64ths
// of a unit and a packed normal).
#include <cstdint>
#include <string>

#include "hostapp/import/quake/QuakeModel.h"
#include "mdlformat/ByteCursor.h"

namespace hostapp {

using vandrell::ByteCursor;

namespace {

constexpr int32_t kVersion = 15;
constexpr size_t kHeaderSize = 108;
constexpr size_t kNameSize = 64;
constexpr size_t kFrameSize = 56;
constexpr size_t kFrameNameOffset = 40;
constexpr size_t kFrameNameSize = 16;
constexpr size_t kTagSize = 112;
constexpr size_t kSurfaceHeaderSize = 108;
constexpr size_t kTriangleSize = 12;
constexpr size_t kShaderSize = 68;
constexpr size_t kTextureCoordinateSize = 8;
constexpr size_t kVertexSize = 8;
// Vertex coordinates are stored in 64ths of a unit.
constexpr float kVertexStep = 1.0f / 64.0f;

}  // namespace

bool ReadMd3(const uint8_t* data, size_t size, QuakeModel* model, std::string* error) {
  *model = QuakeModel();
  model->format = "MD3";
  ByteCursor in(data, size);
  const ReaderFailure fail(in, error);
  if (!CheckHeader(in, kHeaderSize, "MD3", "IDP3", kVersion, error)) return false;
  in.Skip(kNameSize + 4);  // the name and the flags
  const int32_t frames = in.Int32();
  const int32_t tags = in.Int32();
  const int32_t surfaces = in.Int32();
  in.Int32();  // skins: no file uses them
  const int32_t frames_at = in.Int32();
  const int32_t tags_at = in.Int32();
  const int32_t surfaces_at = in.Int32();
  if (frames < 0 || tags < 0 || surfaces < 0)
    return fail.Refuse("a negative count of frames, tags or surfaces (" + std::to_string(frames) +
                       ", " + std::to_string(tags) + ", " + std::to_string(surfaces) + ")");
  if (frames == 0) return fail.Refuse("the file holds no frames");
  const uint64_t frame_count = static_cast<uint64_t>(frames);

  if (!SeekSection(in, 0, frames_at, frame_count, kFrameSize, "the frames"))
    return fail.FromCursor();
  for (uint64_t f = 0; f < frame_count; ++f) {
    in.Seek(static_cast<uint64_t>(frames_at) + f * kFrameSize + kFrameNameOffset);
    model->frame_names.push_back(in.FixedString(kFrameNameSize));
  }

  if (!SeekSection(in, 0, tags_at, frame_count * static_cast<uint64_t>(tags), kTagSize, "the tags"))
    return fail.FromCursor();
  model->tags.resize(static_cast<size_t>(tags));
  for (uint64_t f = 0; f < frame_count; ++f) {
    for (QuakeTag& tag : model->tags) {
      const std::string name = in.FixedString(kNameSize);
      if (f == 0) tag.name = name;
      float values[12];
      for (float& value : values) value = in.Float();
      // Stored as origin, then the forward, left and up axes.
      tag.frames.emplace_back(host::Point3(values[3], values[4], values[5]),
                              host::Point3(values[6], values[7], values[8]),
                              host::Point3(values[9], values[10], values[11]),
                              host::Point3(values[0], values[1], values[2]));
    }
  }

  uint64_t at = static_cast<uint64_t>(surfaces_at);
  for (int32_t k = 0; k < surfaces; ++k) {
    const std::string what = "surface " + std::to_string(k);
    if (!SeekSection(in, at, 0, 1, kSurfaceHeaderSize, what + "'s header"))
      return fail.FromCursor();
    if (in.FixedString(4) != "IDP3")
      return fail.Refuse(what + " does not start with \"IDP3\" (at offset " + std::to_string(at) +
                         ")");
    QuakeSurface surface;
    surface.name = in.FixedString(kNameSize);
    in.Int32();  // flags
    const int32_t surface_frames = in.Int32();
    const int32_t shaders = in.Int32();
    const int32_t vertices = in.Int32();
    const int32_t triangles = in.Int32();
    const int32_t triangles_at = in.Int32();
    const int32_t shaders_at = in.Int32();
    const int32_t coordinates_at = in.Int32();
    const int32_t vertices_at = in.Int32();
    const int32_t end_at = in.Int32();
    const std::string named = what + " (" + surface.name + ")";
    if (shaders < 0 || vertices < 0 || triangles < 0)
      return fail.Refuse(named + " has a negative count of shaders, vertices or triangles");
    // Every surface moves with the model's frames.
    if (surface_frames < frames)
      return fail.Refuse(named + " has " + std::to_string(surface_frames) + " frames, the model " +
                         std::to_string(frames));
    if (end_at < static_cast<int32_t>(kSurfaceHeaderSize))
      return fail.Refuse(named + " ends at " + std::to_string(end_at) +
                         " bytes, before its own header does");

    if (shaders > 0) {
      if (!SeekSection(in, at, shaders_at, static_cast<uint64_t>(shaders), kShaderSize,
                       named + "'s shaders"))
        return fail.FromCursor();
      surface.texture = in.FixedString(kNameSize);
    }

    if (!SeekSection(in, at, triangles_at, static_cast<uint64_t>(triangles), kTriangleSize,
                     named + "'s triangles"))
      return fail.FromCursor();
    surface.triangles.resize(static_cast<size_t>(triangles));
    for (size_t t = 0; t < surface.triangles.size(); ++t) {
      QuakeTriangle& triangle = surface.triangles[t];
      for (int c = 0; c < 3; ++c) {
        const int32_t index = in.Int32();
        if (index < 0 || index >= vertices)
          return fail.Refuse(named + ": triangle " + std::to_string(t) + " uses vertex " +
                             std::to_string(index) + ", outside the " + std::to_string(vertices) +
                             " vertices");
        // Each vertex has its own texture coordinate.
        triangle.vertex[c] = triangle.texture_vertex[c] = static_cast<uint32_t>(index);
      }
    }

    if (!SeekSection(in, at, coordinates_at, static_cast<uint64_t>(vertices),
                     kTextureCoordinateSize, named + "'s texture coordinates"))
      return fail.FromCursor();
    surface.texture_vertices.reserve(static_cast<size_t>(vertices));
    for (int32_t v = 0; v < vertices; ++v) {
      const float s = in.Float();
      const float t = in.Float();
      surface.texture_vertices.emplace_back(s, 1.0f - t, 0.0f);
    }

    surface.vertex_count = static_cast<size_t>(vertices);
    if (!SeekSection(in, at, vertices_at, frame_count * surface.vertex_count, kVertexSize,
                     named + "'s vertices"))
      return fail.FromCursor();
    surface.positions.reserve(frame_count * surface.vertex_count);
    for (uint64_t n = 0; n < frame_count * surface.vertex_count; ++n) {
      const int16_t x = in.Int16();
      const int16_t y = in.Int16();
      const int16_t z = in.Int16();
      in.Int16();  // the normal, which the exporter works out again
      surface.positions.emplace_back(x * kVertexStep, y * kVertexStep, z * kVertexStep);
    }
    if (!in.ok()) return fail.FromCursor();
    model->surfaces.push_back(std::move(surface));
    at += static_cast<uint64_t>(end_at);
  }
  model->frame_count = static_cast<size_t>(frame_count);
  return true;
}

}  // namespace hostapp
