#include "mdl/MdlReader.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "mdl/MdlFormat.h"

namespace vandrell {

namespace {

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "floats are read from their IEEE 754 single-precision bit pattern");

// Walks the bytes front to back; every read first checks that the bytes are
// there and, when they are not, records which part of the file ran short.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size, std::string* error)
      : data_(data), size_(size), error_(error) {}

  size_t offset() const { return offset_; }
  size_t remaining() const { return size_ - offset_; }

  // True when count more bytes are there; otherwise an error naming what.
  bool Need(uint64_t count, const std::string& what) {
    if (count <= remaining()) return true;
    Fail("the file ends inside " + what + ": it needs " + std::to_string(count) +
         " bytes at offset " + std::to_string(offset_) + ", " + std::to_string(remaining()) +
         " remain");
    return false;
  }

  bool Fail(const std::string& message) {
    if (error_) *error_ = message;
    return false;
  }

  bool Bytes(void* out, size_t count, const std::string& what) {
    if (!Need(count, what)) return false;
    if (count > 0) std::memcpy(out, data_ + offset_, count);
    offset_ += count;
    return true;
  }

  bool Uint32(uint32_t* out, const std::string& what) {
    uint8_t b[4];
    if (!Bytes(b, sizeof b, what)) return false;
    *out = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    return true;
  }

  bool Int32(int32_t* out, const std::string& what) {
    uint32_t bits;
    if (!Uint32(&bits, what)) return false;
    // Two's complement, without relying on an out-of-range conversion.
    *out = bits <= 0x7FFFFFFFu ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
    return true;
  }

  bool Float(float* out, const std::string& what) {
    uint32_t bits;
    if (!Uint32(&bits, what)) return false;
    std::memcpy(out, &bits, sizeof *out);
    return true;
  }

  bool Float3(float (&out)[3], const std::string& what) {
    for (float& value : out) {
      if (!Float(&value, what)) return false;
    }
    return true;
  }

