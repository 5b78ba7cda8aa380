// The MDL file writer: the model's five sections, field by field, as
// little-endian bytes through fwrite. Each write is checked and the first one
// that falls short ends the writer with 0; what went out before it stays in
// the stream for the caller to discard.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "export/ExportSettings.h"
#include "mdlformat/MdlFormat.h"
#include "model/CheckedConversion.h"
#include "model/MdlModel.h"
#include "plugin/MdlExporter.h"

namespace vandrell {

namespace {

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "floats are written as their IEEE 754 single-precision bit pattern");

// True when all count bytes went out.
bool WriteBytes(FILE* stream, const void* bytes, size_t count) {
  return std::fwrite(bytes, 1, count, stream) == count;
}

bool WriteByte(FILE* stream, uint8_t value) { return WriteBytes(stream, &value, 1); }

void PutUint32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
  out[2] = static_cast<uint8_t>(value >> 16);
  out[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t FloatBitPattern(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

bool WriteUint32(FILE* stream, uint32_t value) {
  uint8_t bytes[4];
  PutUint32(bytes, value);
  return WriteBytes(stream, bytes, sizeof bytes);
}

bool WriteInt32(FILE* stream, int32_t value) {
  return WriteUint32(stream, static_cast<uint32_t>(value));
}

bool WriteFloat(FILE* stream, float value) { return WriteUint32(stream, FloatBitPattern(value)); }

// Three floats as one 12-byte write.
bool WriteFloat3(FILE* stream, const float (&values)[3]) {
  uint8_t bytes[12];
  for (int axis = 0; axis < 3; ++axis) PutUint32(bytes + 4 * axis, FloatBitPattern(values[axis]));
  return WriteBytes(stream, bytes, sizeof bytes);
}

// A frame's box in packed coordinates, per axis.
struct PackedBox {
  uint8_t minimum[3];
  uint8_t maximum[3];
};

// The box of the first vertex_count work vertices; all 0 without a vertex.
PackedBox FindPackedBox(const FrameVertex* vertices, int32_t vertex_count) {
  PackedBox box = {{0, 0, 0}, {0, 0, 0}};
  if (vertex_count <= 0) return box;
  const uint8_t first[3] = {vertices[0].packed_x, vertices[0].packed_y, vertices[0].packed_z};
  for (int axis = 0; axis < 3; ++axis) box.minimum[axis] = box.maximum[axis] = first[axis];
  for (int32_t j = 0; j < vertex_count; ++j) {
    const uint8_t packed[3] = {vertices[j].packed_x, vertices[j].packed_y, vertices[j].packed_z};
    for (int axis = 0; axis < 3; ++axis) {
      if (packed[axis] < box.minimum[axis]) box.minimum[axis] = packed[axis];
      if (packed[axis] > box.maximum[axis]) box.maximum[axis] = packed[axis];
    }
  }
  return box;
}

// Moves both ends of each axis inward by (maximum - minimum) x (1 - s) x 0.5,
// formed in double from the single-precision s and truncated toward zero;
// the ends are kept to 8 bits. A scale of 1 or more (or NaN) leaves the box
// as found: it is never enlarged. An amount that no integer holds (only an
// absurd pasted scale gets there) leaves that axis as found too.
void ShrinkPackedBox(PackedBox* box, float collision_box_scale) {
  if (!(collision_box_scale < 1.0f)) return;
  const double s = collision_box_scale;
  for (int axis = 0; axis < 3; ++axis) {
    const double range = static_cast<double>(box->maximum[axis]) - box->minimum[axis];
    int32_t amount = 0;
    if (!TruncateToInt32(range * (1.0 - s) * 0.5, amount)) continue;
    box->minimum[axis] = static_cast<uint8_t>(static_cast<uint32_t>(box->minimum[axis]) +
                                              static_cast<uint32_t>(amount));
    box->maximum[axis] = static_cast<uint8_t>(static_cast<uint32_t>(box->maximum[axis]) -
                                              static_cast<uint32_t>(amount));
  }
}

// "%s%d" of the base name and the frame number in a zeroed 16-byte field. A
// longer name is cut to 15 characters so that the field always ends in a
// zero byte.
void FormatFrameName(char (&field)[mdl_format::kFrameNameSize], const char* base_name,
                     int32_t frame) {
  // Room for the longest base name the settings hold and any int32.
  char formatted[kBaseNameCapacity + 16];
  std::snprintf(formatted, sizeof formatted, "%.*s%d", kBaseNameCapacity, base_name,
                static_cast<int>(frame));
  std::memset(field, 0, sizeof field);
  for (int n = 0; n < mdl_format::kFrameNameSize - 1 && formatted[n]; ++n) field[n] = formatted[n];
}

}  // namespace

// Header: the fifteen fields in file order, one write each.
int MdlModel::WriteHeader(FILE* stream) const {
  return WriteUint32(stream, ident) && WriteInt32(stream, version) && WriteFloat3(stream, scale) &&
         WriteFloat3(stream, scale_origin) && WriteFloat(stream, bounding_radius) &&
         WriteFloat3(stream, eye_position) && WriteInt32(stream, numskins) &&
         WriteInt32(stream, skinwidth) && WriteInt32(stream, skinheight) &&
         WriteInt32(stream, numverts) && WriteInt32(stream, numtris) &&
         WriteInt32(stream, numframes) && WriteInt32(stream, synctype) &&
         WriteInt32(stream, flags) && WriteFloat(stream, size);
}

// Skin: one plain skin, the type word then the pixel block in one write.
// Refuses (0, nothing written) a size the buffer does not hold, so that no
// byte past the buffer is ever read.
int MdlModel::WriteSkin(FILE* stream) const {
  if (skinwidth < 0 || skinheight < 0) return 0;
  const int64_t pixel_bytes = static_cast<int64_t>(skinwidth) * skinheight;
  if (pixel_bytes > 0 && (skin == nullptr || pixel_bytes > skin_bytes)) return 0;
  if (!WriteInt32(stream, mdl_format::kSkinTypeSingle)) return 0;
  if (pixel_bytes > 0 && !WriteBytes(stream, skin, static_cast<size_t>(pixel_bytes))) return 0;
  return 1;
}

// Skin vertices: on-seam flag 0, s, t of each work vertex in use.
int MdlModel::WriteSkinVertices(FILE* stream) const {
  if (numverts > vertex_capacity) return 0;
  for (int32_t j = 0; j < numverts; ++j) {
    if (!WriteInt32(stream, 0) || !WriteInt32(stream, work_vertices[j].s) ||
        !WriteInt32(stream, work_vertices[j].t))
      return 0;
  }
  return 1;
}

// Triangles: faces-front flag 1 and the three indices of each work triangle.
int MdlModel::WriteTriangles(FILE* stream) const {
  if (numtris > triangle_capacity) return 0;
  for (int32_t k = 0; k < numtris; ++k) {
    if (!WriteInt32(stream, 1)) return 0;
    for (int corner = 0; corner < 3; ++corner) {
      if (!WriteInt32(stream, work_triangles[k].v[corner])) return 0;
    }
  }
  return 1;
}

namespace {

// One frame: its type word, its shrunk box, its name and its packed
// vertices, read from the store in place.
bool WriteFrame(FILE* stream, const FrameVertex* vertices, int32_t vertex_count, int32_t i) {
  if (!WriteInt32(stream, mdl_format::kFrameTypeSingle)) return false;

  PackedBox box = FindPackedBox(vertices, vertex_count);
  ShrinkPackedBox(&box, g_export_settings.collision_box_scale);
  for (int axis = 0; axis < 3; ++axis) {
    if (!WriteByte(stream, box.minimum[axis])) return false;
  }
  if (!WriteByte(stream, 0)) return false;
  for (int axis = 0; axis < 3; ++axis) {
    if (!WriteByte(stream, box.maximum[axis])) return false;
  }
  if (!WriteByte(stream, 0)) return false;

  char name[mdl_format::kFrameNameSize];
  FormatFrameName(name, g_export_settings.base_name, i);
  if (!WriteBytes(stream, name, sizeof name)) return false;

  // Four bytes a vertex, gathered into blocks: one write per byte would
  // cost more than building the whole frame.
  uint8_t block[4096];
  size_t used = 0;
  for (int32_t j = 0; j < vertex_count; ++j) {
    const FrameVertex& vertex = vertices[j];
    block[used] = vertex.packed_x;
    block[used + 1] = vertex.packed_y;
    block[used + 2] = vertex.packed_z;
    block[used + 3] = vertex.normal_index;
    used += 4;
    if (used == sizeof block || j == vertex_count - 1) {
      if (!WriteBytes(stream, block, used)) return false;
      used = 0;
    }
  }
  return true;
}

}  // namespace

// Frames in order. Each is written from the store without copying it to the
// work arrays; they end holding the frame written last (or the one whose
// write fell short), as if every frame had passed through them.
int MdlModel::WriteFrames(FILE* stream) {
  if (numframes > 0 && (numverts > vertex_capacity || numframes > frame_capacity)) return 0;
  for (int32_t i = 0; i < numframes; ++i) {
    const FrameVertex* stored = frame_vertices + static_cast<size_t>(i) * vertex_capacity;
    if (!WriteFrame(stream, stored, numverts, i)) {
      LoadFrame(i);
      return 0;
    }
  }
  if (numframes > 0) LoadFrame(numframes - 1);
  return 1;
}

int MdlExporter::WriteModel(FILE* stream) {
  return model_.WriteHeader(stream) && model_.WriteSkin(stream) &&
         model_.WriteSkinVertices(stream) && model_.WriteTriangles(stream) &&
         model_.WriteFrames(stream);
}

}  // namespace vandrell
