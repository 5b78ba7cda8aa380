#include "hostapp/MdlSummary.h"

#include <cstdio>

namespace hostapp {

namespace {

// Header fields by byte offset: the identifier, the version, then the
// counts after scale, origin, radius and eye position.
constexpr size_t kHeaderSize = 84;
constexpr size_t kVersionOffset = 4;
constexpr size_t kSkinWidthOffset = 52;
constexpr size_t kSkinHeightOffset = 56;
constexpr size_t kVertexCountOffset = 60;
constexpr size_t kTriangleCountOffset = 64;
constexpr size_t kFrameCountOffset = 68;

int32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                              static_cast<uint32_t>(bytes[2]) << 16 |
                              static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace

bool ReadMdlSummary(const std::string& path, MdlSummary* summary, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  unsigned char header[kHeaderSize];
  const size_t read = std::fread(header, 1, kHeaderSize, file);
  const bool seeked = std::fseek(file, 0, SEEK_END) == 0;
  const long size = seeked ? std::ftell(file) : -1;
  std::fclose(file);
  if (read != kHeaderSize || header[0] != 'I' || header[1] != 'D' || header[2] != 'P' ||
      header[3] != 'O' || LittleEndian32(header + kVersionOffset) != 6) {
    *error = path + " is not a Quake MDL file of version 6";
    return false;
  }
  summary->skin_width = LittleEndian32(header + kSkinWidthOffset);
  summary->skin_height = LittleEndian32(header + kSkinHeightOffset);
  summary->vertex_count = LittleEndian32(header + kVertexCountOffset);
  summary->triangle_count = LittleEndian32(header + kTriangleCountOffset);
  summary->frame_count = LittleEndian32(header + kFrameCountOffset);
  summary->file_size = size < 0 ? 0 : static_cast<uint64_t>(size);
  return true;
}

std::string FormatMdlSummary(const std::string& path, const MdlSummary& summary) {
  return path + ": " + std::to_string(summary.vertex_count) + " vertices, " +
         std::to_string(summary.triangle_count) + " triangles, " +
         std::to_string(summary.frame_count) + " frames, skin " +
         std::to_string(summary.skin_width) + "x" + std::to_string(summary.skin_height) + ", " +
         std::to_string(summary.file_size) + " bytes";
}

}  // namespace hostapp