  bool Packed(MdlPackedVertex* out, const std::string& what) {
    uint8_t b[4];
    if (!Bytes(b, sizeof b, what)) return false;
    out->x = b[0];
    out->y = b[1];
    out->z = b[2];
    out->normal_index = b[3];
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
  std::string* error_;
};

bool ReadHeader(Cursor& in, MdlFileHeader* h) {
  if (!in.Need(mdl_format::kHeaderSize, "the header")) return false;
  in.Bytes(h->ident, sizeof h->ident, "the header");
  if (std::memcmp(h->ident, mdl_format::kMagic, sizeof h->ident) != 0)
    return in.Fail("not an MDL file: the first four bytes are not \"IDPO\"");
  in.Int32(&h->version, "the header");
  if (h->version != mdl_format::kVersion)
    return in.Fail("unsupported MDL version " + std::to_string(h->version) + " (expected 6)");
  in.Float3(h->scale, "the header");
  in.Float3(h->scale_origin, "the header");
  in.Float(&h->bounding_radius, "the header");
  in.Float3(h->eye_position, "the header");
  in.Int32(&h->numskins, "the header");
  in.Int32(&h->skinwidth, "the header");
  in.Int32(&h->skinheight, "the header");
  in.Int32(&h->numverts, "the header");
  in.Int32(&h->numtris, "the header");
  in.Int32(&h->numframes, "the header");
  in.Int32(&h->synctype, "the header");
  in.Int32(&h->flags, "the header");
  in.Float(&h->size, "the header");

  const struct {
    const char* name;
    int32_t value;
  } counts[] = {{"numskins", h->numskins},     {"skinwidth", h->skinwidth},
                {"skinheight", h->skinheight}, {"numverts", h->numverts},
                {"numtris", h->numtris},       {"numframes", h->numframes}};
  for (const auto& count : counts) {
    if (count.value < 0)
      return in.Fail(std::string("negative ") + count.name + " (" + std::to_string(count.value) +
                     ")");
  }
  return true;
}

bool ReadPixels(Cursor& in, const MdlFileHeader& h, const std::string& what,
                std::vector<uint8_t>* pixels) {
  const uint64_t count = static_cast<uint64_t>(h.skinwidth) * static_cast<uint64_t>(h.skinheight);
  if (!in.Need(count, what)) return false;
  pixels->resize(static_cast<size_t>(count));
  return in.Bytes(pixels->data(), pixels->size(), what);
}

bool ReadSkins(Cursor& in, MdlFile* file) {
  const MdlFileHeader& h = file->header;
  for (int32_t i = 0; i < h.numskins; ++i) {
    const std::string what = "skin " + std::to_string(i);
    int32_t type;
    if (!in.Int32(&type, what)) return false;
    file->skin_types.push_back(type);
    if (type == mdl_format::kSkinTypeSingle) {
      MdlSkinImage image;
      if (!ReadPixels(in, h, what, &image.pixels)) return false;
      file->skins.push_back(std::move(image));
      continue;
    }
    if (type != mdl_format::kSkinTypeGroup)
      return in.Fail(what + " has the unknown type " + std::to_string(type));
    int32_t members;
    if (!in.Int32(&members, what)) return false;
    if (members < 1) return in.Fail(what + " is a group of " + std::to_string(members) + " images");
    // Each member needs at least its interval: this bounds the count by the
    // file's length before anything is allocated for it.
    if (!in.Need(static_cast<uint64_t>(members) * 4, what + "'s intervals")) return false;
    std::vector<float> intervals(static_cast<size_t>(members));
    for (float& interval : intervals) in.Float(&interval, what);
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

bool ReadSkinVertices(Cursor& in, MdlFile* file) {
  const int32_t count = file->header.numverts;
  if (!in.Need(static_cast<uint64_t>(count) * mdl_format::kSkinVertexSize, "the skin vertices"))
    return false;
  file->skin_vertices.resize(static_cast<size_t>(count));
  for (MdlSkinVertex& v : file->skin_vertices) {
    in.Int32(&v.on_seam, "the skin vertices");
    in.Int32(&v.s, "the skin vertices");
    in.Int32(&v.t, "the skin vertices");
  }
  return true;
}

bool ReadTriangles(Cursor& in, MdlFile* file) {
  const int32_t count = file->header.numtris;
  if (!in.Need(static_cast<uint64_t>(count) * mdl_format::kTriangleSize, "the triangles"))
    return false;
  file->triangles.resize(static_cast<size_t>(count));
  for (size_t k = 0; k < file->triangles.size(); ++k) {
    MdlTriangle& triangle = file->triangles[k];
    in.Int32(&triangle.faces_front, "the triangles");
    for (int32_t& index : triangle.vertices) {
      in.Int32(&index, "the triangles");
      if (index < 0 || index >= file->header.numverts)
        return in.Fail("triangle " + std::to_string(k) + " uses vertex " + std::to_string(index) +
                       ", outside the " + std::to_string(file->header.numverts) + " vertices");
    }
  }
  return true;
}

// A frame after its type word (or a group member): box, name, vertices.
bool ReadFrameBody(Cursor& in, int32_t numverts, const std::string& what, MdlFrame* frame) {
  const uint64_t bytes = mdl_format::kFrameBodyHeaderSize +
                         static_cast<uint64_t>(numverts) * mdl_format::kPackedVertexSize;
  if (!in.Need(bytes, what)) return false;
  in.Packed(&frame->box_min, what);
  in.Packed(&frame->box_max, what);
  in.Bytes(frame->name, mdl_format::kFrameNameSize, what);
  frame->name[mdl_format::kFrameNameSize] = '\0';
  frame->name_terminated = std::memchr(frame->name, '\0', mdl_format::kFrameNameSize) != nullptr;
  frame->vertices.resize(static_cast<size_t>(numverts));
  for (size_t j = 0; j < frame->vertices.size(); ++j) {
    in.Packed(&frame->vertices[j], what);
    if (frame->vertices[j].normal_index >= mdl_format::kNormalCount)
      return in.Fail(what + ", vertex " + std::to_string(j) + ": normal index " +
                     std::to_string(frame->vertices[j].normal_index) +
                     " is outside the 162 normals");
  }
  return true;
}

bool ReadFrames(Cursor& in, MdlFile* file) {
  const int32_t numverts = file->header.numverts;
  for (int32_t i = 0; i < file->header.numframes; ++i) {
    const std::string what = "frame " + std::to_string(i);
    int32_t type;
    if (!in.Int32(&type, what)) return false;
    file->frame_types.push_back(type);
    if (type == mdl_format::kFrameTypeSingle) {
      MdlFrame frame;
      if (!ReadFrameBody(in, numverts, what, &frame)) return false;
      file->frames.push_back(std::move(frame));
      continue;
    }
    int32_t members;
    if (!in.Int32(&members, what)) return false;
    if (members < 1) return in.Fail(what + " is a group of " + std::to_string(members) + " frames");
    MdlPackedVertex group_min, group_max;
    if (!in.Packed(&group_min, what) || !in.Packed(&group_max, what)) return false;
    if (!in.Need(static_cast<uint64_t>(members) * 4, what + "'s intervals")) return false;
    std::vector<float> intervals(static_cast<size_t>(members));
    for (float& interval : intervals) in.Float(&interval, what);
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

bool ReadMdl(const uint8_t* data, size_t size, MdlFile* file, std::string* error) {
  *file = MdlFile();
  Cursor in(data, size, error);
  if (!ReadHeader(in, &file->header) || !ReadSkins(in, file) || !ReadSkinVertices(in, file) ||
      !ReadTriangles(in, file) || !ReadFrames(in, file))
    return false;
  file->trailing_bytes = in.remaining();
  return true;
}

bool ReadMdl(const std::vector<uint8_t>& bytes, MdlFile* file, std::string* error) {
  return ReadMdl(bytes.data(), bytes.size(), file, error);
}

bool ReadMdlFile(const std::string& path, MdlFile* file, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  if (in.bad()) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  return ReadMdl(bytes, file, error);
}

float DecodeCoordinate(const MdlFileHeader& header, int axis, uint8_t packed) {
  const float step = header.scale[axis] * static_cast<float>(packed);
  return header.scale_origin[axis] + step;
}

}  // namespace vandrell
