#include "mdlformat/MdlOutline.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "mdlformat/ByteCursor.h"
#include "mdlformat/HeaderCounts.h"
#include "mdlformat/MdlFormat.h"

namespace vandrell {

namespace {

constexpr size_t kBlockSize = size_t{1} << 16;

int32_t Int32At(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

// Takes count sections of each bytes from *remaining; false when fewer remain.
bool Take(uint64_t count, uint64_t each, uint64_t* remaining) {
  if (each != 0 && count > *remaining / each) return false;
  *remaining -= count * each;
  return true;
}

// Reads count records of record_size bytes from in, a block at a time, and
// hands each block to accept; false when they are not all there or accept
// refuses a block.
template <typename Accept>
bool ScanRecords(std::istream& in, uint64_t count, size_t record_size, std::vector<uint8_t>* block,
                 Accept accept) {
  const uint64_t per_block = kBlockSize / record_size;
  while (count > 0) {
    const size_t records = static_cast<size_t>(std::min(count, per_block));
    if (!in.read(reinterpret_cast<char*>(block->data()),
                 static_cast<std::streamsize>(records * record_size)))
      return false;
    if (!accept(block->data(), records)) return false;
    count -= records;
  }
  return true;
}

// The reader's checks of the triangles: every corner one of the vertices.
bool TrianglesInRange(const uint8_t* p, size_t count, int32_t numverts) {
  const uint32_t limit = static_cast<uint32_t>(numverts);
  bool inside = true;
  for (size_t k = 0; k < count; ++k, p += mdl_format::kTriangleSize)
    for (int corner = 1; corner <= 3; ++corner)
      inside &= static_cast<uint32_t>(Int32At(p + 4 * corner)) < limit;  // negatives wrap above
  return inside;
}

// The reader's check of a frame's vertices: every normal index in the table.
bool NormalsInTable(const uint8_t* p, size_t count) {
  uint8_t largest = 0;
  for (size_t j = 0; j < count; ++j)
    largest = std::max(largest, p[j * mdl_format::kPackedVertexSize + 3]);
  return largest < mdl_format::kNormalCount;
}

}  // namespace

MdlOutline OutlineOf(const MdlFile& file) {
  MdlOutline outline;
  outline.header = file.header;
  outline.frame_count = file.frames.size();
  if (!file.frames.empty())
    std::memcpy(outline.first_frame_name, file.frames.front().name,
                sizeof outline.first_frame_name);
  return outline;
}

bool ReadPlainMdlOutline(const std::string& path, MdlOutline* outline) {
  *outline = MdlOutline();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  in.seekg(0, std::ios::beg);
  if (!in || size < mdl_format::kHeaderSize) return false;

  uint8_t header_bytes[mdl_format::kHeaderSize];
  if (!in.read(reinterpret_cast<char*>(header_bytes), sizeof header_bytes)) return false;
  ByteCursor cursor(header_bytes, sizeof header_bytes);
  MdlFileHeader& h = outline->header;
  if (!ReadMdlHeaderFields(cursor, &h)) return false;
  if (std::memcmp(h.ident, mdl_format::kMagic, sizeof h.ident) != 0 ||
      h.version != mdl_format::kVersion || !NegativeCounts(MdlHeaderCounts(h)).empty())
    return false;

  // With plain skins and frames only, the counts fix every section's place
  // and the file's length: a file of any other length is not of that kind
  // or does not read whole.
  const uint64_t skin_bytes = mdl_format::kSkinTypeSize + static_cast<uint64_t>(h.skinwidth) *
                                                              static_cast<uint64_t>(h.skinheight);
  const uint64_t vertex_bytes = static_cast<uint64_t>(h.numverts) * mdl_format::kPackedVertexSize;
  const uint64_t frame_bytes = mdl_format::kFrameHeaderSize + vertex_bytes;
  uint64_t remaining = static_cast<uint64_t>(size) - mdl_format::kHeaderSize;
  if (!Take(static_cast<uint64_t>(h.numskins), skin_bytes, &remaining) ||
      !Take(static_cast<uint64_t>(h.numverts), mdl_format::kSkinVertexSize, &remaining) ||
      !Take(static_cast<uint64_t>(h.numtris), mdl_format::kTriangleSize, &remaining) ||
      !Take(static_cast<uint64_t>(h.numframes), frame_bytes, &remaining) || remaining != 0)
    return false;

  uint8_t word[4];
  for (int32_t i = 0; i < h.numskins; ++i) {
    in.seekg(static_cast<std::streamoff>(mdl_format::kHeaderSize + i * skin_bytes));
    if (!in.read(reinterpret_cast<char*>(word), sizeof word) ||
        Int32At(word) != mdl_format::kSkinTypeSingle)
      return false;
  }
  // The skin vertices hold nothing the reader checks.
  const uint64_t triangles_at = mdl_format::kHeaderSize + h.numskins * skin_bytes +
                                static_cast<uint64_t>(h.numverts) * mdl_format::kSkinVertexSize;
  in.seekg(static_cast<std::streamoff>(triangles_at));
  std::vector<uint8_t> block(kBlockSize);
  if (!ScanRecords(
          in, static_cast<uint64_t>(h.numtris), mdl_format::kTriangleSize, &block,
          [&](const uint8_t* p, size_t count) { return TrianglesInRange(p, count, h.numverts); }))
    return false;

  for (int32_t i = 0; i < h.numframes; ++i) {
    uint8_t frame_header[mdl_format::kFrameHeaderSize];
    if (!in.read(reinterpret_cast<char*>(frame_header), sizeof frame_header) ||
        Int32At(frame_header) != mdl_format::kFrameTypeSingle)
      return false;
    if (i == 0)
      std::memcpy(outline->first_frame_name,
                  frame_header + mdl_format::kFrameTypeSize + 2 * mdl_format::kPackedVertexSize,
                  mdl_format::kFrameNameSize);
    if (!ScanRecords(in, static_cast<uint64_t>(h.numverts), mdl_format::kPackedVertexSize, &block,
                     NormalsInTable))
      return false;
  }
  outline->frame_count = static_cast<size_t>(h.numframes);
  return true;
}

}  // namespace vandrell
