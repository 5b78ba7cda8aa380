#pragma once
// Reading a Quake MDL model, version 6, into plain records: for mdlinfo,
// mdlexport's check of what it wrote, the tests and any other reader of MDL
// files. The reader checks the layout, not whether a game would accept the
// model: zero counts are well-formed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mdlformat/ByteCursor.h"

namespace vandrell {

struct MdlFileHeader {
  uint8_t ident[4] = {};  // "IDPO"
  int32_t version = 0;
  float scale[3] = {};         // packing step per axis
  float scale_origin[3] = {};  // position of packed coordinate 0 per axis
  float bounding_radius = 0.0f;
  float eye_position[3] = {};
  int32_t numskins = 0;
  int32_t skinwidth = 0;
  int32_t skinheight = 0;
  int32_t numverts = 0;  // vertices per frame, and skin vertices
  int32_t numtris = 0;
  int32_t numframes = 0;  // frame records, a group counting once
  int32_t synctype = 0;
  int32_t flags = 0;
  float size = 0.0f;
};

// One skin image. A skin group contributes one image per member, each with
// the group's index and its own interval; a plain skin has group -1.
struct MdlSkinImage {
  int32_t group = -1;
  float interval = 0.0f;
  std::vector<uint8_t> pixels;  // skinwidth x skinheight palette indices, top row first
};

struct MdlSkinVertex {
  int32_t on_seam = 0;
  int32_t s = 0;  // column
  int32_t t = 0;  // row
};

struct MdlTriangle {
  int32_t faces_front = 0;
  int32_t vertices[3] = {};  // indices into the skin vertices and each frame's vertices
};

// A packed position and a normal index; the box entries use the fourth byte
// as padding.
struct MdlPackedVertex {
  uint8_t x = 0, y = 0, z = 0;
  uint8_t normal_index = 0;
};

// One plain frame. A frame group contributes one frame per member, each with
// the group's index (counting frame records from 0) and its own interval; a
// plain frame has group -1.
struct MdlFrame {
  int32_t group = -1;
  float interval = 0.0f;
  MdlPackedVertex box_min;
  MdlPackedVertex box_max;
  char name[17] = {};                     // the 16-byte field, always terminated here
  bool name_terminated = false;           // the field itself held a zero byte
  std::vector<MdlPackedVertex> vertices;  // numverts
};

struct MdlFile {
  MdlFileHeader header;
  std::vector<int32_t> skin_types;  // the type word of each of the numskins skins
  std::vector<MdlSkinImage> skins;
  std::vector<MdlSkinVertex> skin_vertices;
  std::vector<MdlTriangle> triangles;
  std::vector<int32_t> frame_types;  // the type word of each of the numframes records
  std::vector<MdlFrame> frames;
  // Bytes after the last frame. Games ignore them, and so does the reader.
  uint64_t trailing_bytes = 0;
};

// Reads size bytes at data. Returns true with *file filled, or false with the
// reason in *error (and *file unspecified): wrong magic or version, a
// negative count, a section running past the end, a triangle index outside
// the vertices, a normal index outside the table. Bytes after the last frame
// are counted in trailing_bytes, not refused. Never reads outside the given
// bytes.
bool ReadMdl(const uint8_t* data, size_t size, MdlFile* file, std::string* error);
bool ReadMdl(const std::vector<uint8_t>& bytes, MdlFile* file, std::string* error);
// The same for a file; an unreadable file is an error too.
bool ReadMdlFile(const std::string& path, MdlFile* file, std::string* error);

// The header's fifteen fields as stored, whatever their values; false (with
// the cursor failed) when the 84 bytes are not all there. For readers that
// judge the values themselves.
bool ReadMdlHeaderFields(ByteCursor& in, MdlFileHeader* header);

// The position a packed coordinate stands for on one axis:
// scale_origin + packed x scale, in single precision.
float DecodeCoordinate(const MdlFileHeader& header, int axis, uint8_t packed);

}  // namespace vandrell
