#include "mdlformat/MdlReader.h"

#include <cstring>
#include <string>

#include "mdlformat/FileBytes.h"
#include "mdlformat/HeaderCounts.h"
#include "mdlformat/MdlFormat.h"

namespace vandrell {

namespace {

MdlPackedVertex ReadPacked(ByteCursor& in) {
  MdlPackedVertex v;
  v.x = in.Uint8();
  v.y = in.Uint8();
  v.z = in.Uint8();
  v.normal_index = in.Uint8();
  return v;
}

bool ReadHeader(ByteCursor& in, MdlFileHeader* h) {
  if (!ReadMdlHeaderFields(in, h)) return false;
  if (std::memcmp(h->ident, mdl_format::kMagic, sizeof h->ident) != 0)
    return in.Fail("not an MDL file: the first four bytes are not \"IDPO\"");
  if (h->version != mdl_format::kVersion)
    return in.Fail("unsupported MDL version " + std::to_string(h->version) + " (expected 6)");

  const std::vector<HeaderCount> negative = NegativeCounts(MdlHeaderCounts(*h));
  if (!negative.empty())
    return in.Fail(std::string("negative ") + negative[0].name + " (" +
                   std::to_string(negative[0].value) + ")");
  return true;
}

bool ReadPixels(ByteCursor& in, const MdlFileHeader& h, const std::string& what,
                std::vector<uint8_t>* pixels) {
  const uint64_t count = static_cast<uint64_t>(h.skinwidth) * static_cast<uint64_t>(h.skinheight);
  if (!in.Need(count, what)) return false;
  pixels->resize(static_cast<size_t>(count));
  return in.Bytes(pixels->data(), pixels->size());
}

// A group's intervals: each member needs at least its four bytes, which bounds
// the count by the file's length before anything is allocated for it.
bool ReadIntervals(ByteCursor& in, int32_t members, const std::string& what,
                   std::vector<float>* intervals) {
  if (!in.Need(static_cast<uint64_t>(members) * 4, what + "'s intervals")) return false;
  intervals->resize(static_cast<size_t>(members));
  for (float& interval : *intervals) interval = in.Float();
  return true;
}

bool ReadSkins(ByteCursor& in, MdlFile* file) {
  const MdlFileHeader& h = file->header;
  for (int32_t i = 0; i < h.numskins; ++i) {
    const std::string what = "skin " + std::to_string(i);
    if (!in.Need(mdl_format::kSkinTypeSize, what)) return false;
    const int32_t type = in.Int32();
    file->skin_types.push_back(type);
    if (type == mdl_format::kSkinTypeSingle) {
      MdlSkinImage image;
      if (!ReadPixels(in, h, what, &image.pixels)) return false;
      file->skins.push_back(std::move(image));
      continue;
    }
    if (type != mdl_format::kSkinTypeGroup)
      return in.Fail(what + " has the unknown type " + std::to_string(type));
    if (!in.Need(4, what)) return false;
    const int32_t members = in.Int32();
    if (members < 1) return in.Fail(what + " is a group of " + std::to_string(members) + " images");
    std::vector<float> intervals;
    if (!ReadIntervals(in, members, what, &intervals)) return false;
    for (int32_t m = 0; m < members; ++m) {
      MdlSkinImage image;
      image.group = i;
      image.interval = intervals[static_cast<size_t>(m)];
      if (!ReadPixels(in, h, what + " image " + std::to_string(m), &image.pixels)) return false;
      file->skins.push_back(std::move(image));
    }
  }
  return true;
}

bool ReadSkinVertices(ByteCursor& in, MdlFile* file) {
  const int32_t count = file->header.numverts;
  if (!in.Need(static_cast<uint64_t>(count) * mdl_format::kSkinVertexSize, "the skin vertices"))
    return false;
  file->skin_vertices.resize(static_cast<size_t>(count));
  for (MdlSkinVertex& v : file->skin_vertices) {
    v.on_seam = in.Int32();
    v.s = in.Int32();
    v.t = in.Int32();
  }
  return true;
}

bool ReadTriangles(ByteCursor& in, MdlFile* file) {
  const int32_t count = file->header.numtris;
  if (!in.Need(static_cast<uint64_t>(count) * mdl_format::kTriangleSize, "the triangles"))
    return false;
  file->triangles.resize(static_cast<size_t>(count));
  for (size_t k = 0; k < file->triangles.size(); ++k) {
    MdlTriangle& triangle = file->triangles[k];
    triangle.faces_front = in.Int32();
    for (int32_t& index : triangle.vertices) {
      index = in.Int32();
      if (index < 0 || index >= file->header.numverts)
        return in.Fail("triangle " + std::to_string(k) + " uses vertex " + std::to_string(index) +
                       ", outside the " + std::to_string(file->header.numverts) + " vertices");
    }
  }
  return true;
}

// A frame after its type word (or a group member): box, name, vertices.
bool ReadFrameBody(ByteCursor& in, int32_t numverts, const std::string& what, MdlFrame* frame) {
  const uint64_t bytes = mdl_format::kFrameBodyHeaderSize +
                         static_cast<uint64_t>(numverts) * mdl_format::kPackedVertexSize;
  if (!in.Need(bytes, what)) return false;
  frame->box_min = ReadPacked(in);
  frame->box_max = ReadPacked(in);
  in.Bytes(frame->name, mdl_format::kFrameNameSize);
  frame->name[mdl_format::kFrameNameSize] = '\0';
  frame->name_terminated = std::memchr(frame->name, '\0', mdl_format::kFrameNameSize) != nullptr;
  frame->vertices.resize(static_cast<size_t>(numverts));
  for (size_t j = 0; j < frame->vertices.size(); ++j) {
    frame->vertices[j] = ReadPacked(in);
    if (frame->vertices[j].normal_index >= mdl_format::kNormalCount)
      return in.Fail(what + ", vertex " + std::to_string(j) + ": normal index " +
                     std::to_string(frame->vertices[j].normal_index) +
                     " is outside the 162 normals");
  }
  return true;
}

bool ReadFrames(ByteCursor& in, MdlFile* file) {
  const int32_t numverts = file->header.numverts;
  for (int32_t i = 0; i < file->header.numframes; ++i) {
    const std::string what = "frame " + std::to_string(i);
    if (!in.Need(mdl_format::kFrameTypeSize, what)) return false;
    const int32_t type = in.Int32();
    file->frame_types.push_back(type);
    if (type == mdl_format::kFrameTypeSingle) {
      MdlFrame frame;
      if (!ReadFrameBody(in, numverts, what, &frame)) return false;
      file->frames.push_back(std::move(frame));
      continue;
    }
    if (!in.Need(4, what)) return false;
    const int32_t members = in.Int32();
    if (members < 1) return in.Fail(what + " is a group of " + std::to_string(members) + " frames");
    // The group's box: its minimum and its maximum.
    for (int corner = 0; corner < 2; ++corner) {
      if (!in.Need(mdl_format::kPackedVertexSize, what)) return false;
      ReadPacked(in);
    }
    std::vector<float> intervals;
    if (!ReadIntervals(in, members, what, &intervals)) return false;
    for (int32_t m = 0; m < members; ++m) {
      MdlFrame frame;
      frame.group = i;
      frame.interval = intervals[static_cast<size_t>(m)];
      if (!ReadFrameBody(in, numverts, what + " member " + std::to_string(m), &frame)) return false;
      file->frames.push_back(std::move(frame));
    }
  }
  return true;
}

}  // namespace

bool ReadMdlHeaderFields(ByteCursor& in, MdlFileHeader* h) {
  if (!in.Need(mdl_format::kHeaderSize, "the header")) return false;
  in.Bytes(h->ident, sizeof h->ident);
  h->version = in.Int32();
  for (float& value : h->scale) value = in.Float();
  for (float& value : h->scale_origin) value = in.Float();
  h->bounding_radius = in.Float();
  for (float& value : h->eye_position) value = in.Float();
  h->numskins = in.Int32();
  h->skinwidth = in.Int32();
  h->skinheight = in.Int32();
  h->numverts = in.Int32();
  h->numtris = in.Int32();
  h->numframes = in.Int32();
  h->synctype = in.Int32();
  h->flags = in.Int32();
  h->size = in.Float();
  return true;
}

bool ReadMdl(const uint8_t* data, size_t size, MdlFile* file, std::string* error) {
  *file = MdlFile();
  ByteCursor in(data, size);
  const bool read = ReadHeader(in, &file->header) && ReadSkins(in, file) &&
                    ReadSkinVertices(in, file) && ReadTriangles(in, file) && ReadFrames(in, file);
  if (!read && error) *error = in.error();
  if (read) file->trailing_bytes = in.remaining();
  return read;
}

bool ReadMdl(const std::vector<uint8_t>& bytes, MdlFile* file, std::string* error) {
  return ReadMdl(bytes.data(), bytes.size(), file, error);
}

bool ReadMdlFile(const std::string& path, MdlFile* file, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  return ReadMdl(bytes, file, error);
}

float DecodeCoordinate(const MdlFileHeader& header, int axis, uint8_t packed) {
  const float step = header.scale[axis] * static_cast<float>(packed);
  return header.scale_origin[axis] + step;
}

}  // namespace vandrell
